#pragma once
// The option bits of a revision-1.3 record: per bit its display text, the
// revision-1.2 option names that set it on the way up, and the names written for
// it on the way down.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/cp1252.h"

namespace fu {

// Revision-1.2 option names that the upgrade also reads for other fields.
namespace option_names {
inline constexpr std::string_view kOneChannelIncremental = "1-Kanal Inkrementalzähler"_cp;
inline constexpr std::string_view kMhCounterExtension = "MH-Zählererweiterung"_cp;
inline constexpr std::string_view kPwmOutput = "PWM Ausgabe";
inline constexpr std::string_view kPwm4 = "4-Kanal PWM";
inline constexpr std::string_view kPwm8 = "8-Kanal PWM";
inline constexpr std::string_view kPwm16 = "16-Kanal PWM";
inline constexpr std::string_view kTtlBitwise = "TTL Bitweise";
}  // namespace option_names

// Hardware bits whose display texts the coprocessor presets test.
inline constexpr int kTimestampBit = 9;
inline constexpr int kCoprocessor56307Bit = 11;
inline constexpr int kDualConverterBit = 8;

inline constexpr std::uint8_t kHardwareGroup = 0;
inline constexpr std::uint8_t kSoftwareGroup = 1;
inline constexpr int kOptionCount = 80;

struct OptionRow {
  int bit;
  std::string_view display;
  std::array<std::string_view, 3> accepted;  // unused entries empty
  std::array<std::string_view, 2> written;   // unused entries empty
  bool writesPwmCount = false;               // written as PWM.Count + "-Kanal PWM" instead
};

// Rows with any text, in bit order.
std::span<const OptionRow> SoftwareOptionRows();
std::span<const OptionRow> HardwareOptionRows();

// The display text; group 1 is the software column, every other group the
// hardware column. Bits without a text and bits above 79 give the empty text.
std::string_view OptionDisplayName(std::uint8_t group, int bit);

// The order in which the downgrade takes the set bits into the name lists.
std::span<const int> SoftwareDowngradeOrder();
std::span<const int> HardwareDowngradeOrder();

// Suffix of the PWM channel entry, after the decimal channel count.
inline constexpr std::string_view kPwmChannelSuffix = "-Kanal PWM";

}  // namespace fu
