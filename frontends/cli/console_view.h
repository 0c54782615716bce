#pragma once
// The main window and the progress window for a terminal: the window's state is
// kept as in any view; progress milestones and written blocks are printed as
// they happen, one line each.

#include <ostream>

#include "platform/flash_splash_screen.h"
#include "platform/recording_main_window.h"

namespace fu {

class ConsoleMainWindow : public RecordingMainWindow {
 public:
  explicit ConsoleMainWindow(std::ostream& out) : out_(out) {}
  void SetProgress(int percent) override;

 private:
  std::ostream& out_;
};

class ConsoleFlashSplash : public FlashSplashFactory {
 public:
  explicit ConsoleFlashSplash(std::ostream& out) : out_(out) {}
  std::unique_ptr<TFlashSplashScreen> CreateAndShow() override;

 private:
  std::ostream& out_;
};

}  // namespace fu
