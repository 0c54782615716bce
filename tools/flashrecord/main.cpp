#include <iostream>
#include <string>
#include <vector>

#include "console/terminal.h"
#include "flashrecord/flashrecord.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // The program writes UTF-8; the console shows it only in that code page.
  SetConsoleOutputCP(CP_UTF8);
#endif
  const std::vector<std::string> args(argc > 1 ? argv + 1 : argv, argc > 1 ? argv + argc : argv);
  return fu::flashrecord::RunFlashRecord(args, std::cout, std::cerr, std::cin,
                                         fu::StandardInputIsTerminal());
}
