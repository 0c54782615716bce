#pragma once
// The constant data sets the upgrade copies into a revision-1.3 record: twenty
// distinct 1024-word tables T1..T20 and eight 14-word processor blocks B0..B7.

#include <array>
#include <cstddef>
#include <cstdint>

namespace fu {

inline constexpr std::size_t kModelTableWords = 1024;
inline constexpr std::size_t kModelTableCount = 20;
using ModelTableWords = std::array<std::uint32_t, kModelTableWords>;

// Tables are named by their label number 1..20 (T1..T20).
enum class TableLabel : std::uint8_t {
  T1 = 1,
  T2,
  T3,
  T4,
  T5,
  T6,
  T7,
  T8,
  T9,
  T10,
  T11,
  T12,
  T13,
  T14,
  T15,
  T16,
  T17,
  T18,
  T19,
  T20
};

const ModelTableWords& ModelTable(TableLabel label);

inline constexpr std::size_t kProcessorBlockWords = 14;  // words 0-7, then 6 parameters
using ProcessorBlockWords = std::array<std::uint32_t, kProcessorBlockWords>;

enum class BlockLabel : std::uint8_t { B0, B1, B2, B3, B4, B5, B6, B7 };

const ProcessorBlockWords& ProcessorBlock(BlockLabel label);

}  // namespace fu
