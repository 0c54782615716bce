#include <gtest/gtest.h>

#include <cstdint>

#include "base/integer_text.h"

namespace fu {
namespace {

TEST(ReadInteger, DecimalAndHexadecimalWithinRange) {
  EXPECT_EQ(ReadInteger("150"), 150);
  EXPECT_EQ(ReadInteger("  -42"), -42);
  EXPECT_EQ(ReadInteger("+7"), 7);
  EXPECT_EQ(ReadInteger("2147483647"), 2147483647);
  EXPECT_EQ(ReadInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(ReadInteger("$1a2B3c"), 0x1A2B3C);
  EXPECT_EQ(ReadInteger("$FFFFFFFF"), -1);  // 32 bits, taken as they are
  for (const char* bad : {"", " ", "2147483648", "-2147483649", "$", "$100000000", "$-1", "+",
                          "12 ", "1 2", "0x10", "$G", "12a", "- 5", "99999999999999999999"}) {
    EXPECT_FALSE(ReadInteger(bad).has_value()) << '"' << bad << '"';
  }
}

}  // namespace
}  // namespace fu
