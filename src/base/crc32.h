#pragma once
// CRC-32 (the polynomial of zip and PNG, reflected, 0xEDB88320).

#include <cstdint>
#include <span>
#include <string_view>

namespace fu {

constexpr std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (const std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xEDB88320u : 0u);
    }
  }
  return ~crc;
}

inline std::uint32_t Crc32(std::string_view text) {
  return Crc32(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace fu
