#pragma once
// Reading a card's record area in both forms, for the revision test to decide.

#include <optional>
#include <string>

#include "flash/flash_commands.h"
#include "record/record_v12.h"
#include "record/record_v13.h"

namespace fu {

namespace record_area {
inline constexpr FlashAddress kStart = 0xD01000;
inline constexpr std::size_t kReadLengthV12 = 6945;  // words read; 1736 kept
inline constexpr std::size_t kReadLengthV13 = 7174;  // the whole image
}  // namespace record_area

// A card whose serial number holds this article number is shown as the forced
// model, whatever its record says.
inline constexpr std::string_view kForcedModelArticle = "2001-R48-7731-1-02";
inline constexpr std::string_view kForcedModelName = "nimbaPCI/16/20/B";

// The serial number of a record that reads as revision 1.2 (image) or 1.3
// (record); nothing when it reads as neither, or when the serial number holds
// erased flash (0xFF) or control characters, as a record written only in part
// does: such a card is known by its slot, not by a serial number it never had.
std::optional<std::string> SerialNumberOf(const RecordV12& image, const RecordV13& record);

class RecordReader {
 public:
  explicit RecordReader(FlashCommands& flash) : flash_(flash) {}

  // The first 1736 bytes of the record area, uninterpreted, for display. A failed
  // read is not looked at: bytes that did not arrive are 0.
  RecordV12 ReadImageV12(CardSlot slot);
  // The same bytes, only when they arrived whole and equal in two reads: what a
  // conversion may use.
  std::optional<RecordV12> ReadWholeImageV12(CardSlot slot);
  // The record area decoded; the default record ("Uninstalled Device") when the
  // read failed anywhere.
  RecordV13 ReadCardRecord(CardSlot slot);
  // The same, only when two reads arrived whole and equal: what a conversion may
  // use. The default record otherwise.
  RecordV13 ReadConfirmedRecord(CardSlot slot);
  // The serial number of a record that reads whole as revision 1.2 or 1.3;
  // nothing when the card's record cannot be read (see SerialNumberOf).
  std::optional<std::string> ReadSerialNumber(CardSlot slot);

 private:
  // Reads the revision-1.2 length into bytes; false when a word did not arrive.
  bool ReadV12(CardSlot slot, std::array<std::uint8_t, kRecordV12Size>& bytes);
  // The words of a whole revision-1.3 read decoded.
  static RecordV13 Decode(std::span<const HostWord> words);

  FlashCommands& flash_;
};

// The record of a card whose flash cannot be read.
RecordV13 DefaultCardRecord();

}  // namespace fu
