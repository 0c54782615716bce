#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "base/cp1252.h"
#include "base/errors.h"
#include "flash/backup_format.h"
#include "sim/sim_flash.h"
#include "support/sim_card_rig.h"

namespace fu {
namespace {

using test::SimCardRig;

constexpr FlashAddress kFlashStart = 0xD00000;
constexpr std::size_t kFlashSize = 0x10000;
constexpr std::size_t kRecordSector = 0x1000;  // [0xD01000, 0xD03000) in the area
constexpr std::size_t kRecordSectorSize = 0x2000;

std::vector<HostWord> Pattern(std::size_t n, unsigned seed) {
  std::vector<HostWord> words(n);
  for (std::size_t i = 0; i < n; ++i) {
    words[i] = (i * 37 + seed * 11 + (i >> 7)) & 0xFF;
  }
  return words;
}

class FlashOnSimCard : public ::testing::Test {
 protected:
  FlashOnSimCard() {
    auto& bytes = rig_.card.Flash().AllBytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = static_cast<std::uint8_t>(i * 13 + 5);
    }
    before_ = bytes;
    rig_.Open();
  }

  // The flash outside the record sector is as it was before the test.
  void ExpectOutsideRecordSectorUnchanged() {
    const auto& bytes = rig_.card.Flash().AllBytes();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + kRecordSector, before_.begin()));
    EXPECT_TRUE(std::equal(bytes.begin() + kRecordSector + kRecordSectorSize, bytes.end(),
                           before_.begin() + kRecordSector + kRecordSectorSize));
  }

  SimCardRig rig_;
  sim::SimFlash::Bytes before_;
};

TEST_F(FlashOnSimCard, ShippedProgramBootsAndTheFlashReadsBack) {
  ASSERT_TRUE(rig_.Boot());
  EXPECT_TRUE(rig_.messages.Shown().empty());
  std::vector<HostWord> area(kFlashSize);
  ASSERT_TRUE(rig_.flash.FlashRead(0, kFlashStart, area));
  EXPECT_TRUE(std::equal(area.begin(), area.end(), before_.begin()));
}

TEST_F(FlashOnSimCard, EraseProgramReadGivesTheBytesBack) {
  ASSERT_TRUE(rig_.Boot());
  ASSERT_TRUE(rig_.flash.FlashErase(0, 0xD02000));
  const std::vector<HostWord> image = Pattern(7174, 1);
  for (std::size_t block = 0; block < 4; ++block) {
    const std::size_t first = block * 2048;
    const std::size_t count = std::min<std::size_t>(2048, image.size() - first);
    ASSERT_TRUE(rig_.flash.FlashWrite(0, static_cast<FlashAddress>(first),
                                      std::span(image).subspan(first, count)))
        << "block " << block;
  }
  std::vector<HostWord> back(image.size());
  ASSERT_TRUE(rig_.flash.FlashRead(0, 0xD01000, back));
  EXPECT_EQ(back, image);
  std::vector<HostWord> rest(kRecordSectorSize - image.size());
  ASSERT_TRUE(rig_.flash.FlashRead(0, 0xD01000 + 7174, rest));
  EXPECT_TRUE(std::all_of(rest.begin(), rest.end(), [](HostWord w) { return w == 0xFF; }));
  ExpectOutsideRecordSectorUnchanged();
}

TEST_F(FlashOnSimCard, ProgrammingWithoutAnEraseFails) {
  ASSERT_TRUE(rig_.Boot());
  ASSERT_TRUE(rig_.flash.FlashErase(0, 0xD01000));
  const std::vector<HostWord> zeros(16, 0x00);
  ASSERT_TRUE(rig_.flash.FlashWrite(0, 0, zeros));
  const std::vector<HostWord> ones(16, 0xFF);
  EXPECT_FALSE(rig_.flash.FlashWrite(0, 0, ones));  // bits cannot be set again
  ExpectOutsideRecordSectorUnchanged();
}

TEST_F(FlashOnSimCard, DamagedProgramLeavesTheCardSilent) {
  auto text = test::ShippedDspProgram();
  auto digit = std::find_if(text.begin() + static_cast<std::ptrdiff_t>(text.size() / 2), text.end(),
                            [](std::uint8_t c) { return std::isxdigit(c); });
  ASSERT_NE(digit, text.end());
  *digit = *digit == '1' ? '2' : '1';  // one digit of a program word
  rig_.drive.Install(test::kDspProgramPath, text);
  EXPECT_TRUE(rig_.Boot());  // the host sends every word; the DSP does not start
  std::vector<HostWord> word(1);
  EXPECT_FALSE(rig_.flash.FlashRead(0, kFlashStart, word));
}

TEST_F(FlashOnSimCard, DataFormatsMustBeSetBeforeTheBoot) {
  rig_.host.SetTransmitFormat(0, 0);
  EXPECT_FALSE(rig_.Boot());  // the boot loader does not take the mangled stream
  EXPECT_EQ(rig_.messages.Texts(), (std::vector<std::string>{"Ein Fehler ist aufgetreten"}));
  std::vector<HostWord> word(1);
  EXPECT_FALSE(rig_.flash.FlashRead(0, kFlashStart, word));
}

TEST_F(FlashOnSimCard, CardClaimedByAnotherProgramIsSeenBusy) {
  rig_.card.SetControl(rig_.card.Control() | sim::kHctrBusy);
  EXPECT_EQ(rig_.host.IsCardBusy(0), 1);
  EXPECT_EQ(rig_.host.ClaimCard(0), 1);
}

// A read that the card answers late, after the host has given up on it: on a
// card that keeps unread words, the rest waits in the receive register when the
// next command starts. Taken for that command's status, a stale 0 would read as
// "erased"; the words are read away first and counted in the protocol.
TEST_F(FlashOnSimCard, StaleWordsInTheReceiveRegisterNeverAnswerTheNextCommand) {
  ASSERT_TRUE(rig_.Boot());
  rig_.card.Settings().keepsUnreadWords = true;
  std::fill_n(rig_.card.Flash().AllBytes().begin() + kRecordSector, 16, 0x00);
  rig_.card.Faults().commands = {{sim::CommandKind::kRead, 1, sim::FaultAction::kLate, 4},
                                 {sim::CommandKind::kErase, 1, sim::FaultAction::kFail, 0}};
  struct Lines : Protocol {
    bool On() const override { return true; }
    void Record(std::string_view event) override { lines.emplace_back(event); }
    std::vector<std::string> lines;
  } protocol;
  FlashCommands flash(rig_.host, rig_.clock, protocol);
  std::vector<HostWord> words(16, 0xAA);
  EXPECT_FALSE(flash.FlashRead(0, 0xD01000, words));  // cut off after 4 words
  EXPECT_FALSE(flash.FlashErase(0, 0xD02000));        // it answers 1
  ASSERT_GE(protocol.lines.size(), 2u);
  const std::string& erase = protocol.lines[1];  // the read's, then the erase's
  EXPECT_NE(erase.find("Status 1, "), std::string::npos) << erase;
  EXPECT_NE(erase.find(", 4 Wörter eines früheren Befehls verworfen"_cp), std::string::npos)
      << erase;
  ExpectOutsideRecordSectorUnchanged();
}

TEST_F(FlashOnSimCard, BlockWithChecksGoesToTheFileWhole) {
  const std::vector<HostWord> words = Pattern(65536, 3);
  {
    auto file = rig_.drive.Create("C:\\FLASH_0_05.03.2003.SAV");
    EXPECT_TRUE(WriteBlockWithChecks(*file, words));
    file->Close();
  }
  const auto bytes = rig_.drive.Contents("C:\\FLASH_0_05.03.2003.SAV");
  ASSERT_EQ(bytes.size(), kBackupFileSize);
  const BackupFile parsed = ParseBackupFile(bytes);
  EXPECT_TRUE(parsed.Restorable());
  EXPECT_TRUE(std::equal(words.begin(), words.end(), parsed.flash.begin()));

  rig_.drive.SetFreeSpace(1000);
  auto full = rig_.drive.Create("C:\\FLASH_1_05.03.2003.SAV");
  try {
    WriteBlockWithChecks(*full, words);
    FAIL() << "a full drive raised nothing";
  } catch (const FileError& e) {
    EXPECT_EQ(e.Code(), 112);
    EXPECT_EQ(e.Text(), "I/O-Fehler 112");
  }
}

}  // namespace
}  // namespace fu
