#pragma once
// Reading the numbers of revision-1.2 texts.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/integer_text.h"

namespace fu {

// Every byte 'a'..'z' becomes 'A'..'Z'; all others stay (also accented letters).
std::string UpperAscii(std::string_view text);

// Removes blanks (0x20) from the end.
std::string_view TrimTrailingBlanks(std::string_view text);

// Unit texts that may follow the number of a clock or rate text.
inline constexpr std::string_view kUnitMhz = " MHZ";
inline constexpr std::string_view kUnitKhz = " KHZ";
inline constexpr std::string_view kUnitNs = " NS";

inline constexpr std::string_view kClockUnits[] = {kUnitMhz, kUnitNs};
inline constexpr std::string_view kAnalogRateUnits[] = {kUnitMhz, kUnitKhz};
inline constexpr std::string_view kCounterRateUnits[] = {kUnitMhz, kUnitKhz, kUnitNs};

// Upper-cases the text, deletes the first occurrence of each unit in list order,
// deletes every remaining blank and reads the rest as an integer. The number is
// never scaled: "1 MHZ" and "1 KHZ" both give 1.
std::optional<std::int32_t> ParseRateText(std::string_view text,
                                          std::span<const std::string_view> units);

// x * 2^23 rounded to nearest (halves to even), capped at 0x7FFFFF: a 24-bit
// fraction. For x >= 0.
std::int32_t ToFrac24(double x);

}  // namespace fu
