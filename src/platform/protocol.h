#pragma once
// Port: the support protocol. Each layer records what it did and saw, one event
// at a time, where it happens; the front end decides where the lines go. Off by
// default: callers build an event's text only when On() says it is recorded.

#include <chrono>
#include <string_view>

#include "platform/clock.h"

namespace fu {

class Protocol {
 public:
  virtual ~Protocol() = default;
  virtual bool On() const = 0;
  // One event as one line of code page 1252 text, without its line end.
  virtual void Record(std::string_view event) = 0;
};

// The protocol that records nothing: the default of every layer.
Protocol& NoProtocol();

// Sleeps on the clock and records the wait: what for and how long.
void Wait(Clock& clock, Protocol& protocol, std::chrono::milliseconds duration,
          std::string_view what_for);

}  // namespace fu
