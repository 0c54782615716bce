#include "sim/sim_card_settings.h"

#include <charconv>

#include "base/cp1252.h"
#include "base/hex_text.h"

namespace fu::sim {

namespace {

std::string Address(std::uint32_t address) {
  return "0x" + HexText(address, 6);
}

std::string Range(std::uint32_t first, std::uint32_t last) {
  return Address(first) + "-" + Address(last);
}

// One "0x..." number from the front of text, which is advanced past it.
bool TakeHex(std::string_view& text, std::uint32_t& value) {
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
    return false;
  }
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data() + 2, end, value, 16);
  if (error != std::errc{}) {
    return false;
  }
  text.remove_prefix(static_cast<std::size_t>(stop - text.data()));
  return true;
}

}  // namespace

std::string EraseClearsText(const SimCardSettings& settings) {
  return Range(settings.eraseFrom, settings.eraseTo);
}

bool ReadEraseClears(std::string_view text, SimCardSettings& settings) {
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  if (!TakeHex(text, first) || text.empty() || text.front() != '-') {
    return false;
  }
  text.remove_prefix(1);
  if (!TakeHex(text, last) || !text.empty()) {
    return false;
  }
  settings.eraseFrom = first;
  settings.eraseTo = last;
  return true;
}

std::optional<std::string> SettingsProblem(const SimCardSettings& settings) {
  const std::string key = "\"eraseClears\" " + EraseClearsText(settings);
  if (settings.eraseFrom > settings.eraseTo) {
    return key + ": das erste Byte liegt hinter dem letzten";
  }
  if (settings.eraseFrom < kFlashStart || settings.eraseTo >= kFlashEnd) {
    return key + " liegt nicht ganz im Flash " + Range(kFlashStart, kFlashEnd - 1);
  }
  if (settings.eraseFrom > kRecordAreaStart || settings.eraseTo < kRecordLastByte) {
    return key + std::string(" löscht nicht den ganzen Datensatz "_cp) +
           Range(kRecordAreaStart, kRecordLastByte);
  }
  return std::nullopt;
}

}  // namespace fu::sim
