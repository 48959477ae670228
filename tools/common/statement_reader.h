// TStatementReader: cuts a stream of SQL lines into statements. A statement ends at a line
// whose last non-blank character is ";" (the ";" is not part of the statement); lines are
// joined with line feeds. Text left at the end of the input is a last statement when it is
// not blank.
#pragma once

#include <istream>
#include <string>

namespace quarry::tools {

struct TStatementText {
  std::string Text;
  int Line = 0;  // line (from 1) on which the statement starts
};

class TStatementReader {
 public:
  explicit TStatementReader(std::istream& in) : in_(in) {}
  // False at the end of the input.
  bool Next(TStatementText& statement);

 private:
  std::istream& in_;
  int line_ = 0;
};

}  // namespace quarry::tools
