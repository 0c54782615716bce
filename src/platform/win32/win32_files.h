#pragma once
// Files on Windows: CreateFileA, ReadFile, WriteFile, FlushFileBuffers,
// CloseHandle, MoveFileExA (MoveFileA on Windows 9x) and DeleteFileA, each
// failure raised as FileError with the system's error code.

#include "platform/files.h"

namespace fu {

class Win32Files : public Files {
 public:
  std::unique_ptr<File> Create(std::string_view path) override;
  std::unique_ptr<File> OpenAppend(std::string_view path) override;
  std::unique_ptr<File> OpenRead(std::string_view path) override;
  // True for an existing file, false for a folder or nothing.
  bool Exists(std::string_view path) override;
  void Rename(std::string_view from, std::string_view to) override;
  void Remove(std::string_view path) override;
};

}  // namespace fu
