// The hand-written scanner of the expression and SQL dialect.
#include "engine/sql/expression_scanner.h"

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/sql/expression_error.h"

namespace quarry {

static bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

bool SameText(std::string_view a, std::string_view b) { return SameTextIgnoringCase(a, b); }

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

TExpressionScanner::TExpressionScanner() : ErrorCode(kSqlErrorCode), ContextName("SQL statement") {}

void TExpressionScanner::SetText(std::string_view text) {
  const std::size_t nul = text.find('\0');
  Text.assign(text.substr(0, nul));
  Pos = TokenStart = TokenEnd = ScanStart = PrevTokenEnd = Mark = 0;
  Kind = tk::End;
  CurrentText.clear();
}

// Text[i], or 0 past the end: the copy behaves as a zero-terminated string.
#define AT(i) ((i) < Text.size() ? static_cast<unsigned char>(Text[(i)]) : 0u)

void TExpressionScanner::SkipBlanksAndComments() {
  for (;;) {
    while (AT(Pos) != 0 && AT(Pos) <= 32) ++Pos;
    if (AT(Pos) == '/' && AT(Pos + 1) == '*') {
      const std::size_t close = Text.find("*/", Pos + 2);
      if (close == std::string::npos) {
        Pos = TokenStart = TokenEnd = Text.size();
        Kind = tk::End;
        CurrentText.clear();
        Fail("Missing ending comment slash and asterisk in ");
      }
      Pos = close + 2;
      continue;
    }
    return;
  }
}

void TExpressionScanner::ScanQuoted(char delimiter, int kind, const char* missingStem) {
  std::size_t i = TokenStart + 1;
  std::string text;
  for (;;) {
    const unsigned char c = AT(i);
    if (c == 0) {
      // Unterminated: report the text after the opening delimiter without its last character.
      const std::size_t after = TokenStart + 1;
      const std::size_t length = Text.size() > after ? Text.size() - after : 0;
      Kind = kind;
      TokenEnd = Pos = Text.size();
      CurrentText = length > 0 ? Text.substr(after, length - 1) : std::string();
      Fail(missingStem);
    }
    if (c == static_cast<unsigned char>(delimiter)) {
      if (delimiter != ']' && AT(i + 1) == c) {
        text += delimiter;
        i += 2;
        continue;
      }
      break;
    }
    text += static_cast<char>(c);
    ++i;
  }
  Kind = kind;
  TokenEnd = Pos = i + 1;
  if (kind == tk::BracketName) {
    // Outside quoted strings a doubled quote of either sort stands for one.
    std::string collapsed;
    for (std::size_t k = 0; k < text.size(); ++k) {
      collapsed += text[k];
      if ((text[k] == '\'' || text[k] == '"') && k + 1 < text.size() && text[k + 1] == text[k]) ++k;
    }
    text.swap(collapsed);
  }
  CurrentText = std::move(text);
}

void TExpressionScanner::ScanNumber() {
  std::size_t i = TokenStart;
  Kind = tk::Integer;
  if (AT(i) == '.') Kind = tk::Number;
  ++i;
  for (;;) {
    const unsigned char c = AT(i);
    if (IsDigit(c)) {
      ++i;
    } else if (c == '.' || c == 'E' || c == 'e') {
      Kind = tk::Number;
      ++i;
    } else if ((c == '+' || c == '-') && (AT(i - 1) == 'E' || AT(i - 1) == 'e')) {
      ++i;
    } else {
      break;
    }
  }
  TokenEnd = Pos = i;
  CurrentText = Text.substr(TokenStart, TokenEnd - TokenStart);
}

int TExpressionScanner::NextToken() {
  PrevTokenEnd = TokenEnd;
  ScanStart = Pos;
  SkipBlanksAndComments();
  TokenStart = Pos;
  const unsigned char c = AT(Pos);
  if (c == 0) {
    Kind = tk::End;
    TokenEnd = Pos;
    CurrentText.clear();
    return Kind;
  }
  if (IsNameStartByte(c)) {
    std::size_t i = Pos + 1;
    while (IsNameByte(AT(i))) ++i;
    Kind = tk::Name;
    TokenEnd = Pos = i;
    CurrentText = Text.substr(TokenStart, TokenEnd - TokenStart);
  } else if (c == '#' && IsDigit(AT(Pos + 1))) {
    std::size_t i = Pos + 1;
    while (IsDigit(AT(i))) ++i;
    Kind = tk::CharConstant;
    TokenEnd = Pos = i;
    CurrentText = Text.substr(TokenStart, TokenEnd - TokenStart);
  } else if (c == '\'') {
    ScanQuoted('\'', tk::SingleQuoted, "Missing single quote after '");
  } else if (c == '"') {
    ScanQuoted('"', tk::DoubleQuoted, "Missing double quote after '");
  } else if (c == '[') {
    ScanQuoted(']', tk::BracketName, "Missing right bracket after '");
  } else if (IsDigit(c) || (c == '.' && IsDigit(AT(Pos + 1)))) {
    ScanNumber();
  } else {
    Kind = c;
    TokenEnd = Pos = Pos + 1;
    CurrentText.assign(1, static_cast<char>(c));
  }
  return Kind;
}

#undef AT

bool TExpressionScanner::IsKeyword(std::string_view word) const {
  return Kind == tk::Name && SameText(CurrentText, word);
}

std::string TExpressionScanner::ExpressionText() const {
  std::string out;
  if (PrevTokenEnd > Mark && PrevTokenEnd <= Text.size()) {
    for (std::size_t i = Mark; i < PrevTokenEnd; ++i)
      if (Text[i] != '\r' && Text[i] != '\n') out += Text[i];
  }
  return out;
}

void TExpressionScanner::Fail(const std::string& stem) const {
  if (!stem.empty() && stem.back() == '\'') FailMessage(stem + CurrentText + "' in " + ContextName);
  FailMessage(stem + ContextName);
}

void TExpressionScanner::FailUnknownSymbol() const {
  FailMessage("Unknown or unexpected symbol '" + CurrentText + "' found in " + ContextName);
}

void TExpressionScanner::FailMessage(const std::string& message) const {
  RaiseExpressionError(ErrorCode, ErrorTableName, message);
}

}  // namespace quarry
