#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "dsplink/dsp_program.h"

namespace fu {
namespace {

DspProgram Parse(const std::string& text) {
  return ParseDspProgram(
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

TEST(DspProgram, BootStreamIsTheCountTheSecondWordAndTheProgram) {
  const DspProgram p = Parse("3\r\n0\r\n  1A2B\r\n12 \r\n\r\nFFFF\r\n");
  ASSERT_TRUE(p.intact);
  // Spaces are zeros wherever they stand; an empty line is 0; lines after the
  // program are read but not part of the stream.
  EXPECT_EQ(p.bootStream, (std::vector<HostWord>{3, 0, 0x1A2B, 0x120, 0}));
}

TEST(DspProgram, LineEndsMayBeBareLineFeedsAndTheLastMayBeMissing) {
  EXPECT_EQ(Parse("2\n5\nabcdef\nFFFFFFFF").bootStream,
            (std::vector<HostWord>{2, 5, 0xABCDEF, 0xFFFFFFFF}));
  // The DOS end-of-file byte ends the text, at a line's end or inside a line.
  EXPECT_EQ(Parse("2\r\n5\r\n7\r\n8\r\n\x1A").bootStream, (std::vector<HostWord>{2, 5, 7, 8}));
  EXPECT_EQ(Parse("2\n5\n7\n8\x1A\n$$\n").bootStream, (std::vector<HostWord>{2, 5, 7, 8}));
}

TEST(DspProgram, LinesThatAreNotHexadecimalRaiseWithTheirText) {
  try {
    Parse("2\n0\n12G4\n5\n");
    FAIL() << "no error raised";
  } catch (const IntegerConversionError& e) {
    EXPECT_EQ(e.Offending(), "12G4");
  }
  EXPECT_THROW(Parse("\n0\n"), IntegerConversionError);              // empty first line
  EXPECT_THROW(Parse(""), IntegerConversionError);                   // empty file
  EXPECT_THROW(Parse("1\n0\n1\n$1\n"), IntegerConversionError);      // even after the program
  EXPECT_THROW(Parse("1\n0\n100000000\n"), IntegerConversionError);  // more than 32 bits
}

TEST(DspProgram, FilesThatCannotHoldTheProgramAreNotIntact) {
  EXPECT_FALSE(Parse("3\n0\n1\n2\n").intact);  // one program line short
  EXPECT_TRUE(Parse("3\n0\n1\n2\n3").intact);
  EXPECT_FALSE(Parse("FFFFFFFF\n0\n").intact);  // N + 2 would overflow 32 bits
  std::string lines = "1386\n0\n";              // N = 4998: the largest that fits
  for (int i = 0; i < 4998; ++i) {
    lines += "1\n";
  }
  EXPECT_TRUE(Parse(lines).intact);
  EXPECT_FALSE(Parse("1387\n" + lines.substr(5)).intact);  // N = 4999
  EXPECT_FALSE(Parse(lines + "0\n").intact);               // 5001 lines
}

}  // namespace
}  // namespace fu
