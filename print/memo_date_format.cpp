// Memo date and time formats (memo_date_format.h).
#include "print/memo_date_format.h"

#include <QTime>

namespace gpr {

namespace {

// The number of times c repeats at text[at], without regard to case.
int RunLength(const QString& text, int at, QChar c) {
  int n = 0;
  while (at + n < text.size() && text[at + n].toLower() == c) ++n;
  return n;
}

bool StartsWithNoCase(const QString& text, int at, const QString& word) {
  return text.mid(at, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

// Whether the format asks for a 12-hour clock anywhere.
bool TwelveHour(const QString& format) {
  return format.contains(QStringLiteral("am/pm"), Qt::CaseInsensitive) ||
         format.contains(QStringLiteral("a/p"), Qt::CaseInsensitive) ||
         format.contains(QStringLiteral("ampm"), Qt::CaseInsensitive);
}

std::function<QDateTime()>& MemoClock() {
  static std::function<QDateTime()> clock;
  return clock;
}

QString Padded(int value, int width) { return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0')); }

}  // namespace

QString FormatMemoDateTime(const std::string& formatText, const QDateTime& when, const QLocale& locale) {
  const QString format = QString::fromStdString(formatText);
  const QDate date = when.date();
  const QTime time = when.time();
  const bool twelve = TwelveHour(format);
  const int hour = twelve ? (time.hour() % 12 == 0 ? 12 : time.hour() % 12) : time.hour();
  QString out;
  bool afterHour = false;
  for (int i = 0; i < format.size();) {
    const QChar c = format[i].toLower();
    if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
      const int end = format.indexOf(format[i], i + 1);
      const int stop = end < 0 ? format.size() : end;
      out += format.mid(i + 1, stop - i - 1);
      i = stop + 1;
      continue;
    }
    if (StartsWithNoCase(format, i, QStringLiteral("am/pm"))) {
      out += time.hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm");
      i += 5;
      continue;
    }
    if (StartsWithNoCase(format, i, QStringLiteral("a/p"))) {
      out += time.hour() < 12 ? QStringLiteral("a") : QStringLiteral("p");
      i += 3;
      continue;
    }
    if (StartsWithNoCase(format, i, QStringLiteral("ampm"))) {
      out += time.hour() < 12 ? locale.amText() : locale.pmText();
      i += 4;
      continue;
    }
    const int n = RunLength(format, i, c);
    if (c == QLatin1Char('d')) {
      if (n >= 6) out += locale.toString(date, QLocale::LongFormat);
      else if (n == 5) out += locale.toString(date, QLocale::ShortFormat);
      else if (n == 4) out += locale.dayName(date.dayOfWeek(), QLocale::LongFormat);
      else if (n == 3) out += locale.dayName(date.dayOfWeek(), QLocale::ShortFormat);
      else out += Padded(date.day(), n);
    } else if (c == QLatin1Char('m')) {
      if (afterHour && n <= 2) out += Padded(time.minute(), n);
      else if (n >= 4) out += locale.monthName(date.month(), QLocale::LongFormat);
      else if (n == 3) out += locale.monthName(date.month(), QLocale::ShortFormat);
      else out += Padded(date.month(), n);
    } else if (c == QLatin1Char('y')) {
      out += n <= 2 ? Padded(date.year() % 100, 2) : Padded(date.year(), 4);
    } else if (c == QLatin1Char('h')) {
      out += Padded(hour, std::min(n, 2));
    } else if (c == QLatin1Char('n')) {
      out += Padded(time.minute(), std::min(n, 2));
    } else if (c == QLatin1Char('s')) {
      out += Padded(time.second(), std::min(n, 2));
    } else if (c == QLatin1Char('z')) {
      out += Padded(time.msec(), n >= 3 ? 3 : 1);
    } else if (c == QLatin1Char('t')) {
      out += locale.toString(time, n >= 2 ? QLocale::LongFormat : QLocale::ShortFormat);
    } else if (c == QLatin1Char('c')) {
      out +=
          locale.toString(date, QLocale::ShortFormat) + QLatin1Char(' ') + locale.toString(time, QLocale::LongFormat);
    } else if (c == QLatin1Char('/')) {
      out += locale.dateFormat(QLocale::ShortFormat).contains(QLatin1Char('.')) ? QStringLiteral(".")
                                                                                : QStringLiteral("/");
    } else {
      out += QString(n, format[i]);
    }
    if (c == QLatin1Char('h')) afterHour = true;
    else if (c.isLetter()) afterHour = false;
    i += n;
  }
  return out;
}

void SetMemoDateTime(const TgprReportSettings& settings, TgprPrintSettings& print, const QDateTime& when) {
  const std::string dateFormat = settings.MemoDateFormatStr.empty() ? "ddddd" : settings.MemoDateFormatStr;
  const std::string timeFormat = settings.MemoTimeFormatStr.empty() ? "t" : settings.MemoTimeFormatStr;
  print.MemoDate = FormatMemoDateTime(dateFormat, when).toStdString();
  print.MemoTime = FormatMemoDateTime(timeFormat, when).toStdString();
}

void SetMemoDateTime(const TgprReportSettings& settings, TgprPrintSettings& print) {
  SetMemoDateTime(settings, print, MemoClock() ? MemoClock()() : QDateTime::currentDateTime());
}

void SetMemoClock(std::function<QDateTime()> clock) { MemoClock() = std::move(clock); }

}  // namespace gpr
