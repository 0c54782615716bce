// The driver service and the driver requests with the real system calls,
// against the stand-in driver (HWACCESS.SYS beside this program) loaded by
// Wine's service manager. Every test starts and ends without the service.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "hwaccess/driver_requests.h"
#include "hwaccess/driver_service.h"
#include "platform/scripted_message_service.h"
#include "platform/win32/win32_port_io.h"
#include "platform/win32/win32_system_calls.h"
#include "support/temp_folder.h"
// After the ports' headers: see windows_api.h.
#include "platform/win32/windows_api.h"

namespace fu {
namespace {

constexpr const char* kService = "HWACCESS";

// Wine's service manager asked directly, as the tests' own view of the service.
// Waits on it are bounded: Wine answers within a fraction of a second.
class ServiceManager {
 public:
  ServiceManager() : manager_(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}
  ~ServiceManager() {
    if (manager_ != nullptr) {
      ::CloseServiceHandle(manager_);
    }
  }
  ServiceManager(const ServiceManager&) = delete;
  ServiceManager& operator=(const ServiceManager&) = delete;

  bool Connected() const { return manager_ != nullptr; }

  // The service's current state; 0 when there is no such service.
  DWORD State() const {
    const SC_HANDLE service = ::OpenServiceA(manager_, kService, SERVICE_QUERY_STATUS);
    if (service == nullptr) {
      return 0;
    }
    SERVICE_STATUS status{};
    const BOOL ok = ::QueryServiceStatus(service, &status);
    ::CloseServiceHandle(service);
    return ok ? status.dwCurrentState : 0;
  }
  bool Exists() const { return State() != 0; }

  struct Config {
    DWORD serviceType = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
    std::string binaryPath;
    std::string displayName;
  };
  Config Registration() const {
    Config config;
    const SC_HANDLE service = ::OpenServiceA(manager_, kService, SERVICE_QUERY_CONFIG);
    if (service == nullptr) {
      return config;
    }
    DWORD needed = 0;
    ::QueryServiceConfigA(service, nullptr, 0, &needed);
    std::vector<std::uint8_t> buffer(needed + sizeof(QUERY_SERVICE_CONFIGA));
    auto* const query = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (::QueryServiceConfigA(service, query, static_cast<DWORD>(buffer.size()), &needed)) {
      config.serviceType = query->dwServiceType;
      config.startType = query->dwStartType;
      config.errorControl = query->dwErrorControl;
      config.binaryPath = query->lpBinaryPathName != nullptr ? query->lpBinaryPathName : "";
      config.displayName = query->lpDisplayName != nullptr ? query->lpDisplayName : "";
    }
    ::CloseServiceHandle(service);
    return config;
  }

  // Registers the service as the program does, without starting it.
  bool Register(const std::string& binary_path) {
    const SC_HANDLE service =
        ::CreateServiceA(manager_, kService, kService, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                         SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary_path.c_str(), nullptr,
                         nullptr, nullptr, nullptr, nullptr);
    if (service != nullptr) {
      ::CloseServiceHandle(service);
    }
    return service != nullptr;
  }

  // Stops and deletes the service, if there is one, and waits until it is gone.
  bool Remove() {
    const SC_HANDLE service = ::OpenServiceA(manager_, kService, SERVICE_ALL_ACCESS);
    if (service == nullptr) {
      return true;
    }
    SERVICE_STATUS status{};
    ::ControlService(service, SERVICE_CONTROL_STOP, &status);
    WaitFor([&] {
      return ::QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED;
    });
    ::DeleteService(service);
    ::CloseServiceHandle(service);
    return WaitFor([&] { return !Exists(); });
  }

 private:
  template <typename Condition>
  static bool WaitFor(Condition done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) {
        return false;
      }
      ::Sleep(20);
    }
    return true;
  }

  SC_HANDLE manager_;
};

// The real system calls for a program that lies in another folder; counts the
// services it created.
class ProgramElsewhere : public Win32SystemCalls {
 public:
  explicit ProgramElsewhere(std::string module_path) : module_path_(std::move(module_path)) {}
  std::string GetModuleFileName() override { return module_path_; }
  Handle CreateService(Handle manager, const ServiceRegistration& service) override {
    const Handle created = Win32SystemCalls::CreateService(manager, service);
    services_created += created != 0 ? 1 : 0;
    return created;
  }

  int services_created = 0;

 private:
  std::string module_path_;
};

// The driver file in the folder of a program.
std::string DriverFileBeside(const std::string& program) {
  return program.substr(0, program.rfind('\\') + 1) + "HWACCESS.SYS";
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

bool IsUpperHex(const std::string& text) {
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && (c < 'A' || c > 'F')) {
      return false;
    }
  }
  return true;
}

class DriverUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scm_.Connected());
    ASSERT_TRUE(scm_.Remove()) << "a service of an earlier run is still there";
  }
  void TearDown() override {
    CloseDevice();
    EXPECT_TRUE(scm_.Remove());
  }

  bool OpenDriver() {
    device_open_ = driver_.OpenDriver();
    return device_open_;
  }
  void CloseDevice() {
    if (device_open_) {
      EXPECT_TRUE(driver_.CloseDriverDevice());
      device_open_ = false;
    }
  }
  // A folder that looks like the program's but holds no driver file.
  std::string ProgramInEmptyFolder() const { return (empty_.Path() / "win32_tests.exe").string(); }

  ServiceManager scm_;
  Win32SystemCalls system_;
  ScriptedMessageService messages_;
  DriverService driver_{system_, messages_};
  Win32PortIo ports_;  // never used here: the port instructions fault under Wine
  DriverRequests requests_{system_, driver_, ports_};
  test::TempFolder empty_;
  bool device_open_ = false;
};

TEST_F(DriverUnderWine, OpenDriverInstallsStartsAndOpensTheDriver) {
  EXPECT_EQ(system_.CreateFile(driver::kDeviceNt, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0),
            kInvalidHandle);
  EXPECT_EQ(system_.GetLastError(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));

  ASSERT_TRUE(OpenDriver());
  EXPECT_NE(driver_.DriverHandle(), kInvalidHandle);
  EXPECT_EQ(scm_.State(), static_cast<DWORD>(SERVICE_RUNNING));
  const ServiceManager::Config config = scm_.Registration();
  EXPECT_EQ(config.serviceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
  EXPECT_EQ(config.startType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(config.errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(config.displayName, "HWACCESS");
  EXPECT_TRUE(SameIgnoringCase(config.binaryPath, DriverFileBeside(system_.GetModuleFileName())))
      << config.binaryPath;
  EXPECT_TRUE(messages_.Shown().empty());

  // A second program finds the driver running and opens it at once.
  ScriptedMessageService other_messages;
  DriverService other(system_, other_messages);
  ASSERT_TRUE(other.OpenDriver());
  EXPECT_NE(other.DriverHandle(), driver_.DriverHandle());
  EXPECT_TRUE(other.CloseDriverDevice());
}

TEST_F(DriverUnderWine, EveryRequestKindAndItsByteCount) {
  ASSERT_TRUE(OpenDriver());
  EXPECT_TRUE(requests_.EnablePortRange(0xCF8, 8));
  EXPECT_TRUE(requests_.DisablePortRange(0xCF8, 8));
  EXPECT_EQ(requests_.MapPhysical(0xFEBF0000, 0xFFFF), 0u);  // this driver maps nothing
  EXPECT_TRUE(requests_.UnmapPhysical(0x00410000));

  // The answers land in the caller's buffer.
  std::array<std::uint8_t, 4> answer{0xEE, 0xEE, 0xEE, 0xEE};
  const std::uint32_t at = system_.ProcessAddress(answer.data());
  EXPECT_TRUE(
      requests_.HwAccessRequest({RequestKind::UnmapPhysical, 0x00410000, 0, at, 4}, answer));
  EXPECT_EQ(answer, (std::array<std::uint8_t, 4>{1, 0, 0, 0}));
  answer.fill(0xEE);
  EXPECT_TRUE(
      requests_.HwAccessRequest({RequestKind::MapPhysical, 0xFEBF0000, 0xFFFF, at, 4}, answer));
  EXPECT_EQ(answer, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));

  // A request without answer that offers 4 bytes gets 0 of them: refused.
  EXPECT_FALSE(requests_.HwAccessRequest({RequestKind::EnablePortRange, 0xCF8, 8, at, 4}, answer));
  // The driver refuses an unknown kind and an answer that does not fit.
  EXPECT_FALSE(requests_.HwAccessRequest({static_cast<RequestKind>(7), 0, 0, 0, 0}, {}));
  EXPECT_FALSE(requests_.HwAccessRequest({RequestKind::MapPhysical, 0xFEBF0000, 0xFFFF, at, 2},
                                         std::span(answer).first(2)));
}

TEST_F(DriverUnderWine, RequestsWithoutAnOpenDriverFail) {
  // Never opened: the handle is 0.
  EXPECT_FALSE(requests_.EnablePortRange(0xCF8, 8));
  EXPECT_EQ(requests_.MapPhysical(0xFEBF0000, 0xFFFF), 0u);

  ASSERT_TRUE(OpenDriver());
  CloseDevice();
  EXPECT_FALSE(requests_.UnmapPhysical(0x00410000));
}

// As after a refused map: the program still holds the device while restarting.
TEST_F(DriverUnderWine, RestartOfTheRunningDriverShowsNothing) {
  ASSERT_TRUE(OpenDriver());
  EXPECT_TRUE(driver_.RestartDriverService());
  EXPECT_TRUE(messages_.Shown().empty());
  EXPECT_EQ(scm_.State(), static_cast<DWORD>(SERVICE_RUNNING));

  CloseDevice();
  device_open_ = driver_.OpenDriverDevice();
  ASSERT_TRUE(device_open_);
  EXPECT_TRUE(requests_.EnablePortRange(0xCF8, 8));
}

TEST_F(DriverUnderWine, RestartOfAStoppedDriverReportsTheFailedStopAndStartsIt) {
  ASSERT_TRUE(scm_.Register(DriverFileBeside(system_.GetModuleFileName())));
  EXPECT_TRUE(driver_.RestartDriverService());
  ASSERT_EQ(messages_.Texts(), (std::vector<std::string>{"Failed in Stop Service"}));
  EXPECT_EQ(messages_.Shown()[0].kind, MessageKind::Plain);
  EXPECT_EQ(messages_.Shown()[0].buttons, Buttons::Ok);
  EXPECT_EQ(scm_.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(DriverUnderWine, RestartWithoutTheServiceFailsSilently) {
  EXPECT_FALSE(driver_.RestartDriverService());
  EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(DriverUnderWine, RestartOfADriverThatCannotStartReportsTheErrorCode) {
  ASSERT_TRUE(scm_.Register(DriverFileBeside(ProgramInEmptyFolder())));
  EXPECT_TRUE(driver_.RestartDriverService());
  const std::vector<std::string> texts = messages_.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Failed in Stop Service");
  const std::string prefix = "Failed in Delete Service: ";
  ASSERT_EQ(texts[1].substr(0, prefix.size()), prefix);
  const std::string code = texts[1].substr(prefix.size());
  EXPECT_EQ(code.size(), 8u) << code;
  EXPECT_TRUE(IsUpperHex(code)) << code;
  EXPECT_NE(code, "00000000");
}

TEST_F(DriverUnderWine, MissingDriverFileLeavesNoServiceBehind) {
  ProgramElsewhere elsewhere(ProgramInEmptyFolder());
  DriverService moved(elsewhere, messages_);
  EXPECT_FALSE(moved.OpenDriver());
  EXPECT_EQ(moved.DriverHandle(), kInvalidHandle);
  EXPECT_EQ(elsewhere.services_created, 1);  // registered, then deleted when it did not start
  EXPECT_FALSE(scm_.Exists());
  EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(DriverUnderWine, RegistrationOfAMissingFileIsReplaced) {
  ASSERT_TRUE(scm_.Register(DriverFileBeside(ProgramInEmptyFolder())));
  ASSERT_TRUE(OpenDriver());
  EXPECT_EQ(scm_.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_TRUE(SameIgnoringCase(scm_.Registration().binaryPath,
                               DriverFileBeside(system_.GetModuleFileName())));
  EXPECT_TRUE(requests_.UnmapPhysical(0x00410000));
}

}  // namespace
}  // namespace fu
