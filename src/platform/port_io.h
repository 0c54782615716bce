#pragma once
// Port: 32-bit input and output instructions on I/O ports, as the PCI
// configuration mechanism #1 uses them (0xCF8 address, 0xCFC data).

#include <cstdint>

namespace fu {

class PortIo {
 public:
  virtual ~PortIo() = default;
  virtual void OutDword(std::uint16_t port, std::uint32_t value) = 0;
  virtual std::uint32_t InDword(std::uint16_t port) = 0;
};

}  // namespace fu
