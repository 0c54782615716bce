#pragma once
// What the sessions that drive a window program from outside share: starting
// it, finding its windows, reading their texts and waiting for a state.

#include <functional>
#include <string>

#include "platform/win32/windows_api.h"

namespace fu::session {

// Wine hands Unix paths through as they are; a program is started by its
// Windows path.
std::string WindowsPath(std::string path);

// Ends a started program that still runs, and closes its handles.
void EndProcess(PROCESS_INFORMATION& process);

// A time limit times FU_SESSION_TIME_SCALE (a whole number, 1 when unset): under
// qemu-i386 each program start takes a minute instead of a fraction of a second.
DWORD ScaledTimeout(DWORD timeout_ms);

// True under an emulator (a time scale above 1), where Wine now and then stalls
// or crashes in a program that is not at fault.
bool Emulated();

// Polls until the condition holds; false after the timeout.
bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms);

// A visible top-level window of the process with the given class.
HWND FindProcessWindow(DWORD process_id, const char* window_class);

// WM_GETTEXT itself: GetWindowTextA gives only the creation text of another
// program's controls.
std::string TextOf(HWND window);

// The texts of a message box's static controls.
std::string MessageBoxText(HWND box);

}  // namespace fu::session
