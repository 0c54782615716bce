#pragma once
// The fault campaign's scenario tables, and the random scenarios of the soak.

#include <random>
#include <string_view>
#include <utility>
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

// Whether a row of the table also runs on the kind of card named (not the
// default card, which runs every row): the row without a fault, a failed block
// and a program that dies in one on every kind, and on each the rows where its
// choice matters: restores that cannot bring everything back on a card whose
// erase clears more, power cuts on a card busy after power-up, late answers on
// a card that keeps unread words, users who move cards alike outside their
// record. Rows whose answers come late run only on a card that keeps unread
// words.
bool RunsOnCardKind(const Scenario& s, std::string_view kind);
// The rows, by fault and step, that RunsOnCardKind picks for the kind.
std::vector<std::pair<std::string_view, std::string_view>> CardKindRows(std::string_view kind);

}  // namespace fu::campaign
