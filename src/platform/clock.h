#pragma once
// Port: fixed waits, the time since start and today's date as the user writes it.

#include <chrono>
#include <string>

namespace fu {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
  // Milliseconds since some fixed point, never going back (the protocol's times).
  virtual std::chrono::milliseconds Uptime() const = 0;
  // Today's date in the user's short date format (for example "05.03.2003" or
  // "3/5/2003"), as code page 1252 text.
  virtual std::string ShortDate() = 0;
};

}  // namespace fu
