#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/console_program.h"
#include "base/cp1252.h"
#include "flash/backup_format.h"
#include "record/image_codec.h"
#include "record/revision.h"
#include "sim/default_cards.h"
#include "sim/power_cut.h"
#include "support/app_rig.h"

namespace fu {
namespace {

using sim::CommandFault;
using sim::CommandKind;
using sim::FaultAction;

constexpr std::size_t kRecordOffset = 0x1000;

const std::string kUpdated = "Flash erfolgreich aktualisiert";

class UpdateActions : public ::testing::Test {
 protected:
  void SetUp() override {
    rig_.Start();
    rig_.messages.Clear();
  }
  RecordingMainWindow& View() { return *rig_.view; }
  TForm1& Form() { return *rig_.form; }
  sim::SimCard& Card(std::size_t i) { return rig_.Pc().Card(i); }
  void Select(int index) {
    View().SelectItem(index);
    Form().ComboBox1Change();
  }
  RecordV12 CardRecordV12(std::size_t card) {
    const auto& flash = Card(card).Flash().AllBytes();
    return RecordV12(std::span(flash).subspan(kRecordOffset, kRecordV12Size));
  }
  void WriteRecord(std::size_t card, const RecordV12& record) {
    std::copy(record.Bytes().begin(), record.Bytes().end(),
              Card(card).Flash().AllBytes().begin() + kRecordOffset);
  }
  void Fault(std::size_t card, CommandKind kind, std::uint32_t nth, FaultAction action,
             std::uint32_t amount = 0) {
    Card(card).Faults().commands.push_back({kind, nth, action, amount});
  }
  void ExpectIdle() {
    EXPECT_FALSE(View().Visible(Control::Label6));
    EXPECT_FALSE(View().Visible(Control::ProgressBar1));
    EXPECT_FALSE(View().Hourglass());
    for (CardSlot slot = 0; slot < kSlotCount; ++slot) {
      EXPECT_EQ(rig_.system->slots.OpenCount(slot), 0) << slot;
    }
  }
  bool RecordSectorIs(std::size_t card, const sim::SimFlash::Bytes& before) {
    return Card(card).Flash().AllBytes() == before;
  }
  // What a failed write that changed the card asks, and every start until it is answered.
  static std::string RestoreQuestion(int card, const std::string& serial,
                                     const std::string& backup) {
    return "Die letzte Aktualisierung der Karte " + std::to_string(card) + " (Seriennummer " +
           serial + ") wurde nicht abgeschlossen. Die Sicherung " + backup +
           std::string(
               " enthält den Stand davor. Soll die Karte jetzt daraus wiederhergestellt "
               "werden?"_cp);
  }
  // The backup files at the root of drive C:.
  std::vector<std::string> Saved() {
    std::vector<std::string> saved;
    for (const auto& name : rig_.Pc().Drive().List("C:\\")) {
      if (name.ends_with(".SAV")) {
        saved.push_back(name);
      }
    }
    return saved;
  }

  test::AppRig rig_;
};

TEST_F(UpdateActions, UpgradeWritesRevision13AndRefreshes) {
  // The card's busy flag at each change of its flash: held by this program.
  std::vector<std::uint32_t> busy;
  auto flash = Card(0).Flash().AllBytes();
  Card(0).SetStateChangedHandler([&] {
    if (Card(0).Flash().AllBytes() != flash) {
      flash = Card(0).Flash().AllBytes();
      busy.push_back(Card(0).Control() & 0x4000);
    }
  });
  EXPECT_EQ(Form().Button2Click(), ActionResult::Done);
  ASSERT_FALSE(busy.empty());
  EXPECT_EQ(busy, std::vector<std::uint32_t>(busy.size(), 0x4000u));
  EXPECT_EQ(Card(0).Control() & 0x4000, 0u);  // released at the end
  // The erase also took the card's calibration table after the record: told
  // once, with the backup that keeps it.
  ASSERT_EQ(rig_.messages.Texts().size(), 2u);
  EXPECT_NE(rig_.messages.Texts()[0].find("68 Bytes von Adresse 0xD02E00 bis 0xD02E43"),
            std::string::npos);
  EXPECT_EQ(rig_.messages.Texts()[1], kUpdated);
  EXPECT_EQ(Form().LastDifference(), (AreaDifference{false, 0x2E00, 0x2E43, 68}));
  EXPECT_EQ(rig_.messages.Shown()[0].kind, MessageKind::Information);
  EXPECT_EQ(View().ProgressSteps(), (std::vector<int>{0, 20, 30, 100}));
  EXPECT_EQ(View().Text(Control::Edit3), "1.3");
  EXPECT_FALSE(View().Visible(Control::Memo1));
  EXPECT_FALSE(View().Enabled(Control::Button2));
  EXPECT_TRUE(View().Enabled(Control::Button3));
  EXPECT_EQ(View().Items()[0], "nimbaPCI/HS");  // list items stay as start-up made them
  EXPECT_EQ(rig_.splash.Created(), 1);
  EXPECT_EQ(Form().LastBackupFile(), "C:\\FLASH_0_05.03.2003.SAV");
  EXPECT_TRUE(rig_.Pc().Drive().Exists("C:\\FLASH_0_05.03.2003.SAV"));
  ExpectIdle();
}

TEST_F(UpdateActions, DowngradeWritesRevision12AndRefreshes) {
  Select(1);
  EXPECT_EQ(Form().Button3Click(), ActionResult::Done);
  EXPECT_EQ(rig_.messages.Texts(), (std::vector<std::string>{kUpdated}));
  EXPECT_EQ(View().Text(Control::Edit3), "1.2");
  EXPECT_TRUE(View().Visible(Control::Memo1));
  EXPECT_TRUE(View().Enabled(Control::Button2));
  EXPECT_FALSE(View().Enabled(Control::Button3));
  EXPECT_EQ(rig_.splash.Created(), 0);  // the downgrade shows no progress window
  EXPECT_EQ(Form().LastBackupFile(), "C:\\FLASH_1_05.03.2003.SAV");
  ExpectIdle();
}

TEST_F(UpdateActions, UpgradeThenDowngradeKeepsWhatBothRevisionsHold) {
  const RecordV12 before = CardRecordV12(0);
  ASSERT_EQ(Form().Button2Click(), ActionResult::Done);
  ASSERT_EQ(Form().Button3Click(), ActionResult::Done);
  const RecordV12 after = CardRecordV12(0);
  EXPECT_EQ(RecognizeRevision(after), kRevision12);
  for (const auto field : {v12::SerialNumber, v12::Customer, v12::Manufacturer, v12::Vendor,
                           v12::ShortCode, v12::Date, v12::ProcessorMaskSet}) {
    EXPECT_EQ(after.Get(field), before.Get(field)) << field.offset;
  }
  for (std::size_t k = 0; k < v12::kOptionSlots; ++k) {
    EXPECT_EQ(after.Get(v12::SoftwareOptionName(k)), before.Get(v12::SoftwareOptionName(k)));
    EXPECT_EQ(after.Get(v12::HardwareOptionName(k)), before.Get(v12::HardwareOptionName(k)));
  }
  // Dropped or rewritten by design: the old name "nimbaPCI/HS" becomes
  // "nimbaPCI/HS_1"; clock and rate texts come back as numbers with " MHZ" or
  // " KHZ"; the FlashCode in upper case.
  EXPECT_EQ(after.Get(v12::CardName), "nimbaPCI/HS_1");
  EXPECT_EQ(after.Get(v12::ProcessorClock), "80 MHZ");
  EXPECT_EQ(after.Get(v12::A_In.rate), "250 KHZ");
  EXPECT_EQ(after.Get(v12::FlashCode), "D01000");
}

TEST_F(UpdateActions, CardNameWithoutModelAsksTwiceBeforeWriting) {
  RecordV12 record = CardRecordV12(0);
  record.Set(v12::CardName, "Eigenbau 7");
  WriteRecord(0, record);
  const auto before = Card(0).Flash().AllBytes();
  rig_.messages.Script(Answer::No);  // the model question: the conversion gives false
  rig_.messages.Script(Answer::No);  // write anyway? No
  const int steps = static_cast<int>(View().ProgressSteps().size());
  EXPECT_EQ(Form().Button2Click(), ActionResult::Declined);
  ASSERT_EQ(rig_.messages.Shown().size(), 2u);
  EXPECT_EQ(rig_.messages.Shown()[1].text,
            "Fehler beim Konvertieren der Revision 1.2 in 1.3\r\n"
            "Wenn Sie das Flash dennoch aktualisieren, kann es passieren,\r\n"
            "daß die Karte nicht mehr korrekt erkannt wird!\r\n\r\n"
            "Möchten Sie die Karte dennoch aktualisieren?"_cp);
  EXPECT_TRUE(RecordSectorIs(0, before));
  EXPECT_TRUE(Saved().empty());
  EXPECT_EQ(View().ProgressSteps().size(),
            static_cast<std::size_t>(steps + 2));  // 0, 20: no refresh
  ExpectIdle();

  rig_.messages.Clear();
  rig_.messages.Script(Answer::No);
  rig_.messages.Script(Answer::Yes);  // write anyway
  EXPECT_EQ(Form().Button2Click(), ActionResult::Done);
  EXPECT_EQ(rig_.messages.Texts().back(), kUpdated);
  EXPECT_EQ(View().Text(Control::Edit3), "1.3");
}

TEST_F(UpdateActions, FailedEraseShowsOneMessageAndNoSuccess) {
  const auto before = Card(0).Flash().AllBytes();
  Fault(0, CommandKind::kErase, 1, FaultAction::kFail);
  EXPECT_EQ(Form().Button2Click(), ActionResult::Failed);
  EXPECT_EQ(rig_.messages.Texts(),
            (std::vector<std::string>{std::string("Fehler beim Löschen des Flash"_cp),
                                      std::string("Die Karte ist unverändert."_cp)}));
  EXPECT_TRUE(RecordSectorIs(0, before));
  EXPECT_EQ(View().Text(Control::Edit3), "1.2");
  ExpectIdle();
}

// A protocol that is off is only asked whether it is on: no layer builds or
// hands over an event's text, on a good road or a failing one.
TEST_F(UpdateActions, ProtocolOffIsHandedNoEvent) {
  struct Off : Protocol {
    bool On() const override { return false; }
    void Record(std::string_view event) override { events.emplace_back(event); }
    std::vector<std::string> events;
  } off;
  rig_.protocol = &off;
  rig_.Pc().Drive().Install(rig_.Pc().ProgramDirectory() + "QX4FLASH_PCI.PCI",
                            std::vector<std::uint8_t>{'3', '\r', '\n'});
  rig_.Start();  // the program file is damaged
  rig_.Pc().SetDspProgramPresent(true);
  rig_.Start();
  Select(0);
  EXPECT_EQ(Form().Button2Click(), ActionResult::Done);
  Fault(1, CommandKind::kErase, 1, FaultAction::kFail);
  Select(1);
  EXPECT_EQ(Form().Button3Click(), ActionResult::Failed);
  rig_.Pc().SetDriverFilesPresent(false);
  rig_.Start();
  EXPECT_EQ(off.events, std::vector<std::string>{});
}

TEST_F(UpdateActions, FailedThirdBlockAsksAtOnceAndAtEveryStartUntilRestored) {
  const auto before = Card(0).Flash().AllBytes();
  const std::string question = RestoreQuestion(0, "NHS-0202-0117", "C:\\FLASH_0_05.03.2003.SAV");
  Fault(0, CommandKind::kProgram, 3, FaultAction::kFail);
  EXPECT_EQ(Form().Button2Click(), ActionResult::Failed);  // the question unanswered: No
  EXPECT_EQ(rig_.messages.Texts(),
            (std::vector<std::string>{"Fehler beim Schreiben des 3. Blockes", question}));
  EXPECT_EQ(rig_.messages.Shown()[1].buttons, Buttons::YesNoDefaultNo);
  EXPECT_EQ(rig_.messages.Shown()[1].kind, MessageKind::Question);
  EXPECT_EQ(rig_.splash.Current().progress, 75);
  ExpectIdle();
  const auto damaged = Card(0).Flash().AllBytes();
  ASSERT_NE(damaged, before);

  // With the card's window refused the card is not listed: the start names the
  // backup with its earlier state and writes nothing.
  rig_.Pc().System().Faults().refuseMapOf = rig_.Pc().Place(0).window;
  rig_.messages.Clear();
  rig_.Start();
  EXPECT_EQ(View().Items(), std::vector<std::string>{"RT/Count16"});
  EXPECT_EQ(rig_.messages.Texts(),
            std::vector<std::string>{std::string(
                "Eine Änderung an der Karte mit der Seriennummer NHS-0202-0117 (Vorgang "
                "\"upgrade\") wurde begonnen, aber nicht abgeschlossen.\r\n"
                "Die Karte ist nicht unter den gefundenen Karten. Die Sicherung "
                "C:\\FLASH_0_05.03.2003.SAV enthält ihren Stand vor der Änderung.\r\n"
                "Ohne Ihre Anweisung wird nichts zurückgeschrieben."_cp)});
  EXPECT_EQ(Card(0).Flash().AllBytes(), damaged);
  rig_.Pc().System().Faults().refuseMapOf = 0;

  // No writes nothing and records nothing: the next start asks again. Yes brings
  // the card back byte for byte, without asking whose backup it is.
  for (const Answer answer : {Answer::No, Answer::Yes}) {
    rig_.messages.Clear();
    rig_.messages.Script(answer);
    rig_.Start();
    ASSERT_FALSE(rig_.messages.Shown().empty());
    EXPECT_EQ(rig_.messages.Shown()[0].text, question);
    EXPECT_EQ(rig_.messages.Shown()[0].kind, MessageKind::Question);
    EXPECT_EQ(rig_.messages.Shown()[0].buttons, Buttons::YesNoDefaultNo);
  }
  EXPECT_EQ(rig_.messages.Texts(),
            (std::vector<std::string>{question,
                                      "Die Karte wurde aus der Sicherung "
                                      "C:\\FLASH_0_05.03.2003.SAV wiederhergestellt."}));
  EXPECT_TRUE(RecordSectorIs(0, before));
  EXPECT_EQ(View().Text(Control::Edit3), "1.2");
  ExpectIdle();
  rig_.messages.Clear();
  rig_.Start();
  EXPECT_TRUE(rig_.messages.Texts().empty());
}

// A half-written card is never converted: both conversions are refused before
// any backup, and the window offers the restore at once. Without its backup the
// user learns which file is missing and what to do.
TEST_F(UpdateActions, CardWithAnUnfinishedWriteIsNotConverted) {
  const auto before = Card(0).Flash().AllBytes();
  Fault(0, CommandKind::kProgram, 3, FaultAction::kFail);
  ASSERT_EQ(Form().Button2Click(), ActionResult::Failed);  // the restore question: No
  Card(0).Faults() = {};
  const auto damaged = Card(0).Flash().AllBytes();
  const std::string open =
      "Die letzte Aktualisierung der Karte 0 (Seriennummer NHS-0202-0117) wurde nicht "
      "abgeschlossen.";
  const std::string refused =
      open + std::string(
                 " Die Karte wird erst wieder aktualisiert, wenn sie aus der Sicherung "
                 "C:\\FLASH_0_05.03.2003.SAV wiederhergestellt ist.\r\nDie Karte wurde nicht "
                 "verändert."_cp);
  const std::string missing =
      open +
      std::string(
          " Ihre Sicherung C:\\FLASH_0_05.03.2003.SAV fehlt. Der Datensatz der Karte kann halb "
          "geschrieben sein, auch wenn ihre Flashversion 1.2 oder 1.3 zeigt; sie wird darum nicht "
          "aktualisiert.\r\nLegen Sie eine unveränderte Kopie der Sicherung wieder als "
          "C:\\FLASH_0_05.03.2003.SAV ab, dann kann die Karte daraus wiederhergestellt werden. "
          "Oder schreiben Sie die Karte aus einer anderen Sicherung von ihr zurück:\r\n  "_cp) +
      std::string(kConsoleProgram) +
      " restore 0 DATEI\r\nIst keine Sicherung der Karte mehr da, gibt\r\n  " +
      std::string(kConsoleProgram) +
      std::string(
          " abandon 0\r\nden Wiederherstellungspunkt auf; erst danach kann die Karte wieder "
          "aktualisiert werden.\r\nDie Karte wurde nicht verändert."_cp);
  const std::string question = RestoreQuestion(0, "NHS-0202-0117", "C:\\FLASH_0_05.03.2003.SAV");
  const auto saved = Saved();
  const auto backup = rig_.Pc().Drive().Contents("C:\\FLASH_0_05.03.2003.SAV");
  const struct {
    const char* name;
    ActionResult (TForm1::*click)();
    bool backup_present;
    std::vector<std::string> texts;
  } kRefusals[] = {
      {"downgrade", &TForm1::Button3Click, true, {refused, question}},
      {"upgrade", &TForm1::Button2Click, true, {refused, question}},
      {"downgrade without backup", &TForm1::Button3Click, false, {missing}},
  };
  for (const auto& refusal : kRefusals) {
    SCOPED_TRACE(refusal.name);
    if (!refusal.backup_present) {
      rig_.Pc().Drive().Remove("C:\\FLASH_0_05.03.2003.SAV");
    }
    rig_.messages.Clear();
    Card(0).ResetDiagnostics();
    EXPECT_EQ((Form().*refusal.click)(), ActionResult::Refused);
    EXPECT_EQ(rig_.messages.Texts(), refusal.texts);  // the question unanswered: No
    if (refusal.texts.size() == 2) {
      EXPECT_EQ(rig_.messages.Shown()[1].kind, MessageKind::Question);
      EXPECT_EQ(rig_.messages.Shown()[1].buttons, Buttons::YesNoDefaultNo);
    }
    const auto& commands = Card(0).Diagnostics().commands;
    EXPECT_TRUE(std::none_of(commands.begin(), commands.end(), [](const auto& command) {
      return command.kind == CommandKind::kErase || command.kind == CommandKind::kProgram;
    }));
    EXPECT_TRUE(RecordSectorIs(0, damaged));
    ExpectIdle();
  }
  EXPECT_EQ(Saved().size(), saved.size() - 1);
  // The backup back under its name: Yes to the offer restores the card at once.
  rig_.Pc().Drive().Install("C:\\FLASH_0_05.03.2003.SAV", backup);
  rig_.messages.Clear();
  rig_.messages.Script(Answer::Yes);
  EXPECT_EQ(Form().Button3Click(), ActionResult::Refused);
  EXPECT_EQ(rig_.messages.Texts().back(),
            "Die Karte wurde aus der Sicherung C:\\FLASH_0_05.03.2003.SAV wiederhergestellt.");
  EXPECT_TRUE(RecordSectorIs(0, before));
  EXPECT_EQ(View().Text(Control::Edit3), "1.2");
  EXPECT_EQ(Form().Button2Click(), ActionResult::Done);
  ExpectIdle();
}

TEST_F(UpdateActions, UnwritableDriveEndsTheActionBeforeTheErase) {
  const auto before = Card(0).Flash().AllBytes();
  rig_.Pc().SetDriveReadOnly(true);
  EXPECT_EQ(Form().Button2Click(), ActionResult::Raised);
  EXPECT_EQ(rig_.messages.Texts(), (std::vector<std::string>{"Dateizugriff verweigert"}));
  EXPECT_EQ(rig_.messages.Shown()[0].kind, MessageKind::Error);
  EXPECT_TRUE(RecordSectorIs(0, before));
  ExpectIdle();
  EXPECT_FALSE(rig_.system->cards.DriverOpen());
  // The program goes on: with the drive writable again the upgrade works.
  rig_.Pc().SetDriveReadOnly(false);
  EXPECT_EQ(Form().Button2Click(), ActionResult::Done);
}

TEST_F(UpdateActions, ConversionErrorEndsTheUpgradeBeforeAnythingIsWritten) {
  // A damaged record's NUL byte is shown, and the text after it is kept.
  for (const auto& [code, shown] :
       std::vector<std::pair<std::string, std::string>>{{"D0-10", "'$D0-10'"},
                                                        {std::string("D0\0"
                                                                     "10",
                                                                     5),
                                                         "'$D0\\x0010'"}}) {
    RecordV12 record = CardRecordV12(0);
    record.Set(v12::FlashCode, code);
    WriteRecord(0, record);
    const auto before = Card(0).Flash().AllBytes();
    rig_.messages.Clear();
    EXPECT_EQ(Form().Button2Click(), ActionResult::Raised);
    EXPECT_EQ(rig_.messages.Texts(),
              (std::vector<std::string>{shown + std::string(" ist kein gültiger Integerwert"_cp)}));
    EXPECT_TRUE(RecordSectorIs(0, before));
    EXPECT_TRUE(Saved().empty());
    ExpectIdle();
  }
}

TEST_F(UpdateActions, RecordThatCannotBeReadIsNeverConverted) {
  // The action's first flash command, the record read, stops: before the
  // revision stamp, and for the upgrade also after it with the serial number
  // and the options still missing.
  const struct {
    int card;
    ActionResult (TForm1::*click)();
    std::uint32_t stop;
  } kReads[] = {{0, &TForm1::Button2Click, 40},
                {0, &TForm1::Button2Click, 800},
                {1, &TForm1::Button3Click, 40}};
  for (const auto& read : kReads) {
    SCOPED_TRACE("card " + std::to_string(read.card) + ", stop " + std::to_string(read.stop));
    sim::SimCard& card = Card(static_cast<std::size_t>(read.card));
    Select(read.card);
    const auto before = card.Flash().AllBytes();
    rig_.messages.Clear();
    card.ResetDiagnostics();
    Fault(static_cast<std::size_t>(read.card), CommandKind::kRead, 1, FaultAction::kStop,
          read.stop);
    EXPECT_EQ((Form().*read.click)(), ActionResult::Failed);
    EXPECT_EQ(rig_.messages.Texts(), (std::vector<std::string>{std::string(
                                         "Der Datensatz der Karte konnte nicht gelesen werden.\r\n"
                                         "Die Karte wurde nicht verändert."_cp)}));
    const auto& commands = card.Diagnostics().commands;
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands[0].kind, CommandKind::kRead);
    EXPECT_EQ(commands[0].address, 0xD01000u);
    EXPECT_TRUE(commands[0].faulted);
    EXPECT_TRUE(std::none_of(commands.begin(), commands.end(), [](const auto& command) {
      return command.kind == CommandKind::kErase || command.kind == CommandKind::kProgram;
    }));
    EXPECT_TRUE(RecordSectorIs(static_cast<std::size_t>(read.card), before));
    EXPECT_TRUE(Saved().empty());
    card.Faults() = {};
    ExpectIdle();
  }
}

TEST_F(UpdateActions, CardHeldByAnotherProgramIsNotTouched) {
  const auto before0 = Card(0).Flash().AllBytes();
  const auto before1 = Card(1).Flash().AllBytes();
  const std::vector<std::pair<int, ActionResult (TForm1::*)()>> actions = {
      {0, &TForm1::Button2Click}, {1, &TForm1::Button3Click}, {0, &TForm1::Button4Click}};
  for (const auto& [card, click] : actions) {
    Select(card);
    rig_.Pc().SetBusyHeldByOther(static_cast<std::size_t>(card), true);
    rig_.messages.Clear();
    EXPECT_EQ((Form().*click)(), ActionResult::Failed) << card;
    EXPECT_EQ(
        rig_.messages.Texts(),
        (std::vector<std::string>{std::string("Die Karte wird von einem anderen Programm benutzt. "
                                              "Die Karte wurde nicht verändert."_cp)}));
    rig_.Pc().SetBusyHeldByOther(static_cast<std::size_t>(card), false);
    ExpectIdle();
  }
  EXPECT_TRUE(RecordSectorIs(0, before0));
  EXPECT_TRUE(RecordSectorIs(1, before1));
  EXPECT_TRUE(Saved().empty());
}

TEST_F(UpdateActions, DumpSavesTheAreaAndSaysSo) {
  EXPECT_EQ(Form().Button4Click(), ActionResult::Done);
  EXPECT_EQ(rig_.messages.Texts(),
            (std::vector<std::string>{"Dump erfolgreich erzeugt\r\n\r\n"
                                      "Bitte sichern Sie die aktuelle .SAV-Datei von C:\\"}));
  EXPECT_EQ(rig_.messages.Shown()[0].kind, MessageKind::Plain);
  rig_.Pc().Drive().LosePower();  // what the message promises is on the disk
  const auto bytes = rig_.Pc().Drive().Contents("C:\\FLASH_0_05.03.2003.SAV");
  ASSERT_EQ(bytes.size(), 262152u);
  const auto backup = ParseBackupFile(bytes);
  ASSERT_TRUE(backup.Restorable());
  EXPECT_TRUE(
      std::equal(backup.flash.begin(), backup.flash.end(), Card(0).Flash().AllBytes().begin()));
  ExpectIdle();
}

// An end request (a signal, Ctrl+C) that arrives during a write waits for the
// write and then ends the program with one message; one that arrives during a
// read, a dump or a question before the write is carried out at once, as before.
TEST_F(UpdateActions, EndRequestIsHeldOnlyDuringAWrite) {
  const std::string ended(
      "Das Programm sollte beendet werden, während eine Karte beschrieben wurde.\r\n"
      "Es hat den Schreibvorgang zuerst zu Ende geführt und wird jetzt beendet."_cp);
  const struct {
    const char* name;
    std::size_t card;
    std::optional<CommandKind> arrives_at;  // none: at the question
    std::function<ActionResult(TForm1&)> event;
    bool held;
    ActionResult result = ActionResult::Done;
  } kRows[] = {
      {"refresh", 0, CommandKind::kRead, [](TForm1& f) { return f.ComboBox1Change(); }, false},
      {"dump", 0, CommandKind::kRead, [](TForm1& f) { return f.Button4Click(); }, false},
      {"restore", 0, CommandKind::kProgram,
       [](TForm1& f) { return f.RestoreClick("C:\\FLASH_0_05.03.2003.SAV"); }, true},
      {"another card's backup, No", 1, std::nullopt,
       [](TForm1& f) { return f.RestoreClick("C:\\FLASH_0_05.03.2003.SAV"); }, false,
       ActionResult::Declined},
      {"downgrade", 1, CommandKind::kErase, [](TForm1& f) { return f.Button3Click(); }, true},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    rig_.Start();
    rig_.messages.Clear();
    HeldEndRequests requests;
    Form().SetEndRequests(requests);
    Select(static_cast<int>(row.card));
    const auto flash = Card(row.card).Flash().AllBytes();
    const auto files = rig_.Pc().Drive().List();
    bool arrived = false;
    const auto arrive = [&] {
      if (!arrived) {
        arrived = true;
        requests.Request();
      }
    };
    Card(row.card).SetCommandBegunHandler([&](const sim::CommandRecord& command) {
      if (command.kind == row.arrives_at) {
        arrive();
      }
    });
    rig_.messages.OnQuestion([&](std::string_view) {
      if (!row.arrives_at) {
        arrive();
      }
    });
    EXPECT_EQ(row.event(Form()), row.result);
    Card(row.card).SetCommandBegunHandler({});
    rig_.messages.OnQuestion({});
    ASSERT_TRUE(arrived);
    if (row.result == ActionResult::Declined) {  // nothing written: no backup, no erase
      EXPECT_EQ(Card(row.card).Flash().AllBytes(), flash);
      EXPECT_EQ(rig_.Pc().Drive().List(), files);
    }
    EXPECT_EQ(requests.EndedAtOnce(), row.held ? 0 : 1);
    EXPECT_FALSE(requests.Held());
    const auto texts = rig_.messages.Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), ended), row.held ? 1 : 0);
    if (row.held) {
      EXPECT_EQ(texts.back(), ended);
      EXPECT_EQ(rig_.messages.Shown().back().kind, MessageKind::Information);
    }
    EXPECT_EQ(View().QuitRequested(), row.held);
    ExpectIdle();
  }
  EXPECT_TRUE(rig_.system->journal.Unfinished().empty());  // every held write was finished
}

// The power fails at each change of drive C: while the upgrade backs the card up
// and notes the backup in the journal, and then just after the erase. At the next
// start the card is as it was, or the start-up offers the backup and Yes brings
// it back.
TEST_F(UpdateActions, PowerCutBeforeOrAtTheEraseLosesNoCard) {
  const auto before = Card(0).Flash().AllBytes();
  const std::uint32_t start = rig_.Pc().Drive().Changes();
  std::optional<std::uint32_t> preparation;
  Card(0).SetStateChangedHandler([&] {
    if (!preparation && Card(0).Flash().AllBytes() != before) {
      preparation = rig_.Pc().Drive().Changes() - start;
    }
  });
  ASSERT_EQ(Form().Button2Click(), ActionResult::Done);
  ASSERT_TRUE(preparation.has_value());
  for (std::uint32_t cut = 1; cut <= *preparation + 1; ++cut) {
    test::AppRig rig;
    rig.Start();
    sim::SimCard& card = rig.Pc().Card(0);
    if (cut <= *preparation) {
      rig.Pc().Drive().CutPowerAt(cut);
    } else {
      card.SetStateChangedHandler([&] {
        if (card.Flash().AllBytes() != before) {
          throw sim::PowerCut{};
        }
      });
    }
    EXPECT_THROW(rig.form->Button2Click(), sim::PowerCut) << cut;
    rig.messages.Script(Answer::Yes);
    rig.LosePowerAndStart();
    EXPECT_TRUE(rig.Pc().Card(0).Flash().AllBytes() == before) << cut;
  }
}

TEST_F(UpdateActions, FailedDumpShowsOnlyItsOwnMessage) {
  Fault(0, CommandKind::kRead, 1, FaultAction::kStop, 100);
  EXPECT_EQ(Form().Button4Click(), ActionResult::Failed);
  EXPECT_EQ(rig_.messages.Texts(),
            (std::vector<std::string>{
                std::string("Fehler beim Lesen des Flash: die Sicherung ist unvollständig. "
                            "Das Flash wurde nicht verändert."_cp)}));
  EXPECT_TRUE(Saved().empty());
  ExpectIdle();
}

TEST_F(UpdateActions, FailedDowngradeWriteIsShownOnceAndYesRestoresAtOnce) {
  Select(1);
  const auto before = Card(1).Flash().AllBytes();
  Fault(1, CommandKind::kProgram, 1, FaultAction::kFail);  // after the erase
  rig_.messages.Script(Answer::Yes);
  EXPECT_EQ(Form().Button3Click(), ActionResult::Failed);
  EXPECT_EQ(
      rig_.messages.Texts(),
      (std::vector<std::string>{
          "Fehler beim Schreiben des Flash",
          RestoreQuestion(1, "RTC-0302-0031", "C:\\FLASH_1_05.03.2003.SAV"),
          "Die Karte wurde aus der Sicherung C:\\FLASH_1_05.03.2003.SAV wiederhergestellt."}));
  EXPECT_TRUE(RecordSectorIs(1, before));
  EXPECT_EQ(View().Text(Control::Edit3), "1.3");
  ExpectIdle();
}

}  // namespace
}  // namespace fu
