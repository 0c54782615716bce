#include "record/downgrade.h"

#include <cstdio>
#include <string>

#include "record/option_table.h"
#include "record/rate_text.h"

namespace fu {

namespace {

constexpr std::string_view kRevisionB = "b";
constexpr std::string_view kRevision12 = "1.2";
constexpr std::string_view kDateTemplate = "00.00.0000";
constexpr std::string_view kNotInstalled = "Nicht installiert";

std::string Decimal(long long value) {
  return std::to_string(value);
}

// The decimal number followed by a suffix such as " MHZ".
std::string DecimalWith(long long value, std::string_view suffix) {
  std::string text = Decimal(value);
  text += suffix;
  return text;
}

// Twelve bits for code 1, sixteen for code 2, twelve for anything else.
std::int32_t ResolutionBits(std::uint8_t code) {
  return code == 2 ? 16 : 12;
}

// Writes the characters of text at positions first, first+1, ... of a string
// field; positions the text does not reach keep what they held.
void PutAt(RecordV12& r, V12String field, std::size_t first, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    r.SetAt(field, first + i, text[i]);
  }
}

void SetLength(RecordV12& r, V12String field, std::uint8_t length) {
  r.Bytes()[field.offset] = length;
}

// Fills name slots in the order given, from counter on; entries past the tenth
// slot are dropped.
class OptionFiller {
 public:
  OptionFiller(RecordV12& target, V12String (*slot)(std::size_t), std::size_t counter)
      : target_(target), slot_(slot), counter_(counter) {}

  void Add(std::string_view name) {
    if (counter_ < v12::kOptionSlots) {
      target_.Set(slot_(counter_), name);
    }
    ++counter_;
  }

  void Fill(const OptionBits& bits, std::span<const int> order, std::span<const OptionRow> rows,
            std::uint8_t pwm_count) {
    for (const int bit : order) {
      if (!OptionSet(bits, bit)) {
        continue;
      }
      for (const auto& row : rows) {
        if (row.bit != bit) {
          continue;
        }
        if (row.writesPwmCount) {
          Add(DecimalWith(pwm_count, kPwmChannelSuffix));
        }
        for (const auto name : row.written) {
          if (!name.empty()) {
            Add(name);
          }
        }
      }
    }
  }

 private:
  RecordV12& target_;
  V12String (*slot_)(std::size_t);
  std::size_t counter_;
};

}  // namespace

bool DowngradeRecord(RecordV13 source, RecordV12& target) {
  for (std::size_t k = 0; k < 3; ++k) {
    const auto& v = source.Versions[k];
    const auto date = v12::VersionDate(k);
    SetLength(target, date, 8);
    PutAt(target, date, 1, v.Day.view().substr(0, 2));
    target.SetAt(date, 3, '.');
    PutAt(target, date, 4, v.Month.view().substr(0, 2));
    target.SetAt(date, 6, '.');
    PutAt(target, date, 7, v.Year.view().substr(std::min<std::size_t>(2, v.Year.size()), 2));
    target.Set(v12::VersionMajor(k), k == 2 ? 1 : v.Major);
    target.Set(v12::VersionMinor(k), k == 2 ? 0 : v.Minor);
    target.Set(v12::VersionRevision(k), k == 1 ? kRevision12 : kRevisionB);
  }

  const auto& processor = source.Processors[0];
  target.Set(v12::ProcessorMaskSet, processor.MaskSet);
  target.Set(v12::ProcessorClock, DecimalWith(processor.ClockMHz, kUnitMhz));
  target.Set(v12::ProcessorDateCode, processor.DateCode);

  target.Set(v12::FlashClock, DecimalWith(source.FlashClockMHz, kUnitMhz));
  target.Set(v12::FlashValue, source.FlashValue);
  char code[8];
  std::snprintf(code, sizeof code, "%06X", static_cast<unsigned>(source.FlashCode) & 0xFFFFFFu);
  target.Set(v12::FlashCode, code);

  const auto group = [&target](const v12::IoGroup& g, std::int32_t count, std::int32_t bits,
                               std::uint16_t rate, std::string_view unit) {
    target.Set(g.count, count);
    target.Set(g.bits, bits);
    target.Set(g.rate, DecimalWith(rate, unit));
  };
  group(v12::A_In, source.A_In.Count, ResolutionBits(source.A_In.Resolution), source.A_In.Rate,
        kUnitKhz);
  target.Set(v12::A_InDiffCount, Decimal(source.A_In.Count / 2));
  group(v12::A_Out, source.A_Out.Count, ResolutionBits(source.A_Out.Resolution), source.A_Out.Rate,
        kUnitKhz);
  group(v12::D_In, source.D_In.Count, 24, source.D_In.Rate, kUnitMhz);
  group(v12::D_Out, source.D_In.Count, 24, source.D_In.Rate, kUnitMhz);
  group(v12::iCT, source.iCT.Count, 24, source.iCT.Rate, kUnitKhz);
  group(v12::CT, source.CT.Count, 24, source.CT.Rate, kUnitKhz);

  target.Set(v12::CardName, source.CardName);
  target.Set(v12::Manufacturer, source.Manufacturer);
  target.Set(v12::Vendor, source.Vendor);
  target.Set(v12::Customer, source.Customer);
  target.Set(v12::ShortCode, source.ShortCode);

  target.Set(v12::Date, kDateTemplate);
  PutAt(target, v12::Date, 1, source.DateDay.view().substr(0, 2));
  PutAt(target, v12::Date, 4, source.DateMonth.view().substr(0, 2));
  PutAt(target, v12::Date, 7, source.DateYear.view().substr(0, 4));

  for (std::size_t k = 0; k < v12::kOptionSlots; ++k) {
    target.Set(v12::SoftwareOptionName(k), kNotInstalled);
    target.Set(v12::HardwareOptionName(k), kNotInstalled);
  }
  OptionFiller(target, v12::SoftwareOptionName, 0)
      .Fill(source.SoftwareOptions, SoftwareDowngradeOrder(), SoftwareOptionRows(), 0);
  OptionFiller(target, v12::HardwareOptionName, source.PWM.Count != 0 ? 1 : 0)
      .Fill(source.HardwareOptions, HardwareDowngradeOrder(), HardwareOptionRows(),
            source.PWM.Count);

  target.Set(v12::ExtraText, source.ExtraText);
  target.Set(v12::SerialNumber, source.SerialNumber);
  return true;
}

}  // namespace fu
