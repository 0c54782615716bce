#pragma once
// What both windows of the program share: the design font, placing windows and
// their controls, the application-wide hourglass and the message pump.

#include <initializer_list>
#include <string>
#include <string_view>

#include "font_choice.h"
#include "platform/form_scale.h"
#include "platform/main_window_texts.h"
// After the ports' headers: see windows_api.h.
#include "platform/win32/windows_api.h"
// The common controls need <windows.h> first.
#include <commctrl.h>

namespace fu::gui {

// Registers the common control classes the windows use (the progress bars).
void InitControls();

// The design font, "MS Sans Serif" 8 point at the screen's DPI: what the
// windows ask for unless the program that creates them chooses another.
FontChoice DesignFont();

// A window's font as it really came out, with the scale of the window's
// design units to it (form1::FormScale). The window owns it: its controls
// use it until the window is destroyed.
class WindowFont {
 public:
  explicit WindowFont(const FontChoice& choice);
  ~WindowFont();
  WindowFont(const WindowFont&) = delete;
  WindowFont& operator=(const WindowFont&) = delete;

  HFONT Handle() const { return font_; }
  // The extent of a text; an empty text has the font's height and no width.
  SIZE TextSize(std::string_view text) const;
  // tmHeight: the height of a line of text.
  int LineHeight() const { return line_height_; }
  // Measured as Windows measures dialog base units; never below the design.
  form1::FormScale Scale() const { return scale_; }

 private:
  HFONT font_ = nullptr;
  int line_height_ = 0;
  form1::FormScale scale_;
};

// The window's scale: the font's, widened until every text has its room.
form1::FormScale FitScale(const WindowFont& font, std::initializer_list<form1::TextRoom> texts);

// What a push button needs around its text on each side: its 3D border and
// the focus rectangle inside it, with a pixel to spare.
int ButtonTextMargin();

// Gives the window the client area of its design outer size (classic frame,
// form1::kClassicFrameX/Y) scaled, with the frame the system draws around it,
// centred on the screen.
void PlaceFrame(HWND window, const form1::FormScale& scale, int design_width, int design_height);

// Where a window of the given outer size stands centred on the screen.
POINT CentredOrigin(int width, int height);

// A child control at the given position (client coordinates) in the given
// font. A rectangle without width and height is a label that sizes itself to
// its text.
HWND CreateControl(HWND parent, const char* window_class, std::string_view text, DWORD style,
                   DWORD ex_style, const form1::Rect& rect, int id, const WindowFont& font);

// Sets a label's text and sizes the label to it, in the label's own font.
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
