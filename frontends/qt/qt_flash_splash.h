#pragma once
// The progress window "FlashSplashScreen" as a Qt window: always on top, a title
// bar without buttons, no input. Each write gets a new window; destroying the
// port object destroys it.

#include <QFont>

#include "platform/flash_splash_screen.h"

namespace fu {

class QtFlashSplash : public FlashSplashFactory {
 public:
  // Windows in the design font, or in the font given; the layout scales to the font.
  QtFlashSplash();
  explicit QtFlashSplash(const QFont& font) : font_(font) {}

  std::unique_ptr<TFlashSplashScreen> CreateAndShow() override;

 private:
  QFont font_;
};

}  // namespace fu
