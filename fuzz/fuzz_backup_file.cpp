// The backup file a restore reads: only a file that parses whole may be written
// back, and then its flash bytes must encode back to the same file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "flash/backup_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Short inputs are stretched to a whole file, so the checks past the size test
  // are reached too.
  std::vector<std::uint8_t> bytes(data, data + size);
  if (!bytes.empty() && bytes[0] == 0xA5) {
    bytes.resize(fu::kBackupFileSize, 0);
  }
  const fu::BackupFile file = fu::ParseBackupFile(bytes);
  fu::BackupCheckText(file);
  if (file.Restorable()) {
    const std::vector<fu::HostWord> words(file.flash.begin(), file.flash.end());
    if (fu::EncodeBlockWithChecks(words) != bytes) {
      __builtin_trap();
    }
  }
  return 0;
}
