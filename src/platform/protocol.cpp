#include "platform/protocol.h"

#include <string>

namespace fu {

namespace {

class Off : public Protocol {
 public:
  bool On() const override { return false; }
  void Record(std::string_view /*event*/) override {}
};

}  // namespace

Protocol& NoProtocol() {
  static Off off;
  return off;
}

void Wait(Clock& clock, Protocol& protocol, std::chrono::milliseconds duration,
          std::string_view what_for) {
  if (protocol.On()) {
    protocol.Record("Warten " + std::to_string(duration.count()) + " ms: " + std::string(what_for));
  }
  clock.Sleep(duration);
}

}  // namespace fu
