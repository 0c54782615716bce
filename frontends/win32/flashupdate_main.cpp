// FlashUpdate.exe: the window program on this PC, with its cards and the
// hardware-access driver. /version shows its version and ends; /protokoll DATEI
// writes the support protocol. A second start
// while it or FlashUpdateCli.exe runs says so and ends.

#include "app/console_program.h"
#include "platform/win32/win32_machine.h"
#include "window_program.h"
// After the ports' headers: see windows_api.h.
#include "platform/win32/windows_api.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR command_line,
                   int show_command) {
  if (fu::ShowVersionIfAsked("FlashUpdate.exe")) {
    return 0;
  }
  fu::Win32Machine machine;
  if (!machine.FirstProgram()) {
    fu::ShowStartError(fu::kOtherProgramRuns);
    return 1;
  }
  return fu::RunWindowProgram(instance, show_command, machine, fu::kConsoleProgram, {}, {},
                              command_line);
}
