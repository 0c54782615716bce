#pragma once
// The DSP program file: text, one hexadecimal number per line. Line 1 holds N,
// line 2 a word passed to the DSP unchanged, lines 3 to N + 2 the program words.
// Spaces count as the digit 0 wherever they stand; an empty line is 0. The boot
// stream is the first N + 2 lines. The byte 0x1A ends the file, as in DOS text
// files: what follows it is not read.

#include <cstdint>
#include <span>
#include <vector>

#include "base/host_word.h"

namespace fu {

// The loader's word buffer holds this many lines.
inline constexpr std::size_t kDspProgramMaxLines = 5000;

struct DspProgram {
  // False when the file cannot be a whole program: more than 5000 lines, fewer
  // than N + 2 lines, or N above 4998.
  bool intact = false;
  std::vector<HostWord> bootStream;  // the first N + 2 words when intact
};

// Reads every line of the file's text (lines end in LF or CR LF). A line that is
// not hexadecimal, the empty first line included, raises IntegerConversionError
// with the line's text.
DspProgram ParseDspProgram(std::span<const std::uint8_t> text);

}  // namespace fu
