#pragma once
// The fault campaign's scenario tables, and the random scenarios of the soak.

#include <random>
#include <vector>

#include "campaign/campaign_driver.h"

namespace fu::campaign {

// The row without a fault: the action must succeed.
Scenario NoFault();

// Every fault at every step of the action, placed by what the action did without
// a fault.
std::vector<Scenario> Scenarios(Action action, const Outcome& shape);

// One to three faults drawn at random for an action.
Scenario RandomScenario(std::mt19937& random, Action action);

}  // namespace fu::campaign
