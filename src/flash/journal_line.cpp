#include "flash/journal_line.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "base/cp1252.h"
#include "base/crc32.h"
#include "base/hex_text.h"
#include "base/version.h"

namespace fu {

namespace {

constexpr std::string_view kBegun = "begonnen";
constexpr std::string_view kDone = "fertig";
constexpr std::string_view kUnchanged = "unverändert"_cp;
constexpr std::string_view kAbandoned = "aufgegeben";
constexpr std::string_view kCheckKey = "\tCRC32=";
constexpr std::string_view kVersionKey = "Version=";
constexpr std::string_view kDifferenceKey = "Abweichung=";
constexpr std::string_view kSizeKey = "Bytes=";
constexpr std::string_view kContentKey = "Inhalt-CRC32=";
constexpr std::string_view kTimeKey = "Zeit=";
constexpr std::string_view kFileSerialKey = "Seriennummer-Sicherung=";

std::string Escape(std::string_view value) {
  std::string out;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || c == '%' || byte == 0x7F) {
      out += '%' + HexText(byte, 2);
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  const auto at = kHex.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

std::optional<std::string> Unescape(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      out += value[i];
      continue;
    }
    if (i + 2 >= value.size()) {
      return std::nullopt;
    }
    const int high = HexDigit(value[i + 1]);
    const int low = HexDigit(value[i + 2]);
    if (high < 0 || low < 0) {
      return std::nullopt;
    }
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// Up to nine decimal digits, no sign or leading zero.
std::optional<std::uint32_t> DecimalOf(std::string_view text) {
  constexpr std::size_t kMaxDigits = 9;
  if (text.empty() || text.size() > kMaxDigits || (text.size() > 1 && text[0] == '0') ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (const char c : text) {
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

// Exactly eight hex digits, as HexText writes them.
std::optional<std::uint32_t> HexOf(std::string_view text) {
  constexpr std::size_t kDigits = 8;
  if (text.size() != kDigits) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (const char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) {
      return std::nullopt;
    }
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> fields;
  while (true) {
    const std::size_t tab = text.find('\t');
    fields.push_back(text.substr(0, tab));
    if (tab == std::string_view::npos) {
      return fields;
    }
    text.remove_prefix(tab + 1);
  }
}

}  // namespace

bool SameCard(const JournalEntry& a, const JournalEntry& b) {
  if (a.serialNumber.empty() || b.serialNumber.empty()) {
    return a.serialNumber.empty() && b.serialNumber.empty() && a.slot == b.slot;
  }
  return a.serialNumber == b.serialNumber;
}

std::string JournalHeaderLine() {
  return std::string(journal_line::kHeader) + "\t" + std::string(kVersionKey) +
         std::string(kVersion);
}

bool IsJournalHeader(std::string_view line) {
  if (!line.starts_with(journal_line::kHeader)) {
    return false;
  }
  const std::string_view rest = line.substr(journal_line::kHeader.size());
  return rest.empty() || rest.starts_with("\t" + std::string(kVersionKey));
}

std::string EncodeJournalLine(const JournalEntry& entry) {
  std::string line(entry.abandoned   ? kAbandoned
                   : entry.unchanged ? kUnchanged
                   : entry.done      ? kDone
                                     : kBegun);
  line += "\tSteckplatz=" + std::to_string(entry.slot);
  line += "\tSeriennummer=" + Escape(entry.serialNumber);
  line += "\tVorgang=" + Escape(entry.operation);
  line += "\tSicherung=" + Escape(entry.backupFile);
  if (entry.backupSize != 0) {
    line += "\t" + std::string(kSizeKey) + std::to_string(entry.backupSize);
    line += "\t" + std::string(kContentKey) + HexText(entry.backupCrc);
  }
  if (!entry.fileSerial.empty()) {
    line += "\t" + std::string(kFileSerialKey) + Escape(entry.fileSerial);
  }
  if (!entry.difference.empty()) {
    line += "\t" + std::string(kDifferenceKey) + Escape(entry.difference);
  }
  if (!entry.time.empty()) {
    line += "\t" + std::string(kTimeKey) + Escape(entry.time);
  }
  line += "\t" + std::string(kVersionKey) + Escape(kVersion);
  line += std::string(kCheckKey) + HexText(Crc32(line)) + "\r\n";
  return line;
}

bool HasCheckField(std::string_view line) {
  const std::size_t check = line.rfind(kCheckKey);
  if (check == std::string_view::npos || line.size() - check != kCheckKey.size() + 8) {
    return false;
  }
  const std::string_view digits = line.substr(check + kCheckKey.size());
  return std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; });
}

std::optional<JournalEntry> DecodeJournalLine(std::string_view line) {
  const std::size_t check = line.rfind(kCheckKey);
  if (check == std::string_view::npos || line.size() - check != kCheckKey.size() + 8 ||
      line.substr(check + kCheckKey.size()) != HexText(Crc32(line.substr(0, check)))) {
    return std::nullopt;
  }
  std::vector<std::string_view> fields = Fields(line.substr(0, check));
  constexpr std::array<std::string_view, 4> kKeys = {
      "Steckplatz=", "Seriennummer=", "Vorgang=", "Sicherung="};
  if (fields.size() < kKeys.size() + 1 || (fields[0] != kBegun && fields[0] != kDone &&
                                           fields[0] != kUnchanged && fields[0] != kAbandoned)) {
    return std::nullopt;
  }
  // After the keys: the backup's size and CRC-32, the difference a write left
  // beyond its record (closing lines only), the time it was written, then the
  // program's version; lines of earlier versions lack them.
  std::size_t extra = kKeys.size() + 1;
  std::uint32_t size = 0;
  std::uint32_t content = 0;
  if (extra + 1 < fields.size() && fields[extra].starts_with(kSizeKey)) {
    const auto parsed_size = DecimalOf(fields[extra].substr(kSizeKey.size()));
    const auto parsed_content = fields[extra + 1].starts_with(kContentKey)
                                    ? HexOf(fields[extra + 1].substr(kContentKey.size()))
                                    : std::nullopt;
    if (!parsed_size || *parsed_size == 0 || !parsed_content) {
      return std::nullopt;
    }
    size = *parsed_size;
    content = *parsed_content;
    extra += 2;
  }
  std::optional<std::string> file_serial = std::string();
  if (extra < fields.size() && fields[extra].starts_with(kFileSerialKey)) {
    file_serial = Unescape(fields[extra++].substr(kFileSerialKey.size()));
  }
  std::string_view difference;
  if (extra < fields.size() && fields[extra].starts_with(kDifferenceKey)) {
    difference = fields[extra++].substr(kDifferenceKey.size());
  }
  std::optional<std::string> time = std::string();
  if (extra < fields.size() && fields[extra].starts_with(kTimeKey)) {
    time = Unescape(fields[extra++].substr(kTimeKey.size()));
  }
  if (extra < fields.size() && fields[extra].starts_with(kVersionKey) &&
      Unescape(fields[extra].substr(kVersionKey.size()))) {
    ++extra;
  } else if (!difference.empty() || size != 0 || !file_serial || !file_serial->empty() || !time ||
             !time->empty()) {
    return std::nullopt;
  }
  if (extra != fields.size() || (!difference.empty() && fields[0] == kBegun)) {
    return std::nullopt;
  }
  std::array<std::string, kKeys.size()> values;
  for (std::size_t k = 0; k < kKeys.size(); ++k) {
    if (!fields[k + 1].starts_with(kKeys[k])) {
      return std::nullopt;
    }
    auto value = Unescape(fields[k + 1].substr(kKeys[k].size()));
    if (!value) {
      return std::nullopt;
    }
    values[k] = std::move(*value);
  }
  JournalEntry entry;
  entry.unchanged = fields[0] == kUnchanged;
  entry.abandoned = fields[0] == kAbandoned;
  entry.done = fields[0] == kDone || entry.unchanged || entry.abandoned;
  const std::string& slot = values[0];
  if (slot.size() != 1 || slot[0] < '0' || slot[0] >= '0' + kSlotCount) {
    return std::nullopt;
  }
  entry.slot = slot[0] - '0';
  entry.serialNumber = std::move(values[1]);
  entry.operation = std::move(values[2]);
  entry.backupFile = std::move(values[3]);
  entry.backupSize = size;
  entry.backupCrc = content;
  if (!file_serial || !time) {
    return std::nullopt;
  }
  entry.fileSerial = std::move(*file_serial);
  entry.time = std::move(*time);
  auto unescaped = Unescape(difference);
  if (!unescaped) {
    return std::nullopt;
  }
  entry.difference = std::move(*unescaped);
  return entry;
}

}  // namespace fu
