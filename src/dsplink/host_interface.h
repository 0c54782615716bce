#pragma once
// The card's host interface: four 32-bit registers in its mapped window, word
// transfer to and from the DSP by polling the status register, the data formats,
// and the busy and boot-done flags that the card keeps across programs.
//
// No register of a slot without a window is ever touched: reads give 0, writes
// are dropped, polls fail at once, and the flag operations report that nothing
// changed (1).

#include <cstdint>
#include <optional>
#include <span>

#include "base/host_word.h"
#include "dsplink/window_table.h"
#include "platform/register_bus.h"

namespace fu {

namespace hi {
inline constexpr std::uint32_t HCTR = 0x10;   // host control
inline constexpr std::uint32_t HSTR = 0x14;   // host status
inline constexpr std::uint32_t HCVR = 0x18;   // host command vector
inline constexpr std::uint32_t HDATA = 0x1C;  // HTXR when written, HRXS when read

inline constexpr std::uint32_t kHtrq = 0x2;             // HSTR: a word may be written
inline constexpr std::uint32_t kHrrq = 0x4;             // HSTR: a word may be read
inline constexpr std::uint32_t kBusyFlag = 0x4000;      // HCTR bit 14
inline constexpr std::uint32_t kBootDoneFlag = 0x8000;  // HCTR bit 15

// A poll reads the status at most this many times plus one, and succeeds only
// when the bit shows within this many reads.
inline constexpr std::uint32_t kPollLimit = 30'000'000;

// HCVR value of the non-maskable host command that restarts the DSP's boot loader.
inline constexpr std::uint32_t kBootCommand = 0x800B;
}  // namespace hi

class HostInterface {
 public:
  HostInterface(RegisterBus& bus, const WindowTable& windows) : bus_(bus), windows_(windows) {}

  std::uint32_t ReadHostRegister(CardSlot slot, std::uint32_t offset);
  void WriteHostRegister(CardSlot slot, std::uint32_t offset, std::uint32_t value);

  bool Poll_HTRq(CardSlot slot) { return Poll(slot, hi::kHtrq); }
  bool Poll_HRRq(CardSlot slot) { return Poll(slot, hi::kHrrq); }

  // Sends the words in order, one status poll each; words sent before a failed
  // poll stay sent.
  bool DSP_WriteFIFO(CardSlot slot, std::span<const HostWord> words);
  // Fills words in order, one status poll each; words received before a failed
  // poll stay in the buffer.
  bool DSP_ReadFIFO(CardSlot slot, std::span<HostWord> words);
  // Reads and drops the words waiting in the receive register (HRRQ set), at
  // most limit of them, without waiting for more: the number dropped, or
  // nothing when the register still held words after limit of them.
  std::optional<std::size_t> DiscardReceived(CardSlot slot, std::size_t limit);

  // Formats 0 to 3; any other format gives false and leaves the register alone.
  bool SetTransmitFormat(CardSlot slot, int format);
  bool SetReceiveFormat(CardSlot slot, int format);

  // 0: the busy flag was clear and is now set; 1: it was set, or no window.
  int ClaimCard(CardSlot slot);
  // 0: the busy flag was set and is now clear; 1: it was clear.
  int ReleaseCard(CardSlot slot);
  // 1 busy, 0 not busy, -1 no window.
  int IsCardBusy(CardSlot slot);
  // As ClaimCard and ReleaseCard, for the boot-done flag (1 also without a window).
  int SetBootDoneFlag(CardSlot slot);
  int ClearBootDoneFlag(CardSlot slot);

  // Requests host command vector (its low 7 bits); does not wait for the DSP.
  void SendHostCommand(CardSlot slot, std::uint8_t vector);

  // How many times the polls have read a status register so far.
  std::uint64_t StatusReads() const { return status_reads_; }

 private:
  bool Poll(CardSlot slot, std::uint32_t bit);
  bool SetFormat(CardSlot slot, int format, std::uint32_t keep_mask, int shift);
  // Sets flag if clear: 0; 1 when it was already set.
  int SetFlag(CardSlot slot, std::uint32_t flag);
  // Clears flag if set: 0; 1 when it was already clear.
  int ClearFlag(CardSlot slot, std::uint32_t flag);

  RegisterBus& bus_;
  const WindowTable& windows_;
  std::uint64_t status_reads_ = 0;
};

}  // namespace fu
