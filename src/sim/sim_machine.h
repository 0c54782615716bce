#pragma once
// A simulated PC as the machine a front end runs the system on.

#include <filesystem>

#include "base/cp1252.h"
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
  std::string Platform() override;
  std::optional<std::string> DrivePathOf(const std::string& host_file) override;

  SimPc& Pc() { return pc_; }

 private:
  SimPc pc_;
};

inline std::string SimMachine::Platform() {
  const bool nt = System().PlatformId() == win::VER_PLATFORM_WIN32_NT;
  return "simulierter PC in " + HostTextToCp1252(pc_.Folder().string()) +
         (nt ? " (Windows NT)" : " (Windows 9x)");
}

}  // namespace fu::sim
