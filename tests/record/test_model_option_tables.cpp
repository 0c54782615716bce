#include <gtest/gtest.h>

#include <set>

#include "base/cp1252.h"
#include "record/model_table.h"
#include "record/option_table.h"

namespace fu {
namespace {

TEST(ModelTable, NamesAreMatchedExactly) {
  ASSERT_NE(FindModel("RT/Count8"), nullptr);
  EXPECT_EQ(FindModel("RT/Count8")->row, 14);
  EXPECT_EQ(FindModel("RT/Count8/P")->row, 14);
  EXPECT_EQ(FindModel(" RT/Count8"), nullptr);
  EXPECT_EQ(FindModel("rt/count8"), nullptr);
  EXPECT_EQ(FindModel(""), nullptr);
  EXPECT_EQ(FindModel("ZEMBRAL/USB")->effect, ModelEffect::NoDataSet);
  EXPECT_EQ(FindModel("nimbaPCI/HS_1")->row, 3);
  EXPECT_EQ(FindModel("nimbaPCI/HS/16/20")->row, 4);
}

TEST(ModelTable, RowsAreNumberedInOrderAndUseEveryTable) {
  const auto rows = ModelRows();
  ASSERT_EQ(rows.size(), 31u);
  std::set<TableLabel> tables;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].row, static_cast<int>(i + 1));
    if (rows[i].effect != ModelEffect::NoDataSet) {
      tables.insert(rows[i].standard);
      if (rows[i].rule != TableRule::Standard) {
        EXPECT_NE(rows[i].alternate, rows[i].standard) << "row " << rows[i].row;
        tables.insert(rows[i].alternate);
      }
    }
  }
  EXPECT_EQ(tables.size(), kModelTableCount);  // T1..T20, each used by some row
}

TEST(OptionDisplayName, GroupOneIsSoftwareEverythingElseHardware) {
  EXPECT_EQ(OptionDisplayName(1, 14), "Airbag Prüfstand"_cp);
  EXPECT_EQ(OptionDisplayName(1, 5), "");
  EXPECT_EQ(OptionDisplayName(0, 6), "");
  EXPECT_EQ(OptionDisplayName(0, 9), "Zeitstempel");
  EXPECT_EQ(OptionDisplayName(2, 9), "Zeitstempel");
  EXPECT_EQ(OptionDisplayName(0, 11), "Coprozessor 56307");
  EXPECT_EQ(OptionDisplayName(0, 80), "");
  EXPECT_EQ(OptionDisplayName(1, -1), "");
  EXPECT_EQ(OptionDisplayName(0, 0), "Zählerupgrade (1 Hz,Pulsbreite,Period.)"_cp);
}

TEST(OptionTable, NoAcceptedNameSetsTwoBits) {
  for (const auto rows : {SoftwareOptionRows(), HardwareOptionRows()}) {
    std::set<std::string_view> seen;
    for (const auto& row : rows) {
      for (const auto name : row.accepted) {
        if (!name.empty()) {
          EXPECT_TRUE(seen.insert(name).second) << name;
        }
      }
    }
  }
}

}  // namespace
}  // namespace fu
