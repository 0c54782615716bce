#include "base/integer_text.h"

#include <limits>

namespace fu {

namespace {

int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') {
    v = c - '0';
  } else if (c >= 'A' && c <= 'F') {
    v = c - 'A' + 10;
  } else if (c >= 'a' && c <= 'f') {
    v = c - 'a' + 10;
  }
  return v < base ? v : -1;
}

}  // namespace

std::optional<std::int32_t> ReadInteger(std::string_view text) {
  while (!text.empty() && text.front() == ' ') {
    text.remove_prefix(1);
  }
  int base = 10;
  bool negative = false;
  std::uint64_t limit = std::numeric_limits<std::int32_t>::max();
  if (!text.empty() && text.front() == '$') {
    base = 16;
    limit = std::numeric_limits<std::uint32_t>::max();
    text.remove_prefix(1);
  } else if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    if (negative) {
      limit += 1;  // -2^31 is in range
    }
    text.remove_prefix(1);
  }
  if (text.empty()) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (const char c : text) {
    const int digit = DigitValue(c, base);
    if (digit < 0) {
      return std::nullopt;
    }
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (value > limit) {
      return std::nullopt;
    }
  }
  if (negative) {
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(value));
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace fu
