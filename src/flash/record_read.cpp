#include "flash/record_read.h"

#include <algorithm>
#include <vector>

#include "record/image_codec.h"
#include "record/revision.h"

namespace fu {

RecordV13 DefaultCardRecord() {
  RecordV13 r;
  r.CardName = "Uninstalled Device";
  r.Manufacturer = "Falkmoore GmbH";
  r.Vendor = "Falkmoore GmbH";
  r.A_In = {64, 0, 0};
  r.A_Out = {64, 0, 0};
  r.D_In = {32, 0, 0};
  r.iCT = {16, 0, 0};
  r.CT = {16, 0, 0};
  return r;
}

bool RecordReader::ReadV12(CardSlot slot, std::array<std::uint8_t, kRecordV12Size>& bytes) {
  std::vector<HostWord> words(record_area::kReadLengthV12, 0);
  const bool whole = flash_.FlashRead(slot, record_area::kStart, words);
  std::transform(words.begin(), words.begin() + kRecordV12Size, bytes.begin(),
                 [](HostWord w) { return static_cast<std::uint8_t>(w & 0xFF); });
  return whole;
}

RecordV12 RecordReader::ReadImageV12(CardSlot slot) {
  std::array<std::uint8_t, kRecordV12Size> bytes;
  ReadV12(slot, bytes);
  return RecordV12(bytes);
}

std::optional<RecordV12> RecordReader::ReadWholeImageV12(CardSlot slot) {
  // Read twice: a card that answers wrong bytes must not have them converted.
  std::array<std::uint8_t, kRecordV12Size> bytes, again;
  if (!ReadV12(slot, bytes) || !ReadV12(slot, again) || again != bytes) {
    return std::nullopt;
  }
  return RecordV12(bytes);
}

RecordV13 RecordReader::ReadCardRecord(CardSlot slot) {
  std::vector<HostWord> words(record_area::kReadLengthV13, 0);
  if (!flash_.FlashRead(slot, record_area::kStart, words)) {
    return DefaultCardRecord();
  }
  return Decode(words);
}

RecordV13 RecordReader::ReadConfirmedRecord(CardSlot slot) {
  std::vector<HostWord> words(record_area::kReadLengthV13, 0);
  std::vector<HostWord> again(record_area::kReadLengthV13, 0);
  if (!flash_.FlashRead(slot, record_area::kStart, words) ||
      !flash_.FlashRead(slot, record_area::kStart, again) || again != words) {
    return DefaultCardRecord();
  }
  return Decode(words);
}

RecordV13 RecordReader::Decode(std::span<const HostWord> words) {
  ImageV13 image;
  WordsToImage(words.first<kImageV13Size>(), image);
  RecordV13 record;
  DecodeImage(image, record);
  if (record.SerialNumber.view().find(kForcedModelArticle) != std::string_view::npos) {
    record.CardName = kForcedModelName;
  }
  return record;
}

std::optional<std::string> RecordReader::ReadSerialNumber(CardSlot slot) {
  const auto image = ReadWholeImageV12(slot);
  if (image && RecognizeRevision(*image) == kRevision12) {
    return SerialNumberOf(*image, RecordV13{});
  }
  // A failed read gives the default record, which has no revision stamp.
  return SerialNumberOf(RecordV12{}, ReadCardRecord(slot));
}

std::optional<std::string> SerialNumberOf(const RecordV12& image, const RecordV13& record) {
  std::string serial;
  if (RecognizeRevision(image) == kRevision12) {
    serial = image.Get(v12::SerialNumber);
  } else if (RecognizeRevision(record) == kRevision13) {
    serial = record.SerialNumber.str();
  } else {
    return std::nullopt;
  }
  const bool plausible = std::none_of(serial.begin(), serial.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte == 0xFF || byte < 0x20;
  });
  return plausible ? std::optional(serial) : std::nullopt;
}

}  // namespace fu
