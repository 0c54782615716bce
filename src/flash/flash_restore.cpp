#include "flash/flash_restore.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/cp1252.h"
#include "base/errors.h"
#include "flash/backup_format.h"
#include "flash/flash_backup.h"
#include "record/image_codec.h"
#include "record/revision.h"

namespace fu {

namespace {

constexpr std::string_view kWriteAnyway =
    "\r\n\r\nMöchten Sie die Sicherung trotzdem auf diese Karte zurückschreiben?"_cp;

std::string AddressText(std::size_t offset) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X",
                static_cast<unsigned>(kBackupAreaStart + static_cast<std::uint32_t>(offset)));
  return text;
}

std::string SerialText(std::string_view serial) {
  return serial.empty() ? std::string("(leer)") : std::string(serial);
}

std::string CardText(int card_number, std::string_view serial) {
  return "Karte " + std::to_string(card_number) + " (Seriennummer " + std::string(serial) + ")";
}

bool InRecordSector(std::size_t offset) {
  const std::size_t sector = record_write::kSectorStart - kBackupAreaStart;
  return offset >= sector && offset < sector + record_write::kSectorWords;
}

constexpr std::string_view kUntouchedFlash =
    "Das Flash außerhalb des Datensatzbereichs, das kein Schreiben dieses Programms ändert, "_cp;

// The serial number of the record the file holds; nothing when it holds none.
std::optional<std::string> FileSerialNumber(std::span<const std::uint8_t> record) {
  const RecordV12 v12(record.first(kRecordV12Size));
  switch (RecognizeRevision(v12)) {
    case kRevision12:
      return v12.Get(v12::SerialNumber);
    case kRevision13: {
      std::vector<HostWord> words(record.begin(), record.begin() + kImageV13Size);
      ImageV13 image;
      WordsToImage(std::span<const HostWord, kImageV13Size>(words), image);
      RecordV13 decoded;
      DecodeImage(image, decoded);
      return decoded.SerialNumber.str();
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

bool RestorableBackup(Files& files, std::string_view path) {
  try {
    const auto file = files.OpenRead(path);
    const BackupFile backup = ParseBackupFile(file->ReadAtMost(kBackupFileSize + 1));
    file->Close();
    return backup.Restorable() &&
           FileSerialNumber(std::span(backup.flash).subspan(kBackupRecordOffset)).has_value();
  } catch (const FileError&) {
    return false;
  }
}

RestoreOutcome FlashRestore::Refuse(std::string_view path, std::string_view why) {
  std::string text = "Die Sicherungsdatei ";
  text += path;
  text += ' ';
  text += why;
  text += "\r\n";
  text += std::string_view("Die Karte wurde nicht verändert."_cp);
  messages_.Show(text, MessageKind::Error, Buttons::Ok);
  return RestoreOutcome::Refused;
}

FlashRestore::Untouched FlashRestore::CompareUntouched(CardSlot slot,
                                                       std::span<const std::uint8_t> file_flash) {
  std::vector<HostWord> area;
  if (ReadAreaTwice(flash_, slot, area) != BackupOutcome::Ok) {
    return {Untouched::Kind::Unreadable};
  }
  for (std::size_t i = 0; i < area.size(); ++i) {
    if (!InRecordSector(i) && area[i] != file_flash[i]) {
      return {Untouched::Kind::Differs, i};
    }
  }
  return {Untouched::Kind::Equal};
}

std::optional<RestoreOutcome> FlashRestore::CheckOwner(CardSlot slot, int card_number,
                                                       std::string_view path,
                                                       std::span<const std::uint8_t> file_flash,
                                                       std::string_view file_serial,
                                                       FileOwner owner) {
  const std::optional<std::string> card_serial = reader_.ReadSerialNumber(slot);
  if (card_serial && *card_serial == file_serial) {
    return std::nullopt;
  }
  const std::string file = "Die Sicherung " + std::string(path);
  const std::string file_card = "der Karte mit der Seriennummer " + SerialText(file_serial);
  if (card_serial && owner == FileOwner::ThisCard) {
    messages_.Show(
        file + " stammt von " + file_card + ", nicht von " +
            CardText(card_number, SerialText(*card_serial)) +
            std::string(". Sie wird darum nicht zurückgeschrieben; die Karte wurde nicht "
                        "verändert.\r\nWenn Sie sicher sind, dass die Sicherung zu dieser "
                        "Karte gehört, nennen Sie die Datei ausdrücklich mit dem Befehl "
                        "restore des Konsolenprogramms: restore "_cp) +
            std::to_string(card_number) + " " + std::string(path),
        MessageKind::Error, Buttons::Ok);
    return RestoreOutcome::Refused;
  }
  const Untouched untouched = CompareUntouched(slot, file_flash);
  std::string flash_text;
  switch (untouched.kind) {
    case Untouched::Kind::Equal:
      if (!card_serial && owner == FileOwner::ThisCard) {
        return std::nullopt;  // the start-up question named the file
      }
      flash_text = std::string(kUntouchedFlash) + "gleicht dem der Sicherung.";
      break;
    case Untouched::Kind::Differs:
      flash_text = std::string(kUntouchedFlash) +
                   "weicht von dem der Sicherung ab, zuerst bei Adresse " +
                   AddressText(untouched.first) + ".";
      break;
    case Untouched::Kind::Unreadable:
      flash_text = std::string(
          "Das Flash außerhalb des Datensatzbereichs konnte nicht zweimal gleich gelesen "
          "werden; ob es dem der Sicherung gleicht, ist nicht bekannt."_cp);
      break;
  }
  std::string question;
  if (card_serial) {
    question = file + " stammt von " + file_card + ", nicht von " +
               CardText(card_number, SerialText(*card_serial)) + ".\r\n";
  } else {
    question = CardText(card_number, "unbekannt") +
               ": ihr Datensatz kann nicht gelesen werden.\r\n" + file + " stammt von " +
               file_card + ". ";
  }
  if (untouched.kind == Untouched::Kind::Differs) {
    question += std::string("Sie gehört zu einer anderen Karte: "_cp);
  }
  question += flash_text;
  question += kWriteAnyway;
  if (messages_.Show(question, MessageKind::Error, Buttons::YesNoDefaultNo) != Answer::Yes) {
    return RestoreOutcome::Declined;
  }
  return std::nullopt;
}

bool FlashRestore::AreaEqualsFile(CardSlot slot, std::string_view path,
                                  std::span<const std::uint8_t> file_flash) {
  std::vector<HostWord> back(kBackupWords, 0);
  if (!flash_.FlashRead(slot, kBackupAreaStart, back)) {
    messages_.Show(std::string("Der Datensatz wurde zurückgeschrieben, aber das Flash der Karte "
                               "konnte danach nicht vollständig gelesen werden. Ob es der "
                               "Sicherung "_cp) +
                       std::string(path) + std::string(" gleicht, ist nicht bekannt."),
                   MessageKind::Error, Buttons::Ok);
    return false;
  }
  const auto differs = std::mismatch(back.begin(), back.end(), file_flash.begin(),
                                     [](HostWord got, std::uint8_t want) { return got == want; });
  if (differs.first == back.end()) {
    return true;
  }
  const auto offset = static_cast<std::size_t>(differs.first - back.begin());
  const std::size_t sector = record_write::kSectorStart - kBackupAreaStart;
  std::string text;
  if (InRecordSector(offset)) {
    text = "Das Flash der Karte weicht nach dem Zurückschreiben bei Adresse "_cp;
    text += AddressText(offset) + " von der Sicherung " + std::string(path) + " ab.";
  } else {
    text = "Der Datensatzbereich " + AddressText(sector) + " bis " +
           AddressText(sector + record_write::kSectorWords - 1) + " wurde aus der Sicherung " +
           std::string(path) +
           std::string(
               " zurückgeschrieben und stimmt mit ihr überein.\r\n"
               "Außerhalb davon weicht das Flash der Karte aber von "
               "der Sicherung ab, zuerst bei Adresse "_cp) +
           AddressText(offset) +
           std::string(
               ". Diesen Teil schreibt dieses Programm nie.\r\n"
               "Die Karte gleicht der Sicherung darum nicht vollständig."_cp);
  }
  messages_.Show(text, MessageKind::Error, Buttons::Ok);
  return false;
}

RestoreOutcome FlashRestore::RestoreFromBackup(CardSlot slot, int card_number,
                                               std::string_view path, FileOwner owner) {
  std::vector<std::uint8_t> bytes;
  try {
    const auto file = files_.OpenRead(path);
    bytes = file->ReadAtMost(kBackupFileSize + 1);
    file->Close();
  } catch (const FileError& error) {
    return Refuse(path, "kann nicht gelesen werden: " + std::string(error.Text()) + ".");
  }
  if (bytes.size() > kBackupFileSize) {
    return Refuse(path, std::string("ist zu groß: eine Sicherung hat genau "_cp) +
                            std::to_string(kBackupFileSize) + " Bytes.");
  }
  const BackupFile backup = ParseBackupFile(bytes);
  if (!backup.Restorable()) {
    return Refuse(path, std::string("ist unbrauchbar: "_cp) + BackupCheckText(backup));
  }
  const auto serial = FileSerialNumber(std::span(backup.flash).subspan(kBackupRecordOffset));
  if (!serial) {
    return Refuse(path, "enthält keinen Datensatz der Revision 1.2 oder 1.3.");
  }
  if (const auto outcome = CheckOwner(slot, card_number, path, backup.flash, *serial, owner)) {
    return *outcome;
  }
  // Everything the erase clears goes back, not only the record.
  const auto sector =
      std::span(backup.flash)
          .subspan(record_write::kSectorStart - kBackupAreaStart, record_write::kSectorWords);
  const std::vector<HostWord> words(sector.begin(), sector.end());
  if (!writer_.WriteRecordSector(slot, words, *serial, "restore",
                                 [&] { return AreaEqualsFile(slot, path, backup.flash); })) {
    return RestoreOutcome::Failed;
  }
  messages_.Show("Die Karte wurde aus der Sicherung " + std::string(path) + " wiederhergestellt.",
                 MessageKind::Information, Buttons::Ok);
  return RestoreOutcome::Restored;
}

}  // namespace fu
