#pragma once
// Drive C: of the simulated PC, kept in a host folder that is the drive's root.
//
// Windows paths ("C:\FLASH_0_05.03.2003.SAV", "c:/programme/x.pci") are resolved
// the way Windows does it: the drive letter and every name are matched without
// regard to case (code page 1252 letters, so "PRÜF" finds "prüf"); '\' and '/'
// both separate names; "." and ".." are followed, ".." stopping at the root;
// repeated separators count as one. Trailing dots and blanks of a name are
// dropped, as Windows drops them, so "A.SAV." and "A.SAV " name "A.SAV"; a name
// of nothing but dots and blanks is invalid. Names go to the host as UTF-8; a new
// name keeps the case it was given, an existing one keeps its own.
//
// Error codes (FileError): another drive or a path without "C:\" 3; a character
// Windows forbids in names (: * ? " < > | and control characters) 123; a folder
// on the way missing 3; a file to read missing 2; a folder opened as a file, or
// a create or write on the read-only drive 5; a write beyond the free space 112
// (nothing of that write is stored; what earlier writes stored stays); a short
// read 100; an open file used after Close 6; a rename onto an existing file
// 183, a rename or remove of a missing file 2; a flush of a file opened for
// reading 5. Should the host itself fail, a
// write or a close raises 29 and a read 30. A path that ends with a separator
// names a folder: opening it as a file gives 5 when the folder exists, else 123.
// Names are checked before folders are looked up, and the path before the
// read-only state.
//
// Written bytes go to the host file as they come, so the drive outlives the
// program. Flush forces the file and its folder onto the host's disk; Rename and
// Remove force the folders they change. Files stay usable when the drive object
// goes.
//
// Power cuts. What the host folder holds is what the program sees; beside it the
// drive keeps what a power cut of the simulated PC would leave:
//   - A file's content becomes durable when the file is flushed. Whatever was
//     written, or emptied by Create, after its last flush is not durable.
//   - Folder changes (a new name made by Create or OpenAppend, Remove, Rename)
//     become durable, together with every earlier one, at a flush of any file
//     on the drive, as a file system that writes its log in order does. Rename
//     is write-through: it is durable when it returns, and so is every folder
//     change before it.
//   - LosePower leaves the durable state: a file created and never flushed is
//     gone, or empty when a later flush or rename made its name durable; an
//     emptied file has its old durable content; a removed or renamed file is
//     back under its old name unless that change was made durable. Of the last
//     write not made durable, its first half (rounded down) stays when it
//     appended at the durable end of a file with a durable name; every other
//     change that was not durable is lost.
//   - The changes counted for CutPowerAt are Create, OpenAppend of a missing
//     file, each Write that stores bytes, Flush, Rename and Remove. A cut Write
//     stores its first half, then throws PowerCut; any other cut change throws
//     PowerCut before it takes effect. Failed calls are not counted.
// Set-up (Install, InstallFolder, Uninstall) is durable at once.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace fu::sim {

namespace sim_drive_detail {
struct DriveState;
}

class SimDrive : public fu::Files {
 public:
  // root is drive C:'s root folder on the host; it is created when missing.
  explicit SimDrive(std::filesystem::path root);
  ~SimDrive() override;
  SimDrive(const SimDrive&) = delete;
  SimDrive& operator=(const SimDrive&) = delete;

  std::unique_ptr<File> Create(std::string_view path) override;
  std::unique_ptr<File> OpenAppend(std::string_view path) override;
  std::unique_ptr<File> OpenRead(std::string_view path) override;
  // True for an existing file (not a folder); false also for a path that is
  // invalid or on another drive.
  bool Exists(std::string_view path) override;
  void Rename(std::string_view from, std::string_view to) override;
  void Remove(std::string_view path) override;

  // Faults on demand. Free space is unlimited until set; std::nullopt lifts the
  // limit again. Writes use it up; emptying a file by Create gives its bytes back.
  void SetReadOnly(bool read_only);
  bool ReadOnly() const;
  void SetFreeSpace(std::optional<std::uint64_t> bytes);
  std::optional<std::uint64_t> FreeSpace() const;
  // Reads that come back altered while the file stays as written: in the nth
  // file opened for reading from now on (0: in every one), the byte at `offset`
  // reads with its bits inverted. Kept for this drive object only. AlteredBytes
  // counts the bytes handed out altered.
  struct AlteredRead {
    std::uint32_t nthOpen = 0;
    std::uint64_t offset = 0;
  };
  void SetAlteredRead(std::optional<AlteredRead> fault);
  std::uint64_t AlteredBytes() const;

  // What went through the port: files created (or emptied) by Create, and Write
  // calls that stored bytes with their byte total. Failed calls do not count.
  int FilesCreated() const;
  int Writes() const;
  std::uint64_t BytesWritten() const;
  // The changes to the drive in their order, one line each with the path as the
  // caller gave it: "create P", "append P", "flush P", "rename P > Q",
  // "remove P". Writes are counted above, not listed.
  const std::vector<std::string>& Log() const;
  // True when nothing was created, written, renamed or removed since the start
  // or ResetCounts.
  bool Untouched() const { return FilesCreated() == 0 && Writes() == 0 && Log().empty(); }
  void ResetCounts();

  // Power cuts (see above). CutPowerAt(n): the n-th change from now on fails
  // (1 the next; 0 switches the cut off). Changes counts the changes since the
  // drive was made. LosePower rewrites the host folder to the durable state,
  // after which all of it counts as durable, files opened before are dead
  // (FileError 6) and no cut is pending; FileError 29 when the host refuses.
  void CutPowerAt(std::uint32_t nth);
  std::uint32_t Changes() const;
  void LosePower();

  // Setting up and looking at the drive, for the simulated PC and tests: these
  // ignore the faults and do not count. Missing folders are created; an
  // existing file is replaced.
  void Install(std::string_view path, std::span<const std::uint8_t> bytes);
  void InstallFolder(std::string_view path);
  // Removes a file; nothing when there is none.
  void Uninstall(std::string_view path);
  // The whole file; FileError as OpenRead.
  std::vector<std::uint8_t> Contents(std::string_view path) const;
  // Names (code page 1252) of the files and folders in a folder, sorted;
  // FileError 3 when there is no such folder.
  std::vector<std::string> List(std::string_view folder = "C:\\") const;
  // The host path of an existing file or folder.
  std::optional<std::filesystem::path> HostPath(std::string_view path) const;
  const std::filesystem::path& Root() const;

 private:
  std::shared_ptr<sim_drive_detail::DriveState> state_;
};

}  // namespace fu::sim
