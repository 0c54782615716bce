#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hwaccess/driver_service.h"
#include "hwaccess/executable_dir.h"
#include "platform/scripted_message_service.h"
#include "support/fake_system.h"

namespace fu {
namespace {

using test::FakeSystem;
using Calls = std::vector<std::string>;

const std::string kOpenNt = "CreateFile \\\\.\\Dev_HWACCESS 2147483648 1 3 0";

class DriverServiceTest : public ::testing::Test {
 protected:
  bool AnyServiceManagerCall() const {
    return std::any_of(system_.calls.begin(), system_.calls.end(), [](const std::string& c) {
      return c.find("Service") != std::string::npos || c.find("SCManager") != std::string::npos;
    });
  }

  FakeSystem system_;
  ScriptedMessageService messages_;
  DriverService driver_{system_, messages_};
};

TEST(ExecutableDirectory, UpperCasedAndEndingInABackslash) {
  EXPECT_EQ(ExecutableDirectory("c:\\tools\\flash.exe"), "C:\\TOOLS\\");
  EXPECT_EQ(ExecutableDirectory("c:\\Pr\xFC"
                                "fung\\x.exe"),
            "C:\\PR\xFC"
            "FUNG\\");  // ASCII only
  EXPECT_EQ(ExecutableDirectory("flash.exe"), "");
  EXPECT_EQ(ExecutableDirectory(""), "");
  const std::string dir = "C:\\" + std::string(239, 'D') + "\\";  // 243 characters
  EXPECT_EQ(ExecutableDirectory(dir + "FLASHUP.EXE"), dir);       // 254: still whole
  EXPECT_EQ(ExecutableDirectory(dir + "FLASHUPD.EXE"), "");       // 255: never a cut one
}

// A path of 255 characters or more: a clear German message, no service
// registered from a wrong directory, no VxD looked for there.
TEST_F(DriverServiceTest, TooLongProgramPathIsRefusedWithAMessage) {
  const std::string path = "C:\\" + std::string(239, 'D') + "\\FLASHUPD.EXE";
  for (const int platform : {win::VER_PLATFORM_WIN32_NT, win::VER_PLATFORM_WIN32_WINDOWS}) {
    FakeSystem system;
    ScriptedMessageService messages;
    DriverService driver{system, messages};
    system.platform = platform;
    system.modulePath = path;
    EXPECT_FALSE(driver.OpenDriver()) << platform;
    EXPECT_FALSE(system.service.has_value()) << platform;
    EXPECT_TRUE(std::none_of(system.calls.begin(), system.calls.end(), [](const std::string& c) {
      return c.starts_with("CreateService") || c.find("HWAccess.VxD") != std::string::npos;
    })) << platform;
    ASSERT_EQ(messages.Texts().size(), 1u) << platform;
    EXPECT_EQ(messages.Texts()[0],
              "Der Pfad des Programms ist zu lang (mehr als 254 Zeichen). Bitte das Programm in "
              "ein Verzeichnis mit k\xFCrzerem Pfad kopieren.");
    EXPECT_EQ(messages.Shown()[0].kind, MessageKind::Error);
  }
}

TEST_F(DriverServiceTest, RunningDriverIsOpenedWithoutTheServiceManager) {
  system_.openable = {"\\\\.\\Dev_HWACCESS"};
  ASSERT_TRUE(driver_.OpenDriver());
  EXPECT_EQ(system_.calls, (Calls{kOpenNt}));
  EXPECT_EQ(driver_.DriverHandle(), FakeSystem::kDevice);
}

TEST_F(DriverServiceTest, MissingServiceIsInstalledStartedAndOpened) {
  system_.modulePath = "c:\\tools\\flash.exe";
  ASSERT_TRUE(driver_.OpenDriver());
  ASSERT_TRUE(system_.service.has_value());
  const ServiceRegistration& s = *system_.service;
  EXPECT_EQ(s.name, "HWACCESS");
  EXPECT_EQ(s.displayName, "HWACCESS");
  EXPECT_EQ(s.desiredAccess, 0xF01FFu);
  EXPECT_EQ(s.serviceType, 1u);
  EXPECT_EQ(s.startType, 2u);
  EXPECT_EQ(s.errorControl, 1u);
  EXPECT_EQ(s.binaryPath, "C:\\TOOLS\\HWACCESS.SYS");
  EXPECT_EQ(system_.calls, (Calls{kOpenNt, "OpenSCManager 63", "OpenService HWACCESS 983551",
                                  "CloseServiceHandle 8192", "GetModuleFileName",
                                  "OpenSCManager 63", "CreateService C:\\TOOLS\\HWACCESS.SYS",
                                  "CloseServiceHandle 12288", "CloseServiceHandle 8192",
                                  "OpenSCManager 63", "OpenService HWACCESS 983551", "StartService",
                                  "CloseServiceHandle 12288", "CloseServiceHandle 8192", kOpenNt}));
}

TEST_F(DriverServiceTest, DriverThatWillNotStartIsRemovedAgain) {
  system_.driverFilePresent = false;
  EXPECT_FALSE(driver_.OpenDriver());
  EXPECT_FALSE(system_.service.has_value());
  EXPECT_EQ(system_.calls.back(), "CloseServiceHandle 8192");
  EXPECT_NE(std::find(system_.calls.begin(), system_.calls.end(), "DeleteService"),
            system_.calls.end());
  EXPECT_EQ(driver_.DriverHandle(), kInvalidHandle);
  EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(DriverServiceTest, BrokenRegistrationIsReplaced) {
  // Registered, but starting fails once (say, an old binary path).
  system_.service = ServiceRegistration{};
  system_.driverFilePresent = false;
  int starts = 0;
  EXPECT_FALSE(
      driver_.OpenDriver());  // start fails, create fails (exists), delete, create, start fails
  for (const auto& c : system_.calls) {
    starts += c == "StartService";
  }
  EXPECT_EQ(starts, 2);
  system_.driverFilePresent = true;
  system_.calls.clear();
  EXPECT_TRUE(driver_.OpenDriver());
}

TEST_F(DriverServiceTest, NoServiceManagerMeansNoDriver) {
  system_.managerAvailable = false;
  EXPECT_FALSE(driver_.OpenDriver());
  EXPECT_FALSE(driver_.RestartDriverService());
  EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(DriverServiceTest, Windows9xLoadsTheVxdAndFallsBackToACopy) {
  system_.platform = win::VER_PLATFORM_WIN32_WINDOWS;
  system_.modulePath = "c:\\tools\\flash.exe";
  EXPECT_TRUE(driver_.InstallDriverService());
  EXPECT_TRUE(driver_.StartDriverService());
  EXPECT_TRUE(driver_.DeleteDriverService());
  EXPECT_TRUE(system_.calls.empty());  // no system call for the service operations

  system_.openable = {"\\\\.\\C:\\HWAccess.VxD"};
  ASSERT_TRUE(driver_.OpenDriverDevice());
  EXPECT_EQ(system_.calls,
            (Calls{"GetModuleFileName", "CreateFile \\\\.\\C:\\TOOLS\\HWAccess.VxD 0 0 1 67108864",
                   "CopyFile C:\\TOOLS\\HWAccess.VxD C:\\HWAccess.VxD 0",
                   "CreateFile \\\\.\\C:\\HWAccess.VxD 0 0 1 67108864"}));
  EXPECT_FALSE(AnyServiceManagerCall());

  system_.modulePath = "";
  EXPECT_FALSE(driver_.OpenDriverDevice());
}

TEST_F(DriverServiceTest, RestartReportsAFailedStopAndGoesOn) {
  system_.service = ServiceRegistration{};
  system_.stopFails = true;
  EXPECT_TRUE(driver_.RestartDriverService());
  EXPECT_EQ(messages_.Texts(), (std::vector<std::string>{"Failed in Stop Service"}));
  EXPECT_EQ(messages_.Shown()[0].kind, MessageKind::Plain);
  EXPECT_EQ(system_.calls, (Calls{"OpenSCManager 1", "OpenService HWACCESS 983551",
                                  "ControlService 1", "ControlService 4", "StartService",
                                  "CloseServiceHandle 12288", "CloseServiceHandle 8192"}));
}

TEST_F(DriverServiceTest, RestartReportsAFailedStartWithItsCode) {
  system_.service = ServiceRegistration{};
  system_.driverFilePresent = false;
  EXPECT_TRUE(driver_.RestartDriverService());
  EXPECT_EQ(messages_.Texts(), (std::vector<std::string>{"Failed in Delete Service: 00000002"}));
}

TEST_F(DriverServiceTest, CloseKeepsTheStoredHandle) {
  system_.openable = {"\\\\.\\Dev_HWACCESS"};
  ASSERT_TRUE(driver_.OpenDriverDevice());
  EXPECT_TRUE(driver_.CloseDriverDevice());
  EXPECT_EQ(driver_.DriverHandle(), FakeSystem::kDevice);
}

}  // namespace
}  // namespace fu
