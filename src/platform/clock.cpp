#include "platform/clock.h"

#include <cstdio>

namespace fu {

std::string DateAndTimeText(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                            unsigned second) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u.%02u.%04d %02u:%02u:%02u", day % 100, month % 100,
                year % 10000, hour % 100, minute % 100, second % 100);
  return text;
}

}  // namespace fu
