#include "hwaccess/driver_service.h"

#include <string>

#include "base/cp1252.h"
#include "base/hex_text.h"
#include "hwaccess/executable_dir.h"

namespace fu {

void DriverService::Note(std::string_view what, bool with_error, std::string_view name) {
  if (!protocol_.On()) {
    return;
  }
  std::string text = "Treiber: ";
  text += what;
  if (!name.empty()) {
    text += ' ';
    text += name;
  }
  if (with_error) {
    text += ", Fehlercode " + std::to_string(system_.GetLastError());
  }
  protocol_.Record(text);
}

bool DriverService::OpenDriver() {
  path_refused_ = false;
  if (OpenDriverDevice()) {
    return true;
  }
  if (!StartDriverService()) {
    if (!InstallDriverService()) {
      DeleteDriverService();
      if (!InstallDriverService()) {
        return false;
      }
    }
    if (!StartDriverService()) {
      DeleteDriverService();
      return false;
    }
  }
  return OpenDriverDevice();
}

bool DriverService::RefusedModulePath(std::string_view module_path) {
  if (!ModulePathTooLong(module_path)) {
    return false;
  }
  if (!path_refused_) {  // once, though the service is registered twice over
    messages_.Show(ModulePathTooLongText(), MessageKind::Error, Buttons::Ok);
    path_refused_ = true;
  }
  return true;
}

bool DriverService::OpenDriverDevice() {
  if (IsNt()) {
    handle_ = system_.CreateFile(driver::kDeviceNt, win::GENERIC_READ, win::FILE_SHARE_READ,
                                 win::OPEN_EXISTING, 0);
    Note(handle_ != kInvalidHandle ? "NT, Gerät geöffnet:"_cp : "NT, Gerät nicht geöffnet:"_cp,
         handle_ == kInvalidHandle, driver::kDeviceNt);
  } else if (IsWindows9x()) {
    const std::string path = system_.GetModuleFileName();
    if (path.empty() || RefusedModulePath(path)) {
      Note("9x, Programmpfad unbrauchbar:", false, path);
      return false;
    }
    const std::string vxd = ExecutableDirectory(path) + std::string(driver::kVxdFile);
    handle_ =
        system_.CreateFile("\\\\.\\" + vxd, 0, 0, win::CREATE_NEW, win::FILE_FLAG_DELETE_ON_CLOSE);
    if (handle_ == kInvalidHandle) {
      Note("9x, VxD nicht geladen:", true, vxd);
      system_.CopyFile(vxd, driver::kVxdFallback, false);
      handle_ = system_.CreateFile("\\\\.\\" + std::string(driver::kVxdFallback), 0, 0,
                                   win::CREATE_NEW, win::FILE_FLAG_DELETE_ON_CLOSE);
      Note(handle_ != kInvalidHandle ? "9x, VxD geladen:" : "9x, VxD nicht geladen:",
           handle_ == kInvalidHandle, driver::kVxdFallback);
    } else {
      Note("9x, VxD geladen:", false, vxd);
    }
  } else {
    handle_ = kInvalidHandle;  // no driver for other platforms
    if (protocol_.On()) {
      Note("kein Treiber für die Plattform"_cp, false, std::to_string(system_.PlatformId()));
    }
  }
  return handle_ != kInvalidHandle;
}

bool DriverService::CloseDriverDevice() {
  Note("Gerät geschlossen"_cp);
  return system_.CloseHandle(handle_);
}

bool DriverService::InstallDriverService() {
  if (IsWindows9x()) {
    return true;
  }
  const std::string path = system_.GetModuleFileName();
  if (RefusedModulePath(path)) {
    return false;
  }
  const std::string dir = ExecutableDirectory(path);
  if (dir.empty()) {
    Note("Dienst nicht angelegt, kein Programmordner in", false, path);
    return false;
  }
  const Handle manager = system_.OpenSCManager(win::SC_MANAGER_ALL_RIGHTS);
  if (manager == 0) {
    Note("Dienstverwaltung verweigert (Anlegen)", true);
    return false;
  }
  ServiceRegistration registration;
  registration.name = driver::kServiceName;
  registration.displayName = driver::kServiceName;
  registration.desiredAccess = win::SERVICE_ALL_ACCESS;
  registration.serviceType = win::SERVICE_KERNEL_DRIVER;
  registration.startType = win::SERVICE_AUTO_START;
  registration.errorControl = win::SERVICE_ERROR_NORMAL;
  registration.binaryPath = dir + std::string(driver::kDriverFile);
  const Handle service = system_.CreateService(manager, registration);
  Note(service != 0 ? "Dienst HWACCESS angelegt für"_cp : "Dienst HWACCESS nicht angelegt für"_cp,
       service == 0, registration.binaryPath);
  if (service != 0) {
    system_.CloseServiceHandle(service);
  }
  system_.CloseServiceHandle(manager);
  return service != 0;
}

bool DriverService::StartDriverService() {
  if (IsWindows9x()) {
    return true;
  }
  const Handle manager = system_.OpenSCManager(win::SC_MANAGER_ALL_RIGHTS);
  if (manager == 0) {
    Note("Dienstverwaltung verweigert (Start)", true);
    return false;
  }
  bool started = false;
  const Handle service =
      system_.OpenService(manager, driver::kServiceName, win::SERVICE_ALL_ACCESS);
  if (service != 0) {
    started = system_.StartService(service);
    Note(started ? "Dienst HWACCESS gestartet" : "Dienst HWACCESS nicht gestartet", !started);
    system_.CloseServiceHandle(service);
  } else {
    Note("Dienst HWACCESS nicht gefunden (Start)", true);
  }
  system_.CloseServiceHandle(manager);
  return started;
}

bool DriverService::DeleteDriverService() {
  if (IsWindows9x()) {
    return true;
  }
  const Handle manager = system_.OpenSCManager(win::SC_MANAGER_ALL_RIGHTS);
  if (manager == 0) {
    Note("Dienstverwaltung verweigert (Löschen)"_cp, true);
    return false;
  }
  bool deleted = false;
  const Handle service =
      system_.OpenService(manager, driver::kServiceName, win::SERVICE_ALL_ACCESS);
  if (service != 0) {
    deleted = system_.DeleteService(service);
    Note(deleted ? "Dienst HWACCESS gelöscht"_cp : "Dienst HWACCESS nicht gelöscht"_cp, !deleted);
    system_.CloseServiceHandle(service);
  }
  system_.CloseServiceHandle(manager);
  return deleted;
}

bool DriverService::RestartDriverService() {
  // Only the NT family has a service control manager. On 9x the VxD is
  // reloaded by closing its handle and opening it again.
  if (!IsNt()) {
    return false;
  }
  Note("Dienst HWACCESS wird neu gestartet");
  const Handle manager = system_.OpenSCManager(win::SC_MANAGER_CONNECT);
  if (manager == 0) {
    Note("Dienstverwaltung verweigert (Neustart)", true);
    return false;
  }
  const Handle service =
      system_.OpenService(manager, driver::kServiceName, win::SERVICE_ALL_ACCESS);
  if (service == 0) {
    Note("Dienst HWACCESS nicht gefunden (Neustart)", true);
    system_.CloseServiceHandle(manager);
    return false;
  }
  if (!system_.ControlService(service, win::SERVICE_CONTROL_STOP)) {
    Note("Dienst HWACCESS nicht angehalten", true);
    messages_.Show("Failed in Stop Service", MessageKind::Plain, Buttons::Ok);
  }
  system_.ControlService(service, win::SERVICE_CONTROL_INTERROGATE);
  if (!system_.StartService(service)) {
    Note("Dienst HWACCESS nicht wieder gestartet", true);
    messages_.Show("Failed in Delete Service: " + HexText(system_.GetLastError()),
                   MessageKind::Plain, Buttons::Ok);
  }
  system_.CloseServiceHandle(service);
  system_.CloseServiceHandle(manager);
  return true;
}

}  // namespace fu
