// Calendar arithmetic and the locale-independent text forms of dates, times and timestamps.
#include "engine/values/date_time_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "engine/platform/environment.h"
#include "engine/platform/text_names.h"

namespace quarry {

namespace {

// Days between 1970-01-01 and the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Day number of 1970-01-01 (0001-01-01 being day 1).
constexpr int64_t kUnixEpochDayNumber = 719163;

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// A run of 1 to 9 decimal digits.
bool ParseDigits(std::string_view s, int64_t& value) {
  if (s.empty() || s.size() > 9) return false;
  value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

}  // namespace

int64_t DayNumberFromCivil(int64_t year, int month, int day) {
  return DaysFromCivil(year, month, day) + kUnixEpochDayNumber;
}

TCivilDate CivilFromDayNumber(int64_t dayNumber) {
  const int64_t z = dayNumber - kUnixEpochDayNumber + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  TCivilDate date;
  date.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  date.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  date.Year = yoe + era * 400 + (date.Month <= 2);
  return date;
}

bool IsValidCivilDate(int64_t year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

int32_t ZeroDateDayNumber() { return static_cast<int32_t>(DayNumberFromCivil(1899, 12, 30)); }

int DayOfWeek(int64_t dayNumber) {
  // Day 1 (0001-01-01) was a Monday.
  int64_t r = (dayNumber - 1) % 7;
  if (r < 0) r += 7;
  return static_cast<int>(r) + 1;
}

int DayOfYear(int64_t dayNumber) {
  const TCivilDate d = CivilFromDayNumber(dayNumber);
  return static_cast<int>(dayNumber - DayNumberFromCivil(d.Year, 1, 1) + 1);
}

int IsoWeek(int64_t dayNumber) {
  // The week belongs to the year of its Thursday.
  const int64_t thursday = dayNumber - DayOfWeek(dayNumber) + 4;
  const TCivilDate d = CivilFromDayNumber(thursday);
  return static_cast<int>((thursday - DayNumberFromCivil(d.Year, 1, 1)) / 7 + 1);
}

void SplitTimestamp(double timestamp, int64_t& dayNumber, int32_t& milliseconds) {
  if (!std::isfinite(timestamp) || std::fabs(timestamp) > 9.0e17) {
    dayNumber = 0;
    milliseconds = 0;
    return;
  }
  const int64_t total = static_cast<int64_t>(std::floor(timestamp));
  int64_t days = total / kMsPerDay;
  int64_t ms = total % kMsPerDay;
  if (ms < 0) {
    ms += kMsPerDay;
    --days;
  }
  dayNumber = days;
  milliseconds = static_cast<int32_t>(ms);
}

double MakeTimestamp(int64_t dayNumber, int64_t milliseconds) {
  return static_cast<double>(dayNumber) * static_cast<double>(kMsPerDay) + static_cast<double>(milliseconds);
}

bool ParseDateText(std::string_view text, int32_t& dayNumber) {
  text = TrimmedView(text);
  const std::size_t a = text.find('-');
  if (a == std::string_view::npos) return false;
  const std::size_t b = text.find('-', a + 1);
  if (b == std::string_view::npos) return false;
  int64_t y, m, d;
  if (!ParseDigits(text.substr(0, a), y) || !ParseDigits(text.substr(a + 1, b - a - 1), m) ||
      !ParseDigits(text.substr(b + 1), d))
    return false;
  if (!IsValidCivilDate(y, static_cast<int>(m), static_cast<int>(d))) return false;
  dayNumber = static_cast<int32_t>(DayNumberFromCivil(y, static_cast<int>(m), static_cast<int>(d)));
  return true;
}

bool ParseTimeText(std::string_view original, int32_t& milliseconds) {
  std::string text(original);
  int meridiem = 0;  // 1 AM, 2 PM
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    const char c0 = static_cast<char>(text[i] & ~0x20), c1 = static_cast<char>(text[i + 1] & ~0x20);
    if ((c0 == 'A' || c0 == 'P') && c1 == 'M') {
      meridiem = c0 == 'A' ? 1 : 2;
      text.erase(i, 2);
      break;
    }
  }
  std::string_view s = TrimmedView(text);
  const std::size_t c1 = s.find(':');
  if (c1 == std::string_view::npos) return false;
  int64_t h, m, sec = 0, ms = 0;
  if (!ParseDigits(s.substr(0, c1), h)) return false;
  std::string_view rest = s.substr(c1 + 1);
  const std::size_t c2 = rest.find(':');
  if (c2 == std::string_view::npos) {
    if (!ParseDigits(rest, m)) return false;
  } else {
    if (!ParseDigits(rest.substr(0, c2), m)) return false;
    std::string_view secs = rest.substr(c2 + 1);
    const std::size_t dot = secs.find('.');
    if (dot == std::string_view::npos) {
      if (!ParseDigits(secs, sec)) return false;
    } else if (!ParseDigits(secs.substr(0, dot), sec) || !ParseDigits(secs.substr(dot + 1), ms)) {
      return false;
    }
  }
  if (meridiem != 0) {
    if (h < 1 || h > 12) return false;
    if (meridiem == 1) h = h == 12 ? 0 : h;
    else h = h == 12 ? 12 : h + 12;
  }
  if (h > 23 || m > 59 || sec > 59 || ms > 999) return false;
  milliseconds = static_cast<int32_t>(((h * 60 + m) * 60 + sec) * 1000 + ms);
  return true;
}

bool ParseTimestampText(std::string_view text, double& timestamp) {
  text = TrimmedView(text);
  const std::size_t blank = text.find(' ');
  int32_t day = ZeroDateDayNumber(), ms = 0;
  if (blank != std::string_view::npos) {
    if (!ParseDateText(text.substr(0, blank), day) || !ParseTimeText(text.substr(blank + 1), ms)) return false;
  } else if (text.find(':') != std::string_view::npos) {
    if (!ParseTimeText(text, ms)) return false;
  } else if (!ParseDateText(text, day)) {
    return false;
  }
  timestamp = MakeTimestamp(day, ms);
  return true;
}

bool ParseBooleanText(std::string_view text, bool& value) {
  text = TrimmedView(text);
  if (text.size() == 4 && (text[0] | 0x20) == 't' && (text[1] | 0x20) == 'r' && (text[2] | 0x20) == 'u' &&
      (text[3] | 0x20) == 'e') {
    value = true;
    return true;
  }
  if (text.size() == 5 && (text[0] | 0x20) == 'f' && (text[1] | 0x20) == 'a' && (text[2] | 0x20) == 'l' &&
      (text[3] | 0x20) == 's' && (text[4] | 0x20) == 'e') {
    value = false;
    return true;
  }
  return false;
}

std::string FormatDate(int64_t dayNumber) {
  const TCivilDate d = CivilFromDayNumber(dayNumber);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04lld-%02d-%02d", static_cast<long long>(d.Year), d.Month, d.Day);
  return buf;
}

std::string FormatTime(int64_t milliseconds) {
  milliseconds %= kMsPerDay;
  if (milliseconds < 0) milliseconds += kMsPerDay;
  const int h = static_cast<int>(milliseconds / 3600000);
  const int m = static_cast<int>(milliseconds / 60000 % 60);
  const int s = static_cast<int>(milliseconds / 1000 % 60);
  const int ms = static_cast<int>(milliseconds % 1000);
  char buf[32];
  if (s == 0) std::snprintf(buf, sizeof buf, "%02d:%02d", h, m);
  else if (ms == 0) std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, m, s);
  else std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%d", h, m, s, ms);
  return buf;
}

std::string FormatTimestamp(double timestamp) {
  int64_t day;
  int32_t ms;
  SplitTimestamp(timestamp, day, ms);
  return FormatDate(day) + " " + FormatTime(ms);
}

std::string FormatBoolean(bool value) { return value ? "True" : "False"; }

std::string FormatFloat(double value) {
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

bool ParseFloatText(std::string_view text, double& value) {
  text = TrimmedView(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // Only decimal forms: a digit or a point must come first (no "inf", "nan").
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return false;
  double parsed = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
  if (!std::isfinite(parsed)) return false;
  value = negative ? -parsed : parsed;
  return true;
}

bool ParseInt64Text(std::string_view text, int64_t& value) {
  text = TrimmedView(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

std::string InvalidDateMessage(std::string_view text) { return "'" + std::string(text) + "' is not a valid date"; }
std::string InvalidTimeMessage(std::string_view text) { return "'" + std::string(text) + "' is not a valid time"; }
std::string InvalidTimestampMessage(std::string_view text) {
  return "'" + std::string(text) + "' is not a valid date and time";
}
std::string InvalidBooleanMessage(std::string_view text) {
  return "'" + std::string(text) + "' is not a valid boolean";
}

int32_t CurrentDayNumber() {
  const TLocalTime now = DefaultEnvironment().LocalTime();
  return static_cast<int32_t>(DayNumberFromCivil(now.year, now.month, now.day));
}

int32_t CurrentTimeOfDay() {
  const TLocalTime now = DefaultEnvironment().LocalTime();
  const int second = now.second > 59 ? 59 : now.second;
  return ((now.hour * 60 + now.minute) * 60 + second) * 1000 + now.millisecond;
}

double CurrentTimestamp() {
  const TLocalTime now = DefaultEnvironment().LocalTime();
  const int second = now.second > 59 ? 59 : now.second;
  return MakeTimestamp(DayNumberFromCivil(now.year, now.month, now.day),
                       ((now.hour * 60 + now.minute) * 60 + second) * 1000 + now.millisecond);
}

}  // namespace quarry
