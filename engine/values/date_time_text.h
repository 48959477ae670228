// Dates, times and timestamps of the expression engine: the calendar arithmetic of the
// value encodings and their text forms, which never depend on the user's locale.
//
// Encodings (as in records):
//   date       int32 day number, 0001-01-01 is day 1 (proleptic Gregorian calendar)
//   time       int32 milliseconds since midnight
//   timestamp  double, day number * 86,400,000 + milliseconds since midnight
//
// Text forms:
//   date       year-month-day, decimal parts, one-digit month and day accepted (1999-2-3)
//   time       hh:mm[:ss[.zzz]], AM or PM anywhere (any case) makes hh a 12-hour value
//   timestamp  date, blank, time; without a blank a text containing ':' is a time on
//              1899-12-30, any other a date at midnight
//   boolean    TRUE or FALSE in any case
// Formatting writes yyyy-mm-dd, hh:mm then :ss only when the seconds are non-zero and .z
// (milliseconds, not zero-padded) only when seconds and milliseconds are both non-zero.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quarry {

inline constexpr int64_t kMsPerDay = 86400000;

struct TCivilDate {
  int64_t Year = 1;
  int Month = 1;
  int Day = 1;
};

int64_t DayNumberFromCivil(int64_t year, int month, int day);
TCivilDate CivilFromDayNumber(int64_t dayNumber);
bool IsValidCivilDate(int64_t year, int month, int day);

// Day number of 1899-12-30, the date of a time-only timestamp and of an unconvertible date.
int32_t ZeroDateDayNumber();

// 1 for Monday to 7 for Sunday.
int DayOfWeek(int64_t dayNumber);
// 1 for 1 January.
int DayOfYear(int64_t dayNumber);
// ISO 8601 week number (weeks start on Monday; week 1 holds 4 January).
int IsoWeek(int64_t dayNumber);

// Splits a timestamp into its day number and milliseconds since midnight.
void SplitTimestamp(double timestamp, int64_t& dayNumber, int32_t& milliseconds);
double MakeTimestamp(int64_t dayNumber, int64_t milliseconds);

bool ParseDateText(std::string_view text, int32_t& dayNumber);
bool ParseTimeText(std::string_view text, int32_t& milliseconds);
bool ParseTimestampText(std::string_view text, double& timestamp);
bool ParseBooleanText(std::string_view text, bool& value);

std::string FormatDate(int64_t dayNumber);
std::string FormatTime(int64_t milliseconds);
std::string FormatTimestamp(double timestamp);
std::string FormatBoolean(bool value);
// A double with '.' as the decimal separator, shortest text that reads back the same.
std::string FormatFloat(double value);
// Reads a decimal number with '.' as separator (optional sign, fraction, exponent); the
// whole text after trimming blanks must be used.
bool ParseFloatText(std::string_view text, double& value);
bool ParseInt64Text(std::string_view text, int64_t& value);

// The messages of failed conversions: "'%s' is not a valid date" and friends.
std::string InvalidDateMessage(std::string_view text);
std::string InvalidTimeMessage(std::string_view text);
std::string InvalidTimestampMessage(std::string_view text);
std::string InvalidBooleanMessage(std::string_view text);

// The local date and time now, from the platform clock.
int32_t CurrentDayNumber();
int32_t CurrentTimeOfDay();
double CurrentTimestamp();

}  // namespace quarry
