// flashupdate-cli (Linux) and FlashUpdateCli.exe (Windows): the console front end.
// On Linux it runs on the simulated PC in its default folder or the one named by
// --machine; on Windows on the real PC, or on a simulated one with --machine.

#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/terminal.h"
#include "flashupdate_cli.h"
#include "sim/sim_machine.h"

#ifdef _WIN32
#include "platform/win32/console_end_requests.h"
#include "platform/win32/win32_machine.h"
#include "platform/win32/windows_api.h"
#else
#include "platform/posix/signal_end_requests.h"
#endif

namespace {

std::unique_ptr<fu::Machine> MakeMachine(const std::optional<std::string>& folder) {
#ifdef _WIN32
  if (!folder) {
    auto machine = std::make_unique<fu::Win32Machine>();
    if (!machine->FirstProgram()) {
      throw std::runtime_error(std::string(fu::kOtherProgramRuns));
    }
    return machine;
  }
#endif
  const std::filesystem::path path =
      folder ? std::filesystem::path(*folder) : fu::sim::DefaultPcFolder();
  return std::make_unique<fu::sim::SimMachine>(path, fu::sim::ClockKind::kSystem);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
  fu::ConsoleEndRequests end_requests;
#else
  fu::SignalEndRequests end_requests;
#endif
  const std::vector<std::string> args(argv + 1, argv + argc);
  return fu::RunFlashUpdateCli(args, std::cout, std::cerr, std::cin, fu::StandardInputIsTerminal(),
                               MakeMachine, &end_requests);
}
