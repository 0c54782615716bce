#include "sim/sim_system.h"

#include <algorithm>
#include <utility>

#include "base/errors.h"

namespace fu::sim {

namespace {

constexpr std::uint32_t kCreateServiceRight = 0x2;  // SC_MANAGER_CREATE_SERVICE
constexpr std::uint32_t kStartRight = 0x10;         // SERVICE_START
constexpr std::uint32_t kStopRight = 0x20;          // SERVICE_STOP
constexpr std::uint32_t kInterrogateRight = 0x80;   // SERVICE_INTERROGATE
constexpr std::uint32_t kDeleteRight = 0x10000;     // DELETE

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kNtDeviceName = "Dev_HWACCESS";
constexpr std::string_view kDriverBinaryName = "HWACCESS.SYS";

enum RequestKind : std::uint32_t {
  kEnablePorts = 1,
  kDisablePorts = 2,
  kMapPhysical = 3,
  kUnmap = 4,
};

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameText(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

std::string_view LastName(std::string_view path) {
  const auto cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// A driver binary path as the service registry holds it, as a path on drive C:
// ("\??\C:\..." names the same file as "C:\...").
std::string_view DrivePath(std::string_view binary_path) {
  constexpr std::string_view kNtPrefix = "\\??\\";
  if (binary_path.starts_with(kNtPrefix)) {
    binary_path.remove_prefix(kNtPrefix.size());
  }
  return binary_path;
}

// A short name: 1 to 8 characters, optionally a dot and 1 to 3 more, none of
// them a blank or a character short names forbid.
bool IsShortName(std::string_view name) {
  if (name.empty() || name.find_first_of(" +,;=[]") != std::string_view::npos) {
    return false;
  }
  const auto dot = name.find('.');
  if (dot == std::string_view::npos) {
    return name.size() <= 8;
  }
  const std::string_view extension = name.substr(dot + 1);
  return dot >= 1 && dot <= 8 && !extension.empty() && extension.size() <= 3 &&
         extension.find('.') == std::string_view::npos;
}

// "C:\A\B.VXD": every name after the drive is a short name.
bool IsShortPath(std::string_view path) {
  if (path.size() < 3 || path[1] != ':') {
    return false;
  }
  std::size_t start = 3;
  while (start <= path.size()) {
    const auto end = std::min(path.find_first_of("\\/", start), path.size());
    const std::string_view name = path.substr(start, end - start);
    if (!name.empty() && !IsShortName(name)) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void PutLe32(std::span<std::uint8_t> bytes, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

}  // namespace

SimSystem::SimSystem(SimDrive& drive, SimRegisterBus& bus) : drive_(drive), bus_(bus) {}

Handle SimSystem::NewHandle() {
  const Handle handle = nextHandle_;
  nextHandle_ += 4;
  return handle;
}

bool SimSystem::Fail(std::uint32_t error) {
  lastError_ = error;
  return false;
}

std::string SimSystem::GetModuleFileName() {
  return programPath_;
}

int SimSystem::PlatformId() {
  switch (platform_) {
    case Platform::kNt:
      return win::VER_PLATFORM_WIN32_NT;
    case Platform::kWindows9x:
      return win::VER_PLATFORM_WIN32_WINDOWS;
  }
  return win::VER_PLATFORM_WIN32_NT;
}

// --- files and devices ---

Handle SimSystem::CreateFile(std::string_view name, std::uint32_t /*access*/,
                             std::uint32_t /*share*/, std::uint32_t /*creation*/,
                             std::uint32_t /*flags*/) {
  ++diagnostics_.createFileCalls;
  if (!name.starts_with(kDevicePrefix)) {
    Fail(win_error::kFileNotFound);  // only devices are opened through this port
    return kInvalidHandle;
  }
  const std::string_view device = name.substr(kDevicePrefix.size());
  switch (platform_) {
    case Platform::kNt:
      if (SameText(device, kNtDeviceName) && DriverDeviceAvailable()) {
        const Handle handle = NewHandle();
        devices_.emplace(handle, DeviceKind::kNtDriver);
        return handle;
      }
      break;
    case Platform::kWindows9x:
      return LoadVxd(device);
  }
  Fail(win_error::kFileNotFound);
  return kInvalidHandle;
}

Handle SimSystem::LoadVxd(std::string_view path) {
  if (!IsShortPath(path) || !drive_.Exists(path)) {
    Fail(win_error::kFileNotFound);
    return kInvalidHandle;
  }
  const Handle handle = NewHandle();
  devices_.emplace(handle, DeviceKind::kVxd);
  ++diagnostics_.vxdLoads;
  return handle;
}

bool SimSystem::CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) {
  ++diagnostics_.copyFileCalls;
  try {
    const std::vector<std::uint8_t> bytes = drive_.Contents(from);
    if (fail_if_exists && drive_.Exists(to)) {
      return Fail(win_error::kFileExists);
    }
    auto file = drive_.Create(to);
    file->Write(bytes);
    file->Close();
    return true;
  } catch (const FileError& e) {
    return Fail(static_cast<std::uint32_t>(e.Code()));
  }
}

bool SimSystem::CloseHandle(Handle handle) {
  // A VxD opened with delete-on-close is unloaded with its handle.
  if (devices_.erase(handle) == 0) {
    return Fail(win_error::kInvalidHandle);
  }
  return true;
}

bool SimSystem::DriverDeviceAvailable() const {
  if (platform_ != Platform::kNt) {
    return false;
  }
  return std::ranges::any_of(services_, [](const ServiceEntry& s) {
    return s.running && SameText(LastName(s.binaryPath), kDriverBinaryName);
  });
}

bool SimSystem::VxdLoaded() const {
  return std::ranges::any_of(devices_,
                             [](const auto& entry) { return entry.second == DeviceKind::kVxd; });
}

// --- service control manager ---

const ServiceEntry* SimSystem::FindService(std::string_view name) const {
  const auto it = std::ranges::find_if(
      services_, [name](const ServiceEntry& s) { return SameText(s.name, name); });
  return it == services_.end() ? nullptr : &*it;
}

ServiceEntry* SimSystem::FindServiceEntry(std::string_view name) {
  return const_cast<ServiceEntry*>(std::as_const(*this).FindService(name));
}

void SimSystem::RemoveService(std::string_view name) {
  std::erase_if(services_, [name](const ServiceEntry& s) { return SameText(s.name, name); });
}

void SimSystem::ServicesChanged() {
  if (servicesChanged_) {
    servicesChanged_();
  }
}

ServiceEntry* SimSystem::ServiceOf(Handle handle, std::uint32_t right) {
  const auto it = serviceHandles_.find(handle);
  if (it == serviceHandles_.end() || it->second.manager) {
    Fail(win_error::kInvalidHandle);
    return nullptr;
  }
  if ((it->second.access & right) != right) {
    Fail(win_error::kAccessDenied);
    return nullptr;
  }
  ServiceEntry* service = FindServiceEntry(it->second.service);
  if (service == nullptr) {
    Fail(win_error::kServiceMarkedForDelete);
  }
  return service;
}

Handle SimSystem::OpenSCManager(std::uint32_t access) {
  ++diagnostics_.serviceManagerCalls;
  if (platform_ == Platform::kWindows9x) {
    Fail(win_error::kCallNotImplemented);
    return 0;
  }
  if (faults_.refuseServiceManager) {
    Fail(win_error::kAccessDenied);
    return 0;
  }
  const Handle handle = NewHandle();
  serviceHandles_.emplace(handle, ServiceHandle{true, access, {}});
  return handle;
}

Handle SimSystem::CreateService(Handle manager, const ServiceRegistration& service) {
  ++diagnostics_.serviceManagerCalls;
  const auto it = serviceHandles_.find(manager);
  if (it == serviceHandles_.end() || !it->second.manager) {
    Fail(win_error::kInvalidHandle);
    return 0;
  }
  if ((it->second.access & kCreateServiceRight) == 0) {
    Fail(win_error::kAccessDenied);
    return 0;
  }
  if (service.name.empty()) {
    Fail(win_error::kInvalidName);
    return 0;
  }
  if (const ServiceEntry* existing = FindService(service.name)) {
    Fail(existing->deletePending ? win_error::kServiceMarkedForDelete : win_error::kServiceExists);
    return 0;
  }
  services_.push_back(ServiceEntry{service.name, service.displayName, service.serviceType,
                                   service.startType, service.errorControl, service.binaryPath,
                                   false, false});
  const Handle handle = NewHandle();
  serviceHandles_.emplace(handle, ServiceHandle{false, service.desiredAccess, service.name});
  ServicesChanged();
  return handle;
}

Handle SimSystem::OpenService(Handle manager, std::string_view name, std::uint32_t access) {
  ++diagnostics_.serviceManagerCalls;
  const auto it = serviceHandles_.find(manager);
  if (it == serviceHandles_.end() || !it->second.manager) {
    Fail(win_error::kInvalidHandle);
    return 0;
  }
  const ServiceEntry* service = FindService(name);
  if (service == nullptr) {
    Fail(win_error::kServiceDoesNotExist);
    return 0;
  }
  const Handle handle = NewHandle();
  serviceHandles_.emplace(handle, ServiceHandle{false, access, service->name});
  return handle;
}

bool SimSystem::StartService(Handle handle) {
  ++diagnostics_.serviceManagerCalls;
  ServiceEntry* service = ServiceOf(handle, kStartRight);
  if (service == nullptr) {
    return false;
  }
  if (service->deletePending) {
    return Fail(win_error::kServiceMarkedForDelete);
  }
  if (service->running) {
    return Fail(win_error::kServiceAlreadyRunning);
  }
  if (!drive_.Exists(DrivePath(service->binaryPath))) {
    return Fail(win_error::kFileNotFound);
  }
  service->running = true;
  ServicesChanged();
  return true;
}

bool SimSystem::ControlService(Handle handle, std::uint32_t control) {
  ++diagnostics_.serviceManagerCalls;
  std::uint32_t right = 0;
  switch (control) {
    case win::SERVICE_CONTROL_STOP:
      right = kStopRight;
      break;
    case win::SERVICE_CONTROL_INTERROGATE:
      right = kInterrogateRight;
      break;
    default:
      return Fail(win_error::kInvalidServiceControl);  // drivers take no other control
  }
  ServiceEntry* service = ServiceOf(handle, right);
  if (service == nullptr) {
    return false;
  }
  if (!service->running) {
    return Fail(win_error::kServiceNotActive);
  }
  if (control == win::SERVICE_CONTROL_INTERROGATE) {
    return true;
  }
  if (faults_.failingStop) {
    return Fail(win_error::kInvalidServiceControl);
  }
  service->running = false;
  if (service->deletePending) {
    RemoveService(service->name);
  }
  ServicesChanged();
  return true;
}

bool SimSystem::DeleteService(Handle handle) {
  ++diagnostics_.serviceManagerCalls;
  ServiceEntry* service = ServiceOf(handle, kDeleteRight);
  if (service == nullptr) {
    return false;
  }
  if (service->deletePending) {
    return Fail(win_error::kServiceMarkedForDelete);
  }
  if (service->running) {
    service->deletePending = true;
  } else {
    RemoveService(service->name);
  }
  ServicesChanged();
  return true;
}

bool SimSystem::CloseServiceHandle(Handle handle) {
  ++diagnostics_.serviceManagerCalls;
  if (serviceHandles_.erase(handle) == 0) {
    return Fail(win_error::kInvalidHandle);
  }
  return true;
}

// --- driver requests ---

void SimSystem::AttachCardWindow(std::uint32_t physical, SimCard& card) {
  cardWindows_.emplace_back(physical, &card);
}

bool SimSystem::PortsUsable(std::uint16_t port, unsigned count) const {
  if (platform_ == Platform::kWindows9x) {
    return true;
  }
  for (unsigned i = 0; i < count; ++i) {
    const std::size_t p = static_cast<std::size_t>(port) + i;
    if (p >= enabledPorts_.size() || !enabledPorts_[p]) {
      return false;
    }
  }
  return true;
}

std::uint32_t SimSystem::ProcessAddress(const void* buffer) {
  if (buffer == nullptr) {
    return 0;
  }
  if (const auto it = processAddresses_.find(buffer); it != processAddresses_.end()) {
    return it->second;
  }
  // Values stand for buffers; a long run forgets old ones rather than grow.
  constexpr std::size_t kRemembered = 4096;
  if (processAddresses_.size() >= kRemembered) {
    processAddresses_.clear();
    nextProcessAddress_ = 0x00130000;
  }
  const std::uint32_t value = nextProcessAddress_;
  nextProcessAddress_ += 0x10;
  processAddresses_.emplace(buffer, value);
  return value;
}

bool SimSystem::DeviceIoControl(Handle device, std::uint32_t code,
                                std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                                std::uint32_t& returned) {
  ++diagnostics_.requests;
  returned = 0;
  const auto fail = [this](std::uint32_t error) {
    ++diagnostics_.failedRequests;
    return Fail(error);
  };
  if (!devices_.contains(device)) {
    return fail(win_error::kInvalidHandle);
  }
  if (code != kDriverIoControlCode) {
    return fail(win_error::kInvalidFunction);
  }
  if (input.size() != kDriverRequestSize) {
    return fail(win_error::kInvalidParameter);
  }
  const std::uint32_t kind = Le32(input, 0);
  const std::uint32_t address = Le32(input, 4);
  const std::uint32_t length = Le32(input, 8);
  const std::uint32_t output_pointer = Le32(input, 12);
  const std::uint32_t output_size = Le32(input, 16);
  if (output_size != output.size()) {
    return fail(win_error::kInvalidParameter);
  }
  if (!output.empty() && output_pointer != ProcessAddress(output.data())) {
    return fail(win_error::kNoAccess);
  }
  if (kind < kEnablePorts || kind > kUnmap) {
    return fail(win_error::kInvalidParameter);
  }
  if (!Request(kind, address, length, output, returned)) {
    ++diagnostics_.failedRequests;
    return false;
  }
  return true;
}

bool SimSystem::Request(std::uint32_t kind, std::uint32_t address, std::uint32_t length,
                        std::span<std::uint8_t> output, std::uint32_t& returned) {
  if (kind == kEnablePorts || kind == kDisablePorts) {
    if (address > 0xFFFF || length > 0x10000 - address) {
      return Fail(win_error::kInvalidParameter);
    }
    if (kind == kEnablePorts && faults_.refusePorts) {
      return Fail(win_error::kAccessDenied);
    }
    for (std::uint32_t p = address; p < address + length; ++p) {
      enabledPorts_[p] = kind == kEnablePorts;
    }
    return true;
  }
  if (output.size() < 4) {
    return Fail(win_error::kInsufficientBuffer);
  }
  std::uint32_t answer = 0;
  if (kind == kMapPhysical) {
    const auto window = std::ranges::find_if(
        cardWindows_, [address](const auto& entry) { return entry.first == address; });
    const bool refused =
        faults_.refuseMap || (faults_.refuseMapOf != 0 && faults_.refuseMapOf == address);
    if (!refused && window != cardWindows_.end() && length > 0 && length <= kWindowSize) {
      for (LinearAddress base = kFirstMappingAddress; base >= kFirstMappingAddress;
           base += kWindowSize) {
        if (bus_.MapWindow(base, *window->second)) {
          mappings_.emplace(base, window->second);
          ++diagnostics_.maps;
          answer = base;
          break;
        }
      }
    }
  } else {
    const auto mapping = mappings_.find(address);
    if (!faults_.refuseUnmap && mapping != mappings_.end()) {
      bus_.UnmapWindow(address);
      mappings_.erase(mapping);
      ++diagnostics_.unmaps;
      answer = 1;
    }
  }
  PutLe32(output, answer);
  returned = 4;
  return true;
}

}  // namespace fu::sim
