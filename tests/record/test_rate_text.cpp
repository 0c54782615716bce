#include <gtest/gtest.h>

#include "base/cp1252.h"
#include "record/rate_text.h"

namespace fu {
namespace {

TEST(ParseRateText, UnitsAreRemovedNotScaled) {
  EXPECT_EQ(ParseRateText("150 MHz", kClockUnits), 150);
  EXPECT_EQ(ParseRateText("1 5 0", kClockUnits), 150);
  EXPECT_EQ(ParseRateText("70 NS", kClockUnits), 70);
  EXPECT_EQ(ParseRateText("1 MHZ", kAnalogRateUnits), 1);
  EXPECT_EQ(ParseRateText("1 khz", kAnalogRateUnits), 1);
  EXPECT_EQ(ParseRateText("500 kHz", kAnalogRateUnits), 500);
  EXPECT_EQ(ParseRateText("20 ns", kCounterRateUnits), 20);
  // Only the first occurrence of each unit goes.
  EXPECT_FALSE(ParseRateText("1 MHZ MHZ", kClockUnits).has_value());
  // A unit must follow a blank, and must be one of the field's own.
  EXPECT_FALSE(ParseRateText("150MHz", kClockUnits).has_value());
  EXPECT_FALSE(ParseRateText("500 Hz", kAnalogRateUnits).has_value());
  EXPECT_FALSE(ParseRateText("70 NS", kAnalogRateUnits).has_value());
  EXPECT_FALSE(ParseRateText("", kClockUnits).has_value());
  EXPECT_FALSE(ParseRateText(" MHZ", kClockUnits).has_value());
}

TEST(TextHelpers, UpperAsciiAndTrailingBlanks) {
  EXPECT_EQ(UpperAscii("mhz äöü 1a"_cp), "MHZ äöü 1A"_cp);
  EXPECT_EQ(TrimTrailingBlanks("RT/Count8   "), "RT/Count8");
  EXPECT_EQ(TrimTrailingBlanks(" RT "), " RT");
  EXPECT_EQ(TrimTrailingBlanks("    "), "");
}

TEST(ToFrac24, RoundsHalvesToEvenAndCapsAtFullScale) {
  constexpr double kLsb = 1.0 / 8388608.0;
  EXPECT_EQ(ToFrac24(0.0), 0);
  EXPECT_EQ(ToFrac24(0.5 * kLsb), 0);
  EXPECT_EQ(ToFrac24(1.5 * kLsb), 2);
  EXPECT_EQ(ToFrac24(2.5 * kLsb), 2);
  EXPECT_EQ(ToFrac24(0.5), 0x400000);
  EXPECT_EQ(ToFrac24(1.0), 0x7FFFFF);
  EXPECT_EQ(ToFrac24(3.0), 0x7FFFFF);
}

}  // namespace
}  // namespace fu
