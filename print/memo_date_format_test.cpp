// Memo date and time formats: the classic format letters on a fixed moment in a fixed locale.
#include "print/memo_date_format.h"

#include <gtest/gtest.h>

namespace gpr {
namespace {

TEST(FormatMemoDateTime, FormatLetters) {
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  const QDateTime when(QDate(2026, 3, 4), QTime(14, 5, 9, 7));
  const struct {
    const char* Format;
    const char* Expected;
  } cases[] = {
      {"dd/mm/yyyy", "04/03/2026"},
      {"d/m/yy", "4/3/26"},
      {"dddd, mmmm d", "Wednesday, March 4"},
      {"ddd mmm", "Wed Mar"},
      {"hh:nn:ss", "14:05:09"},
      {"hh:mm", "14:05"},  // minutes right after an hour
      {"h:nn am/pm", "2:05 pm"},
      {"h a/p", "2 p"},
      {"'Printed' yyyy", "Printed 2026"},
      {"\"mm\" m", "mm 3"},
      {"ss.zzz", "09.007"},
      {"ddddd", "3/4/26"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatMemoDateTime(c.Format, when, us).toStdString(), c.Expected) << c.Format;
  }
}

TEST(FormatMemoDateTime, EmptyFormatsGiveTheLocalesShortDateAndTime) {
  TgprReportSettings settings;
  TgprPrintSettings print;
  const QDateTime when(QDate(2026, 12, 10), QTime(9, 30));
  SetMemoDateTime(settings, print, when);
  EXPECT_EQ(print.MemoDate, QLocale().toString(when.date(), QLocale::ShortFormat).toStdString());
  EXPECT_EQ(print.MemoTime, QLocale().toString(when.time(), QLocale::ShortFormat).toStdString());
  settings.MemoDateFormatStr = "yyyy-mm-dd";
  SetMemoDateTime(settings, print, when);
  EXPECT_EQ(print.MemoDate, "2026-12-10");
}

}  // namespace
}  // namespace gpr
