// FlashUpdate.exe: the window program on this PC, with its cards and the
// hardware-access driver. It takes no command-line arguments.

#include "platform/win32/win32_machine.h"
#include "window_program.h"
// After the ports' headers: see windows_api.h.
#include "platform/win32/windows_api.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*command_line*/,
                   int show_command) {
  fu::Win32Machine machine;
  return fu::RunWindowProgram(instance, show_command, machine);
}
