// The Win32 windows laid out for their font: at the design font every control
// stands where the design table puts it; with a wider font every position and
// size grows with the font, and every caption, button text and both lines of
// the note fit their controls.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/flash_update_kunde_unit.h"
#include "platform/flash_splash_screen.h"
#include "platform/form_scale.h"
#include "platform/main_window_texts.h"

// The window's headers bring <windows.h>, after the ports' headers (see
// windows_api.h).
#include "flash_splash.h"
#include "gui_common.h"
#include "main_window.h"

namespace fu {
namespace {

using Id = Win32MainWindow::Id;
using SplashId = Win32FlashSplashFactory::Id;

// Wine has "MS Sans Serif" (sserife.fon) in its own font folder but does not
// look there by itself: the test program loads it for itself, so that the
// design font is what the windows get by default, as on Windows. Where it is
// missing, the test of the design positions fails and names the font it got.
class DesignFontEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    for (const char* font :
         {"Z:\\usr\\share\\wine\\fonts\\sserife.fon", "Z:\\usr\\share\\wine\\fonts\\tahoma.ttf"}) {
      ::AddFontResourceExA(font, FR_PRIVATE, nullptr);
    }
  }
};
[[maybe_unused]] const auto* const kDesignFont =
    ::testing::AddGlobalTestEnvironment(new DesignFontEnvironment);

RECT PlaceOf(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string TextOf(HWND window) {
  char text[512] = {};
  ::GetWindowTextA(window, text, sizeof(text));
  return text;
}

// A control's font as the control has it, measured by the test itself.
struct Metrics {
  int sample;  // extent of the 52 letters
  int height;  // tmHeight
  bool AboveDesign() const { return (sample / 26 + 1) / 2 > 6 || height > 13; }
};

SIZE Extent(HWND control, std::string_view text) {
  const auto font = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
  const HDC screen = ::GetDC(nullptr);
  const HGDIOBJ old = ::SelectObject(screen, font);
  SIZE size{0, 0};
  ::GetTextExtentPoint32A(screen, text.data(), static_cast<int>(text.size()), &size);
  ::SelectObject(screen, old);
  ::ReleaseDC(nullptr, screen);
  return size;
}

Metrics MetricsOf(HWND control) {
  const auto font = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
  const HDC screen = ::GetDC(nullptr);
  const HGDIOBJ old = ::SelectObject(screen, font);
  TEXTMETRICA tm{};
  ::GetTextMetricsA(screen, &tm);
  ::SelectObject(screen, old);
  ::ReleaseDC(nullptr, screen);
  return Metrics{static_cast<int>(Extent(control, form1::kBaseUnitSample).cx),
                 static_cast<int>(tm.tmHeight)};
}

int Width(const RECT& r) {
  return r.right - r.left;
}
int Height(const RECT& r) {
  return r.bottom - r.top;
}
RECT ClientOf(HWND window) {
  RECT client{};
  ::GetClientRect(window, &client);
  return client;
}

// A window ends by posting WM_QUIT, which would end the next window's repaints.
void DropQuit() {
  MSG quit;
  while (::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

// A font chosen for the windows, with whether it measures wider or taller
// than the design font (then the windows must have grown).
struct FontCase {
  const char* face;
  int pixel_height;
  bool above_design;
};

// What a push button needs beside its text on each side: its border, and the
// focus rectangle inside it with a pixel to spare.
int ButtonMargin() {
  return ::GetSystemMetrics(SM_CXEDGE) + 2;
}

// Every text of both windows fits its control, for fonts wider than the
// design: DejaVu Sans (Wine without Windows fonts), the design font and Tahoma
// at 120 DPI (8 point = 13 pixels). Tahoma at 11 pixels
// measures as the design font but has wider words: the texts widen the scale.
TEST(Win32Layout, EveryTextFitsItsControlInAWiderFont) {
  gui::InitControls();
  for (const FontCase& c : std::vector<FontCase>{
           {"DejaVu Sans", 11, true},
           {"DejaVu Sans", 13, true},
           {"MS Sans Serif", 13, true},
           {"Tahoma", 13, true},
           {"Tahoma", 11, false},
       }) {
    SCOPED_TRACE(std::string(c.face) + " " + std::to_string(c.pixel_height) + " px");
    const gui::FontChoice font{c.face, c.pixel_height};
    Win32FlashSplashFactory splashes(::GetModuleHandleA(nullptr));
    splashes.SetFont(font);
    {
      Win32MainWindow window(::GetModuleHandleA(nullptr), font);
      const HWND frame = window.Frame();
      ASSERT_NE(frame, nullptr);
      const auto item = [&](int id) { return ::GetDlgItem(frame, id); };
      const Metrics metrics = MetricsOf(item(Id::kMemo1));
      EXPECT_EQ(metrics.AboveDesign(), c.above_design)
          << metrics.sample << " by " << metrics.height;
      const RECT client = ClientOf(frame);
      const form1::FormScale measured = form1::FormScale::Measured(metrics.sample, metrics.height);
      // The window grew with the font: its client area at least the design's
      // scaled by the font's base units.
      EXPECT_GE(Width(client), measured.X(form1::kWidth - form1::kClassicFrameX));
      EXPECT_GE(Height(client), measured.Y(form1::kHeight - form1::kClassicFrameY));

      // Every control inside the client area.
      for (int id = Id::kBevel1; id <= Id::kButton1; ++id) {
        const RECT place = PlaceOf(item(id));
        EXPECT_GE(place.left, 0) << id;
        EXPECT_LE(place.right, client.right) << id;
        EXPECT_LE(place.bottom, client.bottom) << id;
      }

      // Buttons: the text with the button's margins on both sides, and a line
      // of text with the border above and below.
      for (const int id : {Id::kButton1, Id::kButton2, Id::kButton3, Id::kButton4}) {
        const HWND button = item(id);
        const SIZE text = Extent(button, TextOf(button));
        const RECT inside = ClientOf(button);
        EXPECT_LE(text.cx + 2 * ButtonMargin(), Width(inside)) << TextOf(button);
        EXPECT_LE(text.cy + 2 * ::GetSystemMetrics(SM_CYEDGE), Height(inside)) << TextOf(button);
      }

      // Labels: their whole text, ending before the field to their right.
      for (const auto& [label, field] :
           std::vector<std::pair<int, int>>{{Id::kLabel1, Id::kComboBox1},
                                            {Id::kLabel2, Id::kEdit1},
                                            {Id::kLabel3, Id::kEdit2},
                                            {Id::kLabel4, Id::kEdit3},
                                            {Id::kLabel6, Id::kBevel2}}) {
        const RECT place = PlaceOf(item(label));
        const SIZE text = Extent(item(label), TextOf(item(label)));
        EXPECT_GE(Width(place), text.cx) << TextOf(item(label));
        EXPECT_GE(Height(place), text.cy) << TextOf(item(label));
        if (label != Id::kLabel6) {
          EXPECT_LE(place.right, PlaceOf(item(field)).left) << TextOf(item(label));
        } else {
          EXPECT_LE(place.right, PlaceOf(item(field)).right) << TextOf(item(label));
        }
      }

      // Fields: a line of text between their edges.
      for (const int id : {Id::kEdit1, Id::kEdit2, Id::kEdit3, Id::kComboBox1}) {
        EXPECT_GE(Height(ClientOf(item(id))), metrics.height) << id;
      }

      // The note: each line whole on a line of its own, both lines visible.
      const HWND memo = item(Id::kMemo1);
      EXPECT_EQ(::SendMessageA(memo, EM_GETLINECOUNT, 0, 0), 2);
      EXPECT_EQ(::SendMessageA(memo, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
      const auto margins = static_cast<DWORD>(::SendMessageA(memo, EM_GETMARGINS, 0, 0));
      const RECT memo_client = ClientOf(memo);
      for (const std::string_view line : {form1::kMemo1Line1, form1::kMemo1Line2}) {
        EXPECT_LE(Extent(memo, line).cx + LOWORD(margins) + HIWORD(margins), Width(memo_client))
            << line;
      }
      EXPECT_GE(Height(memo_client), 2 * metrics.height);
      RECT format{};
      ::SendMessageA(memo, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
      EXPECT_GE(Height(format), 2 * metrics.height);
      EXPECT_LE(format.bottom, memo_client.bottom);

      // The progress window: its labels side by side with their longest
      // texts, above the bar, everything inside the window.
      splashes.SetOwner(frame);
      const auto splash = splashes.CreateAndShow();
      splash->SetLabel2("4");
      splash->SetLabel3("Schreibe neuen Datensatz");
      const HWND shown = ::FindWindowA(Win32FlashSplashFactory::kClassName, nullptr);
      ASSERT_NE(shown, nullptr);
      const RECT splash_client = ClientOf(shown);
      const Metrics splash_metrics = MetricsOf(::GetDlgItem(shown, SplashId::kLabel1));
      EXPECT_EQ(splash_metrics.sample, metrics.sample);
      EXPECT_GE(Width(splash_client), measured.X(splash::kWidth - form1::kClassicFrameX));
      EXPECT_GE(Height(splash_client), measured.Y(splash::kHeight - form1::kClassicFrameY));
      const RECT label1 = PlaceOf(::GetDlgItem(shown, SplashId::kLabel1));
      const RECT label2 = PlaceOf(::GetDlgItem(shown, SplashId::kLabel2));
      const RECT label3 = PlaceOf(::GetDlgItem(shown, SplashId::kLabel3));
      const RECT bar = PlaceOf(::GetDlgItem(shown, SplashId::kProgressBar1));
      EXPECT_GE(Width(label1), Extent(::GetDlgItem(shown, SplashId::kLabel1), splash::kLabel1).cx);
      EXPECT_LE(label1.right, label2.left);
      EXPECT_LE(label2.right, label3.left);
      EXPECT_LE(label3.right, splash_client.right);
      EXPECT_LE(label3.bottom, bar.top);
      EXPECT_LE(bar.right, splash_client.right);
      EXPECT_LE(bar.bottom, splash_client.bottom);
    }
    DropQuit();
  }
}

}  // namespace
}  // namespace fu
