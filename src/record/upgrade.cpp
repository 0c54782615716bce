#include "record/upgrade.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "base/cp1252.h"
#include "base/errors.h"
#include "record/model_table.h"
#include "record/option_table.h"
#include "record/rate_text.h"

namespace fu {

namespace {

using namespace option_names;

constexpr std::string_view kZembralPci = "ZEMBRAL/PCI";
constexpr std::string_view kZembralUsb = "ZEMBRAL/USB";
constexpr std::string_view kNimbaHs = "nimbaPCI/HS";
constexpr std::string_view kNimbaHs1 = "nimbaPCI/HS_1";
constexpr std::string_view kDefaultVersionDate = "01.07.76";
constexpr std::string_view kDefaultRecordDate = "01.07.1976";
constexpr std::string_view kZembralClock = "80";
constexpr std::uint8_t kFormatMinor = 3;
constexpr std::uint8_t kFormatMajor = 1;
constexpr std::int32_t kTableHead = 1025;

constexpr std::string_view kProcessorClockError =
    "Fehler beim Konvertieren der Prozessorgeschwindigkeit: ";
constexpr std::string_view kFlashClockError =
    "Fehler beim Konvertieren der Flash-Geschwindigkeit: ";
constexpr std::string_view kA_InRateError = "Fehler beim Konvertieren der A_In-Geschwindigkeit: ";
constexpr std::string_view kA_OutRateError = "Fehler beim Konvertieren der A_Out-Geschwindigkeit: ";
constexpr std::string_view kD_InRateError = "Fehler beim Konvertieren der D_In-Geschwindigkeit: ";
constexpr std::string_view kiCTRateError = "Fehler beim Konvertieren der iCT-Geschwindigkeit: ";
constexpr std::string_view kCTRateError = "Fehler beim Konvertieren der CT-Geschwindigkeit: ";

const std::string& UnknownModelQuestion() {
  static const std::string text =
      std::string("ACHTUNG: Der Kartenname konnte keiner Karte zugeordnet werden!\r\n") +
      "Nach dem Flashen der Karten kann diese eventuell nicht mehr richtig erkannt werden!\r\n" +
      std::string("Möchten Sie fortfahren?"_cp);
  return text;
}

// The steps of one conversion, over a working copy of the old record.
class Upgrade {
 public:
  Upgrade(const RecordV12& old_record, RecordV13& out, MessageService& messages)
      : old_(old_record), new_(out), messages_(messages) {}

  bool Run();

 private:
  bool IsZembral() const {
    const auto name = old_.Get(v12::CardName);
    return name == kZembralPci || name == kZembralUsb;
  }
  bool HasOption(std::string_view text, V12String (*slot)(std::size_t)) const {
    for (std::size_t k = 0; k < v12::kOptionSlots; ++k) {
      if (old_.Get(slot(k)) == text) {
        return true;
      }
    }
    return false;
  }
  bool HasSoftwareOption(std::string_view text) const {
    return HasOption(text, v12::SoftwareOptionName);
  }
  bool HasHardwareOption(std::string_view text) const {
    return HasOption(text, v12::HardwareOptionName);
  }
  void Notice(std::string_view prefix, const std::string& text) {
    messages_.Show(std::string(prefix) + text, MessageKind::Error, Buttons::Cancel);
  }

  void ConvertVersions();
  bool ConvertProcessor();
  void ConvertFlash();
  void ConvertIoGroups();
  std::uint16_t Rate(const v12::IoGroup& group, std::span<const std::string_view> units,
                     std::string_view error_prefix);
  void ConvertTexts();
  void ConvertOptions();
  bool CopyModelDataSet();
  void CopyBlock(BlockLabel label, std::size_t processor);
  void CopyTable(TableLabel label);

  RecordV12 old_;
  RecordV13& new_;
  MessageService& messages_;
};

std::uint8_t Resolution(std::int32_t bits) {
  switch (bits) {
    case 12:
      return 1;
    case 16:
      return 2;
    case 0:
      return 3;
    default:
      return 0;
  }
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Characters first..last (1-based positions) of a string field, whatever its length.
std::string Positions(const RecordV12& r, V12String field, std::size_t first, std::size_t last) {
  std::string text;
  for (std::size_t p = first; p <= last; ++p) {
    text += r.At(field, p);
  }
  return text;
}

void Upgrade::ConvertVersions() {
  for (std::size_t i = 0; i < 3; ++i) {
    auto& v = new_.Versions[i];
    v.Major = static_cast<std::uint16_t>(old_.Get(v12::VersionMajor(i)));
    v.Minor = static_cast<std::uint16_t>(old_.Get(v12::VersionMinor(i)));
    v.FormatMinor = kFormatMinor;
    v.FormatMajor = kFormatMajor;
    const auto date = v12::VersionDate(i);
    if (old_.Length(date) == 0) {
      old_.Set(date, kDefaultVersionDate);
    }
    v.Day = Positions(old_, date, 1, 2);
    v.Month = Positions(old_, date, 4, 5);
    const char decade = old_.At(date, 7);
    if (!IsDigit(decade)) {
      throw IntegerConversionError(std::string(1, decade));
    }
    std::string year = decade < '2' ? "20" : "19";
    year += Positions(old_, date, 7, 8);
    v.Year = year;
  }
}

bool Upgrade::ConvertProcessor() {
  new_.Processors[0].MaskSet = old_.Get(v12::ProcessorMaskSet);
  const std::string clock =
      IsZembral() ? std::string(kZembralClock) : old_.Get(v12::ProcessorClock);
  const auto mhz = ParseRateText(clock, kClockUnits);
  if (!mhz) {
    Notice(kProcessorClockError, old_.Get(v12::ProcessorClock));
    return false;
  }
  new_.Processors[0].ClockMHz = static_cast<std::uint8_t>(*mhz);
  const std::string date_code = old_.Get(v12::ProcessorDateCode);
  new_.Processors[0].DateCode = date_code;
  new_.Processors[0].Kind = 1;
  new_.Processors[1].MaskSet = "";
  new_.Processors[1].ClockMHz = 0;
  new_.Processors[1].DateCode = date_code;
  new_.Processors[1].Kind = 0;
  return true;
}

void Upgrade::ConvertFlash() {
  const auto clock = old_.Get(v12::FlashClock);
  const auto mhz = ParseRateText(clock, kClockUnits);
  if (!mhz) {
    Notice(kFlashClockError, clock);
  }
  new_.FlashClockMHz = static_cast<std::uint8_t>(mhz.value_or(0));
  new_.FlashValue = static_cast<std::uint16_t>(old_.Get(v12::FlashValue));
  std::string code = "$";
  code += old_.Get(v12::FlashCode);
  const auto value = ReadInteger(code);
  if (!value) {
    throw IntegerConversionError(code);
  }
  new_.FlashCode = *value;
}

std::uint16_t Upgrade::Rate(const v12::IoGroup& group, std::span<const std::string_view> units,
                            std::string_view error_prefix) {
  const auto text = old_.Get(group.rate);
  const auto rate = ParseRateText(text, units);
  if (!rate) {
    Notice(error_prefix, text);
  }
  return static_cast<std::uint16_t>(rate.value_or(0));
}

void Upgrade::ConvertIoGroups() {
  const auto count = [this](const v12::IoGroup& g) {
    return static_cast<std::uint8_t>(old_.Get(g.count));
  };
  new_.A_In.Count = count(v12::A_In);
  new_.A_In.Resolution = Resolution(old_.Get(v12::A_In.bits));
  new_.A_In.Rate = Rate(v12::A_In, kAnalogRateUnits, kA_InRateError);

  new_.A_Out.Count = count(v12::A_Out);
  new_.A_Out.Resolution = Resolution(old_.Get(v12::A_Out.bits));
  new_.A_Out.Rate = Rate(v12::A_Out, kAnalogRateUnits, kA_OutRateError);

  new_.D_In.Count = count(v12::D_In);
  new_.D_In.Resolution = 1;
  new_.D_In.Rate = Rate(v12::D_In, kAnalogRateUnits, kD_InRateError);

  const bool one_channel = HasHardwareOption(kOneChannelIncremental);
  new_.iCT.Count = count(v12::iCT);
  if (one_channel) {
    new_.iCT.Count = static_cast<std::uint8_t>(new_.iCT.Count + 2);
  }
  if (HasHardwareOption(kMhCounterExtension)) {
    new_.iCT.Count = 5;
  }
  new_.iCT.Resolution = 1;
  new_.iCT.Rate = Rate(v12::iCT, kCounterRateUnits, kiCTRateError);

  new_.CT.Count = count(v12::CT);
  if (one_channel) {
    new_.CT.Count = static_cast<std::uint8_t>(new_.CT.Count + 2);
  }
  new_.CT.Resolution = 1;
  new_.CT.Rate = Rate(v12::CT, kCounterRateUnits, kCTRateError);

  std::uint8_t pwm = 0;
  if (HasHardwareOption(kPwmOutput)) {
    pwm = 1;
  } else if (HasHardwareOption(kPwm4)) {
    pwm = 4;
  } else if (HasHardwareOption(kPwm8)) {
    pwm = 8;
  } else if (HasHardwareOption(kPwm16)) {
    pwm = 16;
  }
  if (IsZembral()) {
    pwm = 2;
  }
  new_.PWM = {pwm, 1, 16};
}

void Upgrade::ConvertTexts() {
  new_.CardName = old_.Get(v12::CardName);
  if (new_.CardName == kNimbaHs) {
    new_.CardName = kNimbaHs1;
    old_.Set(v12::CardName, kNimbaHs1);
  }
  new_.Manufacturer = old_.Get(v12::Manufacturer);
  new_.Vendor = old_.Get(v12::Vendor);
  new_.Customer = old_.Get(v12::Customer);
  new_.ShortCode = old_.Get(v12::ShortCode);
  if (old_.Length(v12::Date) == 0) {
    old_.Set(v12::Date, kDefaultRecordDate);
  }
  new_.DateDay = Positions(old_, v12::Date, 1, 2);
  new_.DateMonth = Positions(old_, v12::Date, 4, 5);
  new_.DateYear = Positions(old_, v12::Date, 7, 10);
}

void Upgrade::ConvertOptions() {
  new_.SoftwareOptions = {};
  new_.HardwareOptions = {};
  const auto take = [](std::span<const OptionRow> rows, auto has, OptionBits& bits) {
    for (const auto& row : rows) {
      if (std::any_of(row.accepted.begin(), row.accepted.end(),
                      [&](std::string_view t) { return !t.empty() && has(t); })) {
        SetOption(bits, row.bit);
      }
    }
  };
  take(
      SoftwareOptionRows(), [this](std::string_view t) { return HasSoftwareOption(t); },
      new_.SoftwareOptions);
  take(
      HardwareOptionRows(), [this](std::string_view t) { return HasHardwareOption(t); },
      new_.HardwareOptions);
  if (IsZembral() &&
      (old_.Get(v12::A_In.bits) == 16 || new_.A_In.Rate == 1000 || new_.A_In.Rate == 800)) {
    SetOption(new_.HardwareOptions, kDualConverterBit);
  }
}

void Upgrade::CopyTable(TableLabel label) {
  const auto& words = ModelTable(label);
  for (std::size_t i = 0; i < kRawTableEntries; ++i) {
    new_.RawTable[3 * i] = static_cast<std::uint8_t>(words[i] >> 16);
    new_.RawTable[3 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
    new_.RawTable[3 * i + 2] = static_cast<std::uint8_t>(words[i]);
  }
}

void Upgrade::CopyBlock(BlockLabel label, std::size_t processor) {
  const auto& block = ProcessorBlock(label);
  for (std::size_t i = 0; i < 8; ++i) {
    new_.ProcessorWords[8 * processor + i] = static_cast<std::int32_t>(block[i]);
  }
  for (std::size_t i = 0; i < 6; ++i) {
    new_.Processors[processor].Params[i] = static_cast<std::int32_t>(block[8 + i]);
  }
}

void ApplyPreset(ProcessorInfo& processor, const ProcessorPreset& preset) {
  processor.MaskSet = preset.maskSet;
  processor.ClockMHz = preset.clockMHz;
  processor.DateCode = preset.dateCode;
  processor.Kind = preset.kind;
}

// Returns false when the user declines to go on with a card name of no model.
bool Upgrade::CopyModelDataSet() {
  const std::string untrimmed = old_.Get(v12::CardName);
  const ModelRow* row = FindModel(TrimTrailingBlanks(untrimmed));
  if (row == nullptr) {
    const Answer answer = messages_.ShowRisky(UnknownModelQuestion(), MessageKind::Error,
                                              Buttons::YesNo, Risk::UnknownCardName);
    return answer != Answer::No;
  }
  if (row->effect == ModelEffect::NoDataSet) {
    return true;
  }
  const bool ttl = HasHardwareOption(kTtlBitwise);
  bool alternate = false;
  switch (row->rule) {
    case TableRule::Standard:
      break;
    case TableRule::AlternateIfTtl:
      alternate = ttl;
      break;
    case TableRule::AlternateIfHs1OrTtl:
      alternate = ttl || untrimmed == kNimbaHs1;
      break;
  }
  CopyTable(alternate ? row->alternate : row->standard);

  BlockLabel processor1 = row->processor1;
  switch (row->effect) {
    case ModelEffect::None:
    case ModelEffect::NoDataSet:
      break;
    case ModelEffect::RenameTo16_20:
      new_.CardName = kRenamed16_20;
      break;
    case ModelEffect::CoprocessorPreset:
      if (HasHardwareOption(OptionDisplayName(kHardwareGroup, kTimestampBit))) {
        ApplyPreset(new_.Processors[1], kTimestampCoprocessor);
        processor1 = kTimestampCoprocessorBlock;
      } else if (HasHardwareOption(OptionDisplayName(kHardwareGroup, kCoprocessor56307Bit))) {
        ApplyPreset(new_.Processors[1], kCoprocessor56307);
        processor1 = kCoprocessor56307Block;
      } else {
        processor1 = kNoCoprocessorBlock;
      }
      break;
    case ModelEffect::Processor0Preset:
      ApplyPreset(new_.Processors[0], kNimbaUsbProcessor0);
      break;
  }
  CopyBlock(row->processor0, 0);
  CopyBlock(processor1, 1);
  return true;
}

bool Upgrade::Run() {
  ConvertVersions();
  if (!ConvertProcessor()) {
    return false;
  }
  ConvertFlash();
  ConvertIoGroups();
  ConvertTexts();
  ConvertOptions();
  new_.Triples = {};
  if (!CopyModelDataSet()) {
    return false;
  }
  new_.Reserved128 = {};
  new_.ExtraText = old_.Get(v12::ExtraText);
  new_.SerialNumber = old_.Get(v12::SerialNumber);
  new_.TableHead = kTableHead;
  new_.Table = SineTable();
  return true;
}

}  // namespace

const std::array<std::int32_t, kTableEntries>& SineTable() {
  static const auto table = [] {
    std::array<std::int32_t, kTableEntries> t{};
    for (std::size_t i = 0; i < kTableEntries; ++i) {
      t[i] = ToFrac24(std::sin(static_cast<double>(i) * std::numbers::pi / 2048.0));
    }
    return t;
  }();
  return table;
}

bool UpgradeRecord(RecordV12 oldRecord, RecordV13& newRecord, MessageService& messages) {
  return Upgrade(oldRecord, newRecord, messages).Run();
}

}  // namespace fu
