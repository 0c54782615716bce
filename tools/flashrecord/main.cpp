#include <iostream>
#include <string>
#include <vector>

#include "console/terminal.h"
#include "flashrecord/flashrecord.h"

#ifdef _WIN32
#include "platform/win32/console_code_page.h"
#include "platform/win32/windows_api.h"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // The program writes UTF-8; the console gets it in its own code page. The
  // arguments are file names and stay in the ANSI code page the file calls take.
  const fu::ConsoleCodePageStream out(std::cout, STD_OUTPUT_HANDLE);
  const fu::ConsoleCodePageStream err(std::cerr, STD_ERROR_HANDLE);
#endif
  const std::vector<std::string> args(argc > 1 ? argv + 1 : argv, argc > 1 ? argv + argc : argv);
  return fu::flashrecord::RunFlashRecord(args, std::cout, std::cerr, std::cin,
                                         fu::StandardInputIsTerminal());
}
