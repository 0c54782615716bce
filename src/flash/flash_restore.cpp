#include "flash/flash_restore.h"

#include <algorithm>
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

std::string SerialText(std::string_view serial) {
  return serial.empty() ? std::string("(leer)") : std::string(serial);
}

std::string CardText(int card_number, std::string_view serial) {
  return "Karte " + std::to_string(card_number) + " (Seriennummer " + std::string(serial) + ")";
}

constexpr std::string_view kUntouchedFlash = "Das Flash außerhalb des Datensatzes "_cp;

// The record a backup holds: its revision and serial number.
struct FileRecord {
  RecordRevision revision;
  std::string serial;
};

// Nothing when the file holds no record of revision 1.2 or 1.3.
std::optional<FileRecord> FileRecordOf(std::span<const std::uint8_t> record) {
  const RecordV12 v12(record.first(kRecordV12Size));
  switch (RecognizeRevision(v12)) {
    case kRevision12:
      return FileRecord{kRevision12, v12.Get(v12::SerialNumber)};
    case kRevision13: {
      std::vector<HostWord> words(record.begin(), record.begin() + kImageV13Size);
      ImageV13 image;
      WordsToImage(std::span<const HostWord, kImageV13Size>(words), image);
      RecordV13 decoded;
      DecodeImage(image, decoded);
      return FileRecord{kRevision13, decoded.SerialNumber.str()};
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

bool RestorableBackup(std::span<const std::uint8_t> bytes) {
  const BackupFile backup = ParseBackupFile(bytes);
  return backup.Restorable() &&
         FileRecordOf(std::span(backup.flash).subspan(kBackupRecordOffset)).has_value();
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
  // A byte the card reads erased says nothing: an erase may have cleared it.
  // Only data the card holds that the file does not tell another card.
  const std::size_t record_end = kBackupRecordOffset + record_write::kRecordWords;
  for (std::size_t i = 0; i < area.size(); ++i) {
    const bool record = i >= kBackupRecordOffset && i < record_end;
    if (!record && area[i] != 0xFF && area[i] != file_flash[i]) {
      return {Untouched::Kind::Differs, i};
    }
  }
  return {Untouched::Kind::Equal};
}

std::optional<RestoreOutcome> FlashRestore::CheckOwner(
    CardSlot slot, int card_number, std::string_view path, std::span<const std::uint8_t> file_flash,
    std::string_view file_serial, FileOwner owner, std::optional<std::string>& card_serial) {
  card_serial = reader_.ReadSerialNumber(slot);
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
      flash_text = std::string(kUntouchedFlash) +
                   std::string(
                       "widerspricht dem der Sicherung nicht; bei Karten desselben "
                       "Modells beweist das aber nicht, dass sie zu dieser Karte gehört."_cp);
      break;
    case Untouched::Kind::Differs:
      flash_text = std::string(kUntouchedFlash) +
                   "weicht von dem der Sicherung ab, zuerst bei Adresse " +
                   AreaAddressText(untouched.first) + ".";
      break;
    case Untouched::Kind::Unreadable:
      flash_text = std::string(
          "Das Flash außerhalb des Datensatzes konnte nicht zweimal gleich gelesen "
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
  if (messages_.ShowRisky(question, MessageKind::Error, Buttons::YesNoDefaultNo,
                          Risk::OtherCardsBackup) != Answer::Yes) {
    return RestoreOutcome::Declined;
  }
  return std::nullopt;
}

RestoreOutcome FlashRestore::RestoreFromBackup(CardSlot slot, int card_number,
                                               std::string_view path, FileOwner owner,
                                               std::string_view card_serial) {
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
  const auto record = FileRecordOf(std::span(backup.flash).subspan(kBackupRecordOffset));
  if (!record) {
    return Refuse(path, "enthält keinen Datensatz der Revision 1.2 oder 1.3.");
  }
  std::optional<std::string> read_serial;
  if (const auto outcome =
          CheckOwner(slot, card_number, path, backup.flash, record->serial, owner, read_serial)) {
    return *outcome;
  }
  // Filed under the card written, so that its own backup taken just before is
  // its way back, not the file of another card.
  const std::string written_serial =
      !card_serial.empty() ? std::string(card_serial) : read_serial.value_or(record->serial);
  if (!writer_.WriteBackup(slot, record->revision, backup.flash, path, written_serial,
                           record->serial)) {
    return RestoreOutcome::Failed;
  }
  messages_.Show("Die Karte wurde aus der Sicherung " + std::string(path) + " wiederhergestellt.",
                 MessageKind::Information, Buttons::Ok);
  return RestoreOutcome::Restored;
}

}  // namespace fu
