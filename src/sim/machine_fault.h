#pragma once
// A machine fault of the simulated PC: an access that would end the program on
// a real PC. Those are a register access outside every mapped window (one
// through a window after its unmap included) and, on the NT family, a port
// instruction outside the ranges the driver enabled for the process.

#include <cstdint>
#include <functional>
#include <string>

namespace fu::sim {

struct MachineFault {
  std::string access;         // "register read", "register write", "port read" or "port write"
  std::uint64_t address = 0;  // the linear address, or the port number
  std::string operation;      // what was accessed, and why that faults
};

// One line, for example "register read at 0x40000014: HSTR of the window at
// 0x40000000 after its unmap".
std::string Describe(const MachineFault& fault);

// An address or port number as Describe writes it: "0x" and upper-case hex digits.
std::string AddressText(std::uint64_t value);

// Told of every machine fault as it happens.
using MachineFaultHandler = std::function<void(const MachineFault&)>;

}  // namespace fu::sim
