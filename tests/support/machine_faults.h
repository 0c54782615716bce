#pragma once
// The check every rig over the simulated PC makes at its end: on a real PC each
// machine fault would have ended the program, so any fault fails the test, and
// the message lists them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/machine_fault.h"

namespace fu::test {

// Describe lines, as SimPc::RecordedMachineFaults reads them from a PC's folder.
inline void ExpectNoMachineFaults(const std::vector<std::string>& lines) {
  std::string listed;
  for (const std::string& line : lines) {
    listed += "\n  " + line;
  }
  EXPECT_TRUE(lines.empty()) << "machine faults:" << listed;
}

inline void ExpectNoMachineFaults(const std::vector<sim::MachineFault>& faults) {
  std::vector<std::string> lines;
  for (const sim::MachineFault& fault : faults) {
    lines.push_back(sim::Describe(fault));
  }
  ExpectNoMachineFaults(lines);
}

}  // namespace fu::test
