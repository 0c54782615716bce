#pragma once
// The card's DSP as the host sees it: after the boot command a reset, then a
// boot loader that takes a boot stream and checks it, then, once started, the
// flash service that runs the read, program and erase commands. It takes one
// word, or produces one answer, per step; the card decides when a step happens,
// owns the FIFOs and tells the times on the PC's clock.
//
// The flash service as this card's maker wrote it (SimCardSettings):
//   - an erase command whose address lies inside the flash clears the card's
//     erase range, whatever the address; one outside the flash answers 1;
//   - a program block is programmed only when all its bytes, from
//     kRecordAreaStart + offset on, lie inside the erase range; otherwise the
//     status is 1 and nothing changes (the data words are taken all the same);
//   - the status word is 0 for success, 1 for failure.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/host_word.h"
#include "sim/sim_card_types.h"
#include "sim/sim_flash.h"

namespace fu::sim {

inline constexpr std::uint8_t kReadVector = 0x44;
inline constexpr std::uint8_t kProgramEraseVector = 0x68;
inline constexpr HostWord kProgramSubCommand = 2;
inline constexpr HostWord kEraseSubCommand = 3;

enum class DspMode {
  kHalted,    // since power-on: nothing runs until the boot command
  kLoading,   // the boot loader takes a boot stream
  kRejected,  // the stream failed the check: nothing runs until the next boot command
  kService,   // the flash service runs
};

class SimDsp {
 public:
  // `flashTouched` is called after every erase or program that reached the flash.
  SimDsp(SimFlash& flash, SimCardFaults& faults, const SimCardTiming& timing,
         const SimCardSettings& settings, SimCardDiagnostics& diagnostics,
         std::function<void()> flashTouched);

  DspMode Mode() const;

  // The boot command at `now`: whatever ran stops; the DSP stays in reset for
  // the reset time, then the boot loader waits for a stream.
  void Boot(std::chrono::milliseconds now);
  // Whether a word arriving at `now` is lost to the reset.
  bool InReset(std::chrono::milliseconds now) const { return now < resetEnds_; }
  // Whether a program that has started by `now` handles this maskable host
  // command vector.
  bool HandlesHostCommand(std::uint8_t vector, std::chrono::milliseconds now) const;
  // Starts a handled command; a command in progress is dropped.
  void StartCommand(std::uint8_t vector);

  // Whether the program is waiting for a word from the host.
  bool WantsWord() const;
  // A word that arrived from the host at `arrived`.
  void TakeWord(HostWord word, std::chrono::milliseconds arrived);
  // A step in which no word is taken: counts a delay down or, when the host's
  // receive FIFO has room, gives one answer word. A command that has fallen
  // behind (FaultAction::kLate) gives none.
  std::optional<HostWord> Step(bool answerFits);
  // The next answer word the command in progress still owes, at once, whatever
  // its delay or lateness: the next word of a read, or a pending status. None
  // when it owes nothing (more).
  std::optional<HostWord> OwedWord();

  void SetCommandBegunHandler(std::function<void(const CommandRecord&)> handler) {
    commandBegun_ = std::move(handler);
  }

  // The diagnostics' command list was cleared: forget the entry to fill in.
  void ForgetCommandRecord() { record_.reset(); }

 private:
  enum class Phase {
    kHalted,
    kBootCount,
    kBootSecond,
    kBootProgram,
    kRejected,
    kIdle,
    kReadAddress,
    kReadCount,
    kReading,
    kSubCommand,
    kProgramAddress,
    kProgramCount,
    kProgramData,
    kEraseAddress,
    kAnswer,
  };

  void TakeBootWord(HostWord word, std::chrono::milliseconds arrived);
  void BeginCommand(CommandKind kind, std::uint32_t address, std::uint32_t count);
  void BeginRead();
  void FinishProgram();
  void FinishErase();
  bool ProgramData(std::size_t bytes);
  bool BlockInEraseRange() const;
  void Answer(HostWord status, std::uint64_t delay);
  HostWord NextReadWord();
  HostWord GiveStatus();
  bool CutsPower() const { return fault_ && fault_->action == FaultAction::kPowerCut; }
  bool FallenBehind() const;

  SimFlash& flash_;
  SimCardFaults& faults_;
  const SimCardTiming& timing_;
  const SimCardSettings& settings_;
  SimCardDiagnostics& diagnostics_;
  std::function<void()> flashTouched_;
  std::function<void(const CommandRecord&)> commandBegun_;

  Phase phase_ = Phase::kHalted;
  // Boot loader
  std::uint32_t bootCount_ = 0;
  HostWord bootSecond_ = 0;
  std::vector<HostWord> bootProgram_;
  std::chrono::milliseconds resetEnds_{0};
  std::chrono::milliseconds serviceStarts_{0};
  // Command in progress
  std::uint32_t address_ = 0;
  std::uint32_t count_ = 0;
  std::uint32_t done_ = 0;     // read: words answered
  std::uint32_t limit_ = 0;    // read: words to answer; program: data words to take
  std::uint32_t lieFrom_ = 0;  // read: first word answered with the byte inverted
  std::vector<std::uint8_t> data_;
  std::optional<CommandFault> fault_;
  std::optional<std::size_t> record_;
  HostWord status_ = 0;
  std::uint64_t delay_ = 0;
};

}  // namespace fu::sim
