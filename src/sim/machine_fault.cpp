#include "sim/machine_fault.h"

namespace fu::sim {

std::string AddressText(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value != 0);
  return "0x" + digits;
}

std::string Describe(const MachineFault& fault) {
  return fault.access + " at " + AddressText(fault.address) + ": " + fault.operation;
}

}  // namespace fu::sim
