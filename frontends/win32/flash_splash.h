#pragma once
// The progress window FlashSplashScreen on Win32: a small window on top of
// everything, without system menu or close box, that shows which block of the
// record is being written. Every write creates a window of its own; closing
// hides it, destroying the port object destroys it.

#include <optional>

#include "font_choice.h"
#include "platform/flash_splash_screen.h"

// The handle types of <windows.h>, without its macros.
struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;

namespace fu {

class Win32FlashSplashFactory : public FlashSplashFactory {
 public:
  // Control identifiers (GetDlgItem) of the window's controls.
  enum Id : int { kLabel1 = 100, kLabel2, kLabel3, kProgressBar1 };
  static constexpr const char* kClassName = "TFlashSplashScreen";

  explicit Win32FlashSplashFactory(HINSTANCE instance) : instance_(instance) {}

  // The window the progress windows belong to (the main window); nullptr for none.
  void SetOwner(HWND owner) { owner_ = owner; }
  // The font of the windows made from now on; without one, the design font.
  // Each window is laid out for the font it gets.
  void SetFont(const std::optional<gui::FontChoice>& font) { font_ = font; }

  std::unique_ptr<TFlashSplashScreen> CreateAndShow() override;

 private:
  HINSTANCE instance_;
  HWND owner_ = nullptr;
  std::optional<gui::FontChoice> font_;
};

}  // namespace fu
