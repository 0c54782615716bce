#pragma once
// The driver layer's system calls on Windows: each method is the Win32 call of
// the same name, with the arguments the port leaves out fixed to none.

#include "platform/system_calls.h"

namespace fu {

class Win32SystemCalls : public SystemCalls {
 public:
  std::string GetModuleFileName() override;
  Handle CreateFile(std::string_view name, std::uint32_t access, std::uint32_t share,
                    std::uint32_t creation, std::uint32_t flags) override;
  bool CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) override;
  bool CloseHandle(Handle handle) override;
  std::uint32_t GetLastError() override;
  int PlatformId() override;

  Handle OpenSCManager(std::uint32_t access) override;
  Handle CreateService(Handle manager, const ServiceRegistration& service) override;
  Handle OpenService(Handle manager, std::string_view name, std::uint32_t access) override;
  bool StartService(Handle service) override;
  bool ControlService(Handle service, std::uint32_t control) override;
  bool DeleteService(Handle service) override;
  bool CloseServiceHandle(Handle handle) override;

  bool DeviceIoControl(Handle device, std::uint32_t code, std::span<const std::uint8_t> input,
                       std::span<std::uint8_t> output, std::uint32_t& returned) override;

  // The buffer's own address: this is the 32-bit program.
  std::uint32_t ProcessAddress(const void* buffer) override;
};

}  // namespace fu
