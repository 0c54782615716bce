#include "platform/win32/win32_system_calls.h"

#include "platform/win32/windows_api.h"

namespace fu {

namespace {

HANDLE ToHandle(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}
SC_HANDLE ToServiceHandle(Handle handle) {
  return reinterpret_cast<SC_HANDLE>(handle);
}
Handle FromHandle(const void* handle) {
  return reinterpret_cast<Handle>(handle);
}

}  // namespace

std::string Win32SystemCalls::GetModuleFileName() {
  // Larger than any path the program accepts, so that a long path comes back
  // long (and is refused above) instead of cut to a wrong directory.
  char path[1024];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  // The length, not the terminating zero: a path cut at the buffer's end has none.
  return std::string(path, length);
}

Handle Win32SystemCalls::CreateFile(std::string_view name, std::uint32_t access,
                                    std::uint32_t share, std::uint32_t creation,
                                    std::uint32_t flags) {
  const std::string path(name);
  return FromHandle(::CreateFileA(path.c_str(), access, share, nullptr, creation, flags, nullptr));
}

bool Win32SystemCalls::CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) {
  const std::string source(from);
  const std::string target(to);
  return ::CopyFileA(source.c_str(), target.c_str(), fail_if_exists ? TRUE : FALSE) != FALSE;
}

bool Win32SystemCalls::CloseHandle(Handle handle) {
  return ::CloseHandle(ToHandle(handle)) != FALSE;
}

std::uint32_t Win32SystemCalls::GetLastError() {
  return ::GetLastError();
}

int Win32SystemCalls::PlatformId() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!::GetVersionExA(&info)) {
    return 0;  // neither family: no driver is opened
  }
  return static_cast<int>(info.dwPlatformId);
}

Handle Win32SystemCalls::OpenSCManager(std::uint32_t access) {
  return FromHandle(::OpenSCManagerA(nullptr, nullptr, access));
}

Handle Win32SystemCalls::CreateService(Handle manager, const ServiceRegistration& service) {
  return FromHandle(::CreateServiceA(
      ToServiceHandle(manager), service.name.c_str(), service.displayName.c_str(),
      service.desiredAccess, service.serviceType, service.startType, service.errorControl,
      service.binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
}

Handle Win32SystemCalls::OpenService(Handle manager, std::string_view name, std::uint32_t access) {
  const std::string service(name);
  return FromHandle(::OpenServiceA(ToServiceHandle(manager), service.c_str(), access));
}

bool Win32SystemCalls::StartService(Handle service) {
  return ::StartServiceA(ToServiceHandle(service), 0, nullptr) != FALSE;
}

bool Win32SystemCalls::ControlService(Handle service, std::uint32_t control) {
  SERVICE_STATUS status{};  // not used by the driver layer
  return ::ControlService(ToServiceHandle(service), control, &status) != FALSE;
}

bool Win32SystemCalls::DeleteService(Handle service) {
  return ::DeleteService(ToServiceHandle(service)) != FALSE;
}

bool Win32SystemCalls::CloseServiceHandle(Handle handle) {
  return ::CloseServiceHandle(ToServiceHandle(handle)) != FALSE;
}

bool Win32SystemCalls::DeviceIoControl(Handle device, std::uint32_t code,
                                       std::span<const std::uint8_t> input,
                                       std::span<std::uint8_t> output, std::uint32_t& returned) {
  // The API takes the input buffer as non-const; it only reads it.
  void* in = input.empty() ? nullptr : const_cast<std::uint8_t*>(input.data());
  void* out = output.empty() ? nullptr : output.data();
  DWORD count = 0;
  const BOOL ok = ::DeviceIoControl(ToHandle(device), code, in, static_cast<DWORD>(input.size()),
                                    out, static_cast<DWORD>(output.size()), &count, nullptr);
  returned = count;
  return ok != FALSE;
}

std::uint32_t Win32SystemCalls::ProcessAddress(const void* buffer) {
  static_assert(sizeof(void*) == 4, "the request block carries 32-bit addresses of this process");
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
}

}  // namespace fu
