#pragma once
// The hardware-access driver: installed and started as the kernel service
// "HWACCESS" on the NT family, loaded as "HWAccess.VxD" on Windows 9x, and opened
// as the one driver handle of the program.

#include <string_view>

#include "platform/message_service.h"
#include "platform/protocol.h"
#include "platform/system_calls.h"

namespace fu {

namespace driver {
inline constexpr std::string_view kServiceName = "HWACCESS";
inline constexpr std::string_view kDriverFile = "HWACCESS.SYS";
inline constexpr std::string_view kDeviceNt = "\\\\.\\Dev_HWACCESS";
inline constexpr std::string_view kVxdFile = "HWAccess.VxD";
inline constexpr std::string_view kVxdFallback = "C:\\HWAccess.VxD";
}  // namespace driver

class DriverService {
 public:
  DriverService(SystemCalls& system, MessageService& messages, Protocol& protocol = NoProtocol())
      : system_(system), messages_(messages), protocol_(protocol) {}

  // Open the device; else start the service, installing it afresh when needed,
  // and open again.
  bool OpenDriver();
  bool OpenDriverDevice();
  bool CloseDriverDevice();
  bool InstallDriverService();
  bool StartDriverService();
  bool DeleteDriverService();
  // Stop, interrogate and start the service; shows "Failed in Stop Service" and
  // "Failed in Delete Service: " + error code. False only when the service
  // manager or the service cannot be opened.
  bool RestartDriverService();

  // The result of the last open: 0 before the first, kInvalidHandle after a
  // failed one. Closing does not change it.
  Handle DriverHandle() const { return handle_; }

 private:
  // Shows the German message and answers true for a program path too long to use.
  bool RefusedModulePath(std::string_view module_path);
  bool IsWindows9x() { return system_.PlatformId() == win::VER_PLATFORM_WIN32_WINDOWS; }
  bool IsNt() { return system_.PlatformId() == win::VER_PLATFORM_WIN32_NT; }
  // Records "Treiber: " + what, with the system's last error code when asked.
  void Note(std::string_view what, bool with_error = false, std::string_view name = {});

  SystemCalls& system_;
  MessageService& messages_;
  Protocol& protocol_;
  Handle handle_ = 0;
  bool path_refused_ = false;  // the too-long path was shown in this OpenDriver
};

}  // namespace fu
