#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <vector>

#include "base/cp1252.h"
#include "base/version.h"
#include "flash/backup_format.h"
#include "flashrecord/flashrecord.h"
#include "flashrecord/record_report.h"
#include "platform/scripted_message_service.h"
#include "record/downgrade.h"
#include "record/image_codec.h"
#include "record/upgrade.h"
#include "support/sample_records.h"

namespace fu::flashrecord {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Result {
  int code;
  std::string out;
  std::string err;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes V12Bytes(const RecordV12& r) {
  return Bytes(r.Bytes().begin(), r.Bytes().end());
}

Bytes V13Bytes(const RecordV13& r) {
  ImageV13 image;
  EncodeImage(r, image);
  return Bytes(image.bytes.begin(), image.bytes.end());
}

// What the library makes of a revision-1.2 record when every question gets answer.
Bytes UpgradedDirectly(const RecordV12& old, Answer answer) {
  ScriptedMessageService messages({answer, answer});
  RecordV13 converted;
  UpgradeRecord(old, converted, messages);
  return V13Bytes(converted);
}

// A backup file whose flash area holds image at the record offset.
Bytes BackupHolding(const Bytes& image) {
  std::vector<HostWord> words(kBackupWords, 0xFF);
  std::copy(image.begin(), image.end(), words.begin() + kBackupRecordOffset);
  return EncodeBlockWithChecks(words);
}

class FlashRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // A random part keeps builds that test at the same time apart.
    dir_ = fs::temp_directory_path() / (std::string("flashrecord_") + info->name() + "_" +
                                        std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  std::string Put(const std::string& name, std::span<const std::uint8_t> bytes) const {
    WriteBytes(dir_ / name, bytes);
    return File(name);
  }

  Result Run(std::vector<std::string> args, const std::string& input = "", bool terminal = false) {
    std::ostringstream out, err;
    std::istringstream in(input);
    const int code = RunFlashRecord(args, out, err, in, terminal);
    return {code, out.str(), err.str()};
  }

  fs::path dir_;
};

TEST(FlashRecordSample, CommittedSampleMatchesTheSampleRecord) {
  EXPECT_EQ(ReadBytes(fs::path(FU_SOURCE_DIR) / "samples" / "nimbaPCI_HS.v12"),
            V12Bytes(test::SampleRecordV12()));
}

TEST(FlashRecordReport, Crc32OfTheCheckString) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc32(std::span(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())),
            0xCBF43926u);
}

TEST_F(FlashRecordTest, ShowListsARevision12Record) {
  const Result r = Run({"show", Put("a.v12", V12Bytes(test::SampleRecordV12()))});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_TRUE(
      r.out.starts_with("Karte                       nimbaPCI/HS\n"
                        "Seriennummer                NHS-0310-0042\n"
                        "Kunde                       Pr\xC3\xBC"
                        "flabor S\xC3\xBC"
                        "d\n"
                        "Revision                    1.2\n"
                        "Datum                       05.03.2003\n\n"
                        "Datei "))
      << r.out;
  EXPECT_TRUE(Has(r.out, "Revision: 1.2"));
  EXPECT_TRUE(Has(r.out, "\"nimbaPCI/HS\""));
  EXPECT_TRUE(Has(r.out,
                  "\"Pr\xC3\xBC"
                  "flabor S\xC3\xBC"
                  "d\""));  // code page 1252 shown as UTF-8
  EXPECT_TRUE(Has(r.out, "291 (0x00000123)"));
  EXPECT_TRUE(Has(r.out, "\"Sonderabgleich 2003\""));
  EXPECT_TRUE(Has(r.out, "\"NHS-0310-0042\""));
  EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST_F(FlashRecordTest, ShowDecodesARevision13ImageAndSummarisesItsTables) {
  const Bytes image = V13Bytes(test::SampleRecordV13());
  const std::string path = Put("a.v13", image);
  const Result r = Run({"show", path});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_TRUE(Has(r.out, "Revision: 1.3"));
  EXPECT_TRUE(Has(r.out, "\"RT/Count16\""));
  EXPECT_TRUE(Has(r.out, "13635584 (0xD01000)"));
  EXPECT_TRUE(Has(r.out, "\"Online-Linearisierung\""));
  EXPECT_TRUE(Has(r.out, "\"TTL Bitweise\""));
  const std::span<const std::uint8_t> tableBytes(image.data() + 4099, 3 * kTableEntries);
  char crc[16];
  std::snprintf(crc, sizeof crc, "0x%08X", static_cast<unsigned>(Crc32(tableBytes)));
  EXPECT_TRUE(Has(r.out, crc));
  EXPECT_FALSE(Has(r.out, "[512]"));

  const Result full = Run({"show", path, "--full"});
  EXPECT_EQ(full.code, kExitOk);
  EXPECT_TRUE(Has(full.out, "[1024]"));
  EXPECT_TRUE(Has(full.out, "[512]"));
  EXPECT_GT(full.out.size(), r.out.size() + 10000);
}

TEST_F(FlashRecordTest, ShowOfABackupChecksItsWords) {
  const Bytes backup = BackupHolding(V13Bytes(test::SampleRecordV13()));
  const Result ok = Run({"show", Put("ok.sav", backup)});
  EXPECT_EQ(ok.code, kExitOk);
  EXPECT_TRUE(
      ok.out.starts_with("Karte                       RT/Count16\n"
                         "Seriennummer                RTC-0311-0007\n"))
      << ok.out;
  EXPECT_TRUE(Has(ok.out,
                  "\nRevision                    1.3\n"
                  "Datum                       05.03.2003\n\nDatei "));
  EXPECT_TRUE(Has(ok.out,
                  "Pr\xC3\xBC"
                  "fworte in Ordnung"));
  EXPECT_TRUE(Has(ok.out, "\"RT/Count16\""));

  Bytes badCount(backup);
  badCount[262148] ^= 0x01;
  const Result bad = Run({"show", Put("bad.sav", badCount)});
  EXPECT_EQ(bad.code, kExitIncomplete);
  EXPECT_TRUE(Has(bad.err, "Anzahlwort ist falsch"));
  EXPECT_TRUE(Has(bad.out, "\"RT/Count16\""));

  Bytes notAByte(backup);
  notAByte[4 * 7 + 2] = 0x80;
  const Result broken = Run({"show", Put("broken.sav", notAByte)});
  EXPECT_EQ(broken.code, kExitUnusable);
  EXPECT_TRUE(Has(broken.err, "Eintrag 7"));
}

TEST_F(FlashRecordTest, ShowOfAnUnrecognisedRecordShowsItsIdentifyingBytes) {
  RecordV12 odd;
  odd.Set(v12::VersionRevision(2), "B");
  const Result r = Run({"show", Put("odd.v12", V12Bytes(odd))});
  EXPECT_EQ(r.code, kExitIncomplete);
  EXPECT_TRUE(Has(r.out, "Revision: unbekannt"));
  EXPECT_TRUE(r.out.starts_with("Karte                       nicht lesbar\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "Versions[2].Revision"));
  EXPECT_TRUE(Has(r.out, "\"B\""));
  EXPECT_TRUE(Has(r.err, "keiner bekannten Revision"));
}

TEST_F(FlashRecordTest, HostileTextsAreEscaped) {
  RecordV12 r = test::SampleRecordV12();
  r.Set(v12::CardName, "\x1B[2J\x07");
  r.Bytes()[v12::SerialNumber.offset] = 255;  // length byte beyond the field
  r.Set(v12::Date, "");
  const Result shown = Run({"show", Put("h.v12", V12Bytes(r))});
  EXPECT_EQ(shown.code, kExitOk);
  EXPECT_TRUE(shown.out.starts_with(
      "Karte                       \"\\x1B[2J\\x07\" (nicht lesbar)\n"
      "Seriennummer                nicht lesbar (L\xC3\xA4ngenbyte 255, Feldbreite 20)\n"))
      << shown.out;
  EXPECT_TRUE(Has(shown.out, "\nDatum                       fehlt\n"));
  EXPECT_TRUE(Has(shown.out, "\"\\x1B[2J\\x07\""));
  EXPECT_FALSE(Has(shown.out, "\x1B"));
  EXPECT_TRUE(Has(shown.out, "ngenbyte 255, Feldbreite 20"));
}

TEST_F(FlashRecordTest, UnusableInputIsRefusedWithExitThree) {
  const Result small = Run({"show", Put("small", Bytes(100, 0))});
  EXPECT_EQ(small.code, kExitUnusable);
  EXPECT_TRUE(Has(small.err, "100 Bytes"));
  const Result large = Run({"show", Put("large", Bytes(kBackupFileSize + 1, 0))});
  EXPECT_EQ(large.code, kExitUnusable);
  EXPECT_TRUE(Has(large.err, "mehr als 262152 Bytes"));
  const Result missing = Run({"show", File("missing")});
  EXPECT_EQ(missing.code, kExitUnusable);
  EXPECT_TRUE(Has(missing.err, "gibt es nicht"));
  EXPECT_EQ(Run({"show", dir_.string()}).code, kExitUnusable);

  const std::string image = Put("a.v13", V13Bytes(test::SampleRecordV13()));
  EXPECT_EQ(Run({"upgrade", image, File("out")}).code, kExitUnusable);
  EXPECT_EQ(Run({"upgrade", Put("zero.v12", Bytes(kRecordV12Size, 0)), File("out")}).code,
            kExitUnusable);
  const Bytes imageBytes = ReadBytes(image);
  const Result cut =
      Run({"upgrade", Put("cut", std::span(imageBytes).first(kRecordV12Size)), File("out")});
  EXPECT_EQ(cut.code, kExitUnusable);
  EXPECT_TRUE(Has(cut.err, "erkannt: Revision 1.3"));
  EXPECT_EQ(Run({"downgrade", Put("a.v12", V12Bytes(test::SampleRecordV12())), File("out")}).code,
            kExitUnusable);
  EXPECT_EQ(Run({"downgrade", Put("zero.v13", Bytes(kImageV13Size, 0)), File("out")}).code,
            kExitUnusable);
  EXPECT_FALSE(fs::exists(File("out")));
}

TEST_F(FlashRecordTest, ArgumentsOutsideTheUsageAreRefused) {
  const std::string in = Put("a.v12", V12Bytes(test::SampleRecordV12()));
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"list"},
                                               {"show"},
                                               {"show", in, in},
                                               {"show", in, "--yes"},
                                               {"upgrade", in},
                                               {"upgrade", in, File("o"), "--yes", "--no"},
                                               {"upgrade", in, File("o"), "--full"},
                                               {"downgrade", in, File("o"), "--no"},
                                               {"show", in, "--verbose"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.code, kExitUnusable) << args.size();
    EXPECT_TRUE(Has(r.err, "Aufruf:"));
  }
  const Result help = Run({"--help"});
  EXPECT_EQ(help.code, kExitOk);
  EXPECT_TRUE(Has(help.out, "flashrecord upgrade"));
  const Result version = Run({"--version"});
  EXPECT_EQ(version.code, kExitOk);
  EXPECT_EQ(version.out, "flashrecord " + std::string(kVersion) + "\n");
}

TEST_F(FlashRecordTest, UpgradeWritesWhatTheLibraryMakes) {
  const Result r = Run({"upgrade", Put("a.v12", V12Bytes(test::SampleRecordV12())), File("a.v13")});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(ReadBytes(File("a.v13")), UpgradedDirectly(test::SampleRecordV12(), Answer::No));
  EXPECT_TRUE(Run({"show", File("a.v13")}).out.find("Revision: 1.3") != std::string::npos);
}

TEST_F(FlashRecordTest, CardNameWithoutModelFollowsTheAnswer) {
  RecordV12 old = test::SampleRecordV12();
  old.Set(v12::CardName, "Unbekannte Karte");
  const std::string in = Put("a.v12", V12Bytes(old));

  const Result no = Run({"upgrade", in, File("no.v13"), "--no"});
  EXPECT_EQ(no.code, kExitIncomplete);
  EXPECT_TRUE(Has(no.err, "ACHTUNG"));
  EXPECT_FALSE(fs::exists(File("no.v13")));

  const Result yes = Run({"upgrade", in, File("yes.v13"), "--yes"});
  EXPECT_EQ(yes.code, kExitOk);
  EXPECT_EQ(ReadBytes(File("yes.v13")), UpgradedDirectly(old, Answer::Yes));

  EXPECT_EQ(Run({"upgrade", in, File("script.v13")}, "j\nj\n", false).code, kExitIncomplete);
  EXPECT_FALSE(fs::exists(File("script.v13")));

  // On a terminal: No to the card name, then Yes to writing the incomplete record.
  const Result asked = Run({"upgrade", in, File("asked.v13")}, "n\nj\n", true);
  EXPECT_EQ(asked.code, kExitIncomplete);
  EXPECT_EQ(ReadBytes(File("asked.v13")), UpgradedDirectly(old, Answer::No));
}

TEST_F(FlashRecordTest, UnreadableClockEndsIncompleteAndWritesOnlyWithYes) {
  RecordV12 old = test::SampleRecordV12();
  old.Set(v12::ProcessorClock, "schnell");
  const std::string in = Put("a.v12", V12Bytes(old));
  const Result yes = Run({"upgrade", in, File("yes.v13"), "--yes"});
  EXPECT_EQ(yes.code, kExitIncomplete);
  EXPECT_TRUE(Has(yes.err, "Prozessorgeschwindigkeit: schnell"));
  EXPECT_EQ(ReadBytes(File("yes.v13")), UpgradedDirectly(old, Answer::Yes));
  EXPECT_EQ(Run({"upgrade", in, File("no.v13"), "--no"}).code, kExitIncomplete);
  EXPECT_FALSE(fs::exists(File("no.v13")));
}

TEST_F(FlashRecordTest, IntegerConversionErrorWritesNothing) {
  RecordV12 old = test::SampleRecordV12();
  old.Set(v12::FlashCode, "xyz");
  const Result r = Run({"upgrade", Put("a.v12", V12Bytes(old)), File("a.v13"), "--yes"});
  EXPECT_EQ(r.code, kExitIntegerConversion);
  EXPECT_TRUE(Has(r.err, "'$xyz' ist kein g\xC3\xBCltiger Integerwert"));
  EXPECT_FALSE(fs::exists(File("a.v13")));
}

TEST_F(FlashRecordTest, DowngradeWritesWhatTheLibraryMakes) {
  const Bytes image = V13Bytes(test::SampleRecordV13());
  const Result r = Run({"downgrade", Put("a.v13", image), File("a.v12")});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  ImageV13 packed;
  std::copy(image.begin(), image.end(), packed.bytes.begin());
  RecordV13 decoded;
  DecodeImage(packed, decoded);
  RecordV12 expected;
  DowngradeRecord(decoded, expected);
  EXPECT_EQ(ReadBytes(File("a.v12")), V12Bytes(expected));
}

TEST_F(FlashRecordTest, OutputIsReplacedWholeOrLeftAlone) {
  const std::string in = Put("a.v12", V12Bytes(test::SampleRecordV12()));
  const std::string out = Put("a.v13", Bytes(50, 0xAA));
  EXPECT_EQ(Run({"upgrade", in, out}).code, kExitOk);
  EXPECT_EQ(ReadBytes(out).size(), kImageV13Size);

  const Result noDir = Run({"upgrade", in, File("missing/a.v13")});
  EXPECT_EQ(noDir.code, kExitUnusable);
  EXPECT_TRUE(Has(noDir.err, "nicht schreiben"));

  fs::create_directory(File("taken"));
  const Result onDir = Run({"downgrade", out, File("taken")});
  EXPECT_EQ(onDir.code, kExitUnusable);
  EXPECT_TRUE(fs::is_directory(File("taken")));
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_FALSE(Has(entry.path().filename().string(), ".flashrecord-")) << entry.path();
  }
}

}  // namespace
}  // namespace fu::flashrecord
