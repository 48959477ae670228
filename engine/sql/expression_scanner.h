// TExpressionScanner: the lexical rules of filter expressions and of the whole SQL
// dialect, and the construction of parse error messages.
//
// Token kinds returned by NextToken:
//   0 end of text        1 name               2 [bracketed name]
//   3 'string'           4 "string"           5 #n character constant
//   6 integer            7 number with fraction or exponent
//   any other value: a one-character symbol, its kind being its character code.
//
// Blanks are bytes 1..32; /* comments */ may stand wherever blanks may. Names start
// with a letter, '_' or a byte 128..254 and continue with those, digits, '!', '$', '@'.
// Inside a quoted string the doubled delimiter stands for one delimiter character.
//
// Error messages: a stem ending with a single quote is followed by the current token's
// text, a closing quote, " in " and the context; a stem ending with " in " by the
// context alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quarry {

namespace tk {
inline constexpr int End = 0;
inline constexpr int Name = 1;
inline constexpr int BracketName = 2;
inline constexpr int SingleQuoted = 3;
inline constexpr int DoubleQuoted = 4;
inline constexpr int CharConstant = 5;
inline constexpr int Integer = 6;
inline constexpr int Number = 7;
}  // namespace tk

class TExpressionScanner {
 public:
  TExpressionScanner();

  // The error code (QUARRY_SQLPARSE for SQL, QUARRY_INVALIDFILTER for filters), table name and context of every message.
  uint16_t ErrorCode;
  std::string ErrorTableName;
  std::string ContextName;

  // Replaces the text (a copy, ending at the first NUL) and puts the scan at its start.
  // The caller then calls NextToken once to load the first token.
  void SetText(std::string_view text);
  const std::string& Source() const { return Text; }

  // Scans the next token, makes it current and returns its kind.
  int NextToken();
  int TokenKind() const { return Kind; }
  // The current token's text: without delimiters for kinds 2 to 4, doubled quotes
  // collapsed (see the file comment).
  const std::string& TokenText() const { return CurrentText; }
  // The current token exactly as written, delimiters included.
  std::string RawTokenText() const { return Text.substr(TokenStart, TokenEnd - TokenStart); }

  bool IsKeyword(std::string_view word) const;
  bool IsName() const { return Kind >= tk::Name && Kind <= tk::DoubleQuoted; }
  bool IsSymbol(char ch) const { return Kind == static_cast<unsigned char>(ch); }

  // Remembers the start of the current token; ExpressionText returns the source from
  // there to the end of the last token consumed, without carriage returns and line feeds.
  void MarkExpressionStart() { Mark = TokenStart; }
  std::string ExpressionText() const;

  // ---- errors (all raise the engine error) ----
  // stem + token + "' in " + context, or stem + context for a stem ending in " in ".
  [[noreturn]] void Fail(const std::string& stem) const;
  // "Unknown or unexpected symbol '" + token + "' found in " + context.
  [[noreturn]] void FailUnknownSymbol() const;
  // A complete message, raised as it stands.
  [[noreturn]] void FailMessage(const std::string& message) const;

 protected:
  std::string Text;     // own copy of the source
  std::size_t Pos = 0;  // scan position
  std::size_t TokenStart = 0;
  std::size_t TokenEnd = 0;      // one past the current token (closing delimiter included)
  std::size_t ScanStart = 0;     // where the current token's scan began (before blanks)
  std::size_t PrevTokenEnd = 0;  // one past the token consumed before the current one
  std::size_t Mark = 0;
  int Kind = tk::End;
  std::string CurrentText;

 private:
  void SkipBlanksAndComments();
  void ScanQuoted(char delimiter, int kind, const char* missingStem);
  void ScanNumber();
};

// ASCII case-insensitive equality (keywords and names).
bool SameText(std::string_view a, std::string_view b);
std::string UpperAscii(std::string_view text);

}  // namespace quarry
