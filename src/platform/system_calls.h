#pragma once
// Port: the operating-system calls of the driver layer, shaped after the Win32
// functions they stand for. Handles are the system's handle values; a function
// that fails gives the value the Win32 call gives (0 or kInvalidHandle, false)
// and leaves its error code for GetLastError.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace fu {

using Handle = std::uintptr_t;
inline constexpr Handle kInvalidHandle = static_cast<Handle>(-1);  // INVALID_HANDLE_VALUE

namespace win {
inline constexpr int VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr int VER_PLATFORM_WIN32_NT = 2;

inline constexpr std::uint32_t GENERIC_READ = 0x80000000;
inline constexpr std::uint32_t FILE_SHARE_READ = 0x1;
inline constexpr std::uint32_t CREATE_NEW = 1;
inline constexpr std::uint32_t OPEN_EXISTING = 3;
inline constexpr std::uint32_t FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;

inline constexpr std::uint32_t SC_MANAGER_CONNECT = 0x1;
inline constexpr std::uint32_t SC_MANAGER_ALL_RIGHTS =
    0x3F;  // every manager right, no standard ones
inline constexpr std::uint32_t SERVICE_ALL_ACCESS = 0xF01FF;
inline constexpr std::uint32_t SERVICE_KERNEL_DRIVER = 1;
inline constexpr std::uint32_t SERVICE_AUTO_START = 2;
inline constexpr std::uint32_t SERVICE_ERROR_NORMAL = 1;
inline constexpr std::uint32_t SERVICE_CONTROL_STOP = 1;
inline constexpr std::uint32_t SERVICE_CONTROL_INTERROGATE = 4;

inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
}  // namespace win

// What CreateServiceA is given; load order group, tag, dependencies, account
// and password are always none.
struct ServiceRegistration {
  std::string name;
  std::string displayName;
  std::uint32_t desiredAccess = 0;
  std::uint32_t serviceType = 0;
  std::uint32_t startType = 0;
  std::uint32_t errorControl = 0;
  std::string binaryPath;
};

class SystemCalls {
 public:
  virtual ~SystemCalls() = default;

  // The running program's full path (GetModuleFileNameA), whole even when
  // longer than the program accepts; empty when the call gives 0.
  virtual std::string GetModuleFileName() = 0;
  virtual Handle CreateFile(std::string_view name, std::uint32_t access, std::uint32_t share,
                            std::uint32_t creation, std::uint32_t flags) = 0;
  virtual bool CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) = 0;
  virtual bool CloseHandle(Handle handle) = 0;
  virtual std::uint32_t GetLastError() = 0;
  // VER_PLATFORM_WIN32_WINDOWS or VER_PLATFORM_WIN32_NT.
  virtual int PlatformId() = 0;

  // Service control manager; 0 is "no handle".
  virtual Handle OpenSCManager(std::uint32_t access) = 0;
  virtual Handle CreateService(Handle manager, const ServiceRegistration& service) = 0;
  virtual Handle OpenService(Handle manager, std::string_view name, std::uint32_t access) = 0;
  virtual bool StartService(Handle service) = 0;
  virtual bool ControlService(Handle service, std::uint32_t control) = 0;
  virtual bool DeleteService(Handle service) = 0;
  virtual bool CloseServiceHandle(Handle handle) = 0;

  // DeviceIoControl without an overlapped structure; returned receives the byte
  // count the driver answered.
  virtual bool DeviceIoControl(Handle device, std::uint32_t code,
                               std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                               std::uint32_t& returned) = 0;

  // The 32-bit address by which the driver knows a buffer of this process. The
  // driver request block carries such addresses: in the 32-bit Windows program
  // they are the buffer's own address; elsewhere the port hands out a value that
  // stands for the buffer, so no host pointer is ever cut to 32 bits.
  virtual std::uint32_t ProcessAddress(const void* buffer) = 0;
};

}  // namespace fu
