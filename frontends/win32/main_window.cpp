#include "main_window.h"

#include <algorithm>
#include <string>

#include "gui_common.h"
#include "platform/main_window_texts.h"
#include "resource_ids.h"

namespace fu {

namespace {

constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kEditStyle = WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kButtonStyle = WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kLabelStyle = SS_LEFT | SS_NOPREFIX;
// The drop-down part of the card list: room for the four cards and more.
constexpr int kDropDownHeight = 120;

void RegisterFrameClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXA window_class{};
  if (::GetClassInfoExA(instance, Win32MainWindow::kClassName, &window_class)) {
    return;
  }
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hIcon = ::LoadIconA(nullptr, IDI_APPLICATION);
  window_class.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = Win32MainWindow::kClassName;
  ::RegisterClassExA(&window_class);
}

}  // namespace

Win32MainWindow::Win32MainWindow(HINSTANCE instance, const std::optional<gui::FontChoice>& font)
    : instance_(instance),
      font_(std::make_unique<gui::WindowFont>(font ? *font : gui::DesignFont())) {
  RegisterFrameClass(instance_, &Win32MainWindow::WindowProc);
  const POINT origin = gui::CentredOrigin(form1::kWidth, form1::kHeight);
  const std::string caption(form1::kCaption);
  ::CreateWindowExA(0, kClassName, caption.c_str(), kFrameStyle, origin.x, origin.y, form1::kWidth,
                    form1::kHeight, nullptr, nullptr, instance_, this);
  if (frame_ != nullptr) {
    CreateControls();
    Layout();
    gui::SetNavigationWindow(frame_);
  }
}

Win32MainWindow::~Win32MainWindow() {
  if (frame_ != nullptr) {
    ::DestroyWindow(frame_);
  }
  if (header_ != nullptr) {
    ::DeleteObject(header_);
  }
}

namespace {

// Where each control stands at design size; labels keep the size of their text.
struct Placement {
  int id;
  form1::Rect design;
};
using Id = Win32MainWindow::Id;
constexpr Placement kPlacements[] = {
    {Id::kImage1, form1::kImage1},
    {Id::kBevel1, form1::kBevel1},
    {Id::kBevel2, form1::kBevel2},
    {Id::kLabel1, form1::kLabel1Pos},
    {Id::kLabel2, form1::kLabel2Pos},
    {Id::kLabel3, form1::kLabel3Pos},
    {Id::kLabel4, form1::kLabel4Pos},
    {Id::kEdit1, form1::kEdit1Pos},
    {Id::kEdit2, form1::kEdit2Pos},
    {Id::kEdit3, form1::kEdit3Pos},
    {Id::kMemo1, form1::kMemo1},
    {Id::kLabel6, form1::kLabel6Pos},
    {Id::kProgressBar1, form1::kProgressBar1},
    {Id::kButton4, form1::kButton4Pos},
    {Id::kButton2, form1::kButton2Pos},
    {Id::kButton3, form1::kButton3Pos},
    {Id::kButton1, form1::kButton1Pos},
};

// The room of a label left of its field: up to where the field starts.
form1::Rect RoomBefore(const form1::Rect& label, int field_left) {
  return form1::Rect{label.left, label.top, field_left - label.left, 0};
}

}  // namespace

void Win32MainWindow::CreateControls() {
  const gui::WindowFont& font = *font_;
  const auto create = [&](const char* window_class, std::string_view text, DWORD style,
                          DWORD ex_style, const form1::Rect& rect, int id) {
    return gui::CreateControl(frame_, window_class, text, style, ex_style, rect, id, font);
  };
  // Creation order is the tab order; the labels, the picture and the frames
  // come last, so that the frames lie below every control they enclose.
  // Layout() places them all for the font.
  create(WC_COMBOBOXA, "", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0,
         {form1::kComboBox1.left, form1::kComboBox1.top, form1::kComboBox1.width, kDropDownHeight},
         kComboBox1);
  create(WC_EDITA, form1::kEdit1, kEditStyle, WS_EX_CLIENTEDGE, form1::kEdit1Pos, kEdit1);
  create(WC_EDITA, form1::kEdit2, kEditStyle, WS_EX_CLIENTEDGE, form1::kEdit2Pos, kEdit2);
  create(WC_EDITA, form1::kEdit3, kEditStyle, WS_EX_CLIENTEDGE, form1::kEdit3Pos, kEdit3);
  const std::string memo =
      std::string(form1::kMemo1Line1) + "\r\n" + std::string(form1::kMemo1Line2);
  create(WC_EDITA, memo, WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
         WS_EX_CLIENTEDGE, form1::kMemo1, kMemo1);

  create(WC_BUTTONA, form1::kButton4, kButtonStyle, 0, form1::kButton4Pos, kButton4);
  create(WC_BUTTONA, form1::kButton2, WS_VISIBLE | kButtonStyle, 0, form1::kButton2Pos, kButton2);
  create(WC_BUTTONA, form1::kButton3, WS_VISIBLE | kButtonStyle, 0, form1::kButton3Pos, kButton3);
  create(WC_BUTTONA, form1::kButton1, WS_VISIBLE | kButtonStyle, 0, form1::kButton1Pos, kButton1);

  const HWND progress = create(PROGRESS_CLASSA, "", 0, 0, form1::kProgressBar1, kProgressBar1);
  ::SendMessageA(progress, PBM_SETRANGE32, 0, 100);

  create(WC_STATICA, form1::kLabel1, WS_VISIBLE | kLabelStyle, 0, form1::kLabel1Pos, kLabel1);
  create(WC_STATICA, form1::kLabel2, WS_VISIBLE | kLabelStyle, 0, form1::kLabel2Pos, kLabel2);
  create(WC_STATICA, form1::kLabel3, WS_VISIBLE | kLabelStyle, 0, form1::kLabel3Pos, kLabel3);
  create(WC_STATICA, form1::kLabel4, WS_VISIBLE | kLabelStyle, 0, form1::kLabel4Pos, kLabel4);
  create(WC_STATICA, form1::kLabel6, kLabelStyle, 0, form1::kLabel6Pos, kLabel6);

  const HWND image = create(WC_STATICA, "", WS_VISIBLE | SS_BITMAP | SS_REALSIZECONTROL, 0,
                            form1::kImage1, kImage1);
  header_ = static_cast<HBITMAP>(::LoadImageA(instance_, MAKEINTRESOURCEA(FU_HEADER_BITMAP),
                                              IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  if (header_ != nullptr) {
    ::SendMessageA(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(header_));
  }
  create(WC_STATICA, "", WS_VISIBLE | WS_CLIPSIBLINGS | SS_ETCHEDFRAME, 0, form1::kBevel1, kBevel1);
  create(WC_STATICA, "", WS_VISIBLE | WS_CLIPSIBLINGS | SS_ETCHEDFRAME, 0, form1::kBevel2, kBevel2);
}

void Win32MainWindow::Layout() {
  const gui::WindowFont& font = *font_;
  const auto text = [&](std::string_view t) { return static_cast<int>(font.TextSize(t).cx); };
  const int button = 2 * gui::ButtonTextMargin();
  // The note shows its lines as they are, without wrapping: each fits between
  // the edit control's edges and margins.
  const auto margins =
      static_cast<DWORD>(::SendMessageA(::GetDlgItem(frame_, kMemo1), EM_GETMARGINS, 0, 0));
  const int memo = 2 * ::GetSystemMetrics(SM_CXEDGE) + LOWORD(margins) + HIWORD(margins) +
                   std::max(text(form1::kMemo1Line1), text(form1::kMemo1Line2));
  const int field = form1::kComboBox1.left;
  scale_ = gui::FitScale(
      font, {
                {form1::kButton1Pos, text(form1::kButton1) + button},
                {form1::kButton2Pos, text(form1::kButton2) + button},
                {form1::kButton3Pos, text(form1::kButton3) + button},
                {form1::kButton4Pos, text(form1::kButton4) + button},
                {form1::kMemo1, memo},
                {RoomBefore(form1::kLabel1Pos, field), text(form1::kLabel1)},
                {RoomBefore(form1::kLabel2Pos, field), text(form1::kLabel2)},
                {RoomBefore(form1::kLabel3Pos, field), text(form1::kLabel3)},
                {RoomBefore(form1::kLabel4Pos, form1::kEdit3Pos.left), text(form1::kLabel4)},
                {RoomBefore(form1::kLabel6Pos, form1::kProgressBar1.width), text(form1::kLabel6)},
            });

  for (const Placement& p : kPlacements) {
    const form1::Rect r = scale_.Apply(p.design);
    const bool label = p.design.width == 0 && p.design.height == 0;
    ::SetWindowPos(::GetDlgItem(frame_, p.id), nullptr, r.left, r.top, r.width, r.height,
                   SWP_NOZORDER | SWP_NOACTIVATE | (label ? SWP_NOSIZE : 0));
  }

  // The list with its drop-down part; the closed list takes its height from
  // the font: bring it to the scaled design height.
  const HWND combo = ::GetDlgItem(frame_, kComboBox1);
  const form1::Rect list = scale_.Apply(form1::kComboBox1);
  ::SetWindowPos(combo, nullptr, list.left, list.top, list.width, scale_.Y(kDropDownHeight),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  RECT closed{};
  ::GetWindowRect(combo, &closed);
  const auto item = static_cast<int>(::SendMessageA(combo, CB_GETITEMHEIGHT, WPARAM(-1), 0));
  const int missing = list.height - (closed.bottom - closed.top);
  if (missing != 0) {
    ::SendMessageA(combo, CB_SETITEMHEIGHT, WPARAM(-1), item + missing);
  }

  gui::PlaceFrame(frame_, scale_, form1::kWidth, form1::kHeight);
}

void Win32MainWindow::Show(int show_command) {
  ::ShowWindow(frame_, show_command);
  ::UpdateWindow(frame_);
}

int Win32MainWindow::IdOf(Control control) {
  switch (control) {
    case Control::ComboBox1:
      return kComboBox1;
    case Control::Edit1:
      return kEdit1;
    case Control::Edit2:
      return kEdit2;
    case Control::Edit3:
      return kEdit3;
    case Control::Memo1:
      return kMemo1;
    case Control::Label6:
      return kLabel6;
    case Control::ProgressBar1:
      return kProgressBar1;
    case Control::Button1:
      return kButton1;
    case Control::Button2:
      return kButton2;
    case Control::Button3:
      return kButton3;
    case Control::Button4:
      return kButton4;
  }
  return 0;
}

HWND Win32MainWindow::Child(Control control) const {
  return frame_ != nullptr ? ::GetDlgItem(frame_, IdOf(control)) : nullptr;
}

void Win32MainWindow::SetText(Control control, std::string_view text) {
  if (control == Control::Label6) {
    gui::SetLabelText(Child(control), text);
  } else {
    ::SetWindowTextA(Child(control), std::string(text).c_str());
  }
}

void Win32MainWindow::SetVisible(Control control, bool visible) {
  ::ShowWindow(Child(control), visible ? SW_SHOW : SW_HIDE);
}

void Win32MainWindow::SetEnabled(Control control, bool enabled) {
  ::EnableWindow(Child(control), enabled ? TRUE : FALSE);
}

void Win32MainWindow::SetProgress(int percent) {
  ::SendMessageA(Child(Control::ProgressBar1), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void Win32MainWindow::AddItem(std::string_view text) {
  const std::string item(text);
  ::SendMessageA(Child(Control::ComboBox1), CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(item.c_str()));
}

void Win32MainWindow::SelectItem(int index) {
  ::SendMessageA(Child(Control::ComboBox1), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32MainWindow::SelectedItem() const {
  const HWND combo = Child(Control::ComboBox1);
  return combo != nullptr ? static_cast<int>(::SendMessageA(combo, CB_GETCURSEL, 0, 0)) : -1;
}

void Win32MainWindow::ProcessMessages() {
  gui::ProcessPendingMessages();
}

void Win32MainWindow::SetHourglass(bool on) {
  gui::SetHourglass(on);
}

void Win32MainWindow::Quit() {
  if (frame_ != nullptr) {
    ::DestroyWindow(frame_);  // WM_DESTROY ends the message loop
  }
}

bool Win32MainWindow::Release() {
  holding_ = false;
  const bool requested = end_requested_;
  end_requested_ = false;
  return requested;
}

void Win32MainWindow::RunEvent(const std::function<void()>& event) {
  if (form_ == nullptr || in_event_) {
    return;
  }
  in_event_ = true;
  event();
  in_event_ = false;
  if (close_pending_ && frame_ != nullptr) {
    close_pending_ = false;
    ::PostMessageA(frame_, WM_CLOSE, 0, 0);
  }
}

void Win32MainWindow::OnCommand(int id, int notification) {
  if (id == kComboBox1 && notification == CBN_SELCHANGE) {
    RunEvent([this] { form_->ComboBox1Change(); });
  } else if (notification == BN_CLICKED) {
    switch (id) {
      case kButton1:
        RunEvent([this] { form_->Button1Click(); });
        break;
      case kButton2:
        RunEvent([this] { form_->Button2Click(); });
        break;
      case kButton3:
        RunEvent([this] { form_->Button3Click(); });
        break;
      case kButton4:
        RunEvent([this] { form_->Button4Click(); });
        break;
      default:
        break;
    }
  }
}

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32MainWindow*>(
        reinterpret_cast<const CREATESTRUCTA*>(lparam)->lpCreateParams);
    self->frame_ = window;
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32MainWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr) {
    return ::DefWindowProcA(window, message, wparam, lparam);
  }
  return self->Handle(message, wparam, lparam);
}

LRESULT Win32MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  const HWND window = frame_;
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_SETCURSOR:
      if (gui::ApplyHourglass()) {
        return TRUE;
      }
      break;
    case WM_CLOSE:
      if (in_event_) {
        close_pending_ = true;
      } else {
        RunEvent([this] { form_->FormClose(); });
        ::DestroyWindow(frame_);
      }
      return 0;
    case WM_QUERYENDSESSION:
      if (holding_) {
        end_requested_ = true;
        return FALSE;  // the write must finish: the session stays
      }
      break;
    case WM_DESTROY:
      gui::SetNavigationWindow(nullptr);
      ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      frame_ = nullptr;
      break;
    default:
      break;
  }
  return ::DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace fu
