#include "sim/host_os.h"

#include <cerrno>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace fu::sim {

#ifdef _WIN32

// A file opened without sharing cannot be opened again until its handle closes.
FolderLock::FolderLock(const std::filesystem::path& lock_file) {
  const HANDLE file = ::CreateFileW(lock_file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    handle_ = reinterpret_cast<std::intptr_t>(file);
    held_ = true;
  } else if (const DWORD error = ::GetLastError(); error != ERROR_SHARING_VIOLATION) {
    openError_ = std::error_code(static_cast<int>(error), std::system_category());
  }
}

FolderLock::~FolderLock() {
  if (held_) {
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  }
}

std::filesystem::path DefaultPcFolder() {
  const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA");
  const std::filesystem::path base = local != nullptr && *local != 0 ? local : L".";
  return base / L"FlashUpdate" / L"SimPC";
}

#else

// flock belongs to the open file description: a second open, even in the same
// program, does not get it.
FolderLock::FolderLock(const std::filesystem::path& lock_file) {
  const int fd = ::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    openError_ = std::error_code(errno, std::generic_category());
    return;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  handle_ = fd;
  held_ = true;
}

FolderLock::~FolderLock() {
  if (held_) {
    ::close(static_cast<int>(handle_));
  }
}

std::filesystem::path DefaultPcFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && *state == '/') {
    return std::filesystem::path(state) / "flashupdate" / "pc";
  }
  const char* home = std::getenv("HOME");
  const std::filesystem::path base = home != nullptr && *home != 0 ? home : ".";
  return base / ".local" / "state" / "flashupdate" / "pc";
}

#endif

#ifdef _WIN32

bool SyncToDisk(const std::filesystem::path& path, bool folder) {
  if (folder) {
    return true;
  }
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  const bool ok = ::FlushFileBuffers(file) != 0;
  ::CloseHandle(file);
  return ok;
}

#else

bool SyncToDisk(const std::filesystem::path& path, bool folder) {
  const int fd = ::open(path.c_str(), folder ? O_RDONLY | O_DIRECTORY : O_RDONLY);
  if (fd < 0) {
    return false;
  }
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

#endif

}  // namespace fu::sim
