#pragma once
// Texts of this system are Windows code page 1252 bytes. Source files are UTF-8,
// so every German text is written as a literal with the _cp suffix, which converts
// it at compile time: "Prüfstand"_cp holds 'ü' as the single byte 0xFC.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fu {

namespace cp1252_detail {

// Unicode code points of the bytes 0x80..0x9F; 0 marks a byte with no character.
inline constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Byte for a code point, or -1 when code page 1252 has no such character.
constexpr int ByteFor(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
    return static_cast<int>(cp);
  }
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == cp) {
      return static_cast<int>(0x80 + i);
    }
  }
  return -1;
}

// Decodes one UTF-8 sequence starting at s[i]; advances i. Returns 0xFFFFFFFF on a
// malformed sequence.
constexpr char32_t DecodeUtf8(std::string_view s, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(s[i++]);
  if (lead < 0x80) {
    return lead;
  }
  int extra = 0;
  char32_t cp = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
  } else {
    return 0xFFFFFFFF;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size()) {
      return 0xFFFFFFFF;
    }
    const auto c = static_cast<unsigned char>(s[i++]);
    if ((c & 0xC0) != 0x80) {
      return 0xFFFFFFFF;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  return cp;
}

template <std::size_t N>
struct Utf8Literal {
  char chars[N]{};
  consteval Utf8Literal(const char (&s)[N]) {  // NOLINT: implicit by design
    for (std::size_t i = 0; i < N; ++i) {
      chars[i] = s[i];
    }
  }
  constexpr std::string_view view() const { return {chars, N - 1}; }
};

consteval std::size_t EncodedLength(std::string_view utf8) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    DecodeUtf8(utf8, i);
    ++n;
  }
  return n;
}

template <std::size_t N>
struct Cp1252Text {
  std::array<char, N + 1> bytes{};
  constexpr std::string_view view() const { return {bytes.data(), N}; }
};

template <Utf8Literal S>
consteval auto Encode() {
  constexpr std::size_t n = EncodedLength(S.view());
  Cp1252Text<n> out;
  std::size_t pos = 0;
  const std::string_view utf8 = S.view();
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t cp = DecodeUtf8(utf8, i);
    const int byte = ByteFor(cp);
    if (byte < 0) {
      throw "text has a character that code page 1252 cannot hold";
    }
    out.bytes[pos++] = static_cast<char>(static_cast<unsigned char>(byte));
  }
  return out;
}

template <Utf8Literal S>
inline constexpr auto kEncoded = Encode<S>();

}  // namespace cp1252_detail

// "Zählerauflösung"_cp: the code page 1252 bytes of a UTF-8 source literal.
template <cp1252_detail::Utf8Literal S>
constexpr std::string_view operator""_cp() {
  return cp1252_detail::kEncoded<S>.view();
}

// Converts code page 1252 bytes to UTF-8 for a terminal or a toolkit; bytes without
// a character (0x81, 0x8D, 0x8F, 0x90, 0x9D) become U+FFFD.
std::string Cp1252ToUtf8(std::string_view text);

// Converts UTF-8 to code page 1252; characters the code page lacks become '?'.
std::string Utf8ToCp1252(std::string_view text);

// A text of the host (a path, a command line) in code page 1252: on Windows it
// is in the ANSI code page, which a German Windows has as 1252; elsewhere UTF-8.
std::string HostTextToCp1252(std::string_view text);

}  // namespace fu
