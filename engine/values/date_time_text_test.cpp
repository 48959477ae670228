// Date, time and timestamp texts and the calendar arithmetic behind them.
#include "engine/values/date_time_text.h"

#include <clocale>
#include <cstdio>
#include <random>

#include <gtest/gtest.h>

namespace quarry {
namespace {

TEST(DateText, ValidAndInvalidForms) {
  struct TCase {
    const char* Text;
    bool Valid;
    const char* Formatted;
  };
  const TCase cases[] = {{"1999-12-31", true, "1999-12-31"},
                         {"1999-2-3", true, "1999-02-03"},
                         {" 1999-12-31 ", true, "1999-12-31"},
                         {"2000-02-29", true, "2000-02-29"},
                         {"0001-01-01", true, "0001-01-01"},
                         {"9999-12-31", true, "9999-12-31"},
                         {"1999-02-30", false, ""},
                         {"1900-02-29", false, ""},
                         {"10000-01-01", false, ""},
                         {"0000-01-01", false, ""},
                         {"1999/12/31", false, ""},
                         {"1999-12", false, ""},
                         {"-1-1-1", false, ""},
                         {"", false, ""},
                         {"1999-12-31x", false, ""},
                         {"99999999999-1-1", false, ""},
                         {"1999-13-01", false, ""},
                         {"1999-00-10", false, ""},
                         {"1999--1", false, ""},
                         {"a-b-c", false, ""}};
  for (const auto& c : cases) {
    int32_t day = -1;
    EXPECT_EQ(ParseDateText(c.Text, day), c.Valid) << c.Text;
    if (c.Valid) {
      EXPECT_EQ(FormatDate(day), c.Formatted) << c.Text;
    }
  }
}

TEST(DateText, DayNumbers) {
  int32_t day = 0;
  ASSERT_TRUE(ParseDateText("0001-01-01", day));
  EXPECT_EQ(day, 1);
  EXPECT_EQ(ZeroDateDayNumber(), 693594);
  ASSERT_TRUE(ParseDateText("1970-01-01", day));
  EXPECT_EQ(day, 719163);
  // Every day of the calendar reads back as written.
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> days(1, 3652059);
  for (int i = 0; i < 20000; ++i) {
    const int32_t d = days(random);
    int32_t back = 0;
    ASSERT_TRUE(ParseDateText(FormatDate(d), back)) << d;
    ASSERT_EQ(back, d);
  }
}

TEST(DateText, WeekdaysAndWeeks) {
  struct TCase {
    const char* Date;
    int DayOfWeek;
    int Week;
    int DayOfYear;
  };
  const TCase cases[] = {{"2004-01-01", 4, 1, 1},    {"2004-01-04", 7, 1, 4},   {"2004-01-05", 1, 2, 5},
                         {"2004-12-31", 5, 53, 366}, {"2005-01-01", 6, 53, 1},  {"2010-01-03", 7, 53, 3},
                         {"2010-01-04", 1, 1, 4},    {"2008-12-29", 1, 1, 364}, {"0001-01-01", 1, 1, 1}};
  for (const auto& c : cases) {
    int32_t day = 0;
    ASSERT_TRUE(ParseDateText(c.Date, day));
    EXPECT_EQ(DayOfWeek(day), c.DayOfWeek) << c.Date;
    EXPECT_EQ(IsoWeek(day), c.Week) << c.Date;
    EXPECT_EQ(DayOfYear(day), c.DayOfYear) << c.Date;
  }
}

TEST(TimeText, ValidAndInvalidForms) {
  struct TCase {
    const char* Text;
    int32_t Ms;  // -1: invalid
    const char* Formatted;
  };
  const TCase cases[] = {{"10:30", 37800000, "10:30"},
                         {"10:30:15", 37815000, "10:30:15"},
                         {"10:30:15.5", 37815005, "10:30:15.5"},
                         {"00:00:00.999", 999, "00:00"},
                         {"23:59:59.999", 86399999, "23:59:59.999"},
                         {"7:5", 25500000, "07:05"},
                         {"12:00 AM", 0, "00:00"},
                         {"12:00 PM", 43200000, "12:00"},
                         {"1:00 pm", 46800000, "13:00"},
                         {"PM 2:00", 50400000, "14:00"},
                         {"11:59:59 pm", 86399000, "23:59:59"},
                         {"24:00", -1, ""},
                         {"10:60", -1, ""},
                         {"10", -1, ""},
                         {"13:00 PM", -1, ""},
                         {"0:00 AM", -1, ""},
                         {"10:30:15.1000", -1, ""},
                         {"10:30:60", -1, ""},
                         {"", -1, ""},
                         {"a:b", -1, ""}};
  for (const auto& c : cases) {
    int32_t ms = 0;
    EXPECT_EQ(ParseTimeText(c.Text, ms), c.Ms >= 0) << c.Text;
    if (c.Ms >= 0) {
      EXPECT_EQ(ms, c.Ms) << c.Text;
      EXPECT_EQ(FormatTime(ms), c.Formatted) << c.Text;
    }
  }
}

TEST(TimestampText, Forms) {
  double ts = 0;
  ASSERT_TRUE(ParseTimestampText("1999-12-31 10:30", ts));
  EXPECT_EQ(FormatTimestamp(ts), "1999-12-31 10:30");
  ASSERT_TRUE(ParseTimestampText("10:30", ts));
  EXPECT_EQ(FormatTimestamp(ts), "1899-12-30 10:30");
  ASSERT_TRUE(ParseTimestampText("1999-12-31", ts));
  EXPECT_EQ(FormatTimestamp(ts), "1999-12-31 00:00");
  ASSERT_TRUE(ParseTimestampText("1999-12-31 10:30 PM", ts));
  EXPECT_EQ(FormatTimestamp(ts), "1999-12-31 22:30");
  EXPECT_FALSE(ParseTimestampText("1999-12-31 25:00", ts));
  EXPECT_FALSE(ParseTimestampText("1999-12-32", ts));
  EXPECT_FALSE(ParseTimestampText("", ts));
  int64_t day = 0;
  int32_t ms = 0;
  SplitTimestamp(MakeTimestamp(730000, 1234), day, ms);
  EXPECT_EQ(day, 730000);
  EXPECT_EQ(ms, 1234);
  SplitTimestamp(1e300, day, ms);  // out of range: no undefined conversion
  SplitTimestamp(-1.0, day, ms);
  EXPECT_EQ(day, -1);
  EXPECT_EQ(ms, kMsPerDay - 1);
}

TEST(BooleanAndNumberText, Forms) {
  bool b = false;
  EXPECT_TRUE(ParseBooleanText("TRUE", b) && b);
  EXPECT_TRUE(ParseBooleanText("false", b) && !b);
  EXPECT_TRUE(ParseBooleanText("fAlSe", b) && !b);
  EXPECT_FALSE(ParseBooleanText("yes", b));
  EXPECT_EQ(FormatBoolean(true), "True");
  double d = 0;
  EXPECT_TRUE(ParseFloatText("1.5", d) && d == 1.5);
  EXPECT_TRUE(ParseFloatText("-2.5e3", d) && d == -2500);
  EXPECT_TRUE(ParseFloatText(" +4 ", d) && d == 4);
  for (const char* bad : {"1,5", "inf", "nan", "", ".", "1e", "--1", "0x10", "1.2.3"})
    EXPECT_FALSE(ParseFloatText(bad, d)) << bad;
  EXPECT_EQ(InvalidDateMessage("x"), "'x' is not a valid date");
  EXPECT_EQ(InvalidTimeMessage("x"), "'x' is not a valid time");
  EXPECT_EQ(InvalidTimestampMessage("x"), "'x' is not a valid date and time");
  EXPECT_EQ(InvalidBooleanMessage("x"), "'x' is not a valid boolean");
}

TEST(BooleanAndNumberText, IndependentOfTheUsersLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  double d = 0;
  EXPECT_TRUE(ParseFloatText("1.5", d));
  EXPECT_EQ(d, 1.5);
  EXPECT_EQ(FormatFloat(1.5), "1.5");
  EXPECT_EQ(FormatFloat(1e21), "1e+21");
  std::setlocale(LC_ALL, saved.c_str());
  if (!german) std::printf("no German locale installed: checked under the C locale only\n");
}

TEST(Clock, CurrentValuesAreConsistent) {
  const int32_t today = CurrentDayNumber();
  const double now = CurrentTimestamp();
  int64_t day = 0;
  int32_t ms = 0;
  SplitTimestamp(now, day, ms);
  EXPECT_LE(day - today, 1);
  EXPECT_GE(CurrentTimeOfDay(), 0);
  EXPECT_LT(CurrentTimeOfDay(), kMsPerDay);
}

}  // namespace
}  // namespace quarry
