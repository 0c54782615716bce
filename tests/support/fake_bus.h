#pragma once
// A register bus with one card window that records what the host interface does
// with it: every access except the status reads (which are only counted), the
// words written to the data register and the host commands. The status register
// answers from a function of the read's number, the data register from a queue.
// Like a DSP, it answers a command only once a word of its arguments has come:
// between a host command and its first data word HRRQ shows only for the words
// an earlier command left unread.

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "dsplink/host_interface.h"
#include "platform/register_bus.h"

namespace fu::test {

class FakeBus : public RegisterBus {
 public:
  static constexpr LinearAddress kBase = 0xE0000000;

  struct Access {
    bool write;
    std::uint32_t offset;
    std::uint32_t value;
    friend bool operator==(const Access&, const Access&) = default;
  };

  std::uint32_t Read32(LinearAddress address) override;
  void Write32(LinearAddress address, std::uint32_t value) override;

  // HSTR value of the n-th status read (n from 1); by default always ready.
  std::function<std::uint32_t(std::uint64_t n)> status = [](std::uint64_t) {
    return hi::kHtrq | hi::kHrrq;
  };
  std::uint32_t hctr = 0;
  std::deque<std::uint32_t> answers;  // words the DSP has for the host
  std::deque<std::uint32_t> unread;   // left in the receive register, read first

  std::uint64_t statusReads = 0;
  std::uint64_t strayAccesses = 0;      // outside the window
  std::vector<Access> log;              // all but the status reads
  std::vector<std::uint32_t> sent;      // words written to the data register
  std::vector<std::uint32_t> commands;  // values written to HCVR

 private:
  bool awaitingArguments_ = false;  // a host command came, no data word since
};

}  // namespace fu::test
