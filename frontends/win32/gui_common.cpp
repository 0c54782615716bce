#include "gui_common.h"

#include <string>

namespace fu::gui {

namespace {

bool hourglass = false;
HWND navigation = nullptr;

void Dispatch(MSG& msg) {
  if (navigation != nullptr && ::IsDialogMessageA(navigation, &msg)) {
    return;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageA(&msg);
}

}  // namespace

void InitControls() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
  ::InitCommonControlsEx(&controls);
}

HFONT DesignFont() {
  static const HFONT font = [] {
    const HDC screen = ::GetDC(nullptr);
    const int height = -::MulDiv(form1::kFontPoints, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
    ::ReleaseDC(nullptr, screen);
    const std::string face(form1::kFont);
    return ::CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, face.c_str());
  }();
  return font;
}

POINT CentredOrigin(int width, int height) {
  return POINT{(::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (::GetSystemMetrics(SM_CYSCREEN) - height) / 2};
}

namespace {

SIZE TextSize(std::string_view text) {
  SIZE size{0, 0};
  const HDC screen = ::GetDC(nullptr);
  const HGDIOBJ old = ::SelectObject(screen, DesignFont());
  if (text.empty()) {
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(screen, &metrics);
    size.cy = metrics.tmHeight;
  } else {
    ::GetTextExtentPoint32A(screen, text.data(), static_cast<int>(text.size()), &size);
  }
  ::SelectObject(screen, old);
  ::ReleaseDC(nullptr, screen);
  return size;
}

}  // namespace

HWND CreateControl(HWND parent, const char* window_class, std::string_view text, DWORD style,
                   DWORD ex_style, const form1::Rect& rect, int id) {
  int width = rect.width;
  int height = rect.height;
  if (width == 0 && height == 0) {
    const SIZE size = TextSize(text);
    width = size.cx;
    height = size.cy;
  }
  const std::string caption(text);
  const HWND control = ::CreateWindowExA(
      ex_style, window_class, caption.c_str(), WS_CHILD | style, rect.left, rect.top, width, height,
      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(parent, GWLP_HINSTANCE)), nullptr);
  ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(DesignFont()), FALSE);
  return control;
}

void SetLabelText(HWND label, std::string_view text) {
  const SIZE size = TextSize(text);
  ::SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::SetWindowTextA(label, std::string(text).c_str());
}

void SetHourglass(bool on) {
  hourglass = on;
  ::SetCursor(::LoadCursorA(nullptr, on ? IDC_WAIT : IDC_ARROW));
}

bool ApplyHourglass() {
  if (hourglass) {
    ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
  }
  return hourglass;
}

void SetNavigationWindow(HWND window) {
  navigation = window;
}

void ProcessPendingMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    Dispatch(msg);
  }
}

int RunMessageLoop() {
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    Dispatch(msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace fu::gui
