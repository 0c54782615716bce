#pragma once
// The revision-1.2 card record: 1736 bytes, stored in flash byte for byte. Numbers
// are 32-bit little-endian; a string[n] is a length byte followed by n character
// positions. Fields are reached through the descriptors in namespace v12, which
// hold the record's layout in one place.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace fu {

inline constexpr std::size_t kRecordV12Size = 1736;

struct V12Int {
  std::size_t offset;
};

struct V12String {
  std::size_t offset;
  std::size_t width;  // character positions after the length byte
};

namespace v12 {

// Version block k = 0, 1, 2.
constexpr V12Int VersionMajor(std::size_t k) {
  return {28 + 28 * k};
}
constexpr V12Int VersionMinor(std::size_t k) {
  return {32 + 28 * k};
}
constexpr V12String VersionRevision(std::size_t k) {
  return {36 + 28 * k, 10};
}
constexpr V12String VersionDate(std::size_t k) {
  return {47 + 28 * k, 8};
}

inline constexpr V12String ProcessorMaskSet{114, 12};
inline constexpr V12String ProcessorClock{127, 10};
inline constexpr V12String ProcessorDateCode{138, 8};
inline constexpr V12String FlashClock{260, 10};
inline constexpr V12Int FlashValue{272};
inline constexpr V12String FlashCode{276, 6};
inline constexpr V12String CardName{283, 30};
inline constexpr V12String Manufacturer{314, 60};
inline constexpr V12String Vendor{375, 60};
inline constexpr V12String ShortCode{436, 6};
inline constexpr V12String Customer{443, 60};
inline constexpr V12String Date{504, 10};

// An I/O group: count, bits and rate text (A_In also has its DiffCount text).
struct IoGroup {
  V12Int count;
  V12Int bits;
  V12String rate;
};
inline constexpr IoGroup A_In{{516}, {520}, {530, 10}};
inline constexpr V12String A_InDiffCount{524, 5};
inline constexpr IoGroup A_Out{{544}, {548}, {552, 10}};
inline constexpr IoGroup D_In{{564}, {568}, {572, 10}};
inline constexpr IoGroup D_Out{{584}, {588}, {592, 10}};
inline constexpr IoGroup iCT{{604}, {608}, {612, 10}};
inline constexpr IoGroup CT{{624}, {628}, {632, 10}};

inline constexpr std::size_t kOptionSlots = 10;
constexpr V12String SoftwareOptionName(std::size_t k) {
  return {643 + 51 * k, 50};
}
constexpr V12String HardwareOptionName(std::size_t k) {
  return {1153 + 51 * k, 50};
}
inline constexpr V12String ExtraText{1663, 50};
inline constexpr V12String SerialNumber{1714, 20};

}  // namespace v12

class RecordV12 {
 public:
  RecordV12() = default;  // zero-filled
  // The first 1736 bytes of a record area; fewer bytes leave the rest zero.
  explicit RecordV12(std::span<const std::uint8_t> bytes);

  std::int32_t Get(V12Int field) const;
  void Set(V12Int field, std::int32_t value);

  // The text: as many characters as the length byte says, at most the field width.
  std::string Get(V12String field) const;
  // Stores at most the field width characters and their count; the positions
  // after the text become 0.
  void Set(V12String field, std::string_view text);
  // Character position p (1-based) of a string field, read whatever its length.
  char At(V12String field, std::size_t p) const;
  void SetAt(V12String field, std::size_t p, char c);
  std::uint8_t Length(V12String field) const { return bytes_[field.offset]; }

  const std::array<std::uint8_t, kRecordV12Size>& Bytes() const { return bytes_; }
  std::array<std::uint8_t, kRecordV12Size>& Bytes() { return bytes_; }

 private:
  std::array<std::uint8_t, kRecordV12Size> bytes_{};
};

}  // namespace fu
