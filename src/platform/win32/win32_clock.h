#pragma once
// Sleeps and today's date on Windows.

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace fu {

class Win32Clock : public Clock {
 public:
  void Sleep(std::chrono::milliseconds duration) override;
  // Today (local time) in the user's short date format.
  std::string ShortDate() override;
};

// A date as GetDateFormatA writes it for the user's locale: after the picture
// ("dd.MM.yyyy") when one is given, else in the user's short date format. Empty
// when the system cannot format it.
std::string FormatDate(int year, int month, int day, std::string_view picture = {});

}  // namespace fu
