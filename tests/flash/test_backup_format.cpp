#include <gtest/gtest.h>

#include <vector>

#include "flash/backup_format.h"

namespace fu {
namespace {

std::uint32_t Le32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
                                    (bytes[at + 3] << 24));
}

// Flash byte k is k mod 256: every 256 bytes hold 128 odd ones, 32,768 in all.
std::vector<HostWord> CountingArea() {
  std::vector<HostWord> words(kBackupWords);
  for (std::size_t k = 0; k < words.size(); ++k) {
    words[k] = static_cast<HostWord>(k & 0xFF);
  }
  return words;
}

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

TEST(BackupFormat, CheckWordsOfSmallBlocks) {
  EXPECT_EQ(OddByteCount({}), 0u);
  EXPECT_EQ(OddByteParity({}), 1u);
  const std::vector<HostWord> three = {0x01, 0x03, 0x02};
  EXPECT_EQ(OddByteCount(three), 2u);
  EXPECT_EQ(OddByteParity(three), 1u);
  const std::vector<HostWord> one = {0x01};
  EXPECT_EQ(OddByteCount(one), 1u);
  EXPECT_EQ(OddByteParity(one), 0u);
  // Bit 0 of the whole word counts, whatever the higher bits hold.
  const std::vector<HostWord> wide = {0x100, 0x55000001, 0xFE};
  EXPECT_EQ(OddByteCount(wide), 1u);
}

TEST(BackupFormat, EncodesEntriesAsHeldThenTheCheckWords) {
  const std::vector<HostWord> words = {0x12345678, 0x01};
  const auto bytes = EncodeBlockWithChecks(words);
  const std::vector<std::uint8_t> expected = {0x78, 0x56, 0x34, 0x12, 0x01, 0, 0, 0,
                                              0x00, 0,    0,    0,    0x01, 0, 0, 0};
  EXPECT_EQ(bytes, expected);
}

TEST(BackupFormat, CountingAreaRoundTripsWithKnownCheckWords) {
  const auto words = CountingArea();
  const auto bytes = EncodeBlockWithChecks(words);
  ASSERT_EQ(bytes.size(), kBackupFileSize);
  EXPECT_EQ(Le32At(bytes, 262144), 1u);  // 32,768 odd bytes: an even number
  EXPECT_EQ(Le32At(bytes, 262148), 32768u);
  EXPECT_EQ(Le32At(bytes, 4 * 0x1234), 0x34u);

  const BackupFile file = ParseBackupFile(bytes);
  EXPECT_EQ(file.check, BackupCheck::Ok);
  EXPECT_TRUE(file.Restorable());
  ASSERT_EQ(file.flash.size(), kBackupWords);
  for (std::size_t k = 0; k < kBackupWords; ++k) {
    ASSERT_EQ(file.flash[k], words[k]) << k;
  }
}

TEST(BackupFormat, OddCountGivesParityZero) {
  std::vector<HostWord> words(kBackupWords, 0xFF);
  words[kBackupRecordOffset] = 0x00;
  const auto bytes = EncodeBlockWithChecks(words);
  EXPECT_EQ(Le32At(bytes, 262144), 0u);
  EXPECT_EQ(Le32At(bytes, 262148), 65535u);
  EXPECT_TRUE(ParseBackupFile(bytes).Restorable());
}

TEST(BackupFormat, ParserNamesEachFault) {
  const auto good = EncodeBlockWithChecks(CountingArea());

  for (const std::size_t size : {std::size_t{0}, kBackupFileSize - 1, kBackupFileSize + 4}) {
    std::vector<std::uint8_t> bytes(good);
    bytes.resize(size);
    const BackupFile file = ParseBackupFile(bytes);
    EXPECT_EQ(file.check, BackupCheck::WrongSize) << size;
    EXPECT_TRUE(file.flash.empty());
    EXPECT_NE(BackupCheckText(file).find(std::to_string(size)), std::string::npos);
  }

  std::vector<std::uint8_t> wide(good);
  wide[4 * 1000 + 1] = 0x01;  // entry 1000 = 0x000001E8
  const BackupFile notAByte = ParseBackupFile(wide);
  EXPECT_EQ(notAByte.check, BackupCheck::EntryNotAByte);
  EXPECT_EQ(notAByte.badEntry, 1000u);
  EXPECT_EQ(notAByte.badEntryValue, 0x1E8u);
  EXPECT_TRUE(notAByte.flash.empty());
  EXPECT_NE(BackupCheckText(notAByte).find("1000"), std::string::npos);

  struct Case {
    std::uint32_t parity, count;
    BackupCheck check;
  };
  for (const Case c :
       {Case{0, 32768, BackupCheck::ParityWrong}, Case{1, 32767, BackupCheck::CountWrong},
        Case{1, 32770, BackupCheck::CountWrong}, Case{0, 32767, BackupCheck::ParityAndCountWrong},
        Case{2, 32768, BackupCheck::ParityWrong}}) {
    std::vector<std::uint8_t> bytes(good);
    PutLe32(bytes, 262144, c.parity);
    PutLe32(bytes, 262148, c.count);
    const BackupFile file = ParseBackupFile(bytes);
    EXPECT_EQ(file.check, c.check) << c.parity << " " << c.count;
    EXPECT_FALSE(file.Restorable());
    // The entries themselves are sound, so they stay readable for a listing.
    EXPECT_EQ(file.flash.size(), kBackupWords);
    EXPECT_EQ(file.storedCount, c.count);
    EXPECT_EQ(file.count, 32768u);
  }
}

}  // namespace
}  // namespace fu
