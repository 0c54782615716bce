#pragma once
// The progress window "FlashSplashScreen" as a Qt window: always on top, a title
// bar without buttons, no input. Each write gets a new window; destroying the
// port object destroys it.

#include "platform/flash_splash_screen.h"

namespace fu {

class QtFlashSplash : public FlashSplashFactory {
 public:
  std::unique_ptr<TFlashSplashScreen> CreateAndShow() override;
};

}  // namespace fu
