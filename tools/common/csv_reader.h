// TCsvReader: reads comma-separated records (RFC 4180) from a text held in memory.
//
// Rules: records end with LF, CR LF or a lone CR; a field is either bare (no double quote
// anywhere in it) or quoted, where a doubled quote stands for one quote and line ends are
// part of the value. A byte order mark at the very start is skipped, and the line end after
// the last record is optional. Anything else is malformed and raises ECsvError with the
// number of the line (from 1) where the faulty record starts, so the user can find it.
//
// A blank line in the middle of the text is a record of one empty field, as the format
// says; the caller's field-count check reports it.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quarry::tools {

class ECsvError : public std::runtime_error {
 public:
  // The message reads "FILE, line N: reason" ("line N: reason" without a file name).
  ECsvError(int line, const std::string& reason, const std::string& file = {});
  int Line() const { return line_; }
  const std::string& Reason() const { return reason_; }
  const std::string& File() const { return file_; }

 private:
  int line_;
  std::string reason_;
  std::string file_;
};

struct TCsvRecord {
  std::vector<std::string> Fields;
  int Line = 0;  // line on which the record starts
};

class TCsvReader {
 public:
  // text must outlive the reader.
  explicit TCsvReader(std::string_view text);

  // Reads the next record into record; false (record untouched) at the end of the text.
  bool Next(TCsvRecord& record);

 private:
  // Reads a quoted field starting at the opening quote; pos_ ends after the closing one.
  void ReadQuoted(std::string& field, int recordLine);
  // Consumes a line end at pos_ if there is one; returns whether it did.
  bool SkipLineEnd();

  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

// Reads every record of text; the first is the header.
std::vector<TCsvRecord> ReadAllCsv(std::string_view text);

}  // namespace quarry::tools
