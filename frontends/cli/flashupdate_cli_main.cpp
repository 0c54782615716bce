// FlashUpdateCli.exe: the console front end on this PC, with its cards and the
// hardware-access driver. It links nothing of the simulated PC, so it loads on
// the oldest Windows supported; FlashUpdateCliSim.exe works on a simulated PC.

#include <stdexcept>
#include <string>

#include "platform/win32/win32_machine.h"
#include "windows_console.h"

int main(int argc, char** argv) {
  return fu::RunWindowsConsoleProgram(
      argc, argv, fu::kRealPcCli, [](const std::optional<std::string>&) {
        auto machine = std::make_unique<fu::Win32Machine>();
        if (!machine->FirstProgram()) {
          throw std::runtime_error(std::string(fu::kOtherProgramRuns));
        }
        return std::unique_ptr<fu::Machine>(std::move(machine));
      });
}
