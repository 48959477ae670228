// The user's notes on a video: one plain text file per video, "<VideoID>.vid", named without
// a directory so that it lies in the process's current directory.
//
// File format:
//   every line of the notes, in order, each followed by CR LF; no notes is a file of zero
//   bytes. Text is UTF-8; a file that is not valid UTF-8 (one written by an older single-byte
//   program) is read as Latin-1 so that its accented letters survive. A UTF-8 byte-order mark
//   is skipped. On reading, CR LF, a lone LF and a lone CR all end a line.
//
// The text handed in and out uses "\n" between lines, as QPlainTextEdit does. A text that ends
// in "\n" has an empty last line, which is not a line of the file (an edit's trailing empty
// line is where the cursor waits for more), so "a\n" and "a" are both saved as "a" CR LF and
// read back as "a\n". Reading what was saved and saving it again gives the same file.
#pragma once

#include <QString>

#include <stdexcept>

// Raised when a notes file exists but cannot be read, or cannot be written.
class ENotesFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "<videoId>.vid".
QString NotesFileName(int videoId);

// Whether something of that name exists (a directory too: reading it then fails).
bool NotesFileExists(const QString& fileName);

// The notes in fileName, lines joined by "\n" and the last one followed by "\n". Raises
// ENotesFileError "Cannot open file "<name>". <reason>" when it cannot be read.
QString LoadNotes(const QString& fileName);

// Replaces fileName with the lines of text. The file is written beside itself and renamed into
// place, so a failed write leaves the old notes whole. Raises ENotesFileError
// "Cannot create file "<name>". <reason>" when it cannot be written.
void SaveNotes(const QString& fileName, const QString& text);
