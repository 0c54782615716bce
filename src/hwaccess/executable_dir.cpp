#include "hwaccess/executable_dir.h"

#include "base/cp1252.h"

namespace fu {

bool ModulePathTooLong(std::string_view module_path) {
  return module_path.size() > kMaxModulePath;
}

std::string ModulePathTooLongText() {
  std::string text;
  text += "Der Pfad des Programms ist zu lang (mehr als "_cp;
  text += std::to_string(kMaxModulePath);
  text += std::string_view(
      " Zeichen). Bitte das Programm in ein Verzeichnis mit kürzerem Pfad kopieren."_cp);
  return text;
}

std::string ExecutableDirectory(std::string_view module_path) {
  if (ModulePathTooLong(module_path)) {
    return {};
  }
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
