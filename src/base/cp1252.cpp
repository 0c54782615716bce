#include "base/cp1252.h"

namespace fu {

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    char32_t cp = byte;
    if (byte >= 0x80 && byte < 0xA0) {
      cp = cp1252_detail::kHighControls[byte - 0x80];
      if (cp == 0) {
        cp = 0xFFFD;
      }
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char32_t cp = cp1252_detail::DecodeUtf8(text, i);
    const int byte = cp1252_detail::ByteFor(cp);
    out += byte < 0 ? '?' : static_cast<char>(static_cast<unsigned char>(byte));
  }
  return out;
}

std::string HostTextToCp1252(std::string_view text) {
#ifdef _WIN32
  return std::string(text);
#else
  return Utf8ToCp1252(text);
#endif
}

}  // namespace fu
