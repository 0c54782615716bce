#include <gtest/gtest.h>

#include <algorithm>

#include "base/cp1252.h"
#include "flash/backup_format.h"
#include "flash/flash_restore.h"
#include "flash/record_read.h"
#include "platform/recording_flash_splash.h"
#include "record/image_codec.h"
#include "record/revision.h"
#include "support/sample_records.h"
#include "support/sim_card_rig.h"

namespace fu {
namespace {

constexpr std::size_t kRecordOffset = 0x1000;

class RestoreAndJournal : public ::testing::Test {
 protected:
  RestoreAndJournal() {
    auto& flash = rig_.card.Flash().AllBytes();
    std::fill(flash.begin(), flash.end(), 0xFF);
    ImageV13 image;
    EncodeImage(test::SampleRecordV13(), image);
    std::copy(image.bytes.begin(), image.bytes.end(), flash.begin() + kRecordOffset);
    // The card's own bytes after its record, in the record sector.
    std::fill_n(flash.begin() + 0x2E00, 16, 0x5A);
    good_ = flash;
    rig_.Open();
    EXPECT_TRUE(rig_.Boot());
  }
  std::string Backup() { return backup_.BackupFlash(0).fileName; }
  // Another record of the same card.
  static RecordV12 SameCardV12() {
    RecordV12 record = test::SampleRecordV12();
    record.Set(v12::SerialNumber, test::SampleRecordV13().SerialNumber.view());
    return record;
  }
  bool AnyQuestion() {
    const auto& shown = rig_.messages.Shown();
    return std::any_of(shown.begin(), shown.end(),
                       [](const ShownMessage& m) { return IsQuestion(m.buttons); });
  }
  void Install(std::string_view path, const std::vector<std::uint8_t>& bytes) {
    rig_.drive.Install(path, bytes);
  }

  test::SimCardRig rig_;
  sim::SimFlash::Bytes good_{};
  RecordingFlashSplash splash_;
  UpdateJournal journal_{rig_.drive};
  FlashBackup backup_{rig_.flash, rig_.drive, rig_.clock, rig_.messages};
  RecordWriter writer_{rig_.flash, backup_, rig_.messages, splash_, &journal_};
  RecordReader reader_{rig_.flash};
  FlashRestore restore_{rig_.drive, rig_.flash, reader_, &journal_, writer_, rig_.messages};
};

TEST_F(RestoreAndJournal, RestoreBringsBackEveryByteAndKeepsTheFile) {
  const std::string file = Backup();
  const auto saved = rig_.drive.Contents(file);
  ASSERT_EQ(writer_.WriteRecordV12(0, SameCardV12()), 0);  // the card changes
  rig_.messages.Clear();
  rig_.card.ResetDiagnostics();
  EXPECT_EQ(restore_.RestoreFromBackup(0, 0, file), RestoreOutcome::Restored);
  EXPECT_EQ(rig_.ErasedAt(), std::vector<std::uint32_t>{0xD01000});
  // The whole sector went back, in blocks no larger than the upgrade's.
  const auto& commands = rig_.card.Diagnostics().commands;
  std::size_t programmed = 0;
  for (auto c = commands.end() - 6; c != commands.end(); ++c) {
    if (c->kind == sim::CommandKind::kProgram) {
      EXPECT_LE(c->count, record_write::kBlockWords);
      programmed += c->count;
    }
  }
  EXPECT_EQ(programmed, 0x2000u);
  EXPECT_EQ(rig_.card.Flash().AllBytes(), good_);
  EXPECT_EQ(rig_.drive.Contents(file), saved);  // the restored file stays as it was
  EXPECT_EQ(writer_.LastBackupFile(), "C:\\FLASH_0_05.03.2003.2.SAV");  // a fresh backup first
  EXPECT_EQ(rig_.messages.Texts(), (std::vector<std::string>{"Die Karte wurde aus der Sicherung " +
                                                             file + " wiederhergestellt."}));
  EXPECT_EQ(journal_.History().back().operation, "restore");
  EXPECT_TRUE(journal_.History().back().done);
}

TEST_F(RestoreAndJournal, AnotherCardsBackupIsWrittenOnlyOnTheUsersWord) {
  ASSERT_EQ(writer_.WriteRecordV12(0, test::SampleRecordV12()), 0);  // serial NHS-0310-0042
  const auto v12_state = rig_.card.Flash().AllBytes();
  const std::string file = Backup();
  ASSERT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), 0u);  // serial RTC-0311-0007
  const auto v13_state = rig_.card.Flash().AllBytes();
  const auto last_backup = writer_.LastBackupFile();
  rig_.messages.Clear();
  // Unanswered, the question says No: nothing is backed up, erased or written.
  EXPECT_EQ(restore_.RestoreFromBackup(0, 0, file), RestoreOutcome::Declined);
  ASSERT_EQ(rig_.messages.Shown().size(), 1u);
  EXPECT_EQ(rig_.messages.Shown()[0].buttons, Buttons::YesNoDefaultNo);
  EXPECT_NE(rig_.messages.Texts()[0].find("NHS-0310-0042"), std::string::npos);
  EXPECT_NE(rig_.messages.Texts()[0].find("RTC-0311-0007"), std::string::npos);
  EXPECT_EQ(rig_.card.Flash().AllBytes(), v13_state);
  EXPECT_EQ(writer_.LastBackupFile(), last_backup);

  rig_.messages.Script(Answer::Yes);
  EXPECT_EQ(restore_.RestoreFromBackup(0, 0, file), RestoreOutcome::Restored);
  EXPECT_EQ(rig_.card.Flash().AllBytes(), v12_state);

  // A card left unreadable by a broken write takes back the backup taken before
  // that write without a question: the journal ties the two together.
  rig_.card.Faults().commands.push_back({sim::CommandKind::kProgram, 1, sim::FaultAction::kFail});
  ASSERT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), ERROR_WORD);
  const std::string before_write = writer_.LastBackupFile();
  rig_.messages.Clear();
  EXPECT_EQ(restore_.RestoreFromBackup(0, 0, before_write), RestoreOutcome::Restored);
  EXPECT_FALSE(AnyQuestion());
  EXPECT_EQ(rig_.card.Flash().AllBytes(), v12_state);
}

TEST_F(RestoreAndJournal, DifferenceOutsideTheRecordSectorIsNamedAndNoSuccess) {
  const std::string file = Backup();
  rig_.card.Flash().AllBytes()[0x0010] ^= 0x01;  // 0xD00010, never written by this tool
  rig_.messages.Clear();
  EXPECT_EQ(restore_.RestoreFromBackup(0, 0, file), RestoreOutcome::Failed);
  ASSERT_EQ(rig_.messages.Shown().size(), 1u);
  EXPECT_EQ(rig_.messages.Shown()[0].kind, MessageKind::Error);
  EXPECT_NE(rig_.messages.Texts()[0].find("zuerst bei Adresse 0xD00010."), std::string::npos)
      << rig_.messages.Texts()[0];
  EXPECT_EQ(rig_.messages.Texts()[0].find("wiederhergestellt"), std::string::npos);
}

TEST_F(RestoreAndJournal, DoubtfulFilesAreRefusedAndTheCardIsNotTouched) {
  const std::string file = Backup();
  auto bytes = rig_.drive.Contents(file);
  const auto check = [&](std::string_view path, std::string_view why) {
    rig_.messages.Clear();
    const auto reads = rig_.card.Diagnostics().commands.size();
    EXPECT_EQ(restore_.RestoreFromBackup(0, 0, path), RestoreOutcome::Refused) << why;
    ASSERT_EQ(rig_.messages.Shown().size(), 1u) << why;
    EXPECT_NE(rig_.messages.Shown()[0].text.find(why), std::string::npos)
        << rig_.messages.Shown()[0].text;
    EXPECT_NE(rig_.messages.Shown()[0].text.find("Die Karte wurde nicht verändert."_cp),
              std::string::npos);
    EXPECT_EQ(rig_.card.Diagnostics().commands.size(), reads);  // no command at all
  };
  check("C:\\FEHLT.SAV", "Datei nicht gefunden");
  Install("C:\\KURZ.SAV", std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 4));
  check("C:\\KURZ.SAV", "262152");
  auto broken = bytes;
  broken[100] ^= 1;  // one entry: the check words no longer match
  Install("C:\\KAPUTT.SAV", broken);
  check("C:\\KAPUTT.SAV", "falsch");
  auto wide = bytes;
  wide[4 * 10 + 1] = 1;  // an entry that is not a byte
  Install("C:\\BREIT.SAV", wide);
  check("C:\\BREIT.SAV", "Eintrag 10");
  std::vector<HostWord> blank(kBackupWords, 0xFF);  // no record in the area
  Install("C:\\LEER.SAV", EncodeBlockWithChecks(blank));
  check("C:\\LEER.SAV", "keinen Datensatz");
  EXPECT_EQ(rig_.card.Flash().AllBytes(), good_);
}

TEST_F(RestoreAndJournal, BackupAndJournalEntryAreOnDiskBeforeTheFirstErase) {
  std::vector<std::string> at_erase;
  rig_.card.SetStateChangedHandler([&] {
    if (at_erase.empty()) {
      at_erase = rig_.drive.Log();
    }
  });
  ASSERT_EQ(writer_.WriteRecordV12(0, test::SampleRecordV12()), 0);
  const std::string jnl(UpdateJournal::kFileName);
  EXPECT_EQ(at_erase, (std::vector<std::string>{
                          "create C:\\FLASH_0_05.03.2003.TMP", "flush C:\\FLASH_0_05.03.2003.TMP",
                          "rename C:\\FLASH_0_05.03.2003.TMP > C:\\FLASH_0_05.03.2003.SAV",
                          "append " + jnl, "flush " + jnl}));
  EXPECT_EQ(rig_.drive.Log().back(), "flush " + jnl);  // and the entry noting it done
}

TEST_F(RestoreAndJournal, FailedTriesKeepTheFirstRestorePointUntilAWriteIsDone) {
  const std::string serial = "RTC-0311-0007";
  // The first try changes the card; the second writes the same first block again
  // and fails at the same place, so it leaves the damaged card as it found it.
  for (const WriteState state : {WriteState::Changed, WriteState::Unchanged}) {
    rig_.card.Faults().commands.push_back({sim::CommandKind::kProgram, 2, sim::FaultAction::kFail});
    EXPECT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), ERROR_WORD);
    EXPECT_EQ(writer_.LastWriteState(), state);
  }
  EXPECT_EQ(writer_.LastBackupFile(), "C:\\FLASH_0_05.03.2003.1.SAV");  // of the damaged card
  EXPECT_TRUE(journal_.History().back().unchanged);
  const JournalEntry first{0, serial, "C:\\FLASH_0_05.03.2003.SAV", "upgrade", false};
  EXPECT_EQ(journal_.RestorePoint(serial), first);
  // The card turns up in another slot: still the same card and restore point.
  journal_.Begin({2, serial, "C:\\FLASH_2_05.03.2003.SAV", "restore", false});
  JournalEntry moved = first;
  moved.slot = 2;
  EXPECT_EQ(journal_.Unfinished(), (std::vector<JournalEntry>{moved}));
  EXPECT_EQ(journal_.History().size(), 4u);
  ASSERT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), 0u);
  EXPECT_FALSE(journal_.RestorePoint(serial).has_value());
  EXPECT_TRUE(journal_.Unfinished().empty());
}

TEST_F(RestoreAndJournal, RestorePointWhoseBackupCannotRestoreIsPassedOver) {
  // A restore whose closing line a power cut took, over a damaged record, then
  // an upgrade of the restored card that failed after its erase.
  const std::string serial = "RTC-0311-0007";
  auto& flash = rig_.card.Flash().AllBytes();
  std::fill_n(flash.begin() + kRecordOffset, 100, 0x00);
  const std::string damaged = Backup();
  flash = good_;
  const std::string whole = Backup();
  journal_.Begin({0, serial, damaged, "restore", false});
  journal_.Begin({0, serial, whole, "upgrade", false});
  EXPECT_EQ(journal_.RestorePoint(serial)->backupFile, damaged);  // no check of the files
  UpdateJournal checked(
      rig_.drive, [this](std::string_view path) { return RestorableBackup(rig_.drive, path); });
  EXPECT_EQ(checked.RestorePoint(serial)->backupFile, whole);
  EXPECT_EQ(checked.Unfinished().at(0).backupFile, whole);
}

TEST_F(RestoreAndJournal, UnwritableJournalStopsTheWriteBeforeTheErase) {
  journal_.Begin({0, "RTC-0311-0007", "C:\\FRUEHER.SAV", "upgrade", false});
  const auto before = rig_.drive.Contents(UpdateJournal::kFileName);
  rig_.drive.SetFreeSpace(262152 + 10);  // room for the backup, not for the journal
  EXPECT_EQ(writer_.WriteRecordV12(0, test::SampleRecordV12()), 1);
  EXPECT_EQ(rig_.card.Flash().AllBytes(), good_);
  EXPECT_EQ(rig_.drive.Contents(UpdateJournal::kFileName), before);
  ASSERT_EQ(rig_.messages.Shown().size(), 1u);
  EXPECT_NE(rig_.messages.Shown()[0].text.find("C:\\FLASH.JNL kann nicht geschrieben werden"),
            std::string::npos);
  EXPECT_FALSE(std::any_of(rig_.card.Diagnostics().commands.begin(),
                           rig_.card.Diagnostics().commands.end(),
                           [](const auto& c) { return c.kind == sim::CommandKind::kErase; }));
}

TEST_F(RestoreAndJournal, DamagedJournalIsReportedAndItsGoodEntriesKept) {
  const auto bytes = [](const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
  };
  // The previous version's note of slot 1, and one that is no journal.
  Install(UpdateJournal::LegacyFileName(1),
          bytes("FlashUpdate-Journal 1\r\nSteckplatz=1\r\nSeriennummer=ALT-1\r\n"
                "Sicherung=C:\\FLASH_1_01.01.2003.SAV\r\nVorgang=downgrade\r\nStand=begonnen\r\n"));
  Install(UpdateJournal::LegacyFileName(3), bytes("irgendwas\r\nStand=begonnen\r\n"));
  const JournalEntry a{0, "A-1", "C:\\A.SAV", "upgrade", false};
  const JournalEntry b{2, "B-2", "C:\\B.SAV", "upgrade", false};
  std::string damaged = EncodeJournalLine({0, "X-9", "C:\\X.SAV", "upgrade", false});
  damaged[3] = 'X';
  const std::string torn = EncodeJournalLine({0, "A-1", "C:\\A.1.SAV", "upgrade", true});
  Install(UpdateJournal::kFileName, bytes("FlashUpdate-Journal 2\r\n" + EncodeJournalLine(a) +
                                          damaged + EncodeJournalLine(b) + torn.substr(0, 20)));
  const JournalEntry legacy{1, "ALT-1", "C:\\FLASH_1_01.01.2003.SAV", "downgrade", false};
  EXPECT_EQ(journal_.History(), (std::vector<JournalEntry>{legacy, a, b}));
  const auto damage = journal_.Damage();
  ASSERT_EQ(damage.size(), 2u);
  EXPECT_NE(damage[0].find("C:\\FLASH_3.JNL ist unlesbar"), std::string::npos);
  EXPECT_NE(damage[1].find("C:\\FLASH.JNL ist besch"), std::string::npos);
  EXPECT_NE(damage[1].find("Zeile 3 ist unlesbar"), std::string::npos);

  // New entries go after the torn line, which is then passed over quietly.
  journal_.Done(a);
  EXPECT_EQ(journal_.Unfinished(), (std::vector<JournalEntry>{legacy, b}));
  EXPECT_EQ(journal_.Damage(), damage);

  // A file that is no journal is reported and appended to.
  Install(UpdateJournal::kFileName, bytes("kein Protokoll\r\n"));
  journal_.Begin(b);
  EXPECT_EQ(journal_.History().back(), b);
  ASSERT_EQ(journal_.Damage().size(), 2u);
  EXPECT_NE(journal_.Damage()[1].find("kein Änderungsprotokoll"_cp), std::string::npos);
}

}  // namespace
}  // namespace fu
