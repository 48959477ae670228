// Notes files: reading and writing the lines of one video's notes.
#include "app/notes_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringConverter>
#include <QStringDecoder>
#include <QStringList>

namespace {

[[noreturn]] void Fail(const char* what, const QString& fileName, const QString& reason) {
  throw ENotesFileError(QStringLiteral("%1 \"%2\". %3").arg(QString::fromLatin1(what), fileName, reason).toStdString());
}

}  // namespace

QString NotesFileName(int videoId) { return QString::number(videoId) + QStringLiteral(".vid"); }

bool NotesFileExists(const QString& fileName) { return QFileInfo::exists(fileName); }

QString LoadNotes(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) Fail("Cannot open file", fileName, file.errorString());
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) Fail("Cannot open file", fileName, file.errorString());

  QStringDecoder utf8(QStringConverter::Utf8);
  QString text = utf8.decode(bytes);
  if (utf8.hasError()) text = QString::fromLatin1(bytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

void SaveNotes(const QString& fileName, const QString& text) {
  QString normalised = text;
  normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QStringList lines = normalised.split(QLatin1Char('\n'));
  if (lines.last().isEmpty()) lines.removeLast();  // the edit's trailing empty line, or no text at all

  QByteArray bytes;
  for (const QString& line : lines) bytes += line.toUtf8() + "\r\n";

  QSaveFile file(fileName);
  file.setDirectWriteFallback(true);  // a file the user may write in a folder they may not
  if (!file.open(QIODevice::WriteOnly)) Fail("Cannot create file", fileName, file.errorString());
  if (file.write(bytes) != bytes.size() || !file.commit()) Fail("Cannot create file", fileName, file.errorString());
}
