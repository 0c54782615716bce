#include "window_program.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "app/flash_update_kunde_unit.h"
#include "app/protocol_start.h"
#include "base/version.h"
#include "flash_splash.h"
#include "gui_common.h"
#include "main_window.h"
#include "platform/win32/win32_message_service.h"

namespace fu {

namespace {

void ShowBox(std::string_view text, UINT icon) {
  const std::string message(text);
  const std::string caption(kMessageCaption);
  ::MessageBoxA(nullptr, message.c_str(), caption.c_str(), MB_OK | icon | MB_TASKMODAL);
}

}  // namespace

int RunWindowProgram(HINSTANCE instance, int show_command, Machine& machine,
                     std::string_view console_program, const SplashWrapper& wrap_splash,
                     const std::optional<gui::FontChoice>& font, std::string_view command_line) {
  std::unique_ptr<FileProtocol> protocol;
  try {
    const std::vector<std::string> args = SplitCommandLine(command_line);
    protocol = StartProtocolFromArguments(args, kMessageCaption, machine);
  } catch (const ProtocolFileError& error) {
    ShowStartError(error.what());
    return 1;
  }
  // Whichever way the program ends, the protocol notes it, and lines it lost
  // are told.
  const auto ended = [&](int exit_code) {
    if (protocol) {
      RecordProgramEnd(*protocol, exit_code);
    }
    if (protocol && !protocol->Complete()) {
      ShowBox(protocol->IncompleteText(), MB_ICONWARNING);
    }
    return exit_code;
  };
  gui::InitControls();
  Win32MainWindow window(instance, font);
  if (window.Frame() == nullptr) {
    ShowStartError("Das Hauptfenster konnte nicht erzeugt werden.");
    return ended(1);
  }
  Win32MessageService messages{std::string(kMessageCaption)};
  messages.SetOwner(window.Frame());
  Win32FlashSplashFactory splash_windows(instance);
  splash_windows.SetOwner(window.Frame());
  splash_windows.SetFont(font);
  const std::unique_ptr<FlashSplashFactory> wrapped =
      wrap_splash ? wrap_splash(splash_windows) : nullptr;
  FlashSplashFactory& splash = wrapped ? *wrapped : splash_windows;

  FlashUpdateSystem system(Ports{machine.System(), machine.Ports(), machine.Bus(), machine.Time(),
                                 machine.Drive(), messages, splash,
                                 protocol ? *protocol : NoProtocol()});
  TForm1 form(system, window, RestoreOffers::Ask, console_program);
  form.SetEndRequests(window);
  window.SetController(&form);
  // Start-up runs before the window shows, so it opens with the cards listed.
  form.FormCreate();
  if (window.Frame() == nullptr) {
    return ended(0);
  }
  window.Show(show_command);
  const int exit_code = gui::RunMessageLoop();
  window.SetController(nullptr);
  return ended(exit_code);
}

void ShowStartError(std::string_view text) {
  ShowBox(text, MB_ICONERROR);
}

bool AsksForVersion(std::string_view command_line) {
  const std::vector<std::string> args = SplitCommandLine(command_line);
  // The first argument is the program's own path.
  return std::any_of(args.begin() + (args.empty() ? 0 : 1), args.end(), [](const std::string& arg) {
    return std::ranges::equal(arg, std::string_view("/version"), [](char a, char b) {
      return std::tolower(static_cast<unsigned char>(a)) == b;
    });
  });
}

bool ShowVersionIfAsked(std::string_view program) {
  if (!AsksForVersion(::GetCommandLineA())) {
    return false;
  }
  const std::string text = std::string(program) + " " + std::string(kVersion);
  const std::string caption(kMessageCaption);
  ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
  return true;
}

}  // namespace fu
