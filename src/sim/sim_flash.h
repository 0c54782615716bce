#pragma once
// The card's flash chip as NOR flash: erasing sets bytes to 0xFF, programming
// can only clear bits. 64 KiB at [0xD00000, 0xD10000).
//
// What one erase command clears is the DSP program's choice (the card's
// "eraseClears" range, SimCardSettings); the chip's own sectors below only
// give a spilling erase (FaultAction::kSpill) the extent of what it hits.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace fu::sim {

inline constexpr std::uint32_t kFlashStart = 0xD00000;
inline constexpr std::uint32_t kFlashSize = 0x10000;
inline constexpr std::uint32_t kFlashEnd = kFlashStart + kFlashSize;
// The card record lives in the second sector; program offsets count from its
// start. The default card's erase command clears exactly this sector.
inline constexpr std::uint32_t kRecordAreaStart = 0xD01000;
inline constexpr std::uint32_t kRecordAreaEnd = 0xD03000;

struct FlashSector {
  std::uint32_t start = 0;
  std::uint32_t size = 0;
};

class SimFlash {
 public:
  using Bytes = std::array<std::uint8_t, kFlashSize>;

  // A fresh chip is erased.
  SimFlash() { bytes_.fill(0xFF); }

  // Byte k is the flash byte at kFlashStart + k.
  Bytes& AllBytes() { return bytes_; }
  const Bytes& AllBytes() const { return bytes_; }

  static bool Contains(std::uint32_t address) {
    return address >= kFlashStart && address < kFlashEnd;
  }
  // The sector holding an absolute address; none outside the chip.
  static std::optional<FlashSector> SectorOf(std::uint32_t address);

  // What the chip reads at an absolute address: 0xFF outside it.
  std::uint8_t Read(std::uint32_t address) const;
  // Copies bytes in from an absolute address, as a programmer on the bench would
  // (no NOR rule); bytes beyond the chip are dropped.
  void Preset(std::uint32_t address, std::span<const std::uint8_t> bytes);

  // Sets the bytes from first to last (inclusive) to 0xFF, those inside the chip.
  void Erase(std::uint32_t first, std::uint32_t last);
  // Sets the sector holding the address to 0xFF; false outside the chip.
  bool EraseSector(std::uint32_t address);
  // Programs one byte (new = old AND data); true when it reads back as data.
  // False outside the chip, where nothing is written.
  bool Program(std::uint32_t address, std::uint8_t data);

 private:
  Bytes bytes_{};
};

}  // namespace fu::sim
