// One session with FlashUpdateSim.exe, as a user would have it, seen from
// outside the program: it starts the program on a fresh simulated PC, waits
// for the main window with the cards, clicks "Flash upgraden", watches the
// progress window, answers the note on the flash beyond the record and the
// success message, checks the refreshed window
// and closes it. Exit status 0 when everything was as expected, the program's
// simulated PC recording no machine fault included.
//
//   win32gui_session.exe PROGRAM [HANDSHAKE_FOLDER]
//
// With a handshake folder, the session stops at the moments worth a
// screenshot: it writes NAME.ready there and goes on once NAME.taken exists
// (names: main, splash, done). Its report also goes to session.log there.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim_pc.h"

// The window's headers bring <windows.h>, after the ports' headers (see
// windows_api.h).
#include "flash_splash.h"
#include "main_window.h"
#include "session_support.h"
// The common controls need <windows.h> first.
#include <commctrl.h>

namespace {

using fu::session::MessageBoxText;
using fu::session::TextOf;
using fu::session::WaitFor;
using fu::session::WindowsPath;
using Id = fu::Win32MainWindow::Id;

const DWORD kStartTimeoutMs = fu::session::ScaledTimeout(60000);
const DWORD kStepTimeoutMs = fu::session::ScaledTimeout(30000);

class Session {
 public:
  Session(std::string program, std::string handshake)
      : program_(std::move(program)), handshake_(std::move(handshake)) {}

  ~Session() {
    fu::session::EndProcess(process_);
    std::error_code ignored;
    std::filesystem::remove_all(pc_home_, ignored);
  }

  bool Run();
  std::string Report() const { return report_.str(); }

 private:
  bool Start();
  bool Check(bool ok, const std::string& what) {
    report_ << (ok ? "ok    " : "FAIL  ") << what << "\n";
    return ok;
  }
  // A visible top-level window of the program with the given class.
  HWND FindOwnWindow(const char* window_class) const {
    return fu::session::FindProcessWindow(process_.dwProcessId, window_class);
  }
  HWND Item(int id) const { return ::GetDlgItem(main_, id); }
  std::string ItemText(int id) const { return TextOf(Item(id)); }
  std::vector<std::string> ListItems() const;
  void Pause(const std::string& name);

  std::string program_;
  std::string handshake_;
  std::filesystem::path pc_home_;
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
  std::ostringstream report_;
};

std::vector<std::string> Session::ListItems() const {
  std::vector<std::string> items;
  const HWND list = Item(Id::kComboBox1);
  const auto count = ::SendMessageA(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    // Asked in UTF-16: Wine hands another program's list item back that way
    // whatever the call.
    wchar_t wide[256] = {};
    ::SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide));
    char item[256] = {};
    ::WideCharToMultiByte(1252, 0, wide, -1, item, sizeof(item), nullptr, nullptr);
    items.emplace_back(item);
  }
  return items;
}

void Session::Pause(const std::string& name) {
  if (handshake_.empty()) {
    return;
  }
  const std::filesystem::path folder(handshake_);
  std::ofstream(folder / (name + ".ready")).put('\n');
  Check(
      WaitFor([&] { return std::filesystem::exists(folder / (name + ".taken")); }, kStepTimeoutMs),
      "screenshot " + name);
}

bool Session::Start() {
  // A simulated PC of its own: the program keeps it under %LOCALAPPDATA%.
  char temp[MAX_PATH] = {};
  ::GetTempPathA(sizeof(temp), temp);
  pc_home_ =
      std::filesystem::path(temp) / ("fu-session-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                     std::to_string(::GetTickCount()));
  std::filesystem::create_directories(pc_home_);
  ::SetEnvironmentVariableA("LOCALAPPDATA", pc_home_.string().c_str());
  // Each block of the write stays on the screen long enough to be looked at.
  ::SetEnvironmentVariableA("FLASHUPDATE_SIM_BLOCK_PAUSE_MS", handshake_.empty() ? "300" : "4000");

  std::string command = "\"" + WindowsPath(program_) + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_)) {
    return Check(false, "start " + command + " (error " + std::to_string(::GetLastError()) + ")");
  }
  return Check(WaitFor(
                   [&] {
                     main_ = FindOwnWindow(fu::Win32MainWindow::kClassName);
                     return main_ != nullptr;
                   },
                   kStartTimeoutMs),
               "main window shown");
}

bool Session::Run() {
  if (!Start()) {
    return false;
  }
  bool ok = true;
  ok &= Check(TextOf(main_) == "Veridomatic PCI: Flashupdate V1.2 --> V1.3", "caption");
  std::string items;
  for (const std::string& item : ListItems()) {
    items += " \"" + item + "\"";
  }
  ok &= Check(items == " \"nimbaPCI/HS\" \"RT/Count16\"",
              "the two cards of the simulated PC are listed:" + items);
  ok &= Check(ItemText(Id::kEdit3) == "1.2", "the first card shows revision 1.2");
  ok &= Check(::IsWindowEnabled(Item(Id::kButton2)) && !::IsWindowEnabled(Item(Id::kButton3)),
              "only \"Flash upgraden\" is enabled");
  ok &= Check(::IsWindowVisible(Item(Id::kButton4)) != FALSE, "\"Dump\" is shown");
  Pause("main");

  ::PostMessageA(main_, WM_COMMAND, MAKEWPARAM(Id::kButton2, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(Id::kButton2)));
  HWND splash = nullptr;
  const bool block2 = WaitFor(
      [&] {
        splash = FindOwnWindow(fu::Win32FlashSplashFactory::kClassName);
        return splash != nullptr &&
               TextOf(::GetDlgItem(splash, fu::Win32FlashSplashFactory::kLabel2)) == "2";
      },
      kStepTimeoutMs);
  ok &= Check(block2, "the progress window shows block 2");
  if (block2) {
    ok &= Check(TextOf(::GetDlgItem(splash, fu::Win32FlashSplashFactory::kLabel3)) ==
                    "Schreibe neuen Datensatz",
                "its activity text");
    ok &= Check(::SendMessageA(::GetDlgItem(splash, fu::Win32FlashSplashFactory::kProgressBar1),
                               PBM_GETPOS, 0, 0) == 50,
                "its progress bar at 50");
    ok &= Check(::IsWindowVisible(Item(Id::kLabel6)) != FALSE,
                "the main window says that the flash is being written");
    Pause("splash");
  }

  // A box of the program whose text holds part.
  const auto box_saying = [&](const std::string& part) {
    HWND box = nullptr;
    WaitFor(
        [&] {
          box = FindOwnWindow("#32770");
          return box != nullptr && MessageBoxText(box).find(part) != std::string::npos;
        },
        kStepTimeoutMs);
    return box != nullptr && MessageBoxText(box).find(part) != std::string::npos ? box : nullptr;
  };
  // The erase also took the calibration table after card 0's record: told first.
  const HWND note = box_saying("erhalb des Datensatzes weicht");
  ok &= Check(
      note != nullptr && MessageBoxText(note).find("0xD02E00 bis 0xD02E43") != std::string::npos,
      "a message box names the flash beyond the record that the erase took");
  if (note != nullptr) {
    ::PostMessageA(note, WM_COMMAND, IDOK, 0);
  }
  const HWND box = box_saying("Flash erfolgreich aktualisiert");
  ok &= Check(box != nullptr, "the success message follows");
  if (box != nullptr) {
    Pause("done");
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  ok &= Check(WaitFor(
                  [&] {
                    return ItemText(Id::kEdit3) == "1.3" && ::IsWindowEnabled(Item(Id::kButton3)) &&
                           !::IsWindowEnabled(Item(Id::kButton2)) &&
                           !::IsWindowVisible(Item(Id::kLabel6));
                  },
                  kStepTimeoutMs),
              "afterwards the card shows revision 1.3 and only \"Flash downgraden\" is enabled");

  ::PostMessageA(main_, WM_CLOSE, 0, 0);
  const bool ended = ::WaitForSingleObject(process_.hProcess, kStepTimeoutMs) == WAIT_OBJECT_0;
  DWORD exit_code = 1;
  ::GetExitCodeProcess(process_.hProcess, &exit_code);
  ok &= Check(ended && exit_code == 0, "closing the window ends the program with status 0");

  // The program's simulated PC lies where DefaultPcFolder puts it under
  // %LOCALAPPDATA%; it wrote every machine fault of the run there.
  std::string faults;
  for (const std::string& line :
       fu::sim::SimPc::RecordedMachineFaults(pc_home_ / "FlashUpdate" / "SimPC")) {
    faults += "\n      " + line;
  }
  ok &= Check(faults.empty(), "no machine fault" + faults);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fputs("usage: win32gui_session PROGRAM [HANDSHAKE_FOLDER]\n", stderr);
    return 2;
  }
  const std::string handshake = argc == 3 ? WindowsPath(argv[2]) : "";
  bool ok = false;
  std::string report;
  {
    Session session(argv[1], handshake);
    ok = session.Run();
    report = session.Report();
  }
  std::fputs(report.c_str(), stdout);
  if (!handshake.empty()) {
    // Binary: read on Linux, without carriage returns.
    const std::filesystem::path folder(handshake);
    std::ofstream(folder / "session.log", std::ios::binary) << report;
    std::ofstream(folder / "result", std::ios::binary) << (ok ? 0 : 1) << "\n";
  }
  return ok ? 0 : 1;
}
