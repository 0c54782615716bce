#pragma once
// The mapped card windows, reached through the linear addresses the driver gave:
// one volatile 32-bit access per call.

#include "platform/register_bus.h"

namespace fu {

class Win32RegisterBus : public RegisterBus {
 public:
  std::uint32_t Read32(LinearAddress address) override;
  void Write32(LinearAddress address, std::uint32_t value) override;
};

}  // namespace fu
