#include "flashrecord/flashrecord.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <ostream>
#include <vector>

#include "base/cp1252.h"
#include "base/errors.h"
#include "base/version.h"
#include "console/console_message_service.h"
#include "flash/backup_format.h"
#include "flashrecord/file_io.h"
#include "flashrecord/record_report.h"
#include "record/downgrade.h"
#include "record/image_codec.h"
#include "record/revision.h"
#include "record/upgrade.h"

namespace fu::flashrecord {

namespace {

constexpr std::string_view kUsage =
    "Aufruf:\n"
    "  flashrecord show DATEI [--full]\n"
    "  flashrecord upgrade EIN AUS [--yes | --no]\n"
    "  flashrecord downgrade EIN AUS\n"
    "\n"
    "show       zeigt jedes Feld eines Datensatzes der Revision 1.2 (1736 Bytes), eines\n"
    "           Abbilds der Revision 1.3 (7174 Bytes) oder des Datensatzes in einer\n"
    "           Sicherungsdatei des Flash-Bereichs (262152 Bytes) samt ihren Prüfworten.\n"
    "           Große Tabellen erscheinen zusammengefasst, mit --full vollständig.\n"
    "upgrade    wandelt einen Datensatz der Revision 1.2 in ein Abbild der Revision 1.3.\n"
    "           --yes oder --no beantwortet die Rückfragen; sonst wird am Terminal\n"
    "           gefragt, und ohne Terminal gilt Nein.\n"
    "downgrade  wandelt ein Abbild der Revision 1.3 in einen Datensatz der Revision 1.2.\n"
    "\n"
    "Rückgabewerte: 0 in Ordnung; 1 Datensatz nicht erkannt, Prüfworte falsch oder\n"
    "Umwandlung unvollständig; 2 ein Text des Datensatzes ist kein gültiger Integerwert;\n"
    "3 unbrauchbare Argumente, Eingabe oder Ausgabe.\n"_cp;

constexpr std::string_view kWriteAnyway =
    "Die Umwandlung in Revision 1.3 ist unvollständig.\r\n"
    "Eine Karte mit diesem Datensatz wird eventuell nicht mehr richtig erkannt.\r\n"
    "\r\n"
    "Möchten Sie das Abbild dennoch schreiben?"_cp;

struct Arguments {
  std::string command;
  std::vector<std::string> files;
  bool full = false;
  std::optional<Answer> answer;
  std::string error;  // empty when the arguments fit the command
};

Arguments ParseArguments(std::span<const std::string> args) {
  Arguments a;
  if (args.empty()) {
    a.error = "Es fehlt ein Befehl.";
    return a;
  }
  a.command = args[0];
  for (const auto& arg : args.subspan(1)) {
    if (arg == "--full") {
      a.full = true;
    } else if (arg == "--yes" || arg == "--no") {
      const Answer answer = arg == "--yes" ? Answer::Yes : Answer::No;
      if (a.answer && *a.answer != answer) {
        a.error = "--yes und --no schließen sich aus."_cp;
        return a;
      }
      a.answer = answer;
    } else if (arg.size() > 1 && arg[0] == '-') {
      a.error = "Unbekannte Option \"" + Utf8ToCp1252(arg) + "\".";
      return a;
    } else {
      a.files.push_back(arg);
    }
  }
  std::size_t files = 0;
  bool full = false;
  bool answer = false;
  if (a.command == "show") {
    files = 1;
    full = true;
  } else if (a.command == "upgrade") {
    files = 2;
    answer = true;
  } else if (a.command == "downgrade") {
    files = 2;
  } else {
    a.error = "Unbekannter Befehl \"" + Utf8ToCp1252(a.command) + "\".";
    return a;
  }
  if (a.files.size() != files) {
    a.error = "\"" + a.command + "\" erwartet " + std::to_string(files) +
              (files == 1 ? " Datei" : " Dateien") + ", angegeben " +
              std::to_string(a.files.size()) + ".";
  } else if (a.full && !full) {
    a.error = "--full gilt nur für \"show\"."_cp;
  } else if (a.answer && !answer) {
    a.error = "--yes und --no gelten nur für \"upgrade\"."_cp;
  }
  return a;
}

std::string Quoted(const std::string& path) {
  std::string quoted = "\"";
  quoted += HostTextToCp1252(path);
  quoted += '"';
  return quoted;
}

std::string SizeText(std::size_t size, std::size_t limit) {
  return size > limit ? "mehr als " + std::to_string(limit) + " Bytes"
                      : std::to_string(size) + " Bytes";
}

std::string RevisionText(int revision) {
  switch (revision) {
    case kRevision12:
      return "Revision 1.2";
    case kRevision13:
      return "Revision 1.3";
    default:
      return "keine bekannte Revision";
  }
}

// The program's state while it runs one command.
class Program {
 public:
  Program(std::ostream& out, ConsoleMessageService& messages) : out_(out), messages_(messages) {}

  int Show(const std::string& path, bool full);
  int Upgrade(const std::string& from, const std::string& to);
  int Downgrade(const std::string& from, const std::string& to);

 private:
  void Error(std::string_view text) { messages_.Show(text, MessageKind::Error, Buttons::Ok); }
  void Notice(std::string_view text) {
    messages_.Show(text, MessageKind::Information, Buttons::Ok);
  }
  // The file's bytes, or nothing after an error message.
  std::optional<std::vector<std::uint8_t>> Read(const std::string& path, std::size_t limit);
  bool Write(const std::string& path, std::span<const std::uint8_t> bytes);

  std::ostream& out_;
  ConsoleMessageService& messages_;
};

std::optional<std::vector<std::uint8_t>> Program::Read(const std::string& path, std::size_t limit) {
  InputFile file = ReadInputFile(path, limit);
  if (!file.error.empty()) {
    Error(file.error);
    return std::nullopt;
  }
  return std::move(file.bytes);
}

bool Program::Write(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::string error = WriteWholeFile(path, bytes);
  if (!error.empty()) {
    Error(error);
    return false;
  }
  return true;
}

int Program::Show(const std::string& path, bool full) {
  const auto bytes = Read(path, kBackupFileSize);
  if (!bytes) {
    return kExitUnusable;
  }
  std::string listing = "Datei " + Quoted(path) + ", " + std::to_string(bytes->size()) + " Bytes: ";
  std::span<const std::uint8_t> record(*bytes);
  std::vector<std::uint8_t> flash;
  bool intact = true;
  switch (bytes->size()) {
    case kRecordV12Size:
      listing += "Datensatz\n";
      break;
    case kImageV13Size:
      listing += "Abbild\n";
      break;
    case kBackupFileSize: {
      BackupFile backup = ParseBackupFile(*bytes);
      if (backup.flash.empty()) {
        Error(std::string("Die Sicherungsdatei ") + Quoted(path) +
              std::string(" ist beschädigt: "_cp) + BackupCheckText(backup));
        return kExitUnusable;
      }
      flash = std::move(backup.flash);
      record = std::span(flash).subspan(kBackupRecordOffset, kImageV13Size);
      intact = backup.Restorable();
      listing += "Sicherungsdatei des Flash-Bereichs ab 0xD00000, Datensatz ab 0xD01000\n";
      listing += (intact ? "" : "FEHLER: ") + BackupCheckText(backup) + "\n";
      if (!intact) {
        Error(std::string("Die Prüfworte der Sicherungsdatei "_cp) + Quoted(path) +
              " passen nicht zu ihrem Inhalt: " + BackupCheckText(backup));
      }
      break;
    }
    default:
      Error("Die Datei " + Quoted(path) + " hat " + SizeText(bytes->size(), kBackupFileSize) +
            "; erwartet werden " + std::to_string(kRecordV12Size) +
            " (Datensatz der Revision 1.2), " + std::to_string(kImageV13Size) +
            " (Abbild der Revision 1.3) oder " + std::to_string(kBackupFileSize) +
            " (Sicherungsdatei).");
      return kExitUnusable;
  }

  const RecordV12 block(record.first(std::min(record.size(), kRecordV12Size)));
  const int revision = RecognizeRevision(block);
  listing += "Revision: ";
  std::string summary;  // leads the listing, before the file's description
  switch (revision) {
    case kRevision12:
      summary = ListSummaryV12(block);
      listing += "1.2\n\n" + ListRecordV12(block);
      break;
    case kRevision13: {
      ImageV13 image;
      std::copy_n(record.begin(), std::min(record.size(), kImageV13Size), image.bytes.begin());
      RecordV13 decoded;
      DecodeImage(image, decoded);
      summary = ListSummaryV13(decoded);
      listing += "1.3\n\n" + ListRecordV13(decoded, full);
      if (record.size() < kImageV13Size) {
        intact = false;
        Error("Die Datei " + Quoted(path) +
              std::string(" trägt die Kennung der Revision 1.3, hat aber nur "_cp) +
              std::to_string(record.size()) +
              std::string(" der 7174 Bytes eines Abbilds; die fehlenden "
                          "wurden als 0 gelesen."_cp));
      }
      break;
    }
    default:
      intact = false;
      summary = ListSummaryUnknown();
      listing += "unbekannt\n\n" + ListIdentifyingBytes(block);
      Error("Der Datensatz in " + Quoted(path) +
            std::string(" gehört zu keiner bekannten Revision (siehe die Kennbytes)."_cp));
      break;
  }
  out_ << TerminalText(summary + "\n" + listing) << std::flush;
  return intact ? kExitOk : kExitIncomplete;
}

int Program::Upgrade(const std::string& from, const std::string& to) {
  const auto bytes = Read(from, kRecordV12Size);
  if (!bytes) {
    return kExitUnusable;
  }
  if (bytes->size() != kRecordV12Size) {
    Error("Die Datei " + Quoted(from) + " hat " + SizeText(bytes->size(), kRecordV12Size) +
          "; ein Datensatz der Revision 1.2 hat 1736 Bytes.");
    return kExitUnusable;
  }
  const RecordV12 old(*bytes);
  if (const int revision = RecognizeRevision(old); revision != kRevision12) {
    Error("Die Datei " + Quoted(from) +
          std::string(" enthält keinen Datensatz der Revision 1.2 (erkannt: "_cp) +
          RevisionText(revision) + ").");
    return kExitUnusable;
  }
  RecordV13 converted;
  bool complete = false;
  try {
    complete = UpgradeRecord(old, converted, messages_);
  } catch (const IntegerConversionError& e) {
    Error(e.Text());
    Notice(Quoted(to) + " wurde nicht geschrieben.");
    return kExitIntegerConversion;
  }
  if (!complete &&
      messages_.Show(kWriteAnyway, MessageKind::Error, Buttons::YesNo) != Answer::Yes) {
    Notice(Quoted(to) + " wurde nicht geschrieben.");
    return kExitIncomplete;
  }
  ImageV13 image;
  EncodeImage(converted, image);
  if (!Write(to, image.bytes)) {
    return kExitUnusable;
  }
  Notice("Abbild der Revision 1.3 nach " + Quoted(to) + " geschrieben.");
  return complete ? kExitOk : kExitIncomplete;
}

int Program::Downgrade(const std::string& from, const std::string& to) {
  const auto bytes = Read(from, kImageV13Size);
  if (!bytes) {
    return kExitUnusable;
  }
  if (bytes->size() != kImageV13Size) {
    Error("Die Datei " + Quoted(from) + " hat " + SizeText(bytes->size(), kImageV13Size) +
          "; ein Abbild der Revision 1.3 hat 7174 Bytes.");
    return kExitUnusable;
  }
  ImageV13 image;
  std::copy(bytes->begin(), bytes->end(), image.bytes.begin());
  RecordV13 decoded;
  DecodeImage(image, decoded);
  if (RecognizeRevision(decoded) != kRevision13) {
    const auto& v = decoded.Versions[2];
    Error("Die Datei " + Quoted(from) +
          std::string(" enthält kein Abbild der Revision 1.3 (Formatkennung "_cp) +
          std::to_string(v.FormatMajor) + "." + std::to_string(v.FormatMinor) + ").");
    return kExitUnusable;
  }
  RecordV12 record;
  DowngradeRecord(decoded, record);
  if (!Write(to, record.Bytes())) {
    return kExitUnusable;
  }
  Notice("Datensatz der Revision 1.2 nach " + Quoted(to) + " geschrieben.");
  return kExitOk;
}

}  // namespace

int RunFlashRecord(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                   std::istream& in, bool inputIsTerminal) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
    out << TerminalText(kUsage);
    return kExitOk;
  }
  if (!args.empty() && args[0] == "--version") {
    out << "flashrecord " << kVersion << '\n';
    return kExitOk;
  }
  const Arguments a = ParseArguments(args);
  ConsoleMessageService messages(err, in, inputIsTerminal, a.answer);
  if (!a.error.empty()) {
    messages.Show(a.error, MessageKind::Error, Buttons::Ok);
    err << '\n' << TerminalText(kUsage);
    return kExitUnusable;
  }
  // A file argument is in the system's own narrow encoding, as the streams take it.
  try {
    Program program(out, messages);
    if (a.command == "show") {
      return program.Show(a.files[0], a.full);
    }
    if (a.command == "upgrade") {
      return program.Upgrade(a.files[0], a.files[1]);
    }
    return program.Downgrade(a.files[0], a.files[1]);
  } catch (const std::bad_alloc&) {
    messages.Show("Zu wenig Arbeitsspeicher.", MessageKind::Error, Buttons::Ok);
    return kExitUnusable;
  } catch (const std::exception&) {
    // The library's own text is English; the user gets a German one.
    messages.Show("Unerwarteter Fehler.", MessageKind::Error, Buttons::Ok);
    return kExitUnusable;
  }
}

}  // namespace fu::flashrecord
