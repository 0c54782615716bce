#pragma once
// The console front end's program names, as a user types them on this system.
// The restore hints name the console program for the PC the hint is about.

#include <string_view>

namespace fu {

#ifdef _WIN32
// The shipped program, on the real PC.
inline constexpr std::string_view kConsoleProgram = "FlashUpdateCli.exe";
// The program of its own for the simulated PC.
inline constexpr std::string_view kConsoleSimProgram = "FlashUpdateCliSim.exe";
#else
// One program, on the simulated PC.
inline constexpr std::string_view kConsoleProgram = "flashupdate-cli";
inline constexpr std::string_view kConsoleSimProgram = kConsoleProgram;
#endif

}  // namespace fu
