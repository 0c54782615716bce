#pragma once
// A short date picture in the style of the Windows regional settings, such as
// "dd.MM.yyyy" or "M/d/yyyy". Elements: d and dd (day), M and MM (month), MMM
// and MMMM (the month's German name, short and whole, in code page 1252), y
// (year in the century without a leading zero), yy (two digits) and yyyy (the
// full year; longer runs of y mean the same). Text in single quotes is literal,
// '' stands for one quote, and every other character is copied. Day names
// (ddd) and the era (g) are refused.

#include <chrono>
#include <string>
#include <string_view>

namespace fu::sim {

class ShortDatePicture {
 public:
  // Throws std::invalid_argument for an element that is not supported.
  explicit ShortDatePicture(std::string_view picture);

  // The date as code page 1252 text (literals are copied byte by byte).
  std::string Format(std::chrono::year_month_day date) const;
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace fu::sim
