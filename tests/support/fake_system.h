#pragma once
// System calls and port I/O as a script: each call is logged by name with its
// arguments, and answers what the test set up. Enough of a service control
// manager and a driver to follow the driver layer's roads call by call.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/port_io.h"
#include "platform/system_calls.h"

namespace fu::test {

class FakeSystem : public SystemCalls {
 public:
  static constexpr Handle kDevice = 0x1000;
  static constexpr Handle kManager = 0x2000;
  static constexpr Handle kService = 0x3000;

  std::string GetModuleFileName() override;
  Handle CreateFile(std::string_view name, std::uint32_t access, std::uint32_t share,
                    std::uint32_t creation, std::uint32_t flags) override;
  bool CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) override;
  bool CloseHandle(Handle handle) override;
  std::uint32_t GetLastError() override { return lastError; }
  int PlatformId() override { return platform; }
  Handle OpenSCManager(std::uint32_t access) override;
  Handle CreateService(Handle manager, const ServiceRegistration& service) override;
  Handle OpenService(Handle manager, std::string_view name, std::uint32_t access) override;
  bool StartService(Handle service) override;
  bool ControlService(Handle service, std::uint32_t control) override;
  bool DeleteService(Handle service) override;
  bool CloseServiceHandle(Handle handle) override;
  bool DeviceIoControl(Handle device, std::uint32_t code, std::span<const std::uint8_t> input,
                       std::span<std::uint8_t> output, std::uint32_t& returned) override;
  std::uint32_t ProcessAddress(const void*) override { return 0x0012F000; }

  // Calls that are not about the platform id, in order: "CreateFile \\.\Dev_HWACCESS", ...
  std::vector<std::string> calls;

  int platform = win::VER_PLATFORM_WIN32_NT;
  std::string modulePath = "C:\\Programme\\FlashUpdate\\FlashUpdate.exe";
  std::uint32_t lastError = 0;
  // Device names CreateFile opens; every other name fails with error 2.
  std::vector<std::string> openable;
  bool managerAvailable = true;
  std::optional<ServiceRegistration> service;  // the registered service
  bool serviceRunning = false;
  bool driverFilePresent = true;  // StartService succeeds only with it
  bool stopFails = false;
  // The driver: each request's input block, and its answer: the bytes written
  // to the output buffer and the byte count reported (nullopt: the call fails).
  std::vector<std::vector<std::uint8_t>> requests;
  std::function<std::optional<std::uint32_t>(std::uint32_t kind, std::span<std::uint8_t> out)>
      driver = [](std::uint32_t, std::span<std::uint8_t> out) {
        return std::optional<std::uint32_t>(static_cast<std::uint32_t>(out.size()));
      };
};

// PCI configuration mechanism #1 over a map of devices (bus, device) to their
// registers; everything else reads 0xFFFFFFFF.
class FakePci : public PortIo {
 public:
  void OutDword(std::uint16_t port, std::uint32_t value) override;
  std::uint32_t InDword(std::uint16_t port) override;

  void AddDevice(int bus, int device, std::vector<std::uint32_t> registers);
  void AddCard(int bus, int device, std::uint32_t bar0);

  std::uint64_t accesses = 0;
  std::uint64_t addressWrites = 0;
  std::vector<std::uint32_t> deviceStarts;  // addresses written for register 0

 private:
  std::map<std::uint32_t, std::vector<std::uint32_t>> devices_;  // key: bus << 8 | device
  std::uint32_t address_ = 0;
};

}  // namespace fu::test
