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

// The window needs only the progress bar of the common controls.
// InitCommonControlsEx came with comctl32 4.70, which Windows 95 and NT 4 lack;
// it is looked up, and where it is missing InitCommonControls registers the
// progress bar instead. That call is imported, so comctl32 is always loaded.
void InitControls() {
  using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const HMODULE comctl32 = ::GetModuleHandleA("comctl32.dll");
  const auto initEx = comctl32 == nullptr
                          ? nullptr
                          : reinterpret_cast<InitEx>(reinterpret_cast<void*>(
                                ::GetProcAddress(comctl32, "InitCommonControlsEx")));
  if (initEx != nullptr) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    if (initEx(&controls)) {
      return;
    }
  }
  ::InitCommonControls();
}

FontChoice DesignFont() {
  const HDC screen = ::GetDC(nullptr);
  const int height = ::MulDiv(form1::kFontPoints, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
  ::ReleaseDC(nullptr, screen);
  return FontChoice{std::string(form1::kFont), height};
}

WindowFont::WindowFont(const FontChoice& choice) {
  font_ = ::CreateFontA(-choice.pixel_height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, choice.face.c_str());
  const HDC screen = ::GetDC(nullptr);
  const HGDIOBJ old = ::SelectObject(screen, font_);
  TEXTMETRICA metrics{};
  ::GetTextMetricsA(screen, &metrics);
  SIZE sample{0, 0};
  ::GetTextExtentPoint32A(screen, form1::kBaseUnitSample.data(),
                          static_cast<int>(form1::kBaseUnitSample.size()), &sample);
  ::SelectObject(screen, old);
  ::ReleaseDC(nullptr, screen);
  line_height_ = metrics.tmHeight;
  scale_ = form1::FormScale::Measured(sample.cx, metrics.tmHeight);
}

WindowFont::~WindowFont() {
  if (font_ != nullptr) {
    ::DeleteObject(font_);
  }
}

namespace {

SIZE TextSizeIn(HFONT font, std::string_view text) {
  SIZE size{0, 0};
  const HDC screen = ::GetDC(nullptr);
  const HGDIOBJ old = ::SelectObject(screen, font);
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

SIZE WindowFont::TextSize(std::string_view text) const {
  return TextSizeIn(font_, text);
}

form1::FormScale FitScale(const WindowFont& font, std::initializer_list<form1::TextRoom> texts) {
  return font.Scale().FittedTo(texts);
}

int ButtonTextMargin() {
  return ::GetSystemMetrics(SM_CXEDGE) + 2;
}

void PlaceFrame(HWND window, const form1::FormScale& scale, int design_width, int design_height) {
  RECT outer{0, 0, scale.X(design_width - form1::kClassicFrameX),
             scale.Y(design_height - form1::kClassicFrameY)};
  ::AdjustWindowRectEx(&outer, static_cast<DWORD>(::GetWindowLongA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongA(window, GWL_EXSTYLE)));
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  const POINT origin = CentredOrigin(width, height);
  ::SetWindowPos(window, nullptr, origin.x, origin.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

POINT CentredOrigin(int width, int height) {
  return POINT{(::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (::GetSystemMetrics(SM_CYSCREEN) - height) / 2};
}

HWND CreateControl(HWND parent, const char* window_class, std::string_view text, DWORD style,
                   DWORD ex_style, const form1::Rect& rect, int id, const WindowFont& font) {
  int width = rect.width;
  int height = rect.height;
  if (width == 0 && height == 0) {
    const SIZE size = font.TextSize(text);
    width = size.cx;
    height = size.cy;
  }
  const std::string caption(text);
  const HWND control = ::CreateWindowExA(
      ex_style, window_class, caption.c_str(), WS_CHILD | style, rect.left, rect.top, width, height,
      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(parent, GWLP_HINSTANCE)), nullptr);
  ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.Handle()), FALSE);
  return control;
}

void SetLabelText(HWND label, std::string_view text) {
  const auto font = reinterpret_cast<HFONT>(::SendMessageA(label, WM_GETFONT, 0, 0));
  const SIZE size = TextSizeIn(font, text);
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
