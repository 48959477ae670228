// The about window's data-date text: update numbers at and around the boundaries, the first
// release, no data, and finding the data file.
#include "app/data_date.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QLocale kUnitedStates(QLocale::English, QLocale::UnitedStates);

QDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

void Touch(const QString& path, const QDateTime& modified) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write("data");
  file.flush();  // written before the time is set, or closing would stamp it again
  ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

}  // namespace

TEST(DataDate, TextForEdgeDates) {
  struct Case {
    QDateTime when;
    const char* text;
  };
  const Case cases[] = {
      {At(2002, 1, 1), "Data date = 1/1/02 (Release 1)"},
      {At(2002, 8, 12), "Data date = 8/12/02 (Release 1)"},  // on the first boundary
      {At(2002, 8, 12, 0, 0, 1), "Data date = 8/12/02 (Update 1)"},
      {At(2003, 3, 31), "Data date = 3/31/03 (Update 1)"},
      {At(2003, 3, 31, 23, 59, 59), "Data date = 3/31/03 (Update 1)"},
      {At(2003, 4, 1), "Data date = 4/1/03 (Update 2)"},  // a boundary's midnight begins its range
      {At(2003, 9, 30, 12), "Data date = 9/30/03 (Update 3)"},
      {At(2003, 12, 30), "Data date = 12/30/03 (Update 4)"},
      {At(2003, 12, 31), "Data date = 12/31/03 (Update 5)"},
      {At(2005, 5, 15), "Data date = 5/15/05 (Update 10)"},
      {At(2007, 6, 30, 23, 59, 59), "Data date = 6/30/07 (Update 18)"},
      {At(2007, 7, 1), "Data date = 7/1/07 (Update 19)"},
      {At(2026, 12, 9), "Data date = 12/9/26 (Update 19)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.when.toString(Qt::ISODate).toStdString());
    EXPECT_EQ(DataDateText(c.when, kUnitedStates).toStdString(), c.text);
  }
  EXPECT_EQ(DataDateText(std::nullopt, kUnitedStates).toStdString(), "No Data");
  EXPECT_EQ(DataDateText(QDateTime(), kUnitedStates).toStdString(), "No Data");
}

TEST(DataDate, EveryBoundaryStartsTheNextUpdate) {
  const QDate boundaries[] = {QDate(2003, 4, 1), QDate(2003, 7, 1), QDate(2003, 10, 1), QDate(2003, 12, 31),
                              QDate(2004, 4, 1), QDate(2004, 7, 1), QDate(2004, 10, 1), QDate(2005, 1, 1),
                              QDate(2005, 4, 1), QDate(2005, 7, 1), QDate(2005, 10, 1), QDate(2006, 1, 1),
                              QDate(2006, 4, 1), QDate(2006, 7, 1), QDate(2006, 10, 1), QDate(2007, 1, 1),
                              QDate(2007, 4, 1), QDate(2007, 7, 1)};
  int update = 2;
  for (const QDate& day : boundaries) {
    SCOPED_TRACE(day.toString(Qt::ISODate).toStdString());
    const QDateTime midnight(day, QTime(0, 0));
    EXPECT_EQ(UpdateNumber(midnight.addSecs(-1)), update - 1);
    EXPECT_EQ(UpdateNumber(midnight), update);
    ++update;
  }
}

TEST(DataDate, DataFileTimeFindsTheVideosDataFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  EXPECT_EQ(DataFileTime(dir.path()), std::nullopt);

  // A directory of that name is no data file.
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("VIDEOS.DAT")));
  EXPECT_EQ(DataFileTime(dir.path()), std::nullopt);
  ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("VIDEOS.DAT")));

  // The name is matched without regard to case when the exact one is missing.
  Touch(dir.filePath(QStringLiteral("videos.dat")), At(2005, 5, 15, 10, 30));
  EXPECT_EQ(DataFileTime(dir.path()), At(2005, 5, 15, 10, 30));
  Touch(dir.filePath(QStringLiteral("VIDEOS.DAT")), At(2003, 4, 1));
  EXPECT_EQ(DataFileTime(dir.path()), At(2003, 4, 1));
  EXPECT_EQ(DataDateText(DataFileTime(dir.path()), kUnitedStates).toStdString(), "Data date = 4/1/03 (Update 2)");
}
