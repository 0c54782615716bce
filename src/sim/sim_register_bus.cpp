#include "sim/sim_register_bus.h"

#include <iterator>
#include <string>

namespace fu::sim {

namespace {

std::string RegisterName(std::uint32_t offset, bool write) {
  switch (offset) {
    case kHctrOffset:
      return "HCTR";
    case kHstrOffset:
      return "HSTR";
    case kHcvrOffset:
      return "HCVR";
    case kDataOffset:
      return write ? "HTXR" : "HRXS";
    default:
      return "offset " + AddressText(offset);
  }
}

}  // namespace

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
  if (windows_.erase(base) == 0) {
    return false;
  }
  unmapped_.insert(base);
  return true;
}

std::uint32_t SimRegisterBus::Read32(LinearAddress address) {
  ++counters_.reads;
  std::uint32_t offset = 0;
  SimCard* card = Find(address, offset);
  if (card == nullptr) {
    ++counters_.strayReads;
    Stray(false, address);
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
    Stray(true, address);
    return;
  }
  card->WriteRegister(offset, value);
}

void SimRegisterBus::Stray(bool write, LinearAddress address) {
  if (!faultHandler_) {
    return;
  }
  MachineFault fault{write ? "register write" : "register read", address,
                     "outside every mapped window"};
  // A window unmapped earlier that held the address names the register.
  const auto above = unmapped_.upper_bound(address);
  if (above != unmapped_.begin() && address - *std::prev(above) < kWindowSize) {
    const LinearAddress base = *std::prev(above);
    fault.operation = RegisterName(address - base, write) + " of the window at " +
                      AddressText(base) + " after its unmap";
  }
  faultHandler_(fault);
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
