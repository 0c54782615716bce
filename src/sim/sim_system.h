#pragma once
// Windows and the hardware-access driver as the simulated PC shows them to the
// driver layer: the program's path, the platform, a service control manager
// with its service registry, the driver device, drive C: for CopyFile, and the
// driver's four requests.
//
// Service control manager (NT family only; on Windows 9x OpenSCManager fails
// with 120, as that system has none). Names compare without regard to case.
//   - OpenSCManager: 5 when the manager is refused on demand.
//   - CreateService: 5 without SC_MANAGER_CREATE_SERVICE on the manager handle,
//     1073 when the service exists, 1072 when it is marked for deletion.
//   - OpenService: 1060 when there is no such service.
//   - StartService: 1056 when it runs; 2 when its binary path names no file on
//     drive C: (what the NT family reports for a missing driver image).
//   - ControlService: STOP 1062 when stopped, 1052 when the stop fails on
//     demand; INTERROGATE 1062 when stopped.
//   - DeleteService: a stopped service goes at once; a running one is marked
//     for deletion and goes when it stops.
//   - Every call on a service handle needs its access right (5 without it) and
//     gives 1072 once the service is gone; a wrong handle gives 6.
// The driver device "\\.\Dev_HWACCESS" can be opened while a service whose
// binary is HWACCESS.SYS runs. Stopping the service leaves open handles
// working: the device goes only when its last handle is closed.
//
// Windows 9x: CreateFile("\\.\" + path of a VxD file) loads that VxD when the
// file exists on drive C:; the loader takes only short (8.3) names, so a path
// with a longer name fails with 2 as a missing file does. Closing the handle
// unloads it.
//
// Driver requests: DeviceIoControl with code 0x9C406000 and a 20-byte block
// (kind, address, length, output pointer, output size; little-endian). The
// block's output size must be the output buffer's size and its output pointer
// the buffer's ProcessAddress. Kinds 1 and 2 enable and disable a port range
// for this process and answer 0 bytes; kind 3 maps a card's window when the
// address is the window's physical address and the length at most its size,
// answering 4 bytes with the linear address (0 when nothing was mapped); kind
// 4 unmaps and answers the status 1, or 0 for an address it did not map.
// Port ranges and mappings belong to the process: closing the handle keeps them.
// Errors: 6 no open device handle, 1 another code, 87 another input size or
// kind or an output size that differs from the block's, 998 an output pointer
// that is not the buffer's, 122 an output buffer too small for the answer,
// 5 a port range refused on demand.
//
// A successful call leaves the last error alone, as Win32 calls do.

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_calls.h"
#include "sim/sim_card.h"
#include "sim/sim_drive.h"
#include "sim/sim_register_bus.h"

namespace fu::sim {

enum class Platform { kNt, kWindows9x };

namespace win_error {
inline constexpr std::uint32_t kInvalidFunction = 1;
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kFileExists = 80;
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kCallNotImplemented = 120;
inline constexpr std::uint32_t kInsufficientBuffer = 122;
inline constexpr std::uint32_t kInvalidName = 123;
inline constexpr std::uint32_t kNoAccess = 998;
inline constexpr std::uint32_t kInvalidServiceControl = 1052;
inline constexpr std::uint32_t kServiceAlreadyRunning = 1056;
inline constexpr std::uint32_t kServiceDoesNotExist = 1060;
inline constexpr std::uint32_t kServiceNotActive = 1062;
inline constexpr std::uint32_t kServiceMarkedForDelete = 1072;
inline constexpr std::uint32_t kServiceExists = 1073;
}  // namespace win_error

inline constexpr std::uint32_t kDriverIoControlCode = 0x9C406000;
inline constexpr std::size_t kDriverRequestSize = 20;
// Where the driver puts the first mapping; later ones follow a window apart.
inline constexpr LinearAddress kFirstMappingAddress = 0x40000000;

struct ServiceEntry {
  std::string name;
  std::string displayName;
  std::uint32_t serviceType = 0;
  std::uint32_t startType = 0;
  std::uint32_t errorControl = 0;
  std::string binaryPath;
  bool running = false;
  bool deletePending = false;  // deleted while running: goes when it stops

  friend bool operator==(const ServiceEntry&, const ServiceEntry&) = default;
};

struct DriverFaults {
  bool refuseServiceManager = false;  // OpenSCManager gives no handle (5)
  bool refusePorts = false;           // kind 1 fails (5): no port range is enabled
  bool refuseMap = false;             // kind 3 answers 0
  std::uint32_t refuseMapOf = 0;      // kind 3 answers 0 for this physical window only
  bool refuseUnmap = false;           // kind 4 answers the status 0
  bool failingStop = false;           // ControlService STOP fails (1052)

  friend bool operator==(const DriverFaults&, const DriverFaults&) = default;
};

struct SystemDiagnostics {
  std::uint64_t serviceManagerCalls = 0;  // every call of the service control manager
  std::uint64_t createFileCalls = 0;
  std::uint64_t copyFileCalls = 0;
  std::uint64_t requests = 0;        // DeviceIoControl calls
  std::uint64_t failedRequests = 0;  // of those, the ones that failed
  std::uint64_t maps = 0;            // windows mapped by kind 3
  std::uint64_t unmaps = 0;          // windows released by kind 4
  std::uint32_t vxdLoads = 0;        // successful loads of a VxD (Windows 9x)
};

class SimSystem : public fu::SystemCalls {
 public:
  // drive is drive C:; bus is where mapped windows appear.
  SimSystem(SimDrive& drive, SimRegisterBus& bus);
  SimSystem(const SimSystem&) = delete;
  SimSystem& operator=(const SimSystem&) = delete;

  // --- the port ---
  std::string GetModuleFileName() override;
  Handle CreateFile(std::string_view name, std::uint32_t access, std::uint32_t share,
                    std::uint32_t creation, std::uint32_t flags) override;
  bool CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) override;
  bool CloseHandle(Handle handle) override;
  std::uint32_t GetLastError() override { return lastError_; }
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
  std::uint32_t ProcessAddress(const void* buffer) override;

  // --- the machine behind it ---
  void SetPlatform(Platform platform) { platform_ = platform; }
  Platform GetPlatform() const { return platform_; }
  // The program's full Windows path, for example "C:\Programme\FlashUpdate\FlashUpdate.exe".
  void SetProgramPath(std::string_view path) { programPath_ = path; }
  const std::string& ProgramPath() const { return programPath_; }

  // A card whose window (kWindowSize bytes) sits at a physical address.
  void AttachCardWindow(std::uint32_t physical, SimCard& card);

  DriverFaults& Faults() { return faults_; }

  const std::vector<ServiceEntry>& Services() const { return services_; }
  const ServiceEntry* FindService(std::string_view name) const;
  // Replaces the registry, as a restart of the PC finds it.
  void RestoreServices(std::vector<ServiceEntry> services) { services_ = std::move(services); }
  // Called after every change of the service registry.
  void SetServicesChangedHandler(std::function<void()> handler) {
    servicesChanged_ = std::move(handler);
  }

  // Whether this process may use the four ports from port on (always on Windows 9x).
  bool PortsUsable(std::uint16_t port, unsigned count = 4) const;
  bool DriverDeviceAvailable() const;
  bool VxdLoaded() const;
  std::size_t OpenDeviceHandles() const { return devices_.size(); }
  std::size_t OpenServiceHandles() const { return serviceHandles_.size(); }
  // The windows the driver has mapped and not yet released: linear address, card.
  const std::map<LinearAddress, SimCard*>& Mappings() const { return mappings_; }

  const SystemDiagnostics& Diagnostics() const { return diagnostics_; }
  void ResetDiagnostics() { diagnostics_ = SystemDiagnostics{}; }

 private:
  enum class DeviceKind { kNtDriver, kVxd };
  struct ServiceHandle {
    bool manager = false;
    std::uint32_t access = 0;
    std::string service;  // for a service handle
  };

  Handle NewHandle();
  bool Fail(std::uint32_t error);
  ServiceEntry* FindServiceEntry(std::string_view name);
  // The service a service handle refers to; nullptr with the error set.
  ServiceEntry* ServiceOf(Handle handle, std::uint32_t right);
  void RemoveService(std::string_view name);
  void ServicesChanged();
  Handle LoadVxd(std::string_view path);
  bool Request(std::uint32_t kind, std::uint32_t address, std::uint32_t length,
               std::span<std::uint8_t> output, std::uint32_t& returned);

  SimDrive& drive_;
  SimRegisterBus& bus_;
  Platform platform_ = Platform::kNt;
  std::string programPath_;
  std::uint32_t lastError_ = 0;
  Handle nextHandle_ = 0x40;
  std::vector<ServiceEntry> services_;
  std::map<Handle, ServiceHandle> serviceHandles_;
  std::map<Handle, DeviceKind> devices_;
  std::vector<std::pair<std::uint32_t, SimCard*>> cardWindows_;
  std::map<LinearAddress, SimCard*> mappings_;
  std::bitset<0x10000> enabledPorts_;
  std::map<const void*, std::uint32_t> processAddresses_;
  std::uint32_t nextProcessAddress_ = 0x00130000;
  DriverFaults faults_;
  SystemDiagnostics diagnostics_;
  std::function<void()> servicesChanged_;
};

}  // namespace fu::sim
