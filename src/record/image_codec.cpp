#include "record/image_codec.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "record/image_layout.h"

namespace fu {

namespace {

using Bytes = std::array<std::uint8_t, kImageV13Size>;

class Decoder {
 public:
  explicit Decoder(const Bytes& b) : b_(b) {}

  void Byte(std::size_t at, std::uint8_t& v) { v = b_[at]; }
  void Le16(std::size_t at, std::uint16_t& v) {
    v = static_cast<std::uint16_t>(b_[at] | (b_[at + 1] << 8));
  }
  void U16be(std::size_t at, std::uint16_t& v) {
    v = static_cast<std::uint16_t>((b_[at] << 8) | b_[at + 1]);
  }
  void U24be(std::size_t at, std::int32_t& v) {
    v = static_cast<std::int32_t>((b_[at] << 16) | (b_[at + 1] << 8) | b_[at + 2]);
  }
  template <std::size_t N>
  void Text(std::size_t at, ShortText<N>& v) {
    const auto* first = reinterpret_cast<const char*>(b_.data() + at);
    const std::size_t length = std::find(first, first + N, '\0') - first;
    v.Assign(std::string_view(first, length));
  }
  template <std::size_t N>
  void Raw(std::size_t at, std::array<std::uint8_t, N>& v) {
    std::copy_n(b_.begin() + static_cast<std::ptrdiff_t>(at), N, v.begin());
  }

 private:
  const Bytes& b_;
};

class Encoder {
 public:
  explicit Encoder(Bytes& b) : b_(b) {}

  void Byte(std::size_t at, std::uint8_t v) { b_[at] = v; }
  void Le16(std::size_t at, std::uint16_t v) {
    b_[at] = static_cast<std::uint8_t>(v);
    b_[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  void U16be(std::size_t at, std::uint16_t v) {
    b_[at] = static_cast<std::uint8_t>(v >> 8);
    b_[at + 1] = static_cast<std::uint8_t>(v);
  }
  void U24be(std::size_t at, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    b_[at] = static_cast<std::uint8_t>(u >> 16);
    b_[at + 1] = static_cast<std::uint8_t>(u >> 8);
    b_[at + 2] = static_cast<std::uint8_t>(u);
  }
  // The characters, then zeros to the field's end; a full-width text has none.
  template <std::size_t N>
  void Text(std::size_t at, const ShortText<N>& v) {
    const auto text = v.view();
    const auto first = b_.begin() + static_cast<std::ptrdiff_t>(at);
    std::fill_n(std::copy(text.begin(), text.end(), first), N - text.size(), 0);
  }
  template <std::size_t N>
  void Raw(std::size_t at, const std::array<std::uint8_t, N>& v) {
    std::copy(v.begin(), v.end(), b_.begin() + static_cast<std::ptrdiff_t>(at));
  }

 private:
  Bytes& b_;
};

// Century for a year that does not start with '1' or '2': 19 after a '9', else 20.
constexpr std::string_view Century(char first) {
  return first == '9' ? "19" : "20";
}
constexpr bool HasCentury(char first) {
  return first == '1' || first == '2';
}

}  // namespace

bool WordsToImage(std::span<const HostWord, kImageV13Size> words, ImageV13& image) {
  std::transform(words.begin(), words.end(), image.bytes.begin(),
                 [](HostWord w) { return static_cast<std::uint8_t>(w & 0xFF); });
  return true;
}

bool ImageToWords(const ImageV13& image, std::span<HostWord, kImageV13Size> words) {
  std::copy(image.bytes.begin(), image.bytes.end(), words.begin());
  return true;
}

bool DecodeImage(ImageV13 image, RecordV13& record) {
  auto& b = image.bytes;
  const std::size_t y = kImageDateYearOffset;
  if (!HasCentury(static_cast<char>(b[y]))) {
    const auto century = Century(static_cast<char>(b[y]));
    b[y + 2] = b[y];
    b[y + 3] = b[y + 1];
    b[y] = static_cast<std::uint8_t>(century[0]);
    b[y + 1] = static_cast<std::uint8_t>(century[1]);
  }
  Decoder decoder(b);
  VisitImageFields(decoder, record);
  auto name = record.CardName.view();
  while (!name.empty() && name.back() == ' ') {
    name.remove_suffix(1);
  }
  record.CardName.Assign(std::string(name));
  return true;
}

bool EncodeImage(RecordV13 record, ImageV13& image) {
  const auto year = record.DateYear.view();
  if (year.empty() || !HasCentury(year[0])) {
    std::string expanded(Century(year.empty() ? '\0' : year[0]));
    expanded += year.substr(0, 2);
    record.DateYear.Assign(expanded);
  }
  Encoder encoder(image.bytes);
  VisitImageFields(encoder, std::as_const(record));
  return true;
}

}  // namespace fu
