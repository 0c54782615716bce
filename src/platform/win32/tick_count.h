#pragma once
// A 64-bit millisecond count from the 32-bit one of GetTickCount, which wraps
// every 49.7 days, for systems without GetTickCount64. Free of <windows.h>.

#include <cstdint>

namespace fu {

// The count after `last` (the count handed out before) when GetTickCount now
// says `ticks`: the high half counts the wrap-arounds, and a 32-bit count below
// the last one's low half is one more wrap-around. Called at least once every
// 49.7 days, the result never goes backwards.
constexpr std::uint64_t WidenTickCount(std::uint32_t ticks, std::uint64_t last) {
  const std::uint64_t wraps = last >> 32;
  return ((ticks < static_cast<std::uint32_t>(last) ? wraps + 1 : wraps) << 32) | ticks;
}

}  // namespace fu
