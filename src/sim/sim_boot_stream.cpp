#include "sim/sim_boot_stream.h"

namespace fu::sim {

namespace {

constexpr std::uint32_t kCrcPolynomial = 0x864CFB;
constexpr std::uint32_t kCrcStart = 0xB704CE;

std::uint32_t CrcWord(std::uint32_t crc, HostWord word) {
  for (int shift = 16; shift >= 0; shift -= 8) {
    crc ^= ((word >> shift) & 0xFF) << 16;
    for (int bit = 0; bit < 8; ++bit) {
      crc <<= 1;
      if (crc & 0x1000000) {
        crc ^= kCrcPolynomial;
      }
    }
  }
  return crc & kWordMask;
}

}  // namespace

std::uint32_t ProgramChecksum(HostWord secondWord, std::span<const HostWord> words) {
  std::uint32_t crc = CrcWord(kCrcStart, secondWord);
  for (const HostWord word : words) {
    crc = CrcWord(crc, word);
  }
  return crc;
}

bool IsFlashServiceProgram(HostWord secondWord, std::span<const HostWord> program) {
  if (program.size() < kMinProgramWords || program.size() > kMaxProgramWords) {
    return false;
  }
  if ((program.front() & kWordMask) != kProgramSignature) {
    return false;
  }
  return (program.back() & kWordMask) ==
         ProgramChecksum(secondWord, program.first(program.size() - 1));
}

std::vector<HostWord> MakeFlashServiceProgram(std::span<const HostWord> body, HostWord secondWord) {
  std::vector<HostWord> program;
  program.reserve(body.size() + 2);
  program.push_back(kProgramSignature);
  program.insert(program.end(), body.begin(), body.end());
  program.push_back(ProgramChecksum(secondWord, program));
  return program;
}

std::vector<HostWord> MakeBootStream(std::span<const HostWord> program, HostWord secondWord) {
  std::vector<HostWord> stream;
  stream.reserve(program.size() + 2);
  stream.push_back(static_cast<HostWord>(program.size()));
  stream.push_back(secondWord);
  stream.insert(stream.end(), program.begin(), program.end());
  return stream;
}

}  // namespace fu::sim
