#include "console_view.h"

#include <string>

#include "base/cp1252.h"

namespace fu {

void ConsoleMainWindow::SetProgress(int percent) {
  RecordingMainWindow::SetProgress(percent);
  if (percent > 0) {
    out_ << "  Fortschritt " << percent << " %\n" << std::flush;
  }
}

namespace {

class ConsoleSplash : public TFlashSplashScreen {
 public:
  explicit ConsoleSplash(std::ostream& out) : out_(out) {
    out_ << "  " << splash::kLabel1 << "\n" << std::flush;
  }
  void SetProgressBar1(int percent) override { progress_ = percent; }
  void SetLabel2(std::string_view text) override { block_ = text; }
  void SetLabel3(std::string_view text) override { activity_ = text; }
  void ProcessMessages() override {
    out_ << "    Block " << block_ << ": " << Cp1252ToUtf8(activity_) << " (" << progress_
         << " %)\n"
         << std::flush;
  }
  void Close() override {}

 private:
  std::ostream& out_;
  int progress_ = 0;
  std::string block_;
  std::string activity_;
};

}  // namespace

std::unique_ptr<TFlashSplashScreen> ConsoleFlashSplash::CreateAndShow() {
  return std::make_unique<ConsoleSplash>(out_);
}

}  // namespace fu
