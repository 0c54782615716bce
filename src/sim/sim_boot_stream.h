#pragma once
// The boot stream the DSP's boot loader takes after the boot host command:
// word 0 the number N of program words, word 1 a second word (the program's
// load address), then the N program words. Only the low 24 bits of each word
// count. The loader starts the flash service only for a program it recognises:
//   - 3 <= N <= kMaxProgramWords,
//   - the first program word is kProgramSignature,
//   - the last program word is the CRC-24 of the second word and all program
//     words before the last one.
// A damaged, shortened or reordered program fails the check.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/host_word.h"

namespace fu::sim {

inline constexpr std::uint32_t kWordMask = 0xFFFFFF;
inline constexpr std::uint32_t kProgramSignature = 0x3C5AF1;
inline constexpr std::uint32_t kMinProgramWords = 3;
inline constexpr std::uint32_t kMaxProgramWords = 4096;

// CRC-24 (polynomial 0x864CFB, start value 0xB704CE) over the low 24 bits of
// the second word and then of each given word, three bytes each, high byte first.
std::uint32_t ProgramChecksum(HostWord secondWord, std::span<const HostWord> words);

// Whether the boot loader starts the flash service for this program.
bool IsFlashServiceProgram(HostWord secondWord, std::span<const HostWord> program);

// A program the boot loader accepts: the signature, the body, the checksum.
std::vector<HostWord> MakeFlashServiceProgram(std::span<const HostWord> body, HostWord secondWord);

// The stream as sent: N, the second word, the program words unchanged.
std::vector<HostWord> MakeBootStream(std::span<const HostWord> program, HostWord secondWord);

}  // namespace fu::sim
