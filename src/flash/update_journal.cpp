#include "flash/update_journal.h"

#include <string_view>

#include "base/errors.h"

namespace fu {

namespace {

constexpr std::string_view kHeader = "FlashUpdate-Journal 1";
constexpr std::string_view kBegun = "begonnen";
constexpr std::string_view kDone = "fertig";

std::string Line(std::string_view key, std::string_view value) {
  std::string line(key);
  line += '=';
  line += value;
  line += "\r\n";
  return line;
}

}  // namespace

std::string UpdateJournal::FileName(CardSlot slot) {
  return "C:\\FLASH_" + std::to_string(slot) + ".JNL";
}

void UpdateJournal::Write(const JournalEntry& entry) {
  std::string text(kHeader);
  text += "\r\n";
  text += Line("Steckplatz", std::to_string(entry.slot));
  text += Line("Seriennummer", entry.serialNumber);
  text += Line("Sicherung", entry.backupFile);
  text += Line("Vorgang", entry.operation);
  text += Line("Stand", entry.done ? kDone : kBegun);
  const auto file = files_.Create(FileName(entry.slot));
  file->Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  file->Close();
}

void UpdateJournal::Begin(const JournalEntry& entry) {
  JournalEntry begun = entry;
  begun.done = false;
  Write(begun);
}

void UpdateJournal::Done(CardSlot slot) {
  JournalEntry entry = Read(slot).value_or(JournalEntry{slot, {}, {}, {}, false});
  entry.done = true;
  Write(entry);
}

std::optional<JournalEntry> UpdateJournal::Read(CardSlot slot) {
  std::vector<std::uint8_t> bytes;
  try {
    if (!files_.Exists(FileName(slot))) {
      return std::nullopt;
    }
    const auto file = files_.OpenRead(FileName(slot));
    bytes = file->ReadToEnd();
    file->Close();
  } catch (const FileError&) {
    return std::nullopt;
  }
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!text.starts_with(kHeader)) {
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
      entry.done = value == kDone;
      has_state = true;
    }
  }
  return has_state ? std::optional(entry) : std::nullopt;
}

std::vector<JournalEntry> UpdateJournal::Unfinished() {
  std::vector<JournalEntry> entries;
  for (CardSlot slot = 0; slot < kSlotCount; ++slot) {
    if (auto entry = Read(slot); entry && !entry->done) {
      entries.push_back(*entry);
    }
  }
  return entries;
}

}  // namespace fu
