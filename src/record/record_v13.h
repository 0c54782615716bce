#pragma once
// The revision-1.3 card record, decoded from its 7174-byte flash image into
// natural types: u8 for byte fields, u16 for 16-bit fields, int32 for 24-bit
// fields (0 to 16,777,215 after decoding), short texts and byte arrays.

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/short_text.h"

namespace fu {

inline constexpr std::size_t kImageV13Size = 7174;

// The flash image of a revision-1.3 record, one byte per flash word.
struct ImageV13 {
  std::array<std::uint8_t, kImageV13Size> bytes{};
  friend bool operator==(const ImageV13&, const ImageV13&) = default;
};

struct VersionBlock {
  std::uint16_t Major = 0;
  std::uint16_t Minor = 0;
  std::uint8_t FormatMinor = 0;
  std::uint8_t FormatMajor = 0;
  ShortText<2> Day;
  ShortText<2> Month;
  ShortText<4> Year;
  friend bool operator==(const VersionBlock&, const VersionBlock&) = default;
};

struct ProcessorInfo {
  ShortText<6> MaskSet;
  std::uint8_t ClockMHz = 0;
  ShortText<4> DateCode;
  std::uint8_t Kind = 0;  // 0: no processor
  std::array<std::int32_t, 6> Params{};
  friend bool operator==(const ProcessorInfo&, const ProcessorInfo&) = default;
};

// Resolution codes: 1 = 12 bits, 2 = 16 bits.
struct IoGroupV13 {
  std::uint8_t Count = 0;
  std::uint8_t Resolution = 0;
  std::uint16_t Rate = 0;
  friend bool operator==(const IoGroupV13&, const IoGroupV13&) = default;
};

inline constexpr std::size_t kOptionBytes = 10;  // 80 option bits
using OptionBits = std::array<std::uint8_t, kOptionBytes>;

inline constexpr std::size_t kRawTableEntries = 1024;
inline constexpr std::size_t kTableEntries = 1025;

struct RecordV13 {
  std::array<VersionBlock, 3> Versions;
  std::array<ProcessorInfo, 2> Processors;  // [0] signal processor, [1] coprocessor
  std::uint8_t FlashClockMHz = 0;
  std::uint16_t FlashValue = 0;
  std::int32_t FlashCode = 0;
  IoGroupV13 A_In, A_Out, D_In, iCT, CT, PWM;
  ShortText<32> CardName;
  ShortText<32> Manufacturer;
  ShortText<32> Vendor;
  ShortText<32> ExtraText;
  ShortText<20> SerialNumber;
  ShortText<32> Customer;
  ShortText<10> ShortCode;
  ShortText<2> DateDay;
  ShortText<2> DateMonth;
  ShortText<4> DateYear;
  OptionBits SoftwareOptions{};
  OptionBits HardwareOptions{};
  std::array<std::uint8_t, 34> Reserved34{};
  std::array<std::uint8_t, 128> Reserved128{};
  std::array<std::uint8_t, 3 * kRawTableEntries> RawTable{};  // image byte order
  std::array<std::array<std::int32_t, 3>, 32> Triples{};
  std::array<std::int32_t, 16> ProcessorWords{};  // 0-7 processor 0, 8-15 processor 1
  std::array<std::uint8_t, 176> Reserved176{};
  std::int32_t TableHead = 0;
  std::array<std::int32_t, kTableEntries> Table{};

  friend bool operator==(const RecordV13&, const RecordV13&) = default;
};

// Option bit n of a set: bit n mod 8 of byte n div 8.
constexpr bool OptionSet(const OptionBits& bits, int n) {
  return n >= 0 && n < 80 && (bits[static_cast<std::size_t>(n / 8)] >> (n % 8)) & 1;
}
constexpr void SetOption(OptionBits& bits, int n) {
  if (n >= 0 && n < 80) {
    bits[static_cast<std::size_t>(n / 8)] |= static_cast<std::uint8_t>(1u << (n % 8));
  }
}

}  // namespace fu
