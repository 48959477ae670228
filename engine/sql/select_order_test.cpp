// Whole-table ORDER BY lists: served from an index whose keys hold every selected column, or
// by reading and sorting; both must give the same rows in the same order, NULLs first, and a
// prepared statement must give them again on its next execution.
#include <gtest/gtest.h>

#include "engine/sql/select_test_support.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::IndexOn;
using select_testing::TSelectFixture;

class SelectOrderTest : public ::testing::Test, public TSelectFixture {
 protected:
  SelectOrderTest() {
    TFieldDefinition id = Column(1, "ID", TFieldType::Integer);
    id.SubType = subtype::AutoInc;
    MakeTable("PEOPLE",
              {id, Column(2, "NAME", TFieldType::String, 20), Column(3, "YEAR", TFieldType::SmallInt),
               Column(4, "CITY", TFieldType::String, 20)},
              IndexOn("", {1}, true), {IndexOn("BYNAME", {2}), IndexOn("BYYEAR", {3})},
              {{"0", "Maria", "1970", "Lyon"},
               {"0", "Åsa", "-5", "Oslo"},
               {"0", "NULL", "1980", "Rome"},
               {"0", "bob", "NULL", "Oslo"},
               {"0", "Maria", "1960", "Bern"},
               {"0", "Zoë", "1970", "NULL"},
               {"0", "Anders", "32000", "Rome"}});
  }
};

TEST_F(SelectOrderTest, IndexServedListsMatchSortedOnes) {
  struct TCase {
    const char* Sql;
    std::vector<std::string> Rows;
  };
  const std::vector<TCase> cases = {
      {"SELECT NAME FROM PEOPLE ORDER BY NAME", {"NULL", "Anders", "Maria", "Maria", "Zoë", "bob", "Åsa"}},
      {"SELECT NAME FROM PEOPLE ORDER BY NAME DESC", {"Åsa", "bob", "Zoë", "Maria", "Maria", "Anders", "NULL"}},
      {"SELECT YEAR FROM PEOPLE ORDER BY YEAR", {"NULL", "-5", "1960", "1970", "1970", "1980", "32000"}},
      {"SELECT YEAR FROM PEOPLE ORDER BY YEAR DESC", {"32000", "1980", "1970", "1970", "1960", "-5", "NULL"}},
      {"SELECT ID, YEAR FROM PEOPLE ORDER BY YEAR",
       {"4|NULL", "2|-5", "5|1960", "1|1970", "6|1970", "3|1980", "7|32000"}},
      {"SELECT P.YEAR AS Y, YEAR FROM PEOPLE P ORDER BY 1",
       {"NULL|NULL", "-5|-5", "1960|1960", "1970|1970", "1970|1970", "1980|1980", "32000|32000"}},
      {"SELECT NAME FROM PEOPLE ORDER BY NAME TOP 3", {"NULL", "Anders", "Maria"}},
      // Columns outside the key, conditions and computed columns read the records.
      {"SELECT NAME, CITY FROM PEOPLE ORDER BY NAME",
       {"NULL|Rome", "Anders|Rome", "Maria|Lyon", "Maria|Bern", "Zoë|NULL", "bob|Oslo", "Åsa|Oslo"}},
      {"SELECT YEAR FROM PEOPLE WHERE CITY = 'Oslo' ORDER BY YEAR", {"NULL", "-5"}},
      {"SELECT YEAR + 1 FROM PEOPLE ORDER BY 1 DESC", {"32001", "1981", "1971", "1971", "1961", "-4", "NULL"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    try {
      EXPECT_EQ(RunSql(c.Sql).Rows, c.Rows);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

// Indexes that run descending, wholly or in one field, give their order read forward and
// its reverse read backward; the rows are those a sort gives.
TEST_F(SelectOrderTest, DescendingIndexesServeTheirOrderBothWays) {
  TIndexDefinition yearDown = IndexOn("YEARDOWN", {3});
  yearDown.Descending = true;
  TIndexDefinition cityThenNameDown = IndexOn("CITYNAMEDOWN", {4, 2});
  cityThenNameDown.FieldDescending[1] = true;
  MakeTable("TOWNS",
            {Column(1, "ID", TFieldType::Integer), Column(2, "NAME", TFieldType::String, 20),
             Column(3, "YEAR", TFieldType::SmallInt), Column(4, "CITY", TFieldType::String, 20)},
            IndexOn("", {1}, true), {yearDown, cityThenNameDown},
            {{"1", "Maria", "1970", "Lyon"},
             {"2", "Åsa", "-5", "Oslo"},
             {"3", "NULL", "1980", "Rome"},
             {"4", "bob", "NULL", "Oslo"},
             {"5", "Maria", "1960", "Bern"},
             {"6", "Zoë", "1970", "NULL"},
             {"7", "Anders", "32000", "Rome"}});
  struct TCase {
    const char* Sql;
    std::vector<std::string> Rows;
  };
  const std::vector<TCase> cases = {
      {"SELECT YEAR FROM TOWNS ORDER BY YEAR DESC TOP 4", {"32000", "1980", "1970", "1970"}},
      {"SELECT YEAR FROM TOWNS ORDER BY YEAR TOP 3", {"NULL", "-5", "1960"}},
      {"SELECT CITY, NAME FROM TOWNS ORDER BY CITY, NAME DESC TOP 7",
       {"NULL|Zoë", "Bern|Maria", "Lyon|Maria", "Oslo|Åsa", "Oslo|bob", "Rome|Anders", "Rome|NULL"}},
      {"SELECT CITY, NAME FROM TOWNS ORDER BY CITY DESC, NAME TOP 7",
       {"Rome|NULL", "Rome|Anders", "Oslo|bob", "Oslo|Åsa", "Lyon|Maria", "Bern|Maria", "NULL|Zoë"}},
      {"SELECT CITY FROM TOWNS ORDER BY CITY DESC TOP 2", {"Rome", "Rome"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    try {
      EXPECT_EQ(RunSql(c.Sql).Rows, c.Rows);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

// The table's indexes compare bytes; a query in another language orders by that language's
// collation, so no index of the table can give its order.
TEST_F(SelectOrderTest, AnotherLanguageIsSortedRatherThanReadInIndexOrder) {
  struct TCase {
    const char* Sql;
    std::vector<std::string> Rows;
  };
  const std::vector<TCase> cases = {
      {"SELECT NAME FROM PEOPLE ORDER BY NAME LANGUAGE 'German (Standard)'",
       {"NULL", "Anders", "Åsa", "bob", "Maria", "Maria", "Zoë"}},
      {"SELECT NAME FROM PEOPLE ORDER BY NAME TOP 3 LANGUAGE 'German (Standard)'", {"NULL", "Anders", "Åsa"}},
      {"SELECT NAME FROM PEOPLE ORDER BY NAME DESC TOP 3 LANGUAGE 'German (Standard)'", {"Zoë", "Maria", "Maria"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    try {
      EXPECT_EQ(RunSql(c.Sql).Rows, c.Rows);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

TEST_F(SelectOrderTest, AMaximumRowCountCutsTheIndexWalkAndReExecutionRepeatsIt) {
  EXPECT_EQ(RunSql("SELECT YEAR FROM PEOPLE ORDER BY YEAR", 3).Rows.size(), 3u);
  TQueryStatement statement(Database);
  statement.Prepare("SELECT NAME FROM PEOPLE ORDER BY NAME DESC");
  for (int run = 0; run < 2; ++run) {
    TDataCursor* cursor = statement.Execute();
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->RecordCount(), 7);
  }
}

}  // namespace
}  // namespace quarry
