#include "record/option_table.h"

#include <algorithm>

namespace fu {

namespace {

using namespace option_names;

constexpr OptionRow kSoftwareRows[] = {
    {0, "Online-FFT", {"Online FFT"}, {"Online FFT"}},
    {1, "Online-Filter", {"Online FIR und IIR"}, {"Online FIR und IIR"}},
    {2, "Online-PID", {"Online PID Regler"}, {"Online PID Regler"}},
    {3, "Online-Linearisierung", {"Interne Linearisierung"}, {"Interne Linearisierung"}},
    {4,
     "Onboard-Funktionsgenerator",
     {"Onboard Funktionsgenerator"},
     {"Onboard Funktionsgenerator"}},
    {14, "Airbag Prüfstand"_cp, {"Airbag Pruefstand"}, {"Airbag Pruefstand"}},
    {15, "Up/Down-Card", {"UP/DOWN Card"}, {"UP/DOWN Card"}},
    {16, "Erweiterte Stoptrigger", {"Erweiterte Stoptrigger"}, {"Erweiterte Stoptrigger"}},
};

// Bit 11 is also accepted as "Coprozessor" and bit 12 as "Coprozessor 56311": the
// names the downgrade writes for them, so that a record taken down and up again
// keeps both bits.
constexpr OptionRow kHardwareRows[] = {
    {0,
     "Zählerupgrade (1 Hz,Pulsbreite,Period.)"_cp,
     {"Periodendauerzähler"_cp, "Zählerauflösung 1 Hz"_cp},
     {"Periodendauerzähler"_cp, "Zählerauflösung 1 Hz"_cp}},
    {1, "Up/Down-Counter", {"Up/Down Counter"}, {"Up/Down Counter"}},
    {2, "PWM-Ausgabe (nimbaPCI)", {kPwmOutput, "PWM-Ausgabe"}, {"PWM-Ausgabe"}},
    {3, "PWM-Karte", {kPwm4, kPwm8, kPwm16}, {}, true},
    {4, "D/A-Wandler", {"D/A-Wandler"}, {"D/A-Wandler"}},
    {5,
     "Multiplexer mit Überspannungsschutz"_cp,
     {"Multiplexer mit Überspannungsschutz"_cp},
     {"Multiplexer mit Überspannungsschutz"_cp}},
    {6, "", {"jede Periode"}, {"jede Periode"}},
    {kDualConverterBit, "Dual-Wandler", {"Dual-Wandler"}, {"Dual-Wandler"}},
    {kTimestampBit, "Zeitstempel", {}, {}},
    {10, "TTL Bitweise", {kTtlBitwise}, {kTtlBitwise}},
    {kCoprocessor56307Bit, "Coprozessor 56307", {"Coprozessor"}, {"Coprozessor"}},
    {12, "Coprozessor 56311", {"Coprocessor 56311", "Coprozessor 56311"}, {"Coprozessor 56311"}},
    {13, kOneChannelIncremental, {kOneChannelIncremental}, {kOneChannelIncremental}},
    {14, "Regenerator (Automotiv)", {"Regenerator (Automotiv)"}, {"Regenerator (Automotiv)"}},
    {15, kMhCounterExtension, {kMhCounterExtension}, {kMhCounterExtension}},
};

constexpr int kSoftwareOrder[] = {0, 1, 2, 3, 4, 14, 15, 16};
constexpr int kHardwareOrder[] = {0, 1, 3, 2, 4, 5, 6, 8, 11, 12, 10, 13, 14, 15};

consteval bool RowsAscendInRange(std::span<const OptionRow> rows) {
  int last = -1;
  for (const auto& row : rows) {
    if (row.bit <= last || row.bit >= kOptionCount) {
      return false;
    }
    last = row.bit;
  }
  return true;
}
static_assert(RowsAscendInRange(kSoftwareRows));
static_assert(RowsAscendInRange(kHardwareRows));

// Every bit the downgrade takes has a row that says what to write for it.
consteval bool OrderHasRows(std::span<const int> order, std::span<const OptionRow> rows) {
  for (const int bit : order) {
    bool found = false;
    for (const auto& row : rows) {
      found = found || (row.bit == bit && (!row.written[0].empty() || row.writesPwmCount));
    }
    if (!found) {
      return false;
    }
  }
  return true;
}
static_assert(OrderHasRows(kSoftwareOrder, kSoftwareRows));
static_assert(OrderHasRows(kHardwareOrder, kHardwareRows));

}  // namespace

std::span<const OptionRow> SoftwareOptionRows() {
  return kSoftwareRows;
}
std::span<const OptionRow> HardwareOptionRows() {
  return kHardwareRows;
}
std::span<const int> SoftwareDowngradeOrder() {
  return kSoftwareOrder;
}
std::span<const int> HardwareDowngradeOrder() {
  return kHardwareOrder;
}

std::string_view OptionDisplayName(std::uint8_t group, int bit) {
  const auto rows = group == kSoftwareGroup ? SoftwareOptionRows() : HardwareOptionRows();
  const auto row =
      std::find_if(rows.begin(), rows.end(), [bit](const OptionRow& r) { return r.bit == bit; });
  return row == rows.end() ? std::string_view() : row->display;
}

}  // namespace fu
