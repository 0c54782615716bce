#include "base/visible_text.h"

namespace fu {

namespace {

bool Shows(unsigned char byte) {
  if (byte == '\r' || byte == '\n' || byte == '\t') {
    return true;
  }
  if (byte < 0x20 || byte == 0x7F) {
    return false;
  }
  return byte != 0x81 && byte != 0x8D && byte != 0x8F && byte != 0x90 && byte != 0x9D;
}

}  // namespace

std::string VisibleText(std::string_view text) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (Shows(byte)) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

}  // namespace fu
