#pragma once
// The host's clock for runs of the simulated PC outside tests: Sleep really
// waits, and ShortDate is today's local date in a picture of the simulated
// PC's regional settings.

#include <chrono>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "sim/short_date_picture.h"
#include "sim/sim_time.h"

namespace fu::sim {

class SystemClock : public fu::Clock, public SimTime {
 public:
  // Throws std::invalid_argument for an unsupported picture.
  explicit SystemClock(std::string_view picture = "dd.MM.yyyy") : picture_(picture) {}

  void Sleep(std::chrono::milliseconds duration) override;
  std::string ShortDate() override;
  // The host's local time (universal time when it knows none).
  std::string DateAndTime() override;
  // The host's steady clock.
  std::chrono::milliseconds Uptime() const override;

  const std::string& ShortDatePictureText() const { return picture_.Text(); }

 private:
  ShortDatePicture picture_;
};

}  // namespace fu::sim
