#include "platform/win32/win32_port_io.h"

namespace fu {

void Win32PortIo::OutDword(std::uint16_t port, std::uint32_t value) {
  asm volatile("outl %0, %1" : : "a"(value), "Nd"(port) : "memory");
}

std::uint32_t Win32PortIo::InDword(std::uint16_t port) {
  std::uint32_t value;
  asm volatile("inl %1, %0" : "=a"(value) : "Nd"(port) : "memory");
  return value;
}

}  // namespace fu
