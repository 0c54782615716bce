#include "sim/short_date_picture.h"

#include <stdexcept>

namespace fu::sim {

namespace {

// The month names of a German Windows, in code page 1252.
constexpr std::string_view kMonthNames[] = {"Januar",    "Februar", "M\xE4rz",  "April",
                                            "Mai",       "Juni",    "Juli",     "August",
                                            "September", "Oktober", "November", "Dezember"};
constexpr std::string_view kMonthAbbreviations[] = {"Jan", "Feb", "M\xE4r", "Apr", "Mai", "Jun",
                                                    "Jul", "Aug", "Sep",    "Okt", "Nov", "Dez"};

void AppendNumber(std::string& out, int value, int min_digits) {
  std::string digits = std::to_string(value);
  if (digits.size() < static_cast<std::size_t>(min_digits)) {
    out.append(static_cast<std::size_t>(min_digits) - digits.size(), '0');
  }
  out += digits;
}

// Runs the picture; with date == nullptr it only checks it.
void Walk(std::string_view picture, const std::chrono::year_month_day* date, std::string& out) {
  std::size_t i = 0;
  while (i < picture.size()) {
    const char c = picture[i];
    if (c == '\'') {
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += picture[i++];
      }
      continue;
    }
    if (c != 'd' && c != 'M' && c != 'y' && c != 'g') {
      out += c;
      ++i;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) {
      ++run;
    }
    i += run;
    if (c == 'g' || (c == 'd' && run > 2) || (c == 'M' && run > 4)) {
      throw std::invalid_argument("short date picture element not supported: " +
                                  std::string(run, c));
    }
    if (date == nullptr) {
      continue;
    }
    const int year = static_cast<int>(date->year());
    switch (c) {
      case 'd':
        AppendNumber(out, static_cast<int>(static_cast<unsigned>(date->day())),
                     static_cast<int>(run));
        break;
      case 'M': {
        const unsigned month = static_cast<unsigned>(date->month());
        if (run <= 2) {
          AppendNumber(out, static_cast<int>(month), static_cast<int>(run));
        } else {
          out += (run == 3 ? kMonthAbbreviations : kMonthNames)[month - 1];
        }
        break;
      }
      default:  // 'y'
        if (run <= 2) {
          AppendNumber(out, year % 100, static_cast<int>(run));
        } else {
          AppendNumber(out, year, 4);
        }
        break;
    }
  }
}

}  // namespace

ShortDatePicture::ShortDatePicture(std::string_view picture) : text_(picture) {
  std::string ignored;
  Walk(text_, nullptr, ignored);
}

std::string ShortDatePicture::Format(std::chrono::year_month_day date) const {
  std::string out;
  Walk(text_, &date, out);
  return out;
}

}  // namespace fu::sim
