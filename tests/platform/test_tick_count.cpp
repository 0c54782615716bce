#include <gtest/gtest.h>

#include <cstdint>

#include "platform/win32/tick_count.h"

namespace fu {
namespace {

// The count older Windows give instead of GetTickCount64 runs on across the
// 32-bit count's wrap-arounds and never goes backwards.
TEST(TickCount, WidenedCountRunsOnAcrossWrapArounds) {
  std::uint64_t last = 0;
  std::uint64_t before = 0;
  for (const std::uint32_t ticks :
       {10u, 0x7FFFFFFFu, 0xFFFFFFF0u, 0xFFFFFFFFu, 5u, 5u, 0x80000000u, 3u}) {
    last = WidenTickCount(ticks, last);
    EXPECT_GE(last, before) << ticks;
    EXPECT_EQ(static_cast<std::uint32_t>(last), ticks);
    before = last;
  }
  EXPECT_EQ(last >> 32, 2u);  // wrapped after 0xFFFFFFFF and after 0x80000000
}

}  // namespace
}  // namespace fu
