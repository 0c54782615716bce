#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "sim/system_clock.h"
#include "sim/virtual_clock.h"

namespace fu::sim {
namespace {

using namespace std::chrono_literals;

LocalDateTime At(int year, unsigned month, unsigned day, unsigned hour = 10, unsigned minute = 0,
                 unsigned second = 0, unsigned millisecond = 0) {
  return LocalDateTime{year, month, day, hour, minute, second, millisecond};
}

TEST(ShortDatePicture, FormatsTheElementsOfTheRegionalSettings) {
  struct Case {
    std::string picture;
    std::string on_5_march_2003;
    std::string on_25_november_2010;
  };
  const std::vector<Case> cases = {
      {"dd.MM.yyyy", "05.03.2003", "25.11.2010"},
      {"d.M.yyyy", "5.3.2003", "25.11.2010"},
      {"M/d/yyyy", "3/5/2003", "11/25/2010"},
      {"yyyy-MM-dd", "2003-03-05", "2010-11-25"},
      {"dd.MM.yy", "05.03.03", "25.11.10"},
      {"d.M.y", "5.3.3", "25.11.10"},
      {"yyyyy", "2003", "2010"},
      {"'Tag' d", "Tag 5", "Tag 25"},
      {"d'd''M'M", "5d'M3", "25d'M11"},
      {std::string("dd 'Mär'"_cp), std::string("05 Mär"_cp), std::string("25 Mär"_cp)},
      {"'open d", "open d", "open d"},
      {"dd-MMM-yy", std::string("05-Mär-03"_cp), "25-Nov-10"},
      {"d. MMMM yyyy", std::string("5. März 2003"_cp), "25. November 2010"},
  };
  for (const Case& c : cases) {
    const ShortDatePicture picture(c.picture);
    EXPECT_EQ(picture.Format(2003y / 3 / 5), c.on_5_march_2003) << c.picture;
    EXPECT_EQ(picture.Format(2010y / 11 / 25), c.on_25_november_2010) << c.picture;
  }
  EXPECT_EQ(ShortDatePicture("yyyy").Format(987y / 1 / 2), "0987");
}

TEST(ShortDatePicture, RefusesDayNamesAndEras) {
  for (const char* picture : {"ddd d.M.yyyy", "dddd", "MMMMM", "gg yyyy"}) {
    EXPECT_THROW(ShortDatePicture{picture}, std::invalid_argument) << picture;
  }
  VirtualClock clock;
  EXPECT_THROW(clock.SetShortDatePicture("dddd"), std::invalid_argument);
  EXPECT_EQ(clock.ShortDatePictureText(), "dd.MM.yyyy");
  EXPECT_EQ(clock.ShortDate(), "05.03.2003");
}

TEST(VirtualClock, SleepMovesTimeAtOnceAndIsAccountedFor) {
  VirtualClock clock;
  EXPECT_EQ(clock.Now(), At(2003, 3, 5));
  clock.Sleep(10ms);
  clock.Sleep(1250ms);
  clock.Sleep(-5ms);
  EXPECT_EQ(clock.Sleeps(), 3);
  EXPECT_EQ(clock.TotalSlept(), 1260ms);
  EXPECT_EQ(clock.Now(), At(2003, 3, 5, 10, 0, 1, 260));

  clock.Advance(std::chrono::hours{2});
  EXPECT_EQ(clock.TotalSlept(), 1260ms);
  EXPECT_EQ(clock.Sleeps(), 3);
  EXPECT_EQ(clock.Now(), At(2003, 3, 5, 12, 0, 1, 260));

  // The cards' time counts sleeps and advances; setting the date leaves it.
  EXPECT_EQ(clock.Uptime(), 2h + 1260ms);
  clock.Set(At(2001, 1, 1));
  clock.Advance(-5ms);
  EXPECT_EQ(clock.Uptime(), 2h + 1260ms);
}

TEST(VirtualClock, DateTurnsOverJustAfterMidnight) {
  struct Case {
    LocalDateTime before;
    std::string date_before;
    std::string date_after;
  };
  const std::vector<Case> cases = {
      {At(2003, 3, 5), "05.03.2003", "06.03.2003"},   {At(2003, 4, 30), "30.04.2003", "01.05.2003"},
      {At(2003, 1, 31), "31.01.2003", "01.02.2003"},  {At(2003, 2, 28), "28.02.2003", "01.03.2003"},
      {At(2004, 2, 28), "28.02.2004", "29.02.2004"},  {At(2004, 2, 29), "29.02.2004", "01.03.2004"},
      {At(2000, 2, 28), "28.02.2000", "29.02.2000"},  // divisible by 400: a leap year
      {At(1900, 2, 28), "28.02.1900", "01.03.1900"},  // divisible by 100: none
      {At(2003, 12, 31), "31.12.2003", "01.01.2004"},
  };
  for (Case c : cases) {
    c.before.hour = 23;
    c.before.minute = 59;
    c.before.second = 59;
    c.before.millisecond = 990;
    VirtualClock clock(c.before);
    EXPECT_EQ(clock.ShortDate(), c.date_before);
    clock.Sleep(9ms);
    EXPECT_EQ(clock.ShortDate(), c.date_before);
    clock.Sleep(11ms);
    EXPECT_EQ(clock.ShortDate(), c.date_after);
    EXPECT_EQ(clock.Now().hour, 0u);
    EXPECT_EQ(clock.Now().millisecond, 10u);
  }
}

TEST(VirtualClock, LongWaitsCountCalendarDays) {
  VirtualClock clock(At(2003, 3, 5), "yyyy-MM-dd");
  clock.Sleep(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::days{366}));
  EXPECT_EQ(clock.ShortDate(), "2004-03-05");  // 2004-02-29 lies between
  clock.Advance(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::days{365}));
  EXPECT_EQ(clock.ShortDate(), "2005-03-05");
  clock.SetShortDatePicture("M/d/yyyy");
  EXPECT_EQ(clock.ShortDate(), "3/5/2005");
}

TEST(VirtualClock, RefusesDatesAndTimesThatDoNotExist) {
  for (const LocalDateTime& bad :
       {At(2003, 2, 29), At(1900, 2, 29), At(2003, 4, 31), At(2003, 13, 1), At(2003, 3, 0),
        At(2003, 3, 5, 24), At(2003, 3, 5, 23, 60), At(2003, 3, 5, 23, 59, 59, 1000)}) {
    EXPECT_THROW(VirtualClock{bad}, std::invalid_argument);
  }
  VirtualClock clock;
  clock.Set(At(2004, 2, 29, 23, 59, 59, 999));
  EXPECT_EQ(clock.Now(), At(2004, 2, 29, 23, 59, 59, 999));
  EXPECT_EQ(clock.ShortDate(), "29.02.2004");
}

// The host clock's date cannot be predicted; only its shape is checked, and
// nothing waits.
TEST(SystemClock, FormatsTodayWithItsPicture) {
  SystemClock german;
  EXPECT_TRUE(std::regex_match(german.ShortDate(), std::regex(R"(\d\d\.\d\d\.\d{4})")));
  SystemClock us("M/d/yyyy");
  EXPECT_TRUE(std::regex_match(us.ShortDate(), std::regex(R"(\d{1,2}/\d{1,2}/\d{4})")));
  EXPECT_EQ(SystemClock("'heute'").ShortDate(), "heute");
  EXPECT_THROW(SystemClock("dddd"), std::invalid_argument);
}

}  // namespace
}  // namespace fu::sim
