#pragma once
// The directory of the running program as the driver layer and the main window
// use it: the full path upper-cased (ASCII letters only), cut back to its last
// backslash, so it always ends in one.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/system_calls.h"

namespace fu {

// The longest program path the program handles: what GetModuleFileNameA puts
// into a 255-character buffer with its terminating zero. A longer path would
// come back cut, naming a wrong directory.
inline constexpr std::size_t kMaxModulePath = 254;

bool ModulePathTooLong(std::string_view module_path);

// The German message for a program path longer than kMaxModulePath.
std::string ModulePathTooLongText();

// Empty for a path longer than kMaxModulePath, never a cut directory.
std::string ExecutableDirectory(std::string_view module_path);

// From GetModuleFileName; empty when the system gives no path or one too long.
std::string ExecutableDirectory(SystemCalls& system);

}  // namespace fu
