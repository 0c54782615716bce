#include <gtest/gtest.h>

#include "platform/form_scale.h"

namespace fu::form1 {
namespace {

TEST(FormScale, TheDesignFontAndNarrowerOnesKeepTheDesign) {
  // "MS Sans Serif" 8 point: 323 pixels for the 52 letters, a base unit of 6.
  EXPECT_TRUE(FormScale::Measured(323, 13).IsDesign());
  EXPECT_TRUE(FormScale::Measured(300, 11).IsDesign());
  EXPECT_TRUE(FormScale::Measured(337, 13).IsDesign());
  const FormScale design = FormScale::Measured(323, 13);
  EXPECT_EQ(design.Apply(kMemo1).left, kMemo1.left);
  EXPECT_EQ(design.Apply(kMemo1).width, kMemo1.width);
  // A wider font: base units of 7 by 15.
  const FormScale wide = FormScale::Measured(359, 15);
  EXPECT_DOUBLE_EQ(wide.XFactor(), 7.0 / 6.0);
  EXPECT_DOUBLE_EQ(wide.YFactor(), 15.0 / 13.0);
}

TEST(FormScale, TextsWiderThanTheMeanWidenTheScaleUntilEachHasItsRoom) {
  const FormScale design = FormScale::Measured(323, 13);
  EXPECT_EQ(design.WidenedToFit(kButton3Pos, 97).XFactor(), 1.0);
  // Every text has its room at the end, whichever widened the scale most.
  const FormScale fitted = design.FittedTo({{kButton4Pos, 64},
                                            {kButton2Pos, 101},
                                            {kButton3Pos, 107},
                                            {kButton1Pos, 91},
                                            {kMemo1, 351}});
  EXPECT_GE(fitted.Apply(kButton4Pos).width, 64);
  EXPECT_GE(fitted.Apply(kButton2Pos).width, 101);
  EXPECT_GE(fitted.Apply(kButton3Pos).width, 107);
  EXPECT_GE(fitted.Apply(kButton1Pos).width, 91);
  EXPECT_GE(fitted.Apply(kMemo1).width, 351);
  EXPECT_EQ(fitted.YFactor(), 1.0);
  // Controls that touch or keep a gap at design size still do.
  EXPECT_LT(fitted.Apply(kButton2Pos).left + fitted.Apply(kButton2Pos).width,
            fitted.Apply(kButton3Pos).left);
}

}  // namespace
}  // namespace fu::form1
