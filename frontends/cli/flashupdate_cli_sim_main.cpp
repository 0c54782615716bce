// FlashUpdateCliSim.exe: the console front end on the simulated PC in the
// folder FlashUpdateSim.exe uses (%LOCALAPPDATA%\FlashUpdate\SimPC), or in the
// one --machine names.

#include <filesystem>
#include <string>

#include "base/cp1252.h"
#include "sim/sim_machine.h"
#include "windows_console.h"

int main(int argc, char** argv) {
  return fu::RunWindowsConsoleProgram(
      argc, argv, fu::kSimPcCli,
      [](const std::optional<std::string>& folder) -> std::unique_ptr<fu::Machine> {
        // The folder as typed: a path in the ANSI code page, as before the front end.
        const std::filesystem::path path =
            folder ? std::filesystem::path(fu::Utf8ToCp1252(*folder)) : fu::sim::DefaultPcFolder();
        return std::make_unique<fu::sim::SimMachine>(path, fu::sim::ClockKind::kSystem);
      });
}
