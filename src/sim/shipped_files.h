#pragma once
// The files that the program directory of the simulated PC holds: the DSP program
// file as shipped, carried inside the program, and placeholders for the driver
// files (the simulated PC answers the driver's requests itself, so its driver
// files only have to exist).

#include <cstdint>
#include <span>
#include <string_view>

namespace fu::sim {

inline constexpr std::string_view kDspProgramFileName = "QX4FLASH_PCI.PCI";
inline constexpr std::string_view kDriverFileNt = "HWACCESS.SYS";
inline constexpr std::string_view kDriverFile9x = "HWAccess.VxD";

std::span<const std::uint8_t> ShippedDspProgram();
std::span<const std::uint8_t> DriverFileNtContents();
std::span<const std::uint8_t> DriverFile9xContents();

}  // namespace fu::sim
