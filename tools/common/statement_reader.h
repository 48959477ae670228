// TStatementReader: cuts a stream of SQL lines into statements. Input is read line by line
// up to a line that ends a statement: its last non-blank character is a ";" that the engine's
// scanner reads as a token (not inside a string, a bracketed name or a comment). The lines
// read are then cut into their statements (statement_splitter.h), so that one line may hold
// several. Text left at the end of the input makes the last statements.
#pragma once

#include <deque>
#include <istream>
#include <string>

#include "tools/common/statement_splitter.h"

namespace quarry::tools {

class TStatementReader {
 public:
  explicit TStatementReader(std::istream& in) : in_(in) {}
  // False at the end of the input.
  bool Next(TStatementText& statement);

 private:
  std::istream& in_;
  int line_ = 0;
  std::deque<TStatementText> pending_;
};

}  // namespace quarry::tools
