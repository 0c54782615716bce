#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>

#include "base/cp1252.h"
#include "base/crc32.h"
#include "base/version.h"
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

std::string Hex8(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

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

  // The entry as the journal notes it now, with the date and time of day.
  JournalEntry Stamped(JournalEntry entry) {
    entry.time = rig_.clock.DateAndTime();
    return entry;
  }

  test::SimCardRig rig_;
  sim::SimFlash::Bytes good_{};
  RecordingFlashSplash splash_;
  UpdateJournal journal_{rig_.drive, rig_.clock};
  FlashBackup backup_{rig_.flash, rig_.drive, rig_.clock, rig_.messages};
  RecordWriter writer_{rig_.flash, backup_, rig_.messages, splash_, &journal_};
  RecordReader reader_{rig_.flash};
  FlashRestore restore_{rig_.drive, rig_.flash, reader_, writer_, rig_.messages};
};

TEST_F(RestoreAndJournal, RestoreBringsBackEveryByteAndKeepsTheFile) {
  std::fill_n(rig_.card.Flash().AllBytes().begin() + 0x2E20, 4, 0x33);  // a second run
  good_ = rig_.card.Flash().AllBytes();
  const std::string file = Backup();
  const auto saved = rig_.drive.Contents(file);
  ASSERT_EQ(writer_.WriteRecordV12(0, SameCardV12()), 0);  // the erase took the own bytes
  rig_.messages.Clear();
  rig_.card.ResetDiagnostics();
  EXPECT_EQ(restore_.RestoreFromBackup(0, 0, file, FileOwner::Unknown), RestoreOutcome::Restored);
  // The road of the file's revision 1.3, then only the bytes beyond the record
  // that the erase cleared and the file holds.
  EXPECT_EQ(rig_.ErasedAt(), std::vector<std::uint32_t>{0xD02000});
  std::vector<std::pair<std::uint32_t, std::uint32_t>> programmed;
  for (const auto& c : rig_.card.Diagnostics().commands) {
    if (c.kind == sim::CommandKind::kProgram) {
      programmed.emplace_back(c.address, c.count);
    }
  }
  EXPECT_EQ(programmed,
            (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                {0, 2048}, {2048, 2048}, {4096, 2048}, {6144, 1030}, {0x1E00, 16}, {0x1E20, 4}}));
  EXPECT_EQ(rig_.card.Flash().AllBytes(), good_);
  EXPECT_EQ(rig_.drive.Contents(file), saved);  // the restored file stays as it was
  EXPECT_EQ(writer_.LastWrite().backupFile,
            "C:\\FLASH_0_05.03.2003.2.SAV");  // a fresh backup first
  EXPECT_EQ(rig_.messages.Texts(), (std::vector<std::string>{"Die Karte wurde aus der Sicherung " +
                                                             file + " wiederhergestellt."}));
  EXPECT_EQ(journal_.History().back().operation, "restore");
  EXPECT_TRUE(journal_.History().back().done);
  EXPECT_EQ(journal_.History().back().difference, "");

  // A card that puts what goes beyond the record elsewhere, over the record:
  // the record is written once more without it, and the rest is told.
  ASSERT_EQ(writer_.WriteRecordV12(0, SameCardV12()), 0);
  rig_.card.ResetDiagnostics();
  rig_.card.Faults().commands = {{sim::CommandKind::kProgram, 5, sim::FaultAction::kStray, 0}};
  rig_.messages.Clear();
  EXPECT_EQ(restore_.RestoreFromBackup(0, 0, file, FileOwner::Unknown), RestoreOutcome::Restored);
  EXPECT_EQ(rig_.ErasedAt(), (std::vector<std::uint32_t>{0xD02000, 0xD02000}));
  const auto& now = rig_.card.Flash().AllBytes();
  EXPECT_TRUE(std::equal(now.begin() + kRecordOffset, now.begin() + kRecordOffset + 7174,
                         good_.begin() + kRecordOffset));
  EXPECT_EQ(journal_.History().back().difference, "0xD02E00-0xD02E23");
  EXPECT_TRUE(journal_.RestorePoint("RTC-0311-0007") == std::nullopt);
}

TEST_F(RestoreAndJournal, AnotherCardsBackupIsWrittenOnlyOnTheUsersWord) {
  ASSERT_EQ(writer_.WriteRecordV12(0, test::SampleRecordV12()), 0);  // serial NHS-0310-0042
  const auto v12_state = rig_.card.Flash().AllBytes();
  const std::string file = Backup();
  ASSERT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), 0u);  // serial RTC-0311-0007
  const auto v13_state = rig_.card.Flash().AllBytes();
  const auto last_backup = writer_.LastWrite().backupFile;
  rig_.messages.Clear();
  // Unanswered, the question says No: nothing is backed up, erased or written.
  EXPECT_EQ(restore_.RestoreFromBackup(0, 0, file, FileOwner::Unknown), RestoreOutcome::Declined);
  ASSERT_EQ(rig_.messages.Shown().size(), 1u);
  EXPECT_EQ(rig_.messages.Shown()[0].buttons, Buttons::YesNoDefaultNo);
  EXPECT_NE(rig_.messages.Texts()[0].find("NHS-0310-0042"), std::string::npos);
  EXPECT_NE(rig_.messages.Texts()[0].find("Karte 0 (Seriennummer RTC-0311-0007)"),
            std::string::npos);
  EXPECT_NE(rig_.messages.Texts()[0].find("widerspricht dem der Sicherung nicht"),
            std::string::npos);
  EXPECT_EQ(rig_.card.Flash().AllBytes(), v13_state);
  EXPECT_EQ(writer_.LastWrite().backupFile, last_backup);

  // Offered by the journal, it is refused: no question, nothing read back or written.
  rig_.messages.Clear();
  rig_.drive.ResetCounts();
  EXPECT_EQ(restore_.RestoreFromBackup(0, 1, file, FileOwner::ThisCard), RestoreOutcome::Refused);
  ASSERT_EQ(rig_.messages.Shown().size(), 1u);
  EXPECT_EQ(rig_.messages.Shown()[0].buttons, Buttons::Ok);
  const std::string refusal = rig_.messages.Texts()[0];
  EXPECT_NE(refusal.find("NHS-0310-0042"), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("Karte 1 (Seriennummer RTC-0311-0007)"), std::string::npos);
  EXPECT_NE(refusal.find("restore 1 " + file), std::string::npos);
  EXPECT_EQ(rig_.card.Flash().AllBytes(), v13_state);
  EXPECT_TRUE(rig_.drive.Untouched());

  rig_.messages.Script(Answer::Yes);
  EXPECT_EQ(restore_.RestoreFromBackup(0, 0, file, FileOwner::Unknown), RestoreOutcome::Restored);
  EXPECT_EQ(rig_.card.Flash().AllBytes(), v12_state);

  // A card left unreadable by a broken write takes back, when the journal offers
  // it, the backup taken before that write without a question: the flash outside
  // the record is the file's.
  rig_.card.Faults().commands.push_back({sim::CommandKind::kProgram, 1, sim::FaultAction::kFail});
  ASSERT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), ERROR_WORD);
  const std::string before_write = writer_.LastWrite().backupFile;
  rig_.messages.Clear();
  EXPECT_EQ(restore_.RestoreFromBackup(0, 0, before_write, FileOwner::ThisCard),
            RestoreOutcome::Restored);
  EXPECT_FALSE(AnyQuestion());
  EXPECT_EQ(rig_.card.Flash().AllBytes(), v12_state);
}

TEST_F(RestoreAndJournal, UnreadableCardIsAskedAboutAFileWhoseUntouchedFlashDiffers) {
  auto& flash = rig_.card.Flash().AllBytes();
  std::fill_n(flash.begin() + 0x0F00, 8, 0x57);  // the card's factory data
  const std::string own = Backup();
  // Another card of the same kind: its factory data before the record differ.
  std::vector<HostWord> other(flash.begin(), flash.end());
  other[0x0F04] ^= 0x01;
  const std::string foreign = "C:\\FLASH_1_05.03.2003.SAV";
  Install(foreign, EncodeBlockWithChecks(other));
  std::fill_n(flash.begin() + kRecordOffset, 0x2000, 0xFF);  // no record to read
  const auto unreadable = flash;
  for (const FileOwner owner : {FileOwner::ThisCard, FileOwner::Unknown}) {
    rig_.messages.Clear();
    rig_.messages.Script(Answer::No);
    rig_.drive.ResetCounts();
    EXPECT_EQ(restore_.RestoreFromBackup(0, 2, foreign, owner), RestoreOutcome::Declined);
    ASSERT_EQ(rig_.messages.Shown().size(), 1u);
    EXPECT_EQ(rig_.messages.Shown()[0].buttons, Buttons::YesNoDefaultNo);
    const std::string text = rig_.messages.Texts()[0];
    EXPECT_NE(text.find("gehört zu einer anderen Karte"_cp), std::string::npos) << text;
    EXPECT_NE(text.find("Adresse 0xD00F04"), std::string::npos) << text;
    EXPECT_NE(text.find("Karte 2 (Seriennummer unbekannt)"), std::string::npos) << text;
    EXPECT_EQ(flash, unreadable);
    EXPECT_TRUE(rig_.drive.Untouched());  // not even a backup
  }
  // The card's own file: asked about only when the user named it.
  rig_.messages.Clear();
  EXPECT_EQ(restore_.RestoreFromBackup(0, 2, own, FileOwner::Unknown), RestoreOutcome::Declined);
  ASSERT_EQ(rig_.messages.Shown().size(), 1u);
  EXPECT_EQ(rig_.messages.Shown()[0].buttons, Buttons::YesNoDefaultNo);
  EXPECT_NE(rig_.messages.Texts()[0].find("RTC-0311-0007"), std::string::npos);
  EXPECT_EQ(rig_.messages.Texts()[0].find("anderen Karte"), std::string::npos);
  EXPECT_EQ(flash, unreadable);
  // Flash the card reads erased tells no other card: an erase that cleared the
  // whole area leaves the journal's own file writable without a question.
  std::fill(flash.begin(), flash.end(), 0xFF);
  rig_.messages.Clear();
  EXPECT_EQ(restore_.RestoreFromBackup(0, 2, own, FileOwner::ThisCard), RestoreOutcome::Restored);
  EXPECT_FALSE(AnyQuestion());
}

// An erase that clears more than the record, or an area that cannot be read
// back: the write whose record verified is done, and the difference is told
// once, named in the journal's closing line, and locks nothing.
TEST_F(RestoreAndJournal, FlashBeyondTheRecordThatDiffersIsToldAndRecordedNotAFailure) {
  const std::string serial = "RTC-0311-0007";
  // Run once, at the erase of the next write.
  const auto at_erase = [this](std::function<void()> action) {
    rig_.card.SetStateChangedHandler([this, action, done = false]() mutable {
      const auto& commands = rig_.card.Diagnostics().commands;
      if (!done && !commands.empty() && commands.back().kind == sim::CommandKind::kErase) {
        done = true;
        action();
      }
    });
  };
  const auto clear_outside = [this] {
    std::fill_n(rig_.card.Flash().AllBytes().begin() + 0x0010, 0x30, 0xFF);
  };
  const auto unreadable_area = [this] {  // read 1 is the verify, then two tries
    for (const std::uint32_t nth : {2u, 3u}) {
      rig_.card.Faults().commands.push_back(
          {sim::CommandKind::kRead, nth, sim::FaultAction::kStop, 100});
    }
  };
  auto& flash = rig_.card.Flash().AllBytes();
  std::fill_n(flash.begin() + 0x2E00, 16, 0xFF);  // no own bytes the erase would take
  flash[0x0020] = 0x00;                           // but data before the record
  const std::string before = Backup();
  struct Row {
    std::function<int()> write;
    std::function<void()> at_erase;
    std::string told;
    std::string recorded;
  };
  const Row rows[] = {
      {[this] { return static_cast<int>(writer_.WriteRecordV13(0, test::SampleRecordV13())); },
       clear_outside, "1 Byte an Adresse 0xD00020.", "0xD00020-0xD00020"},
      {[this] { return writer_.WriteRecordV12(0, SameCardV12()); }, unreadable_area,
       "nicht zweimal gleich gelesen", "unbekannt"},
      {[&] {
         return restore_.RestoreFromBackup(0, 0, before, FileOwner::ThisCard) ==
                        RestoreOutcome::Restored
                    ? 0
                    : 1;
       },
       clear_outside, "oder die Karte hat es nicht angenommen", "0xD00020-0xD00020"}};
  for (const Row& row : rows) {
    at_erase(row.at_erase);
    rig_.messages.Clear();
    EXPECT_EQ(row.write(), 0) << row.told;
    EXPECT_EQ(writer_.LastWrite().state, WriteState::Written);
    EXPECT_FALSE(journal_.RestorePoint(serial).has_value());
    EXPECT_EQ(journal_.History().back().difference, row.recorded);
    const auto shown = rig_.messages.Shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0].kind, MessageKind::Information);
    EXPECT_NE(shown[0].text.find(row.told), std::string::npos) << shown[0].text;
    EXPECT_NE(shown[0].text.find(" enthält den früheren Inhalt"_cp), std::string::npos);
    EXPECT_EQ(std::count_if(shown.begin(), shown.end(),
                            [](const auto& m) { return m.kind == MessageKind::Information; }),
              shown.size() == 1 ? 1 : 2);  // the difference, and a restore's success
    rig_.card.Faults().commands.clear();
  }
}

TEST_F(RestoreAndJournal, DoubtfulFilesAreRefusedAndTheCardIsNotTouched) {
  const std::string file = Backup();
  auto bytes = rig_.drive.Contents(file);
  const auto check = [&](std::string_view path, std::string_view why) {
    rig_.messages.Clear();
    const auto reads = rig_.card.Diagnostics().commands.size();
    EXPECT_EQ(restore_.RestoreFromBackup(0, 0, path, FileOwner::Unknown), RestoreOutcome::Refused)
        << why;
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
  auto large = bytes;
  large.push_back(0);
  Install("C:\\GROSS.SAV", large);
  check("C:\\GROSS.SAV", "zu groß"_cp);
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
    EXPECT_EQ(writer_.LastWrite().state, state);
  }
  EXPECT_EQ(writer_.LastWrite().backupFile, "C:\\FLASH_0_05.03.2003.1.SAV");  // of the damaged card
  EXPECT_TRUE(journal_.History().back().unchanged);
  JournalEntry first{0, serial, "C:\\FLASH_0_05.03.2003.SAV", "upgrade", false};
  const auto content = rig_.drive.Contents(first.backupFile);  // bound to the entry
  first.backupSize = static_cast<std::uint32_t>(content.size());
  first.backupCrc = Crc32(content);
  first.time = journal_.History().front().time;
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

// The restore point is the backup of the first unfinished write, bound to its
// content: whatever becomes of the file, no later backup (one of the already
// damaged card) stands in for it.
TEST_F(RestoreAndJournal, RestorePointStaysBoundToItsBackupsContent) {
  const std::string serial = "RTC-0311-0007";
  const std::string first = Backup();
  const auto content = rig_.drive.Contents(first);
  auto& flash = rig_.card.Flash().AllBytes();
  std::fill_n(flash.begin() + kRecordOffset, 100, 0x00);
  const std::string damaged = Backup();
  auto other = rig_.drive.Contents(damaged);
  JournalEntry begun{0, serial, first, "upgrade", false};
  begun.backupSize = static_cast<std::uint32_t>(content.size());
  begun.backupCrc = Crc32(content);
  JournalEntry older = begun;  // as versions before the content was noted wrote it
  older.backupSize = 0;
  older.backupCrc = 0;
  auto larger = content;
  larger.push_back(0);
  auto flipped = content;
  flipped[kRecordOffset * kBackupEntryBytes] ^= 1;
  const struct {
    const char* name;
    std::optional<std::vector<std::uint8_t>> file;
    bool noted;
    BackupState state;
  } kCases[] = {
      {"intact", content, true, BackupState::Usable},
      {"gone", std::nullopt, true, BackupState::Missing},
      {"another backup under its name", other, true, BackupState::Changed},
      {"one byte changed", flipped, true, BackupState::Changed},
      {"one byte more", larger, true, BackupState::Changed},
      {"older entry, intact", content, false, BackupState::Usable},
      {"older entry, a backup too large", larger, false, BackupState::Unusable},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    rig_.drive.Uninstall(UpdateJournal::kFileName);
    if (c.file) {
      Install(first, *c.file);
    } else {
      rig_.drive.Uninstall(first);
    }
    UpdateJournal checked(rig_.drive, rig_.clock, [](std::span<const std::uint8_t> bytes) {
      return RestorableBackup(bytes);
    });
    const JournalEntry entry = Stamped(c.noted ? begun : older);
    checked.Begin(entry);
    checked.Begin({0, serial, damaged, "upgrade", false});  // a later try, already damaged
    EXPECT_EQ(checked.StateOf(entry), c.state);
    EXPECT_EQ(checked.OpenWrite(entry), entry);
    EXPECT_EQ(checked.Unfinished(), std::vector<JournalEntry>{entry});
    EXPECT_EQ(checked.RestorePoint(serial),
              c.state == BackupState::Usable ? std::optional(entry) : std::nullopt);
  }
  // Given up, the point is gone, and the card's next write starts afresh.
  UpdateJournal checked(rig_.drive, rig_.clock);
  checked.Abandon(older);
  EXPECT_FALSE(checked.OpenWrite(older).has_value());
  EXPECT_TRUE(checked.History().back().abandoned);
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
  const JournalEntry a{0, "A-1", "C:\\FLASH_0_01.03.2003.SAV", "upgrade", false};
  const JournalEntry b{2, "B-2", "C:\\FLASH_2_01.03.2003.SAV", "upgrade", false};
  std::string damaged =
      EncodeJournalLine({0, "X-9", "C:\\FLASH_0_02.03.2003.SAV", "upgrade", false});
  damaged[3] = 'X';
  const std::string torn =
      EncodeJournalLine({0, "A-1", "C:\\FLASH_0_01.03.2003.1.SAV", "upgrade", true});
  // Entry a as versions before 1.3.0 wrote it: without the program's version.
  std::string older = EncodeJournalLine(a);
  const std::string version = "\tVersion=" + std::string(kVersion);
  ASSERT_NE(older.find(version + "\tCRC32="), std::string::npos) << older;
  older.erase(older.find(version));
  older += "\tCRC32=" + Hex8(Crc32(older)) + "\r\n";
  Install(UpdateJournal::kFileName, bytes("FlashUpdate-Journal 2\r\n" + older + damaged +
                                          EncodeJournalLine(b) + torn.substr(0, 20)));
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
  EXPECT_EQ(journal_.History().back(), Stamped(b));
  ASSERT_EQ(journal_.Damage().size(), 2u);  // the header naming the version is one
  const auto appended = rig_.drive.Contents(UpdateJournal::kFileName);
  EXPECT_NE(std::string(appended.begin(), appended.end())
                .find("kein Protokoll\r\nFlashUpdate-Journal 2" + version + "\r\n"),
            std::string::npos);
  EXPECT_NE(journal_.Damage()[1].find("kein Änderungsprotokoll"_cp), std::string::npos);
}

// One journal line among good neighbours: kept only when whole and naming a
// backup of this program; a line that fails its check is damage, only a torn
// last line passes quietly.
enum class Place { Middle, LastWithoutLf, LastWithoutCrLf, LastTorn };
enum class Verdict { Kept, Damaged, Torn };
struct JournalLineRow {
  const char* name;
  const char* backup;
  std::string_view flip;  // the first character of this text in the line is changed
  Place place;
  Verdict verdict;
  friend void PrintTo(const JournalLineRow& row, std::ostream* os) { *os << row.name; }
};

class JournalLines : public RestoreAndJournal,
                     public ::testing::WithParamInterface<JournalLineRow> {};

TEST_P(JournalLines, AreKeptOnlyWhenWholeAndNamingAnOwnBackup) {
  const JournalLineRow& row = GetParam();
  const JournalEntry a{0, "RTC-0311-0007", "C:\\FLASH_0_05.03.2003.SAV", "upgrade", false};
  const JournalEntry b{2, "NHS-0310-0042", "C:\\FLASH_2_05.03.2003.SAV", "downgrade", false};
  JournalEntry x{1, "RTC-0302-0031", row.backup, "upgrade", true};
  x.backupSize = 262152;  // the backup's content, as noted since it is bound to it
  x.backupCrc = 0x0123ABCD;
  x.time = "06.03.2003 14:07:09";  // a and b are lines of versions that noted no time
  std::string line = EncodeJournalLine(x);
  if (!row.flip.empty()) {
    line[line.find(row.flip)] ^= 0x01;
  }
  std::string text = std::string(journal_line::kHeader) + "\r\n" + EncodeJournalLine(a);
  std::vector<JournalEntry> kept{a};
  const bool keep = row.verdict == Verdict::Kept;
  if (row.place == Place::Middle) {
    text += line + EncodeJournalLine(b);
    kept.insert(kept.end(), keep ? std::initializer_list<JournalEntry>{x, b}
                                 : std::initializer_list<JournalEntry>{b});
  } else {
    text += EncodeJournalLine(b);
    const std::size_t cut = row.place == Place::LastWithoutLf     ? 1
                            : row.place == Place::LastWithoutCrLf ? 2
                                                                  : line.size() / 2;
    text += line.substr(0, line.size() - cut);
    kept.push_back(b);
    if (keep) {
      kept.push_back(x);
    }
  }
  Install(UpdateJournal::kFileName, std::vector<std::uint8_t>(text.begin(), text.end()));
  EXPECT_EQ(journal_.History(), kept);
  const auto damage = journal_.Damage();
  if (row.verdict == Verdict::Damaged) {
    const std::string number = row.place == Place::Middle ? "3" : "4";
    ASSERT_EQ(damage.size(), 1u);
    EXPECT_NE(damage[0].find("Zeile " + number + " ist unlesbar"), std::string::npos) << damage[0];
  } else {
    EXPECT_TRUE(damage.empty()) << damage[0];
  }
  // The next entry starts a line of its own; what was read stays as it was.
  const JournalEntry c{3, "RTC-0302-0099", "C:\\FLASH_3_06.03.2003.SAV", "upgrade", false};
  journal_.Begin(c);
  kept.push_back(Stamped(c));
  EXPECT_EQ(journal_.History(), kept);
  EXPECT_EQ(journal_.Damage(), damage);
  const auto after = rig_.drive.Contents(UpdateJournal::kFileName);
  const std::string written(after.begin(), after.end());
  EXPECT_EQ(written.find(journal_line::kTornMark) != std::string::npos,
            row.verdict == Verdict::Torn);
  EXPECT_EQ(written.find("\r\r"), std::string::npos);
}

constexpr const char* kOwnName = "C:\\FLASH_1_05.03.2003.SAV";
INSTANTIATE_TEST_SUITE_P(
    Rows, JournalLines,
    ::testing::Values(
        JournalLineRow{"OwnName", kOwnName, "", Place::Middle, Verdict::Kept},
        JournalLineRow{"NumberedDashedName", "C:\\FLASH_1_3-5-2003.12.SAV", "", Place::Middle,
                       Verdict::Kept},
        JournalLineRow{"DateEndingInADot", "C:\\FLASH_1_5.3.2003-.1.SAV", "", Place::Middle,
                       Verdict::Kept},
        JournalLineRow{"DateEndingInADotAsEarlierVersionsWroteIt", "C:\\FLASH_1_5.3.2003..SAV", "",
                       Place::Middle, Verdict::Kept},
        JournalLineRow{"FolderUp", "C:\\..\\FLASH_1_05.03.2003.SAV", "", Place::Middle,
                       Verdict::Damaged},
        JournalLineRow{"DotsInTheDate", "C:\\FLASH_1_05..2003.SAV", "", Place::Middle,
                       Verdict::Damaged},
        JournalLineRow{"SubFolder", "C:\\ALT\\FLASH_1_05.03.2003.SAV", "", Place::Middle,
                       Verdict::Damaged},
        JournalLineRow{"OtherDrive", "D:\\FLASH_1_05.03.2003.SAV", "", Place::Middle,
                       Verdict::Damaged},
        JournalLineRow{"OtherMachine", "\\\\host\\share\\FLASH_1_05.03.2003.SAV", "", Place::Middle,
                       Verdict::Damaged},
        JournalLineRow{"Device", "\\\\.\\pipe\\FLASH_1_05.03.2003.SAV", "", Place::Middle,
                       Verdict::Damaged},
        JournalLineRow{"RawPath", "\\\\?\\C:\\FLASH_1_05.03.2003.SAV", "", Place::Middle,
                       Verdict::Damaged},
        JournalLineRow{"Colon", "C:\\FLASH_1_05:03.SAV", "", Place::Middle, Verdict::Damaged},
        JournalLineRow{"ControlCharacter",
                       "C:\\FLASH_1_05\x01"
                       "03.SAV",
                       "", Place::Middle, Verdict::Damaged},
        JournalLineRow{"NoSuchSlot", "C:\\FLASH_4_05.03.2003.SAV", "", Place::Middle,
                       Verdict::Damaged},
        JournalLineRow{"SerialDigitChanged", kOwnName, "0031", Place::Middle, Verdict::Damaged},
        JournalLineRow{"BackupLetterChanged", kOwnName, "SAV", Place::Middle, Verdict::Damaged},
        JournalLineRow{"TimeChanged", kOwnName, "14:07", Place::Middle, Verdict::Damaged},
        JournalLineRow{"LastWithoutLf", kOwnName, "", Place::LastWithoutLf, Verdict::Kept},
        JournalLineRow{"LastWithoutCrLf", kOwnName, "", Place::LastWithoutCrLf, Verdict::Kept},
        JournalLineRow{"LastChanged", kOwnName, "0031", Place::LastWithoutCrLf, Verdict::Damaged},
        JournalLineRow{"LastTorn", kOwnName, "", Place::LastTorn, Verdict::Torn}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace fu
