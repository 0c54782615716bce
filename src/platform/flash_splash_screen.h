#pragma once
// Port: the progress window shown on top of everything while a revision-1.3
// record is written. It has no input of its own. A new window is created for
// every write; destroying it closes it.

#include <memory>
#include <string_view>

#include "base/cp1252.h"
#include "platform/main_window_texts.h"

namespace fu {

// Design-time values of the window.
namespace splash {
inline constexpr std::string_view kCaption = "FlashSplashScreen";
inline constexpr int kWidth = 499;  // outer size, centred on the screen
inline constexpr int kHeight = 72;
inline constexpr std::string_view kLabel1 = "Flash wird beschrieben...";
inline constexpr std::string_view kLabel2 = "";
inline constexpr std::string_view kLabel3 = "Label3";
inline constexpr int kProgressMin = 0;
inline constexpr int kProgressMax = 100;
// Positions in the client area; labels size themselves to their text.
inline constexpr form1::Rect kLabel1Pos{0, 8, 0, 0};
inline constexpr form1::Rect kLabel2Pos{144, 8, 0, 0};
inline constexpr form1::Rect kLabel3Pos{256, 8, 0, 0};
inline constexpr form1::Rect kProgressBar1Pos{0, 24, 489, 16};
}  // namespace splash

class TFlashSplashScreen {
 public:
  virtual ~TFlashSplashScreen() = default;
  virtual void SetProgressBar1(int percent) = 0;
  virtual void SetLabel2(std::string_view text) = 0;
  virtual void SetLabel3(std::string_view text) = 0;
  // Lets the application process its pending window messages once, so the
  // window repaints.
  virtual void ProcessMessages() = 0;
  virtual void Close() = 0;
};

class FlashSplashFactory {
 public:
  virtual ~FlashSplashFactory() = default;
  // Creates the window with its design-time values and shows it, not modal.
  virtual std::unique_ptr<TFlashSplashScreen> CreateAndShow() = 0;
};

}  // namespace fu
