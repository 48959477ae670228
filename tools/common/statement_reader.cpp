// Cutting SQL input into statements; see statement_reader.h.
#include "tools/common/statement_reader.h"

namespace quarry::tools {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

bool TStatementReader::Next(TStatementText& statement) {
  while (pending_.empty()) {
    std::string text;
    int firstLine = 0;
    std::string line;
    bool ended = false;
    while (!ended && std::getline(in_, line)) {
      ++line_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (firstLine == 0) firstLine = line_;
      else text += '\n';
      text += line;
      std::size_t end = line.size();
      while (end > 0 && IsBlank(line[end - 1])) --end;
      ended = end > 0 && line[end - 1] == ';' && EndsWithStatementEnd(text);
    }
    if (firstLine == 0) return false;
    for (TStatementText& s : SplitStatements(text, firstLine)) pending_.push_back(std::move(s));
    if (!ended && pending_.empty()) return false;
  }
  statement = std::move(pending_.front());
  pending_.pop_front();
  return true;
}

}  // namespace quarry::tools
