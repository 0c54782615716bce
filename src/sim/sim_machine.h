#pragma once
// A simulated PC as the machine a front end runs the system on.

#include <filesystem>

#include "platform/machine.h"
#include "sim/sim_pc.h"

namespace fu::sim {

class SimMachine : public Machine {
 public:
  explicit SimMachine(const std::filesystem::path& folder, ClockKind clock = ClockKind::kVirtual)
      : pc_(folder, clock) {}

  SystemCalls& System() override { return pc_.System(); }
  PortIo& Ports() override { return pc_.Ports(); }
  RegisterBus& Bus() override { return pc_.Bus(); }
  fu::Clock& Time() override { return pc_.Clock(); }
  Files& Drive() override { return pc_.Drive(); }

  SimPc& Pc() { return pc_; }

 private:
  SimPc pc_;
};

}  // namespace fu::sim
