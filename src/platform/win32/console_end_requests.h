#pragma once
// End requests of the Windows console program. The system runs the console's
// control handler on a thread of its own. Outside a hold every event keeps the
// system's default: the program ends, after its ending text on standard error.
// During a hold Ctrl+C and Ctrl+Break are
// noted and handled; closing the console, log-off and shut-down are noted and
// the handler waits until the write is done, since the system ends the program
// as soon as the handler returns. The state is the process's: one object at a
// time.

#include <string_view>

#include "platform/end_requests.h"

namespace fu {

class ConsoleEndRequests : public EndRequests {
 public:
  // ending_text: written to standard error when an event ends the program
  // outside a hold; it must outlive the object (a literal). Empty: nothing.
  explicit ConsoleEndRequests(std::string_view ending_text = {});
  ~ConsoleEndRequests() override;
  ConsoleEndRequests(const ConsoleEndRequests&) = delete;
  ConsoleEndRequests& operator=(const ConsoleEndRequests&) = delete;

  void Hold() override;
  bool Release() override;
};

}  // namespace fu
