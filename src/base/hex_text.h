#pragma once
// Numbers as upper-case hexadecimal text with a fixed number of digits, the
// form of addresses, error codes and check words in messages, files and the
// support protocol.

#include <cstdint>
#include <string>

namespace fu {

// The low `digits` hexadecimal digits of value, upper case, no prefix:
// HexText(0x2A, 4) == "002A".
inline std::string HexText(std::uint32_t value, int digits = 8) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) {
    text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  }
  return text;
}

}  // namespace fu
