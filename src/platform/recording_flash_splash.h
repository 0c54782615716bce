#pragma once
// A progress window that draws nothing and keeps what it was told: its current
// values and a log of every call, for tests and for programs without a screen.

#include <string>
#include <vector>

#include "platform/flash_splash_screen.h"

namespace fu {

struct SplashState {
  bool visible = false;
  int progress = splash::kProgressMin;
  std::string label2{splash::kLabel2};
  std::string label3{splash::kLabel3};
};

class RecordingFlashSplash : public FlashSplashFactory {
 public:
  std::unique_ptr<TFlashSplashScreen> CreateAndShow() override;

  // The window created last, as it stands now (also after it closed).
  const SplashState& Current() const { return current_; }
  int Created() const { return created_; }
  // "show", "progress 25", "label2 1", "label3 ...", "process", "close".
  const std::vector<std::string>& Log() const { return log_; }

 private:
  class Window;
  SplashState current_;
  int created_ = 0;
  std::vector<std::string> log_;
};

}  // namespace fu
