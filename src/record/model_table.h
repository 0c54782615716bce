#pragma once
// The card models the upgrade recognises by card name, and the data set each
// selects.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/short_text.h"
#include "record/data_tables.h"

namespace fu {

// Which of a row's tables is copied.
enum class TableRule : std::uint8_t {
  Standard,            // always the standard table
  AlternateIfTtl,      // the alternate when "TTL Bitweise" is a hardware option name
  AlternateIfHs1OrTtl  // the alternate also when the untrimmed name is "nimbaPCI/HS_1"
};

enum class ModelEffect : std::uint8_t {
  None,
  NoDataSet,          // nothing of a data set is written
  RenameTo16_20,      // CardName := "nimbaPCI/16/20"
  CoprocessorPreset,  // processor 1 chosen by the coprocessor presets
  Processor0Preset    // processor 0 := kNimbaUsbProcessor0
};

struct ModelRow {
  int row;  // 1..31, as the rows are numbered in the model documentation
  std::array<std::string_view, 2> names;  // second may be empty
  TableLabel standard;
  TableLabel alternate;  // meaningful with an Alternate rule
  TableRule rule;
  BlockLabel processor0;
  BlockLabel processor1;
  ModelEffect effect;
};

std::span<const ModelRow> ModelRows();

// The row whose accepted names contain name exactly (trailing blanks already
// removed by the caller), or nullptr.
const ModelRow* FindModel(std::string_view name);

// Fixed processor descriptions set by the model rows' effects.
struct ProcessorPreset {
  std::string_view maskSet;
  std::uint8_t clockMHz;
  std::string_view dateCode;
  std::uint8_t kind;
};

// Row 29: processor 1 when "Zeitstempel" / "Coprozessor 56307" is a hardware
// option name, with the block each selects; otherwise processor 1 stays as it is
// and gets block B5.
inline constexpr ProcessorPreset kTimestampCoprocessor{"0J22D", 100, "9939", 2};
inline constexpr BlockLabel kTimestampCoprocessorBlock = BlockLabel::B5;
inline constexpr ProcessorPreset kCoprocessor56307{"2J25D", 150, "9939", 3};
inline constexpr BlockLabel kCoprocessor56307Block = BlockLabel::B6;
inline constexpr BlockLabel kNoCoprocessorBlock = BlockLabel::B5;

// Row 31: processor 0.
inline constexpr ProcessorPreset kNimbaUsbProcessor0{"2J25D", 150, "9939", 3};

inline constexpr std::string_view kRenamed16_20 = "nimbaPCI/16/20";

}  // namespace fu
