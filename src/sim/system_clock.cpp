#include "sim/system_clock.h"

#include <ctime>
#include <thread>

namespace fu::sim {

void SystemClock::Sleep(std::chrono::milliseconds duration) {
  if (duration > std::chrono::milliseconds::zero()) {
    std::this_thread::sleep_for(duration);
  }
}

std::chrono::milliseconds SystemClock::Uptime() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

std::string SystemClock::ShortDate() {
  const std::time_t now = std::time(nullptr);
  // The universal date stands in when the host knows no local time.
  std::chrono::year_month_day date{
      std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
  // std::localtime shares one buffer per program; the date is copied out at once.
  if (const std::tm* local = std::localtime(&now); local != nullptr) {
    date = std::chrono::year_month_day{std::chrono::year{local->tm_year + 1900},
                                       std::chrono::month{static_cast<unsigned>(local->tm_mon + 1)},
                                       std::chrono::day{static_cast<unsigned>(local->tm_mday)}};
  }
  return picture_.Format(date);
}

std::string SystemClock::DateAndTime() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  if (const std::tm* local = std::localtime(&now); local != nullptr) {
    parts = *local;
  } else if (const std::tm* utc = std::gmtime(&now); utc != nullptr) {
    parts = *utc;
  }
  return DateAndTimeText(parts.tm_year + 1900, static_cast<unsigned>(parts.tm_mon + 1),
                         static_cast<unsigned>(parts.tm_mday), static_cast<unsigned>(parts.tm_hour),
                         static_cast<unsigned>(parts.tm_min), static_cast<unsigned>(parts.tm_sec));
}

}  // namespace fu::sim
