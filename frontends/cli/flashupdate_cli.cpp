#include "flashupdate_cli.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "app/console_program.h"
#include "app/flash_update_kunde_unit.h"
#include "app/protocol_start.h"
#include "base/cp1252.h"
#include "base/version.h"
#include "console/console_message_service.h"
#include "console_view.h"

namespace fu {

namespace {

// Follows "Aufruf: ", the program's name, its options and a newline.
constexpr std::string_view kUsage =
    "  list          die gefundenen Karten mit Nummer, Name, Seriennummer, Kunde,\n"
    "                Flashversion und möglicher Aktion\n"
    "  show N        Karte N anzeigen\n"
    "  upgrade N     Karte N von Revision 1.2 auf 1.3 bringen (\"Flash upgraden\")\n"
    "  downgrade N   Karte N von Revision 1.3 auf 1.2 bringen (\"Flash downgraden\")\n"
    "  dump N        den Flash-Bereich von Karte N sichern (\"Dump\")\n"
    "  restore N [DATEI]  Karte N aus der Sicherungsdatei DATEI zurückschreiben\n"
    "                (DATEI wie C:\\FLASH_0_05.03.2003.SAV); ohne DATEI aus der\n"
    "                Sicherung vor ihrer nicht abgeschlossenen Aktualisierung\n"
    "  abandon N     den Wiederherstellungspunkt von Karte N aufgeben, wenn seine\n"
    "                Sicherung fehlt oder verändert ist (fragt nach; nur dann wird die\n"
    "                Karte danach wieder aktualisiert)\n"
    "N ist die Nummer aus \"list\", von 0 an. --yes und --no beantworten die Rückfragen\n"
    "des gegebenen Befehls; ohne sie wird am Terminal gefragt, sonst gilt Nein.\n"
    "Rückfragen, deren Ja eine Karte gefährden kann, beantwortet --yes mit Nein;\n"
    "mit Ja beantwortet jede nur ihre eigene Option:\n"
    "  --yes-other-card         die Sicherung einer anderen Karte zurückschreiben\n"
    "  --yes-failed-conversion  einen Datensatz schreiben, dessen Konvertierung\n"
    "                           fehlschlug\n"
    "  --yes-unknown-name       eine Karte aktualisieren, deren Kartenname keiner\n"
    "                           Karte zugeordnet werden kann\n"
    "Nach einer nicht abgeschlossenen Aktualisierung nennt jeder Befehl die Karte und\n"
    "ihre Sicherung; zurückgeschrieben wird sie nur mit \"restore N\".\n"
    "--protokoll DATEI schreibt ein Protokoll für den Support in DATEI. --version allein\n"
    "zeigt die Version des Programms.\n"
    "Rückgabewerte: 0 Erfolg, 1 fehlgeschlagen oder mit Nein beantwortet, 2 Fehler oder\n"
    "Hardware nicht erreichbar, 3 falscher Aufruf, falsche Eingabe oder vom Programm\n"
    "abgelehnt, 4 Erfolg, aber das Flash außerhalb des Datensatzes weicht von der\n"
    "Sicherung ab (die Sicherung aufbewahren).\n";

struct Arguments {
  std::string command;
  std::optional<int> card;
  std::optional<Answer> answer;
  std::vector<Risk> risky_yes;  // the risky questions answered Yes by their options
  std::optional<std::string> machine;
  std::optional<std::string> protocol;  // --protokoll: the protocol's file
  std::string file;                     // restore: the backup file
  std::string error;
};

// The risky question an option answers Yes.
std::optional<Risk> RiskOf(std::string_view option) {
  for (const Risk risk : {Risk::OtherCardsBackup, Risk::FailedConversion, Risk::UnknownCardName}) {
    if (option == RiskOption(risk)) {
      return risk;
    }
  }
  return std::nullopt;
}

bool NeedsCard(const std::string& command) {
  return command != "list";
}

Arguments Parse(std::span<const std::string> args, const CliProgram& program) {
  Arguments a;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--yes" || arg == "--no") {
      const Answer answer = arg == "--yes" ? Answer::Yes : Answer::No;
      if (a.answer && *a.answer != answer) {
        a.error = "--yes und --no schließen sich aus.";
      }
      a.answer = answer;
    } else if (const auto risk = RiskOf(arg)) {
      if (std::ranges::count(a.risky_yes, *risk) == 0) {
        a.risky_yes.push_back(*risk);
      }
    } else if (arg == "--machine") {
      if (!program.simulated_pc) {
        a.error = "--machine gibt es nur in " + std::string(kConsoleSimProgram) +
                  ", dem Programm für den simulierten PC.";
        ++i;  // its folder
      } else if (i + 1 >= args.size()) {
        a.error = "--machine braucht einen Ordner.";
      } else {
        a.machine = args[++i];
      }
    } else if (arg == "--protokoll") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        a.error = "--protokoll braucht den Namen einer Datei.";
      } else {
        a.protocol = args[++i];
      }
    } else if (arg == "--version") {
      a.error = "--version steht allein, ohne Befehl.";
    } else if (arg.starts_with("--")) {
      a.error = "Unbekannte Option " + arg + ".";
    } else if (a.command.empty()) {
      a.command = arg;
    } else if (!a.card) {
      try {
        std::size_t used = 0;
        const int n = std::stoi(arg, &used);
        if (used != arg.size() || n < 0) {
          throw std::invalid_argument(arg);
        }
        a.card = n;
      } catch (const std::exception&) {
        a.error = "\"" + arg + "\" ist keine Kartennummer.";
      }
    } else if (a.command == "restore" && a.file.empty()) {
      a.file = arg;
    } else {
      a.error = "Zu viele Argumente.";
    }
  }
  if (a.error.empty() && a.answer == Answer::No && !a.risky_yes.empty()) {
    a.error = "--no und " + std::string(RiskOption(a.risky_yes.front())) + " schließen sich aus.";
  }
  const bool known = a.command == "list" || a.command == "show" || a.command == "upgrade" ||
                     a.command == "downgrade" || a.command == "dump" || a.command == "restore" ||
                     a.command == "abandon";
  if (a.error.empty()) {
    if (a.command.empty()) {
      a.error = "Es fehlt ein Befehl.";
    } else if (!known) {
      a.error = "Unbekannter Befehl \"" + a.command + "\".";
    } else if (NeedsCard(a.command) && !a.card) {
      a.error = "\"" + a.command + "\" braucht die Nummer einer Karte.";
    } else if (!NeedsCard(a.command) && a.card) {
      a.error = "\"list\" nimmt keine Kartennummer.";
    }
  }
  return a;
}

std::string_view ActionText(const RecordingMainWindow& view) {
  if (view.Enabled(Control::Button2)) {
    return "Flash upgraden";
  }
  if (view.Enabled(Control::Button3)) {
    return "Flash downgraden";
  }
  return "keine";
}

// The card as the last refresh read it: after a write its name may no longer be
// the one its list item got at start-up.
void PrintCard(std::ostream& out, int index, const RecordingMainWindow& view, const TForm1& form) {
  const std::string& name = form.ShownCardName().empty()
                                ? view.Items()[static_cast<std::size_t>(index)]
                                : form.ShownCardName();
  out << index << ": " << Cp1252ToUtf8(name) << "\n"
      << "   Seriennummer: " << Cp1252ToUtf8(view.Text(Control::Edit1)) << "\n"
      << "   Kunde:        " << Cp1252ToUtf8(view.Text(Control::Edit2)) << "\n"
      << "   Flashversion: " << Cp1252ToUtf8(view.Text(Control::Edit3)) << "\n"
      << "   Aktion:       " << ActionText(view) << "\n";
}

int ExitCode(ActionResult result) {
  switch (result) {
    case ActionResult::Done:
      return kCliOk;
    case ActionResult::Failed:
    case ActionResult::Declined:
      return kCliFailed;
    case ActionResult::Raised:
      return kCliRaised;
    case ActionResult::Refused:
      return kCliUsage;
  }
  return kCliFailed;
}

// A file name of the host as the system opens it (code page 1252 on Windows,
// UTF-8 elsewhere), from the UTF-8 of the arguments.
std::string HostName(const std::string& utf8) {
#ifdef _WIN32
  return Utf8ToCp1252(utf8);
#else
  return utf8;
#endif
}

}  // namespace

int RunFlashUpdateCli(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                      std::istream& in, bool input_is_terminal, const MachineFactory& make_machine,
                      EndRequests* end_requests, const CliProgram& program) {
  // The version alone: no machine is built, so no card and no driver is touched.
  if (args.size() == 1 && args[0] == "--version") {
    out << program.name << " " << kVersion << "\n";
    return kCliOk;
  }
  const Arguments a = Parse(args, program);
  // The machine first: a program the one-program check refuses touches no
  // protocol, not even the running program's.
  std::unique_ptr<Machine> machine;
  std::string machine_error;
  if (a.error.empty() || a.protocol) {
    try {
      machine = make_machine(a.machine);
    } catch (const std::exception& e) {
      machine_error = e.what();
    }
  }
  // Then the protocol: without it the program does not begin.
  std::unique_ptr<FileProtocol> protocol_file;
  if (a.protocol && machine) {
    try {
      protocol_file = OpenProtocol(HostName(*a.protocol), program.name, *machine,
                                   Utf8ToCp1252(CommandLineText(args)));
    } catch (const ProtocolFileError& e) {
      err << Cp1252ToUtf8(e.what()) << "\n";
      return kCliUsage;
    }
  }
  Protocol& protocol = protocol_file ? *protocol_file : NoProtocol();
  // Whichever way the program ends, the protocol notes the status and lines it
  // lost are told; the status stays that of the work.
  const auto ended = [&](int status) {
    RecordProgramEnd(protocol, status);
    if (protocol_file && !protocol_file->Complete()) {
      err << "Hinweis: " << Cp1252ToUtf8(protocol_file->IncompleteText()) << "\n";
    }
    return status;
  };
  // A refusal goes to the error output and into the protocol.
  const auto refuse = [&](const std::string& utf8) {
    if (protocol.On()) {
      protocol.Record("Abgelehnt: " + Utf8ToCp1252(utf8));
    }
    err << utf8 << "\n";
  };
  if (!a.error.empty()) {
    refuse(a.error);
    err << "\nAufruf: " << program.name << " BEFEHL [--yes | --no]"
        << (program.simulated_pc ? " [--machine ORDNER]" : "") << "\n"
        << kUsage;
    return ended(kCliUsage);
  }
  if (!machine) {
    err << Cp1252ToUtf8(machine_error) << "\n";
    return kCliUsage;
  }

  ConsoleMessageService messages(out, in, input_is_terminal, a.answer, a.risky_yes);
  ConsoleMainWindow view(out);
  ConsoleFlashSplash splash(out);
  FlashUpdateSystem system(Ports{machine->System(), machine->Ports(), machine->Bus(),
                                 machine->Time(), machine->Drive(), messages, splash, protocol});
  TForm1 form(system, view, RestoreOffers::Report, program.name);
  // --yes takes over only the card the command names.
  form.TakeOverOnly(NeedsCard(a.command) ? a.card : std::nullopt);
  if (end_requests != nullptr) {
    form.SetEndRequests(*end_requests);
  }
  form.FormCreate();
  if (view.QuitRequested()) {  // asked to end during a restore at start-up
    form.FormClose();
    return ended(kCliFailed);
  }
  const int cards = static_cast<int>(view.Items().size());
  // No card listed because the driver could not be opened or refused the
  // configuration ports: not the same as a PC without cards, for a script.
  const bool unreachable = cards == 0 && system.cards.HardwareFailed();

  int status = kCliOk;
  if (a.command == "list") {
    if (cards == 0) {
      out << "Keine Karte gefunden.\n";
      status = unreachable ? kCliRaised : kCliOk;
    }
    for (int i = 0; i < cards; ++i) {
      view.SelectItem(i);
      form.ComboBox1Change();
      PrintCard(out, i, view, form);
    }
  } else if (*a.card >= cards) {
    refuse("Karte " + std::to_string(*a.card) + " gibt es nicht" +
           (cards == 0
                ? ": es wurde keine Karte gefunden."
                : "; die Karten sind von 0 bis " + std::to_string(cards - 1) + " nummeriert."));
    status = unreachable ? kCliRaised : kCliUsage;
  } else {
    view.SelectItem(*a.card);
    form.ComboBox1Change();
    if (a.command == "show") {
      PrintCard(out, *a.card, view, form);
    } else {
      const bool upgrade = a.command == "upgrade";
      const bool downgrade = a.command == "downgrade";
      // A card with an unfinished write is refused by the action itself, with
      // the message that names its restore.
      if (((upgrade && !view.Enabled(Control::Button2)) ||
           (downgrade && !view.Enabled(Control::Button3))) &&
          !form.SelectedHasOpenWrite()) {
        refuse(std::string(upgrade ? "Flash upgraden" : "Flash downgraden") + " ist für Karte " +
               std::to_string(*a.card) + " nicht möglich (Flashversion " +
               Cp1252ToUtf8(view.Text(Control::Edit3)) + ").");
        status = kCliUsage;
      } else {
        const bool restore = a.command == "restore";
        const bool abandon = a.command == "abandon";
        out << (upgrade     ? "Flash upgraden"
                : downgrade ? "Flash downgraden"
                : restore   ? "Wiederherstellen"
                : abandon   ? "Wiederherstellungspunkt aufgeben"
                            : "Dump")
            << ", Karte " << *a.card << "\n";
        const ActionResult result = upgrade                     ? form.Button2Click()
                                    : downgrade                 ? form.Button3Click()
                                    : restore && a.file.empty() ? form.RestorePointClick()
                                    : restore ? form.RestoreClick(Utf8ToCp1252(a.file))
                                    : abandon ? form.AbandonClick()
                                              : form.Button4Click();
        status = result == ActionResult::Done && form.LastDifference() ? kCliDoneFlashDiffers
                                                                       : ExitCode(result);
        if (!form.LastBackupFile().empty()) {
          out << "Sicherung: " << Cp1252ToUtf8(form.LastBackupFile()) << "\n";
        }
        if (!view.QuitRequested()) {
          PrintCard(out, *a.card, view, form);
        }
      }
    }
  }
  form.FormClose();
  return ended(status);
}

}  // namespace fu
