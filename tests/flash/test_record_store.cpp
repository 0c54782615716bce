#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "base/cp1252.h"
#include "base/errors.h"
#include "flash/backup_format.h"
#include "flash/record_read.h"
#include "flash/record_write.h"
#include "platform/recording_flash_splash.h"
#include "record/image_codec.h"
#include "record/revision.h"
#include "support/sample_records.h"
#include "support/sim_card_rig.h"

namespace fu {
namespace {

using sim::CommandFault;
using sim::CommandKind;
using sim::FaultAction;

constexpr std::size_t kRecordSector = 0x1000;  // offsets in the 64 KiB area
constexpr std::size_t kRecordSectorEnd = 0x3000;

// Fails the test when a message is shown while the progress window is up: it
// stays on top of everything and would hide the box.
class CheckedMessages : public MessageService {
 public:
  CheckedMessages(MessageService& inner, const RecordingFlashSplash& splash)
      : inner_(inner), splash_(splash) {}
  Answer Show(std::string_view text, MessageKind kind, Buttons buttons) override {
    EXPECT_FALSE(splash_.Current().visible) << "shown under the progress window: " << text;
    if (before_next) {
      std::exchange(before_next, nullptr)();
    }
    return inner_.Show(text, kind, buttons);
  }

  // Runs once, as the next message is shown.
  std::function<void()> before_next;

 private:
  MessageService& inner_;
  const RecordingFlashSplash& splash_;
};

class RecordStore : public ::testing::Test {
 protected:
  RecordStore() {
    auto& flash = rig_.card.Flash().AllBytes();
    for (std::size_t i = 0; i < flash.size(); ++i) {
      flash[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 8));
    }
    ImageV13 image;
    EncodeImage(test::SampleRecordV13(), image);
    std::copy(image.bytes.begin(), image.bytes.end(), flash.begin() + kRecordSector);
    std::fill(flash.begin() + kRecordSector + kImageV13Size, flash.begin() + kRecordSectorEnd,
              0xFF);
    before_ = flash;
    rig_.Open();
    EXPECT_TRUE(rig_.Boot());
    rig_.drive.ResetCounts();
  }

  const sim::SimFlash::Bytes& Flash() { return rig_.card.Flash().AllBytes(); }
  void Fault(CommandKind kind, std::uint32_t nth, FaultAction action, std::uint32_t amount = 0) {
    rig_.card.Faults().commands.push_back({kind, nth, action, amount});
  }
  bool OutsideRecordSectorUnchanged() {
    return std::equal(Flash().begin(), Flash().begin() + kRecordSector, before_.begin()) &&
           std::equal(Flash().begin() + kRecordSectorEnd, Flash().end(),
                      before_.begin() + kRecordSectorEnd);
  }
  bool FlashUnchanged() { return Flash() == before_; }
  // The files a backup left at the root of drive C:.
  std::vector<std::string> FlashFiles() {
    std::vector<std::string> names = rig_.drive.List("C:\\");
    std::erase_if(names, [](const std::string& n) { return !n.starts_with("FLASH_"); });
    return names;
  }

  test::SimCardRig rig_;
  sim::SimFlash::Bytes before_{};
  RecordingFlashSplash splash_;
  CheckedMessages messages_{rig_.messages, splash_};
  RecordReader reader_{rig_.flash};
  FlashBackup backup_{rig_.flash, rig_.drive, rig_.clock, messages_};
  RecordWriter writer_{rig_.flash, backup_, messages_, splash_};
};

// --- reading ---

TEST_F(RecordStore, ReadsBothFormsOfARevision13Card) {
  EXPECT_EQ(reader_.ReadCardRecord(0), test::SampleRecordV13());
  EXPECT_EQ(RecognizeRevision(reader_.ReadImageV12(0)), kRevision13);
}

TEST_F(RecordStore, ArticleNumberInTheSerialNumberForcesTheModel) {
  RecordV13 record = test::SampleRecordV13();
  record.SerialNumber = "2001-R48-7731-1-02/0815";
  ASSERT_EQ(writer_.WriteRecordV13(0, record), 0u);
  EXPECT_EQ(reader_.ReadCardRecord(0).CardName, "nimbaPCI/16/20/B");
  record.SerialNumber = "2001-R48-7731";
  ASSERT_EQ(writer_.WriteRecordV13(0, record), 0u);
  EXPECT_EQ(reader_.ReadCardRecord(0).CardName, "RT/Count16");
}

TEST_F(RecordStore, FailedReadGivesTheDefaultRecordOrZeros) {
  Fault(CommandKind::kRead, 1, FaultAction::kStop, 100);
  const RecordV13 record = reader_.ReadCardRecord(0);
  EXPECT_EQ(record, DefaultCardRecord());
  EXPECT_EQ(record.CardName, "Uninstalled Device");
  EXPECT_EQ(record.Vendor, "Falkmoore GmbH");
  EXPECT_EQ(record.A_In.Count, 64);
  EXPECT_EQ(record.D_In.Count, 32);
  EXPECT_EQ(record.CT.Count, 16);
  EXPECT_NE(RecognizeRevision(record), kRevision13);

  Fault(CommandKind::kRead, 1, FaultAction::kStop, 33);  // the next read
  const RecordV12 image = reader_.ReadImageV12(0);
  EXPECT_EQ(image.Bytes()[32], Flash()[kRecordSector + 32]);
  EXPECT_TRUE(std::all_of(image.Bytes().begin() + 33, image.Bytes().end(),
                          [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(reader_.ReadCardRecord(7), DefaultCardRecord());  // no such slot
}

// --- the backup ---

TEST_F(RecordStore, BackupHoldsTheWholeAreaWithItsCheckWords) {
  const BackupResult result = backup_.BackupFlash(0);
  ASSERT_TRUE(result.Ok());
  EXPECT_EQ(result.fileName, "C:\\FLASH_0_05.03.2003.SAV");
  const auto bytes = rig_.drive.Contents(result.fileName);
  ASSERT_EQ(bytes.size(), 262152u);
  const BackupFile parsed = ParseBackupFile(bytes);
  EXPECT_TRUE(parsed.Restorable());
  EXPECT_TRUE(std::equal(parsed.flash.begin(), parsed.flash.end(), before_.begin()));
  const auto odd = std::count_if(before_.begin(), before_.end(), [](auto b) { return b & 1; });
  EXPECT_EQ(parsed.storedCount, static_cast<std::uint32_t>(odd));
  EXPECT_TRUE(rig_.messages.Shown().empty());
}

TEST_F(RecordStore, BackupsNeverReplaceEachOther) {
  const auto first = backup_.BackupFlash(0).fileName;
  const auto original = rig_.drive.Contents(first);
  const auto second = backup_.BackupFlash(0).fileName;
  const auto third = backup_.BackupFlash(0).fileName;
  EXPECT_EQ(second, "C:\\FLASH_0_05.03.2003.1.SAV");
  EXPECT_EQ(third, "C:\\FLASH_0_05.03.2003.2.SAV");
  EXPECT_EQ(rig_.drive.Contents(first), original);
}

TEST_F(RecordStore, SlashesInTheDateBecomeDashes) {
  rig_.clock.SetShortDatePicture("M/d/yyyy");
  EXPECT_EQ(backup_.BackupFlash(0).fileName, "C:\\FLASH_0_3-5-2003.SAV");
  EXPECT_EQ(BackupFileStem(2, "a\\b:c*d?e\"f<g>h|i"), "C:\\FLASH_2_a-b-c-d-e-f-g-h-i");
}

// Turns to the next day after the first time it is asked for the date.
class MidnightClock : public Clock {
 public:
  explicit MidnightClock(sim::VirtualClock& inner) : inner_(inner) {}
  void Sleep(std::chrono::milliseconds d) override { inner_.Sleep(d); }
  std::chrono::milliseconds Uptime() const override { return inner_.Uptime(); }
  std::string ShortDate() override {
    std::string date = inner_.ShortDate();
    inner_.Advance(std::chrono::hours(24));
    return date;
  }
  std::string DateAndTime() override { return inner_.DateAndTime(); }

 private:
  sim::VirtualClock& inner_;
};

TEST_F(RecordStore, BackupJustBeforeMidnightReadsBackItsOwnFile) {
  MidnightClock midnight(rig_.clock);
  FlashBackup backup(rig_.flash, rig_.drive, midnight, messages_);
  const BackupResult result = backup.BackupFlash(0);
  EXPECT_TRUE(result.Ok());
  EXPECT_EQ(result.fileName, "C:\\FLASH_0_05.03.2003.SAV");
}

// The backup reads the area twice; a read that stops, or a second read that
// differs from the first, leaves no file and nothing erased.
struct BackupReadRow {
  const char* name;
  std::uint32_t read;
  FaultAction action;
  std::string_view text;
};

class BackupReadFault : public RecordStore, public ::testing::WithParamInterface<BackupReadRow> {};

TEST_P(BackupReadFault, WritesNoBackupAndErasesNothing) {
  Fault(CommandKind::kRead, GetParam().read, GetParam().action, 4000);
  EXPECT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), ERROR_WORD);
  EXPECT_EQ(rig_.messages.Texts(), (std::vector<std::string>{std::string(GetParam().text)}));
  EXPECT_EQ(rig_.drive.FilesCreated(), 0);
  EXPECT_EQ(splash_.Created(), 0);
  EXPECT_TRUE(FlashUnchanged());
  EXPECT_TRUE(writer_.LastWrite().backupFile.empty());
}

constexpr std::string_view kIncomplete =
    "Fehler beim Lesen des Flash: die Sicherung ist unvollständig. "
    "Das Flash wurde nicht verändert."_cp;
INSTANTIATE_TEST_SUITE_P(
    Reads, BackupReadFault,
    ::testing::Values(BackupReadRow{"FirstStops", 1, FaultAction::kStop, kIncomplete},
                      BackupReadRow{"SecondStops", 2, FaultAction::kStop, kIncomplete},
                      BackupReadRow{"SecondDiffers", 2, FaultAction::kLie,
                                    "Fehler beim Lesen des Flash: zwei Lesevorgänge ergaben "
                                    "nicht dasselbe. Das Flash wurde nicht verändert."_cp}),
    [](const auto& row) { return std::string(row.param.name); });

// Hands out files whose reads come back with one byte changed.
class CorruptingFiles : public Files {
 public:
  CorruptingFiles(Files& inner, std::size_t at) : inner_(inner), at_(at) {}
  std::unique_ptr<File> Create(std::string_view path) override { return inner_.Create(path); }
  std::unique_ptr<File> OpenAppend(std::string_view path) override {
    return inner_.OpenAppend(path);
  }
  std::unique_ptr<File> OpenRead(std::string_view path) override {
    class Corrupting : public File {
     public:
      Corrupting(std::unique_ptr<File> file, std::size_t at) : file_(std::move(file)), at_(at) {}
      void Write(std::span<const std::uint8_t> bytes) override { file_->Write(bytes); }
      void ReadExact(std::span<std::uint8_t> bytes) override {
        file_->ReadExact(bytes);
        bytes[at_] ^= 0x80;
      }
      std::vector<std::uint8_t> ReadToEnd() override { return file_->ReadToEnd(); }
      std::vector<std::uint8_t> ReadAtMost(std::size_t limit) override {
        return file_->ReadAtMost(limit);
      }
      void Flush() override { file_->Flush(); }
      void Close() override { file_->Close(); }

     private:
      std::unique_ptr<File> file_;
      std::size_t at_;
    };
    return std::make_unique<Corrupting>(inner_.OpenRead(path), at_);
  }
  bool Exists(std::string_view path) override { return inner_.Exists(path); }
  void Rename(std::string_view from, std::string_view to) override { inner_.Rename(from, to); }
  void Remove(std::string_view path) override { inner_.Remove(path); }

 private:
  Files& inner_;
  std::size_t at_;
};

TEST_F(RecordStore, BackupThatReadsBackDifferentlyStopsTheWrite) {
  for (const auto& [byte, entry] : {std::pair{1u, 0u}, {4 * 4097 + 2, 4097u}, {262150u, 65537u}}) {
    CorruptingFiles files(rig_.drive, byte);
    FlashBackup backup(rig_.flash, files, rig_.clock, messages_);
    RecordWriter writer(rig_.flash, backup, messages_, splash_);
    rig_.messages.Clear();
    EXPECT_EQ(writer.WriteRecordV13(0, test::SampleRecordV13()), ERROR_WORD);
    EXPECT_EQ(rig_.messages.Texts(),
              (std::vector<std::string>{"Fehler: Differenz bei Byte " + std::to_string(entry)}));
    EXPECT_EQ(rig_.messages.Shown()[0].kind, MessageKind::Plain);
    RecordV12 record;
    EXPECT_EQ(writer.WriteRecordV12(0, record), 1);
    EXPECT_TRUE(FlashUnchanged());
    EXPECT_EQ(FlashFiles(), std::vector<std::string>{});  // nothing under a backup name
  }
  EXPECT_EQ(splash_.Created(), 0);
}

TEST_F(RecordStore, UnusableDriveRaisesBeforeAnythingIsErased) {
  rig_.drive.SetReadOnly(true);
  try {
    writer_.WriteRecordV13(0, test::SampleRecordV13());
    FAIL() << "nothing raised";
  } catch (const FileError& e) {
    EXPECT_EQ(e.Text(), "Dateizugriff verweigert");
  }
  rig_.drive.SetReadOnly(false);
  rig_.drive.SetFreeSpace(100000);
  try {
    writer_.WriteRecordV12(0, RecordV12{});
    FAIL() << "nothing raised";
  } catch (const FileError& e) {
    EXPECT_EQ(e.Code(), 112);
  }
  EXPECT_EQ(FlashFiles(), std::vector<std::string>{});
  EXPECT_TRUE(FlashUnchanged());
  EXPECT_TRUE(rig_.messages.Shown().empty());  // the application's handler shows them
  EXPECT_EQ(splash_.Created(), 0);
}

// --- writing revision 1.3 ---

TEST_F(RecordStore, Revision13WriteShowsItsBlocksAndReadsBack) {
  RecordV13 record = test::SampleRecordV13();
  record.CardName = "nimbaPCI/HS_1";
  record.SerialNumber = "NHS-0310-0042";
  ASSERT_EQ(writer_.WriteRecordV13(0, record), 0u);
  EXPECT_TRUE(rig_.messages.Shown().empty());
  EXPECT_EQ(reader_.ReadCardRecord(0), record);
  EXPECT_EQ(RecognizeRevision(reader_.ReadImageV12(0)), kRevision13);
  EXPECT_TRUE(std::all_of(Flash().begin() + kRecordSector + kImageV13Size,
                          Flash().begin() + kRecordSectorEnd, [](auto b) { return b == 0xFF; }));
  EXPECT_TRUE(OutsideRecordSectorUnchanged());
  EXPECT_EQ(rig_.ErasedAt(), std::vector<std::uint32_t>{0xD02000});
  EXPECT_EQ(writer_.LastWrite().backupFile, "C:\\FLASH_0_05.03.2003.SAV");

  std::vector<std::string> expected = {"show"};
  for (int b = 1; b <= 4; ++b) {
    expected.push_back("progress " + std::to_string(25 * b));
    expected.push_back("label2 " + std::to_string(b));
    expected.push_back("label3 Schreibe neuen Datensatz");
    expected.push_back("process");
  }
  expected.push_back("close");
  EXPECT_EQ(splash_.Log(), expected);
  EXPECT_EQ(splash_.Current().progress, 100);
  EXPECT_EQ(splash_.Current().label2, "4");
}

TEST_F(RecordStore, FailedEraseClosesTheWindowThenTellsTheUser) {
  Fault(CommandKind::kErase, 1, FaultAction::kFail);
  EXPECT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), ERROR_WORD);
  EXPECT_EQ(splash_.Log(), (std::vector<std::string>{"show", "close"}));
  EXPECT_EQ(splash_.Current().label2, "");
  EXPECT_EQ(splash_.Current().label3, "Label3");
  EXPECT_EQ(splash_.Current().progress, 0);
  // The sector read back equals the backup: the user learns the card is as before.
  EXPECT_EQ(rig_.messages.Texts(),
            (std::vector<std::string>{std::string("Fehler beim Löschen des Flash"_cp),
                                      std::string("Die Karte ist unverändert."_cp)}));
  EXPECT_EQ(writer_.LastWrite().state, WriteState::Unchanged);
  EXPECT_TRUE(FlashUnchanged());

  // A failed erase that hit the sector before the record leaves the card changed.
  Fault(CommandKind::kErase, 1, FaultAction::kFail);
  messages_.before_next = [this] { rig_.card.Flash().AllBytes()[0x0010] ^= 0x01; };
  rig_.messages.Clear();
  EXPECT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), ERROR_WORD);
  EXPECT_EQ(rig_.messages.Texts(),
            (std::vector<std::string>{std::string("Fehler beim Löschen des Flash"_cp)}));
  EXPECT_EQ(writer_.LastWrite().state, WriteState::Changed);
}

TEST_F(RecordStore, FailedThirdBlockEndsTheWrite) {
  Fault(CommandKind::kProgram, 3, FaultAction::kFail);
  EXPECT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), ERROR_WORD);
  EXPECT_EQ(splash_.Current().progress, 75);
  EXPECT_EQ(splash_.Current().label2, "3");
  ASSERT_EQ(rig_.messages.Shown().size(), 1u);
  EXPECT_EQ(rig_.messages.Shown()[0].text, "Fehler beim Schreiben des 3. Blockes");
  EXPECT_EQ(rig_.messages.Shown()[0].buttons, Buttons::Cancel);
  const auto& commands = rig_.card.Diagnostics().commands;
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                          [](const auto& c) { return c.kind == CommandKind::kProgram; }),
            3);  // the fourth block is not sent
  EXPECT_TRUE(OutsideRecordSectorUnchanged());
}

TEST_F(RecordStore, LyingCardIsCaughtByTheReadBack) {
  Fault(CommandKind::kProgram, 2, FaultAction::kLie, 100);  // block 2 keeps 100 bytes
  EXPECT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), ERROR_WORD);
  EXPECT_EQ(rig_.messages.Texts(),
            (std::vector<std::string>{std::string("Fehler beim Überprüfen des Flash bei Byte "_cp) +
                                      "2148"}));
  EXPECT_TRUE(OutsideRecordSectorUnchanged());
}

TEST_F(RecordStore, ReadBackThatStopsIsAFailedWrite) {
  Fault(CommandKind::kRead, 3, FaultAction::kStop, 5000);  // 1, 2: backup, 3: verify
  EXPECT_EQ(writer_.WriteRecordV13(0, test::SampleRecordV13()), ERROR_WORD);
  // The card held this record already: read back whole, it equals the backup.
  EXPECT_EQ(rig_.messages.Texts(),
            (std::vector<std::string>{
                std::string("Fehler beim Überprüfen des Flash bei Byte "_cp) + "5000",
                std::string("Die Karte ist unverändert."_cp)}));
}

// --- writing revision 1.2 ---

TEST_F(RecordStore, Revision12WriteFillsTheRestWithErasedBytes) {
  const RecordV12 record = test::SampleRecordV12();
  ASSERT_EQ(writer_.WriteRecordV12(0, record), 0);
  EXPECT_TRUE(rig_.messages.Shown().empty());
  EXPECT_EQ(reader_.ReadImageV12(0).Bytes(), record.Bytes());
  EXPECT_EQ(RecognizeRevision(reader_.ReadImageV12(0)), kRevision12);
  EXPECT_TRUE(std::all_of(Flash().begin() + kRecordSector + kRecordV12Size,
                          Flash().begin() + kRecordSectorEnd, [](auto b) { return b == 0xFF; }));
  EXPECT_TRUE(OutsideRecordSectorUnchanged());
  EXPECT_EQ(rig_.ErasedAt(), std::vector<std::uint32_t>{0xD01000});
  EXPECT_EQ(splash_.Created(), 0);
  const auto& commands = rig_.card.Diagnostics().commands;
  EXPECT_EQ(rig_.card.Diagnostics().wideDataWords, 0u);
  EXPECT_TRUE(std::any_of(commands.begin(), commands.end(), [](const auto& c) {
    return c.kind == CommandKind::kProgram && c.count == 6945 && c.address == 0;
  }));
}

TEST_F(RecordStore, Revision12FailuresAreShownOnce) {
  Fault(CommandKind::kErase, 1, FaultAction::kFail);
  EXPECT_EQ(writer_.WriteRecordV12(0, test::SampleRecordV12()), 1);
  Fault(CommandKind::kProgram, 1, FaultAction::kFail);
  EXPECT_EQ(writer_.WriteRecordV12(0, test::SampleRecordV12()), 1);
  EXPECT_EQ(writer_.LastWrite().state, WriteState::Changed);  // erased
  Fault(CommandKind::kProgram, 1, FaultAction::kLie, 0);
  EXPECT_EQ(writer_.WriteRecordV12(0, test::SampleRecordV12()), 1);
  // Unchanged means: as the backup of this write holds it (here erased).
  const std::string unchanged("Die Karte ist unverändert."_cp);
  EXPECT_EQ(rig_.messages.Texts(),
            (std::vector<std::string>{
                std::string("Fehler beim Löschen des Flash"_cp), unchanged,
                "Fehler beim Schreiben des Flash",
                std::string("Fehler beim Überprüfen des Flash bei Byte "_cp) + "0", unchanged}));
  EXPECT_TRUE(OutsideRecordSectorUnchanged());
}

TEST_F(RecordStore, SilentCardIsNeverErased) {
  rig_.card.Faults().takesNoWords = true;
  EXPECT_EQ(writer_.WriteRecordV12(0, test::SampleRecordV12()), 1);
  EXPECT_EQ(rig_.messages.Shown().size(), 1u);
  EXPECT_EQ(rig_.drive.FilesCreated(), 0);
  EXPECT_TRUE(FlashUnchanged());
}

}  // namespace
}  // namespace fu
