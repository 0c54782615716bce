#include "platform/recording_flash_splash.h"

namespace fu {

class RecordingFlashSplash::Window : public TFlashSplashScreen {
 public:
  explicit Window(RecordingFlashSplash& owner) : owner_(owner) {}
  ~Window() override { Close(); }

  void SetProgressBar1(int percent) override {
    owner_.current_.progress = percent;
    owner_.log_.push_back("progress " + std::to_string(percent));
  }
  void SetLabel2(std::string_view text) override {
    owner_.current_.label2 = text;
    owner_.log_.push_back("label2 " + std::string(text));
  }
  void SetLabel3(std::string_view text) override {
    owner_.current_.label3 = text;
    owner_.log_.push_back("label3 " + std::string(text));
  }
  void ProcessMessages() override { owner_.log_.push_back("process"); }
  void Close() override {
    if (open_) {
      open_ = false;
      owner_.current_.visible = false;
      owner_.log_.push_back("close");
    }
  }

 private:
  RecordingFlashSplash& owner_;
  bool open_ = true;
};

std::unique_ptr<TFlashSplashScreen> RecordingFlashSplash::CreateAndShow() {
  current_ = SplashState{};
  current_.visible = true;
  ++created_;
  log_.push_back("show");
  return std::make_unique<Window>(*this);
}

}  // namespace fu
