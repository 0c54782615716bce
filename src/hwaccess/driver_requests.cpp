#include "hwaccess/driver_requests.h"

namespace fu {

std::array<std::uint8_t, RequestBlock::kSize> RequestBlock::Bytes() const {
  std::array<std::uint8_t, kSize> bytes{};
  const std::uint32_t fields[] = {static_cast<std::uint32_t>(kind), address, length, outputPointer,
                                  outputSize};
  for (std::size_t f = 0; f < 5; ++f) {
    for (std::size_t i = 0; i < 4; ++i) {
      bytes[4 * f + i] = static_cast<std::uint8_t>(fields[f] >> (8 * i));
    }
  }
  return bytes;
}

bool DriverRequests::HwAccessRequest(const RequestBlock& block, std::span<std::uint8_t> output) {
  const auto input = block.Bytes();
  std::uint32_t returned = 0;
  if (!system_.DeviceIoControl(driver_.DriverHandle(), HWACCESS_IOCTL, input, output, returned)) {
    return false;
  }
  return returned == block.outputSize;
}

bool DriverRequests::PortRange(RequestKind kind, std::uint16_t first, std::uint32_t count) {
  if (system_.PlatformId() == win::VER_PLATFORM_WIN32_WINDOWS) {
    return true;
  }
  return HwAccessRequest({kind, first, count, 0, 0}, {});
}

bool DriverRequests::EnablePortRange(std::uint16_t first, std::uint32_t count) {
  return PortRange(RequestKind::EnablePortRange, first, count);
}

bool DriverRequests::DisablePortRange(std::uint16_t first, std::uint32_t count) {
  return PortRange(RequestKind::DisablePortRange, first, count);
}

bool DriverRequests::WordRequest(RequestKind kind, std::uint32_t address, std::uint32_t length,
                                 std::uint32_t& answer) {
  std::array<std::uint8_t, 4> out{};
  const RequestBlock block{kind, address, length, system_.ProcessAddress(out.data()),
                           static_cast<std::uint32_t>(out.size())};
  if (!HwAccessRequest(block, out)) {
    return false;
  }
  answer = static_cast<std::uint32_t>(out[0]) | (static_cast<std::uint32_t>(out[1]) << 8) |
           (static_cast<std::uint32_t>(out[2]) << 16) | (static_cast<std::uint32_t>(out[3]) << 24);
  return true;
}

std::uint32_t DriverRequests::MapPhysical(std::uint32_t physical, std::uint32_t length) {
  std::uint32_t linear = 0;
  return WordRequest(RequestKind::MapPhysical, physical, length, linear) ? linear : 0;
}

bool DriverRequests::UnmapPhysical(std::uint32_t linear) {
  std::uint32_t status = 0;
  return WordRequest(RequestKind::UnmapPhysical, linear, 0, status) && (status & 0xFF) != 0;
}

std::uint32_t DriverRequests::WritePortDword(std::uint16_t port, std::uint32_t value) {
  ports_.OutDword(port, value);
  return value;
}

std::uint32_t DriverRequests::ReadPortDword(std::uint16_t port) {
  return ports_.InDword(port);
}

}  // namespace fu
