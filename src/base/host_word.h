#pragma once
// A host word: one 32-bit value moved through a card's host interface. The DSP
// uses its low 24 bits; flash data travel one byte per word, in bits 0 to 7.

#include <cstdint>

namespace fu {

using HostWord = std::uint32_t;

// Returned instead of a word or a handle to mean failure; no 24-bit DSP word has it.
inline constexpr HostWord ERROR_WORD = 0x55000000;

}  // namespace fu
