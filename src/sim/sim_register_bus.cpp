#include "sim/sim_register_bus.h"

#include <iterator>

namespace fu::sim {

bool SimRegisterBus::MapWindow(LinearAddress base, SimCard& card) {
  if (base > 0xFFFFFFFFu - (kWindowSize - 1)) {
    return false;
  }
  // Windows all have one size, so an overlap is a neighbour less than a window away.
  const auto next = windows_.lower_bound(base);
  if (next != windows_.end() && next->first - base < kWindowSize) {
    return false;
  }
  if (next != windows_.begin() && base - std::prev(next)->first < kWindowSize) {
    return false;
  }
  windows_.emplace(base, &card);
  return true;
}

bool SimRegisterBus::UnmapWindow(LinearAddress base) {
  return windows_.erase(base) == 1;
}

std::uint32_t SimRegisterBus::Read32(LinearAddress address) {
  ++counters_.reads;
  std::uint32_t offset = 0;
  SimCard* card = Find(address, offset);
  if (card == nullptr) {
    ++counters_.strayReads;
    return 0xFFFFFFFF;
  }
  return card->ReadRegister(offset);
}

void SimRegisterBus::Write32(LinearAddress address, std::uint32_t value) {
  ++counters_.writes;
  std::uint32_t offset = 0;
  SimCard* card = Find(address, offset);
  if (card == nullptr) {
    ++counters_.strayWrites;
    return;
  }
  card->WriteRegister(offset, value);
}

SimCard* SimRegisterBus::Find(LinearAddress address, std::uint32_t& offset) {
  auto above = windows_.upper_bound(address);
  if (above == windows_.begin()) {
    return nullptr;
  }
  const auto& [base, card] = *std::prev(above);
  offset = address - base;
  return offset < kWindowSize ? card : nullptr;
}

}  // namespace fu::sim
