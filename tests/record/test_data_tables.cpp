#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "record/data_tables.h"

namespace fu {
namespace {

std::vector<TableLabel> AllTables() {
  std::vector<TableLabel> labels;
  for (int n = 1; n <= static_cast<int>(kModelTableCount); ++n) {
    labels.push_back(static_cast<TableLabel>(n));
  }
  return labels;
}

std::vector<BlockLabel> AllBlocks() {
  std::vector<BlockLabel> labels;
  for (int n = 0; n <= static_cast<int>(BlockLabel::B7); ++n) {
    labels.push_back(static_cast<BlockLabel>(n));
  }
  return labels;
}

// Checks entries [first, last] of a table against an expected value.
void ExpectRange(const ModelTableWords& words, std::size_t first, std::size_t last,
                 std::uint32_t value) {
  for (std::size_t i = first; i <= last; ++i) {
    EXPECT_EQ(words[i], value) << "entry " << i;
  }
}

TEST(ModelTables, EveryTableKeepsTheThreeRegions) {
  for (TableLabel label : AllTables()) {
    const bool t20 = label == TableLabel::T20;
    const ModelTableWords& words = ModelTable(label);
    for (std::size_t i = 0; i < kModelTableWords; ++i) {
      const std::uint32_t w = words[i];
      SCOPED_TRACE(testing::Message() << "T" << static_cast<int>(label) << " entry " << i);
      ASSERT_LT(w, 1u << 24);
      if (i < 256) {
        EXPECT_TRUE(w == 1 || w == 10 || w == 19) << w;
      } else if (i < 512) {
        EXPECT_TRUE(w == 1 || w == 27) << w;
      } else if (t20) {
        EXPECT_TRUE(w >= 0xFFFFA7 && w <= 0xFFFFFD) << std::hex << w;
      } else {
        EXPECT_TRUE(w == 0 || (w >= 0xFFFF80 && w <= 0xFFFFFD)) << std::hex << w;
      }
    }
  }
}

TEST(ModelTables, AreDistinct) {
  const auto labels = AllTables();
  ASSERT_EQ(labels.size(), 20u);
  for (std::size_t a = 0; a < labels.size(); ++a) {
    for (std::size_t b = a + 1; b < labels.size(); ++b) {
      EXPECT_NE(ModelTable(labels[a]), ModelTable(labels[b]))
          << "T" << a + 1 << " equals T" << b + 1;
    }
  }
}

TEST(ModelTables, T1StartsWithItsDocumentedRuns) {
  const ModelTableWords& t1 = ModelTable(TableLabel::T1);
  EXPECT_EQ(t1[0], 1u);
  EXPECT_EQ(t1[1], 10u);
  EXPECT_EQ(t1[2], 1u);
  ExpectRange(t1, 3, 23, 19);
  ExpectRange(t1, 82, 255, 19);

  EXPECT_EQ(t1[256], 27u);
  ExpectRange(t1, 257, 258, 1);
  ExpectRange(t1, 338, 511, 27);

  ExpectRange(t1, 512, 513, 0xFFFF80);
  EXPECT_EQ(t1[514], 0xFFFF81u);
  ExpectRange(t1, 515, 535, 0);
  ExpectRange(t1, 594, 1023, 0);
  // T1's high region stays within 0xFFFF80..0xFFFFB8.
  for (std::size_t i = 512; i < kModelTableWords; ++i) {
    EXPECT_LE(t1[i], 0xFFFFB8u) << "entry " << i;
  }
}

TEST(ModelTables, RejectLabelsOutsideT1ToT20) {
  EXPECT_THROW(ModelTable(static_cast<TableLabel>(0)), std::out_of_range);
  EXPECT_THROW(ModelTable(static_cast<TableLabel>(21)), std::out_of_range);
  EXPECT_THROW(ProcessorBlock(static_cast<BlockLabel>(8)), std::out_of_range);
}

TEST(ProcessorBlocks, HoldTheDocumentedWords) {
  for (std::uint32_t w : ProcessorBlock(BlockLabel::B0)) {
    EXPECT_EQ(w, 0u);
  }
  EXPECT_EQ(ProcessorBlock(BlockLabel::B1),
            (ProcessorBlockWords{0x94004F, 0x800239, 0xD00809, 0x800811, 0xFFFC21, 0x430C, 0x365E1,
                                 0, 0x10000, 0x800000, 0x2000, 0x86E000, 0xE000, 0x860000}));
  EXPECT_EQ(ProcessorBlock(BlockLabel::B3)[1], 0u);
  EXPECT_EQ(ProcessorBlock(BlockLabel::B3)[13], 0x800000u);
  EXPECT_EQ(ProcessorBlock(BlockLabel::B4)[3], 0xFFFC21u);
  EXPECT_EQ(ProcessorBlock(BlockLabel::B4)[7], 0xFFBA09u);
  EXPECT_EQ(ProcessorBlock(BlockLabel::B4)[8], 0x7F8000u);
  EXPECT_EQ(ProcessorBlock(BlockLabel::B5)[6], 0x48DE2u);
  EXPECT_EQ(ProcessorBlock(BlockLabel::B6)[6], 0x4EDE2u);
  EXPECT_EQ(ProcessorBlock(BlockLabel::B7)[0], 0x940095u);
  EXPECT_EQ(ProcessorBlock(BlockLabel::B7)[6], 0x204A85u);
  EXPECT_EQ(ProcessorBlock(BlockLabel::B2)[8], 0x60000u);
}

TEST(ProcessorBlocks, AreDistinctAnd24Bit) {
  const auto labels = AllBlocks();
  ASSERT_EQ(labels.size(), 8u);
  for (std::size_t a = 0; a < labels.size(); ++a) {
    for (std::uint32_t w : ProcessorBlock(labels[a])) {
      EXPECT_LT(w, 1u << 24) << "B" << a;
    }
    for (std::size_t b = a + 1; b < labels.size(); ++b) {
      EXPECT_NE(ProcessorBlock(labels[a]), ProcessorBlock(labels[b]))
          << "B" << a << " equals B" << b;
    }
  }
}

}  // namespace
}  // namespace fu
