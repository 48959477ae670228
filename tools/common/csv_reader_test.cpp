// RFC 4180 reading: quoting, line ends, and the line numbers of malformed records.
#include "tools/common/csv_reader.h"

#include <gtest/gtest.h>

namespace quarry::tools {
namespace {

using TRows = std::vector<std::vector<std::string>>;

TRows Rows(std::string_view text) {
  TRows rows;
  for (auto& record : ReadAllCsv(text)) rows.push_back(record.Fields);
  return rows;
}

TEST(CsvReader, ReadsWellFormedText) {
  struct TCase {
    const char* Name;
    std::string Text;
    TRows Expected;
  };
  const TCase cases[] = {
      {"plain", "A,B\n1,x\n", {{"A", "B"}, {"1", "x"}}},
      {"no final line end", "A,B\n1,x", {{"A", "B"}, {"1", "x"}}},
      {"CR LF", "A,B\r\n1,x\r\n", {{"A", "B"}, {"1", "x"}}},
      {"lone CR", "A,B\r1,x\r", {{"A", "B"}, {"1", "x"}}},
      {"empty fields", "A,B,C\n,,\n", {{"A", "B", "C"}, {"", "", ""}}},
      {"trailing comma", "A,B\n1,\n", {{"A", "B"}, {"1", ""}}},
      {"quoted comma", "A\n\"x,y\"\n", {{"A"}, {"x,y"}}},
      {"doubled quote", "A\n\"Charles \"\"Buddy\"\" Rogers\"\n", {{"A"}, {"Charles \"Buddy\" Rogers"}}},
      {"line end inside quotes", "A,B\n\"two\nlines\",2\n", {{"A", "B"}, {"two\nlines", "2"}}},
      {"quoted empty", "A,B\n\"\",1\n", {{"A", "B"}, {"", "1"}}},
      {"byte order mark",
       "\xEF\xBB\xBF"
       "A\n1\n",
       {{"A"}, {"1"}}},
      {"UTF-8 kept", "A\nAmélie\n", {{"A"}, {"Amélie"}}},
      {"blank line is one empty field", "A\n\n1\n", {{"A"}, {""}, {"1"}}},
      {"blanks kept", "A\n  x \n", {{"A"}, {"  x "}}},
      {"single quotes are text", "A\nBoarding School Girls' Parade\n", {{"A"}, {"Boarding School Girls' Parade"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(Rows(c.Text), c.Expected) << c.Name;
  EXPECT_TRUE(Rows("").empty());
}

TEST(CsvReader, RecordsKnowTheirFirstLine) {
  const auto records = ReadAllCsv("A,B\n\"x\ny\",1\r\n\"p\r\nq\",2\n3,4\n");
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].Line, 1);
  EXPECT_EQ(records[1].Line, 2);
  EXPECT_EQ(records[2].Line, 4);
  EXPECT_EQ(records[3].Line, 6);
}

TEST(CsvReader, MalformedTextReportsItsLine) {
  struct TCase {
    const char* Name;
    std::string Text;
    int Line;
    const char* Reason;  // part of the reason
  };
  const TCase cases[] = {
      {"quote inside a bare field", "A,B\n1,2\nab\"c,3\n", 3, "double quote inside field 1"},
      {"text after closing quote", "A,B\n\"x\"y,1\n", 2, "follows the closing quote of field 1"},
      {"unclosed quote", "A,B\n1,2\n3,\"open\n4,5\n", 3, "not closed"},
      {"after multi-line value", "A\n\"a\nb\"\n\"c\"d\n", 4, "follows the closing quote"},
  };
  for (const auto& c : cases) {
    try {
      ReadAllCsv(c.Text);
      ADD_FAILURE() << c.Name << ": no error";
    } catch (const ECsvError& error) {
      EXPECT_EQ(error.Line(), c.Line) << c.Name;
      EXPECT_NE(error.Reason().find(c.Reason), std::string::npos) << c.Name << ": " << error.what();
      EXPECT_NE(std::string(error.what()).find("line " + std::to_string(c.Line)), std::string::npos) << c.Name;
    }
  }
}

}  // namespace
}  // namespace quarry::tools
