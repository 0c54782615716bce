#pragma once
// The driver's I/O requests: one control code, a 20-byte request block, four
// kinds (port range on and off, map and unmap physical memory), and the 32-bit
// port instructions the program makes itself once a range is enabled.

#include <array>
#include <cstdint>
#include <span>

#include "hwaccess/driver_service.h"
#include "platform/port_io.h"
#include "platform/system_calls.h"

namespace fu {

// CTL_CODE(0x9C40, 0x800, METHOD_BUFFERED, FILE_READ_ACCESS).
inline constexpr std::uint32_t HWACCESS_IOCTL = (0x9C40u << 16) | (1u << 14) | (0x800u << 2) | 0u;
static_assert(HWACCESS_IOCTL == 0x9C406000);

enum class RequestKind : std::uint32_t {
  EnablePortRange = 1,
  DisablePortRange = 2,
  MapPhysical = 3,
  UnmapPhysical = 4,
};

// All fields are 32-bit values of the 32-bit process; the output pointer comes
// from SystemCalls::ProcessAddress, never from a host pointer.
struct RequestBlock {
  RequestKind kind = RequestKind::EnablePortRange;
  std::uint32_t address = 0;
  std::uint32_t length = 0;
  std::uint32_t outputPointer = 0;
  std::uint32_t outputSize = 0;

  static constexpr std::size_t kSize = 20;
  // Little-endian, fields back to back.
  std::array<std::uint8_t, kSize> Bytes() const;
};

class DriverRequests {
 public:
  DriverRequests(SystemCalls& system, const DriverService& driver, PortIo& ports)
      : system_(system), driver_(driver), ports_(ports) {}

  // True when the driver accepted the block and answered exactly
  // output.size() bytes into output.
  bool HwAccessRequest(const RequestBlock& block, std::span<std::uint8_t> output);

  // Not sent on Windows 9x, where every program may use the ports: true.
  bool EnablePortRange(std::uint16_t first, std::uint32_t count);
  bool DisablePortRange(std::uint16_t first, std::uint32_t count);
  // The linear address of the mapping, 0 when refused.
  std::uint32_t MapPhysical(std::uint32_t physical, std::uint32_t length);
  // True when accepted with a status whose low byte is not 0.
  bool UnmapPhysical(std::uint32_t linear);

  std::uint32_t WritePortDword(std::uint16_t port, std::uint32_t value);
  std::uint32_t ReadPortDword(std::uint16_t port);

 private:
  bool PortRange(RequestKind kind, std::uint16_t first, std::uint32_t count);
  // Sends a request whose answer is one 32-bit word.
  bool WordRequest(RequestKind kind, std::uint32_t address, std::uint32_t length,
                   std::uint32_t& answer);

  SystemCalls& system_;
  const DriverService& driver_;
  PortIo& ports_;
};

}  // namespace fu
