// The fault campaign: every fault the simulated PC offers, at every step of an
// upgrade, a downgrade, a dump and a restore, each run by the one driver, on the
// default card; the rows that leave a card to recover also on every other kind
// of card a maker may build. It prints the rows that lost data first, then its
// table and a closing count that names the cards.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "campaign/campaign_scenarios.h"
#include "support/card_kinds.h"
#include "support/temp_folder.h"

namespace fu::campaign {
namespace {

// A fresh simulated PC of the kind in folder, with a twin of card 0.
void MakePc(const std::filesystem::path& folder, const test::CardKind& kind) {
  sim::SimPc pc(folder);
  kind.apply(pc);
  AddTwin(pc);
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
    std::set<std::pair<std::string, std::string>> kind_rows;  // run on this kind, by fault and step
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
      kind_rows.emplace(NoFault().fault, NoFault().step);
      for (const Scenario& s : Scenarios(action, shape)) {
        if (default_card ? !s.fault.starts_with("late: ") : RunsOnCardKind(s, kind.name)) {
          kind_rows.emplace(s.fault, s.step);
          run(action, s);
        }
      }
    }
    // A row renamed in the table must not drop out of the other cards silently.
    for (const auto& [fault, step] :
         default_card ? decltype(CardKindRows("")){} : CardKindRows(kind.name)) {
      if (!kind_rows.contains({std::string(fault), std::string(step)})) {
        ADD_FAILURE() << kind.name << ": no row \"" << fault << "\" at \"" << step << "\"";
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

}  // namespace
}  // namespace fu::campaign
