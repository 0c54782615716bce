#pragma once
// Settings and counters of a simulated card: the choices its maker made, how
// slow its flash is, which faults it shows, and what it saw on its host
// interface.

#include <cstdint>
#include <optional>
#include <vector>

#include "base/host_word.h"
#include "sim/sim_flash.h"

namespace fu::sim {

// Slow operations answer their status word only after this many further
// status-register reads. The DSP's boot takes time on the PC's clock: it stays
// in reset for resetMilliseconds after the boot command, and the loaded
// program starts startMilliseconds after its last word arrived.
struct SimCardTiming {
  std::uint32_t eraseReads = 200;
  std::uint32_t programReads = 50;
  std::uint32_t programReadsPerByte = 1;
  std::uint32_t resetMilliseconds = 400;
  std::uint32_t startMilliseconds = 200;

  // Flash operations answer at the next read. The boot times stay: they cost a
  // test on the virtual clock nothing, and a host that skips its waits must fail.
  static constexpr SimCardTiming AlwaysReady() {
    SimCardTiming timing;
    timing.eraseReads = timing.programReads = timing.programReadsPerByte = 0;
    return timing;
  }
};

// The last byte a record write programs: the record runs from kRecordAreaStart
// to here, and every erase range must clear it all.
inline constexpr std::uint32_t kRecordLastByte = 0xD02C05;

// What the card's maker was free to choose: the wire format holds for every
// card, these differ from one card (or DSP program) to the next.
struct SimCardSettings {
  // The bytes every erase command clears, first and last inclusive, whatever
  // erase address inside the flash it names. A program block is taken only when
  // all its bytes lie inside. The default is the record sector.
  std::uint32_t eraseFrom = kRecordAreaStart;
  std::uint32_t eraseTo = kRecordAreaEnd - 1;
  // HCTR comes up with the busy flag set when the card is switched on.
  bool busyAtPowerUp = false;
  // A host command leaves the words the host did not read in the receive FIFO,
  // and the DSP adds what it still owed for its command in progress.
  bool keepsUnreadWords = false;
  // The card carries its own factory data (serial number) at 0xD00F00; without
  // it that block reads 0xFF and two cards of a model differ only in their record.
  bool factoryData = true;

  bool operator==(const SimCardSettings&) const = default;
};

enum class CommandKind {
  kRead,     // host command 0x44: address, count
  kProgram,  // host command 0x68, word 2: offset, count, data
  kErase,    // host command 0x68, word 3: address
  kUnknown,  // host command 0x68 with another first word
};

enum class FaultAction {
  // Program or erase: nothing changes, the status is 1.
  // Read: no data word is answered (as kStop with amount 0).
  kFail,
  // Program: only the first `amount` bytes are programmed (0: none), the status is 0.
  // Erase: nothing is erased, the status is 0.
  // Read: all words are answered, those from index `amount` on with the byte inverted.
  kLie,
  // The card does the work up to a point, then falls silent until the next host command.
  // Read: only the first `amount` data words are answered.
  // Program: only the first `amount` data words are taken and programmed; no status.
  // Erase: the erase range is erased; no status.
  kStop,
  // The card does half of the work, then the power goes (sim::PowerCut is thrown
  // out of the register access). Read: half of the words are answered. Program:
  // the first half of the data bytes are programmed. Erase: the first half of the
  // erase range is set to 0xFF.
  kPowerCut,
  // Erase: the erase range is erased and more with it, the status is 0: the whole
  // chip when `amount` is 0, else also the chip sector holding the address `amount`.
  // Read and program: as without the fault.
  kSpill,
  // The card falls behind: it does the work, but answers after the host's polls
  // have given up. Read: the first `amount` data words are answered, the rest
  // are not. Program and erase: done as without the fault, the status is not
  // answered. A card that keeps unread words has caught up by the next host
  // command: what it owed is in the receive FIFO then (SimCard).
  kLate,
  // Program: the DSP program maps the offset elsewhere: the block is programmed
  // at program offset `amount` instead of the one sent, and answered as such.
  // Read and erase: as without the fault.
  kStray,
};

// Hits the nth command of a kind (1 = the first), counted from the moment the
// fault is added to SimCardFaults::commands; nth 0 hits every one. A command
// counts once its arguments (address and count, or the erase address) have
// arrived. Several faults of one kind all count; the first that hits applies.
struct CommandFault {
  CommandKind kind = CommandKind::kProgram;
  std::uint32_t nth = 1;
  FaultAction action = FaultAction::kFail;
  std::uint32_t amount = 0;
  std::uint32_t seen = 0;  // commands of this kind met so far; kept by the card
};

struct SimCardFaults {
  // The card takes no words and answers none: HTRQ and HRRQ never show, and
  // the DSP stands still.
  bool takesNoWords = false;
  std::vector<CommandFault> commands;
};

struct CommandRecord {
  CommandKind kind = CommandKind::kRead;
  std::uint32_t address = 0;  // kUnknown: the unknown first word
  std::uint32_t count = 0;
  bool faulted = false;            // a CommandFault hit it
  std::optional<HostWord> status;  // program, erase: the status word once answered
};

struct SimCardDiagnostics {
  std::uint64_t statusReads = 0;     // HSTR reads: the card's ticks
  std::uint64_t registerReads = 0;   // every read, whatever the offset
  std::uint64_t registerWrites = 0;  // every write, whatever the offset
  // Writes to HSTR, reads of HCVR, and accesses at offsets that hold no register.
  std::uint64_t unsupportedAccesses = 0;
  std::uint64_t overruns = 0;   // data written while HTRQ was clear: the word is lost
  std::uint64_t underruns = 0;  // data read while HRRQ was clear: 0 is returned
  // Words still in a FIFO when a host command or the boot command flushed it.
  std::uint64_t discardedWords = 0;
  // HCVR writes that started nothing: HC clear, no handler for the vector, or a
  // program that has not started yet.
  std::uint64_t ignoredHostCommands = 0;
  // Flash commands that a host command cut off before they were done.
  std::uint64_t abortedCommands = 0;
  // Program data words with bits beyond bit 7 set (the card uses bits 0-7).
  std::uint64_t wideDataWords = 0;
  std::uint32_t boots = 0;             // boot commands (0x800B)
  std::uint32_t rejectedBoots = 0;     // boot streams that failed the check
  std::uint32_t bootWordsTaken = 0;    // words the boot loader took since the last boot command
  std::uint32_t wordsLostInReset = 0;  // data written while the DSP was held in reset
  std::vector<CommandRecord> commands;
};

}  // namespace fu::sim
