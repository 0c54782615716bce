#include "platform/win32/win32_clock.h"

#include <algorithm>
#include <vector>

#include "platform/win32/tick_count.h"
#include "platform/win32/windows_api.h"

namespace fu {

namespace {

std::string Format(const SYSTEMTIME& date, std::string_view picture) {
  const std::string format(picture);
  const DWORD flags = picture.empty() ? DATE_SHORTDATE : 0;
  const char* const pattern = picture.empty() ? nullptr : format.c_str();
  const int size = ::GetDateFormatA(LOCALE_USER_DEFAULT, flags, &date, pattern, nullptr, 0);
  if (size <= 0) {
    return {};
  }
  std::vector<char> text(static_cast<std::size_t>(size));
  const int written =
      ::GetDateFormatA(LOCALE_USER_DEFAULT, flags, &date, pattern, text.data(), size);
  if (written <= 0) {
    return {};
  }
  return std::string(text.data(), static_cast<std::size_t>(written - 1));  // without the zero
}

}  // namespace

void Win32Clock::Sleep(std::chrono::milliseconds duration) {
  // INFINITE (0xFFFFFFFF) would never return: the longest wait is one below it.
  const auto ms = std::clamp<std::chrono::milliseconds::rep>(duration.count(), 0, INFINITE - 1);
  ::Sleep(static_cast<DWORD>(ms));
}

std::chrono::milliseconds Win32Clock::Uptime() const {
  ticks_ = WidenTickCount(::GetTickCount(), ticks_);
  return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(ticks_));
}

std::string Win32Clock::ShortDate() {
  SYSTEMTIME today{};
  ::GetLocalTime(&today);
  return Format(today, {});
}

std::string Win32Clock::DateAndTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return DateAndTimeText(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

std::string FormatDate(int year, int month, int day, std::string_view picture) {
  SYSTEMTIME date{};
  date.wYear = static_cast<WORD>(year);
  date.wMonth = static_cast<WORD>(month);
  date.wDay = static_cast<WORD>(day);
  return Format(date, picture);
}

}  // namespace fu
