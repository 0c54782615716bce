#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include "app/console_program.h"
#include "app/protocol_start.h"
#include "base/cp1252.h"
#include "base/version.h"
#include "flashupdate_cli.h"
#include "platform/end_requests.h"
#include "platform/file_protocol.h"
#include "record/record_v12.h"
#include "record/revision.h"
#include "sim/sim_machine.h"
#include "support/card_kinds.h"
#include "support/machine_faults.h"
#include "support/temp_folder.h"

namespace fu {
namespace {

namespace fs = std::filesystem;

class Cli : public ::testing::Test {
 protected:
  // Runs the program on the test's simulated PC; the PC is set up anew from its
  // folder each run, as a new process would.
  int Run(std::vector<std::string> args, std::string input = "") {
    out_.str("");
    err_.str("");
    std::istringstream in(input);
    return RunFlashUpdateCli(
        args, out_, err_, in, false,
        [this](const auto& folder) {
          EXPECT_FALSE(folder.has_value());
          auto machine = std::make_unique<sim::SimMachine>(pc_);
          if (prepare_) {
            prepare_(machine->Pc());
          }
          return machine;
        },
        &end_requests_, program_);
  }
  // Each run's PC is gone by now: its machine faults are read from the folder.
  void TearDown() override { test::ExpectNoMachineFaults(sim::SimPc::RecordedMachineFaults(pc_)); }
  // What each card of the test's PC holds between runs.
  struct CardState {
    std::vector<std::uint8_t> flash;
    std::uint32_t control;
    friend bool operator==(const CardState&, const CardState&) = default;
  };
  std::vector<CardState> Cards() {
    sim::SimMachine machine(pc_);
    std::vector<CardState> cards;
    for (std::size_t i = 0; i < machine.Pc().CardCount(); ++i) {
      const auto& flash = machine.Pc().Card(i).Flash().AllBytes();
      cards.push_back({{flash.begin(), flash.end()}, machine.Pc().Card(i).Control()});
    }
    return cards;
  }
  // Takes the cards out of the test's PC.
  void RemoveCards() {
    { const sim::SimMachine created(pc_); }  // the default PC, written to its folder
    std::stringstream description;
    description << std::ifstream(pc_ / "pc.json").rdbuf();
    std::string text = description.str();
    const std::size_t begin = text.find("\"cards\": [");
    const std::size_t end = text.find("\n  ]", begin);
    ASSERT_NE(end, std::string::npos) << text;
    text.replace(begin, end + 4 - begin, "\"cards\": []");
    std::ofstream(pc_ / "pc.json") << text;
  }
  std::string Out() const { return out_.str(); }
  std::string Err() const { return err_.str(); }

  test::TempFolder folder_;
  fs::path pc_ = folder_.Path() / "pc";
  CliProgram program_ = kSimPcCli;
  std::function<void(sim::SimPc&)> prepare_;
  HeldEndRequests end_requests_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(Cli, ListsTheCardsWithTheirActions) {
  EXPECT_EQ(Run({"list"}), kCliOk);
  EXPECT_NE(Out().find("0: nimbaPCI/HS"), std::string::npos);
  EXPECT_NE(Out().find("Kunde:        Motorenprüfstand Halle 3"), std::string::npos);  // UTF-8
  EXPECT_NE(Out().find("1: RT/Count16"), std::string::npos);
  EXPECT_NE(Out().find("Aktion:       Flash downgraden"), std::string::npos);
}

TEST_F(Cli, UpgradeThenTheCardListsAsRevision13) {
  // The erase took card 0's calibration table after its record: done, and told.
  EXPECT_EQ(Run({"upgrade", "0"}), kCliDoneFlashDiffers);
  EXPECT_NE(Out().find("68 Bytes von Adresse 0xD02E00 bis 0xD02E43"), std::string::npos);
  EXPECT_NE(Out().find("Block 4: Schreibe neuen Datensatz (100 %)"), std::string::npos);
  EXPECT_NE(Out().find("Hinweis: Flash erfolgreich aktualisiert"), std::string::npos);
  EXPECT_NE(Out().find("Sicherung: C:\\FLASH_0_05.03.2003.SAV"), std::string::npos);
  // The card as it reads after the write, under the name its 1.3 record gives.
  EXPECT_NE(Out().find("0: nimbaPCI/HS_1\n   Seriennummer: NHS-0202-0117"), std::string::npos)
      << Out();
  EXPECT_EQ(Run({"show", "0"}), kCliOk);
  EXPECT_NE(Out().find("Flashversion: 1.3"), std::string::npos);
  // The button is disabled for a revision-1.3 card: refused.
  EXPECT_EQ(Run({"upgrade", "0"}), kCliUsage);
  EXPECT_NE(Err().find("nicht möglich"), std::string::npos);
  EXPECT_EQ(Run({"downgrade", "0"}), kCliOk);
  EXPECT_EQ(Run({"dump", "1"}), kCliOk);
  EXPECT_NE(Out().find("Dump erfolgreich erzeugt"), std::string::npos);
}

// A record field of card 0's revision-1.2 record set to value.
std::function<void(sim::SimPc&)> CardRecordField(V12String field, std::string value) {
  return [field, value](sim::SimPc& pc) {
    auto& flash = pc.Card(0).Flash().AllBytes();
    RecordV12 record(std::span<const std::uint8_t>(flash).subspan(0x1000, kRecordV12Size));
    if (RecognizeRevision(record) == kRevision12) {
      record.Set(field, value);
      std::copy(record.Bytes().begin(), record.Bytes().end(), flash.begin() + 0x1000);
    }
  };
}

// Each question that risks a card: --yes answers it No, names its option and
// nothing is written; its option alone answers it Yes and the card is written.
TEST_F(Cli, RiskyQuestionsNeedTheirOwnOption) {
  const auto unknown_name = CardRecordField(v12::CardName, "Eigenbau");
  const auto bad_clock = CardRecordField(v12::ProcessorClock, "schnell");
  const struct {
    const char* option;
    std::function<void(sim::SimPc&)> prepare;
    std::vector<std::string> args;
    std::size_t card;
  } kRows[] = {
      {"--yes-unknown-name", unknown_name, {"upgrade", "0"}, 0},
      {"--yes-failed-conversion", bad_clock, {"upgrade", "0"}, 0},
      {"--yes-other-card", nullptr, {"restore", "1", "C:\\FLASH_0_05.03.2003.SAV"}, 1},
  };
  int run = 0;
  for (const auto& row : kRows) {
    for (const bool own_option : {false, true}) {
      SCOPED_TRACE(std::string(row.option) + (own_option ? "" : " (--yes)"));
      pc_ = folder_.Path() / ("risk" + std::to_string(run++));
      prepare_ = nullptr;
      ASSERT_EQ(Run({"dump", "0"}), kCliOk);  // the file another card's restore names
      prepare_ = row.prepare;
      ASSERT_EQ(Run({"show", "0"}), kCliOk);  // the card as the command finds it
      const auto before = Cards();
      const auto saved = sim::SimMachine(pc_).Pc().Drive().List();
      auto args = row.args;
      args.push_back(own_option ? row.option : "--yes");
      const std::string hint =
          "[j/n] n (nur " + std::string(row.option) + " beantwortet diese Frage mit Ja)\n";
      if (own_option) {
        EXPECT_EQ(Run(args), kCliDoneFlashDiffers) << Out();
        EXPECT_EQ(Out().find("(nur --yes"), std::string::npos) << Out();
        EXPECT_NE(Cards()[row.card].flash, before[row.card].flash);
      } else {
        EXPECT_EQ(Run(args), kCliFailed) << Out();
        EXPECT_NE(Out().find(hint), std::string::npos) << Out();
        EXPECT_EQ(Cards(), before);
        EXPECT_EQ(sim::SimMachine(pc_).Pc().Drive().List(), saved);
      }
    }
  }
  // Neither flag nor terminal: No; --no: No.
  prepare_ = unknown_name;
  EXPECT_EQ(Run({"upgrade", "0"}), kCliFailed);
  EXPECT_NE(Out().find("ACHTUNG"), std::string::npos);
  EXPECT_EQ(Run({"upgrade", "0", "--no"}), kCliFailed);
}

TEST_F(Cli, TakeOverFollowsTheFlag) {
  prepare_ = nullptr;
  for (const std::size_t card : {0u, 1u}) {
    sim::SimMachine(pc_).Pc().SetBusyHeldByOther(card, true);
  }
  EXPECT_EQ(Run({"list", "--yes"}), kCliOk);
  EXPECT_EQ(Out().find("Frage:"), std::string::npos) << Out();
  EXPECT_NE(
      Out().find("Mit " + std::string(kConsoleSimProgram) + " show 1 --yes wird sie übernommen."),
      std::string::npos)
      << Out();
  EXPECT_EQ(Run({"show", "1", "--yes"}), kCliOk);
  EXPECT_NE(Out().find("Frage: Die Karte 1 ist als belegt markiert"), std::string::npos);
  EXPECT_EQ(Out().find("Frage: Die Karte 0"), std::string::npos) << Out();
  EXPECT_EQ(Cards()[0].control & 0x4000, 0x4000u);
  EXPECT_EQ(Cards()[1].control & 0x4000, 0u);
}

// Card 0's upgrade fails at its third block and leaves it half written. Later
// commands only tell how to restore it, whatever --yes says; its conversion is
// refused; only "restore" writes it back.
TEST_F(Cli, UnfinishedWriteIsReportedAndOnlyRestoreWritesItBack) {
  const auto before = Cards();
  prepare_ = [](sim::SimPc& pc) {
    pc.Card(0).Faults().commands.push_back(
        {sim::CommandKind::kProgram, 3, sim::FaultAction::kFail, 0});
  };
  EXPECT_EQ(Run({"upgrade", "0", "--no"}), kCliFailed);
  const std::string report =
      "Hinweis: Die letzte Aktualisierung der Karte 0 (Seriennummer NHS-0202-0117) wurde nicht "
      "abgeschlossen. Die Sicherung C:\\FLASH_0_05.03.2003.SAV enthält den Stand davor.\n"
      "Es wurde nichts zurückgeschrieben; das geschieht nur mit dem Befehl\n  " +
      std::string(kConsoleSimProgram) + " restore 0\n";
  EXPECT_NE(Out().find(report), std::string::npos) << Out();
  EXPECT_EQ(Out().find("[j/n]"), std::string::npos) << Out();
  prepare_ = [](sim::SimPc& pc) { pc.Card(0).Faults() = {}; };
  const auto damaged = Cards();
  ASSERT_NE(damaged, before);

  const std::vector<std::vector<std::string>> readers = {
      {"list", "--yes"}, {"show", "0", "--yes"}, {"show", "1", "--yes"}, {"dump", "1", "--yes"}};
  for (const auto& command : readers) {
    SCOPED_TRACE(command[0] + " " + command[1]);
    EXPECT_EQ(Run(command), kCliOk);
    EXPECT_EQ(Cards(), damaged);
    // Told once, as information, and asked nothing.
    const auto at = Out().find(report);
    ASSERT_NE(at, std::string::npos) << Out();
    EXPECT_EQ(Out().find(report, at + 1), std::string::npos);
    EXPECT_EQ(Out().find("[j/n]"), std::string::npos) << Out();
  }
  for (const char* conversion : {"downgrade", "upgrade"}) {
    SCOPED_TRACE(conversion);
    EXPECT_EQ(Run({conversion, "0", "--yes"}), kCliUsage);
    EXPECT_EQ(Cards(), damaged);
    EXPECT_NE(Out().find("Fehler: Die letzte Aktualisierung der Karte 0 (Seriennummer "
                         "NHS-0202-0117) wurde nicht abgeschlossen. Die Karte wird erst wieder "
                         "aktualisiert, wenn sie mit\n  " +
                         std::string(kConsoleSimProgram) +
                         " restore 0\naus der Sicherung C:\\FLASH_0_05.03.2003.SAV "
                         "wiederhergestellt ist."),
              std::string::npos)
        << Out();
  }

  // Without a file: the backup taken before the unfinished write.
  EXPECT_EQ(Run({"restore", "0"}), kCliOk);
  EXPECT_NE(Out().find("aus der Sicherung C:\\FLASH_0_05.03.2003.SAV wiederhergestellt"),
            std::string::npos)
      << Out();
  EXPECT_NE(Out().find("Flashversion: 1.2"), std::string::npos);
  EXPECT_EQ(Cards()[0].flash, before[0].flash);
  // Nothing is open any more: nothing to take, nothing written.
  EXPECT_EQ(Run({"restore", "0"}), kCliUsage);
  EXPECT_EQ(Out().find(report), std::string::npos);
  EXPECT_NE(Out().find("Für die Karte 0 ist keine Aktualisierung offen"), std::string::npos);
  EXPECT_EQ(Out().find("Sicherung: "), std::string::npos);
}

// Short dates of real locales: a trailing dot, spaces, slashes, a two-digit
// year, month names, year first. The card's date is 5 March 2003.
TEST_F(Cli, BackupNamesOfEveryShortDateServeTheWayBack) {
  const std::vector<std::string> pictures = {
      "d.M.yyyy.",  "dd.MM.yyyy", "d/M/yyyy",     "M/d/yy",     "yyyy-MM-dd",  "yyyy. MM. dd.",
      "d. M. yyyy", "dd-MMM-yy",  "d. MMMM yyyy", "yyyy/MM/dd", "dd'..'MM.yy", "yy.MM.dd"};
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    SCOPED_TRACE(pictures[i]);
    pc_ = folder_.Path() / ("pc" + std::to_string(i));
    const auto drive = [this] {
      auto names = sim::SimMachine(pc_).Pc().Drive().List();
      std::erase_if(names, [](const std::string& name) { return !name.ends_with(".SAV"); });
      return names;
    };
    prepare_ = [&](sim::SimPc& pc) { pc.SetShortDateFormat(pictures[i]); };
    const auto before = Cards();
    // A dump first, so that the write's backup takes a numbered name.
    ASSERT_EQ(Run({"dump", "0", "--yes"}), kCliOk) << Out();
    const auto dumped = drive();
    prepare_ = [&](sim::SimPc& pc) {
      pc.SetShortDateFormat(pictures[i]);
      pc.Card(0).Faults().commands.push_back(
          {sim::CommandKind::kProgram, 3, sim::FaultAction::kFail, 0});
    };
    EXPECT_EQ(Run({"upgrade", "0", "--no"}), kCliFailed);
    std::vector<std::string> written;
    std::ranges::set_difference(drive(), dumped, std::back_inserter(written));
    ASSERT_EQ(written.size(), 1u) << ::testing::PrintToString(drive());

    prepare_ = [&](sim::SimPc& pc) { pc.SetShortDateFormat(pictures[i]); };
    EXPECT_EQ(Run({"restore", "0"}), kCliOk) << Out();
    EXPECT_NE(
        Out().find("aus der Sicherung C:\\" + Cp1252ToUtf8(written[0]) + " wiederhergestellt"),
        std::string::npos)
        << Out();
    EXPECT_EQ(Out().find("unlesbar"), std::string::npos) << Out();
    EXPECT_EQ(Cards()[0].flash, before[0].flash);

    // The write's backup is gone; the journal still names it, so no new backup
    // takes its name.
    sim::SimMachine(pc_).Pc().Drive().Uninstall("C:\\" + written[0]);
    ASSERT_EQ(Run({"dump", "0", "--yes"}), kCliOk) << Out();
    EXPECT_EQ(std::ranges::count(drive(), written[0]), 0);
    test::ExpectNoMachineFaults(sim::SimPc::RecordedMachineFaults(pc_));
  }
}

// The user writes card 0's backup onto card 1, answers Yes, and the write
// fails: the restore point is card 1's own backup, filed under card 1.
TEST_F(Cli, RestoreOfAnotherCardsFileIsFiledUnderTheCardItWrites) {
  const auto before = Cards();
  ASSERT_EQ(Run({"dump", "0", "--yes"}), kCliOk);
  prepare_ = [](sim::SimPc& pc) {
    pc.Card(1).Faults().commands.push_back(
        {sim::CommandKind::kProgram, 1, sim::FaultAction::kFail, 0});
  };
  EXPECT_EQ(Run({"restore", "1", "C:\\FLASH_0_05.03.2003.SAV", "--yes-other-card"}), kCliFailed);
  ASSERT_NE(Cards()[1].flash, before[1].flash);
  const auto journal = sim::SimMachine(pc_).Pc().Drive().Contents("C:\\FLASH.JNL");
  const std::string text(journal.begin(), journal.end());
  const auto begun = text.find("begonnen\tSteckplatz=1");
  ASSERT_NE(begun, std::string::npos) << text;
  const std::string line = text.substr(begun, text.find('\n', begun) - begun);
  EXPECT_EQ(line.find("Seriennummer=NHS-0202-0117\t"), std::string::npos) << line;
  EXPECT_NE(line.find("\tSeriennummer-Sicherung=NHS-0202-0117\t"), std::string::npos) << line;

  prepare_ = [](sim::SimPc& pc) { pc.Card(1).Faults() = {}; };
  EXPECT_EQ(Run({"restore", "1"}), kCliOk) << Out();
  EXPECT_NE(Out().find("aus der Sicherung C:\\FLASH_1_05.03.2003.SAV wiederhergestellt"),
            std::string::npos)
      << Out();
  EXPECT_EQ(Cards()[1].flash, before[1].flash);
  EXPECT_EQ(Cards()[0].flash, before[0].flash);
}

TEST_F(Cli, EndRequestedDuringAWriteIsCarriedOutAfterIt) {
  prepare_ = [this](sim::SimPc& pc) {
    pc.Card(0).SetCommandBegunHandler([this](const sim::CommandRecord& command) {
      if (command.kind == sim::CommandKind::kErase) {
        end_requests_.Request();  // as Ctrl+C would, in the middle of the write
      }
    });
  };
  EXPECT_EQ(Run({"upgrade", "0"}), kCliDoneFlashDiffers);
  EXPECT_EQ(end_requests_.EndedAtOnce(), 0);
  const std::string said =
      "Das Programm sollte beendet werden, während eine Karte beschrieben wurde.";
  const std::size_t at = Out().find(said);
  ASSERT_NE(at, std::string::npos) << Out();
  EXPECT_EQ(Out().find(said, at + 1), std::string::npos);
  EXPECT_LT(Out().find("Block 4: Schreibe neuen Datensatz (100 %)"), at);
  EXPECT_LT(Out().find("Flash erfolgreich aktualisiert"), at);
  EXPECT_EQ(Out().find("Seriennummer:"), std::string::npos);  // ended after the command

  // The write was verified and its journal entry closed: nothing is offered back.
  prepare_ = nullptr;
  EXPECT_EQ(Run({"show", "0"}), kCliOk);
  EXPECT_NE(Out().find("Flashversion: 1.3"), std::string::npos);
  EXPECT_EQ(Out().find("nicht abgeschlossen"), std::string::npos) << Out();
}

// The main job on every kind of card a maker may build: upgrade, downgrade,
// upgrade, each with status 0, or 4 exactly when the flash beyond the record
// changed and the output says where; then a downgrade whose block fails,
// "restore 0" and the downgrade again. --yes also takes over a card that is
// busy after power-up.
TEST_F(Cli, MainJobOnEveryKindOfCard) {
  const auto beyond_record = [this] {
    auto flash = Cards()[0].flash;
    std::fill_n(flash.begin() + 0x1000, 7174, 0);
    return flash;
  };
  for (std::size_t k = 0; k < test::CardKinds().size(); ++k) {
    SCOPED_TRACE(test::CardKinds()[k].name);
    pc_ = folder_.Path() / ("kind" + std::to_string(k));
    {
      sim::SimMachine machine(pc_);
      test::CardKinds()[k].apply(machine.Pc());
    }
    prepare_ = nullptr;
    const auto done = [&](std::vector<std::string> args) {
      const auto before = beyond_record();
      const int status = Run(args);
      const bool changed = beyond_record() != before;
      EXPECT_EQ(status, changed ? kCliDoneFlashDiffers : kCliOk) << Out() << Err();
      EXPECT_EQ(Out().find("Außerhalb des Datensatzes weicht") != std::string::npos, changed);
    };
    done({"upgrade", "0", "--yes"});
    done({"downgrade", "0", "--yes"});
    done({"upgrade", "0", "--yes"});
    prepare_ = [](sim::SimPc& pc) {
      pc.Card(0).Faults().commands = {{sim::CommandKind::kProgram, 1, sim::FaultAction::kFail, 0}};
    };
    EXPECT_EQ(Run({"downgrade", "0", "--yes"}), kCliFailed);
    EXPECT_NE(Out().find("restore 0"), std::string::npos) << Out();
    prepare_ = nullptr;
    // The backup before the failed write holds what the earlier erases left.
    EXPECT_EQ(Run({"restore", "0", "--yes"}), kCliOk) << Out();
    EXPECT_NE(Out().find(" wiederhergestellt."), std::string::npos) << Out();
    done({"downgrade", "0", "--yes"});
    EXPECT_NE(Out().find("Flashversion: 1.2"), std::string::npos);
  }
}

// The half-written card and the other one change places: every message names
// the cards by today's numbers.
TEST_F(Cli, CardsThatChangedPlacesAreToldByTodaysNumbers) {
  program_.name = "FlashUpdateCliSim.exe";  // the hints name the program that runs
  const auto before = Cards();
  prepare_ = [](sim::SimPc& pc) {
    pc.Card(0).Faults().commands.push_back(
        {sim::CommandKind::kProgram, 3, sim::FaultAction::kFail, 0});
  };
  ASSERT_EQ(Run({"upgrade", "0", "--no"}), kCliFailed);
  prepare_ = [](sim::SimPc& pc) {
    pc.Card(0).Faults() = {};
    pc.SwapCards(0, 1);
  };
  EXPECT_EQ(Run({"list"}), kCliOk);
  prepare_ = nullptr;
  const std::string command = "FlashUpdateCliSim.exe restore ";
  EXPECT_NE(Out().find("Karte 1 (Seriennummer NHS-0202-0117)"), std::string::npos) << Out();
  EXPECT_NE(Out().find(command + "1\n"), std::string::npos) << Out();
  EXPECT_EQ(Out().find(command + "0"), std::string::npos) << Out();
  EXPECT_EQ(Run({"downgrade", "0"}), kCliOk);  // the other card: nothing open
  EXPECT_EQ(Run({"restore", "1"}), kCliOk);
  EXPECT_EQ(Cards()[1].flash, before[0].flash);
}

TEST_F(Cli, RaisedErrorGivesStatusTwo) {
  prepare_ = [](sim::SimPc& pc) { pc.SetDriveReadOnly(true); };
  EXPECT_EQ(Run({"dump", "0"}), kCliRaised);
  EXPECT_NE(Out().find("Fehler: Dateizugriff verweigert"), std::string::npos);
}

// The driver cannot be opened, or it refuses the configuration ports: no card
// is reached, which a script must tell from a PC without cards.
TEST_F(Cli, HardwareThatCannotBeReachedIsNotAPcWithoutCards) {
  const struct {
    const char* name;
    std::function<void(sim::SimPc&)> prepare;
  } kUnreachable[] = {
      {"no driver files", [](sim::SimPc& pc) { pc.SetDriverFilesPresent(false); }},
      {"service manager refused", [](sim::SimPc& pc) { pc.SetRefuseServiceManager(true); }},
      {"port range refused", [](sim::SimPc& pc) { pc.SetRefusePorts(true); }},
  };
  for (const auto& pc : kUnreachable) {
    SCOPED_TRACE(pc.name);
    pc_ = folder_.Path() / pc.name;
    prepare_ = pc.prepare;
    EXPECT_EQ(Run({"list"}), kCliRaised);
    EXPECT_NE(Out().find("Keine Karte gefunden.\n"), std::string::npos) << Out();
    EXPECT_EQ(Run({"show", "0"}), kCliRaised);
  }
  pc_ = folder_.Path() / "no cards";
  prepare_ = nullptr;
  RemoveCards();
  EXPECT_EQ(Run({"list"}), kCliOk);
  EXPECT_EQ(Out(), "Keine Karte gefunden.\n");
  EXPECT_EQ(Run({"show", "0"}), kCliUsage);
}

TEST_F(Cli, UsageErrors) {
  // The version needs no PC: none is made.
  EXPECT_EQ(Run({"--version"}), kCliOk);
  EXPECT_EQ(Out(), std::string(kConsoleSimProgram) + " " + std::string(kVersion) + "\n");
  EXPECT_FALSE(fs::exists(pc_));
  // With a command it would end with 0 and do nothing of it.
  EXPECT_EQ(Run({"upgrade", "0", "--yes", "--version"}), kCliUsage);
  EXPECT_FALSE(fs::exists(pc_));
  EXPECT_EQ(Run({}), kCliUsage);
  EXPECT_EQ(Run({"flash", "0"}), kCliUsage);
  EXPECT_EQ(Run({"upgrade"}), kCliUsage);
  EXPECT_EQ(Run({"upgrade", "x"}), kCliUsage);
  EXPECT_EQ(Run({"list", "0"}), kCliUsage);
  EXPECT_EQ(Run({"upgrade", "0", "--yes", "--no"}), kCliUsage);
  EXPECT_EQ(Run({"restore", "1", "--yes-other-card", "--no"}), kCliUsage);
  EXPECT_EQ(Err().find("--no und --yes-other-card schließen sich aus.\n"), 0u) << Err();
  EXPECT_NE(Err().find("Aufruf: " + std::string(kConsoleSimProgram) +
                       " BEFEHL [--yes | --no] [--machine ORDNER]\n"),
            std::string::npos)
      << Err();
  EXPECT_EQ(Run({"upgrade", "7"}), kCliUsage);
  EXPECT_NE(Err().find("von 0 bis 1"), std::string::npos);

  // The program for the real PC has no simulated one to name.
  program_ = {"FlashUpdateCli.exe", false};
  EXPECT_EQ(Run({"list", "--machine", "C:\\SimPC"}), kCliUsage);
  EXPECT_EQ(Err().find("--machine gibt es nur in " + std::string(kConsoleSimProgram) +
                       ", dem Programm für den simulierten PC.\n\nAufruf: FlashUpdateCli.exe "
                       "BEFEHL [--yes | --no]\n"),
            0u)
      << Err();
  EXPECT_EQ(Err().find("ORDNER"), std::string::npos) << Err();
}

// The customer's guide names only the commands and options of the usage text,
// and exactly its exit statuses.
TEST_F(Cli, GuideNamesWhatTheUsageTextGives) {
  EXPECT_EQ(Run({}), kCliUsage);
  const std::string usage = Err();
  std::ifstream file(FU_SOURCE_DIR "/package/LIESMICH.txt", std::ios::binary);
  const std::string guide{std::istreambuf_iterator<char>(file), {}};
  ASSERT_NE(guide.find("Rückgabewerte (ERRORLEVEL):"), std::string::npos);
  const auto all = [](const std::string& text, const char* pattern) {
    std::set<std::string> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it) {
      found.insert((*it)[1].str());
    }
    return found;
  };
  for (const std::string& command : all(guide, R"(FlashUpdateCli\.exe ([a-z]+)(?: N|[),\n]))")) {
    EXPECT_NE(usage.find("\n  " + command + " "), std::string::npos) << command;
  }
  for (const std::string& option : all(guide, R"((--[a-z][a-z-]*))")) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  const std::size_t codes = guide.find("Rückgabewerte (ERRORLEVEL):");
  EXPECT_EQ(all(guide.substr(codes, guide.find("\n\n", codes) - codes), R"(\n  ([0-9])  )"),
            all(usage.substr(usage.find("Rückgabewerte:")), R"([:,] ([0-9]) )"));
}

TEST_F(Cli, MachineThatCannotBeHadIsAUsageError) {
  std::ostringstream out, err;
  std::istringstream in;
  const std::vector<std::string> args = {"list", "--machine", "/nowhere"};
  EXPECT_EQ(RunFlashUpdateCli(args, out, err, in, false,
                              [](const auto& folder) -> std::unique_ptr<Machine> {
                                EXPECT_EQ(folder, std::optional<std::string>("/nowhere"));
                                throw std::runtime_error("Der simulierte PC ist belegt.");
                              }),
            kCliUsage);
  EXPECT_NE(err.str().find("belegt"), std::string::npos);

  // Folders the simulated PC refuses: the message is German, in UTF-8, with no
  // English text of the library or the system in it.
  const sim::SimPc first_program(folder_.Path() / "held");  // holds its PC's folder
  std::ofstream(folder_.Path() / "file") << "x";
  fs::create_directories(folder_.Path() / "damaged");
  std::ofstream(folder_.Path() / "damaged" / "pc.json") << "{\"format\": 1,";
  const struct {
    fs::path folder;
    const char* german;
  } kRefused[] = {
      {folder_.Path() / "file" / "pc", "kann nicht gespeichert werden: Kein Verzeichnis\n"},
      {folder_.Path() / "damaged", "ist fehlerhaft: kein gültiges JSON, Fehler bei Byte 14\n"},
      {folder_.Path() / "held", "wird schon von einem anderen Programm benutzt.\n"},
  };
  for (const auto& refused : kRefused) {
    std::ostringstream refused_out, refused_err;
    const std::vector<std::string> machine_args = {"list", "--machine", refused.folder.string()};
    EXPECT_EQ(RunFlashUpdateCli(machine_args, refused_out, refused_err, in, false,
                                [](const auto& folder) -> std::unique_ptr<Machine> {
                                  return std::make_unique<sim::SimMachine>(*folder);
                                }),
              kCliUsage);
    EXPECT_NE(refused_err.str().find(refused.german), std::string::npos) << refused_err.str();
    for (const char* english : {"Not a directory", "json.exception", "parse error"}) {
      EXPECT_EQ(refused_err.str().find(english), std::string::npos) << refused_err.str();
    }
  }
}

std::string ReadText(const fs::path& file) {
  std::stringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  return text.str();
}

// An expected protocol text as the file holds it: code page 1252 with CR LF
// on Windows, UTF-8 with LF elsewhere.
std::string InProtocol(const std::string& utf8) {
#ifdef _WIN32
  std::string text;
  for (const char c : Utf8ToCp1252(utf8)) {
    text += c == '\n' ? std::string(kProtocolLineEnd) : std::string(1, c);
  }
  return text;
#else
  return utf8;
#endif
}

// Each road a support case needs shows in the protocol with its own lines: the
// driver, the PCI scan, the DSP program and its boot, the flash commands, the
// waits, the backup and journal, and the messages with their answers.
TEST_F(Cli, ProtocolRecordsEachRoad) {
  const std::string version(kVersion);
  const struct {
    const char* name;
    std::vector<std::string> command;
    std::function<void(sim::SimPc&)> prepare;
    bool no_cards;
    std::vector<std::string> lines;
  } kRows[] = {
      {"upgrade",
       {"upgrade", "0", "--yes"},
       nullptr,
       false,
       {"Beginn: ",
        "Programm: " + std::string(kConsoleSimProgram) + " " + version,
        "Plattform: simulierter PC in ",
        "Aufruf: upgrade 0 --yes --protokoll ",
        "Treiber: Dienst HWACCESS gestartet",
        "PCI-Suche: Karte an Bus 0, Gerät 9, BAR0 0xFEBF0000, Steckplatz 0",
        "Karte 1: Fenster 0xFEBF0000 abgebildet auf ",
        "Karte in Steckplatz 0: nimbaPCI/HS, Seriennummer NHS-0202-0117, Revision 1.2",
        " freigegeben",
        "DSP-Programm: C:\\PROGRAMME\\FLASHUPDATE\\QX4FLASH_PCI.PCI, 3344 Bytes, CRC32 ",
        "Warten 500 ms: Reset des DSP vor dem Boot",
        "Boot Steckplatz 0: 418 Wörter gesendet",
        "Flash-Befehl Lesen: Steckplatz 0, Adresse 0xD00000, Anzahl 65536, vollständig, ",
        "Sicherung: C:\\FLASH_0_05.03.2003.SAV geschrieben, 262152 Bytes",
        "Journal: C:\\FLASH.JNL + begonnen\tSteckplatz=0",
        "Sicherung=C:\\FLASH_0_05.03.2003.SAV\tBytes=262152\tInhalt-CRC32=",
        "Flash-Befehl Löschen: Steckplatz 0, Adresse 0xD02000, Status 0, ",
        "Flash-Befehl Programmieren: Steckplatz 0, Adresse 0x000000, Anzahl 2048, Status 0, ",
        "Prüfung: Datensatz wie geschrieben; außerhalb davon abweichend von "
        "C:\\FLASH_0_05.03.2003.SAV, 68 Bytes 0xD02E00-0xD02E43",
        "Journal: C:\\FLASH.JNL + fertig\tSteckplatz=0",
        "\tAbweichung=0xD02E00-0xD02E43\tZeit=",
        "\tVersion=" + version,
        "Karte in Steckplatz 0: nimbaPCI/HS_1, Seriennummer NHS-0202-0117, Revision 1.3",
        "Meldung (Information): Flash erfolgreich aktualisiert\n",
        "Antwort: OK\n",
        "Ende, Rückgabewert 4"}},
      {"no driver files",
       {"list"},
       [](sim::SimPc& pc) { pc.SetDriverFilesPresent(false); },
       false,
       {"Treiber: Dienst HWACCESS nicht gestartet, Fehlercode ",
        "Meldung (Fehler): Fehler bei HWAccess"}},
      {"service manager refused",
       {"list"},
       [](sim::SimPc& pc) { pc.SetRefuseServiceManager(true); },
       false,
       {"Treiber: Dienstverwaltung verweigert (Start), Fehlercode 5"}},
      {"no cards", {"list"}, nullptr, true, {"PCI-Suche: 0 Karten gefunden"}},
      {"card takes no words",
       {"show", "0"},
       [](sim::SimPc& pc) { pc.Card(0).Faults().takesNoWords = true; },
       false,
       {"Boot Steckplatz 0: Übertragung fehlgeschlagen, die Karte nimmt keine Wörter an (418"}},
      {"no DSP program file",
       {"show", "0"},
       [](sim::SimPc& pc) { pc.SetDspProgramPresent(false); },
       false,
       {"DSP-Programm: C:\\PROGRAMME\\FLASHUPDATE\\QX4FLASH_PCI.PCI nicht geöffnet, "
        "Fehlercode 2"}},
      {"erase fails",
       {"upgrade", "0", "--yes"},
       [](sim::SimPc& pc) {
         pc.Card(0).Faults().commands.push_back(
             {sim::CommandKind::kErase, 1, sim::FaultAction::kFail, 0});
       },
       false,
       {"Flash-Befehl Löschen: Steckplatz 0, Adresse 0xD02000, Status 1, ",
        "Ende, Rückgabewert 1"}},
      {"block written wrong",
       {"upgrade", "0", "--yes"},
       [](sim::SimPc& pc) {
         pc.Card(0).Faults().commands.push_back(
             {sim::CommandKind::kProgram, 1, sim::FaultAction::kLie, 100});
       },
       false,
       {"Prüfung: Datensatz abweichend ab Byte 100", "Ende, Rückgabewert 1"}},
      {"no such card",
       {"show", "7"},
       nullptr,
       false,
       {"Abgelehnt: Karte 7 gibt es nicht; die Karten sind von 0 bis 1 nummeriert.",
        "Ende, Rückgabewert 3"}},
      {"wrong call",
       {"frobnicate"},
       nullptr,
       false,
       {"Abgelehnt: Unbekannter Befehl \"frobnicate\".", "Ende, Rückgabewert 3"}},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    pc_ = folder_.Path() / row.name;
    prepare_ = row.prepare;
    if (row.no_cards) {
      RemoveCards();
    }
    const fs::path file = folder_.Path() / (std::string(row.name) + ".txt");
    std::vector<std::string> args = row.command;
    args.insert(args.end(), {"--protokoll", file.string()});
    Run(args);
    const std::string protocol = ReadText(file);
    for (const std::string& line : row.lines) {
      EXPECT_NE(protocol.find(InProtocol(line)), std::string::npos) << line << "\n" << protocol;
    }
    // One line per flash command, not per word: an upgrade stays small.
    EXPECT_LT(protocol.size(), 64u * 1024u);
  }
}

// A protocol that cannot be written stops the program before it touches the
// PC; the window programs' /protokoll takes a quoted name and wants one.
TEST_F(Cli, ProtocolThatCannotBeWrittenStopsTheProgram) {
  const fs::path unwritable = folder_.Path() / "kein Ordner" / "p.txt";
  EXPECT_EQ(Run({"upgrade", "0", "--yes", "--protokoll", unwritable.string()}), kCliUsage);
  EXPECT_NE(Err().find("Die Protokolldatei " + unwritable.string() +
                       " kann nicht angelegt werden (Ordner nicht gefunden)"),
            std::string::npos)
      << Err();
  EXPECT_EQ(Out(), "");  // no card was listed
  EXPECT_EQ(Run({"list", "--protokoll"}), kCliUsage);

  sim::SimMachine machine(pc_);
  const fs::path file = folder_.Path() / "mit Leerzeichen.txt";
  const auto protocol = StartProtocolFromArguments(
      SplitCommandLine("/protokoll \"" + file.string() + "\""), "FlashUpdate", machine);
  ASSERT_NE(protocol, nullptr);
  protocol->Record("Meldung (Fehler): Fehler bei HWAccess");
  const std::string text = ReadText(file);
  const std::string end(kProtocolLineEnd);
  EXPECT_NE(text.find("Programm: FlashUpdate " + std::string(kVersion) + end), std::string::npos)
      << text;
  EXPECT_NE(text.find("Meldung (Fehler): Fehler bei HWAccess" + end), std::string::npos) << text;
  EXPECT_EQ(StartProtocolFromArguments(SplitCommandLine("/x"), "FlashUpdate", machine), nullptr);
  EXPECT_THROW(StartProtocolFromArguments(SplitCommandLine("/protokoll"), "FlashUpdate", machine),
               ProtocolFileError);
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// A protocol keeps what it holds: each session is appended with its header; a
// file the program owns on drive C: is refused, whatever its case or path,
// and so is every file while another program holds the PC.
TEST_F(Cli, ProtocolKeepsWhatItHolds) {
  const fs::path file = folder_.Path() / "support.txt";
  std::ofstream(file, std::ios::binary) << "vorher\n";
  EXPECT_EQ(Run({"list", "--protokoll", file.string()}), kCliOk);
  EXPECT_EQ(Run({"show", "1", "--protokoll", file.string()}), kCliOk);
  const std::string text = ReadText(file);
  EXPECT_TRUE(text.starts_with("vorher\n")) << text;
  EXPECT_EQ(Count(text, "Beginn: "), 2u) << text;
  EXPECT_EQ(Count(text, "ms  Programm: "), 2u) << text;
  EXPECT_EQ(Count(text, InProtocol("Ende, Rückgabewert 0")), 2u) << text;

  const fs::path drive = pc_ / "C";
  Run({"upgrade", "0", "--yes"});  // a journal and a backup to protect
  const struct {
    fs::path file;
    const char* told;  // empty: an own protocol, not refused
  } kNames[] = {
      {drive / "FLASH.JNL", "ist das Änderungsprotokoll des Programms"},
      {drive / "flash.jnl", "ist das Änderungsprotokoll des Programms"},
      {drive / "." / "Flash_0_05.03.2003.sav", "trägt den Namen einer Sicherung des Programms"},
      {drive / "FLASH_3_06.03.2003.1.SAV", "trägt den Namen einer Sicherung des Programms"},
      {drive / "FLASH_1_05.03.2003.TMP", "trägt den Namen einer Sicherung des Programms"},
      {drive / "FLASH_2.JNL", "ist das Änderungsprotokoll des Programms"},
      {drive / "NOTIZEN.TXT", ""},
      {folder_.Path() / "FLASH.JNL", ""},
  };
  for (const auto& name : kNames) {
    SCOPED_TRACE(name.file.string());
    const bool existed = fs::exists(name.file);
    const std::string before = existed ? ReadText(name.file) : "";
    const int status = Run({"list", "--protokoll", name.file.string()});
    if (*name.told == '\0') {
      EXPECT_EQ(status, kCliOk);
      EXPECT_NE(ReadText(name.file).find("Programm: "), std::string::npos);
      continue;
    }
    EXPECT_EQ(status, kCliUsage);
    EXPECT_NE(Err().find(std::string("Die Protokolldatei ") + name.file.string() + " " + name.told),
              std::string::npos)
        << Err();
    EXPECT_EQ(Out(), "");
    EXPECT_EQ(fs::exists(name.file), existed);
    EXPECT_EQ(existed ? ReadText(name.file) : "", before);
  }
  EXPECT_TRUE(IsOwnedFile("c:\\flash_0_5-m\xe4r-2003.sav"));
  EXPECT_FALSE(IsOwnedFile("C:\\ALT\\FLASH.JNL"));

  // A second program, refused while the first holds the PC, leaves the first
  // one's protocol alone.
  const std::string held = ReadText(file);
  const sim::SimPc first_program(pc_);
  EXPECT_EQ(Run({"list", "--protokoll", file.string()}), kCliUsage);
  EXPECT_NE(Err().find("wird schon von einem anderen Programm benutzt"), std::string::npos);
  EXPECT_EQ(ReadText(file), held);
}

#ifndef _WIN32
// A protocol whose lines stop reaching the file (a full drive) does not stop
// the program, but the user is told at the end that lines are missing. Here
// only: it needs a file that takes no bytes, /dev/full.
TEST_F(Cli, ProtocolThatLosesLinesIsToldAtTheEnd) {
  EXPECT_EQ(Run({"list", "--protokoll", "/dev/full"}), kCliOk);
  EXPECT_NE(Out().find("0: nimbaPCI/HS"), std::string::npos) << Out();
  EXPECT_NE(Err().find("Hinweis: Die Protokolldatei /dev/full ist unvollständig"),
            std::string::npos)
      << Err();
  EXPECT_EQ(Run({"list", "--protokoll", (folder_.Path() / "p.txt").string()}), kCliOk);
  EXPECT_EQ(Err(), "");
}
#endif

}  // namespace
}  // namespace fu
