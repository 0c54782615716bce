#include "windows_console.h"

#include <iostream>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "console/terminal.h"
#include "platform/win32/console_code_page.h"
#include "platform/win32/console_end_requests.h"
// After the ports' headers: see windows_api.h.
#include "platform/win32/windows_api.h"

namespace fu {

int RunWindowsConsoleProgram(int argc, char** argv, const CliProgram& program,
                             const MachineFactory& make_machine) {
  const ConsoleCodePageStream out(std::cout, STD_OUTPUT_HANDLE);
  const ConsoleCodePageStream err(std::cerr, STD_ERROR_HANDLE);
  ConsoleEndRequests end_requests(kEndedOutsideAWrite);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(Cp1252ToUtf8(argv[i]));
  }
  return RunFlashUpdateCli(args, std::cout, std::cerr, std::cin, StandardInputIsTerminal(),
                           make_machine, &end_requests, program);
}

}  // namespace fu
