#pragma once
// The simulated PC's time as its cards see it: milliseconds since some fixed
// point, never going back. It moves on while the program sleeps (on the host's
// clock also as real time passes); setting the date does not move it.

#include <chrono>

namespace fu::sim {

class SimTime {
 public:
  virtual ~SimTime() = default;
  virtual std::chrono::milliseconds Uptime() const = 0;
};

}  // namespace fu::sim
