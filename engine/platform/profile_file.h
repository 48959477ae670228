// Profile files: the small "[Section] / key=value" settings files the program keeps beside
// itself (window position and star ratings) and the print component keeps for its
// preferences. TProfileFile reads and writes them with the long-standing rules of such files,
// so files written elsewhere by the same rules read back unchanged.
//
// File format (plain text, one entry a line; lines end in LF or CR LF):
//
//   line kind  | form (blanks = spaces or tabs)   | meaning
//   -----------+---------------------------------+-----------------------------------------
//   section    | [name]                          | starts a section; name trimmed
//   key        | key = value                     | a key of the section above it; key and
//              |                                 | value trimmed; the first "=" splits them;
//              |                                 | a value wholly in matching quotes ('' or
//              |                                 | "") is read without them
//   comment    | ; text                          | ignored, kept on rewrite
//   blank      | (nothing)                       | ignored, kept on rewrite
//   other      | text without "="                | ignored, kept on rewrite
//
// Section and key names are compared without regard to ASCII case. Keys before the first
// section belong to no section and are never found. When a section or a key occurs twice,
// the first occurrence counts. An optional UTF-8 byte-order mark at the start is kept.
//
// Integers are decimal with an optional sign, or hexadecimal after "0x" or "$"; a value that
// is not wholly an integer in range reads as the default. Booleans are integers: 0 is false,
// any other integer true; they are written as "0" and "1".
//
// Writing one key rewrites the file with every other line kept in place and in its own line
// ending: an existing key's line is replaced; a new key goes after the last non-blank line of
// its section; a new section is appended at the end. A value whose outer blanks or outer
// quotes would be lost on reading is written in double quotes, so every value reads back as it
// was written. The file is created on the first write; it is replaced through a temporary file
// beside it, so a failed write never leaves half a file.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quarry {

// Raised when a profile file cannot be written, or a name or value cannot be stored in one.
class EProfileFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One profile file, named by its path. The object holds no contents: every call reads the
// file afresh (they are small), so two objects, or two programs, on one file see each other's
// writes. Reads never fail: a missing or unreadable file reads as empty. Not thread-safe; use
// one object per thread.
class TProfileFile {
 public:
  explicit TProfileFile(std::string fileName);

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
  int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  // The key names of a section, in file order, each once, as spelled in the file.
  std::vector<std::string> ReadSection(std::string_view section) const;
  // The section names, in file order, each once.
  std::vector<std::string> ReadSections() const;

  // The writers raise EProfileFileError when the file cannot be written, when a name is
  // empty or holds a line break, when a section name holds "]", when a key holds "=" or
  // starts with "[" or ";", or when a value holds a line break.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  // Removing what is not there leaves the file untouched.
  void DeleteKey(std::string_view section, std::string_view key);
  void EraseSection(std::string_view section);

 private:
  std::string fileName_;
};

// The integer a profile value stands for, or the default; exposed for callers that read
// integers out of their own texts by the same rule.
int ProfileTextToInt(std::string_view text, int defaultValue);

}  // namespace quarry
