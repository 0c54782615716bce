#include "flash/flash_backup.h"

#include <algorithm>
#include <vector>

#include "base/cp1252.h"
#include "base/crc32.h"
#include "base/errors.h"
#include "flash/backup_format.h"

namespace fu {

namespace {

constexpr std::string_view kUnreadable = "\\/:*?\"<>|";
constexpr int kMaxNumberedNames = 10000;
constexpr int kFileExists = 80;  // the system's code for "the file exists"

std::string_view ReadIncompleteText() {
  return "Fehler beim Lesen des Flash: die Sicherung ist unvollständig. "
         "Das Flash wurde nicht verändert."_cp;
}

std::string_view ReadsDifferText() {
  return "Fehler beim Lesen des Flash: zwei Lesevorgänge ergaben nicht dasselbe. "
         "Das Flash wurde nicht verändert."_cp;
}

}  // namespace

namespace {

// The one rule for the date in a backup name, used to build and to check it: no
// character a file name cannot hold, and no dot beside another or at the end, so
// neither ".." nor the number's dot can follow it.
bool Unholdable(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F || kUnreadable.find(c) != std::string_view::npos;
}

}  // namespace

std::string BackupFileStem(CardSlot slot, std::string_view short_date) {
  std::string date;
  for (std::size_t i = 0; i < short_date.size(); ++i) {
    const char c = short_date[i];
    const bool loose_dot = c == '.' && (i + 1 == short_date.size() || short_date[i + 1] == '.');
    date += Unholdable(c) || loose_dot ? '-' : c;
  }
  return "C:\\FLASH_" + std::to_string(slot) + "_" + date;
}

bool IsBackupFileName(std::string_view path) {
  constexpr std::string_view kHead = "C:\\FLASH_";
  constexpr std::string_view kTail = ".SAV";
  constexpr std::size_t kSlotAndDash = 2;
  if (!path.starts_with(kHead) || !path.ends_with(kTail) ||
      path.size() <= kHead.size() + kSlotAndDash + kTail.size()) {
    return false;
  }
  const char slot = path[kHead.size()];
  if (slot < '0' || slot >= '0' + kSlotCount || path[kHead.size() + 1] != '_') {
    return false;
  }
  // A date that ends with a dot stays accepted: earlier versions wrote the first
  // backup of such a day as "...2026..SAV", and journals name it.
  const std::string_view date = path.substr(
      kHead.size() + kSlotAndDash, path.size() - kHead.size() - kSlotAndDash - kTail.size());
  return date.find("..") == std::string_view::npos &&
         std::none_of(date.begin(), date.end(), Unholdable);
}

BackupOutcome ReadAreaTwice(FlashCommands& flash, CardSlot slot, std::vector<HostWord>& area) {
  area.assign(kBackupWords, 0);
  std::vector<HostWord> again(kBackupWords, 0);
  if (!flash.FlashRead(slot, kBackupAreaStart, area) ||
      !flash.FlashRead(slot, kBackupAreaStart, again)) {
    return BackupOutcome::ReadIncomplete;
  }
  return again == area ? BackupOutcome::Ok : BackupOutcome::ReadsDiffer;
}

std::string FlashBackup::UnusedFileName(CardSlot slot) {
  const std::string stem = BackupFileStem(slot, clock_.ShortDate());
  std::string name = stem + ".SAV";
  // A name the journal still mentions stays its backup's, even when the file is gone.
  for (int n = 1; files_.Exists(name) || (mentioned_ && mentioned_(name)); ++n) {
    if (n > kMaxNumberedNames) {
      throw FileError(kFileExists);
    }
    name = stem + "." + std::to_string(n) + ".SAV";
  }
  return name;
}

BackupResult FlashBackup::BackupFlash(CardSlot slot) {
  BackupResult result;
  const auto refuse = [&](std::string_view text, BackupOutcome outcome) {
    if (protocol_.On()) {
      protocol_.Record("Sicherung: nicht angelegt, die Karte las nicht zweimal gleich und ganz");
    }
    messages_.Show(text, MessageKind::Error, Buttons::Ok);
    result.outcome = outcome;
    return result;
  };
  // The area is read twice and must come back the same: a card that answers
  // wrong bytes would otherwise leave a backup that restores the wrong card.
  std::vector<HostWord> area;
  switch (ReadAreaTwice(flash_, slot, area)) {
    case BackupOutcome::Ok:
      break;
    case BackupOutcome::ReadIncomplete:
    case BackupOutcome::ReadBackDiffers:  // not a reading's outcome
      return refuse(ReadIncompleteText(), BackupOutcome::ReadIncomplete);
    case BackupOutcome::ReadsDiffer:
      return refuse(ReadsDifferText(), BackupOutcome::ReadsDiffer);
  }

  const std::string name = UnusedFileName(slot);
  const std::string temporary = TemporaryName(name);
  try {
    if (!WriteAndCompare(temporary, area)) {
      if (protocol_.On()) {
        protocol_.Record("Sicherung: " + temporary +
                         std::string(" las anders zurück und wurde entfernt"_cp));
      }
      Discard(temporary);
      result.outcome = BackupOutcome::ReadBackDiffers;
      return result;
    }
    files_.Rename(temporary, name);
  } catch (const FileError& error) {
    if (protocol_.On()) {
      protocol_.Record("Sicherung: " + temporary + " Dateifehler " + std::to_string(error.Code()) +
                       ": " + std::string(error.Text()));
    }
    Discard(temporary);
    throw;
  }
  if (protocol_.On()) {
    protocol_.Record("Sicherung: " + name + " geschrieben, " + std::to_string(kBackupFileSize) +
                     std::string(" Bytes, zurückgelesen und gleich"_cp));
  }
  result.fileName = name;
  result.fileCrc = Crc32(EncodeBlockWithChecks(area));
  result.outcome = BackupOutcome::Ok;
  result.area = std::move(area);
  return result;
}

std::string TemporaryName(std::string_view backup_name) {
  std::string name(backup_name.substr(0, backup_name.size() - std::string_view(".SAV").size()));
  return name + ".TMP";
}

void FlashBackup::Discard(const std::string& temporary) {
  try {
    if (files_.Exists(temporary)) {
      files_.Remove(temporary);
    }
  } catch (const FileError&) {
    // Only the temporary name is left behind; no backup name holds it.
  }
}

bool FlashBackup::WriteAndCompare(const std::string& temporary, std::span<const HostWord> area) {
  const std::vector<std::uint8_t> written = EncodeBlockWithChecks(area);
  {
    const auto file = files_.Create(temporary);
    WriteBlockWithChecks(*file, area);
    file->Flush();
    file->Close();
  }
  std::vector<std::uint8_t> back(written.size());
  {
    const auto file = files_.OpenRead(temporary);
    file->ReadExact(back);
    file->Close();
  }

  // Entry by entry, the two check words after the area counting as entries
  // 65536 and 65537.
  for (std::size_t k = 0; k * kBackupEntryBytes < written.size(); ++k) {
    const auto at = static_cast<std::ptrdiff_t>(k * kBackupEntryBytes);
    if (!std::equal(written.begin() + at, written.begin() + at + kBackupEntryBytes,
                    back.begin() + at)) {
      messages_.Show("Fehler: Differenz bei Byte " + std::to_string(k), MessageKind::Plain,
                     Buttons::Ok);
      return false;
    }
  }
  return true;
}

}  // namespace fu
