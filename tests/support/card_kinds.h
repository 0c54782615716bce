#pragma once
// The cards a maker may build within what the tool relies on, each a change of
// every card of a simulated PC (or of its DSP program file): what an erase
// clears, the busy flag after power-up, words left in the receive register,
// factory data outside the record. The default card comes first.

#include <functional>
#include <string>
#include <vector>

#include "sim/sim_pc.h"

namespace fu::test {

struct CardKind {
  std::string name;
  std::function<void(sim::SimPc&)> apply;
};

const std::vector<CardKind>& CardKinds();

}  // namespace fu::test
