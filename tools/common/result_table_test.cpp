// Printing results: CSV quoting and NULLs, and the aligned table.
#include "tools/common/result_table.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tools/common/csv_reader.h"

namespace quarry::tools {
namespace {

TEST(ResultTable, CsvFieldsAreQuotedOnlyWhenNeeded) {
  struct TCase {
    TResultValue Value;
    const char* Expected;
  };
  const TCase cases[] = {
      {std::nullopt, ""},
      {std::string(), "\"\""},
      {std::string("plain text"), "plain text"},
      {std::string("a,b"), "\"a,b\""},
      {std::string("Charles \"Buddy\" Rogers"), "\"Charles \"\"Buddy\"\" Rogers\""},
      {std::string("two\nlines"), "\"two\nlines\""},
      {std::string("cr\r"), "\"cr\r\""},
      {std::string(" padded "), " padded "},
  };
  for (const auto& c : cases) EXPECT_EQ(CsvField(c.Value), c.Expected) << c.Expected;
}

TEST(ResultTable, CsvOutputReadsBackToTheSameValues) {
  TResultTable table;
  table.Columns = {{"ID", true}, {"NAME", false}, {"NOTE", false}};
  table.Rows = {{"1", "Amélie", std::nullopt}, {"2", "a \"quoted\", name", "line\nbreak"}};
  std::ostringstream out;
  PrintCsv(out, table);
  EXPECT_EQ(out.str().substr(0, 14), "ID,NAME,NOTE\r\n");
  const auto records = ReadAllCsv(out.str());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].Fields, (std::vector<std::string>{"1", "Amélie", ""}));
  EXPECT_EQ(records[2].Fields, (std::vector<std::string>{"2", "a \"quoted\", name", "line\nbreak"}));
}

TEST(ResultTable, AlignedTableLinesUpColumns) {
  TResultTable table;
  table.Columns = {{"VIDEOID", true}, {"TITLE", false}, {"YEAR", false}};
  table.Rows = {{"1", "The Kid", "1921"}, {"120", "Amélie", std::nullopt}, {"7", "Two\nlines", "2001"}};
  std::ostringstream out;
  PrintAligned(out, table);
  EXPECT_EQ(out.str(),
            "VIDEOID | TITLE     | YEAR\n"
            "--------+-----------+-----\n"
            "      1 | The Kid   | 1921\n"
            "    120 | Amélie    |\n"
            "      7 | Two lines | 2001\n"
            "(3 rows)\n");
}

TEST(ResultTable, AlignedTableCountsRows) {
  TResultTable table;
  table.Columns = {{"N", true}};
  std::ostringstream none, one;
  PrintAligned(none, table);
  EXPECT_EQ(none.str(), "N\n-\n(0 rows)\n");
  table.Rows = {{"5"}};
  PrintAligned(one, table);
  EXPECT_EQ(one.str(), "N\n-\n5\n(1 row)\n");
}

}  // namespace
}  // namespace quarry::tools
