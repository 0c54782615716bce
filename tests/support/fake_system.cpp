#include "support/fake_system.h"

namespace fu::test {

std::string FakeSystem::GetModuleFileName() {
  calls.push_back("GetModuleFileName");
  return modulePath;
}

Handle FakeSystem::CreateFile(std::string_view name, std::uint32_t access, std::uint32_t share,
                              std::uint32_t creation, std::uint32_t flags) {
  calls.push_back("CreateFile " + std::string(name) + " " + std::to_string(access) + " " +
                  std::to_string(share) + " " + std::to_string(creation) + " " +
                  std::to_string(flags));
  for (const auto& n : openable) {
    if (n == name) {
      return kDevice;
    }
  }
  lastError = win::ERROR_FILE_NOT_FOUND;
  return kInvalidHandle;
}

bool FakeSystem::CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) {
  calls.push_back("CopyFile " + std::string(from) + " " + std::string(to) + " " +
                  (fail_if_exists ? "1" : "0"));
  return true;
}

bool FakeSystem::CloseHandle(Handle handle) {
  calls.push_back("CloseHandle " + std::to_string(handle));
  return handle == kDevice;
}

Handle FakeSystem::OpenSCManager(std::uint32_t access) {
  calls.push_back("OpenSCManager " + std::to_string(access));
  return managerAvailable ? kManager : 0;
}

Handle FakeSystem::CreateService(Handle, const ServiceRegistration& registration) {
  calls.push_back("CreateService " + registration.binaryPath);
  if (service) {
    lastError = 1073;  // exists
    return 0;
  }
  service = registration;
  return kService;
}

Handle FakeSystem::OpenService(Handle, std::string_view name, std::uint32_t access) {
  calls.push_back("OpenService " + std::string(name) + " " + std::to_string(access));
  if (!service) {
    lastError = 1060;  // does not exist
    return 0;
  }
  return kService;
}

bool FakeSystem::StartService(Handle) {
  calls.push_back("StartService");
  if (!driverFilePresent) {
    lastError = win::ERROR_FILE_NOT_FOUND;
    return false;
  }
  serviceRunning = true;
  openable.push_back("\\\\.\\Dev_HWACCESS");
  return true;
}

bool FakeSystem::ControlService(Handle, std::uint32_t control) {
  calls.push_back("ControlService " + std::to_string(control));
  if (control == win::SERVICE_CONTROL_STOP) {
    if (stopFails) {
      return false;
    }
    serviceRunning = false;
  }
  return true;
}

bool FakeSystem::DeleteService(Handle) {
  calls.push_back("DeleteService");
  service.reset();
  return true;
}

bool FakeSystem::CloseServiceHandle(Handle handle) {
  calls.push_back("CloseServiceHandle " + std::to_string(handle));
  return true;
}

bool FakeSystem::DeviceIoControl(Handle device, std::uint32_t code,
                                 std::span<const std::uint8_t> input,
                                 std::span<std::uint8_t> output, std::uint32_t& returned) {
  calls.push_back("DeviceIoControl " + std::to_string(code));
  requests.emplace_back(input.begin(), input.end());
  if (device != kDevice || input.size() < 4) {
    lastError = 6;  // invalid handle
    return false;
  }
  const auto answer = driver(input[0], output);
  if (!answer) {
    lastError = 31;
    return false;
  }
  returned = *answer;
  return true;
}

void FakePci::AddDevice(int bus, int device, std::vector<std::uint32_t> registers) {
  devices_[static_cast<std::uint32_t>(bus << 8 | device)] = std::move(registers);
}

void FakePci::AddCard(int bus, int device, std::uint32_t bar0) {
  AddDevice(bus, device, {0x18011057, 0x02000000, 0xFF000000, 0, bar0, 0, 0, 0});
}

void FakePci::OutDword(std::uint16_t port, std::uint32_t value) {
  ++accesses;
  if (port == 0xCF8) {
    ++addressWrites;
    address_ = value;
    if (((value >> 2) & 0x3F) == 0) {
      deviceStarts.push_back(value);
    }
  }
}

std::uint32_t FakePci::InDword(std::uint16_t port) {
  ++accesses;
  if (port != 0xCFC || !(address_ & 0x80000000)) {
    return 0xFFFFFFFF;
  }
  const std::uint32_t bus = (address_ >> 16) & 0xFF;
  const std::uint32_t device = (address_ >> 11) & 0x1F;
  const std::uint32_t reg = (address_ >> 2) & 0x3F;
  const auto it = devices_.find(bus << 8 | device);
  if (it == devices_.end()) {
    return 0xFFFFFFFF;
  }
  return reg < it->second.size() ? it->second[reg] : 0;
}

}  // namespace fu::test
