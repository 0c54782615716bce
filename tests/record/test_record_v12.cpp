#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "record/record_v12.h"

namespace fu {
namespace {

struct Span {
  std::size_t begin, end;
};

std::vector<Span> AllFields() {
  std::vector<Span> spans;
  const auto i = [&](V12Int f) { spans.push_back({f.offset, f.offset + 4}); };
  const auto s = [&](V12String f) { spans.push_back({f.offset, f.offset + 1 + f.width}); };
  for (std::size_t k = 0; k < 3; ++k) {
    i(v12::VersionMajor(k));
    i(v12::VersionMinor(k));
    s(v12::VersionRevision(k));
    s(v12::VersionDate(k));
  }
  for (auto f :
       {v12::ProcessorMaskSet, v12::ProcessorClock, v12::ProcessorDateCode, v12::FlashClock,
        v12::FlashCode, v12::CardName, v12::Manufacturer, v12::Vendor, v12::ShortCode,
        v12::Customer, v12::Date, v12::A_InDiffCount, v12::ExtraText, v12::SerialNumber}) {
    s(f);
  }
  i(v12::FlashValue);
  for (const auto& g : {v12::A_In, v12::A_Out, v12::D_In, v12::D_Out, v12::iCT, v12::CT}) {
    i(g.count);
    i(g.bits);
    s(g.rate);
  }
  for (std::size_t k = 0; k < v12::kOptionSlots; ++k) {
    s(v12::SoftwareOptionName(k));
    s(v12::HardwareOptionName(k));
  }
  return spans;
}

TEST(RecordV12, FieldsDoNotOverlapAndEndBeforeTheLastByte) {
  auto spans = AllFields();
  std::sort(spans.begin(), spans.end(), [](Span a, Span b) { return a.begin < b.begin; });
  for (std::size_t k = 1; k < spans.size(); ++k) {
    EXPECT_LE(spans[k - 1].end, spans[k].begin) << "field at " << spans[k].begin;
  }
  EXPECT_EQ(spans.back().end, kRecordV12Size - 1);  // byte 1735 is unused
  EXPECT_EQ(spans.front().begin, 28u);
}

TEST(RecordV12, NumbersAreLittleEndianAndTextsLengthPrefixed) {
  RecordV12 r;
  r.Set(v12::FlashValue, -2);
  EXPECT_EQ(r.Bytes()[272], 0xFE);
  EXPECT_EQ(r.Bytes()[275], 0xFF);
  EXPECT_EQ(r.Get(v12::FlashValue), -2);

  r.Set(v12::ShortCode, "ABCDEFGH");  // string[6]: cut
  EXPECT_EQ(r.Bytes()[436], 6);
  EXPECT_EQ(r.Get(v12::ShortCode), "ABCDEF");
  r.Set(v12::ShortCode, "XY");
  EXPECT_EQ(r.Get(v12::ShortCode), "XY");
  EXPECT_EQ(r.Bytes()[436 + 3], 0);  // no remnant of the longer text
  EXPECT_EQ(r.At(v12::ShortCode, 2), 'Y');
}

TEST(RecordV12, DamagedLengthBytesStayInsideTheField) {
  RecordV12 r;
  r.Set(v12::CardName, "nimbaPCI");
  r.Set(v12::Manufacturer, "Falkmoore GmbH");
  r.Bytes()[v12::CardName.offset] = 255;  // longer than string[30]
  EXPECT_EQ(r.Get(v12::CardName).size(), 30u);
  r.Bytes()[v12::SerialNumber.offset] = 200;
  EXPECT_EQ(r.Get(v12::SerialNumber).size(), 20u);
  EXPECT_EQ(r.At(v12::SerialNumber, 21), '\0');  // beyond the field: nothing
  r.SetAt(v12::SerialNumber, 21, 'X');
  EXPECT_EQ(r.Bytes()[kRecordV12Size - 1], 0);
}

TEST(RecordV12, ShortInputLeavesTheRestZero) {
  const std::vector<std::uint8_t> bytes(100, 0x41);
  const RecordV12 r(bytes);
  EXPECT_EQ(r.Bytes()[99], 0x41);
  EXPECT_EQ(r.Bytes()[100], 0);
}

}  // namespace
}  // namespace fu
