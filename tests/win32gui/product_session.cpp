// FlashUpdate.exe, the product exactly as shipped, on this PC without its
// hardware-access driver: copied into a folder of its own with the DSP program
// file beside it and no driver file, it must say "Fehler bei HWAccess" for
// each slot, show an empty card list with both update buttons disabled, leave
// no driver service behind and end with status 0 on "Exit". No port is ever
// touched, since without the driver nothing reaches one. FlashUpdateCli.exe,
// beside it, lists the same PC: a message a slot, no card and status 2.
//
// Both run twice: as Wine's default Windows, then as Windows NT 4.0 (Wine's
// per-program version setting). The name of the one-program mutex shows which
// Windows each run saw: "Global\" only from Windows 2000 on.
//
// Under the emulator Wine now and then stalls or crashes in a program that is
// not at fault; a part that stalled so runs once more, and the report says so.
//
//   product_session.exe FLASHUPDATE_EXE FLASHUPDATECLI_EXE DSP_PROGRAM_FILE

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>

#include "main_window.h"
#include "session_support.h"

namespace {

using fu::session::MessageBoxText;
using fu::session::TextOf;
using fu::session::WaitFor;
using fu::session::WindowsPath;
using Id = fu::Win32MainWindow::Id;
namespace fs = std::filesystem;

const DWORD kTimeoutMs = fu::session::ScaledTimeout(30000);
constexpr int kSlots = 4;
constexpr const char* kMutexName = "FlashUpdate.EinProgrammJePC";
constexpr const char* kAppDefaults = "Software\\Wine\\AppDefaults\\";
constexpr const char* kPrograms[] = {"FlashUpdate.exe", "FlashUpdateCli.exe"};

// The Windows version Wine shows the shipped programs: "nt40", or Wine's
// default for an empty one.
bool SetWineVersion(const std::string& version) {
  bool ok = true;
  for (const char* program : kPrograms) {
    const std::string key = std::string(kAppDefaults) + program;
    if (version.empty()) {
      ::RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
      continue;
    }
    HKEY handle = nullptr;
    ok &= ::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &handle, nullptr) == ERROR_SUCCESS &&
          ::RegSetValueExA(handle, "Version", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(version.c_str()),
                           static_cast<DWORD>(version.size() + 1)) == ERROR_SUCCESS;
    if (handle != nullptr) {
      ::RegCloseKey(handle);
    }
  }
  return ok;
}

bool MutexExists(const std::string& name) {
  const HANDLE mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  if (mutex != nullptr) {
    ::CloseHandle(mutex);
  }
  return mutex != nullptr;
}

class Session {
 public:
  ~Session() {
    SetWineVersion("");
    fu::session::EndProcess(process_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  bool Run(const std::string& program, const std::string& console, const std::string& dsp_file);
  std::string Report() const { return report_.str(); }

 private:
  bool Check(bool ok, const std::string& what) {
    report_ << (ok ? "ok    " : "FAIL  ") << what << "\n";
    return ok;
  }
  bool RunWindow(bool nt4);
  bool RunConsole();
  // Runs a part, and once more if it stalled under the emulator.
  bool Attempt(const std::function<bool()>& part);
  // The started program's window of that class, checked as shown; none when
  // the wait runs out or the program ends first.
  HWND CheckShown(const char* window_class, const std::string& what);
  // Checks that the program ends, with that status.
  bool CheckEnds(HANDLE process, DWORD status, const std::string& what);
  // After a wait for a program ran out: whether it still runs or how it
  // ended. Still running, or ended by an exception, is a stall.
  std::string Fate(HANDLE process);
  HWND Own(const char* window_class) const {
    return fu::session::FindProcessWindow(process_.dwProcessId, window_class);
  }

  fs::path folder_;
  PROCESS_INFORMATION process_{};
  std::ostringstream report_;
  bool stalled_ = false;
};

bool ServiceRegistered() {
  const SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) {
    return false;
  }
  const SC_HANDLE service = ::OpenServiceA(manager, "HWACCESS", SERVICE_QUERY_STATUS);
  if (service != nullptr) {
    ::CloseServiceHandle(service);
  }
  ::CloseServiceHandle(manager);
  return service != nullptr;
}

bool Session::Run(const std::string& program, const std::string& console,
                  const std::string& dsp_file) {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(sizeof(temp), temp);
  folder_ = fs::path(temp) / ("fu-product-" + std::to_string(::GetCurrentProcessId()));
  fs::create_directories(folder_);
  fs::copy_file(fs::path(WindowsPath(program)), folder_ / "FlashUpdate.exe");
  fs::copy_file(fs::path(WindowsPath(console)), folder_ / "FlashUpdateCli.exe");
  fs::copy_file(fs::path(WindowsPath(dsp_file)), folder_ / "QX4FLASH_PCI.PCI");
  bool ok = Check(!ServiceRegistered(), "no driver service before the start");
  for (const bool nt4 : {false, true}) {
    report_ << (nt4 ? "-- as Windows NT 4.0\n" : "-- as Wine's default Windows\n");
    if (!Check(SetWineVersion(nt4 ? "nt40" : ""), "Wine's version for both programs set")) {
      return false;
    }
    ok &= Attempt([&] { return RunWindow(nt4); });
    // A window program that failed may still run and hold the one-program
    // mutex; the console program is judged on its own.
    fu::session::EndProcess(process_);
    ok &= Attempt([&] { return RunConsole(); });
  }
  return ok;
}

bool Session::Attempt(const std::function<bool()>& part) {
  stalled_ = false;
  if (part()) {
    return true;
  }
  if (!stalled_ || !fu::session::Emulated()) {
    return false;
  }
  report_ << "-- Wine stalled under the emulator: that part once more\n";
  stalled_ = false;
  return part();
}

HWND Session::CheckShown(const char* window_class, const std::string& what) {
  HWND window = nullptr;
  WaitFor(
      [&] {
        return (window = Own(window_class)) != nullptr ||
               ::WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
      },
      kTimeoutMs);
  Check(window != nullptr, what + (window != nullptr ? "" : Fate(process_.hProcess)));
  return window;
}

bool Session::CheckEnds(HANDLE process, DWORD status, const std::string& what) {
  DWORD code = 0;
  const bool ended = ::WaitForSingleObject(process, kTimeoutMs) == WAIT_OBJECT_0 &&
                     ::GetExitCodeProcess(process, &code) && code == status;
  return Check(ended, what + (ended ? "" : Fate(process)));
}

std::string Session::Fate(HANDLE process) {
  if (::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
    stalled_ = true;
    return " (it still runs)";
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  stalled_ |= code >= 0xC0000000;
  char text[48] = {};
  std::snprintf(text, sizeof(text), " (it ended with status 0x%lX)",
                static_cast<unsigned long>(code));
  return text;
}

bool Session::RunWindow(bool nt4) {
  fu::session::EndProcess(process_);
  bool ok = true;
  std::string command = "\"" + (folder_ / "FlashUpdate.exe").string() + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder_.string().c_str(), &startup, &process_)) {
    return Check(false, "start " + command + " (error " + std::to_string(::GetLastError()) + ")");
  }

  // One message a slot: each open of the driver fails.
  for (int slot = 0; slot < kSlots; ++slot) {
    const HWND box = CheckShown(
        "#32770", "message " + std::to_string(slot + 1) + " of " + std::to_string(kSlots));
    if (box == nullptr) {
      return false;
    }
    const std::string text = MessageBoxText(box);
    ok &= Check(text == "Fehler bei HWAccess", "it reads \"" + text + "\"");
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, kTimeoutMs);
  }

  const HWND main = CheckShown(fu::Win32MainWindow::kClassName, "main window shown");
  if (main == nullptr) {
    return false;
  }
  const auto item = [&](int id) { return ::GetDlgItem(main, id); };
  ok &= Check(::SendMessageA(item(Id::kComboBox1), CB_GETCOUNT, 0, 0) == 0, "no card listed");
  ok &= Check(TextOf(item(Id::kEdit1)) == "Nicht vorhanden" &&
                  TextOf(item(Id::kEdit2)) == "Nicht vorhanden",
              "serial number and customer \"Nicht vorhanden\"");
  ok &= Check(TextOf(item(Id::kEdit3)) == "Unbekannt", "flash version \"Unbekannt\"");
  ok &= Check(!::IsWindowEnabled(item(Id::kButton2)) && !::IsWindowEnabled(item(Id::kButton3)),
              "both update buttons disabled");
  ok &= Check(Own("#32770") == nullptr, "no further message");
  const std::string global = std::string("Global\\") + kMutexName;
  ok &= Check(nt4 ? MutexExists(kMutexName) && !MutexExists(global) : MutexExists(global),
              nt4 ? "its one-program mutex has the bare name of NT 4"
                  : "its one-program mutex is in the global namespace");
  ok &= Check(!ServiceRegistered(), "no driver service left behind");

  ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(Id::kButton1, BN_CLICKED),
                 reinterpret_cast<LPARAM>(item(Id::kButton1)));
  ok &= CheckEnds(process_.hProcess, 0, "\"Exit\" ends the program with status 0");
  return ok;
}

bool Session::RunConsole() {
  const fs::path output = folder_ / "list.txt";
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  const HANDLE out = ::CreateFileA(output.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                   &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const HANDLE in = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = out;
  std::string command = "\"" + (folder_ / "FlashUpdateCli.exe").string() + "\" list";
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        folder_.string().c_str(), &startup, &process) != FALSE;
  ::CloseHandle(out);
  ::CloseHandle(in);
  if (!Check(started, "start " + command)) {
    return false;
  }
  // Status 2: the hardware could not be reached, which a script must tell from
  // a PC without cards (status 0).
  bool ok = CheckEnds(process.hProcess, 2, "FlashUpdateCli.exe list ends with status 2");
  fu::session::EndProcess(process);
  std::ifstream file(output, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::string expected;
  for (int slot = 0; slot < kSlots; ++slot) {
    expected += "Fehler: Fehler bei HWAccess\r\n";
  }
  expected += "Keine Karte gefunden.\r\n";
  ok &= Check(text == expected, "it prints a message a slot and no card:\n" + text);
  ok &= Check(!ServiceRegistered(), "no driver service left behind by FlashUpdateCli.exe");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: product_session FLASHUPDATE_EXE FLASHUPDATECLI_EXE DSP_PROGRAM_FILE\n",
               stderr);
    return 2;
  }
  bool ok = false;
  std::string report;
  {
    Session session;
    ok = session.Run(argv[1], argv[2], argv[3]);
    report = session.Report();
  }
  std::fputs(report.c_str(), stdout);
  return ok ? 0 : 1;
}
