#pragma once
// What both Windows console programs do around RunFlashUpdateCli: their
// messages in the console's code page, their arguments from the ANSI code page
// (1252) to the UTF-8 the front end reads, and Ctrl+C and the console's close
// as end requests.

#include "flashupdate_cli.h"

namespace fu {

int RunWindowsConsoleProgram(int argc, char** argv, const CliProgram& program,
                             const MachineFactory& make_machine);

}  // namespace fu
