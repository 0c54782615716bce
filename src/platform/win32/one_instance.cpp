#include "platform/win32/one_instance.h"

#include "platform/win32/windows_api.h"

namespace fu {

namespace {

constexpr std::string_view kName = "FlashUpdate.EinProgrammJePC";
constexpr std::string_view kGlobalPrefix = "Global\\";

}  // namespace

std::string OneInstanceName(unsigned long platform_id, unsigned long major_version) {
  std::string name;
  if (platform_id == VER_PLATFORM_WIN32_NT && major_version >= 5) {
    name = kGlobalPrefix;
  }
  name += kName;
  return name;
}

OneInstance::OneInstance() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!::GetVersionExA(&version)) {
    return;
  }
  const std::string name = OneInstanceName(version.dwPlatformId, version.dwMajorVersion);
  mutex_ = ::CreateMutexA(nullptr, FALSE, name.c_str());
  DWORD error = ::GetLastError();
  if (mutex_ == nullptr && error != ERROR_ACCESS_DENIED && name.starts_with(kGlobalPrefix)) {
    // A system without the global namespace (an NT 4 with sessions, a
    // reduced one) refuses the prefix: the bare name still keeps this session's
    // programs apart.
    mutex_ = ::CreateMutexA(nullptr, FALSE, std::string(kName).c_str());
    error = ::GetLastError();
  }
  // ERROR_ACCESS_DENIED (no handle): another user's program holds the name.
  first_ = mutex_ != nullptr && error != ERROR_ALREADY_EXISTS;
}

OneInstance::~OneInstance() {
  if (mutex_ != nullptr) {
    ::CloseHandle(mutex_);
  }
}

}  // namespace fu
