// Cutting SQL texts into statements; see statement_splitter.h.
#include "tools/common/statement_splitter.h"

#include <algorithm>

#include "engine/sql/expression_scanner.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry::tools {

namespace {

// The engine's scanner with the places of its current token.
class TPlacedScanner : public TExpressionScanner {
 public:
  explicit TPlacedScanner(const std::string& text) {
    ErrorCode = QUARRY_SQLPARSE;
    ContextName = "SQL statement";
    SetText(text);
  }
  std::size_t Start() const { return TokenStart; }
  std::size_t End() const { return TokenEnd; }
};

}  // namespace

std::vector<TStatementText> SplitStatements(const std::string& text, int firstLine) {
  std::vector<TStatementText> statements;
  TPlacedScanner scanner(text);
  const std::size_t none = std::string::npos;
  std::size_t first = none;  // where the statement being read starts
  std::size_t last = 0;      // one past its last token
  std::size_t after = 0;     // one past the last ";"
  const auto add = [&](std::size_t end) {
    if (first == none) return;
    const int line = firstLine + static_cast<int>(std::count(text.begin(), text.begin() + first, '\n'));
    statements.push_back({text.substr(first, end - first), line});
    first = none;
  };
  try {
    for (scanner.NextToken(); scanner.TokenKind() != tk::End; scanner.NextToken()) {
      if (scanner.IsSymbol(';')) {
        add(last);
        after = scanner.End();
        continue;
      }
      if (first == none) first = scanner.Start();
      last = scanner.End();
    }
  } catch (const EQuarryEngineError&) {
    // An unended string or comment: the rest belongs to the statement it starts in (or is
    // one of its own).
    if (first == none) first = text.find_first_not_of(" \t\r\n\f\v", after);
    last = text.size();
  }
  add(last);
  return statements;
}

bool EndsWithStatementEnd(const std::string& text) {
  TPlacedScanner scanner(text);
  bool semicolon = false;
  try {
    for (scanner.NextToken(); scanner.TokenKind() != tk::End; scanner.NextToken()) semicolon = scanner.IsSymbol(';');
  } catch (const EQuarryEngineError&) {
    return false;
  }
  return semicolon;
}

}  // namespace quarry::tools
