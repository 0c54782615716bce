#pragma once
// The directory of the running program as the driver layer and the main window
// use it: the full path upper-cased (ASCII letters only), cut back to its last
// backslash, so it always ends in one.

#include <string>
#include <string_view>

#include "platform/system_calls.h"

namespace fu {

std::string ExecutableDirectory(std::string_view module_path);

// From GetModuleFileName; empty when the system gives no path.
std::string ExecutableDirectory(SystemCalls& system);

}  // namespace fu
