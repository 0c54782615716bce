#include "platform/win32/win32_files.h"

#include <string>

#include "base/errors.h"
#include "platform/win32/windows_api.h"

namespace fu {

namespace {

[[noreturn]] void RaiseLastError() {
  throw FileError(static_cast<int>(::GetLastError()));
}

class Win32File final : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) {
      ::CloseHandle(handle_);
    }
  }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  HANDLE Handle() const { return handle_; }

  void Write(std::span<const std::uint8_t> bytes) override {
    CheckOpen();
    if (bytes.empty()) {
      return;
    }
    ::SetLastError(ERROR_SUCCESS);
    DWORD written = 0;
    if (!::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      RaiseLastError();
    }
    if (written < bytes.size()) {
      // A short write without a reason of its own is a full disk.
      const DWORD error = ::GetLastError();
      throw FileError(error != ERROR_SUCCESS ? static_cast<int>(error) : FileError::kDiskFull);
    }
  }

  void ReadExact(std::span<std::uint8_t> bytes) override {
    if (Read(bytes) != bytes.size()) {
      throw FileError(FileError::kReadPastEnd);
    }
  }

  std::vector<std::uint8_t> ReadToEnd() override {
    constexpr std::size_t kChunk = 64 * 1024;
    std::vector<std::uint8_t> out;
    while (true) {
      const std::size_t had = out.size();
      out.resize(had + kChunk);
      const std::size_t got = Read(std::span(out).subspan(had));
      out.resize(had + got);
      if (got < kChunk) {
        return out;
      }
    }
  }

  std::vector<std::uint8_t> ReadAtMost(std::size_t limit) override {
    std::vector<std::uint8_t> out(limit);
    out.resize(Read(out));
    return out;
  }

  void Flush() override {
    CheckOpen();
    if (!::FlushFileBuffers(handle_)) {
      RaiseLastError();
    }
  }

  void Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) {
      return;
    }
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!::CloseHandle(handle)) {
      RaiseLastError();
    }
  }

 private:
  void CheckOpen() const {
    if (handle_ == INVALID_HANDLE_VALUE) {
      throw FileError(ERROR_INVALID_HANDLE);
    }
  }

  // Reads until bytes is full or the file ends; the byte count read.
  std::size_t Read(std::span<std::uint8_t> bytes) {
    CheckOpen();
    std::size_t total = 0;
    while (total < bytes.size()) {
      DWORD got = 0;
      if (!::ReadFile(handle_, bytes.data() + total, static_cast<DWORD>(bytes.size() - total), &got,
                      nullptr)) {
        RaiseLastError();
      }
      if (got == 0) {
        break;  // end of file
      }
      total += got;
    }
    return total;
  }

  HANDLE handle_;
};

std::unique_ptr<Win32File> Open(std::string_view path, DWORD access, DWORD share, DWORD creation) {
  const std::string name(path);
  const HANDLE handle =
      ::CreateFileA(name.c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    RaiseLastError();
  }
  return std::make_unique<Win32File>(handle);
}

}  // namespace

std::unique_ptr<File> Win32Files::Create(std::string_view path) {
  return Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
}

std::unique_ptr<File> Win32Files::OpenAppend(std::string_view path) {
  auto file = Open(path, GENERIC_WRITE, 0, OPEN_ALWAYS);
  // SetFilePointer rather than its Ex form, which Windows 9x lacks.
  LONG high = 0;
  ::SetLastError(NO_ERROR);
  if (::SetFilePointer(file->Handle(), 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
      ::GetLastError() != NO_ERROR) {
    RaiseLastError();
  }
  return file;
}

std::unique_ptr<File> Win32Files::OpenRead(std::string_view path) {
  return Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

bool Win32Files::Exists(std::string_view path) {
  const std::string name(path);
  const DWORD attributes = ::GetFileAttributesA(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void Win32Files::Rename(std::string_view from, std::string_view to) {
  const std::string source(from);
  const std::string target(to);
  // Write-through: the new name is on the disk when the call returns. Without
  // MOVEFILE_REPLACE_EXISTING an existing target is never replaced: it fails
  // with 183. Windows 9x has MoveFileExA only as a stub that fails with 120;
  // there MoveFileA renames the same way, without the write-through.
  if (::MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    return;
  }
  if (::GetLastError() != ERROR_CALL_NOT_IMPLEMENTED ||
      !::MoveFileA(source.c_str(), target.c_str())) {
    RaiseLastError();
  }
}

void Win32Files::Remove(std::string_view path) {
  const std::string name(path);
  if (!::DeleteFileA(name.c_str())) {
    RaiseLastError();
  }
}

}  // namespace fu
