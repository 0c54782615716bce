#pragma once
// Writing a record to a card: backup first, then erase, program and verify. The
// card is erased only after a whole and equal backup; every failure is shown
// once, here, and reported by the result.

#include <functional>
#include <vector>

#include "flash/flash_backup.h"
#include "flash/flash_commands.h"
#include "flash/update_journal.h"
#include "platform/flash_splash_screen.h"
#include "platform/message_service.h"
#include "record/record_v12.h"
#include "record/record_v13.h"

namespace fu {

namespace record_write {
inline constexpr FlashAddress kEraseV13 = 0xD02000;
inline constexpr FlashAddress kEraseV12 = 0xD01000;
inline constexpr std::size_t kBlockWords = 2048;
inline constexpr std::size_t kWordsV12 = 6945;  // the 1736 record bytes, then 0xFF
// The flash sector holding the record: either erase above clears all of it.
inline constexpr FlashAddress kSectorStart = 0xD01000;
inline constexpr std::size_t kSectorWords = 0x2000;
}  // namespace record_write

// What the last write left on the card.
enum class WriteState {
  Written,    // written and verified
  NotBegun,   // it failed before the erase (backup or journal): card untouched
  Unchanged,  // it failed, and the record sector still equals the backup
  Changed,    // it failed, and the sector differs from the backup or cannot be read
};

class RecordWriter {
 public:
  RecordWriter(FlashCommands& flash, FlashBackup& backup, MessageService& messages,
               FlashSplashFactory& splash, UpdateJournal* journal = nullptr)
      : flash_(flash), backup_(backup), messages_(messages), splash_(splash), journal_(journal) {}

  // Encodes the record and writes its image in four blocks, with the progress
  // window shown from before the erase to the end. 0 when written and verified,
  // ERROR_WORD otherwise.
  HostWord WriteRecordV13(CardSlot slot, RecordV13 record);
  // Writes the record in one block. 0 when written and verified, 1 otherwise.
  int WriteRecordV12(CardSlot slot, RecordV12 record);

  // The raw writes behind both: image words of revision 1.3 (7174, in four blocks after an erase of
  // 0xD02000), or revision-1.2 words (6945, one block after an erase of 0xD01000)
  // of which the first verify_words are read back. True when written and verified.
  bool WriteImageWords(CardSlot slot, std::span<const HostWord> words, std::string_view serial,
                       std::string_view operation);
  bool WriteV12Words(CardSlot slot, std::span<const HostWord> words, std::size_t verify_words,
                     std::string_view serial, std::string_view operation);

  // Checks the whole area after a verified write, before its journal entry is
  // closed; true when the card is as the write should leave it. Shows what is not.
  using AreaCheck = std::function<bool()>;

  // Writes the whole record sector (kSectorWords words for 0xD01000 on), as a
  // restore brings it back: erased, programmed in blocks of kBlockWords under the
  // progress window, every word read back, then area_check. True when written
  // and both checks passed.
  bool WriteRecordSector(CardSlot slot, std::span<const HostWord> words, std::string_view serial,
                         std::string_view operation, const AreaCheck& area_check);

  // The backup file of the last write, empty when none was made.
  const std::string& LastBackupFile() const { return last_backup_; }
  WriteState LastWriteState() const { return state_; }
  // The journal entry of the last write that got past its backup.
  const JournalEntry& LastEntry() const { return begun_; }

 private:
  // The backup, then the journal note: true when both are in place, so that the
  // card may be erased.
  bool Prepare(CardSlot slot, std::string_view serial, std::string_view operation);
  // Notes the write begun by Prepare done.
  void Finish();
  // After a failure past Prepare: reads the whole area back and compares it
  // with the backup. An equal area is told and closed in the journal as
  // unchanged.
  void CheckAfterFailure(CardSlot slot);
  // Erases the sector holding erase_at, then programs the words from the program
  // offset 0 in blocks of kBlockWords under the progress window. Shows a failure.
  bool EraseAndProgramBlocks(CardSlot slot, FlashAddress erase_at, std::span<const HostWord> words);
  // Prepare, the erase and the blocks, the verify, the area check (AreaAsWritten
  // when none is given), then Finish: true when written and checked.
  bool WriteFrom(CardSlot slot, FlashAddress erase_at, std::span<const HostWord> words,
                 std::string_view serial, std::string_view operation,
                 const AreaCheck& area_check = nullptr);
  // Reads back expected.size() words from the record area; shows the first byte
  // that differs or did not arrive.
  bool Verify(CardSlot slot, std::span<const HostWord> expected);
  // Reads the whole area back: outside the record sector it must equal the
  // backup of this write, from the record area's start on the written words.
  // Shows the first difference or an incomplete read.
  bool AreaAsWritten(CardSlot slot, std::span<const HostWord> written);

  void ShowError(std::string_view text, Buttons buttons = Buttons::Ok);

  FlashCommands& flash_;
  FlashBackup& backup_;
  MessageService& messages_;
  FlashSplashFactory& splash_;
  UpdateJournal* journal_;
  std::string last_backup_;
  JournalEntry begun_;                 // the journal entry of the write under way
  std::vector<HostWord> backup_area_;  // what the backup of the write holds
  WriteState state_ = WriteState::NotBegun;
};

}  // namespace fu
