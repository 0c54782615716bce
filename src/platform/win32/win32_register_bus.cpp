#include "platform/win32/win32_register_bus.h"

#include <cstdint>

namespace fu {

namespace {

volatile std::uint32_t* At(LinearAddress address) {
  static_assert(sizeof(void*) == sizeof(LinearAddress), "linear addresses are pointers here");
  return reinterpret_cast<volatile std::uint32_t*>(static_cast<std::uintptr_t>(address));
}

}  // namespace

std::uint32_t Win32RegisterBus::Read32(LinearAddress address) {
  return *At(address);
}

void Win32RegisterBus::Write32(LinearAddress address, std::uint32_t value) {
  *At(address) = value;
}

}  // namespace fu
