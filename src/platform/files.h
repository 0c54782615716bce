#pragma once
// Port: files by Windows path ("C:\FLASH_0_05.03.2003.SAV"). Every failure raises
// FileError with the system's error code (2 not found, 3 bad path, 5 access
// denied, 100 short read, 112 disk full, 183 already exists, ...).
//
// A file the card's recovery depends on is made durable by Flush before the
// card is touched; a new file is written under a temporary name, flushed and
// then renamed, so that its real name never holds half a file.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace fu {

// An open file; closed by Close or, at the latest, by its destructor.
class File {
 public:
  virtual ~File() = default;
  virtual void Write(std::span<const std::uint8_t> bytes) = 0;
  // Fills bytes completely from the current position; fewer bytes left in the
  // file raise FileError 100.
  virtual void ReadExact(std::span<std::uint8_t> bytes) = 0;
  // Everything from the current position to the end.
  virtual std::vector<std::uint8_t> ReadToEnd() = 0;
  // The same, but never more than limit bytes: fewer only when the file ends
  // first. Whoever must not take a file larger than n asks for n + 1 and looks
  // at the size, so a device or pipe that never ends cannot keep it reading.
  virtual std::vector<std::uint8_t> ReadAtMost(std::size_t limit) = 0;
  // Forces what was written so far onto the disk (not only into the system's
  // cache); a file opened for reading raises FileError 5.
  virtual void Flush() = 0;
  // A failure to flush what was written raises FileError.
  virtual void Close() = 0;
};

class Files {
 public:
  virtual ~Files() = default;
  // Creates the file, or empties an existing one, for writing.
  virtual std::unique_ptr<File> Create(std::string_view path) = 0;
  // Opens the file for writing at its end; a missing file is created.
  virtual std::unique_ptr<File> OpenAppend(std::string_view path) = 0;
  virtual std::unique_ptr<File> OpenRead(std::string_view path) = 0;
  virtual bool Exists(std::string_view path) = 0;
  // Gives the file a new name; an existing file under the new name raises
  // FileError 183 and is left as it is. Write-through: the new name is on the
  // disk when the call returns (except on Windows 9x, which cannot do that).
  virtual void Rename(std::string_view from, std::string_view to) = 0;
  virtual void Remove(std::string_view path) = 0;
};

}  // namespace fu
