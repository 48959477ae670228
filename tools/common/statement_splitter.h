// Cutting an SQL text into its statements at the ";" that ends each one. The text is read
// with the engine's own scanner, so a ";" inside a quoted string, a bracketed name or a
// comment never cuts, exactly as the engine itself reads a script.
#pragma once

#include <string>
#include <vector>

namespace quarry::tools {

struct TStatementText {
  std::string Text;  // without the ending ";"
  int Line = 0;      // line (from 1) on which the statement starts
};

// The statements of text, each from its first token to the token before its ";" (or the
// end of the text). Stretches without any token (";;", a lone comment) are no statement.
// firstLine is the number of the text's first line. Text the scanner cannot read (a string
// or comment that does not end) is kept with the statement it starts in, whose preparation
// then reports it.
std::vector<TStatementText> SplitStatements(const std::string& text, int firstLine = 1);

// True when the last token of text is a ";" (and the scanner reads the text to its end).
bool EndsWithStatementEnd(const std::string& text);

}  // namespace quarry::tools
