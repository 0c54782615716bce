#include "flash/flash_restore.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/cp1252.h"
#include "base/errors.h"
#include "flash/backup_format.h"
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

// Windows paths: letters in either case name the same file.
bool SamePath(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

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
    const BackupFile backup = ParseBackupFile(file->ReadToEnd());
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

bool FlashRestore::JournalTies(CardSlot slot, std::string_view path) {
  if (journal_ == nullptr) {
    return false;
  }
  const auto entries = journal_->Unfinished();
  return std::any_of(entries.begin(), entries.end(), [&](const JournalEntry& e) {
    return e.slot == slot && SamePath(e.backupFile, path);
  });
}

bool FlashRestore::MayWrite(CardSlot slot, std::string_view path, std::string_view file_serial) {
  const std::optional<std::string> card_serial = reader_.ReadSerialNumber(slot);
  std::string question;
  if (card_serial) {
    if (*card_serial == file_serial) {
      return true;
    }
    question = "Die Sicherung " + std::string(path) +
               " stammt von der Karte mit der Seriennummer " + SerialText(file_serial) +
               ", die Karte in Steckplatz " + std::to_string(slot) + " hat aber die Seriennummer " +
               SerialText(*card_serial) + ".";
  } else {
    if (JournalTies(slot, path)) {
      return true;  // the backup taken before this card's unfinished write
    }
    question = "Der Datensatz der Karte in Steckplatz " + std::to_string(slot) +
               " kann nicht gelesen werden. Ob die Sicherung " + std::string(path) +
               " (Seriennummer " + SerialText(file_serial) +
               std::string(") zu dieser Karte gehört, ist nicht bekannt."_cp);
  }
  question += kWriteAnyway;
  return messages_.Show(question, MessageKind::Error, Buttons::YesNoDefaultNo) == Answer::Yes;
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
  if (offset >= sector && offset < sector + record_write::kSectorWords) {
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

RestoreOutcome FlashRestore::RestoreFromBackup(CardSlot slot, int /*card_number*/,
                                               std::string_view path, FileOwner owner) {
  std::vector<std::uint8_t> bytes;
  try {
    const auto file = files_.OpenRead(path);
    bytes = file->ReadToEnd();
    file->Close();
  } catch (const FileError& error) {
    return Refuse(path, "kann nicht gelesen werden: " + std::string(error.Text()) + ".");
  }
  const BackupFile backup = ParseBackupFile(bytes);
  if (!backup.Restorable()) {
    return Refuse(path, std::string("ist unbrauchbar: "_cp) + BackupCheckText(backup));
  }
  const auto serial = FileSerialNumber(std::span(backup.flash).subspan(kBackupRecordOffset));
  if (!serial) {
    return Refuse(path, "enthält keinen Datensatz der Revision 1.2 oder 1.3.");
  }
  if (owner == FileOwner::Unknown && !MayWrite(slot, path, *serial)) {
    return RestoreOutcome::Declined;
  }
  // Everything the erase clears goes back, not only the record.
  const auto sector =
      std::span(backup.flash)
          .subspan(record_write::kSectorStart - kBackupAreaStart, record_write::kSectorWords);
  const std::vector<HostWord> words(sector.begin(), sector.end());
  if (!writer_.WriteRecordSector(slot, words, *serial, "restore") ||
      !AreaEqualsFile(slot, path, backup.flash)) {
    return RestoreOutcome::Failed;
  }
  messages_.Show("Die Karte wurde aus der Sicherung " + std::string(path) + " wiederhergestellt.",
                 MessageKind::Information, Buttons::Ok);
  return RestoreOutcome::Restored;
}

}  // namespace fu
