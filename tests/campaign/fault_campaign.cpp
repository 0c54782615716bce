// The fault campaign: every fault the simulated PC offers, at every step of an
// upgrade, a downgrade, a dump and a restore, each run by the one driver. It
// prints the rows that lost data first, then its table and a closing count.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "campaign/campaign_scenarios.h"
#include "support/temp_folder.h"

namespace fu::campaign {
namespace {

TEST(FaultCampaign, NoFaultLosesData) {
  int injected = 0, survived = 0, lost = 0;
  std::vector<std::string> table, losses;
  // FU_CAMPAIGN_ROWS=<text> runs only the rows whose action, fault and step name
  // it; FU_CAMPAIGN_EVERY=<n> only every nth row (the rows without a fault run
  // always: they measure the actions).
  const char* only = std::getenv("FU_CAMPAIGN_ROWS");
  const char* every_text = std::getenv("FU_CAMPAIGN_EVERY");
  const int every = every_text != nullptr ? std::max(1, std::atoi(every_text)) : 1;
  const bool sampled = only != nullptr || every > 1;
  int rows_seen = 0;
  const auto run = [&](Action action, const Scenario& s) {
    const bool picked =
        only == nullptr ||
        (std::string(Name(action)) + " " + s.fault + " " + s.step).find(only) != std::string::npos;
    if (!s.mustSucceed && (!picked || rows_seen++ % every != 0)) {
      return Outcome{};
    }
    test::TempFolder folder;
    const Outcome out = RunScenario(folder.Path(), action == Action::Downgrade ? 1 : 0, action, s);
    std::string line = out.verdict;
    for (const auto& problem : out.problems) {
      line += "; LOST: " + problem;
    }
    char row[512];
    std::snprintf(row, sizeof row, "%-9s | %-58s | %-22s | %s", Name(action), s.fault.c_str(),
                  s.step.c_str(), line.c_str());
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
  for (const Action action : {Action::Upgrade, Action::Downgrade, Action::Dump, Action::Restore}) {
    const Outcome shape = run(action, NoFault());
    for (const Scenario& s : Scenarios(action, shape)) {
      run(action, s);
    }
  }
  for (const auto& row : losses) {
    ADD_FAILURE() << row;
  }
  std::printf("%-9s | %-58s | %-22s | %s\n", "action", "fault", "step", "outcome");
  for (const auto& row : table) {
    std::printf("%s\n", row.c_str());
  }
  std::printf("faults injected: %d, survived: %d, lost: %d\n", injected, survived, lost);
  EXPECT_GE(injected, sampled ? 1 : 1000);
  EXPECT_EQ(lost, 0);
}

}  // namespace
}  // namespace fu::campaign
