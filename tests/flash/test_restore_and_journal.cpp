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
    good_ = flash;
    rig_.Open();
    EXPECT_TRUE(rig_.Boot());
  }
  std::string Backup() { return backup_.BackupFlash(0).fileName; }
  void Install(std::string_view path, const std::vector<std::uint8_t>& bytes) {
    rig_.drive.Install(path, bytes);
  }

  test::SimCardRig rig_;
  sim::SimFlash::Bytes good_{};
  RecordingFlashSplash splash_;
  UpdateJournal journal_{rig_.drive};
  FlashBackup backup_{rig_.flash, rig_.drive, rig_.clock, rig_.messages};
  RecordWriter writer_{rig_.flash, backup_, rig_.messages, splash_, &journal_};
  FlashRestore restore_{rig_.drive, writer_, rig_.messages};
};

TEST_F(RestoreAndJournal, RestoreBringsBackEveryByteAndKeepsTheFile) {
  const std::string file = Backup();
  const auto saved = rig_.drive.Contents(file);
  ASSERT_EQ(writer_.WriteRecordV12(0, test::SampleRecordV12()), 0);  // the card changes
  rig_.messages.Clear();
  EXPECT_EQ(restore_.RestoreFromBackup(0, file), RestoreOutcome::Restored);
  EXPECT_EQ(rig_.card.Flash().AllBytes(), good_);
  EXPECT_EQ(rig_.drive.Contents(file), saved);  // the restored file stays as it was
  EXPECT_EQ(writer_.LastBackupFile(), "C:\\FLASH_0_05.03.2003.2.SAV");  // a fresh backup first
  EXPECT_EQ(rig_.messages.Texts(), (std::vector<std::string>{"Die Karte wurde aus der Sicherung " +
                                                             file + " wiederhergestellt."}));
  EXPECT_EQ(journal_.Read(0)->operation, "restore");
  EXPECT_TRUE(journal_.Read(0)->done);
}

TEST_F(RestoreAndJournal, Revision12BackupIsWrittenWithItsOwnErase) {
  ASSERT_EQ(writer_.WriteRecordV12(0, test::SampleRecordV12()), 0);
  const auto v12_state = rig_.card.Flash().AllBytes();
  const std::string file = Backup();
  ASSERT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), 0u);
  ASSERT_EQ(restore_.RestoreFromBackup(0, file), RestoreOutcome::Restored);
  EXPECT_EQ(rig_.card.Flash().AllBytes(), v12_state);
  const auto& commands = rig_.card.Diagnostics().commands;
  EXPECT_EQ(commands.back().kind, sim::CommandKind::kRead);  // verified
  EXPECT_TRUE(std::any_of(commands.begin(), commands.end(), [](const auto& c) {
    return c.kind == sim::CommandKind::kProgram && c.count == 6945;
  }));
}

TEST_F(RestoreAndJournal, DoubtfulFilesAreRefusedAndTheCardIsNotTouched) {
  const std::string file = Backup();
  auto bytes = rig_.drive.Contents(file);
  const auto check = [&](std::string_view path, std::string_view why) {
    rig_.messages.Clear();
    const auto reads = rig_.card.Diagnostics().commands.size();
    EXPECT_EQ(restore_.RestoreFromBackup(0, path), RestoreOutcome::Refused) << why;
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

TEST_F(RestoreAndJournal, JournalIsBegunBeforeTheEraseAndDoneAfterTheVerify) {
  rig_.card.Faults().commands.push_back({sim::CommandKind::kProgram, 2, sim::FaultAction::kFail});
  EXPECT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), ERROR_WORD);
  const auto entry = journal_.Read(0);
  ASSERT_TRUE(entry.has_value());
  EXPECT_FALSE(entry->done);
  EXPECT_EQ(entry->serialNumber, "RTC-0311-0007");
  EXPECT_EQ(entry->backupFile, "C:\\FLASH_0_05.03.2003.SAV");
  EXPECT_EQ(entry->operation, "upgrade");
  EXPECT_EQ(journal_.Unfinished(), (std::vector<JournalEntry>{*entry}));
  ASSERT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), 0u);
  EXPECT_TRUE(journal_.Read(0)->done);
  EXPECT_TRUE(journal_.Unfinished().empty());
}

TEST_F(RestoreAndJournal, UnwritableJournalStopsTheWriteBeforeTheErase) {
  rig_.drive.SetFreeSpace(262152 + 10);  // room for the backup, not for the journal
  EXPECT_EQ(writer_.WriteRecordV12(0, test::SampleRecordV12()), 1);
  EXPECT_EQ(rig_.card.Flash().AllBytes(), good_);
  ASSERT_EQ(rig_.messages.Shown().size(), 1u);
  EXPECT_NE(rig_.messages.Shown()[0].text.find("C:\\FLASH_0.JNL kann nicht geschrieben werden"),
            std::string::npos);
  EXPECT_FALSE(std::any_of(rig_.card.Diagnostics().commands.begin(),
                           rig_.card.Diagnostics().commands.end(),
                           [](const auto& c) { return c.kind == sim::CommandKind::kErase; }));
}

TEST_F(RestoreAndJournal, DamagedJournalFilesAreIgnored) {
  const std::string text = "irgendwas\r\nStand=begonnen\r\n";
  Install(UpdateJournal::FileName(1), std::vector<std::uint8_t>(text.begin(), text.end()));
  EXPECT_FALSE(journal_.Read(1).has_value());
  EXPECT_TRUE(journal_.Unfinished().empty());
}

}  // namespace
}  // namespace fu
