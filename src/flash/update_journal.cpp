#include "flash/update_journal.h"

#include <algorithm>
#include <string_view>

#include "base/cp1252.h"
#include "base/crc32.h"
#include "base/errors.h"
#include "flash/backup_format.h"
#include "flash/flash_backup.h"

namespace fu {

namespace {

constexpr std::string_view kLegacyHeader = "FlashUpdate-Journal 1";

std::string_view AsText(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::vector<std::uint8_t> ReadAll(Files& files, std::string_view path) {
  const auto file = files.OpenRead(path);
  auto bytes = file->ReadToEnd();
  file->Close();
  return bytes;
}

// The first begun entry of the card after its last done one. An unchanged entry
// closes only the write it names: when that write was the first unfinished one,
// the card is as it was before it.
std::optional<JournalEntry> FirstOpenWrite(const std::vector<JournalEntry>& entries,
                                           const JournalEntry& card) {
  std::optional<JournalEntry> point;
  for (const JournalEntry& entry : entries) {
    if (!SameCard(entry, card)) {
      continue;
    }
    if (entry.unchanged) {
      if (point && point->backupFile == entry.backupFile) {
        point.reset();
      }
    } else if (entry.done) {
      point.reset();
    } else if (!point) {
      point = entry;
    }
  }
  return point;
}

// The previous version's note: "key=value" lines after its header.
std::optional<JournalEntry> ParseLegacy(CardSlot slot, std::string_view text) {
  if (!text.starts_with(kLegacyHeader)) {
    return std::nullopt;
  }
  JournalEntry entry;
  entry.slot = slot;
  bool has_state = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      continue;
    }
    const std::string_view key = line.substr(0, eq);
    const std::string_view value = line.substr(eq + 1);
    if (key == "Seriennummer") {
      entry.serialNumber = value;
    } else if (key == "Sicherung") {
      entry.backupFile = value;
    } else if (key == "Vorgang") {
      entry.operation = value;
    } else if (key == "Stand") {
      entry.done = value == "fertig";
      has_state = true;
    }
  }
  return has_state && IsBackupFileName(entry.backupFile) ? std::optional(entry) : std::nullopt;
}

// The entry of a line, only when it names a backup of this program: the journal
// is data, and no other name is ever opened from it.
std::optional<JournalEntry> EntryOf(std::string_view line) {
  auto entry = DecodeJournalLine(line);
  if (entry && !IsBackupFileName(entry->backupFile)) {
    return std::nullopt;
  }
  return entry;
}

// A last line without its line end that is whole all the same: the header, or
// a line with its check field (whose check is then decided like any other's).
bool WholeLine(std::string_view line) {
  if (line.ends_with('\r')) {
    line.remove_suffix(1);
  }
  return IsJournalHeader(line) || HasCheckField(line);
}

// Upper case of a code page 1252 letter, as Windows compares file names.
unsigned char Upper(char c) {
  const auto byte = static_cast<unsigned char>(c);
  const bool lower = (byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte != 0xF7 && byte != 0xFF);
  return lower ? static_cast<unsigned char>(byte - 0x20) : byte;
}

bool SameFileName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return Upper(x) == Upper(y); });
}

std::string UnreadableText(std::string_view path, const FileError& error) {
  return std::string("Das Änderungsprotokoll "_cp) + std::string(path) +
         " kann nicht gelesen werden: " + std::string(error.Text()) + ".";
}

}  // namespace

std::string UpdateJournal::LegacyFileName(CardSlot slot) {
  return "C:\\FLASH_" + std::to_string(slot) + ".JNL";
}

void UpdateJournal::ReadLegacy(CardSlot slot, Reading& out) {
  const std::string path = LegacyFileName(slot);
  try {
    if (!files_.Exists(path)) {
      return;
    }
    if (auto entry = ParseLegacy(slot, AsText(ReadAll(files_, path)))) {
      out.entries.push_back(std::move(*entry));
    } else {
      out.damage.push_back(std::string("Das Änderungsprotokoll "_cp) + path +
                           std::string(" ist unlesbar und wird übergangen."_cp));
    }
  } catch (const FileError& error) {
    out.damage.push_back(UnreadableText(path, error));
  }
}

// Lines that fail their check, or name a file that is no backup of this
// program, are counted as damage. Passed over quietly: a torn last line (a crash
// mid-append leaves neither its line end nor its whole check field) and a torn
// line closed by a later append. A whole last line that only lost its line end
// counts like any other.
void UpdateJournal::ReadCurrent(Reading& out) {
  if (!files_.Exists(kFileName)) {
    return;
  }
  const auto bytes = ReadAll(files_, kFileName);
  std::string_view text = AsText(bytes);
  bool header = false;
  bool foreign = false;
  std::vector<int> bad_lines;
  for (int number = 1; !text.empty(); ++number) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (end == std::string_view::npos && !WholeLine(line)) {
      break;  // torn
    }
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    if (line.empty() || line.ends_with(journal_line::kTornMark)) {
      continue;
    }
    if (IsJournalHeader(line)) {
      header = true;
    } else if (auto entry = EntryOf(line)) {
      out.entries.push_back(std::move(*entry));
    } else if (!header && number == 1) {
      foreign = true;
    } else {
      bad_lines.push_back(number);
    }
  }
  const std::string name(kFileName);
  if (foreign) {
    out.damage.push_back("Die Datei " + name +
                         std::string(" ist kein Änderungsprotokoll dieses Programms. Sie wird "
                                     "übergangen; neue Einträge werden an ihr Ende angehängt."_cp));
  }
  if (!bad_lines.empty()) {
    std::string lines;
    for (const int n : bad_lines) {
      lines += (lines.empty() ? "" : ", ") + std::to_string(n);
    }
    out.damage.push_back(
        std::string("Das Änderungsprotokoll "_cp) + name + std::string(" ist beschädigt: "_cp) +
        (bad_lines.size() == 1 ? "Zeile " + lines + " ist unlesbar und wird"
                               : "die Zeilen " + lines + " sind unlesbar und werden") +
        std::string(" übergangen. Alle anderen Einträge gelten weiter."_cp));
  }
}

UpdateJournal::Reading UpdateJournal::Load() {
  Reading out;
  for (CardSlot slot = 0; slot < kSlotCount; ++slot) {
    ReadLegacy(slot, out);
  }
  try {
    ReadCurrent(out);
  } catch (const FileError& error) {
    out.damage.push_back(UnreadableText(kFileName, error));
  }
  return out;
}

void UpdateJournal::Append(JournalEntry entry) {
  std::string text;
  if (files_.Exists(kFileName)) {
    const auto bytes = ReadAll(files_, kFileName);
    const std::string_view old = AsText(bytes);
    if (!old.empty() && !old.ends_with('\n')) {
      const std::string_view last = old.substr(old.rfind('\n') + 1);
      if (WholeLine(last)) {
        text += last.ends_with('\r') ? "\n" : "\r\n";  // it lost only its line end
      } else {
        text += journal_line::kTornMark;  // closes a line a crash tore off
        text += "\r\n";
      }
    }
    if (old.find(journal_line::kHeader) == std::string_view::npos) {
      text += JournalHeaderLine();
      text += "\r\n";
    }
  } else {
    text += JournalHeaderLine();
    text += "\r\n";
  }
  entry.time = clock_.DateAndTime();
  const std::string line = EncodeJournalLine(entry);
  text += line;
  const auto file = files_.OpenAppend(kFileName);
  file->Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  file->Flush();
  file->Close();
  if (protocol_.On()) {
    protocol_.Record("Journal: " + std::string(kFileName) + " + " +
                     line.substr(0, line.size() - 2));  // without its CR LF
  }
}

void UpdateJournal::Begin(const JournalEntry& entry) {
  JournalEntry begun = entry;
  begun.done = false;
  begun.unchanged = false;
  begun.abandoned = false;
  Append(std::move(begun));
}

void UpdateJournal::Done(const JournalEntry& entry) {
  JournalEntry done = entry;
  done.done = true;
  done.unchanged = false;
  done.abandoned = false;
  Append(std::move(done));
}

void UpdateJournal::Unchanged(const JournalEntry& entry) {
  JournalEntry unchanged = entry;
  unchanged.done = true;
  unchanged.unchanged = true;
  unchanged.abandoned = false;
  Append(std::move(unchanged));
}

void UpdateJournal::Abandon(const JournalEntry& entry) {
  JournalEntry abandoned = entry;
  abandoned.done = true;
  abandoned.unchanged = false;
  abandoned.abandoned = true;
  Append(std::move(abandoned));
}

std::vector<JournalEntry> UpdateJournal::History() {
  return Load().entries;
}

std::optional<JournalEntry> UpdateJournal::RestorePoint(std::string_view serial) {
  JournalEntry card;
  card.serialNumber = serial;
  return RestorePoint(card);
}

std::optional<JournalEntry> UpdateJournal::RestorePoint(const JournalEntry& card) {
  auto open = OpenWrite(card);
  return open && StateOf(*open) == BackupState::Usable ? open : std::nullopt;
}

BackupState UpdateJournal::StateOf(const JournalEntry& entry) {
  try {
    if (!files_.Exists(entry.backupFile)) {
      return BackupState::Missing;
    }
    // Never more than a backup's size is read: a larger file is no backup.
    const std::size_t expected = entry.backupSize != 0 ? entry.backupSize : kBackupFileSize;
    const auto file = files_.OpenRead(entry.backupFile);
    const std::vector<std::uint8_t> bytes = file->ReadAtMost(expected + 1);
    file->Close();
    if (entry.backupSize != 0 && (bytes.size() != expected || Crc32(bytes) != entry.backupCrc)) {
      return BackupState::Changed;
    }
    return !restorable_ || restorable_(bytes) ? BackupState::Usable : BackupState::Unusable;
  } catch (const FileError&) {
    return BackupState::Unusable;
  }
}

std::vector<JournalEntry> UpdateJournal::Unfinished() {
  const std::vector<JournalEntry> entries = History();
  std::vector<JournalEntry> points;
  std::vector<const JournalEntry*> cards;
  for (const JournalEntry& entry : entries) {
    if (std::none_of(cards.begin(), cards.end(),
                     [&](const JournalEntry* card) { return SameCard(*card, entry); })) {
      cards.push_back(&entry);
    }
  }
  for (const JournalEntry* card : cards) {
    if (auto point = FirstOpenWrite(entries, *card)) {
      const auto last = std::find_if(entries.rbegin(), entries.rend(),
                                     [&](const JournalEntry& e) { return SameCard(e, *card); });
      point->slot = last->slot;
      points.push_back(std::move(*point));
    }
  }
  return points;
}

bool UpdateJournal::Mentions(std::string_view path) {
  const std::vector<JournalEntry> entries = History();
  return std::ranges::any_of(
      entries, [&](const JournalEntry& e) { return SameFileName(e.backupFile, path); });
}

std::vector<std::string> UpdateJournal::Damage() {
  return Load().damage;
}

std::optional<JournalEntry> UpdateJournal::OpenWrite(const JournalEntry& card) {
  return FirstOpenWrite(History(), card);
}

}  // namespace fu
