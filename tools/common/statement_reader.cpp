// Cutting SQL input into statements; see statement_reader.h.
#include "tools/common/statement_reader.h"

namespace quarry::tools {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

bool TStatementReader::Next(TStatementText& statement) {
  std::string text;
  int firstLine = 0;
  std::string line;
  while (std::getline(in_, line)) {
    ++line_;
    std::size_t end = line.size();
    while (end > 0 && IsBlank(line[end - 1])) --end;
    const bool blank = line.find_first_not_of(" \t\r\f\v") == std::string::npos;
    if (firstLine == 0) {
      if (blank) continue;
      firstLine = line_;
    } else {
      text += '\n';
    }
    if (end > 0 && line[end - 1] == ';') {
      text.append(line, 0, end - 1);
      statement.Text = std::move(text);
      statement.Line = firstLine;
      return true;
    }
    text.append(line, 0, end);
  }
  if (firstLine == 0) return false;
  statement.Text = std::move(text);
  statement.Line = firstLine;
  return true;
}

}  // namespace quarry::tools
