#include "dsplink/dsp_program.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "base/integer_text.h"

namespace fu {

namespace {

constexpr char kEndOfFile = 0x1A;

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    lines.push_back(line);
    if (end == std::string_view::npos) {
      break;
    }
    text.remove_prefix(end + 1);
  }
  return lines;
}

HostWord ParseLine(std::string_view line, bool empty_is_zero) {
  if (line.empty() && empty_is_zero) {
    return 0;
  }
  std::string digits = "$";
  digits += line;
  std::replace(digits.begin(), digits.end(), ' ', '0');
  const auto value = ReadInteger(digits);
  if (!value) {
    throw IntegerConversionError(line);
  }
  return static_cast<HostWord>(*value);
}

}  // namespace

DspProgram ParseDspProgram(std::span<const std::uint8_t> text) {
  std::string_view chars(reinterpret_cast<const char*>(text.data()), text.size());
  // Text files of DOS end at the end-of-file byte; editors of the time wrote one.
  chars = chars.substr(0, chars.find(kEndOfFile));
  const std::vector<std::string_view> lines = SplitLines(chars);
  DspProgram program;
  if (lines.size() > kDspProgramMaxLines) {
    return program;
  }
  const std::uint64_t count = ParseLine(lines.empty() ? std::string_view() : lines[0], false);
  std::vector<HostWord> words;
  words.reserve(lines.size());
  for (const auto line : lines) {
    words.push_back(ParseLine(line, true));
  }
  if (count > kDspProgramMaxLines - 2 || words.size() < count + 2) {
    return program;
  }
  words.resize(count + 2);
  program.intact = true;
  program.bootStream = std::move(words);
  return program;
}

}  // namespace fu
