// flashupdate-cli (Linux): the console front end on the simulated PC in its
// default folder or the one named by --machine. On Windows the console front
// end is two programs: FlashUpdateCli.exe on the real PC and
// FlashUpdateCliSim.exe on a simulated one.

#include <iostream>
#include <string>
#include <vector>

#include "console/terminal.h"
#include "flashupdate_cli.h"
#include "platform/posix/signal_end_requests.h"
#include "sim/sim_machine.h"

namespace {

std::unique_ptr<fu::Machine> MakeMachine(const std::optional<std::string>& folder) {
  const std::filesystem::path path =
      folder ? std::filesystem::path(*folder) : fu::sim::DefaultPcFolder();
  return std::make_unique<fu::sim::SimMachine>(path, fu::sim::ClockKind::kSystem);
}

}  // namespace

int main(int argc, char** argv) {
  fu::SignalEndRequests end_requests(fu::kEndedOutsideAWrite);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return fu::RunFlashUpdateCli(args, std::cout, std::cerr, std::cin, fu::StandardInputIsTerminal(),
                               MakeMachine, &end_requests);
}
