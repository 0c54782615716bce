#include <gtest/gtest.h>

#include "base/short_text.h"

namespace fu {
namespace {

TEST(ShortText, KeepsAtMostItsWidth) {
  ShortText<4> year("19985");
  EXPECT_EQ(year.view(), "1998");
  year = "7";
  EXPECT_EQ(year.size(), 1u);
  EXPECT_EQ(year, "7");
  year = "";
  EXPECT_TRUE(year.empty());
}

TEST(ShortText, EqualityLooksOnlyAtTheText) {
  ShortText<6> a("ABCDEF");
  a = "AB";  // shorter text after a longer one leaves no trace
  EXPECT_EQ(a, ShortText<6>("AB"));
  EXPECT_NE(a, ShortText<6>("AB "));
  const std::string embedded("A\0B", 3);
  EXPECT_EQ(ShortText<6>(embedded).size(), 3u);
}

}  // namespace
}  // namespace fu
