// The Win32 main window and progress window on a simulated PC: the real
// windows, driven through their messages as the user's clicks arrive, with the
// message boxes answered by a script.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/flash_update_kunde_unit.h"
#include "base/cp1252.h"
#include "platform/main_window_texts.h"
#include "platform/scripted_message_service.h"
#include "platform/win32/win32_message_service.h"
#include "sim/default_cards.h"
#include "sim/sim_machine.h"
#include "support/card_kinds.h"
#include "support/machine_faults.h"
#include "support/temp_folder.h"

// The window's headers bring <windows.h>, after the ports' headers (see
// windows_api.h).
#include "flash_splash.h"
#include "gui_common.h"
#include "main_window.h"
#include "window_program.h"

namespace fu {
namespace {

using Id = Win32MainWindow::Id;
using SplashId = Win32FlashSplashFactory::Id;

std::string TextOf(HWND window) {
  char text[512] = {};
  ::GetWindowTextA(window, text, sizeof(text));
  return text;
}

// A window's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

int ProgressOf(HWND bar) {
  return static_cast<int>(::SendMessageA(bar, PBM_GETPOS, 0, 0));
}

bool HasStyle(HWND window, LONG style) {
  return (::GetWindowLongA(window, GWL_STYLE) & style) == style;
}

// What a progress window showed when the write let it repaint.
struct SplashView {
  bool visible;
  bool topmost;
  bool system_menu;
  std::string caption;
  std::string label2;
  std::string label3;
  int progress;
  int width;
  int height;
};

// The real progress windows, looked at whenever the write lets them repaint;
// a test can also act at that moment, in the middle of the action.
class WatchedSplash : public FlashSplashFactory {
 public:
  explicit WatchedSplash(FlashSplashFactory& windows) : windows_(windows) {}

  std::unique_ptr<TFlashSplashScreen> CreateAndShow() override {
    return std::make_unique<Window>(*this, windows_.CreateAndShow());
  }

  std::vector<SplashView> seen;
  std::function<void()> at_repaint;

 private:
  class Window : public TFlashSplashScreen {
   public:
    Window(WatchedSplash& owner, std::unique_ptr<TFlashSplashScreen> window)
        : owner_(owner), window_(std::move(window)) {}
    void SetProgressBar1(int percent) override { window_->SetProgressBar1(percent); }
    void SetLabel2(std::string_view text) override { window_->SetLabel2(text); }
    void SetLabel3(std::string_view text) override { window_->SetLabel3(text); }
    void ProcessMessages() override {
      window_->ProcessMessages();
      const HWND splash = ::FindWindowA(Win32FlashSplashFactory::kClassName, nullptr);
      RECT outer{};
      ::GetWindowRect(splash, &outer);
      owner_.seen.push_back(SplashView{::IsWindowVisible(splash) != FALSE,
                                       (::GetWindowLongA(splash, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0,
                                       HasStyle(splash, WS_SYSMENU), TextOf(splash),
                                       TextOf(::GetDlgItem(splash, SplashId::kLabel2)),
                                       TextOf(::GetDlgItem(splash, SplashId::kLabel3)),
                                       ProgressOf(::GetDlgItem(splash, SplashId::kProgressBar1)),
                                       outer.right - outer.left, outer.bottom - outer.top});
      if (owner_.at_repaint) {
        owner_.at_repaint();
      }
    }
    void Close() override { window_->Close(); }

   private:
    WatchedSplash& owner_;
    std::unique_ptr<TFlashSplashScreen> window_;
  };

  FlashSplashFactory& windows_;
};

class Win32Window : public ::testing::Test {
 protected:
  Win32Window() {
    gui::InitControls();
    Open();
  }

  ~Win32Window() override {
    End();
    test::ExpectNoMachineFaults(machine_.Pc().MachineFaults());
  }

  // The program's window and controller over the test's PC.
  void Open() {
    window_ = std::make_unique<Win32MainWindow>(::GetModuleHandleA(nullptr));
    splash_windows_.SetOwner(window_->Frame());
    system_ = std::make_unique<FlashUpdateSystem>(Ports{machine_.System(), machine_.Ports(),
                                                        machine_.Bus(), machine_.Time(),
                                                        machine_.Drive(), messages_, splash_});
    form_ = std::make_unique<TForm1>(*system_, *window_);
    window_->SetController(form_.get());
  }
  void End() {
    form_.reset();
    window_.reset();
    // The window's end posted WM_QUIT, which would end the next repaints.
    MSG quit;
    while (::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }

  HWND Frame() const { return window_->Frame(); }
  HWND Item(int id) const { return ::GetDlgItem(Frame(), id); }
  std::string Text(int id) const { return TextOf(Item(id)); }
  // The window itself stays hidden, as during start-up: a hidden window ends
  // without waiting for the X server to take it off the screen.
  bool Visible(int id) const { return HasStyle(Item(id), WS_VISIBLE); }
  bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }

  // A click, as the button sends it to its window.
  void Click(int id) {
    ::SendMessageA(Frame(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(Item(id)));
  }
  // The user picks another card in the list.
  void Choose(int index) {
    ::SendMessageA(Item(Id::kComboBox1), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageA(Frame(), WM_COMMAND, MAKEWPARAM(Id::kComboBox1, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(Item(Id::kComboBox1)));
  }
  std::vector<std::string> ListItems() const {
    std::vector<std::string> items;
    const auto count = ::SendMessageA(Item(Id::kComboBox1), CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      char item[256] = {};
      ::SendMessageA(Item(Id::kComboBox1), CB_GETLBTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(item));
      items.emplace_back(item);
    }
    return items;
  }
  // The state the window shows for the selected card: only one action enabled.
  void ExpectCardShown(std::string_view revision) {
    const bool v12 = revision == "1.2";
    EXPECT_EQ(Text(Id::kEdit3), revision);
    EXPECT_EQ(Visible(Id::kMemo1), v12);
    EXPECT_EQ(Enabled(Id::kButton2), v12);
    EXPECT_EQ(Enabled(Id::kButton3), !v12);
  }
  void ExpectIdle() {
    EXPECT_FALSE(Visible(Id::kLabel6));
    EXPECT_FALSE(Visible(Id::kProgressBar1));
    EXPECT_EQ(::FindWindowA(Win32FlashSplashFactory::kClassName, nullptr), nullptr);
    for (CardSlot slot = 0; slot < kSlotCount; ++slot) {
      EXPECT_EQ(system_->slots.OpenCount(slot), 0) << slot;
    }
  }
  bool HourglassShownOver(HWND window) {
    const BOOL handled =
        static_cast<BOOL>(::SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    return handled && ::GetCursor() == ::LoadCursorA(nullptr, IDC_WAIT);
  }

  test::TempFolder folder_;
  sim::SimMachine machine_{folder_.Path() / "pc", sim::ClockKind::kVirtual};
  ScriptedMessageService messages_;
  Win32FlashSplashFactory splash_windows_{::GetModuleHandleA(nullptr)};
  WatchedSplash splash_{splash_windows_};
  std::unique_ptr<Win32MainWindow> window_;
  std::unique_ptr<FlashUpdateSystem> system_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(Win32Window, FormHasItsDesignSizeCaptionAndFont) {
  ASSERT_NE(Frame(), nullptr);
  EXPECT_EQ(TextOf(Frame()), form1::kCaption);
  RECT outer{};
  ::GetWindowRect(Frame(), &outer);
  EXPECT_EQ(outer.right - outer.left, form1::kWidth);
  EXPECT_EQ(outer.bottom - outer.top, form1::kHeight);
  EXPECT_EQ(outer.left, (::GetSystemMetrics(SM_CXSCREEN) - form1::kWidth) / 2);
  EXPECT_EQ(outer.top, (::GetSystemMetrics(SM_CYSCREEN) - form1::kHeight) / 2);

  for (const int id : {Id::kLabel1, Id::kComboBox1, Id::kEdit3, Id::kMemo1, Id::kButton2}) {
    const auto font = reinterpret_cast<HFONT>(::SendMessageA(Item(id), WM_GETFONT, 0, 0));
    LOGFONTA face{};
    ASSERT_NE(::GetObjectA(font, sizeof(face), &face), 0) << id;
    EXPECT_EQ(std::string(face.lfFaceName), form1::kFont) << id;
  }
}

TEST_F(Win32Window, ControlsStartWithTheirDesignTextsAndVisibility) {
  struct Expected {
    int id;
    std::string_view text;
    bool visible;
  };
  const std::string memo =
      std::string(form1::kMemo1Line1) + "\r\n" + std::string(form1::kMemo1Line2);
  for (const Expected& c : std::vector<Expected>{
           {Id::kLabel1, "Karte", true},
           {Id::kLabel2, "Seriennummer:", true},
           {Id::kLabel3, "Kunde", true},
           {Id::kLabel4, "Flashversion", true},
           {Id::kEdit1, "Edit1", true},
           {Id::kEdit2, "Edit2", true},
           {Id::kEdit3, "Edit3", true},
           {Id::kMemo1, memo, true},
           {Id::kLabel6, "Flash wird geschrieben, bitte warten...", false},
           {Id::kProgressBar1, "", false},
           {Id::kButton4, "Dump", false},
           {Id::kButton2, "Flash upgraden", true},
           {Id::kButton3, "Flash downgraden", true},
           {Id::kButton1, "Exit", true},
           {Id::kImage1, "", true},
           {Id::kBevel1, "", true},
           {Id::kBevel2, "", true},
       }) {
    ASSERT_NE(Item(c.id), nullptr) << c.id;
    EXPECT_EQ(Text(c.id), c.text) << c.id;
    EXPECT_EQ(Visible(c.id), c.visible) << c.id;
  }
  // The note's umlauts reach the control as code page 1252 bytes.
  EXPECT_NE(Text(Id::kMemo1).find("zuk\xFCnftigen Treibern unterst\xFCtzt"), std::string::npos);
  EXPECT_EQ(::SendMessageA(Item(Id::kComboBox1), CB_GETCOUNT, 0, 0), 0);
  EXPECT_TRUE(HasStyle(Item(Id::kComboBox1), CBS_DROPDOWNLIST));
  EXPECT_TRUE(HasStyle(Item(Id::kMemo1), ES_MULTILINE));
  EXPECT_TRUE(HasStyle(Item(Id::kBevel1), SS_ETCHEDFRAME));
  EXPECT_NE(::SendMessageA(Item(Id::kImage1), STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
  PBRANGE range{};
  ::SendMessageA(Item(Id::kProgressBar1), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
}

TEST_F(Win32Window, ControlsStandAtTheirDesignPositions) {
  for (const auto& [id, design] : std::vector<std::pair<int, form1::Rect>>{
           {Id::kImage1, form1::kImage1},
           {Id::kBevel1, form1::kBevel1},
           {Id::kBevel2, form1::kBevel2},
           {Id::kComboBox1, form1::kComboBox1},
           {Id::kEdit1, form1::kEdit1Pos},
           {Id::kEdit3, form1::kEdit3Pos},
           {Id::kMemo1, form1::kMemo1},
           {Id::kProgressBar1, form1::kProgressBar1},
           {Id::kButton4, form1::kButton4Pos},
           {Id::kButton1, form1::kButton1Pos},
       }) {
    const RECT place = PlaceOf(Item(id));
    EXPECT_EQ(place.left, design.left) << id;
    EXPECT_EQ(place.top, design.top) << id;
    EXPECT_EQ(place.right - place.left, design.width) << id;
    EXPECT_EQ(place.bottom - place.top, design.height) << id;
  }
  // Labels size themselves to their text from their design corner.
  for (const auto& [id, design] : std::vector<std::pair<int, form1::Rect>>{
           {Id::kLabel2, form1::kLabel2Pos}, {Id::kLabel6, form1::kLabel6Pos}}) {
    const RECT place = PlaceOf(Item(id));
    EXPECT_EQ(place.left, design.left) << id;
    EXPECT_EQ(place.top, design.top) << id;
    EXPECT_GT(place.right - place.left, 0) << id;
  }
  // Everything fits into the client area.
  RECT client{};
  ::GetClientRect(Frame(), &client);
  const RECT exit = PlaceOf(Item(Id::kButton1));
  EXPECT_LE(exit.right, client.right);
  EXPECT_LE(exit.bottom, client.bottom);
}

TEST_F(Win32Window, StartUpListsTheCardsAndShowsTheFirst) {
  form_->FormCreate();
  EXPECT_EQ(ListItems(), (std::vector<std::string>{"nimbaPCI/HS", "RT/Count16"}));
  EXPECT_EQ(::SendMessageA(Item(Id::kComboBox1), CB_GETCURSEL, 0, 0), 0);
  const RecordV12 first = sim::DefaultRecordV12();
  EXPECT_EQ(Text(Id::kEdit1), first.Get(v12::SerialNumber));
  EXPECT_EQ(Text(Id::kEdit2), first.Get(v12::Customer));
  ExpectCardShown("1.2");
  EXPECT_TRUE(Visible(Id::kButton4));  // hidden at design time, shown after start-up
  EXPECT_TRUE(messages_.Shown().empty());
  ExpectIdle();

  Choose(1);
  const RecordV13 second = sim::DefaultRecordV13();
  EXPECT_EQ(Text(Id::kEdit1), second.SerialNumber.str());
  EXPECT_EQ(Text(Id::kEdit2), second.Customer.str());
  ExpectCardShown("1.3");
  ExpectIdle();

  Choose(0);
  ExpectCardShown("1.2");
}

TEST_F(Win32Window, UpgradeByTheButtonsCommandWritesWithTheProgressWindow) {
  form_->FormCreate();
  bool hourglass_during_write = false;
  splash_.at_repaint = [&] { hourglass_during_write = HourglassShownOver(Item(Id::kEdit1)); };

  Click(Id::kButton2);

  ExpectCardShown("1.3");
  EXPECT_EQ(Text(Id::kEdit1), sim::DefaultRecordV12().Get(v12::SerialNumber));
  // The erase also took the calibration table after card 0's record: told first.
  ASSERT_EQ(messages_.Shown().size(), 2u);
  EXPECT_NE(messages_.Shown()[0].text.find("von Adresse 0xD02E00 bis 0xD02E43"), std::string::npos);
  EXPECT_EQ(messages_.Shown()[1].text, "Flash erfolgreich aktualisiert");
  EXPECT_EQ(messages_.Shown()[1].kind, MessageKind::Information);
  EXPECT_EQ(messages_.Shown()[1].buttons, Buttons::Ok);
  EXPECT_EQ(ProgressOf(Item(Id::kProgressBar1)), 100);
  ExpectIdle();
  EXPECT_TRUE(hourglass_during_write);
  EXPECT_FALSE(HourglassShownOver(Item(Id::kEdit1)));

  // One progress window, on top, without system menu, at each of the four blocks.
  ASSERT_EQ(splash_.seen.size(), 4u);
  for (int block = 1; block <= 4; ++block) {
    const SplashView& view = splash_.seen[static_cast<std::size_t>(block - 1)];
    EXPECT_TRUE(view.visible) << block;
    EXPECT_TRUE(view.topmost) << block;
    EXPECT_FALSE(view.system_menu) << block;
    EXPECT_EQ(view.caption, splash::kCaption) << block;
    EXPECT_EQ(view.label2, std::to_string(block));
    EXPECT_EQ(view.label3, "Schreibe neuen Datensatz");
    EXPECT_EQ(view.progress, 25 * block);
    EXPECT_EQ(view.width, splash::kWidth);
    EXPECT_EQ(view.height, splash::kHeight);
  }
}

TEST_F(Win32Window, DowngradeAndDumpByTheirButtons) {
  form_->FormCreate();
  Choose(1);
  Click(Id::kButton3);
  ExpectCardShown("1.2");
  EXPECT_TRUE(splash_.seen.empty());  // a downgrade shows no progress window
  ASSERT_EQ(messages_.Texts(), (std::vector<std::string>{"Flash erfolgreich aktualisiert"}));
  ExpectIdle();

  messages_.Clear();
  Click(Id::kButton4);
  ASSERT_EQ(messages_.Shown().size(), 1u);
  EXPECT_EQ(messages_.Shown()[0].text,
            "Dump erfolgreich erzeugt\r\n\r\nBitte sichern Sie die aktuelle .SAV-Datei von C:\\");
  EXPECT_EQ(messages_.Shown()[0].kind, MessageKind::Plain);
  ExpectCardShown("1.2");
  EXPECT_FALSE(form_->LastBackupFile().empty());
  ExpectIdle();
}

TEST_F(Win32Window, ClicksDuringAnActionAreDroppedAndACloseWaitsForItsEnd) {
  form_->FormCreate();
  int repaints = 0;
  splash_.at_repaint = [&] {
    if (++repaints == 2) {
      EXPECT_TRUE(Visible(Id::kLabel6));
      EXPECT_TRUE(Visible(Id::kProgressBar1));
      Click(Id::kButton2);  // would start a second write into this one
      Click(Id::kButton4);
      ::SendMessageA(Frame(), WM_CLOSE, 0, 0);
      EXPECT_NE(Frame(), nullptr);
    }
  };

  Click(Id::kButton2);

  EXPECT_EQ(splash_.seen.size(), 4u);
  EXPECT_EQ(messages_.Texts().back(), "Flash erfolgreich aktualisiert");
  ExpectCardShown("1.3");
  ASSERT_NE(Frame(), nullptr);
  window_->ProcessMessages();  // the close that was kept
  EXPECT_EQ(Frame(), nullptr);
  MSG quit;
  EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

// A log-off or shut-down asks every window first: during a write the window
// refuses, and the program ends once the write is done; otherwise the window
// agrees and the session ends the program.
TEST_F(Win32Window, SessionEndIsRefusedDuringAWriteAndCarriedOutAfterIt) {
  form_->SetEndRequests(*window_);
  form_->FormCreate();
  EXPECT_EQ(::SendMessageA(Frame(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  EXPECT_NE(Frame(), nullptr);

  std::vector<LRESULT> answers;
  splash_.at_repaint = [&] {
    answers.push_back(::SendMessageA(Frame(), WM_QUERYENDSESSION, 0, 0));
    Click(Id::kButton1);  // Exit waits as well
    EXPECT_NE(Frame(), nullptr);
  };
  Click(Id::kButton2);

  EXPECT_EQ(answers, std::vector<LRESULT>(4, FALSE));
  const std::vector<std::string> texts = messages_.Texts();
  ASSERT_EQ(texts.size(), 3u);  // the note on the calibration table first
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.end()),
            (std::vector<std::string>{
                "Flash erfolgreich aktualisiert",
                std::string("Das Programm sollte beendet werden, während eine Karte beschrieben "
                            "wurde.\r\nEs hat den Schreibvorgang zuerst zu Ende geführt und wird "
                            "jetzt beendet."_cp)}));
  EXPECT_EQ(Frame(), nullptr);
  EXPECT_TRUE(system_->journal.Unfinished().empty());
}

// A failed write leaves the card half written: the question right after it and
// the one at the next start are boxes whose Enter answers No.
TEST_F(Win32Window, RestoreQuestionsDefaultToNo) {
  form_->FormCreate();
  machine_.Pc().Card(0).Faults().commands.push_back(
      {sim::CommandKind::kProgram, 3, sim::FaultAction::kFail, 0});
  Click(Id::kButton2);
  machine_.Pc().Card(0).Faults() = {};
  End();
  Open();
  form_->FormCreate();
  const std::string question =
      "Die letzte Aktualisierung der Karte 0 (Seriennummer NHS-0202-0117) wurde nicht "
      "abgeschlossen.";
  std::vector<std::uint32_t> styles;
  for (const ShownMessage& shown : messages_.Shown()) {
    if (shown.text.starts_with(question)) {
      styles.push_back(MessageBoxStyle(shown.kind, shown.buttons, true));
    }
  }
  EXPECT_EQ(styles, std::vector<std::uint32_t>(
                        2, static_cast<std::uint32_t>(MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION |
                                                      MB_APPLMODAL)));
  ExpectCardShown("1.3");  // the half-written card, not restored
}

TEST_F(Win32Window, ExitEndsTheProgram) {
  form_->FormCreate();
  const HWND frame = Frame();
  Click(Id::kButton1);
  EXPECT_FALSE(::IsWindow(frame));
  EXPECT_EQ(Frame(), nullptr);
  MSG quit;
  EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
  // The view outlives its window without touching it.
  window_->SetText(Control::Edit1, "x");
  EXPECT_EQ(window_->SelectedItem(), -1);
}

TEST_F(Win32Window, ClosingTheWindowEndsTheProgram) {
  form_->FormCreate();
  const HWND frame = Frame();
  ::SendMessageA(frame, WM_CLOSE, 0, 0);
  EXPECT_FALSE(::IsWindow(frame));
  MSG quit;
  EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
  for (CardSlot slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(system_->slots.OpenCount(slot), 0) << slot;
  }
}

TEST_F(Win32Window, HourglassCoversEveryControlOfTheWindow) {
  window_->SetHourglass(true);
  EXPECT_TRUE(HourglassShownOver(Frame()));
  EXPECT_TRUE(HourglassShownOver(Item(Id::kButton2)));
  EXPECT_TRUE(HourglassShownOver(Item(Id::kMemo1)));
  window_->SetHourglass(false);
  EXPECT_FALSE(HourglassShownOver(Item(Id::kButton2)));
}

TEST_F(Win32Window, ProgressWindowStartsWithItsDesignValuesAndClosesOnRequest) {
  auto splash = splash_windows_.CreateAndShow();
  const HWND window = ::FindWindowA(Win32FlashSplashFactory::kClassName, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(::IsWindowVisible(window));
  EXPECT_EQ(::GetWindow(window, GW_OWNER), Frame());
  EXPECT_EQ(TextOf(window), splash::kCaption);
  EXPECT_EQ(TextOf(::GetDlgItem(window, SplashId::kLabel1)), splash::kLabel1);
  EXPECT_EQ(TextOf(::GetDlgItem(window, SplashId::kLabel2)), "");
  EXPECT_EQ(TextOf(::GetDlgItem(window, SplashId::kLabel3)), "Label3");
  const HWND bar = ::GetDlgItem(window, SplashId::kProgressBar1);
  EXPECT_EQ(ProgressOf(bar), 0);
  PBRANGE range{};
  ::SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, splash::kProgressMin);
  EXPECT_EQ(range.iHigh, splash::kProgressMax);
  const RECT label3 = PlaceOf(::GetDlgItem(window, SplashId::kLabel3));
  EXPECT_EQ(label3.left, 256);
  EXPECT_EQ(label3.top, 8);
  const RECT bar_place = PlaceOf(bar);
  EXPECT_EQ(bar_place.left, 0);
  EXPECT_EQ(bar_place.top, 24);
  EXPECT_EQ(bar_place.right - bar_place.left, 489);

  // A label grows with its text, so a longer text shows whole.
  const int narrow = PlaceOf(::GetDlgItem(window, SplashId::kLabel3)).right - label3.left;
  splash->SetLabel3("Schreibe neuen Datensatz");
  const RECT wide = PlaceOf(::GetDlgItem(window, SplashId::kLabel3));
  EXPECT_GT(wide.right - wide.left, narrow);

  ::SendMessageA(window, WM_CLOSE, 0, 0);  // it has no close of its own
  EXPECT_TRUE(::IsWindowVisible(window));
  splash->Close();
  EXPECT_TRUE(::IsWindow(window));
  EXPECT_FALSE(::IsWindowVisible(window));
  splash.reset();
  EXPECT_FALSE(::IsWindow(window));
}

TEST(WindowProgram, AsksForVersionOnlyWithTheArgument) {
  const struct {
    const char* command_line;
    bool asks;
  } kCases[] = {
      {R"("C:\Programme\Flash Update\FlashUpdate.exe" /version)", true},
      {"FlashUpdate.exe /VERSION", true},
      {"FlashUpdate.exe /protokoll C:\\P.TXT /Version", true},
      {"FlashUpdate.exe", false},
      {R"("C:\version\ /version\FlashUpdate.exe")", false},  // a path, not an argument
      {"FlashUpdate.exe /versionen", false},
      {"/version", false},  // the program's own name
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(AsksForVersion(c.command_line), c.asks) << c.command_line;
  }
}

// The main job on every kind of card a maker may build, by the buttons:
// upgrade, downgrade, upgrade, then a downgrade whose block fails, restored at
// the question that follows, and the downgrade again.
class Win32WindowOnEveryCard : public Win32Window,
                               public ::testing::WithParamInterface<std::size_t> {};

TEST_P(Win32WindowOnEveryCard, MainJobAndARestoreAfterAFailedBlock) {
  test::CardKinds()[GetParam()].apply(machine_.Pc());
  if (machine_.Pc().Card(0).Control() & sim::kHctrBusy) {
    messages_.Script(Answer::Yes);  // take the card over
  }
  form_->FormCreate();
  const auto click = [&](int id) {
    messages_.Clear();
    Click(id);
    const auto texts = messages_.Texts();
    return texts.empty() ? std::string() : texts.back();
  };
  const std::string done = "Flash erfolgreich aktualisiert";
  EXPECT_EQ(click(Id::kButton2), done);
  EXPECT_EQ(click(Id::kButton3), done);
  EXPECT_EQ(click(Id::kButton2), done);
  machine_.Pc().Card(0).Faults().commands.push_back(
      {sim::CommandKind::kProgram, 1, sim::FaultAction::kFail, 0});
  messages_.Script(Answer::Yes);  // restore it
  EXPECT_NE(click(Id::kButton3).find(" wiederhergestellt."), std::string::npos);
  ExpectCardShown("1.3");
  EXPECT_EQ(click(Id::kButton3), done);
  ExpectCardShown("1.2");
  ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Kinds, Win32WindowOnEveryCard,
                         ::testing::Range<std::size_t>(0, test::CardKinds().size()));

}  // namespace
}  // namespace fu
