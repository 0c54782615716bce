#pragma once
// What both windows of the program share: the design font, placing windows and
// their controls, the application-wide hourglass and the message pump.

#include <string_view>

#include "platform/main_window_texts.h"
// After the ports' headers: see windows_api.h.
#include "platform/win32/windows_api.h"
// The common controls need <windows.h> first.
#include <commctrl.h>

namespace fu::gui {

// Registers the common control classes the windows use (the progress bars).
void InitControls();

// "MS Sans Serif" 8 point, made once for the whole program.
HFONT DesignFont();

// Where a window of the given outer size stands centred on the screen.
POINT CentredOrigin(int width, int height);

// A child control at its design position (client coordinates) in the design
// font. A rectangle without width and height is a label that sizes itself to
// its text.
HWND CreateControl(HWND parent, const char* window_class, std::string_view text, DWORD style,
                   DWORD ex_style, const form1::Rect& rect, int id);

// Sets a label's text and sizes the label to it.
void SetLabelText(HWND label, std::string_view text);

// The hourglass for every window of the program. The window procedures call
// ApplyHourglass on WM_SETCURSOR and leave the message to the default when it
// gives false.
void SetHourglass(bool on);
bool ApplyHourglass();

// The window whose controls the keyboard moves through with Tab (the main
// window); nullptr for none.
void SetNavigationWindow(HWND window);

// Dispatches every message now waiting in the thread's queue. A WM_QUIT met
// there is posted again for the message loop and ends the pass.
void ProcessPendingMessages();

// The program's message loop: runs until WM_QUIT and returns its exit code.
int RunMessageLoop();

}  // namespace fu::gui
