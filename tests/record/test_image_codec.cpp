#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/cp1252.h"
#include "record/image_codec.h"
#include "record/image_layout.h"
#include "record/revision.h"
#include "support/sample_records.h"

namespace fu {
namespace {

// Collects the byte ranges the field table visits.
struct LayoutRecorder {
  struct Field {
    std::size_t offset, width;
  };
  std::vector<Field> fields;
  void Byte(std::size_t at, std::uint8_t) { fields.push_back({at, 1}); }
  void Le16(std::size_t at, std::uint16_t) { fields.push_back({at, 2}); }
  void U16be(std::size_t at, std::uint16_t) { fields.push_back({at, 2}); }
  void U24be(std::size_t at, std::int32_t) { fields.push_back({at, 3}); }
  template <std::size_t N>
  void Text(std::size_t at, const ShortText<N>&) {
    fields.push_back({at, N});
  }
  template <std::size_t N>
  void Raw(std::size_t at, const std::array<std::uint8_t, N>&) {
    fields.push_back({at, N});
  }
};

TEST(ImageLayout, FieldsAscendAndTileTheWholeImage) {
  LayoutRecorder recorder;
  const RecordV13 record;
  VisitImageFields(recorder, record);
  std::size_t next = 0;
  for (const auto& f : recorder.fields) {
    ASSERT_EQ(f.offset, next) << "gap or overlap before offset " << f.offset;
    next = f.offset + f.width;
  }
  EXPECT_EQ(next, kImageV13Size);
}

ImageV13 Encode(const RecordV13& r) {
  ImageV13 image;
  EXPECT_TRUE(EncodeImage(r, image));
  return image;
}

RecordV13 Decode(const ImageV13& image) {
  RecordV13 r;
  EXPECT_TRUE(DecodeImage(image, r));
  return r;
}

TEST(ImageCodec, CanonicalRecordAndImageRoundTrip) {
  const RecordV13 record = test::SampleRecordV13();
  const ImageV13 image = Encode(record);
  EXPECT_EQ(Decode(image), record);
  EXPECT_EQ(Encode(Decode(image)), image);
  EXPECT_EQ(RecognizeRevision(RecordV12(image.bytes)), kRevision13);
}

TEST(ImageCodec, NumbersKeepTheirByteOrder) {
  RecordV13 r;
  r.Versions[0].Major = 0x0102;
  r.FlashValue = 0x0102;
  r.FlashCode = 0x01234567;  // only the low 24 bits fit
  r.Table[1024] = 0xABCDEF;
  const ImageV13 image = Encode(r);
  EXPECT_EQ(image.bytes[0], 0x02);
  EXPECT_EQ(image.bytes[1], 0x01);
  EXPECT_EQ(image.bytes[103], 0x01);
  EXPECT_EQ(image.bytes[104], 0x02);
  EXPECT_EQ(image.bytes[105], 0x23);
  EXPECT_EQ(image.bytes[106], 0x45);
  EXPECT_EQ(image.bytes[107], 0x67);
  EXPECT_EQ(image.bytes[7171], 0xAB);
  EXPECT_EQ(image.bytes[7173], 0xEF);

  ImageV13 ones;
  ones.bytes.fill(0xFF);
  const RecordV13 decoded = Decode(ones);
  EXPECT_EQ(decoded.FlashCode, 16777215);  // no sign extension
  EXPECT_EQ(decoded.Table[1024], 16777215);
  EXPECT_EQ(decoded.Processors[1].Params[5], 16777215);
}

TEST(ImageCodec, FullWidthTextsCarryNoTerminator) {
  RecordV13 r;
  r.CardName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";  // 32 characters
  r.Manufacturer = "Falkmoore GmbH";
  r.SerialNumber = "12345678901234567890";
  const ImageV13 image = Encode(r);
  EXPECT_EQ(image.bytes[164], 'F');  // Manufacturer follows the name directly
  const RecordV13 decoded = Decode(image);
  EXPECT_EQ(decoded.CardName, r.CardName);
  EXPECT_EQ(decoded.Manufacturer, "Falkmoore GmbH");
  EXPECT_EQ(decoded.SerialNumber, r.SerialNumber);
}

TEST(ImageCodec, TextsEndAtTheirFirstNul) {
  ImageV13 image = Encode(test::SampleRecordV13());
  image.bytes[196] = 0;                             // Vendor starts with NUL
  std::fill_n(image.bytes.begin() + 312, 10, 'Q');  // ShortCode without NUL
  image.bytes[322] = 'X';                           // and the next field follows
  const RecordV13 decoded = Decode(image);
  EXPECT_TRUE(decoded.Vendor.empty());
  EXPECT_EQ(decoded.ShortCode, "QQQQQQQQQQ");
}

TEST(ImageCodec, EncoderZeroesEachTextFieldAfterItsTerminator) {
  RecordV13 r = test::SampleRecordV13();
  r.CardName = "RT/Count8";
  ImageV13 image;
  image.bytes.fill(0xAA);
  ASSERT_TRUE(EncodeImage(r, image));
  for (std::size_t i = 132 + 9; i < 164; ++i) {
    EXPECT_EQ(image.bytes[i], 0) << i;
  }
}

TEST(ImageCodec, CardNameLosesTrailingBlanksOnly) {
  RecordV13 r;
  r.CardName = " RT Count8   ";
  EXPECT_EQ(Decode(Encode(r)).CardName, " RT Count8");
  r.CardName = "   ";
  EXPECT_TRUE(Decode(Encode(r)).CardName.empty());
}

TEST(ImageCodec, TwoDigitYearsGetACentury) {
  const auto decoded_year = [](std::string_view bytes) {
    ImageV13 image;
    std::copy(bytes.begin(), bytes.end(), image.bytes.begin() + 326);
    return Decode(image).DateYear.str();
  };
  EXPECT_EQ(decoded_year("98"), "1998");
  EXPECT_EQ(decoded_year("05"), "2005");
  EXPECT_EQ(decoded_year("85"), "2085");
  EXPECT_EQ(decoded_year("0000"), "2000");
  EXPECT_EQ(decoded_year(""), "20");
  EXPECT_EQ(decoded_year("1976"), "1976");
  EXPECT_EQ(decoded_year("2003"), "2003");

  const auto encoded_year = [](std::string_view year) {
    RecordV13 r;
    r.DateYear = year;
    const ImageV13 image = Encode(r);
    return std::string(image.bytes.begin() + 326, image.bytes.begin() + 330);
  };
  EXPECT_EQ(encoded_year("98"), "1998");
  EXPECT_EQ(encoded_year("05"), "2005");
  EXPECT_EQ(encoded_year("1976"), "1976");
  EXPECT_EQ(encoded_year("5"), std::string("205\0", 4));
  EXPECT_EQ(encoded_year(""), std::string("20\0\0", 4));
}

TEST(ImageCodec, WordsCarryOneImageBytePerWord) {
  std::vector<HostWord> words(kImageV13Size);
  for (std::size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<HostWord>(0xFFFFFF00u | (i * 31));
  }
  ImageV13 image;
  ASSERT_TRUE(WordsToImage(std::span<const HostWord, kImageV13Size>(words), image));
  EXPECT_EQ(image.bytes[1], 31);
  EXPECT_EQ(image.bytes[9], static_cast<std::uint8_t>(9 * 31));

  std::vector<HostWord> back(kImageV13Size, 0xDEAD);
  ASSERT_TRUE(ImageToWords(image, std::span<HostWord, kImageV13Size>(back)));
  for (std::size_t i = 0; i < back.size(); ++i) {
    ASSERT_EQ(back[i], words[i] & 0xFF) << i;
  }
}

}  // namespace
}  // namespace fu
