// Tests of SELECT's single-table conditions installed as cursor filters (select_filters.h):
// which conditions go to filters, to the index range or to per-row tests, as the plan text
// tells, and that every shape returns the rows of the same condition written so that no
// index can answer it.
#include "engine/sql/select_filters.h"

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "engine/sql/query_statement.h"
#include "engine/sql/select_test_support.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::IndexOn;
using select_testing::TRowValues;

class SelectFiltersTest : public ::testing::Test, public select_testing::TSelectFixture {
 protected:
  SelectFiltersTest() {
    // T: ID (primary), A (index BYA), B CHAR(10) (index BYB), C (no index), D CHAR(20) (full-
    // text index); J: JID (primary), TID (index BYTID), X (no index).
    std::vector<TRowValues> rows;
    const char* const bs[] = {"x", "xa", "y", "Xb", "NULL"};
    const char* const ds[] = {"Big Sleep", "the big fish", "Sleepless", "NULL"};
    for (int i = 1; i <= 200; ++i)
      rows.push_back({std::to_string(i), std::to_string(i % 10), bs[i % 5], std::to_string(i % 3), ds[i % 4]});
    MakeTable("T",
              {Column(1, "ID", TFieldType::Integer), Column(2, "A", TFieldType::Integer),
               Column(3, "B", TFieldType::String, 10), Column(4, "C", TFieldType::Integer),
               Column(5, "D", TFieldType::String, 20)},
              IndexOn("", {1}, true), {IndexOn("BYA", {2}), IndexOn("BYB", {3})}, rows, IndexOn("", {5}));
    rows.clear();
    for (int i = 1; i <= 100; ++i) rows.push_back({std::to_string(i), std::to_string(i % 50), std::to_string(i % 4)});
    MakeTable("J",
              {Column(1, "JID", TFieldType::Integer), Column(2, "TID", TFieldType::Integer),
               Column(3, "X", TFieldType::Integer)},
              IndexOn("", {1}, true), {IndexOn("BYTID", {2})}, rows);
  }

  // The rows (sorted) and the plan text of a statement.
  std::pair<std::vector<std::string>, std::string> Run(const std::string& sql) {
    TQueryStatement statement(Database);
    statement.Prepare(sql);
    TDataCursor* cursor = statement.Execute();
    std::vector<std::string> rows;
    std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor->RecordBufferSize()));
    cursor->Home();
    while (cursor->Next(record.data()) == 0) {
      std::string text;
      for (const TFieldDefinition& f : cursor->Fields())
        if (!f.Internal) text += select_testing::FieldText(record.data(), f) + "|";
      rows.push_back(text);
    }
    std::sort(rows.begin(), rows.end());
    return {rows, statement.PlanText()};
  }
};

TEST_F(SelectFiltersTest, ConditionsGoToFiltersRangesOrRowTestsAndGiveTheRowsOfARowByRowTest) {
  struct TCase {
    const char* sql;
    const char* unserved;  // the same condition over expressions no index answers
    std::vector<const char*> inPlan;
    std::vector<const char*> notInPlan;
  };
  const TCase cases[] = {
      {"SELECT ID FROM T WHERE A = 1 OR A = 2",
       "SELECT ID FROM T WHERE A + 0 = 1 OR A + 0 = 2",
       {"filter (A = 1 OR A = 2): level 2", "index BYA", "per-row none"},
       {"range on"}},
      // The equality builds the range; the other indexed condition is a filter.
      {"SELECT ID FROM T WHERE A = 3 AND B = 'x'",
       "SELECT ID FROM T WHERE A + 0 = 3 AND B || '' = 'x'",
       {"range on index BYA from A = 3", "filter B = 'x': level 2", "index BYB"},
       {}},
      {"SELECT ID FROM T WHERE C = 1 AND B LIKE 'x%'",
       "SELECT ID FROM T WHERE C = 1 AND B || '' LIKE 'x%'",
       {"filter B STARTS 'x': level 2", "per-row C = 1"},
       {}},
      {"SELECT ID FROM T WHERE A IN (1, 4) AND C <> 2",
       "SELECT ID FROM T WHERE A + 0 IN (1, 4) AND C <> 2",
       {"filter A IN (1, 4): level 2", "per-row C <> 2"},
       {}},
      {"SELECT ID FROM T WHERE (A < 2 OR A > 8) AND B <> NULL",
       "SELECT ID FROM T WHERE (A + 0 < 2 OR A + 0 > 8) AND B || '' <> ''",
       {"filter (A < 2 OR A > 8): level 2"},
       {}},
      // Partial: the indexed side first, the LIKE read only on its records; an OR of
      // partial parts is not served.
      {"SELECT ID FROM T WHERE (A = 5 OR A = 6) AND (B LIKE '%a%' OR C = 0)",
       "SELECT ID FROM T WHERE (A + 0 = 5 OR A + 0 = 6) AND (B LIKE '%a%' OR C = 0)",
       {"filter (A = 5 OR A = 6): level 2", "per-row (B LIKE '%a%' OR C = 0)"},
       {}},
      {"SELECT ID FROM T WHERE C = 2 AND (A = 5 AND B LIKE '%a%' OR A = 6 AND B LIKE '%a%')",
       "SELECT ID FROM T WHERE C = 2 AND (A + 0 = 5 AND B LIKE '%a%' OR A + 0 = 6 AND B LIKE '%a%')",
       {"per-row C = 2 AND ((A = 5"},
       {"filter"}},
      // No index on C: an OR with it is tested per row.
      {"SELECT ID FROM T WHERE C = 1 OR A = 2",
       "SELECT ID FROM T WHERE C = 1 OR A + 0 = 2",
       {"per-row (C = 1 OR"},
       {"filter"}},
      // The inner table of a left outer join tests its conditions after the match.
      {"SELECT T.ID, J.JID FROM T LEFT JOIN J ON T.ID = J.TID WHERE J.TID IN (3, 4) OR J.TID = NULL",
       "SELECT T.ID, J.JID FROM T LEFT JOIN J ON T.ID = J.TID WHERE J.TID + 0 IN (3, 4) OR J.TID + 0 = NULL",
       {"per-row"},
       {"filter (J."}},
      // A join: the filter narrows the driving table; the inner table is looked up per row.
      {"SELECT T.ID, J.JID FROM T, J WHERE T.ID = J.TID AND T.A IN (1, 2) AND T.B = 'xa'",
       "SELECT T.ID, J.JID FROM T, J WHERE T.ID = J.TID AND T.A + 0 IN (1, 2) AND T.B || '' = 'xa'",
       {"filter", "join"},
       {}},
      {"SELECT COUNT(*) FROM T WHERE A IN (2, 3) AND B > 'x'",
       "SELECT COUNT(*) FROM T WHERE A + 0 IN (2, 3) AND B || '' > 'x'",
       {"filter"},
       {}},
      // The range's twenty records cost less to test than B's hundred and twenty keys cost
      // to read (above, its forty keys for 'x' cost less).
      {"SELECT ID FROM T WHERE A = 3 AND B >= 'x'",
       "SELECT ID FROM T WHERE A + 0 = 3 AND B || '' >= 'x'",
       {"range on index BYA from A = 3", "per-row B >= 'x'"},
       {"filter"}},
      // TEXTSEARCH from the full-text index; the same OR a condition no index answers is
      // tested per row.
      {"SELECT ID FROM T WHERE TEXTSEARCH('BIG' IN D)",
       "SELECT ID FROM T WHERE TEXTSEARCH('BIG' IN D) OR C = 7",
       {"filter TEXTSEARCH('BIG' IN D) = True: level 2, estimated 100 records, index Sys Text", "per-row none"},
       {}},
      {"SELECT COUNT(*) FROM T WHERE TEXTSEARCH('sleep*' IN D) AND A IN (1, 2)",
       "SELECT COUNT(*) FROM T WHERE (TEXTSEARCH('sleep*' IN D) OR C = 7) AND A + 0 IN (1, 2)",
       {"filter TEXTSEARCH('sleep*' IN D) = True: level 2", "filter A IN (1, 2): level 2"},
       {}},
      {"SELECT ID FROM T WHERE TEXTSEARCH('th* fish' IN D)",
       "SELECT ID FROM T WHERE TEXTSEARCH('th* fish' IN D) OR C = 7",
       {"filter TEXTSEARCH('th* fish' IN D) = True: level 1"},
       {}},
      // Twenty records in the range cost less than the hundred keys of the words.
      {"SELECT ID FROM T WHERE A = 4 AND TEXTSEARCH('sleep*' IN D)",
       "SELECT ID FROM T WHERE A + 0 = 4 AND (TEXTSEARCH('sleep*' IN D) OR C = 7)",
       {"range on index BYA from A = 4", "per-row TEXTSEARCH('sleep*' IN D)"},
       {"filter"}},
  };
  for (const TCase& t : cases) {
    SCOPED_TRACE(t.sql);
    const auto [rows, plan] = Run(t.sql);
    SCOPED_TRACE(plan);
    EXPECT_EQ(rows, Run(t.unserved).first);
    for (const char* text : t.inPlan) EXPECT_NE(plan.find(text), std::string::npos) << text;
    for (const char* text : t.notInPlan) EXPECT_EQ(plan.find(text), std::string::npos) << text;
  }
}

TEST_F(SelectFiltersTest, EachExecutionReplacesThePreviousFilters) {
  TQueryStatement statement(Database);
  statement.Prepare("SELECT ID FROM T WHERE A = ? OR A = 7");
  const auto count = [&](std::int32_t a) {
    TParameterDescriptor descriptor;
    descriptor.DataType = vt::Integer;
    descriptor.Size = 4;
    descriptor.Offset = 0;
    std::uint8_t data[8] = {1};  // the has-value flag, then the value
    std::memcpy(data + 1, &a, 4);
    statement.Execute(1, &descriptor, data, sizeof data);
    return statement.RowsAffected();
  };
  EXPECT_EQ(count(1), 40);
  EXPECT_EQ(count(1), 40);
  EXPECT_EQ(count(7), 20);
}

}  // namespace
}  // namespace quarry
