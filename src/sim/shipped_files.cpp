#include "sim/shipped_files.h"

namespace fu::sim {

// Generated at build time from src/sim/dsp/QX4FLASH_PCI.PCI.
extern const std::span<const std::uint8_t> kEmbeddedDspProgram;

namespace {

constexpr std::string_view kNtPlaceholder =
    "HWACCESS.SYS: placeholder of the hardware-access driver for the simulated PC\r\n"
    "(Windows NT family). The simulated PC answers the driver's requests itself;\r\n"
    "this file only has to exist for the driver service to start.\r\n";

constexpr std::string_view k9xPlaceholder =
    "HWAccess.VxD: placeholder of the hardware-access driver for the simulated PC\r\n"
    "(Windows 9x). The simulated PC answers the driver's requests itself; this file\r\n"
    "only has to exist for the driver to load.\r\n";

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::span<const std::uint8_t> ShippedDspProgram() {
  return kEmbeddedDspProgram;
}

std::span<const std::uint8_t> DriverFileNtContents() {
  return AsBytes(kNtPlaceholder);
}

std::span<const std::uint8_t> DriverFile9xContents() {
  return AsBytes(k9xPlaceholder);
}

}  // namespace fu::sim
