#include "record/rate_text.h"

#include <cmath>

namespace fu {

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return upper;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

std::optional<std::int32_t> ParseRateText(std::string_view text,
                                          std::span<const std::string_view> units) {
  std::string work = UpperAscii(text);
  for (const auto unit : units) {
    if (const auto at = work.find(unit); at != std::string::npos) {
      work.erase(at, unit.size());
    }
  }
  std::erase(work, ' ');
  return ReadInteger(work);
}

std::int32_t ToFrac24(double x) {
  constexpr double kFullScale = 8388608.0;  // 2^23
  constexpr std::int32_t kMax = 0x7FFFFF;
  const double scaled = std::nearbyint(x * kFullScale);  // to nearest, halves to even
  if (!(scaled < kMax)) {
    return kMax;
  }
  return static_cast<std::int32_t>(scaled);
}

}  // namespace fu
