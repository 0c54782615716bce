#pragma once
// Writing a record to a card: backup first, then erase, program and verify. The
// card is erased only after a whole and equal backup; every failure is shown
// once, here, and reported by the result.
//
// What a card guarantees is only what the write roads need: the 64 KiB area
// reads at 0xD00000, the record at 0xD01000, and program offset k (0 to 7173)
// lands at 0xD01000 + k. Which flash an erase clears is the DSP program's
// business. So a write succeeds when the words it programmed read back as
// written; the rest of the area is compared with what it should hold, and a
// difference is told, recorded and kept in the backup, never called a failure.
//
// End requests are held from the backup to the journal's closing line, and only
// then: a question asked before or after a write can still end the program.

#include <functional>
#include <optional>
#include <vector>

#include "flash/area_difference.h"
#include "flash/flash_backup.h"
#include "flash/flash_commands.h"
#include "flash/update_journal.h"
#include "platform/end_requests.h"
#include "platform/flash_splash_screen.h"
#include "platform/message_service.h"
#include "platform/protocol.h"
#include "record/record_v12.h"
#include "record/record_v13.h"
#include "record/revision.h"

namespace fu {

namespace record_write {
inline constexpr FlashAddress kEraseV13 = 0xD02000;
inline constexpr FlashAddress kEraseV12 = 0xD01000;
inline constexpr std::size_t kBlockWords = 2048;
inline constexpr std::size_t kWordsV12 = 6945;  // the 1736 record bytes, then 0xFF
// Program offsets 0 to kRecordWords - 1 are the record's, whichever revision it
// has; the write roads send no other.
inline constexpr std::size_t kRecordWords = 7174;
}  // namespace record_write

// What the last write left on the card.
enum class WriteState {
  Written,    // written and verified
  NotBegun,   // it failed before the erase (backup or journal): card untouched
  Unchanged,  // it failed, and the whole area still equals the backup
  Changed,    // it failed, and the area differs from the backup or cannot be read
};

// The last write, as one value: what it left, its backup and journal entry, and
// how the area beyond what it wrote differs from what it should hold.
struct WriteOutcome {
  WriteState state = WriteState::NotBegun;
  std::string backupFile;  // empty when no backup was made
  JournalEntry entry;      // once past the backup: the journal entry of the write
  // After a write that succeeded: nothing when the area is as it should be.
  std::optional<AreaDifference> difference;
};

class RecordWriter {
 public:
  RecordWriter(FlashCommands& flash, FlashBackup& backup, MessageService& messages,
               FlashSplashFactory& splash, UpdateJournal* journal = nullptr,
               Protocol& protocol = NoProtocol())
      : flash_(flash),
        backup_(backup),
        messages_(messages),
        splash_(splash),
        journal_(journal),
        protocol_(protocol) {}

  // Where the program's end requests arrive. Each write holds them from its
  // backup to its closing line; what a request noted meanwhile means is for
  // whoever handed them in, whose Release() learns it. Without a call none is
  // held.
  void SetEndRequests(EndRequests& requests) { end_requests_ = &requests; }

  // Encodes the record and writes its image in four blocks, with the progress
  // window shown from before the erase to the end. 0 when written and verified,
  // ERROR_WORD otherwise.
  HostWord WriteRecordV13(CardSlot slot, RecordV13 record);
  // Writes the record in one block. 0 when written and verified, 1 otherwise.
  int WriteRecordV12(CardSlot slot, RecordV12 record);

  // Brings a card back to the area (65,536 bytes from 0xD00000) of the backup
  // file, as the road of the record revision it holds writes: its erase, then
  // its blocks of the backup's bytes, under the progress window. Flash beyond
  // those blocks that the erase cleared is programmed back where the backup
  // holds data, once the record verified. True when the record reads back as
  // the backup's. The journal files it under serial, the card written, and notes
  // file_serial, the card the file is from, when it is another.
  bool WriteBackup(CardSlot slot, RecordRevision revision, std::span<const std::uint8_t> area,
                   std::string_view file, std::string_view serial, std::string_view file_serial);

  // What the last write did and left on the card.
  const WriteOutcome& LastWrite() const { return last_; }

 private:
  // The erase, the block size, and whether the progress window is shown.
  struct Road {
    FlashAddress erase;
    std::size_t blockWords;
    bool window;
  };
  // kRevision13's road, or kRevision12's.
  static Road RoadOf(RecordRevision revision);

  // The backup, then the journal note: true when both are in place, so that the
  // card may be erased.
  bool Prepare(CardSlot slot, std::string_view serial, std::string_view operation);
  // Notes the write begun by Prepare done, with the difference found.
  void Finish();
  // After a failure past Prepare: reads the whole area back and compares it
  // with the backup. An equal area is told and closed in the journal as
  // unchanged.
  void CheckAfterFailure(CardSlot slot);
  // The erase, then the words from program offset 0 in blocks. Shows a failure.
  bool EraseAndProgram(CardSlot slot, const Road& road, std::span<const HostWord> words);
  // Prepare, the erase and the blocks, the verify, then the area compared with
  // should outside the first record_words of the record area, all under held
  // end requests: true when the written words verified. restore: flash beyond the words that the
  // erase cleared is programmed back from should.
  bool WriteFrom(CardSlot slot, const Road& road, std::span<const HostWord> words,
                 std::string_view serial, std::string_view operation,
                 std::span<const HostWord> should, std::size_t record_words, bool restore);
  // Reads back the words from the record area's start; shows the first byte
  // that differs or did not arrive.
  bool Verify(CardSlot slot, std::span<const HostWord> expected);
  // Records and tells a record that does not read back as written from byte on:
  // differing there, or not read further.
  void VerifyFailed(std::size_t byte, bool differs);
  // Reads the whole area into area: false when it did not arrive whole, or
  // differed from should outside the record's first skip_to offsets and a
  // second read did not agree.
  bool ReadArea(CardSlot slot, std::vector<HostWord>& area, std::span<const HostWord> should,
                std::size_t skip_to);
  // Programs should back where the erase cleared it beyond the first `from`
  // program offsets, in unbroken runs of at most kBlockWords; what the card
  // refuses is left to the comparison that follows. True when it sent any.
  bool ProgramBeyond(CardSlot slot, std::span<const HostWord> area,
                     std::span<const HostWord> should, std::size_t from);
  // Whether the area read back holds the written words at the record; shows the
  // first byte that does not.
  bool RecordAsWritten(std::span<const HostWord> area, std::span<const HostWord> words);
  // Tells and records how the area compares with should.
  void Report(std::span<const HostWord> area, bool whole, std::span<const HostWord> should,
              std::size_t skip_to, bool restore);

  void ShowError(std::string_view text, Buttons buttons = Buttons::Ok);

  FlashCommands& flash_;
  FlashBackup& backup_;
  MessageService& messages_;
  FlashSplashFactory& splash_;
  UpdateJournal* journal_;
  Protocol& protocol_;
  EndRequests* end_requests_ = nullptr;
  std::string restoring_;         // the file a restore writes back
  std::string restoring_serial_;  // a restore: the serial of another card's file
  WriteOutcome last_;
  std::vector<HostWord> backup_area_;  // what the backup of the write holds
};

}  // namespace fu
