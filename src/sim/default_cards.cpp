#include "sim/default_cards.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "base/cp1252.h"
#include "record/data_tables.h"
#include "record/image_codec.h"
#include "record/upgrade.h"

namespace fu::sim {

namespace {

constexpr std::uint32_t kBootDataEnd = kFlashStart + 0x0A40;
constexpr std::uint32_t kResidentProgramEnd = kRecordAreaEnd + 0x3E00;
constexpr std::uint32_t kCalibrationTable = 0xD02E00;
constexpr std::size_t kFactorySerialBytes = kFactoryDataSize - 4;

// Bytes that look like code: a fixed pseudo-random run, the same on every PC.
void FillCodeLike(SimFlash::Bytes& flash, std::uint32_t from, std::uint32_t to,
                  std::uint32_t seed) {
  std::uint32_t state = seed;
  for (std::uint32_t a = from; a < to; ++a) {
    state = state * 1664525u + 1013904223u;
    flash[a - kFlashStart] = static_cast<std::uint8_t>(state >> 24);
  }
}

// The maker's data of this one card, in the first sector that no record write
// erases: "WERK", then the serial number, zero-filled to 32 bytes. Two cards of
// the same kind differ there, whatever their records say.
void PutFactoryData(SimFlash::Bytes& flash, std::string_view serial) {
  auto at = flash.begin() + (kFactoryDataStart - kFlashStart);
  at = std::ranges::copy(std::string_view("WERK"), at).out;
  const std::string_view kept = serial.substr(0, kFactorySerialBytes);
  std::fill(std::ranges::copy(kept, at).out, at + kFactorySerialBytes, std::uint8_t{0});
}

SimFlash::Bytes FlashAround(std::span<const std::uint8_t> record, std::string_view serial,
                            std::uint32_t seed) {
  SimFlash::Bytes flash;
  flash.fill(0xFF);
  FillCodeLike(flash, kFlashStart, kBootDataEnd, seed);
  PutFactoryData(flash, serial);
  FillCodeLike(flash, kRecordAreaEnd, kResidentProgramEnd, seed + 1);
  std::ranges::copy(record, flash.begin() + (kRecordAreaStart - kFlashStart));
  return flash;
}

// "KAL1", then gain and offset of each of 16 analogue inputs, 16 bits each,
// low byte first.
void PutCalibrationTable(SimFlash::Bytes& flash) {
  auto at = flash.begin() + (kCalibrationTable - kFlashStart);
  at = std::ranges::copy(std::string_view("KAL1"), at).out;
  for (std::uint32_t input = 0; input < 16; ++input) {
    const std::uint32_t gain = 0x7F00 + input * 0x13;
    const std::uint32_t offset = 0x0040 + input * 7;
    for (const std::uint32_t value : {gain, offset}) {
      *at++ = static_cast<std::uint8_t>(value);
      *at++ = static_cast<std::uint8_t>(value >> 8);
    }
  }
}

}  // namespace

void RemoveFactoryData(SimFlash::Bytes& flash) {
  std::fill_n(flash.begin() + (kFactoryDataStart - kFlashStart), kFactoryDataSize,
              std::uint8_t{0xFF});
}

RecordV12 DefaultRecordV12() {
  RecordV12 r;
  const char* dates[] = {"14.05.99", "03.09.01", "18.02.02"};
  for (std::size_t k = 0; k < 3; ++k) {
    r.Set(v12::VersionMajor(k), k == 2 ? 1 : 3);
    r.Set(v12::VersionMinor(k), k == 2 ? 0 : 1);
    r.Set(v12::VersionRevision(k), k == 1 ? "1.2" : "b");
    r.Set(v12::VersionDate(k), dates[k]);
  }
  r.Set(v12::ProcessorMaskSet, "0K43G");
  r.Set(v12::ProcessorClock, "80 MHz");
  r.Set(v12::ProcessorDateCode, "0127");
  r.Set(v12::FlashClock, "90 ns");
  r.Set(v12::FlashValue, 0x0123);
  r.Set(v12::FlashCode, "d01000");
  r.Set(v12::CardName, "nimbaPCI/HS");
  r.Set(v12::Manufacturer, "Falkmoore GmbH");
  r.Set(v12::Vendor, "Falkmoore GmbH");
  r.Set(v12::ShortCode, "NHS");
  r.Set(v12::Customer, "Motorenprüfstand Halle 3"_cp);
  r.Set(v12::Date, "18.02.2002");
  r.Set(v12::A_In.count, 16);
  r.Set(v12::A_In.bits, 16);
  r.Set(v12::A_InDiffCount, "8");
  r.Set(v12::A_In.rate, "250 kHz");
  r.Set(v12::A_Out.count, 2);
  r.Set(v12::A_Out.bits, 12);
  r.Set(v12::A_Out.rate, "100 KHZ");
  r.Set(v12::D_In.count, 16);
  r.Set(v12::D_In.bits, 16);
  r.Set(v12::D_In.rate, "10 MHZ");
  r.Set(v12::D_Out.count, 16);
  r.Set(v12::D_Out.bits, 16);
  r.Set(v12::D_Out.rate, "10 MHZ");
  r.Set(v12::iCT.count, 2);
  r.Set(v12::iCT.bits, 24);
  r.Set(v12::iCT.rate, "20 MHZ");
  r.Set(v12::CT.count, 2);
  r.Set(v12::CT.bits, 24);
  r.Set(v12::CT.rate, "20 MHZ");
  for (std::size_t k = 0; k < v12::kOptionSlots; ++k) {
    r.Set(v12::SoftwareOptionName(k), "Nicht installiert");
    r.Set(v12::HardwareOptionName(k), "Nicht installiert");
  }
  r.Set(v12::SoftwareOptionName(0), "Online FFT");
  r.Set(v12::SoftwareOptionName(1), "Online PID Regler");
  r.Set(v12::HardwareOptionName(0), "D/A-Wandler");
  r.Set(v12::ExtraText, "");
  r.Set(v12::SerialNumber, "NHS-0202-0117");
  return r;
}

RecordV13 DefaultRecordV13() {
  RecordV13 r;
  const char* days[] = {"21", "03", "11"};
  const char* months[] = {"06", "09", "02"};
  const char* years[] = {"2000", "2001", "2003"};
  for (std::size_t k = 0; k < 3; ++k) {
    auto& v = r.Versions[k];
    v.Major = static_cast<std::uint16_t>(k == 2 ? 1 : 3);
    v.Minor = static_cast<std::uint16_t>(k == 2 ? 3 : 1);
    v.FormatMinor = 3;
    v.FormatMajor = 1;
    v.Day = days[k];
    v.Month = months[k];
    v.Year = years[k];
  }
  // Processor 0 with the words and parameters of its model's block.
  const ProcessorBlockWords& block = ProcessorBlock(BlockLabel::B1);
  r.Processors[0] = {"0K43G", 80, "0127", 1, {}};
  for (std::size_t i = 0; i < 6; ++i) {
    r.Processors[0].Params[i] = static_cast<std::int32_t>(block[8 + i]);
  }
  for (std::size_t i = 0; i < 8; ++i) {
    r.ProcessorWords[i] = static_cast<std::int32_t>(block[i]);
  }
  r.Processors[1] = {"", 0, "", 0, {}};
  r.FlashClockMHz = 90;
  r.FlashValue = 0x0123;
  r.FlashCode = 0xD01000;
  r.A_In = {8, 2, 200};
  r.A_Out = {0, 1, 0};
  r.D_In = {16, 1, 10};
  r.iCT = {16, 1, 20};
  r.CT = {16, 1, 20};
  r.PWM = {0, 1, 0};
  r.CardName = "RT/Count16";
  r.Manufacturer = "Falkmoore GmbH";
  r.Vendor = "Falkmoore GmbH";
  r.ExtraText = "";
  r.SerialNumber = "RTC-0302-0031";
  r.Customer = "Getriebeprüfstand Nord"_cp;
  r.ShortCode = "RTC16";
  r.DateDay = "11";
  r.DateMonth = "02";
  r.DateYear = "2003";
  SetOption(r.SoftwareOptions, 0);  // Online-FFT
  SetOption(r.HardwareOptions, 1);  // Up/Down-Counter
  const ModelTableWords& table = ModelTable(TableLabel::T15);
  for (std::size_t i = 0; i < kRawTableEntries; ++i) {
    r.RawTable[3 * i] = static_cast<std::uint8_t>(table[i] >> 16);
    r.RawTable[3 * i + 1] = static_cast<std::uint8_t>(table[i] >> 8);
    r.RawTable[3 * i + 2] = static_cast<std::uint8_t>(table[i]);
  }
  r.TableHead = static_cast<std::int32_t>(kTableEntries);
  r.Table = SineTable();
  return r;
}

SimFlash::Bytes FlashWithRecord(const RecordV12& record) {
  SimFlash::Bytes flash = FlashAround(record.Bytes(), record.Get(v12::SerialNumber), 0x12);
  PutCalibrationTable(flash);
  return flash;
}

SimFlash::Bytes FlashWithRecord(const RecordV13& record) {
  ImageV13 image;
  EncodeImage(record, image);
  return FlashAround(image.bytes, record.SerialNumber.view(), 0x13);
}

}  // namespace fu::sim
