#pragma once
// A simulated measurement card as seen through its memory window: the four
// host interface registers with their FIFOs, the DSP behind them, and the
// flash the DSP's flash service reads and writes.
//
// Time on the card is counted in HSTR reads: each one is a tick in which the
// DSP takes one word from the transmit FIFO, or counts a delay down, or puts
// one answer into the receive FIFO, before the status is reported.
//
// The boot also takes time on the PC's clock (SimCardTiming), as a real DSP's:
//   - after the boot command the DSP is held in reset for resetMilliseconds
//     (400 ms): data words written meanwhile are lost, so a boot stream sent
//     too early arrives short or shifted and no program starts;
//   - a loaded program starts startMilliseconds (200 ms) after its last word
//     was written: host commands before that are ignored.
// The host's waits (500 ms after the boot command, 250 ms after the load)
// cover both.
//
// Host commands (HCVR with HC set):
//   - 0x800B (HNMI, vector 5) boots the DSP: both FIFOs are flushed, whatever
//     ran stops, and after the reset the boot loader waits for a boot stream.
//     This holds for every card: it is a reset.
//   - Any other command first lets the DSP take the words it is waiting for
//     (it is far faster than the bus, so the last word of a boot stream is in
//     before the first flash command). Then a vector the running program
//     handles (0x44 read, 0x68 program/erase, only once the flash service has
//     started) flushes the transmit FIFO and starts the new command; a command
//     in progress is dropped. Anything else is ignored.
//     What happens to the receive FIFO is the card's choice (keepsUnreadWords
//     in SimCardSettings). Usually it is flushed too, so no word of the old
//     command can be mistaken for one of the new. A card that keeps unread
//     words leaves them there, and the DSP first puts the answer words it still
//     owed behind them, as far as the FIFO has room: the next words of a read
//     in progress, in order, or a pending status word (also one still in its
//     delay, or one that fell behind, FaultAction::kLate). The host then reads
//     those before the new command's answers.
// Words a flush drops are counted (SimCardDiagnostics::discardedWords).
//
// The busy and boot-done flags in HCTR are plain storage; the card never
// changes them. What HCTR holds when the card is switched on is the card's
// choice too (busyAtPowerUp); the simulated PC sets it.
//
// The other choices (which bytes an erase clears, factory data in the flash)
// are described with SimCardSettings and SimDsp.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>

#include "base/host_word.h"
#include "sim/sim_card_types.h"
#include "sim/sim_dsp.h"
#include "sim/sim_flash.h"
#include "sim/sim_time.h"

namespace fu::sim {

inline constexpr std::uint32_t kHctrOffset = 0x10;
inline constexpr std::uint32_t kHstrOffset = 0x14;
inline constexpr std::uint32_t kHcvrOffset = 0x18;
inline constexpr std::uint32_t kDataOffset = 0x1C;

inline constexpr std::uint32_t kHstrTransmitRequest = 0x2;  // HTRQ
inline constexpr std::uint32_t kHstrReceiveRequest = 0x4;   // HRRQ
inline constexpr std::uint32_t kHctrBusy = 0x4000;
inline constexpr std::uint32_t kHctrBootDone = 0x8000;
inline constexpr std::uint32_t kBootHostCommand = 0x800B;

// Words go through unchanged only in data format 2; any other format mangles
// them (transmit: shifted right by 8, receive: shifted left by 8).
inline constexpr std::uint32_t kPlainDataFormat = 2;

inline constexpr std::size_t kFifoDepth = 4;

class SimCard {
 public:
  // The card's time is the PC's clock; it must outlive the card.
  explicit SimCard(const SimTime& time);
  SimCard(const SimCard&) = delete;
  SimCard& operator=(const SimCard&) = delete;

  // One 32-bit access at an offset into the card's window.
  std::uint32_t ReadRegister(std::uint32_t offset);
  void WriteRegister(std::uint32_t offset, std::uint32_t value);

  SimFlash& Flash() { return flash_; }
  const SimFlash& Flash() const { return flash_; }

  // HCTR as stored, for saving and restoring a card; Set does not notify.
  std::uint32_t Control() const { return control_; }
  void SetControl(std::uint32_t value) { control_ = value; }

  SimCardTiming& Timing() { return timing_; }
  SimCardFaults& Faults() { return faults_; }
  // Taken as they are; the simulated PC checks them (SettingsProblem).
  SimCardSettings& Settings() { return settings_; }
  const SimCardSettings& Settings() const { return settings_; }

  const SimCardDiagnostics& Diagnostics() const { return diagnostics_; }
  void ResetDiagnostics();

  DspMode Mode() const { return dsp_.Mode(); }
  bool ServiceRunning() const { return dsp_.Mode() == DspMode::kService; }

  // Called after every program or erase that reached the flash and after every
  // host write that changed HCTR: the moments the card's state should be saved.
  void SetStateChangedHandler(std::function<void()> handler) { stateChanged_ = std::move(handler); }
  // Called when a flash command's arguments have arrived, before it does
  // anything; what the handler throws leaves the register access.
  void SetCommandBegunHandler(std::function<void(const CommandRecord&)> handler) {
    dsp_.SetCommandBegunHandler(std::move(handler));
  }

 private:
  std::uint32_t ReadStatus();
  void WriteHostCommand(std::uint32_t value);
  void FlushTransmitFifo();
  void FlushReceiveFifo();
  // The DSP puts the answer words it still owes into the receive FIFO.
  void CatchUp();
  void NotifyStateChanged();
  std::uint32_t TransmitFormat() const { return (control_ >> 8) & 0x3; }
  std::uint32_t ReceiveFormat() const { return (control_ >> 11) & 0x3; }
  // Hands the next word of the transmit FIFO to the DSP.
  void PassWordToDsp();

  // A word in the transmit FIFO, with the time it was written.
  struct SentWord {
    HostWord word;
    std::chrono::milliseconds at;
  };

  const SimTime& time_;
  SimFlash flash_;
  SimCardTiming timing_;
  SimCardFaults faults_;
  SimCardSettings settings_;
  SimCardDiagnostics diagnostics_;
  SimDsp dsp_;
  std::uint32_t control_ = 0;
  std::deque<SentWord> toDsp_;   // the host's transmit FIFO
  std::deque<HostWord> toHost_;  // the host's receive FIFO
  std::function<void()> stateChanged_;
};

}  // namespace fu::sim
