// Notes files: the bytes written for a text, the text read from bytes, round trips, and the
// errors of files that cannot be read or written.
#include "app/notes_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

}  // namespace

TEST(NotesFile, NameIsTheVideoIdAndVid) {
  EXPECT_EQ(NotesFileName(0), QStringLiteral("0.vid"));
  EXPECT_EQ(NotesFileName(1234), QStringLiteral("1234.vid"));
  EXPECT_EQ(NotesFileName(-7), QStringLiteral("-7.vid"));
}

TEST(NotesFile, SavedBytes) {
  struct Case {
    const char* what;
    QString text;
    QByteArray bytes;
  };
  const Case cases[] = {
      {"no text is a file of zero bytes", QString(), ""},
      {"one line", QStringLiteral("Seen twice"), "Seen twice\r\n"},
      {"the edit's trailing empty line is no line", QStringLiteral("Seen twice\n"), "Seen twice\r\n"},
      {"blank lines inside and at the end are kept", QStringLiteral("a\n\nb\n\n"), "a\r\n\r\nb\r\n\r\n"},
      {"a lone blank line", QStringLiteral("\n"), "\r\n"},
      {"carriage returns end lines too", QStringLiteral("a\r\nb\rc"), "a\r\nb\r\nc\r\n"},
      {"UTF-8", QStringLiteral("Amélie \u2605\u2605"), "Am\xc3\xa9lie \xe2\x98\x85\xe2\x98\x85\r\n"},
  };
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("5.vid"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SaveNotes(path, c.text);
    EXPECT_EQ(ReadAll(path), c.bytes);
  }
}

TEST(NotesFile, LoadedText) {
  struct Case {
    const char* what;
    QByteArray bytes;
    QString text;
  };
  const Case cases[] = {
      {"zero bytes are empty notes", "", QString()},
      {"CR LF lines", "a\r\nb\r\n", QStringLiteral("a\nb\n")},
      {"LF and CR lines", "a\nb\rc", QStringLiteral("a\nb\nc")},
      {"a byte-order mark is skipped", "\xef\xbb\xbfhi\r\n", QStringLiteral("hi\n")},
      {"UTF-8", "Am\xc3\xa9lie\r\n", QStringLiteral("Amélie\n")},
      {"not UTF-8 reads as Latin-1", "Am\xe9lie\r\n", QStringLiteral("Amélie\n")},
  };
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("5.vid"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(path, c.bytes);
    EXPECT_EQ(LoadNotes(path), c.text);
  }
}

TEST(NotesFile, SavingWhatWasLoadedGivesTheSameFile) {
  const QByteArray files[] = {"", "one\r\n", "a\r\n\r\nb\r\n", "\r\n\r\n", "x\r\n\r\n"};
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("5.vid"));
  for (const QByteArray& bytes : files) {
    SCOPED_TRACE(bytes.toStdString());
    WriteAll(path, bytes);
    SaveNotes(path, LoadNotes(path));
    EXPECT_EQ(ReadAll(path), bytes);
  }
}

TEST(NotesFile, FilesThatCannotBeReadOrWrittenRaise) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  EXPECT_FALSE(NotesFileExists(dir.filePath(QStringLiteral("5.vid"))));

  // A directory in the notes file's place can be neither read nor replaced.
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("5.vid")));
  const QString path = dir.filePath(QStringLiteral("5.vid"));
  EXPECT_TRUE(NotesFileExists(path));
  try {
    LoadNotes(path);
    ADD_FAILURE() << "expected ENotesFileError";
  } catch (const ENotesFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + path.toStdString() + "\". ", 0), 0u) << e.what();
  }
  try {
    SaveNotes(path, QStringLiteral("lost?"));
    ADD_FAILURE() << "expected ENotesFileError";
  } catch (const ENotesFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + path.toStdString() + "\". ", 0), 0u) << e.what();
  }
  EXPECT_TRUE(QFileInfo(path).isDir());

  const QString nowhere = dir.filePath(QStringLiteral("no such folder/6.vid"));
  EXPECT_THROW(SaveNotes(nowhere, QStringLiteral("x")), ENotesFileError);
}
