#include "hwaccess/executable_dir.h"

namespace fu {

std::string ExecutableDirectory(std::string_view module_path) {
  std::string dir(module_path);
  for (char& c : dir) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  while (!dir.empty() && dir.back() != '\\') {
    dir.pop_back();
  }
  return dir;
}

std::string ExecutableDirectory(SystemCalls& system) {
  return ExecutableDirectory(system.GetModuleFileName());
}

}  // namespace fu
