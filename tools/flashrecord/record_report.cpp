#include "flashrecord/record_report.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

#include "base/cp1252.h"
#include "record/option_table.h"

namespace fu::flashrecord {

namespace {

constexpr std::size_t kLabelWidth = 28;
constexpr std::size_t kSummaryEntries = 4;  // shown at each end of a summarised table
constexpr std::size_t kEntriesPerLine = 8;
constexpr std::size_t kBytesPerLine = 16;

std::string Hex(std::uint32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, static_cast<unsigned>(value));
  return buffer;
}

std::string HexByte(std::uint8_t value) {
  char buffer[4];
  std::snprintf(buffer, sizeof buffer, "%02X", static_cast<unsigned>(value));
  return buffer;
}

std::string Decimal(long long value) {
  return std::to_string(value);
}

std::string DecimalAndHex(std::uint32_t value, int digits) {
  return Decimal(value) + " (" + Hex(value, digits) + ")";
}

// The text in double quotes; control characters appear as \xNN so that a record
// cannot steer the terminal.
std::string Quoted(std::string_view text) {
  std::string shown = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      shown += "\\x" + HexByte(byte);
    } else {
      shown += c;
    }
  }
  return shown + "\"";
}

std::string Indexed(std::string_view name, std::size_t k) {
  return std::string(name) + "[" + Decimal(static_cast<long long>(k)) + "]";
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const auto& part : parts) {
    if (!text.empty()) {
      text += ' ';
    }
    text += part;
  }
  return text;
}

class Listing {
 public:
  void Line(std::string_view label, std::string_view value) {
    text_ += label;
    if (!value.empty()) {
      text_.append(label.size() < kLabelWidth ? kLabelWidth - label.size() : 1, ' ');
      text_ += value;
    }
    text_ += '\n';
  }
  void Gap() { text_ += '\n'; }
  std::string Text() && { return std::move(text_); }

 private:
  std::string text_;
};

// ---- revision 1.2 ----

void ListInt(Listing& out, const RecordV12& r, std::string_view label, V12Int field) {
  out.Line(label, Decimal(r.Get(field)));
}

void ListString(Listing& out, const RecordV12& r, std::string_view label, V12String field) {
  std::string value = Quoted(r.Get(field));
  if (r.Length(field) > field.width) {
    value += std::string("  (Längenbyte "_cp) + Decimal(r.Length(field)) + ", Feldbreite " +
             Decimal(static_cast<long long>(field.width)) + ")";
  }
  out.Line(label, value);
}

void ListIoGroup(Listing& out, const RecordV12& r, std::string_view name, const v12::IoGroup& g) {
  const std::string n(name);
  ListInt(out, r, n + ".Count", g.count);
  ListInt(out, r, n + ".Bits", g.bits);
  if (name == "A_In") {
    ListString(out, r, n + ".DiffCount", v12::A_InDiffCount);
  }
  ListString(out, r, n + ".Rate", g.rate);
}

// ---- revision 1.3 ----

std::uint32_t Entry24(const std::array<std::uint8_t, 3 * kRawTableEntries>& raw, std::size_t i) {
  return static_cast<std::uint32_t>((raw[3 * i] << 16) | (raw[3 * i + 1] << 8) | raw[3 * i + 2]);
}

void Append24(std::vector<std::uint8_t>& bytes, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  bytes.push_back(static_cast<std::uint8_t>(v >> 16));
  bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  bytes.push_back(static_cast<std::uint8_t>(v));
}

std::string Words24(std::span<const std::int32_t> words) {
  std::vector<std::string> parts;
  for (const auto w : words) {
    parts.push_back(Hex(static_cast<std::uint32_t>(w), 6));
  }
  return Joined(parts);
}

// A table of 24-bit entries: its size and CRC-32, then either its first and last
// entries or all of them, kEntriesPerLine to a line.
void ListTable(Listing& out, std::string_view name, const std::vector<std::uint32_t>& entries,
               std::span<const std::uint8_t> imageBytes, bool full) {
  out.Line(name, Decimal(static_cast<long long>(entries.size())) +
                     std::string(" Einträge, CRC-32 "_cp) + Hex(Crc32(imageBytes), 8));
  const auto range = [&](std::size_t first, std::size_t last) {
    std::vector<std::string> parts;
    for (std::size_t i = first; i < last; ++i) {
      parts.push_back(Hex(entries[i], 6));
    }
    return Joined(parts);
  };
  const std::size_t n = entries.size();
  if (!full) {
    const std::size_t head = std::min(kSummaryEntries, n);
    const std::size_t tail = n > head ? std::min(kSummaryEntries, n - head) : 0;
    out.Line("  " + Indexed("", 0) + "..", range(0, head));
    if (tail > 0) {
      out.Line("  " + Indexed("", n - tail) + "..", range(n - tail, n));
    }
    return;
  }
  for (std::size_t i = 0; i < n; i += kEntriesPerLine) {
    out.Line("  " + Indexed("", i), range(i, std::min(n, i + kEntriesPerLine)));
  }
}

template <std::size_t N>
void ListBytes(Listing& out, std::string_view name, const std::array<std::uint8_t, N>& bytes,
               bool full) {
  std::size_t nonZero = 0;
  for (const auto b : bytes) {
    nonZero += b != 0 ? 1 : 0;
  }
  std::string summary = Decimal(static_cast<long long>(N)) + " Bytes, ";
  if (nonZero == 0) {
    summary += "alle 0";
  } else {
    summary += Decimal(static_cast<long long>(nonZero)) + std::string(" ungleich 0, CRC-32 ") +
               Hex(Crc32(bytes), 8);
  }
  out.Line(name, summary);
  if (!full || nonZero == 0) {
    return;
  }
  for (std::size_t i = 0; i < N; i += kBytesPerLine) {
    std::vector<std::string> parts;
    for (std::size_t j = i; j < std::min(N, i + kBytesPerLine); ++j) {
      parts.push_back(HexByte(bytes[j]));
    }
    out.Line("  " + Indexed("", i), Joined(parts));
  }
}

void ListOptions(Listing& out, std::string_view name, const OptionBits& bits, std::uint8_t group) {
  std::vector<std::string> bytes;
  for (const auto b : bits) {
    bytes.push_back(HexByte(b));
  }
  out.Line(name, Joined(bytes));
  for (int bit = 0; bit < kOptionCount; ++bit) {
    if (!OptionSet(bits, bit)) {
      continue;
    }
    const auto display = OptionDisplayName(group, bit);
    out.Line("  Bit " + Decimal(bit),
             display.empty() ? std::string("(ohne Namen)") : Quoted(display));
  }
}

std::string ResolutionText(std::uint8_t code) {
  switch (code) {
    case 1:
      return "1 (12 Bit)";
    case 2:
      return "2 (16 Bit)";
    default:
      return Decimal(code);
  }
}

void ListIoGroup(Listing& out, std::string_view name, const IoGroupV13& g, std::string_view unit) {
  const std::string n(name);
  out.Line(n + ".Count", Decimal(g.Count));
  out.Line(n + ".Resolution", ResolutionText(g.Resolution));
  std::string rate = Decimal(g.Rate);
  if (!unit.empty()) {
    rate += ' ';
    rate += unit;
  }
  out.Line(n + ".Rate", rate);
}

// ---- summary ----

// A text as the summary shows it: plain when readable, else what is wrong with it
// (quoted, so that a record cannot steer the terminal).
std::string SummaryValue(std::string_view text) {
  if (text.empty()) {
    return "fehlt";
  }
  if (std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) == 0xFF; })) {
    return std::string("nicht lesbar (nur 0xFF, gelöschter Flash)"_cp);
  }
  const bool readable = std::ranges::none_of(text, [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
  return readable ? std::string(text) : Quoted(text) + " (nicht lesbar)";
}

std::string SummaryValue(const RecordV12& r, V12String field) {
  if (r.Length(field) > field.width) {
    return std::string("nicht lesbar (Längenbyte "_cp) + Decimal(r.Length(field)) +
           ", Feldbreite " + Decimal(static_cast<long long>(field.width)) + ")";
  }
  return SummaryValue(r.Get(field));
}

void ListSummary(Listing& out, const std::string& card, const std::string& serial,
                 const std::string& customer, std::string_view revision, const std::string& date) {
  out.Line("Karte", card);
  out.Line("Seriennummer", serial);
  out.Line("Kunde", customer);
  out.Line("Revision", revision);
  out.Line("Datum", date);
}

}  // namespace

std::string ListSummaryV12(const RecordV12& r) {
  Listing out;
  ListSummary(out, SummaryValue(r, v12::CardName), SummaryValue(r, v12::SerialNumber),
              SummaryValue(r, v12::Customer), "1.2", SummaryValue(r, v12::Date));
  return std::move(out).Text();
}

std::string ListSummaryV13(const RecordV13& r) {
  // The date's three fields read as one date only when all of them are there.
  std::string date;
  if (r.DateDay.empty() && r.DateMonth.empty() && r.DateYear.empty()) {
    date = SummaryValue("");
  } else if (r.DateDay.empty() || r.DateMonth.empty() || r.DateYear.empty()) {
    date = Quoted(r.DateDay) + " " + Quoted(r.DateMonth) + " " + Quoted(r.DateYear) +
           std::string(" (unvollständig)"_cp);
  } else {
    date = SummaryValue(r.DateDay.str() + "." + r.DateMonth.str() + "." + r.DateYear.str());
  }
  Listing out;
  ListSummary(out, SummaryValue(r.CardName), SummaryValue(r.SerialNumber), SummaryValue(r.Customer),
              "1.3", date);
  return std::move(out).Text();
}

std::string ListSummaryUnknown() {
  const std::string unreadable = "nicht lesbar";
  Listing out;
  ListSummary(out, unreadable, unreadable, unreadable, "unbekannt (siehe die Kennbytes)",
              unreadable);
  return std::move(out).Text();
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const auto b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) {
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
  }
  return ~crc;
}

std::string ListRecordV12(const RecordV12& r) {
  Listing out;
  for (std::size_t k = 0; k < 3; ++k) {
    const std::string v = Indexed("Versions", k);
    ListInt(out, r, v + ".Major", v12::VersionMajor(k));
    ListInt(out, r, v + ".Minor", v12::VersionMinor(k));
    ListString(out, r, v + ".Revision", v12::VersionRevision(k));
    ListString(out, r, v + ".Date", v12::VersionDate(k));
  }
  out.Gap();
  ListString(out, r, "ProcessorMaskSet", v12::ProcessorMaskSet);
  ListString(out, r, "ProcessorClock", v12::ProcessorClock);
  ListString(out, r, "ProcessorDateCode", v12::ProcessorDateCode);
  ListString(out, r, "FlashClock", v12::FlashClock);
  out.Line("FlashValue", DecimalAndHex(static_cast<std::uint32_t>(r.Get(v12::FlashValue)), 8));
  ListString(out, r, "FlashCode", v12::FlashCode);
  out.Gap();
  ListString(out, r, "CardName", v12::CardName);
  ListString(out, r, "Manufacturer", v12::Manufacturer);
  ListString(out, r, "Vendor", v12::Vendor);
  ListString(out, r, "ShortCode", v12::ShortCode);
  ListString(out, r, "Customer", v12::Customer);
  ListString(out, r, "Date", v12::Date);
  out.Gap();
  ListIoGroup(out, r, "A_In", v12::A_In);
  ListIoGroup(out, r, "A_Out", v12::A_Out);
  ListIoGroup(out, r, "D_In", v12::D_In);
  ListIoGroup(out, r, "D_Out", v12::D_Out);
  ListIoGroup(out, r, "iCT", v12::iCT);
  ListIoGroup(out, r, "CT", v12::CT);
  out.Gap();
  for (std::size_t k = 0; k < v12::kOptionSlots; ++k) {
    ListString(out, r, Indexed("SoftwareOptionNames", k), v12::SoftwareOptionName(k));
  }
  for (std::size_t k = 0; k < v12::kOptionSlots; ++k) {
    ListString(out, r, Indexed("HardwareOptionNames", k), v12::HardwareOptionName(k));
  }
  out.Gap();
  ListString(out, r, "ExtraText", v12::ExtraText);
  ListString(out, r, "SerialNumber", v12::SerialNumber);
  return std::move(out).Text();
}

std::string ListRecordV13(const RecordV13& r, bool full) {
  Listing out;
  for (std::size_t k = 0; k < r.Versions.size(); ++k) {
    const auto& v = r.Versions[k];
    const std::string name = Indexed("Versions", k);
    out.Line(name + ".Major", Decimal(v.Major));
    out.Line(name + ".Minor", Decimal(v.Minor));
    out.Line(name + ".Format", Decimal(v.FormatMajor) + "." + Decimal(v.FormatMinor));
    out.Line(name + ".Day/Month/Year",
             Quoted(v.Day) + " " + Quoted(v.Month) + " " + Quoted(v.Year));
  }
  out.Gap();
  for (std::size_t p = 0; p < r.Processors.size(); ++p) {
    const auto& proc = r.Processors[p];
    const std::string name = Indexed("Processors", p);
    out.Line(name + ".MaskSet", Quoted(proc.MaskSet));
    out.Line(name + ".ClockMHz", Decimal(proc.ClockMHz));
    out.Line(name + ".DateCode", Quoted(proc.DateCode));
    out.Line(name + ".Kind", Decimal(proc.Kind));
    out.Line(name + ".Params", Words24(proc.Params));
  }
  out.Line("ProcessorWords[0..7]", Words24(std::span(r.ProcessorWords).first(8)));
  out.Line("ProcessorWords[8..15]", Words24(std::span(r.ProcessorWords).last(8)));
  out.Gap();
  out.Line("FlashClockMHz", Decimal(r.FlashClockMHz));
  out.Line("FlashValue", DecimalAndHex(r.FlashValue, 4));
  out.Line("FlashCode", DecimalAndHex(static_cast<std::uint32_t>(r.FlashCode), 6));
  out.Gap();
  ListIoGroup(out, "A_In", r.A_In, "kHz");
  ListIoGroup(out, "A_Out", r.A_Out, "kHz");
  ListIoGroup(out, "D_In", r.D_In, "MHz");
  ListIoGroup(out, "iCT", r.iCT, "kHz");
  ListIoGroup(out, "CT", r.CT, "kHz");
  ListIoGroup(out, "PWM", r.PWM, "");
  out.Gap();
  out.Line("CardName", Quoted(r.CardName));
  out.Line("Manufacturer", Quoted(r.Manufacturer));
  out.Line("Vendor", Quoted(r.Vendor));
  out.Line("ExtraText", Quoted(r.ExtraText));
  out.Line("SerialNumber", Quoted(r.SerialNumber));
  out.Line("Customer", Quoted(r.Customer));
  out.Line("ShortCode", Quoted(r.ShortCode));
  out.Line("DateDay/Month/Year",
           Quoted(r.DateDay) + " " + Quoted(r.DateMonth) + " " + Quoted(r.DateYear));
  out.Gap();
  ListOptions(out, "SoftwareOptions", r.SoftwareOptions, kSoftwareGroup);
  ListOptions(out, "HardwareOptions", r.HardwareOptions, kHardwareGroup);
  out.Gap();
  ListBytes(out, "Reserved34", r.Reserved34, full);
  ListBytes(out, "Reserved128", r.Reserved128, full);
  ListBytes(out, "Reserved176", r.Reserved176, full);
  out.Gap();

  std::vector<std::uint32_t> raw(kRawTableEntries);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    raw[i] = Entry24(r.RawTable, i);
  }
  ListTable(out, "RawTable", raw, r.RawTable, full);

  std::vector<std::uint8_t> tripleBytes;
  std::size_t nonZero = 0;
  for (const auto& triple : r.Triples) {
    for (const auto v : triple) {
      Append24(tripleBytes, v);
      nonZero += v != 0 ? 1 : 0;
    }
  }
  out.Line("Triples", Decimal(static_cast<long long>(r.Triples.size())) +
                          std::string(" × 3 Werte, "_cp) +
                          Decimal(static_cast<long long>(nonZero)) + " ungleich 0, CRC-32 " +
                          Hex(Crc32(tripleBytes), 8));
  if (full) {
    for (std::size_t i = 0; i < r.Triples.size(); ++i) {
      out.Line("  " + Indexed("", i), Words24(r.Triples[i]));
    }
  }

  out.Line("TableHead", Decimal(r.TableHead));
  std::vector<std::uint32_t> table(r.Table.begin(), r.Table.end());
  std::vector<std::uint8_t> tableBytes;
  for (const auto v : r.Table) {
    Append24(tableBytes, v);
  }
  ListTable(out, "Table", table, tableBytes, full);
  return std::move(out).Text();
}

std::string ListIdentifyingBytes(const RecordV12& block) {
  Listing out;
  const auto& bytes = block.Bytes();
  ListInt(out, block, "Versions[2].Major", v12::VersionMajor(2));
  ListInt(out, block, "Versions[2].Minor", v12::VersionMinor(2));
  ListString(out, block, "Versions[2].Revision", v12::VersionRevision(2));
  const std::size_t first = v12::VersionMajor(2).offset;
  const std::size_t end = v12::VersionRevision(2).offset + 1 + v12::VersionRevision(2).width;
  std::vector<std::string> parts;
  for (std::size_t i = first; i < end; ++i) {
    parts.push_back(HexByte(bytes[i]));
  }
  out.Line("Bytes " + Decimal(static_cast<long long>(first)) + ".." +
               Decimal(static_cast<long long>(end - 1)),
           Joined(parts));
  out.Line("Byte 32 (FormatMinor)", Hex(bytes[32], 2));
  out.Line("Byte 33 (FormatMajor)", Hex(bytes[33], 2));
  return std::move(out).Text();
}

}  // namespace fu::flashrecord
