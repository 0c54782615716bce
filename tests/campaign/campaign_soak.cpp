// The soak: random faults over random sequences of actions on a PC with four
// cards, each action run and checked by the campaign's driver. The sequences
// take turns over the kinds of card a maker may build. Every sequence
// has a seed; a failure prints it, and FU_CAMPAIGN_SEED=<seed> replays that
// sequence alone. FU_CAMPAIGN_SOAK_ROUNDS sets how many sequences run.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "campaign/campaign_scenarios.h"
#include "support/card_kinds.h"
#include "support/temp_folder.h"

namespace fu::campaign {
namespace {

constexpr std::uint32_t kDefaultRounds = 200;
constexpr int kActionsPerRound = 6;

std::uint32_t FromEnvironment(const char* name, std::uint32_t otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? static_cast<std::uint32_t>(std::stoul(value))
                                            : otherwise;
}

const test::CardKind& KindOf(std::uint32_t seed) {
  return test::CardKinds()[seed % test::CardKinds().size()];
}

// One sequence of actions; false when one lost data.
bool RunRound(std::uint32_t seed, int& actions) {
  std::mt19937 random(seed);
  test::TempFolder folder;
  const test::CardKind& kind = KindOf(seed);
  {
    sim::SimPc pc(folder.Path());
    pc.AddCardLike(0, {2, 1, 0xFE800000});
    pc.AddCardLike(1, {2, 3, 0xFE900000});
    SetSerialNumber(pc, 2, "NHS-0202-0902");
    SetSerialNumber(pc, 3, "RTC-0303-0903");
    kind.apply(pc);
    pc.Save();
  }
  for (int n = 0; n < kActionsPerRound; ++n) {
    std::size_t card = 0;
    Action action = Action::Dump;
    {
      sim::SimPc pc(folder.Path());
      card = std::uniform_int_distribution<std::size_t>(0, pc.CardCount() - 1)(random);
      const Action write = HoldsRevision12(pc, card) ? Action::Upgrade : Action::Downgrade;
      const Action choices[] = {write, write, Action::Dump, Action::Restore};
      action = choices[std::uniform_int_distribution<int>(0, 3)(random)];
    }
    const Scenario s = RandomScenario(random, action);
    const Outcome out = RunScenario(folder.Path(), card, action, s);
    ++actions;
    std::printf("seed %-5u | %-30s | card %zu | %-9s | %-70s | %s\n", seed, kind.name.c_str(), card,
                Name(action), s.fault.c_str(), out.verdict.c_str());
    if (out.Lost() || s.spills) {
      // A card a fault cleared outside its record sector stays so: the round ends.
      if (!out.Lost()) {
        break;
      }
      std::string problems;
      for (const auto& p : out.problems) {
        problems += "; " + p;
      }
      ADD_FAILURE() << "seed " << seed << " (" << kind.name << "), action " << n + 1 << ": "
                    << Name(action) << " of card " << card << " with " << s.fault << ": "
                    << out.verdict << problems << "\n  replay: FU_CAMPAIGN_SEED=" << seed;
      return false;
    }
  }
  return true;
}

TEST(FaultSoak, RandomFaultsOverRandomActions) {
  const std::uint32_t seed = FromEnvironment("FU_CAMPAIGN_SEED", 0);
  const std::uint32_t first = seed != 0 ? seed : 1;
  const std::uint32_t rounds =
      seed != 0 ? 1 : FromEnvironment("FU_CAMPAIGN_SOAK_ROUNDS", kDefaultRounds);
  int actions = 0, lost = 0;
  for (std::uint32_t s = first; s < first + rounds; ++s) {
    lost += RunRound(s, actions) ? 0 : 1;
  }
  std::string cards;
  for (std::uint32_t s = first; s < first + rounds && s < first + test::CardKinds().size(); ++s) {
    cards += (cards.empty() ? "" : ", ") + KindOf(s).name;
  }
  std::printf("soak: seeds %u..%u, actions: %d, rounds that lost data: %d; cards: %s\n", first,
              first + rounds - 1, actions, lost, cards.c_str());
}

}  // namespace
}  // namespace fu::campaign
