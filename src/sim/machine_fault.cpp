#include "sim/machine_fault.h"

#include <cstdio>

namespace fu::sim {

std::string AddressText(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string Describe(const MachineFault& fault) {
  return fault.access + " at " + AddressText(fault.address) + ": " + fault.operation;
}

}  // namespace fu::sim
