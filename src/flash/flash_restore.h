#pragma once
// Restoring a card's record area from a backup file. The file is read and
// checked completely first; anything doubtful is refused and the card is not
// touched. Then the write takes the road of every write: a fresh backup, the
// journal, erase, program, verify.

#include <string_view>

#include "flash/record_write.h"
#include "platform/files.h"
#include "platform/message_service.h"

namespace fu {

enum class RestoreOutcome {
  Restored,  // written and verified
  Refused,   // the file is unusable; the card was not touched
  Failed,    // the write did not succeed; the user was told
};

class FlashRestore {
 public:
  FlashRestore(Files& files, RecordWriter& writer, MessageService& messages)
      : files_(files), writer_(writer), messages_(messages) {}

  RestoreOutcome RestoreFromBackup(CardSlot slot, std::string_view path);

 private:
  RestoreOutcome Refuse(std::string_view path, std::string_view why);

  Files& files_;
  RecordWriter& writer_;
  MessageService& messages_;
};

}  // namespace fu
