#include "sim/virtual_clock.h"

#include <algorithm>
#include <stdexcept>

namespace fu::sim {

namespace {

using std::chrono::days;
using std::chrono::floor;
using std::chrono::milliseconds;

}  // namespace

VirtualClock::VirtualClock() : VirtualClock(LocalDateTime{}) {}

VirtualClock::VirtualClock(const LocalDateTime& start, std::string_view picture)
    : picture_(picture) {
  Set(start);
}

void VirtualClock::Set(const LocalDateTime& now) {
  const std::chrono::year_month_day date{std::chrono::year{now.year}, std::chrono::month{now.month},
                                         std::chrono::day{now.day}};
  if (!date.ok()) {
    throw std::invalid_argument("no such date");
  }
  if (now.hour > 23 || now.minute > 59 || now.second > 59 || now.millisecond > 999) {
    throw std::invalid_argument("no such time of day");
  }
  now_ = TimePoint{std::chrono::sys_days{date}} + std::chrono::hours{now.hour} +
         std::chrono::minutes{now.minute} + std::chrono::seconds{now.second} +
         milliseconds{now.millisecond};
}

LocalDateTime VirtualClock::Now() const {
  const auto day_start = floor<days>(now_);
  const std::chrono::year_month_day date{day_start};
  const std::chrono::hh_mm_ss time{now_ - day_start};
  return LocalDateTime{
      .year = static_cast<int>(date.year()),
      .month = static_cast<unsigned>(date.month()),
      .day = static_cast<unsigned>(date.day()),
      .hour = static_cast<unsigned>(time.hours().count()),
      .minute = static_cast<unsigned>(time.minutes().count()),
      .second = static_cast<unsigned>(time.seconds().count()),
      .millisecond = static_cast<unsigned>(time.subseconds().count()),
  };
}

void VirtualClock::Sleep(milliseconds duration) {
  if (duration < milliseconds::zero()) {
    duration = milliseconds::zero();
  }
  now_ += duration;
  uptime_ += duration;
  slept_ += duration;
  ++sleeps_;
}

void VirtualClock::Advance(milliseconds duration) {
  now_ += duration;
  uptime_ += std::max(duration, milliseconds::zero());
}

std::string VirtualClock::ShortDate() {
  return picture_.Format(std::chrono::year_month_day{floor<days>(now_)});
}

std::string VirtualClock::DateAndTime() {
  const LocalDateTime now = Now();
  return DateAndTimeText(now.year, now.month, now.day, now.hour, now.minute, now.second);
}

}  // namespace fu::sim
