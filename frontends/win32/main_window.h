#pragma once
// The main window Form1 on Win32: every control of the form at its design
// position with its design-time text and visibility. It shows what the
// controller tells it through the view port and hands the user's clicks and
// list choices to the controller.

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/flash_update_kunde_unit.h"
#include "font_choice.h"
#include "platform/end_requests.h"
#include "platform/form_scale.h"
#include "platform/main_window_view.h"
// After the ports' headers: see windows_api.h.
#include "platform/win32/windows_api.h"

namespace fu {

namespace gui {
class WindowFont;
}

// The window is also where its end requests arrive: a log-off or shut-down
// (WM_QUERYENDSESSION) during a write is refused and carried out after it.
class Win32MainWindow : public MainWindowView, public EndRequests {
 public:
  // Control identifiers (GetDlgItem), one per control of the form. They start
  // above IDOK and IDCANCEL, which the keyboard navigation sends for Enter and
  // Escape.
  enum Id : int {
    kImage1 = 100,
    kBevel1,
    kBevel2,
    kLabel1,
    kComboBox1,
    kLabel2,
    kEdit1,
    kLabel3,
    kEdit2,
    kLabel4,
    kEdit3,
    kMemo1,
    kLabel6,
    kProgressBar1,
    kButton4,
    kButton2,
    kButton3,
    kButton1,
  };
  static constexpr const char* kClassName = "TForm1";

  // Creates the window, hidden; Show() shows it. The window is laid out for
  // the font it gets: the design font unless another is chosen.
  explicit Win32MainWindow(HINSTANCE instance, const std::optional<gui::FontChoice>& font = {});
  ~Win32MainWindow() override;
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  // The controller the window's events go to; nullptr for none.
  void SetController(TForm1* form) { form_ = form; }
  void Show(int show_command);
  // The window, nullptr once it is destroyed.
  HWND Frame() const { return frame_; }
  static int IdOf(Control control);
  // The scale of the design positions to the window's font.
  const form1::FormScale& Scale() const { return scale_; }

  void SetText(Control control, std::string_view text) override;
  void SetVisible(Control control, bool visible) override;
  void SetEnabled(Control control, bool enabled) override;
  void SetProgress(int percent) override;
  void AddItem(std::string_view text) override;
  void SelectItem(int index) override;
  int SelectedItem() const override;
  void ProcessMessages() override;
  void SetHourglass(bool on) override;
  void Quit() override;

  void Hold() override { holding_ = true; }
  bool Release() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  // Places the controls and the window for the font.
  void Layout();
  void OnCommand(int id, int notification);
  // Runs one event of the controller. Events that arrive while one runs (at
  // its repaint points) are dropped, a close is kept until it has ended: the
  // controller handles one event at a time.
  void RunEvent(const std::function<void()>& event);
  HWND Child(Control control) const;

  HINSTANCE instance_;
  std::unique_ptr<gui::WindowFont> font_;
  form1::FormScale scale_;
  HWND frame_ = nullptr;
  HBITMAP header_ = nullptr;
  TForm1* form_ = nullptr;
  bool in_event_ = false;
  bool close_pending_ = false;
  bool holding_ = false;        // a card is written
  bool end_requested_ = false;  // the session was to end meanwhile
};

}  // namespace fu
