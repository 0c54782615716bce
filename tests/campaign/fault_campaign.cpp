// The fault campaign: every fault the simulated PC offers, at every step of an
// upgrade, a downgrade, a dump and a restore, each run by the one driver, on the
// default card; the rows that leave a card to recover also on every other kind
// of card a maker may build. It prints the rows that lost data first, then its
// table and a closing count that names the cards.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "campaign/campaign_scenarios.h"
#include "support/card_kinds.h"
#include "support/temp_folder.h"

namespace fu::campaign {
namespace {

// A fresh simulated PC of the kind in folder.
void MakePc(const std::filesystem::path& folder, const test::CardKind& kind) {
  sim::SimPc pc(folder);
  kind.apply(pc);
  pc.Save();
}

TEST(FaultCampaign, NoFaultLosesData) {
  int injected = 0, survived = 0, lost = 0;
  std::vector<std::string> table, losses;
  // FU_CAMPAIGN_ROWS=<text> runs only the rows whose card, action, fault and
  // step name it; FU_CAMPAIGN_EVERY=<n> only every nth row (the rows without a
  // fault run always: they measure the actions).
  const char* only = std::getenv("FU_CAMPAIGN_ROWS");
  const char* every_text = std::getenv("FU_CAMPAIGN_EVERY");
  const int every = every_text != nullptr ? std::max(1, std::atoi(every_text)) : 1;
  const bool sampled = only != nullptr || every > 1;
  int rows_seen = 0;
  std::string cards;
  for (const test::CardKind& kind : test::CardKinds()) {
    const bool default_card = &kind == &test::CardKinds().front();
    cards += (cards.empty() ? "" : ", ") + kind.name;
    const auto run = [&](Action action, const Scenario& s) {
      const bool picked =
          only == nullptr ||
          (kind.name + " " + Name(action) + " " + s.fault + " " + s.step).find(only) !=
              std::string::npos;
      if (!s.mustSucceed && (!picked || rows_seen++ % every != 0)) {
        return Outcome{};
      }
      test::TempFolder folder;
      MakePc(folder.Path(), kind);
      const Outcome out =
          RunScenario(folder.Path(), action == Action::Downgrade ? 1 : 0, action, s);
      std::string line = out.verdict;
      for (const auto& problem : out.problems) {
        line += "; LOST: " + problem;
      }
      char row[640];
      std::snprintf(row, sizeof row, "%-30s | %-9s | %-58s | %-22s | %s", kind.name.c_str(),
                    Name(action), s.fault.c_str(), s.step.c_str(), line.c_str());
      table.push_back(row);
      ++injected;
      if (out.Lost()) {
        ++lost;
        losses.push_back(row);
      } else {
        ++survived;
      }
      return out;
    };
    for (const Action action :
         {Action::Upgrade, Action::Downgrade, Action::Dump, Action::Restore}) {
      const Outcome shape = run(action, NoFault());
      for (const Scenario& s : Scenarios(action, shape)) {
        if (default_card ? !s.fault.starts_with("late: ") : RunsOnCardKind(s, kind.name)) {
          run(action, s);
        }
      }
    }
  }
  for (const auto& row : losses) {
    ADD_FAILURE() << row;
  }
  std::printf("%-30s | %-9s | %-58s | %-22s | %s\n", "card", "action", "fault", "step", "outcome");
  for (const auto& row : table) {
    std::printf("%s\n", row.c_str());
  }
  std::printf("faults injected: %d, survived: %d, lost: %d; cards: %s\n", injected, survived, lost,
              cards.c_str());
  EXPECT_GE(injected, sampled ? 1 : 1000);
  EXPECT_EQ(lost, 0);
}

// The main job on every kind of card, without a fault: card 0 upgraded,
// downgraded and upgraded again, then a downgrade whose block fails and the
// restore the program offers at once, then the downgrade again. Each write is
// done; it tells a difference beyond the record exactly when the card has one.
TEST(FaultCampaign, MainJobSucceedsOnEveryCard) {
  for (const test::CardKind& kind : test::CardKinds()) {
    SCOPED_TRACE(kind.name);
    test::TempFolder folder;
    MakePc(folder.Path(), kind);
    for (const std::string& problem : MainJob(folder.Path())) {
      ADD_FAILURE() << problem;
    }
  }
}

}  // namespace
}  // namespace fu::campaign
