#pragma once
// Restoring a card's record sector from a backup file. The file is read and
// checked completely first; anything doubtful is refused and the card is not
// touched. A file that may be another card's is written only on the user's word.
// The write takes the road of every write: a fresh backup, the journal, erase,
// program, verify. Then the whole area is read back and compared with the file.

#include <cstdint>
#include <span>
#include <string_view>

#include "flash/record_read.h"
#include "flash/record_write.h"
#include "flash/update_journal.h"
#include "platform/files.h"
#include "platform/message_service.h"

namespace fu {

enum class RestoreOutcome {
  Restored,  // written, and the whole area equals the file
  Refused,   // the file is unusable; the card was not touched
  Declined,  // the file may be another card's and the user said No; not touched
  Failed,    // the write did not succeed or the card differs from the file; told
};

// Whose backup a file is. ThisCard: the journal ties it to the card (its restore
// point), so the question about another card's file is not asked.
enum class FileOwner { Unknown, ThisCard };

// Whether the file is a backup a restore would write back: whole, with its
// checks right, holding a record of revision 1.2 or 1.3.
bool RestorableBackup(Files& files, std::string_view path);

class FlashRestore {
 public:
  FlashRestore(Files& files, FlashCommands& flash, RecordReader& reader, UpdateJournal* journal,
               RecordWriter& writer, MessageService& messages)
      : files_(files),
        flash_(flash),
        reader_(reader),
        journal_(journal),
        writer_(writer),
        messages_(messages) {}

  // card_number: the card's number in today's card list.
  RestoreOutcome RestoreFromBackup(CardSlot slot, int card_number, std::string_view path,
                                   FileOwner owner = FileOwner::Unknown);

 private:
  RestoreOutcome Refuse(std::string_view path, std::string_view why);
  // True when the card's serial number is the file's, or its record cannot be
  // read but an unfinished write of this slot names this file; otherwise the
  // user is asked, with No as the default.
  bool MayWrite(CardSlot slot, std::string_view path, std::string_view file_serial);
  // An unfinished write of this slot took this file as its backup.
  bool JournalTies(CardSlot slot, std::string_view path);
  // Reads the whole area back: true when every byte equals the file's; shows
  // what differs otherwise.
  bool AreaEqualsFile(CardSlot slot, std::string_view path,
                      std::span<const std::uint8_t> file_flash);

  Files& files_;
  FlashCommands& flash_;
  RecordReader& reader_;
  UpdateJournal* journal_;
  RecordWriter& writer_;
  MessageService& messages_;
};

}  // namespace fu
