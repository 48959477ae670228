// RFC 4180 reading; see csv_reader.h.
#include "tools/common/csv_reader.h"

namespace quarry::tools {

ECsvError::ECsvError(int line, const std::string& reason, const std::string& file)
    : std::runtime_error((file.empty() ? std::string() : file + ", ") + "line " + std::to_string(line) + ": " + reason),
      line_(line),
      reason_(reason),
      file_(file) {}

TCsvReader::TCsvReader(std::string_view text) : text_(text) {
  if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
}

bool TCsvReader::SkipLineEnd() {
  if (pos_ >= text_.size()) return false;
  if (text_[pos_] == '\n') {
    ++pos_;
  } else if (text_[pos_] == '\r') {
    ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
  } else {
    return false;
  }
  ++line_;
  return true;
}

void TCsvReader::ReadQuoted(std::string& field, int recordLine) {
  ++pos_;  // opening quote
  for (;;) {
    const std::size_t quote = text_.find('"', pos_);
    if (quote == std::string_view::npos)
      throw ECsvError(recordLine, "a quoted field is not closed before the end of the file");
    for (std::size_t i = pos_; i < quote; ++i) {
      // Count lines inside the value so later records report the right line.
      if (text_[i] == '\n' || (text_[i] == '\r' && (i + 1 >= quote || text_[i + 1] != '\n'))) ++line_;
    }
    field.append(text_.substr(pos_, quote - pos_));
    pos_ = quote + 1;
    if (pos_ < text_.size() && text_[pos_] == '"') {
      field.push_back('"');
      ++pos_;
      continue;
    }
    return;
  }
}

bool TCsvReader::Next(TCsvRecord& record) {
  if (pos_ >= text_.size()) return false;
  std::vector<std::string> fields;
  const int recordLine = line_;
  for (;;) {
    std::string field;
    if (pos_ < text_.size() && text_[pos_] == '"') {
      ReadQuoted(field, recordLine);
      if (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '\n' && text_[pos_] != '\r')
        throw ECsvError(line_, "text follows the closing quote of field " + std::to_string(fields.size() + 1));
    } else {
      const std::size_t end = text_.find_first_of(",\r\n\"", pos_);
      const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
      if (stop < text_.size() && text_[stop] == '"')
        throw ECsvError(line_,
                        "a double quote inside field " + std::to_string(fields.size() + 1) + ", which is not quoted");
      field.assign(text_.substr(pos_, stop - pos_));
      pos_ = stop;
    }
    fields.push_back(std::move(field));
    if (pos_ < text_.size() && text_[pos_] == ',') {
      ++pos_;
      continue;
    }
    SkipLineEnd();
    break;
  }
  record.Fields = std::move(fields);
  record.Line = recordLine;
  return true;
}

std::vector<TCsvRecord> ReadAllCsv(std::string_view text) {
  std::vector<TCsvRecord> records;
  TCsvReader reader(text);
  TCsvRecord record;
  while (reader.Next(record)) records.push_back(std::move(record));
  return records;
}

}  // namespace quarry::tools
