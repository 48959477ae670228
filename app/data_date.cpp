// Data date text and update number of the catalogue's VIDEOS data file.
#include "app/data_date.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>

namespace {

const QDate kFirstRelease(2002, 8, 12);

// The boundaries after the first release, in date order.
const std::array<QDate, 18> kUpdateBoundaries = {
    QDate(2003, 4, 1),  QDate(2003, 7, 1),  QDate(2003, 10, 1), QDate(2003, 12, 31), QDate(2004, 4, 1),
    QDate(2004, 7, 1),  QDate(2004, 10, 1), QDate(2005, 1, 1),  QDate(2005, 4, 1),   QDate(2005, 7, 1),
    QDate(2005, 10, 1), QDate(2006, 1, 1),  QDate(2006, 4, 1),  QDate(2006, 7, 1),   QDate(2006, 10, 1),
    QDate(2007, 1, 1),  QDate(2007, 4, 1),  QDate(2007, 7, 1),
};

// Local midnight at the start of a day. QDateTime compares instants, so a data date in any
// time representation is placed correctly against it.
QDateTime Midnight(const QDate& day) { return QDateTime(day, QTime(0, 0)); }

}  // namespace

int UpdateNumber(const QDateTime& dataDate) {
  const auto reached = std::count_if(kUpdateBoundaries.begin(), kUpdateBoundaries.end(),
                                     [&](const QDate& day) { return Midnight(day) <= dataDate; });
  return static_cast<int>(reached) + 1;
}

QString DataDateText(const std::optional<QDateTime>& dataDate, const QLocale& locale) {
  if (!dataDate || !dataDate->isValid()) return QStringLiteral("No Data");
  const QString date = locale.toString(dataDate->toLocalTime().date(), QLocale::ShortFormat);
  if (*dataDate <= Midnight(kFirstRelease)) return QStringLiteral("Data date = %1 (Release 1)").arg(date);
  return QStringLiteral("Data date = %1 (Update %2)").arg(date).arg(UpdateNumber(*dataDate));
}

std::optional<QDateTime> DataFileTime(const QString& directory) {
  const QDir dir(directory);
  QFileInfo info(dir.filePath(QString::fromLatin1(kVideosDataFileName)));
  if (!info.exists()) {
    // Name filters match without regard to case.
    const QStringList anyCase =
        dir.entryList({QString::fromLatin1(kVideosDataFileName)}, QDir::Files | QDir::Hidden, QDir::Name);
    if (anyCase.isEmpty()) return std::nullopt;
    info = QFileInfo(dir.filePath(anyCase.first()));
  }
  if (!info.isFile()) return std::nullopt;
  const QDateTime modified = info.lastModified();
  if (!modified.isValid()) return std::nullopt;
  return modified;
}
