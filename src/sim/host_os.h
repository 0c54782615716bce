#pragma once
// What the simulated PC needs from the host's operating system and cannot say
// in standard C++: a lock on its folder that dies with the program, and where
// its state lives by default. The only code of the simulated PC that differs by host.

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace fu::sim {

// An exclusive lock held through an open lock file. The operating system drops
// it when the program ends in any way, so a crashed holder blocks nothing.
class FolderLock {
 public:
  // Creates the lock file when missing; Held() tells whether the lock was had.
  // Not held with no OpenError(): another program holds it. Not held with an
  // OpenError(): the lock file itself could not be opened or created.
  explicit FolderLock(const std::filesystem::path& lock_file);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool Held() const { return held_; }
  const std::error_code& OpenError() const { return openError_; }

 private:
  bool held_ = false;
  std::error_code openError_;
  std::intptr_t handle_ = -1;  // a file descriptor or a Windows handle
};

// Linux: $XDG_STATE_HOME/flashupdate/pc, else ~/.local/state/flashupdate/pc.
// Windows: %LOCALAPPDATA%\FlashUpdate\SimPC.
// Relative to the working folder when the environment names no home.
std::filesystem::path DefaultPcFolder();

// Forces a host file, or a folder's list of names, onto the disk. False when the
// host refuses. Windows hosts flush files only; a folder there counts as done.
bool SyncToDisk(const std::filesystem::path& path, bool folder);

}  // namespace fu::sim
