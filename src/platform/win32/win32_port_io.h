#pragma once
// The x86 in and out instructions. On the NT family they only work for ports
// the hardware-access driver has opened to the program.

#include "platform/port_io.h"

namespace fu {

class Win32PortIo : public PortIo {
 public:
  void OutDword(std::uint16_t port, std::uint32_t value) override;
  std::uint32_t InDword(std::uint16_t port) override;
};

}  // namespace fu
