#pragma once
// How a card's 64 KiB area compares, after a write, with what it should hold
// beyond the bytes the write programmed and verified. Which flash an erase
// clears is the DSP program's business: a difference there is told once and
// recorded, and the backup keeps what was there, but it is no failure of the
// write and locks nothing.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/host_word.h"

namespace fu {

struct AreaDifference {
  bool unread = false;    // the area did not read back whole and alike twice: not known
  std::size_t first = 0;  // offsets into the area of the first and the last
  std::size_t last = 0;   // byte that differs
  std::size_t count = 0;  // how many bytes differ
  friend bool operator==(const AreaDifference&, const AreaDifference&) = default;
};

// "0xD02E00": the flash address of an offset into the area.
std::string AreaAddressText(std::size_t offset);

// Compares the area read back with what it should hold, outside the offsets
// [skip_from, skip_to); nothing when they agree.
std::optional<AreaDifference> CompareArea(std::span<const HostWord> area,
                                          std::span<const HostWord> should, std::size_t skip_from,
                                          std::size_t skip_to);

// As the journal's closing line records it: "0xD02E00-0xD02E43", or "unbekannt".
std::string DifferenceField(const AreaDifference& difference);

// What the user is told once after a write whose record verified: where the
// flash outside the record differs from backup_file, and that this file holds
// the former content and must be kept. restore_backup: for a restore from
// backup_file, the backup taken just before it; empty for a write.
std::string DifferenceText(const AreaDifference& difference, std::string_view backup_file,
                           std::string_view restore_backup);

}  // namespace fu
