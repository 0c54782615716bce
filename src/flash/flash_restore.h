#pragma once
// Restoring a card from a backup file. The file is read and checked completely
// first; anything doubtful is refused and the card is not touched. A file that
// may be another card's is written only on the user's word. The write takes the
// road of every write, for the record revision the file holds: a fresh backup,
// the journal, erase, program, verify. A record that reads back as the file's
// closes the journal entry; the rest of the area is then compared with the
// file, and what the card did not take back is told, not called a failure.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "flash/record_read.h"
#include "flash/record_write.h"
#include "platform/files.h"
#include "platform/message_service.h"

namespace fu {

enum class RestoreOutcome {
  Restored,  // the record reads back as the file's (a difference beyond it is told)
  Refused,   // the file is unusable, or the journal offered another card's; not touched
  Declined,  // the file may be another card's and the user said No; not touched
  Failed,    // the record did not verify; told
};

// Who names the file. ThisCard: the journal offers it as the card's restore
// point, and the start-up question named it. Unknown: the user named it.
enum class FileOwner { Unknown, ThisCard };

// Whether a file's bytes are a backup a restore would write back: whole, with
// its checks right, holding a record of revision 1.2 or 1.3.
bool RestorableBackup(std::span<const std::uint8_t> bytes);

class FlashRestore {
 public:
  FlashRestore(Files& files, FlashCommands& flash, RecordReader& reader, RecordWriter& writer,
               MessageService& messages)
      : files_(files), flash_(flash), reader_(reader), writer_(writer), messages_(messages) {}

  // Writes the file back to the card in slot, which is card card_number of
  // today's list (the number messages name it by). Every restore checks whose
  // backup the file is: by its serial number, and for a card whose record cannot
  // be read by the flash outside the record (which proves little where cards of
  // one model are alike). Another card's file is refused when the journal
  // offered it and asked about otherwise.
  // card_serial: the card's serial number as the caller knows it (its list
  // entry, or the journal's history of its slot); empty: as the card reads, else
  // the file's. The journal files the restore under it.
  RestoreOutcome RestoreFromBackup(CardSlot slot, int card_number, std::string_view path,
                                   FileOwner owner, std::string_view card_serial = {});

 private:
  // How the flash outside the record compares with the file's, counting only
  // data the card holds: a byte it reads erased may have been cleared by an erase.
  struct Untouched {
    enum class Kind { Equal, Differs, Unreadable } kind = Kind::Unreadable;
    std::size_t first = 0;  // Differs: the first offset in the area that differs
  };

  RestoreOutcome Refuse(std::string_view path, std::string_view why);
  // Nothing when the file may be written to the card; otherwise the outcome, told
  // or asked (No being the default) here.
  std::optional<RestoreOutcome> CheckOwner(CardSlot slot, int card_number, std::string_view path,
                                           std::span<const std::uint8_t> file_flash,
                                           std::string_view file_serial, FileOwner owner,
                                           std::optional<std::string>& card_serial);
  // Read twice alike, or Unreadable.
  Untouched CompareUntouched(CardSlot slot, std::span<const std::uint8_t> file_flash);
  Files& files_;
  FlashCommands& flash_;
  RecordReader& reader_;
  RecordWriter& writer_;
  MessageService& messages_;
};

}  // namespace fu
