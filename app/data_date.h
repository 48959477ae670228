// The data date of the about and splash window: when the catalogue's VIDEOS table was last
// written, and the update number that date stands for. The update numbers count fixed
// calendar dates (local midnight) on which catalogue updates were due:
//
//   modification time w                      text
//   ---------------------------------------  -------------------------------------------
//   no data file, or no readable time        "No Data"
//   w <= 12 August 2002                      "Data date = <date> (Release 1)"
//   12 August 2002 < w < 1 April 2003        "Data date = <date> (Update 1)"
//   w >= 1 April 2003                        "Data date = <date> (Update n)", n = 1 + the
//                                            number of later boundaries on or before w
//
// The later boundaries: 1 April 2003, 1 July 2003, 1 October 2003, 31 December 2003, then the
// first of January, April, July and October from 1 April 2004 to 1 July 2007. A w at exactly a
// boundary's midnight belongs to the range that begins there; 1 July 2007 or later is
// Update 19. <date> is w's date in the locale's short date format.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

// The data file's name, as the table's files are named on disk.
inline constexpr const char* kVideosDataFileName = "VIDEOS.DAT";

// The update number of a data date after the first release (12 August 2002): 1 to 19.
int UpdateNumber(const QDateTime& dataDate);

// The label text for a data date, or for no data date.
QString DataDateText(const std::optional<QDateTime>& dataDate, const QLocale& locale = QLocale::system());

// The local modification time of "VIDEOS.DAT" in directory; the name is matched without
// regard to case when no file has exactly that name. Nothing when there is no such file or
// its time cannot be read.
std::optional<QDateTime> DataFileTime(const QString& directory);
