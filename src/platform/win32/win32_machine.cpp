#include "platform/win32/win32_machine.h"

#include "platform/win32/windows_api.h"

namespace fu {

std::optional<std::string> Win32Machine::DrivePathOf(const std::string& host_file) {
  char full[MAX_PATH];
  char* name = nullptr;
  const DWORD size = ::GetFullPathNameA(host_file.c_str(), MAX_PATH, full, &name);
  if (size == 0 || size >= MAX_PATH) {
    return host_file;
  }
  return std::string(full, size);
}

std::string Win32Machine::Platform() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!::GetVersionExA(&version)) {
    return "Windows (Version unbekannt)";
  }
  const bool nt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  // On 9x the low word of the build number is the build.
  const DWORD build = nt ? version.dwBuildNumber : (version.dwBuildNumber & 0xFFFF);
  std::string text = "Windows " + std::to_string(version.dwMajorVersion) + "." +
                     std::to_string(version.dwMinorVersion) + "." + std::to_string(build) +
                     (nt ? " (NT)" : " (9x)");
  if (version.szCSDVersion[0] != '\0') {
    text += " ";
    text += version.szCSDVersion;
  }
  return text;
}

}  // namespace fu
