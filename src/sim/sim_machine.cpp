#include "sim/sim_machine.h"

#include <system_error>

namespace fu::sim {

namespace fs = std::filesystem;

std::optional<std::string> SimMachine::DrivePathOf(const std::string& host_file) {
  std::error_code error;
  const fs::path file = fs::weakly_canonical(fs::absolute(host_file, error), error);
  const fs::path root = fs::weakly_canonical(pc_.Drive().Root(), error);
  if (error) {
    return std::nullopt;
  }
  const fs::path below = file.lexically_relative(root);
  if (below.empty() || *below.begin() == "..") {
    return std::nullopt;
  }
  // Below the root each part is a name on drive C:, found whatever its case.
  std::string path = "C:";
  for (const fs::path& part : below) {
    if (part != ".") {
      path += "\\" + HostTextToCp1252(part.string());
    }
  }
  return path;
}

}  // namespace fu::sim
