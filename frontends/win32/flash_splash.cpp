#include "flash_splash.h"

#include <string>

#include "gui_common.h"

namespace fu {

namespace {

// A caption without system menu, so neither a close box nor minimise or maximise.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION;
constexpr DWORD kExStyle = WS_EX_TOPMOST;

LRESULT CALLBACK SplashProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SETCURSOR:
      if (gui::ApplyHourglass()) {
        return TRUE;
      }
      break;
    case WM_CLOSE:  // no input of its own: only the write closes it
      return 0;
    default:
      break;
  }
  return ::DefWindowProcA(window, message, wparam, lparam);
}

void RegisterSplashClass(HINSTANCE instance) {
  WNDCLASSEXA window_class{};
  if (::GetClassInfoExA(instance, Win32FlashSplashFactory::kClassName, &window_class)) {
    return;
  }
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &SplashProc;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = Win32FlashSplashFactory::kClassName;
  ::RegisterClassExA(&window_class);
}

class Win32FlashSplash : public TFlashSplashScreen {
 public:
  Win32FlashSplash(HINSTANCE instance, HWND owner, const gui::FontChoice& font) : font_(font) {
    RegisterSplashClass(instance);
    const POINT origin = gui::CentredOrigin(splash::kWidth, splash::kHeight);
    const std::string caption(splash::kCaption);
    window_ = ::CreateWindowExA(kExStyle, Win32FlashSplashFactory::kClassName, caption.c_str(),
                                kStyle, origin.x, origin.y, splash::kWidth, splash::kHeight, owner,
                                nullptr, instance, nullptr);
    // The first label must end before the second begins.
    const form1::FormScale scale =
        gui::FitScale(font_, {{form1::Rect{splash::kLabel1Pos.left, splash::kLabel1Pos.top,
                                           splash::kLabel2Pos.left - splash::kLabel1Pos.left, 0},
                               static_cast<int>(font_.TextSize(splash::kLabel1).cx)}});
    using Id = Win32FlashSplashFactory::Id;
    const auto create = [&](const char* window_class, std::string_view text, DWORD style,
                            const form1::Rect& design, int id) {
      return gui::CreateControl(window_, window_class, text, style, 0, scale.Apply(design), id,
                                font_);
    };
    create(WC_STATICA, splash::kLabel1, WS_VISIBLE | SS_NOPREFIX, splash::kLabel1Pos, Id::kLabel1);
    create(WC_STATICA, splash::kLabel2, WS_VISIBLE | SS_NOPREFIX, splash::kLabel2Pos, Id::kLabel2);
    create(WC_STATICA, splash::kLabel3, WS_VISIBLE | SS_NOPREFIX, splash::kLabel3Pos, Id::kLabel3);
    const HWND progress =
        create(PROGRESS_CLASSA, "", WS_VISIBLE, splash::kProgressBar1Pos, Id::kProgressBar1);
    ::SendMessageA(progress, PBM_SETRANGE32, splash::kProgressMin, splash::kProgressMax);
    gui::PlaceFrame(window_, scale, splash::kWidth, splash::kHeight);
    ::ShowWindow(window_, SW_SHOW);
    ::UpdateWindow(window_);
  }
  ~Win32FlashSplash() override { ::DestroyWindow(window_); }
  Win32FlashSplash(const Win32FlashSplash&) = delete;
  Win32FlashSplash& operator=(const Win32FlashSplash&) = delete;

  void SetProgressBar1(int percent) override {
    ::SendMessageA(Child(Win32FlashSplashFactory::kProgressBar1), PBM_SETPOS,
                   static_cast<WPARAM>(percent), 0);
  }
  void SetLabel2(std::string_view text) override {
    gui::SetLabelText(Child(Win32FlashSplashFactory::kLabel2), text);
  }
  void SetLabel3(std::string_view text) override {
    gui::SetLabelText(Child(Win32FlashSplashFactory::kLabel3), text);
  }
  void ProcessMessages() override { gui::ProcessPendingMessages(); }
  void Close() override { ::ShowWindow(window_, SW_HIDE); }

 private:
  HWND Child(int id) const { return ::GetDlgItem(window_, id); }

  gui::WindowFont font_;  // outlives the window's controls
  HWND window_ = nullptr;
};

}  // namespace

std::unique_ptr<TFlashSplashScreen> Win32FlashSplashFactory::CreateAndShow() {
  return std::make_unique<Win32FlashSplash>(instance_, owner_, font_ ? *font_ : gui::DesignFont());
}

}  // namespace fu
