// Tests of the index ranges SELECT reads a table through (access_path.h): IN (SELECT ...)
// driven from the sub-select's values, and intervals of two comparisons or BETWEEN. Each
// statement must give exactly the rows of the same condition written so that no index can
// serve it, the plan must show the range (and which row tests it leaves), and a driven IN
// must read a few records where a scan reads them all.
#include "engine/sql/access_path.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "engine/sql/select_test_support.h"
#include "engine/storage/table/table.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::IndexOn;
using select_testing::TRowValues;

class AccessPathTest : public ::testing::Test, public select_testing::TSelectFixture {
 protected:
  static constexpr int kRows = 400;

  AccessPathTest() {
    // T: ID (primary), A (index BYA, NULL every 9th row), S CHAR(6) (index BYS: case,
    // trailing spaces, the empty text and NULL), U CHAR(6) (unique index BYU: no key bytes
    // after the field), N (no index).
    std::vector<TRowValues> rows;
    const char* const texts[] = {"b", "B", "b ", "ab", "", "NULL", "bc", "abcdef", "c"};
    for (int i = 1; i <= kRows; ++i) {
      const std::string a = i % 9 == 0 ? "NULL" : std::to_string(i % 8);
      rows.push_back({std::to_string(i), a, texts[i % 9], "u" + std::to_string(1000 + i), std::to_string(i % 5)});
    }
    MakeTable("T",
              {Column(1, "ID", TFieldType::Integer), Column(2, "A", TFieldType::Integer),
               Column(3, "S", TFieldType::String, 6), Column(4, "U", TFieldType::String, 6),
               Column(5, "N", TFieldType::Integer)},
              IndexOn("", {1}, true), {IndexOn("BYA", {2}), IndexOn("BYS", {3}), IndexOn("BYU", {4}, true)}, rows);
    // M: the sub-selects' table. K = 1: three IDs; K = 2: duplicates, a NULL and IDs that T
    // does not hold; K = 3: texts; K = 4: every ID.
    rows = {{"1", "1", "5", "x"},     {"2", "1", "17", "x"},  {"3", "1", "399", "x"},  {"4", "2", "17", "b"},
            {"5", "2", "17", "b "},   {"6", "2", "NULL", ""}, {"7", "2", "9999", "B"}, {"8", "2", "-4", "NULL"},
            {"9", "2", "250", "abc"}, {"10", "3", "3", "b"},  {"11", "3", "4", "c"}};
    for (int i = 1; i <= kRows; ++i) rows.push_back({std::to_string(100 + i), "4", std::to_string(i), "y"});
    MakeTable("M",
              {Column(1, "MID", TFieldType::Integer), Column(2, "K", TFieldType::Integer),
               Column(3, "TID", TFieldType::Integer), Column(4, "W", TFieldType::String, 6)},
              IndexOn("", {1}, true), {IndexOn("BYK", {2}), IndexOn("BYTID", {3})}, rows);
  }

  struct TRun {
    std::vector<std::string> Rows;  // in the result's order
    std::string Plan;
    std::int64_t RecordsOfT = 0;  // records of T fetched (cache hits and disk reads)
  };

  TRun Run(const std::string& sql) {
    TDataCursor t(*Database);
    t.SetTableName("T");
    t.Open();
    const TDataFile& data = t.Table().Data();
    const std::int64_t before = data.CacheHits() + data.DiskReads();
    TQueryStatement statement(Database);
    statement.Prepare(sql);
    TDataCursor* cursor = statement.Execute();
    TRun run;
    run.RecordsOfT = data.CacheHits() + data.DiskReads() - before;
    run.Plan = statement.PlanText();
    std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor->RecordBufferSize()));
    cursor->Home();
    while (cursor->Next(record.data()) == 0) {
      std::string text;
      for (const TFieldDefinition& f : cursor->Fields())
        if (!f.Internal) text += select_testing::FieldText(record.data(), f) + "|";
      run.Rows.push_back(text);
    }
    return run;
  }

  struct TCase {
    const char* Sql;
    const char* Unserved;  // the same condition over expressions no index answers
    std::vector<const char*> InPlan;
    std::vector<const char*> NotInPlan;
  };

  void Check(const std::vector<TCase>& cases) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(c.Sql);
      const TRun served = Run(c.Sql);
      TRun unserved = Run(c.Unserved);
      std::vector<std::string> rows = served.Rows;
      if (std::string(c.Sql).find("ORDER BY") == std::string::npos) {
        std::sort(rows.begin(), rows.end());
        std::sort(unserved.Rows.begin(), unserved.Rows.end());
      }
      EXPECT_EQ(rows, unserved.Rows);
      for (const char* part : c.InPlan) EXPECT_NE(served.Plan.find(part), std::string::npos) << served.Plan;
      for (const char* part : c.NotInPlan) EXPECT_EQ(served.Plan.find(part), std::string::npos) << served.Plan;
    }
  }
};

TEST_F(AccessPathTest, InSubSelectDrivenFromItsValuesGivesTheRowsOfTheScan) {
  Check({
      {"SELECT ID, S FROM T WHERE ID IN (SELECT TID FROM M WHERE K = 1)",
       "SELECT ID, S FROM T WHERE ID + 0 IN (SELECT TID FROM M WHERE K = 1)",
       {"ranges on index primary from the 3 values of ID IN (SELECT)"},
       {}},
      // Duplicates, a NULL and values T does not hold (nor an integer field could).
      {"SELECT ID FROM T WHERE ID IN (SELECT TID FROM M WHERE K = 2)",
       "SELECT ID FROM T WHERE ID + 0 IN (SELECT TID FROM M WHERE K = 2)",
       {"ranges on index primary from the 4 values"},
       {}},
      {"SELECT ID FROM T WHERE ID IN (SELECT TID FROM M WHERE K = 99)",
       "SELECT ID FROM T WHERE ID + 0 IN (SELECT TID FROM M WHERE K = 99)",
       {"ranges on index primary from the 0 values"},
       {}},
      // A non-unique index, with other conditions on the rows read.
      {"SELECT ID FROM T WHERE A IN (SELECT TID FROM M WHERE K = 3) AND N > 1",
       "SELECT ID FROM T WHERE A + 0 IN (SELECT TID FROM M WHERE K = 3) AND N > 1",
       {"ranges on index BYA from the 2 values", "per-row"},
       {}},
      {"SELECT ID FROM T WHERE ID IN (SELECT TID FROM M WHERE K = 2) AND S = 'b'",
       "SELECT ID FROM T WHERE ID + 0 IN (SELECT TID FROM M WHERE K = 2) AND S || '' = 'b'",
       {"range on index BYS from S = 'b'", "per-row ID IN (SELECT)"},
       {}},
      // Ordered by the driving index: forward in its order, backward sorted.
      {"SELECT ID FROM T WHERE ID IN (SELECT TID FROM M WHERE K = 2) ORDER BY ID",
       "SELECT ID FROM T WHERE ID + 0 IN (SELECT TID FROM M WHERE K = 2) ORDER BY ID",
       {"ranges on index primary"},
       {}},
      {"SELECT ID FROM T WHERE ID IN (SELECT TID FROM M WHERE K = 2) ORDER BY ID DESC",
       "SELECT ID FROM T WHERE ID + 0 IN (SELECT TID FROM M WHERE K = 2) ORDER BY ID DESC",
       {"ranges on index primary"},
       {}},
      // A sub-select over the same table, and one inside another.
      {"SELECT ID FROM T WHERE A IN (SELECT A FROM T WHERE ID < 3)",
       "SELECT ID FROM T WHERE A + 0 IN (SELECT A FROM T WHERE ID < 3)",
       {"ranges on index BYA from the 2 values"},
       {}},
      {"SELECT ID FROM T WHERE ID IN (SELECT TID FROM M WHERE K IN (SELECT A FROM T WHERE ID = 3))",
       "SELECT ID FROM T WHERE ID + 0 IN (SELECT TID FROM M WHERE K + 0 IN (SELECT A FROM T WHERE ID = 3))",
       {"ranges on index primary from the 2 values"},
       {}},
      // Not driven: NOT IN, many values, a column without index, texts, an IN inside OR.
      {"SELECT ID FROM T WHERE ID NOT IN (SELECT TID FROM M WHERE K = 2)",
       "SELECT ID FROM T WHERE ID + 0 NOT IN (SELECT TID FROM M WHERE K = 2)",
       {},
       {"ranges on"}},
      {"SELECT ID FROM T WHERE ID IN (SELECT TID FROM M WHERE K = 4)",
       "SELECT ID FROM T WHERE ID + 0 IN (SELECT TID FROM M WHERE K = 4)",
       {},
       {"ranges on"}},
      {"SELECT ID FROM T WHERE N IN (SELECT TID FROM M WHERE K = 1)",
       "SELECT ID FROM T WHERE N + 0 IN (SELECT TID FROM M WHERE K = 1)",
       {},
       {"ranges on"}},
      {"SELECT ID FROM T WHERE S IN (SELECT W FROM M WHERE K = 2)",
       "SELECT ID FROM T WHERE S || '' IN (SELECT W FROM M WHERE K = 2)",
       {},
       {"ranges on"}},
      {"SELECT ID FROM T WHERE ID IN (SELECT TID FROM M WHERE K = 1) OR N = 4",
       "SELECT ID FROM T WHERE ID + 0 IN (SELECT TID FROM M WHERE K = 1) OR N = 4",
       {},
       {"ranges on"}},
  });
}

TEST_F(AccessPathTest, ACorrelatedSubSelectIsRefusedWhetherOrNotAnIndexCouldServeIt) {
  // Sub-selects run before the query that uses them, so they cannot read its rows.
  const std::string served = FailureOf("SELECT ID FROM T WHERE ID IN (SELECT TID FROM M WHERE M.K = T.A)");
  EXPECT_NE(served.find("Invalid column name"), std::string::npos) << served;
  EXPECT_EQ(served, FailureOf("SELECT ID FROM T WHERE ID + 0 IN (SELECT TID FROM M WHERE M.K = T.A)"));
}

TEST_F(AccessPathTest, DrivenInReadsTheRecordsOfItsValuesOnly) {
  const TRun driven = Run("SELECT ID FROM T WHERE ID IN (SELECT TID FROM M WHERE K = 1)");
  const TRun scanned = Run("SELECT ID FROM T WHERE ID + 0 IN (SELECT TID FROM M WHERE K = 1)");
  EXPECT_EQ(driven.Rows, (std::vector<std::string>{"5|", "17|", "399|"}));
  EXPECT_LE(driven.RecordsOfT, 10);
  EXPECT_GE(scanned.RecordsOfT, kRows);
}

TEST_F(AccessPathTest, IntervalsGiveTheRowsOfTheScan) {
  Check({
      // Integers: the excluded bounds step to the next value, so no row test is left.
      {"SELECT ID FROM T WHERE A > 2 AND A < 5",
       "SELECT ID FROM T WHERE A + 0 > 2 AND A + 0 < 5",
       {"range on index BYA from A > 2 AND A < 5", "per-row none"},
       {"filter"}},
      {"SELECT ID FROM T WHERE A >= 2 AND A <= 5",
       "SELECT ID FROM T WHERE A + 0 >= 2 AND A + 0 <= 5",
       {"range on index BYA", "per-row none"},
       {}},
      {"SELECT ID FROM T WHERE 2 < A AND 5 >= A",
       "SELECT ID FROM T WHERE 2 < A + 0 AND 5 >= A + 0",
       {"range on index BYA", "per-row none"},
       {}},
      {"SELECT ID FROM T WHERE A BETWEEN 3 AND 3",
       "SELECT ID FROM T WHERE A + 0 BETWEEN 3 AND 3",
       {"range on index BYA", "per-row none"},
       {}},
      {"SELECT ID FROM T WHERE A > 3 AND A < 4", "SELECT ID FROM T WHERE A + 0 > 3 AND A + 0 < 4", {"range on"}, {}},
      {"SELECT ID FROM T WHERE A > 5 AND A < 2", "SELECT ID FROM T WHERE A + 0 > 5 AND A + 0 < 2", {"range on"}, {}},
      {"SELECT ID FROM T WHERE A >= 6 AND A <= 2", "SELECT ID FROM T WHERE A + 0 >= 6 AND A + 0 <= 2", {}, {}},
      {"SELECT ID FROM T WHERE ID > 390 AND ID < 2147483647",
       "SELECT ID FROM T WHERE ID + 0 > 390 AND ID + 0 < 2147483647",
       {"range on index primary", "per-row none"},
       {}},
      {"SELECT ID FROM T WHERE ID > 2147483647 AND ID < 5",
       "SELECT ID FROM T WHERE ID + 0 > 2147483647 AND ID < 5",
       {},
       {}},
      {"SELECT ID FROM T WHERE A > NULL AND A < 5", "SELECT ID FROM T WHERE A + 0 > NULL AND A + 0 < 5", {}, {}},
      {"SELECT COUNT(*) FROM T WHERE A > 1 AND A <= 4",
       "SELECT COUNT(*) FROM T WHERE A + 0 > 1 AND A + 0 <= 4",
       {"per-row none"},
       {}},
      // Strings in byte order: case, trailing spaces, the empty text (NULL orders as it).
      {"SELECT ID FROM T WHERE S > 'a' AND S < 'c'",
       "SELECT ID FROM T WHERE S || '' > 'a' AND S || '' < 'c'",
       {"range on index BYS", "per-row none"},
       {}},
      {"SELECT ID FROM T WHERE S >= 'b' AND S <= 'b '",
       "SELECT ID FROM T WHERE S || '' >= 'b' AND S || '' <= 'b '",
       {"range on index BYS"},
       {}},
      {"SELECT ID FROM T WHERE S > 'b' AND S < 'bc'",
       "SELECT ID FROM T WHERE S || '' > 'b' AND S || '' < 'bc'",
       {"range on index BYS"},
       {}},
      {"SELECT ID FROM T WHERE S >= '' AND S < 'b'",
       "SELECT ID FROM T WHERE S || '' >= '' AND S || '' < 'b'",
       {"range on index BYS"},
       {}},
      {"SELECT ID FROM T WHERE S > '' AND S <= 'b'",
       "SELECT ID FROM T WHERE S || '' > '' AND S || '' <= 'b'",
       {"range on index BYS"},
       {}},
      {"SELECT ID FROM T WHERE S > 'a' AND S < ''", "SELECT ID FROM T WHERE S || '' > 'a' AND S || '' < ''", {}, {}},
      {"SELECT ID FROM T WHERE S BETWEEN 'B' AND 'b'",
       "SELECT ID FROM T WHERE S || '' BETWEEN 'B' AND 'b'",
       {"range on index BYS", "per-row none"},
       {}},
      {"SELECT ID FROM T WHERE S BETWEEN '' AND 'ab'",
       "SELECT ID FROM T WHERE S || '' BETWEEN '' AND 'ab'",
       {"range on index BYS"},
       {}},
      // A bound longer than the field keeps its row test over a wider range.
      {"SELECT ID FROM T WHERE S > 'abcdef' AND S <= 'abcdefgh'",
       "SELECT ID FROM T WHERE S || '' > 'abcdef' AND S || '' <= 'abcdefgh'",
       {},
       {}},
      // A unique text index has no key bytes after the field to leave a bound out with.
      {"SELECT ID FROM T WHERE U > 'u1010' AND U < 'u1020'",
       "SELECT ID FROM T WHERE U || '' > 'u1010' AND U || '' < 'u1020'",
       {"range on index BYU", "per-row U > 'u1010' AND U < 'u1020'"},
       {}},
      {"SELECT ID, U FROM T WHERE U >= 'u1010' AND U <= 'u1020' ORDER BY U DESC",
       "SELECT ID, U FROM T WHERE U || '' >= 'u1010' AND U || '' <= 'u1020' ORDER BY U DESC",
       {"range on index BYU", "per-row none"},
       {}},
  });
}

TEST_F(AccessPathTest, AStringEqualityIsAnsweredByTheRangeWhenTheFieldStoresTheTextUnchanged) {
  Check({
      {"SELECT ID FROM T WHERE S = 'b'",
       "SELECT ID FROM T WHERE S || '' = 'b'",
       {"range on index BYS from S = 'b'", "per-row none"},
       {}},
      // A text the field stores otherwise (trailing spaces cut) keeps its row test.
      {"SELECT ID FROM T WHERE S = 'b '", "SELECT ID FROM T WHERE S || '' = 'b '", {"range on index BYS"}, {}},
      {"SELECT ID FROM T WHERE S = 'abcdefgh'",
       "SELECT ID FROM T WHERE S || '' = 'abcdefgh'",
       {"per-row S = 'abcdefgh'"},
       {}},
  });
}

}  // namespace
}  // namespace quarry
