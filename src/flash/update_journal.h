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
// try that left the card unchanged closes only its own entry. The entry names
// the backup's size and CRC-32, and the point serves only while its file has
// exactly that content; when it is gone or changed, no later backup stands in
// for it.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dsplink/window_table.h"
#include "flash/journal_line.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/protocol.h"

namespace fu {

// What became of the backup an entry names.
enum class BackupState {
  Usable,    // there, with the content the entry names, and a backup that restores
  Missing,   // no such file
  Changed,   // its size or CRC-32 is not the entry's: another content under the name
  Unusable,  // unreadable, damaged, or holding no record
};

class UpdateJournal {
 public:
  // restorable tells whether a file's bytes are a backup that can bring a card
  // back (whole, with its checks right, holding a record). Each line notes the
  // clock's date and time of day.
  UpdateJournal(Files& files, Clock& clock,
                std::function<bool(std::span<const std::uint8_t> bytes)> restorable = nullptr,
                Protocol& protocol = NoProtocol())
      : files_(files), clock_(clock), restorable_(std::move(restorable)), protocol_(protocol) {}

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
  // Closes the card's unfinished writes without a restore: the user gave up the
  // restore point of the entry, whose backup can no longer bring the card back.
  void Abandon(const JournalEntry& entry);

  // Every readable entry, oldest first; a torn last line is left out.
  std::vector<JournalEntry> History();
  // The backup that brings the card back, when a write of it is unfinished and
  // the backup can (BackupState::Usable).
  std::optional<JournalEntry> RestorePoint(std::string_view serial);
  // The same for the card an entry names (by serial number, else by slot).
  std::optional<JournalEntry> RestorePoint(const JournalEntry& card);
  // One entry per card with an unfinished write (whatever its backup's state),
  // in the order the cards first appear; its slot is the one the card was last
  // written in.
  std::vector<JournalEntry> Unfinished();
  // Whether the entry's backup can bring its card back.
  BackupState StateOf(const JournalEntry& entry);
  // Whether a readable entry names the file (compared as Windows compares names).
  bool Mentions(std::string_view path);
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

  Files& files_;
  Clock& clock_;
  std::function<bool(std::span<const std::uint8_t> bytes)> restorable_;
  Protocol& protocol_;
};

}  // namespace fu
