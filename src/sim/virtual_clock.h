#pragma once
// A clock for the simulated PC that never waits: Sleep moves a simulated local
// date-time forward at once and keeps account of the time slept, so tests run
// fast and can see how long the code would have waited.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "sim/short_date_picture.h"
#include "sim/sim_time.h"

namespace fu::sim {

// A local date and time as the user's desktop shows it (no time zone, no
// daylight saving).
struct LocalDateTime {
  int year = 2003;
  unsigned month = 3;  // 1..12
  unsigned day = 5;    // 1..31
  unsigned hour = 10;
  unsigned minute = 0;
  unsigned second = 0;
  unsigned millisecond = 0;

  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

class VirtualClock : public fu::Clock, public SimTime {
 public:
  // Starts at 2003-03-05 10:00:00.000 with the picture dd.MM.yyyy.
  VirtualClock();
  // Throws std::invalid_argument for a date that does not exist or a time
  // outside the day, and for an unsupported picture.
  explicit VirtualClock(const LocalDateTime& start, std::string_view picture = "dd.MM.yyyy");

  // Negative durations count as zero, as a wait cannot go back.
  void Sleep(std::chrono::milliseconds duration) override;
  std::string ShortDate() override;
  std::string DateAndTime() override;

  void Set(const LocalDateTime& now);
  LocalDateTime Now() const;
  // Moves the time on without counting it as slept: time passing between two
  // user actions.
  void Advance(std::chrono::milliseconds duration);
  // The time slept and advanced since the clock was made; Set leaves it alone.
  std::chrono::milliseconds Uptime() const override { return uptime_; }

  void SetShortDatePicture(std::string_view picture) { picture_ = ShortDatePicture(picture); }
  const std::string& ShortDatePictureText() const { return picture_.Text(); }

  std::chrono::milliseconds TotalSlept() const { return slept_; }
  std::int64_t Sleeps() const { return sleeps_; }

 private:
  using TimePoint = std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds>;

  TimePoint now_;
  ShortDatePicture picture_;
  std::chrono::milliseconds slept_{0};
  std::chrono::milliseconds uptime_{0};
  std::int64_t sleeps_ = 0;
};

}  // namespace fu::sim
