#include "support/sample_records.h"

#include "base/cp1252.h"

namespace fu::test {

RecordV12 SampleRecordV12() {
  RecordV12 r;
  const char* dates[] = {"12.03.98", "07.11.01", "24.12.02"};
  for (std::size_t k = 0; k < 3; ++k) {
    r.Set(v12::VersionMajor(k), k == 2 ? 1 : 2);
    r.Set(v12::VersionMinor(k), k == 2 ? 0 : 7);
    r.Set(v12::VersionRevision(k), k == 1 ? "1.2" : "b");
    r.Set(v12::VersionDate(k), dates[k]);
  }
  r.Set(v12::ProcessorMaskSet, "0K43G");
  r.Set(v12::ProcessorClock, "100 MHz");
  r.Set(v12::ProcessorDateCode, "0142");
  r.Set(v12::FlashClock, "70 ns");
  r.Set(v12::FlashValue, 0x0123);
  r.Set(v12::FlashCode, "d01000");
  r.Set(v12::CardName, "nimbaPCI/HS");
  r.Set(v12::Manufacturer, "Falkmoore GmbH");
  r.Set(v12::Vendor, "Falkmoore GmbH");
  r.Set(v12::ShortCode, "NHS");
  r.Set(v12::Customer, "Prüflabor Süd"_cp);
  r.Set(v12::Date, "05.03.2003");
  r.Set(v12::A_In.count, 16);
  r.Set(v12::A_In.bits, 16);
  r.Set(v12::A_InDiffCount, "8");
  r.Set(v12::A_In.rate, "500 kHz");
  r.Set(v12::A_Out.count, 4);
  r.Set(v12::A_Out.bits, 12);
  r.Set(v12::A_Out.rate, "100 KHZ");
  r.Set(v12::D_In.count, 24);
  r.Set(v12::D_In.bits, 24);
  r.Set(v12::D_In.rate, "10 MHZ");
  r.Set(v12::D_Out.count, 24);
  r.Set(v12::D_Out.bits, 24);
  r.Set(v12::D_Out.rate, "10 MHZ");
  r.Set(v12::iCT.count, 3);
  r.Set(v12::iCT.bits, 24);
  r.Set(v12::iCT.rate, "20 MHZ");
  r.Set(v12::CT.count, 3);
  r.Set(v12::CT.bits, 24);
  r.Set(v12::CT.rate, "20 MHZ");
  for (std::size_t k = 0; k < v12::kOptionSlots; ++k) {
    r.Set(v12::SoftwareOptionName(k), "Nicht installiert");
    r.Set(v12::HardwareOptionName(k), "Nicht installiert");
  }
  r.Set(v12::SoftwareOptionName(0), "Online FFT");
  r.Set(v12::SoftwareOptionName(1), "Airbag Pruefstand");
  r.Set(v12::HardwareOptionName(0), "Periodendauerzähler"_cp);
  r.Set(v12::HardwareOptionName(1), "D/A-Wandler");
  r.Set(v12::ExtraText, "Sonderabgleich 2003");
  r.Set(v12::SerialNumber, "NHS-0310-0042");
  return r;
}

RecordV13 SampleRecordV13() {
  RecordV13 r;
  const char* days[] = {"12", "07", "24"};
  const char* months[] = {"03", "11", "12"};
  const char* years[] = {"1998", "2001", "2002"};
  for (std::size_t k = 0; k < 3; ++k) {
    auto& v = r.Versions[k];
    v.Major = static_cast<std::uint16_t>(k == 2 ? 1 : 2);
    v.Minor = static_cast<std::uint16_t>(k == 2 ? 0 : 7);
    v.FormatMinor = 3;
    v.FormatMajor = 1;
    v.Day = days[k];
    v.Month = months[k];
    v.Year = years[k];
  }
  r.Processors[0] = {
      "0K43G", 100, "0142", 1, {0x10000, 0x800000, 0x2000, 0x86E000, 0xE000, 0x860000}};
  r.Processors[1] = {"", 0, "0142", 0, {}};
  r.FlashClockMHz = 70;
  r.FlashValue = 0x0123;
  r.FlashCode = 0xD01000;
  r.A_In = {16, 2, 500};
  r.A_Out = {4, 1, 100};
  r.D_In = {24, 1, 10};
  r.iCT = {3, 1, 20};
  r.CT = {3, 1, 20};
  r.PWM = {0, 1, 16};
  r.CardName = "RT/Count16";
  r.Manufacturer = "Falkmoore GmbH";
  r.Vendor = "Falkmoore GmbH";
  r.ExtraText = "Sonderabgleich 2003";
  r.SerialNumber = "RTC-0311-0007";
  r.Customer = "Prüflabor Süd"_cp;
  r.ShortCode = "RTC16";
  r.DateDay = "05";
  r.DateMonth = "03";
  r.DateYear = "2003";
  r.SoftwareOptions[0] = 0x09;  // Online-FFT, Online-Linearisierung
  r.HardwareOptions[0] = 0x11;  // Zählerupgrade, D/A-Wandler
  r.HardwareOptions[1] = 0x04;  // TTL Bitweise
  for (std::size_t i = 0; i < r.RawTable.size(); ++i) {
    r.RawTable[i] = static_cast<std::uint8_t>(i * 7);
  }
  for (std::size_t i = 0; i < 16; ++i) {
    r.ProcessorWords[i] = static_cast<std::int32_t>(0x940000 + i);
  }
  r.TableHead = 1025;
  for (std::size_t i = 0; i < kTableEntries; ++i) {
    r.Table[i] = static_cast<std::int32_t>((i * 8191) & 0x7FFFFF);
  }
  return r;
}

}  // namespace fu::test
