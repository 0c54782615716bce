#pragma once
// The register bus of the simulated PC: card windows mapped at linear
// addresses. An access outside every window is stray: on a real PC it would
// end the program. Here it is a machine fault, handed to the fault handler
// with its address and the register it meant (named by its offset when the
// address lies in a window unmapped earlier); it is also counted, a read gives
// 0xFFFFFFFF (nobody answers) and a write goes nowhere.

#include <cstdint>
#include <map>
#include <set>
#include <utility>

#include "platform/register_bus.h"
#include "sim/machine_fault.h"
#include "sim/sim_card.h"

namespace fu::sim {

inline constexpr std::uint32_t kWindowSize = 0x10000;

struct BusCounters {
  std::uint64_t reads = 0;   // all reads, stray ones included
  std::uint64_t writes = 0;  // all writes, stray ones included
  std::uint64_t strayReads = 0;
  std::uint64_t strayWrites = 0;
};

class SimRegisterBus : public RegisterBus {
 public:
  // Maps the card's window at [base, base + kWindowSize). False, and nothing
  // mapped, when that range overlaps another window or runs past 4 GiB.
  bool MapWindow(LinearAddress base, SimCard& card);
  // False when no window starts at base.
  bool UnmapWindow(LinearAddress base);
  bool IsMapped(LinearAddress base) const { return windows_.contains(base); }

  std::uint32_t Read32(LinearAddress address) override;
  void Write32(LinearAddress address, std::uint32_t value) override;

  const BusCounters& Counters() const { return counters_; }
  void ResetCounters() { counters_ = BusCounters{}; }

  // Called with every stray access; without a handler they are only counted.
  void SetMachineFaultHandler(MachineFaultHandler handler) { faultHandler_ = std::move(handler); }

 private:
  // The window holding the address, with the offset into it.
  SimCard* Find(LinearAddress address, std::uint32_t& offset);
  void Stray(bool write, LinearAddress address);

  std::map<LinearAddress, SimCard*> windows_;
  std::set<LinearAddress> unmapped_;  // bases of windows unmapped so far
  BusCounters counters_;
  MachineFaultHandler faultHandler_;
};

}  // namespace fu::sim
