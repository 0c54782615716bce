#pragma once
// The backup file of a card's flash area: 65,536 entries of 4 bytes, little-endian,
// entry k holding the flash byte at 0xD00000 + k in bits 0-7 (bits 8-31 zero), then
// the parity word and the count word of the entries, also 32-bit little-endian.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/host_word.h"

namespace fu {

inline constexpr std::uint32_t kBackupAreaStart = 0xD00000;
inline constexpr std::size_t kBackupWords = 0x10000;
inline constexpr std::size_t kBackupEntryBytes = 4;
inline constexpr std::size_t kBackupFileSize = kBackupWords * kBackupEntryBytes + 8;  // 262,152
// The card record starts at 0xD01000, that is this far into the backed-up area.
inline constexpr std::size_t kBackupRecordOffset = 0x1000;

// How many of the words have bit 0 set.
std::uint32_t OddByteCount(std::span<const HostWord> words);
// 1 when OddByteCount is even (0 included), 0 when it is odd.
std::uint32_t OddByteParity(std::span<const HostWord> words);

// The words as 4-byte little-endian entries, each as it is held (all 32 bits), then
// OddByteParity and OddByteCount: 4n + 8 bytes. For the 65,536 words of a flash
// area this is a backup file.
std::vector<std::uint8_t> EncodeBlockWithChecks(std::span<const HostWord> words);

// What is wrong with a backup file, checked in this order.
enum class BackupCheck {
  Ok,
  WrongSize,            // not 262,152 bytes
  EntryNotAByte,        // an entry has one of bits 8-31 set
  ParityWrong,          // the count word is right, the parity word is not
  CountWrong,           // the parity word is right, the count word is not
  ParityAndCountWrong,  // both check words are wrong
};

struct BackupFile {
  BackupCheck check = BackupCheck::WrongSize;
  std::size_t size = 0;            // bytes given
  std::size_t badEntry = 0;        // EntryNotAByte: the first such entry
  HostWord badEntryValue = 0;      // and its value
  std::uint32_t storedParity = 0;  // the check words as stored and as computed from
  std::uint32_t storedCount = 0;   // the entries; set whenever flash is
  std::uint32_t parity = 0;
  std::uint32_t count = 0;
  // The 65,536 flash bytes, present whenever every entry is a byte, even when a check
  // word is wrong; only a file whose check is Ok may be written back to a card.
  std::vector<std::uint8_t> flash;

  bool Restorable() const { return check == BackupCheck::Ok; }
};

BackupFile ParseBackupFile(std::span<const std::uint8_t> bytes);

// One German line (code page 1252) that says what the check found, with the
// numbers involved.
std::string BackupCheckText(const BackupFile& file);

}  // namespace fu
