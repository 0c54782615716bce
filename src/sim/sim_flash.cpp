#include "sim/sim_flash.h"

#include <algorithm>

namespace fu::sim {

namespace {

constexpr std::array<FlashSector, 3> kSectors = {{
    {kFlashStart, kRecordAreaStart - kFlashStart},
    {kRecordAreaStart, kRecordAreaEnd - kRecordAreaStart},
    {kRecordAreaEnd, kFlashEnd - kRecordAreaEnd},
}};

}  // namespace

std::optional<FlashSector> SimFlash::SectorOf(std::uint32_t address) {
  for (const FlashSector& sector : kSectors) {
    if (address >= sector.start && address - sector.start < sector.size) {
      return sector;
    }
  }
  return std::nullopt;
}

std::uint8_t SimFlash::Read(std::uint32_t address) const {
  return Contains(address) ? bytes_[address - kFlashStart] : std::uint8_t{0xFF};
}

void SimFlash::Preset(std::uint32_t address, std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint32_t at = address + static_cast<std::uint32_t>(i);
    if (Contains(at)) {
      bytes_[at - kFlashStart] = bytes[i];
    }
  }
}

void SimFlash::Erase(std::uint32_t first, std::uint32_t last) {
  const std::uint32_t from = std::max(first, kFlashStart);
  const std::uint32_t to = std::min(last, kFlashEnd - 1);
  if (from <= to) {
    std::fill(bytes_.begin() + (from - kFlashStart), bytes_.begin() + (to - kFlashStart) + 1,
              std::uint8_t{0xFF});
  }
}

bool SimFlash::EraseSector(std::uint32_t address) {
  const auto sector = SectorOf(address);
  if (!sector) {
    return false;
  }
  const auto first = bytes_.begin() + (sector->start - kFlashStart);
  std::fill(first, first + sector->size, std::uint8_t{0xFF});
  return true;
}

bool SimFlash::Program(std::uint32_t address, std::uint8_t data) {
  if (!Contains(address)) {
    return false;
  }
  std::uint8_t& cell = bytes_[address - kFlashStart];
  cell = static_cast<std::uint8_t>(cell & data);
  return cell == data;
}

}  // namespace fu::sim
