#pragma once
// The console front end: the main window's controller driven from the command
// line, over the machine the caller builds (the real PC or a simulated one).
//
//   list | show N | upgrade N | downgrade N | dump N | restore N [FILE]
//   [--yes|--no] [--yes-other-card] [--yes-failed-conversion] [--yes-unknown-name]
//   [--machine DIR]   (--machine only on a simulated PC)
//
// Exit status: 0 success, 1 failed or declined, 2 a raised error or the
// hardware could not be reached, 3 usage or input error, 4 done, but the flash
// beyond the record differs from the backup (told).

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "app/console_program.h"
#include "platform/end_requests.h"
#include "platform/machine.h"

namespace fu {

inline constexpr int kCliOk = 0;
inline constexpr int kCliFailed = 1;
inline constexpr int kCliRaised = 2;
inline constexpr int kCliUsage = 3;
inline constexpr int kCliDoneFlashDiffers = 4;

// Which console program runs: its name as the user types it (the usage text and
// the restore hints name it), and whether it works on a simulated PC and so
// takes --machine DIR.
struct CliProgram {
  std::string_view name;
  bool simulated_pc;
};

// flashupdate-cli on Linux, FlashUpdateCliSim.exe on Windows.
inline constexpr CliProgram kSimPcCli{kConsoleSimProgram, true};
#ifdef _WIN32
// FlashUpdateCli.exe, the shipped program: the real PC only.
inline constexpr CliProgram kRealPcCli{kConsoleProgram, false};
#endif

// Builds the machine named by --machine (nullopt: the default one). Throws
// std::runtime_error with a German text when it cannot.
using MachineFactory =
    std::function<std::unique_ptr<Machine>(const std::optional<std::string>& folder)>;

// What the console programs write to standard error when an end request
// (Ctrl+C) ends them outside a write, at once: nothing is being written then.
inline constexpr std::string_view kEndedOutsideAWrite = "\nAbbruch\n";

// end_requests: where the program's end requests (signals, Ctrl+C) arrive;
// nullptr for none. One that arrives during a write ends the program after it;
// one outside a write ends it at once.
int RunFlashUpdateCli(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                      std::istream& in, bool input_is_terminal, const MachineFactory& make_machine,
                      EndRequests* end_requests = nullptr, const CliProgram& program = kSimPcCli);

}  // namespace fu
