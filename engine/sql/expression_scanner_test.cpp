// Scanner: every token kind, the text of each, comments, doubled quotes and the
// unterminated-token messages.
#include "engine/sql/expression_scanner.h"

#include <gtest/gtest.h>

#include "engine/sql/expression_error.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {
namespace {

struct TToken {
  int Kind;
  std::string Text;
};

std::vector<TToken> Scan(const std::string& text) {
  TExpressionScanner scanner;
  scanner.ContextName = "filter expression";
  scanner.SetText(text);
  std::vector<TToken> out;
  for (int guard = 0; guard < 100; ++guard) {
    const int kind = scanner.NextToken();
    if (kind == tk::End) break;
    out.push_back({kind, scanner.TokenText()});
  }
  return out;
}

struct TScanCase {
  std::string Source;
  std::vector<TToken> Tokens;
};

class ScannerTokens : public ::testing::TestWithParam<TScanCase> {};

TEST_P(ScannerTokens, KindsAndTexts) {
  const auto& c = GetParam();
  const auto tokens = Scan(c.Source);
  ASSERT_EQ(tokens.size(), c.Tokens.size()) << c.Source;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    EXPECT_EQ(tokens[i].Kind, c.Tokens[i].Kind) << c.Source << " token " << i;
    EXPECT_EQ(tokens[i].Text, c.Tokens[i].Text) << c.Source << " token " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, ScannerTokens,
    ::testing::Values(
        TScanCase{"name", {{tk::Name, "name"}}}, TScanCase{"_a1!$@ b", {{tk::Name, "_a1!$@"}, {tk::Name, "b"}}},
        TScanCase{"A$1 \xC3\x84"
                  "BC",
                  {{tk::Name, "A$1"},
                   {tk::Name,
                    "\xC3\x84"
                    "BC"}}},
        TScanCase{"[a b]", {{tk::BracketName, "a b"}}}, TScanCase{"[it''s]", {{tk::BracketName, "it's"}}},
        TScanCase{"'abc'", {{tk::SingleQuoted, "abc"}}}, TScanCase{"'it''s'", {{tk::SingleQuoted, "it's"}}},
        TScanCase{"'say \"hi\"'", {{tk::SingleQuoted, "say \"hi\""}}},
        TScanCase{"\"a\"\"b\"", {{tk::DoubleQuoted, "a\"b"}}}, TScanCase{"''", {{tk::SingleQuoted, ""}}},
        TScanCase{"#65", {{tk::CharConstant, "#65"}}}, TScanCase{"# 65", {{'#', "#"}, {tk::Integer, "65"}}},
        TScanCase{"123", {{tk::Integer, "123"}}}, TScanCase{"1.5e3", {{tk::Number, "1.5e3"}}},
        TScanCase{"1E-3", {{tk::Number, "1E-3"}}}, TScanCase{".5", {{tk::Number, ".5"}}},
        TScanCase{"1.2.3", {{tk::Number, "1.2.3"}}},
        TScanCase{"12+3", {{tk::Integer, "12"}, {'+', "+"}, {tk::Integer, "3"}}},
        TScanCase{"1A", {{tk::Integer, "1"}, {tk::Name, "A"}}},
        TScanCase{"a.b", {{tk::Name, "a"}, {'.', "."}, {tk::Name, "b"}}},
        TScanCase{"<>=()*?,|",
                  {{'<', "<"},
                   {'>', ">"},
                   {'=', "="},
                   {'(', "("},
                   {')', ")"},
                   {'*', "*"},
                   {'?', "?"},
                   {',', ","},
                   {'|', "|"}}},
        TScanCase{"a /* c */ = /* d *//**/ 1", {{tk::Name, "a"}, {'=', "="}, {tk::Integer, "1"}}},
        TScanCase{"\t\r\n a \x01", {{tk::Name, "a"}}}, TScanCase{"a/b", {{tk::Name, "a"}, {'/', "/"}, {tk::Name, "b"}}},
        TScanCase{"\xFF", {{255, "\xFF"}}}));

TEST(Scanner, EmbeddedNulEndsTheText) { EXPECT_EQ(Scan(std::string("a\0b", 3)).size(), 1u); }

TEST(Scanner, KeywordAndSymbolTests) {
  TExpressionScanner s;
  s.SetText("select [from] ( 'x'");
  s.NextToken();
  EXPECT_TRUE(s.IsKeyword("SELECT"));
  EXPECT_TRUE(s.IsName());
  s.NextToken();
  EXPECT_FALSE(s.IsKeyword("FROM"));  // a bracketed name is never a keyword
  EXPECT_TRUE(s.IsName());
  s.NextToken();
  EXPECT_TRUE(s.IsSymbol('('));
  EXPECT_FALSE(s.IsName());
  s.NextToken();
  EXPECT_TRUE(s.IsName());
  EXPECT_EQ(s.RawTokenText(), "'x'");
}

TEST(Scanner, ExpressionTextDropsLineBreaks) {
  TExpressionScanner s;
  s.SetText("SELECT a +\r\n b AS c");
  s.NextToken();
  s.NextToken();
  s.MarkExpressionStart();
  s.NextToken();
  s.NextToken();
  s.NextToken();  // AS is current; the expression ended with b
  EXPECT_EQ(s.ExpressionText(), "a + b");
}

struct TScanError {
  const char* Source;
  const char* Detail;
};

class ScannerErrors : public ::testing::TestWithParam<TScanError> {};

TEST_P(ScannerErrors, MessageAndCode) {
  TExpressionScanner s;
  s.ErrorCode = kFilterErrorCode;
  s.ErrorTableName = "VIDEOS";
  s.ContextName = "filter expression";
  s.SetText(GetParam().Source);
  try {
    for (int i = 0; i < 10; ++i) s.NextToken();
    FAIL() << "no error for " << GetParam().Source;
  } catch (const EQuarryEngineError& e) {
    EXPECT_EQ(e.Code(), kFilterErrorCode);
    EXPECT_EQ(e.TableName(), "VIDEOS");
    EXPECT_EQ(e.Detail(), GetParam().Detail);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Unterminated, ScannerErrors,
    ::testing::Values(TScanError{"a = 'abc", "Missing single quote after 'ab' in filter expression"},
                      TScanError{"\"xyz", "Missing double quote after 'xy' in filter expression"},
                      TScanError{"[col", "Missing right bracket after 'co' in filter expression"},
                      TScanError{"'", "Missing single quote after '' in filter expression"},
                      TScanError{"a = 1 /* open", "Missing ending comment slash and asterisk in filter expression"}));

TEST(Scanner, SqlErrorTextCarriesThePrefix) {
  TExpressionScanner s;
  s.SetText("'abc");
  try {
    s.NextToken();
    FAIL();
  } catch (const EQuarryEngineError& e) {
    EXPECT_EQ(e.Code(), kSqlErrorCode);
    EXPECT_EQ(std::string(e.what()),
              "Quarry Engine Error # 11949 SQL error - Missing single quote after 'ab' in SQL statement");
  }
}

}  // namespace
}  // namespace quarry
