// The DSP program file as read from drive C:.

#include <cstddef>
#include <cstdint>

#include "base/errors.h"
#include "dsplink/dsp_program.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const fu::DspProgram program = fu::ParseDspProgram({data, size});
    if (program.intact && (program.bootStream.size() < 2 || program.bootStream.size() > 5000)) {
      __builtin_trap();  // an intact program always fits the loader's buffer
    }
  } catch (const fu::IntegerConversionError&) {
    // A line that is no hexadecimal number.
  }
  return 0;
}
