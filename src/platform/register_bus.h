#pragma once
// Port: 32-bit reads and writes at a 32-bit linear address, where the card
// windows are mapped. Every call is one bus access: nothing may be cached,
// merged or reordered.

#include <cstdint>

namespace fu {

using LinearAddress = std::uint32_t;

class RegisterBus {
 public:
  virtual ~RegisterBus() = default;
  virtual std::uint32_t Read32(LinearAddress address) = 0;
  virtual void Write32(LinearAddress address, std::uint32_t value) = 0;
};

}  // namespace fu
