// FlashUpdateSim.exe: the window program on the simulated PC kept in its
// default folder (%LOCALAPPDATA%\FlashUpdate\SimPC), to try the window without
// a card. /version shows its version and ends; /protokoll DATEI writes the
// support protocol.
//
// For screenshots of a write, FLASHUPDATE_SIM_BLOCK_PAUSE_MS=n holds every
// block of a record write on the screen for n milliseconds; the window keeps
// processing its messages meanwhile. FLASHUPDATE_SIM_FONT=FACE,PIXELS shows
// the windows in another font than the design font (the character height in
// pixels), to see them laid out for it.

#include <charconv>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/console_program.h"
#include "sim/sim_machine.h"
#include "window_program.h"
// After the ports' headers: see windows_api.h.
#include "platform/win32/windows_api.h"

namespace {

// Progress windows that stay on each block for a while.
class PausingSplashFactory : public fu::FlashSplashFactory {
 public:
  PausingSplashFactory(fu::FlashSplashFactory& windows, DWORD pause_ms)
      : windows_(windows), pause_ms_(pause_ms) {}

  std::unique_ptr<fu::TFlashSplashScreen> CreateAndShow() override {
    return std::make_unique<Window>(windows_.CreateAndShow(), pause_ms_);
  }

 private:
  class Window : public fu::TFlashSplashScreen {
   public:
    Window(std::unique_ptr<fu::TFlashSplashScreen> window, DWORD pause_ms)
        : window_(std::move(window)), pause_ms_(pause_ms) {}
    void SetProgressBar1(int percent) override { window_->SetProgressBar1(percent); }
    void SetLabel2(std::string_view text) override { window_->SetLabel2(text); }
    void SetLabel3(std::string_view text) override { window_->SetLabel3(text); }
    void ProcessMessages() override {
      const DWORD start = ::GetTickCount();
      do {
        window_->ProcessMessages();
        ::Sleep(10);
      } while (::GetTickCount() - start < pause_ms_);
    }
    void Close() override { window_->Close(); }

   private:
    std::unique_ptr<fu::TFlashSplashScreen> window_;
    DWORD pause_ms_;
  };

  fu::FlashSplashFactory& windows_;
  DWORD pause_ms_;
};

DWORD BlockPause() {
  const char* value = std::getenv("FLASHUPDATE_SIM_BLOCK_PAUSE_MS");
  DWORD pause = 0;
  if (value != nullptr) {
    const std::string_view text(value);
    std::from_chars(text.data(), text.data() + text.size(), pause);
  }
  return pause;
}

std::optional<fu::gui::FontChoice> ChosenFont() {
  const char* value = std::getenv("FLASHUPDATE_SIM_FONT");
  if (value == nullptr) {
    return std::nullopt;
  }
  const std::string_view text(value);
  const std::size_t comma = text.rfind(',');
  if (comma == std::string_view::npos) {
    return std::nullopt;
  }
  fu::gui::FontChoice font{std::string(text.substr(0, comma)), 0};
  const std::string_view pixels = text.substr(comma + 1);
  std::from_chars(pixels.data(), pixels.data() + pixels.size(), font.pixel_height);
  if (font.face.empty() || font.pixel_height <= 0) {
    return std::nullopt;
  }
  return font;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR command_line,
                   int show_command) {
  if (fu::ShowVersionIfAsked("FlashUpdateSim.exe")) {
    return 0;
  }
  std::unique_ptr<fu::sim::SimMachine> machine;
  try {
    machine = std::make_unique<fu::sim::SimMachine>(fu::sim::DefaultPcFolder(),
                                                    fu::sim::ClockKind::kSystem);
  } catch (const std::exception& error) {  // SimPcError, or the folder cannot be made
    fu::ShowStartError(error.what());
    return 1;
  }
  fu::SplashWrapper wrap;
  if (const DWORD pause = BlockPause(); pause > 0) {
    wrap = [pause](fu::FlashSplashFactory& windows) {
      return std::make_unique<PausingSplashFactory>(windows, pause);
    };
  }
  return fu::RunWindowProgram(instance, show_command, *machine, fu::kConsoleSimProgram, wrap,
                              ChosenFont(), command_line);
}
