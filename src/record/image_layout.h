#pragma once
// The field table of the revision-1.3 flash image. VisitImageFields walks every
// field of a RecordV13 in ascending image offset and hands it to an Io with the
// field's offset and encoding; the decoder, the encoder and the layout tests are
// all such Ios, so the layout is written down once.
//
// An Io provides:
//   Byte(offset, std::uint8_t&)        1 byte, copied
//   Le16(offset, std::uint16_t&)       2 bytes, least significant first
//   U16be(offset, std::uint16_t&)      2 bytes, most significant first
//   U24be(offset, std::int32_t&)       3 bytes, most significant first
//   Text(offset, ShortText<N>&)        N bytes, NUL-terminated unless full
//   Raw(offset, std::array<uint8_t,N>&) N bytes, copied

#include <cstddef>

#include "record/record_v13.h"

namespace fu {

inline constexpr std::size_t kImageDateYearOffset = 326;

template <typename Io, typename Record>
void VisitImageFields(Io& io, Record& r) {
  for (std::size_t k = 0; k < 3; ++k) {
    auto& v = r.Versions[k];
    const std::size_t base = 14 * k;
    io.Le16(base + 0, v.Major);
    io.Le16(base + 2, v.Minor);
    io.Byte(base + 4, v.FormatMinor);
    io.Byte(base + 5, v.FormatMajor);
    io.Text(base + 6, v.Day);
    io.Text(base + 8, v.Month);
    io.Text(base + 10, v.Year);
  }
  for (std::size_t p = 0; p < 2; ++p) {
    auto& proc = r.Processors[p];
    const std::size_t base = 42 + 30 * p;
    io.Text(base + 0, proc.MaskSet);
    io.Byte(base + 6, proc.ClockMHz);
    io.Text(base + 7, proc.DateCode);
    io.Byte(base + 11, proc.Kind);
    for (std::size_t i = 0; i < 6; ++i) {
      io.U24be(base + 12 + 3 * i, proc.Params[i]);
    }
  }
  io.Byte(102, r.FlashClockMHz);
  io.U16be(103, r.FlashValue);
  io.U24be(105, r.FlashCode);
  std::size_t g = 0;
  for (auto* group : {&r.A_In, &r.A_Out, &r.D_In, &r.iCT, &r.CT, &r.PWM}) {
    io.Byte(108 + 4 * g, group->Count);
    io.Byte(109 + 4 * g, group->Resolution);
    io.U16be(110 + 4 * g, group->Rate);
    ++g;
  }
  io.Text(132, r.CardName);
  io.Text(164, r.Manufacturer);
  io.Text(196, r.Vendor);
  io.Text(228, r.ExtraText);
  io.Text(260, r.SerialNumber);
  io.Text(280, r.Customer);
  io.Text(312, r.ShortCode);
  io.Text(322, r.DateDay);
  io.Text(324, r.DateMonth);
  io.Text(kImageDateYearOffset, r.DateYear);
  io.Raw(330, r.SoftwareOptions);
  io.Raw(340, r.HardwareOptions);
  io.Raw(350, r.Reserved34);
  io.Raw(384, r.Reserved128);
  io.Raw(512, r.RawTable);
  for (std::size_t i = 0; i < 32; ++i) {
    for (std::size_t j = 0; j < 3; ++j) {
      io.U24be(3584 + 9 * i + 3 * j, r.Triples[i][j]);
    }
  }
  for (std::size_t i = 0; i < 16; ++i) {
    io.U24be(3872 + 3 * i, r.ProcessorWords[i]);
  }
  io.Raw(3920, r.Reserved176);
  io.U24be(4096, r.TableHead);
  for (std::size_t i = 0; i < kTableEntries; ++i) {
    io.U24be(4099 + 3 * i, r.Table[i]);
  }
}

}  // namespace fu
