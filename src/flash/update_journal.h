#pragma once
// The update journal: before the first erase of a write the tool notes on drive
// C: which card it is changing and which backup restores it, and notes the write
// done once it is verified. Entries are only ever appended and flushed, never
// rewritten, so a crash or a full drive cannot take an earlier entry with it.
//
// A card is known by its serial number (a card without one by its slot), so a
// card that moved to another slot keeps its history. Its restore point is the
// backup of its first unfinished write after its last finished one: a later try
// that fails again backs up an already damaged card and never replaces it; a
// try that left the card unchanged closes only its own entry.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dsplink/window_table.h"
#include "flash/journal_line.h"
#include "platform/files.h"
#include "platform/protocol.h"

namespace fu {

class UpdateJournal {
 public:
  // usable tells whether a backup file can bring a card back; a restore point
  // whose backup cannot (one that a power cut kept from being closed after it
  // was restored, say) is passed over for the card's next unfinished write.
  explicit UpdateJournal(Files& files, std::function<bool(std::string_view path)> usable = nullptr,
                         Protocol& protocol = NoProtocol())
      : files_(files), usable_(std::move(usable)), protocol_(protocol) {}

  // "C:\FLASH.JNL", beside the backups.
  static constexpr std::string_view kFileName = "C:\\FLASH.JNL";
  // "C:\FLASH_<slot>.JNL": the one note per slot the previous version kept. It is
  // read as the oldest entry of its card's history and never written.
  static std::string LegacyFileName(CardSlot slot);

  // Appends the entry as begun, or as done, and flushes it to disk. A FileError
  // is raised when it cannot be read, written or flushed.
  void Begin(const JournalEntry& entry);
  void Done(const JournalEntry& entry);
  // Closes the begun entry of a write that failed and left the card as the
  // entry's backup holds it.
  void Unchanged(const JournalEntry& entry);

  // Every readable entry, oldest first; a torn last line is left out.
  std::vector<JournalEntry> History();
  // The backup that brings the card back, when a write of it is unfinished.
  std::optional<JournalEntry> RestorePoint(std::string_view serial);
  // The same for the card an entry names (by serial number, else by slot).
  std::optional<JournalEntry> RestorePoint(const JournalEntry& card);
  // One entry per card with a restore point, in the order the cards first
  // appear; its slot is the one the card was last written in.
  std::vector<JournalEntry> Unfinished();
  // A German message for each journal file that is damaged or no journal.
  std::vector<std::string> Damage();
  // The card's first unfinished write after its last finished one, whether or
  // not its backup can still bring the card back.
  std::optional<JournalEntry> OpenWrite(const JournalEntry& card);

 private:
  struct Reading {
    std::vector<JournalEntry> entries;
    std::vector<std::string> damage;
  };
  Reading Load();
  void ReadLegacy(CardSlot slot, Reading& out);
  void ReadCurrent(Reading& out);
  void Append(JournalEntry entry);

  // Whether the entry's backup may serve as a restore point.
  bool Usable(const JournalEntry& entry) const { return !usable_ || usable_(entry.backupFile); }

  Files& files_;
  std::function<bool(std::string_view path)> usable_;
  Protocol& protocol_;
};

}  // namespace fu
