#include <gtest/gtest.h>

#include <algorithm>

#include "base/cp1252.h"
#include "base/errors.h"
#include "hwaccess/executable_dir.h"
#include "record/image_codec.h"
#include "sim/default_cards.h"
#include "support/app_rig.h"

namespace fu {
namespace {

constexpr std::size_t kRecordOffset = 0x1000;  // the record area in a card's flash

class MainWindow : public ::testing::Test {
 protected:
  RecordingMainWindow& View() { return *rig_.view; }
  TForm1& Form() { return *rig_.form; }
  void Select(int index) {
    View().SelectItem(index);
    Form().ComboBox1Change();
  }
  void WriteRecord(std::size_t card, const RecordV12& record) {
    auto& flash = rig_.Pc().Card(card).Flash().AllBytes();
    std::copy(record.Bytes().begin(), record.Bytes().end(), flash.begin() + kRecordOffset);
  }
  void ExpectIdle() {
    EXPECT_FALSE(View().Visible(Control::Label6));
    EXPECT_FALSE(View().Visible(Control::ProgressBar1));
    EXPECT_FALSE(View().Hourglass());
    for (CardSlot slot = 0; slot < kSlotCount; ++slot) {
      EXPECT_EQ(rig_.system->slots.OpenCount(slot), 0) << slot;
    }
    EXPECT_FALSE(rig_.system->cards.DriverOpen());
  }

  test::AppRig rig_;
};

TEST_F(MainWindow, StartUpListsTheCardsAndShowsTheFirst) {
  rig_.Start();
  EXPECT_EQ(View().Items(), (std::vector<std::string>{"nimbaPCI/HS", "RT/Count16"}));
  EXPECT_EQ(View().SelectedItem(), 0);
  const RecordV12 first = sim::DefaultRecordV12();
  EXPECT_EQ(View().Text(Control::Edit1), first.Get(v12::SerialNumber));
  EXPECT_EQ(View().Text(Control::Edit2), first.Get(v12::Customer));
  EXPECT_EQ(View().Text(Control::Edit3), "1.2");
  EXPECT_TRUE(View().Visible(Control::Memo1));
  EXPECT_TRUE(View().Enabled(Control::Button2));
  EXPECT_FALSE(View().Enabled(Control::Button3));
  EXPECT_TRUE(View().Visible(Control::Button4));  // hidden at design time
  EXPECT_TRUE(rig_.messages.Shown().empty());
  ExpectIdle();
  for (std::size_t card = 0; card < 2; ++card) {
    EXPECT_EQ(rig_.Pc().Card(card).Control() & 0xC000, 0u);  // neither busy nor boot-done
    EXPECT_TRUE(rig_.Pc().Card(card).ServiceRunning());
  }
  EXPECT_EQ(rig_.system->cards.Cards()[0].deviceNumber, 9u);
}

TEST_F(MainWindow, FourCardsInBusOrderAndAFifthIgnored) {
  rig_.Pc().AddCardLike(1, {2, 3, 0xFE900000});
  rig_.Pc().AddCardLike(0, {2, 1, 0xFE800000});
  rig_.Pc().AddCardLike(0, {2, 5, 0xFE700000});
  rig_.Start();
  EXPECT_EQ(View().Items(),
            (std::vector<std::string>{"nimbaPCI/HS", "RT/Count16", "nimbaPCI/HS", "RT/Count16"}));
  Select(3);
  EXPECT_EQ(View().Text(Control::Edit3), "1.3");
  EXPECT_EQ(rig_.system->cards.Cards()[3].baseAddress0, 0xFE900000u);
  ExpectIdle();
}

TEST_F(MainWindow, SlotThatFailsAtStartUpHoldsNoListPlace) {
  rig_.Pc().AddCardLike(0, {2, 1, 0xFE800000});
  rig_.Pc().System().Faults().refuseMapOf = rig_.Pc().Place(1).window;
  rig_.Start();
  EXPECT_EQ(View().Items(), (std::vector<std::string>{"nimbaPCI/HS", "nimbaPCI/HS"}));
  EXPECT_EQ(Form().ListSlots(), (std::vector<CardSlot>{0, 2}));
  rig_.Pc().System().Faults().refuseMapOf = 0;
  // The second item is the card in slot 2: an action on it changes that card only.
  const auto card1 = rig_.Pc().Card(1).Flash().AllBytes();
  const auto card0 = rig_.Pc().Card(0).Flash().AllBytes();
  Select(1);
  ASSERT_EQ(Form().Button2Click(), ActionResult::Done);
  EXPECT_EQ(rig_.Pc().Card(1).Flash().AllBytes(), card1);
  EXPECT_EQ(rig_.Pc().Card(0).Flash().AllBytes(), card0);
  EXPECT_EQ(View().Text(Control::Edit3), "1.3");
  EXPECT_EQ(Form().LastBackupFile(), "C:\\FLASH_2_05.03.2003.SAV");
}

TEST_F(MainWindow, SecondCardIsRevision13) {
  rig_.Start();
  Select(1);
  const RecordV13 second = sim::DefaultRecordV13();
  EXPECT_EQ(View().Text(Control::Edit1), second.SerialNumber.view());
  EXPECT_EQ(View().Text(Control::Edit3), "1.3");
  EXPECT_FALSE(View().Visible(Control::Memo1));
  EXPECT_FALSE(View().Enabled(Control::Button2));
  EXPECT_TRUE(View().Enabled(Control::Button3));
  ExpectIdle();
}

TEST_F(MainWindow, UnrecognisedRecordIsListedAsUnknown) {
  RecordV12 garbage;
  garbage.Set(v12::CardName, "nimbaPCI");  // no revision mark
  WriteRecord(1, garbage);
  rig_.Start();
  EXPECT_EQ(View().Items()[1], "Unbekannter Kartentyp");
  Select(1);
  EXPECT_EQ(View().Text(Control::Edit1), "Nicht vorhanden");
  EXPECT_EQ(View().Text(Control::Edit2), "Nicht vorhanden");
  EXPECT_EQ(View().Text(Control::Edit3), "Unbekannt");
  EXPECT_TRUE(View().Visible(Control::Memo1));
  EXPECT_FALSE(View().Enabled(Control::Button2));
  EXPECT_FALSE(View().Enabled(Control::Button3));
}

TEST_F(MainWindow, WithoutADriverNoCardIsListedAndNoneTouched) {
  rig_.Pc().SetDriverFilesPresent(false);
  rig_.Start();
  EXPECT_TRUE(View().Items().empty());
  EXPECT_EQ(View().SelectedItem(), -1);
  EXPECT_EQ(View().Text(Control::Edit1), "Nicht vorhanden");
  EXPECT_EQ(View().Text(Control::Edit3), "Unbekannt");
  EXPECT_FALSE(View().Enabled(Control::Button2));
  EXPECT_FALSE(View().Enabled(Control::Button3));
  // Each failing open says so once.
  EXPECT_EQ(rig_.messages.Texts(), std::vector<std::string>(4, "Fehler bei HWAccess"));
  EXPECT_EQ(Form().Button4Click(), ActionResult::Refused);  // nothing to dump
  EXPECT_EQ(rig_.Pc().Drive().FilesCreated(), 0);
}

TEST_F(MainWindow, ProgramDirectoryIsUpperCased) {
  rig_.Pc().SetProgramPath("c:\\Tools\\upd\\flashupdate.exe");
  rig_.Pc().SetDspProgramPresent(false);
  rig_.Start();
  ASSERT_EQ(rig_.messages.Shown().size(), 2u);  // one per card
  EXPECT_EQ(rig_.messages.Shown()[0].text,
            std::string("Fehler beim Öffnen des DSP-Programmes "_cp) +
                "C:\\TOOLS\\UPD\\QX4FLASH_PCI.PCI\r\nFehlercode: 2");
  EXPECT_EQ(View().Items(),
            (std::vector<std::string>{"Unbekannter Kartentyp", "Unbekannter Kartentyp"}));
  ExpectIdle();
}

// A program path too long for the system's buffer names no directory: even with
// the driver service already running from an earlier start, no card is started
// with a DSP program file looked up by its bare name.
TEST_F(MainWindow, TooLongProgramPathStartsNoCard) {
  rig_.Start();
  // Only the path the system reports: no files can lie there on every host.
  rig_.Pc().System().SetProgramPath("C:\\" + std::string(250, 'A') + "\\FLASHUPDATE.EXE");
  const auto before = rig_.messages.Texts().size();
  rig_.Start();
  const std::vector<std::string> texts = rig_.messages.Texts();
  EXPECT_EQ(
      std::vector<std::string>(texts.begin() + static_cast<std::ptrdiff_t>(before), texts.end()),
      std::vector<std::string>{ModulePathTooLongText()});
  EXPECT_TRUE(View().Items().empty());
  EXPECT_FALSE(View().Enabled(Control::Button2));
  EXPECT_FALSE(View().Enabled(Control::Button3));
}

TEST_F(MainWindow, DamagedProgramFileIsShownAndStartUpGoesOn) {
  const std::string text = "3\r\n0\r\nXYZ\r\n1\r\n2\r\n";
  rig_.Pc().Drive().Install(
      rig_.Pc().ProgramDirectory() + "QX4FLASH_PCI.PCI",
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  rig_.Start();
  EXPECT_EQ(rig_.messages.Texts(),
            std::vector<std::string>(2, std::string("'XYZ' ist kein gültiger Integerwert"_cp)));
  EXPECT_EQ(View().Items().size(), 2u);
  EXPECT_TRUE(View().Visible(Control::Button4));
  for (std::size_t card = 0; card < 2; ++card) {
    EXPECT_EQ(rig_.Pc().Card(card).Control() & 0x4000, 0u);  // the busy flag was released
  }
  ExpectIdle();
}

// Card 0's busy flag is set at start-up: another program may hold it, or it
// stayed set after power-on or after a program that ended in its work. The user
// is asked. No: the card keeps its list place, so that the numbers stay, is
// neither booted nor read, every action on it is refused, and its flag stays.
// Yes: the flag is cleared and the card started as every other.
TEST_F(MainWindow, CardFoundBusyIsTakenOverOnlyOnTheUsersWord) {
  rig_.Pc().SetBusyHeldByOther(0, true);
  const auto before = rig_.Pc().Card(0).Flash().AllBytes();
  rig_.Start();
  EXPECT_EQ(View().Items(), (std::vector<std::string>{"Unbekannter Kartentyp", "RT/Count16"}));
  ASSERT_EQ(rig_.messages.Shown().size(), 2u);
  const ShownMessage& question = rig_.messages.Shown()[0];
  EXPECT_EQ(question.buttons, Buttons::YesNoDefaultNo);
  EXPECT_EQ(question.answer, Answer::No);
  for (const char* part : {"Die Karte 0 ist als belegt markiert", "anderes Programm",
                           "nach dem Einschalten", "nicht regulär beendet"}) {
    EXPECT_NE(question.text.find(Utf8ToCp1252(part)), std::string::npos) << part;
  }
  EXPECT_EQ(rig_.messages.Texts()[1],
            std::string("Die Karte 0 wurde nicht übernommen. Es wurde nichts an sie gesendet; "
                        "sie wird als unbekannt angezeigt. Beim nächsten Start wird wieder "
                        "gefragt."_cp));
  EXPECT_EQ(View().Text(Control::Edit3), "Unbekannt");
  for (const auto click : {&TForm1::Button2Click, &TForm1::Button3Click, &TForm1::Button4Click}) {
    rig_.messages.Clear();
    EXPECT_NE((Form().*click)(), ActionResult::Done);
    EXPECT_EQ(rig_.messages.Texts(),
              std::vector<std::string>{std::string(
                  "Die Karte wird von einem anderen Programm benutzt. Die Karte wurde nicht "
                  "verändert."_cp)});
  }
  EXPECT_EQ(rig_.Pc().Card(0).Control() & 0x4000, 0x4000u);
  EXPECT_EQ(rig_.Pc().Card(0).Diagnostics().boots, 0u);
  EXPECT_TRUE(rig_.Pc().Card(0).Diagnostics().commands.empty());
  EXPECT_EQ(rig_.Pc().Card(0).Flash().AllBytes(), before);
  Select(1);
  EXPECT_EQ(View().Text(Control::Edit3), "1.3");
  ExpectIdle();

  rig_.messages.Clear();
  rig_.messages.Script(Answer::Yes);
  rig_.Start();
  EXPECT_EQ(View().Items(), (std::vector<std::string>{"nimbaPCI/HS", "RT/Count16"}));
  EXPECT_EQ(rig_.messages.Shown().size(), 1u);  // the question only
  EXPECT_EQ(rig_.Pc().Card(0).Diagnostics().boots, 1u);
  EXPECT_EQ(rig_.Pc().Card(0).Control() & 0x4000, 0u);
  EXPECT_EQ(Form().Button2Click(), ActionResult::Done);
}

TEST_F(MainWindow, NestedOpensKeepTheCardMapped) {
  rig_.Start();
  SlotLayer& slots = rig_.system->slots;
  ASSERT_EQ(slots.OpenSlot(1), 1);
  ASSERT_EQ(slots.OpenSlot(1), 1);
  EXPECT_EQ(slots.OpenCount(1), 2);
  EXPECT_EQ(slots.CloseSlot(1), 1);  // the remaining count
  EXPECT_TRUE(rig_.system->windows.HasWindow(1));
  EXPECT_EQ(slots.CloseSlot(1), 1);  // unmapped
  EXPECT_FALSE(rig_.system->windows.HasWindow(1));
  EXPECT_EQ(slots.CloseSlot(1), 0);
  EXPECT_EQ(slots.OpenCount(1), 0);

  // A window released under the slot layer: the last close finds none and says
  // so, and still leaves the slot closed, so the next open maps the card again
  // and the next close unmaps it.
  ASSERT_EQ(slots.OpenSlot(1), 1);
  ASSERT_TRUE(rig_.system->cards.CloseCard(1));
  EXPECT_EQ(slots.CloseSlot(1), 0);
  EXPECT_EQ(slots.OpenCount(1), 0);
  ASSERT_EQ(slots.OpenSlot(1), 1);
  EXPECT_TRUE(rig_.system->windows.HasWindow(1));
  EXPECT_EQ(slots.CloseSlot(1), 1);
  EXPECT_FALSE(rig_.system->windows.HasWindow(1));
}

// Why the first open of slot 0 fails: a refused map (OpenCard gives 0) or a
// driver that cannot be opened (ERROR_WORD).
struct OpenFailure {
  const char* name;
  void (*set)(sim::SimPc& pc, bool on);
};

class SlotOpenFailure : public MainWindow, public ::testing::WithParamInterface<OpenFailure> {};

// The failed slot keeps no handle, not even once another slot has been opened
// since: the next open of it maps the card.
TEST_P(SlotOpenFailure, SlotIsTriedAgainLater) {
  GetParam().set(rig_.Pc(), true);
  rig_.Start();
  SlotLayer& slots = rig_.system->slots;
  EXPECT_EQ(slots.OpenSlot(0), 0);
  EXPECT_EQ(slots.WindowHandle(0), 0u);
  EXPECT_EQ(slots.CurrentHandle(), 0u);
  GetParam().set(rig_.Pc(), false);
  ASSERT_EQ(slots.OpenSlot(1), 1);
  EXPECT_EQ(slots.OpenSlot(0), 1);
  EXPECT_TRUE(rig_.system->windows.HasWindow(0));
  EXPECT_EQ(slots.CloseSlot(0), 1);
  EXPECT_EQ(slots.CloseSlot(1), 1);
  ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, SlotOpenFailure,
    ::testing::Values(
        OpenFailure{"RefusedMap", [](sim::SimPc& pc, bool on) { pc.SetRefuseMap(on); }},
        OpenFailure{"NoDriver", [](sim::SimPc& pc, bool on) { pc.SetDriverFilesPresent(!on); }}),
    [](const ::testing::TestParamInfo<OpenFailure>& row) { return std::string(row.param.name); });

TEST_F(MainWindow, RemovedCardIsShownAsNotPresentWithoutTouchingIt) {
  rig_.Start();
  rig_.Pc().SetRefuseMap(true);
  rig_.messages.Clear();
  const auto reads = rig_.Pc().Card(0).Diagnostics().registerReads;
  Select(0);
  EXPECT_EQ(View().Text(Control::Edit1), "Nicht vorhanden");
  EXPECT_EQ(View().Text(Control::Edit3), "Unbekannt");
  EXPECT_FALSE(View().Enabled(Control::Button2));
  EXPECT_EQ(rig_.Pc().Card(0).Diagnostics().registerReads, reads);

  EXPECT_EQ(Form().Button2Click(), ActionResult::Failed);
  EXPECT_EQ(rig_.messages.Texts().back(), std::string("Die Karte konnte nicht geöffnet werden"_cp));
  ExpectIdle();
}

TEST_F(MainWindow, ExitAndClose) {
  rig_.Start();
  Form().Button1Click();
  EXPECT_TRUE(View().QuitRequested());
  Form().FormClose();
  ExpectIdle();
}

}  // namespace
}  // namespace fu
