#pragma once
// A text of at most N code page 1252 characters, as every text field of a card
// record is. Assigning a longer text keeps its first N characters, so a field can
// never hold more than its width.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace fu {

template <std::size_t N>
class ShortText {
  static_assert(N >= 1 && N <= 255, "a short text holds 1 to 255 characters");

 public:
  static constexpr std::size_t kCapacity = N;

  constexpr ShortText() = default;
  constexpr ShortText(std::string_view text) { Assign(text); }  // NOLINT: cuts like a field
  constexpr ShortText(const char* text) : ShortText(std::string_view(text)) {}  // NOLINT
  ShortText(const std::string& text) : ShortText(std::string_view(text)) {}     // NOLINT

  constexpr void Assign(std::string_view text) {
    length_ = std::min(text.size(), N);
    std::copy_n(text.begin(), length_, chars_.begin());
    std::fill(chars_.begin() + static_cast<std::ptrdiff_t>(length_), chars_.end(), '\0');
  }

  constexpr std::string_view view() const { return {chars_.data(), length_}; }
  std::string str() const { return std::string(view()); }
  constexpr std::size_t size() const { return length_; }
  constexpr bool empty() const { return length_ == 0; }
  constexpr char operator[](std::size_t i) const { return chars_[i]; }

  constexpr operator std::string_view() const { return view(); }  // NOLINT: reads as text

  // Characters after the text are always zero, so comparing the storage compares
  // the texts.
  constexpr bool operator==(const ShortText&) const = default;
  friend constexpr bool operator==(const ShortText& a, std::string_view b) { return a.view() == b; }
  friend constexpr bool operator==(const ShortText& a, const char* b) {
    return a.view() == std::string_view(b);
  }

 private:
  std::array<char, N> chars_{};
  std::size_t length_ = 0;
};

}  // namespace fu
