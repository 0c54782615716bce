#pragma once
// Port: fixed waits, the time since start, today's date as the user writes it,
// and the local date and time of day for the protocol's and journal's stamps.

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
  // The local date and time of day in one fixed form, whatever the user's
  // formats, so that support reads every stamp alike: "05.03.2003 14:07:09".
  virtual std::string DateAndTime() = 0;
};

// A local date and time of day in the form of Clock::DateAndTime.
std::string DateAndTimeText(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                            unsigned second);

}  // namespace fu
