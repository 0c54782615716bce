#pragma once
// The console front end's program name, as a user types it on this system.

#include <string_view>

namespace fu {

#ifdef _WIN32
inline constexpr std::string_view kConsoleProgram = "FlashUpdateCli.exe";
#else
inline constexpr std::string_view kConsoleProgram = "flashupdate-cli";
#endif

}  // namespace fu
