// flashrecord's input detection: any file handed to "show".

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "flashrecord/flashrecord.h"

// The first byte picks the file's size, so that every kind of input is reached:
// a revision-1.2 record, a revision-1.3 image, a backup file, or the bytes as
// they are.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path file =
      std::filesystem::temp_directory_path() / "fuzz-flashrecord-input.bin";
  std::vector<char> bytes(data, data + size);
  if (!bytes.empty()) {
    constexpr std::size_t kSizes[] = {1736, 7174, 262152};
    const std::uint8_t pick = data[0] % 4;
    bytes.erase(bytes.begin());
    if (pick < 3) {
      bytes.resize(kSizes[pick], 0);
    }
  }
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::ostringstream out, err;
  std::istringstream in;
  const std::vector<std::string> args = {"show", file.string(), "--full"};
  fu::flashrecord::RunFlashRecord(args, out, err, in, false);
  return 0;
}
