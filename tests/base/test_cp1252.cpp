#include <gtest/gtest.h>

#include "base/cp1252.h"
#include "base/errors.h"

namespace fu {
namespace {

TEST(Cp1252, LiteralsHoldOneBytePerCharacter) {
  constexpr std::string_view text = "Zählerauflösung Überspannung ß €"_cp;
  EXPECT_EQ(text.size(), 32u);
  EXPECT_EQ(static_cast<unsigned char>(text[1]), 0xE4);   // ä
  EXPECT_EQ(static_cast<unsigned char>(text[10]), 0xF6);  // ö
  EXPECT_EQ(static_cast<unsigned char>(text[16]), 0xDC);  // Ü
  EXPECT_EQ(static_cast<unsigned char>(text[29]), 0xDF);  // ß
  EXPECT_EQ(static_cast<unsigned char>(text[31]), 0x80);  // €
  static_assert("abc"_cp == "abc");
}

TEST(Cp1252, EveryDefinedByteSurvivesTheTripThroughUtf8) {
  for (int b = 1; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string utf8 = Cp1252ToUtf8(one);
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
      EXPECT_EQ(utf8, "\xEF\xBF\xBD") << b;  // no character: U+FFFD
    } else {
      EXPECT_EQ(Utf8ToCp1252(utf8), one) << b;
    }
  }
  EXPECT_EQ(Cp1252ToUtf8("Pr\xFC"
                         "fstand"),
            "Prüfstand");
  EXPECT_EQ(Utf8ToCp1252("Ω and 日本"), "? and ??");
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "?");  // cut-off sequence
}

TEST(Cp1252, ConversionErrorCarriesTheGermanText) {
  const IntegerConversionError error("$12G");
  EXPECT_EQ(error.Text(), "'$12G' ist kein gültiger Integerwert"_cp);
  EXPECT_EQ(error.Offending(), "$12G");
}

}  // namespace
}  // namespace fu
