#include "record/record_v12.h"

#include <algorithm>

namespace fu {

RecordV12::RecordV12(std::span<const std::uint8_t> bytes) {
  std::copy_n(bytes.begin(), std::min(bytes.size(), bytes_.size()), bytes_.begin());
}

std::int32_t RecordV12::Get(V12Int field) const {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    v |= static_cast<std::uint32_t>(bytes_[field.offset + i]) << (8 * i);
  }
  return static_cast<std::int32_t>(v);
}

void RecordV12::Set(V12Int field, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i) {
    bytes_[field.offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

std::string RecordV12::Get(V12String field) const {
  const std::size_t length = std::min<std::size_t>(bytes_[field.offset], field.width);
  const auto* first = reinterpret_cast<const char*>(bytes_.data() + field.offset + 1);
  return std::string(first, length);
}

void RecordV12::Set(V12String field, std::string_view text) {
  const std::size_t length = std::min(text.size(), field.width);
  bytes_[field.offset] = static_cast<std::uint8_t>(length);
  const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(field.offset + 1);
  std::fill_n(std::copy_n(text.begin(), length, first), field.width - length, 0);
}

char RecordV12::At(V12String field, std::size_t p) const {
  if (p < 1 || p > field.width) {
    return '\0';
  }
  return static_cast<char>(bytes_[field.offset + p]);
}

void RecordV12::SetAt(V12String field, std::size_t p, char c) {
  if (p >= 1 && p <= field.width) {
    bytes_[field.offset + p] = static_cast<std::uint8_t>(c);
  }
}

}  // namespace fu
