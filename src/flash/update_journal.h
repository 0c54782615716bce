#pragma once
// The update journal: before the first erase of a write the tool notes on drive
// C: which card it is changing and which backup restores it, and marks the note
// done once the write is verified. A note still "begun" at start-up means the
// program or the PC died mid-write.

#include <optional>
#include <string>
#include <vector>

#include "dsplink/window_table.h"
#include "platform/files.h"

namespace fu {

struct JournalEntry {
  CardSlot slot = 0;
  std::string serialNumber;  // code page 1252
  std::string backupFile;
  std::string operation;  // "upgrade", "downgrade", "restore"
  bool done = false;
  friend bool operator==(const JournalEntry&, const JournalEntry&) = default;
};

class UpdateJournal {
 public:
  explicit UpdateJournal(Files& files) : files_(files) {}

  // "C:\FLASH_<slot>.JNL", beside the backups.
  static std::string FileName(CardSlot slot);

  // Writes the entry as begun. A FileError is raised when it cannot be written.
  void Begin(const JournalEntry& entry);
  // Marks the slot's entry done; a FileError is raised when it cannot be written.
  void Done(CardSlot slot);
  // The slot's entry, if a readable one is there.
  std::optional<JournalEntry> Read(CardSlot slot);
  // Every entry left begun, in slot order.
  std::vector<JournalEntry> Unfinished();

 private:
  void Write(const JournalEntry& entry);

  Files& files_;
};

}  // namespace fu
