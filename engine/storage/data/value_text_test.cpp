// Value texts of field definitions converted to values: the CURRENT_ keywords take the
// clock's time and must fit the type; other texts convert as values of the type.
#include "engine/storage/data/value_text.h"

#include <gtest/gtest.h>

#include "engine/values/date_time_text.h"
#include "engine/values/value_ops.h"

namespace quarry {
namespace {

const TLocalTime kNow{.year = 2026, .month = 12, .day = 10, .hour = 15, .minute = 4, .second = 60, .millisecond = 7};
const std::int64_t kDay = DayNumberFromCivil(2026, 12, 10);
// A leap second reads as second 59.
const std::int64_t kMs = ((15 * 60 + 4) * 60 + 59) * 1000 + 7;

TExpToken Target(std::uint8_t type, int size) {
  TExpToken t;
  t.SetType(type, 0, size);
  return t;
}

TEST(ConvertValueText, KeywordsTakeTheClockAndMustFitTheType) {
  struct Case {
    const char* text;
    std::uint8_t type;
    bool converts;
    double expected;  // day number, milliseconds or timestamp
  };
  const Case cases[] = {
      {"CURRENT_DATE", vt::Date, true, double(kDay)},
      {" current_timestamp ", vt::Date, true, double(kDay)},
      {"CURRENT_TIME", vt::Date, false, 0},
      {"CURRENT_TIME", vt::Time, true, double(kMs)},
      {"CURRENT_DATE", vt::Time, false, 0},
      {"CURRENT_TIMESTAMP", vt::Time, false, 0},
      {"CURRENT_TIMESTAMP", vt::Timestamp, true, MakeTimestamp(kDay, kMs)},
      {"CURRENT_DATE", vt::Timestamp, true, MakeTimestamp(kDay, 0)},
      {"CURRENT_TIME", vt::Timestamp, true, MakeTimestamp(ZeroDateDayNumber(), kMs)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " as type " + std::to_string(c.type));
    TExpToken target = Target(c.type, 8);
    ASSERT_EQ(ConvertValueText(c.text, kNow, target), c.converts);
    if (!c.converts) continue;
    const double got = c.type == vt::Timestamp ? target.Get<double>() : double(target.Get<std::int32_t>());
    EXPECT_EQ(got, c.expected);
  }
}

TEST(ConvertValueText, OtherTextsConvertAsValuesOfTheType) {
  TExpToken number = Target(vt::Integer, 4);
  ASSERT_TRUE(ConvertValueText(" 42 ", kNow, number));
  EXPECT_EQ(number.Get<std::int32_t>(), 42);

  TExpToken bad = Target(vt::Integer, 4);
  EXPECT_FALSE(ConvertValueText("forty-two", kNow, bad));

  // A string keeps its blanks: a default of "  x " is stored as written.
  TExpToken text = Target(vt::String, 11);
  ASSERT_TRUE(ConvertValueText("  x ", kNow, text));
  EXPECT_EQ(text.GetString(), "  x ");
}

}  // namespace
}  // namespace quarry
