// The run's date and time as the memo codes "^D" and "^T" print them: `MemoDateFormatStr`
// and `MemoTimeFormatStr` are date-time format strings of the classic kind - "ddddd" the short
// date, "dddddd" the long date, "t" the short time, "tt" the long time, "c" both; d, dd, ddd,
// dddd the day; m, mm, mmm, mmmm the month (the minutes right after an hour); yy, yyyy the
// year; h, hh, n, nn, s, ss, z, zzz the time; "am/pm", "a/p" and "ampm" a 12-hour clock;
// "/" and ":" the locale's separators; text in double or single quotes as it stands. An empty
// format gives the locale's short date ("ddddd") or time ("t").
#pragma once

#include "print/core/print_settings.h"
#include "print/core/report_settings.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <functional>
#include <string>

namespace gpr {

QString FormatMemoDateTime(const std::string& format, const QDateTime& when, const QLocale& locale = QLocale());

// Fixes the run's memo date and time (print.MemoDate, print.MemoTime) at when.
void SetMemoDateTime(const TgprReportSettings& settings, TgprPrintSettings& print, const QDateTime& when);
// The same at the memo clock's time: now, unless a test has set a clock of its own.
void SetMemoDateTime(const TgprReportSettings& settings, TgprPrintSettings& print);
// Replaces the memo clock (an empty function goes back to the system's), so that a test's
// pages carry the date and time it expects.
void SetMemoClock(std::function<QDateTime()> clock);

}  // namespace gpr
