// The built-in check of minimum, maximum and default texts of field definitions.
#include "engine/storage/data/value_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/values/date_time_text.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

bool ParseInteger(std::string_view t, std::int64_t low, std::int64_t high) {
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  return ec == std::errc() && end == t.data() + t.size() && value >= low && value <= high;
}

bool ParseNumber(std::string_view t, double& value) {
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  if (t.empty()) return false;
  // Only plain decimal notation with an optional exponent.
  for (char c : t)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == 'e' || c == 'E' || c == '+'))
      return false;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  return ec == std::errc() && end == t.data() + t.size() && std::isfinite(value);
}

// Reads exactly `digits` digits (or 1..digits when exact is false) as a number.
bool ReadDigits(std::string_view& t, int minDigits, int maxDigits, int& value) {
  int n = 0;
  value = 0;
  while (n < maxDigits && !t.empty() && std::isdigit(static_cast<unsigned char>(t.front()))) {
    value = value * 10 + (t.front() - '0');
    t.remove_prefix(1);
    ++n;
  }
  return n >= minDigits;
}

bool Expect(std::string_view& t, char c) {
  if (t.empty() || t.front() != c) return false;
  t.remove_prefix(1);
  return true;
}

bool ParseDate(std::string_view& t) {
  int y, m, d;
  if (!ReadDigits(t, 1, 4, y) || !Expect(t, '-') || !ReadDigits(t, 1, 2, m) || !Expect(t, '-') ||
      !ReadDigits(t, 1, 2, d))
    return false;
  if (y < 1 || m < 1 || m > 12 || d < 1) return false;
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + ((m == 2 && leap) ? 1 : 0);
}

bool ParseTime(std::string_view& t) {
  int h, m, s = 0, ms = 0;
  if (!ReadDigits(t, 1, 2, h) || !Expect(t, ':') || !ReadDigits(t, 1, 2, m)) return false;
  if (!t.empty() && t.front() == ':') {
    t.remove_prefix(1);
    if (!ReadDigits(t, 1, 2, s)) return false;
    if (!t.empty() && t.front() == '.') {
      t.remove_prefix(1);
      if (!ReadDigits(t, 1, 3, ms)) return false;
    }
  }
  std::string_view rest = TrimmedView(t);
  if (SameTextIgnoringCase(rest, "AM") || SameTextIgnoringCase(rest, "PM")) {
    if (h < 1 || h > 12) return false;
    t = {};
  }
  return h <= 23 && m <= 59 && s <= 59;
}

}  // namespace

bool IsValidValueText(const TFieldDefinition& field, std::string_view text) {
  const std::string_view t = TrimmedView(text);
  double number = 0;
  switch (field.DataType) {
  case TFieldType::String: return text.size() <= field.Size;
  case TFieldType::Boolean: return SameTextIgnoringCase(t, "TRUE") || SameTextIgnoringCase(t, "FALSE");
  case TFieldType::SmallInt: return ParseInteger(t, INT16_MIN, INT16_MAX);
  case TFieldType::Word: return ParseInteger(t, 0, UINT16_MAX);
  case TFieldType::Integer: return ParseInteger(t, INT32_MIN, INT32_MAX);
  case TFieldType::Cardinal: return ParseInteger(t, 0, UINT32_MAX);
  case TFieldType::LargeInt: return ParseInteger(t, INT64_MIN, INT64_MAX);
  case TFieldType::Float:
  case TFieldType::Extended: return ParseNumber(t, number);
  case TFieldType::Bcd:
    // Fixed-point with four decimal places: about +-922 trillion.
    return ParseNumber(t, number) && std::fabs(number) < 9.2e14;
  case TFieldType::Date: {
    if (SameTextIgnoringCase(t, "CURRENT_DATE")) return true;
    std::string_view rest = t;
    return ParseDate(rest) && rest.empty();
  }
  case TFieldType::Time: {
    if (SameTextIgnoringCase(t, "CURRENT_TIME")) return true;
    std::string_view rest = t;
    return ParseTime(rest) && TrimmedView(rest).empty();
  }
  case TFieldType::TimeStamp: {
    if (SameTextIgnoringCase(t, "CURRENT_TIMESTAMP")) return true;
    std::string_view rest = t;
    if (!ParseDate(rest)) return false;
    if (TrimmedView(rest).empty()) return true;
    if (!Expect(rest, ' ')) return false;
    rest = TrimmedView(rest);
    return ParseTime(rest) && TrimmedView(rest).empty();
  }
  default: return true;
  }
}

bool ConvertValueText(std::string_view text, const TLocalTime& now, TExpToken& target) {
  const std::string word = UpperAsciiText(TrimmedView(text));
  if (word == "CURRENT_DATE" || word == "CURRENT_TIME" || word == "CURRENT_TIMESTAMP") {
    const std::int64_t day = DayNumberFromCivil(now.year, now.month, now.day);
    const std::int64_t ms = ((now.hour * 60LL + now.minute) * 60 + std::min(now.second, 59)) * 1000 + now.millisecond;
    switch (target.DataType) {
    case vt::Date:
      if (word == "CURRENT_TIME") return false;
      StoreInt64(target, day);
      return true;
    case vt::Time:
      if (word != "CURRENT_TIME") return false;
      StoreInt64(target, ms);
      return true;
    case vt::Timestamp:
      if (word == "CURRENT_DATE") StoreDouble(target, MakeTimestamp(day, 0));
      else if (word == "CURRENT_TIME") StoreDouble(target, MakeTimestamp(ZeroDateDayNumber(), ms));
      else StoreDouble(target, MakeTimestamp(day, ms));
      return true;
    default: break;
    }
  }
  TExpToken source;
  source.SetType(vt::String, 0, static_cast<std::int32_t>(text.size()) + 1);
  source.PutString(std::string(text));
  return ConvertValue(source, target);
}

}  // namespace quarry
