// Cutting shell input into statements: at a ";" that ends a line and lies outside strings and
// comments, then at every ";" token of the lines read.
#include "tools/common/statement_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace quarry::tools {
namespace {

std::vector<std::pair<std::string, int>> Statements(const std::string& input) {
  std::istringstream in(input);
  TStatementReader reader(in);
  std::vector<std::pair<std::string, int>> result;
  TStatementText statement;
  while (reader.Next(statement)) result.emplace_back(statement.Text, statement.Line);
  return result;
}

TEST(StatementReader, StatementsEndWithASemicolonAtTheEndOfALine) {
  struct TCase {
    const char* Name;
    std::string Input;
    std::vector<std::pair<std::string, int>> Expected;
  };
  const TCase cases[] = {
      {"one line", "SELECT 1 FROM T;\n", {{"SELECT 1 FROM T", 1}}},
      {"several lines", "SELECT A\nFROM T\nWHERE A = 1;\n", {{"SELECT A\nFROM T\nWHERE A = 1", 1}}},
      {"blank lines skipped",
       "\n\nSELECT A FROM T;\n\nSELECT B FROM T;\n",
       {{"SELECT A FROM T", 3}, {"SELECT B FROM T", 5}}},
      {"blanks after the semicolon", "SELECT A FROM T;  \r\n", {{"SELECT A FROM T", 1}}},
      {"semicolon inside a line does not end it",
       "SELECT \"a;b\" FROM T\nWHERE 1=1;\n",
       {{"SELECT \"a;b\" FROM T\nWHERE 1=1", 1}}},
      {"last statement without semicolon",
       "SELECT A FROM T;\nSELECT B\nFROM T",
       {{"SELECT A FROM T", 1}, {"SELECT B\nFROM T", 2}}},
      {"only blanks", "  \n\t\n", {}},
      {"CR LF line ends", "SELECT A\r\nFROM T;\r\n", {{"SELECT A\nFROM T", 1}}},
      {"several statements on one line",
       "SELECT A FROM T; SELECT B\nFROM U;\n",
       {{"SELECT A FROM T", 1}, {"SELECT B\nFROM U", 1}}},
      {"a later statement of the lines read starts on its own line",
       "SELECT A\nFROM T;\n\n  SELECT B FROM U; SELECT C\nFROM V;\n",
       {{"SELECT A\nFROM T", 1}, {"SELECT B FROM U", 4}, {"SELECT C\nFROM V", 4}}},
      {"a string may hold a line ending with a semicolon",
       "UPDATE T SET A = 'one;\ntwo';\nSELECT A FROM T;\n",
       {{"UPDATE T SET A = 'one;\ntwo'", 1}, {"SELECT A FROM T", 3}}},
      {"so may a comment", "SELECT A /* not yet;\n*/ FROM T;\n", {{"SELECT A /* not yet;\n*/ FROM T", 1}}},
      {"empty statements are none", ";\n ;; \nSELECT A FROM T;\n", {{"SELECT A FROM T", 3}}},
      {"an unended string is left for the engine to report",
       "SELECT A FROM T;\nSELECT 'abc FROM T;\n",
       {{"SELECT A FROM T", 1}, {"SELECT 'abc FROM T;", 2}}},
      {"so is an unended comment", "SELECT A FROM T; /* oops;\n", {{"SELECT A FROM T", 1}, {"/* oops;", 1}}},
  };
  for (const auto& c : cases) EXPECT_EQ(Statements(c.Input), c.Expected) << c.Name;
}

}  // namespace
}  // namespace quarry::tools
