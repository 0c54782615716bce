#include "record/model_table.h"

#include <algorithm>

namespace fu {

namespace {

using enum TableLabel;
using enum BlockLabel;
using enum TableRule;
using enum ModelEffect;

constexpr ModelRow kRows[] = {
    {1, {"nimbaPCI", "nimbaPCI/ODA"}, T1, T1, Standard, B1, B0, None},
    {2, {"nimbaPCI/DA", ""}, T1, T1, Standard, B1, B0, None},
    {3, {"nimbaPCI/HS", "nimbaPCI/HS_1"}, T2, T3, AlternateIfHs1OrTtl, B2, B0, None},
    {4, {"nimbaPCI/16/20", "nimbaPCI/HS/16/20"}, T2, T4, AlternateIfTtl, B2, B0, RenameTo16_20},
    {5, {"nimbaPCI/16/20/B", ""}, T5, T6, AlternateIfTtl, B2, B0, None},
    {6, {"RT/Peri/4", ""}, T7, T7, Standard, B3, B0, None},
    {7, {"RT/Inkr/4", ""}, T8, T8, Standard, B3, B0, None},
    {8, {"RT/Inkr/4/S", ""}, T9, T9, Standard, B3, B0, None},
    {9, {"RT/Inkr/4/HS", ""}, T9, T9, Standard, B1, B0, None},
    {10, {"RT/Inkr/6/HS", ""}, T10, T10, Standard, B1, B0, None},
    {11, {"RT/Inkr/8/HS", ""}, T11, T11, Standard, B1, B0, None},
    {12, {"RT/PWM/8", ""}, T12, T12, Standard, B1, B0, None},
    {13, {"RT/Count8/HS", ""}, T13, T13, Standard, B2, B0, None},
    {14, {"RT/Count8", "RT/Count8/P"}, T14, T14, Standard, B1, B0, None},
    {15, {"RT/Count16", ""}, T15, T15, Standard, B1, B0, None},
    {16, {"RT/Count16/HS", ""}, T15, T15, Standard, B2, B0, None},
    {17, {"PX_QA-8 PCI", ""}, T16, T16, Standard, B1, B0, None},
    {18, {"PX_QA-8 PCI/F", ""}, T16, T16, Standard, B2, B0, None},
    {19, {"PX_QA-16 PCI", ""}, T16, T16, Standard, B1, B0, None},
    {20, {"PX_QA-8/16B PCI", ""}, T17, T17, Standard, B1, B0, None},
    {21, {"PX_QA-16/16B PCI", ""}, T18, T18, Standard, B1, B0, None},
    {22, {"PX_QA-8 PCI/HS", ""}, T16, T16, Standard, B2, B0, None},
    {23, {"PX_QA-16 PCI/HS", ""}, T16, T16, Standard, B2, B0, None},
    {24, {"PX_QA-16 PCI/F", ""}, T16, T16, Standard, B2, B0, None},
    {25, {"PX_QA-8/16B/HS", ""}, T17, T17, Standard, B2, B0, None},
    {26, {"PX_QA-16/16B/HS", ""}, T18, T18, Standard, B2, B0, None},
    {27, {"PX_QA-8/16B/HS/F", ""}, T17, T17, Standard, B2, B0, None},
    {28, {"PX_QA-16/16B/HS/F", ""}, T18, T18, Standard, B2, B0, None},
    {29, {"ZEMBRAL/PCI", ""}, T19, T19, Standard, B4, B5, CoprocessorPreset},
    {30, {"ZEMBRAL/USB", ""}, T1, T1, Standard, B0, B0, NoDataSet},
    {31, {"nimba/USB", ""}, T20, T20, Standard, B7, B0, Processor0Preset},
};

// Each accepted name belongs to one row only, and no row accepts the empty name.
consteval bool NamesAreUnique() {
  for (const auto& a : kRows) {
    for (const auto name : a.names) {
      for (const auto& b : kRows) {
        for (const auto other : b.names) {
          if (!name.empty() && name == other && &a != &b) {
            return false;
          }
        }
      }
    }
    if (a.names[0].empty()) {
      return false;
    }
  }
  return true;
}
static_assert(NamesAreUnique());

}  // namespace

std::span<const ModelRow> ModelRows() {
  return kRows;
}

const ModelRow* FindModel(std::string_view name) {
  if (name.empty()) {
    return nullptr;
  }
  const auto* row = std::find_if(std::begin(kRows), std::end(kRows), [name](const ModelRow& r) {
    return r.names[0] == name || r.names[1] == name;
  });
  return row == std::end(kRows) ? nullptr : row;
}

}  // namespace fu
