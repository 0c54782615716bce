#pragma once
// Reading the input files and writing the output files of the flashrecord program.
// Paths are narrow strings in the system's own encoding (the ANSI code page on
// Windows, UTF-8 elsewhere), handed to the standard streams as they are, so that
// the program runs on every Windows the product supports.
// Failures come back as German texts (code page 1252), never as exceptions.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fu::flashrecord {

struct InputFile {
  std::vector<std::uint8_t> bytes;
  std::string error;  // empty when the file was read
};

// Reads at most limit + 1 bytes: enough to tell that a file is too large without
// reading all of it.
InputFile ReadInputFile(const std::string& path, std::size_t limit);

// Writes the bytes to a file beside path and renames it to path, so that path ends
// up either complete or as it was. Returns the error text, empty on success.
std::string WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace fu::flashrecord
