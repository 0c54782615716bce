#pragma once
// Sleeps and today's date on Windows.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace fu {

class Win32Clock : public Clock {
 public:
  void Sleep(std::chrono::milliseconds duration) override;
  // GetTickCount, widened past its wrap-around.
  std::chrono::milliseconds Uptime() const override;
  // Today (local time) in the user's short date format.
  std::string ShortDate() override;
  // Now (local time), from GetLocalTime.
  std::string DateAndTime() override;

 private:
  mutable std::uint64_t ticks_ = 0;
};

// A date as GetDateFormatA writes it for the user's locale: after the picture
// ("dd.MM.yyyy") when one is given, else in the user's short date format. Empty
// when the system cannot format it.
std::string FormatDate(int year, int month, int day, std::string_view picture = {});

}  // namespace fu
