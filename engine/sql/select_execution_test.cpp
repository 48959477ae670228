// SELECT execution over small tables made through the cursor: joins of each kind, DISTINCT,
// GROUP BY with aggregates and HAVING, ORDER BY (DESC, NOCASE), TOP, UNION [ALL], IN
// sub-selects, INTO, result column names, the maximum row count and the preparation errors.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/sql/select_test_support.h"
#include "engine/storage/table/table.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::IndexOn;

class SelectExecution : public ::testing::Test, public select_testing::TSelectFixture {
 protected:
  SelectExecution() {
    // EMP: an employee with no department (5), one in a department that does not exist (4),
    // two of one name (1, 6).
    MakeTable("EMP",
              {Column(1, "ID", TFieldType::Integer), Column(2, "NAME", TFieldType::String, 20),
               Column(3, "DEPT", TFieldType::Integer), Column(4, "SALARY", TFieldType::Integer),
               Column(5, "GRADE", TFieldType::String, 5)},
              IndexOn("", {1}, true), {IndexOn("BYNAME", {2}), IndexOn("BYDEPT", {3})},
              {{"1", "Ann", "10", "100", "A"},
               {"2", "bob", "10", "200", "B"},
               {"3", "Cid", "20", "300", "A"},
               {"4", "Dee", "30", "400", "NULL"},
               {"5", "Eve", "NULL", "150", "B"},
               {"6", "Ann", "20", "250", "A"}});
    // DEPT: department 40 has nobody.
    MakeTable("DEPT", {Column(1, "ID", TFieldType::Integer), Column(2, "TITLE", TFieldType::String, 20)},
              IndexOn("", {1}, true), {IndexOn("BYTITLE", {2})}, {{"10", "Sales"}, {"20", "Dev"}, {"40", "Empty"}});
  }
};

struct TRowsCase {
  const char* Sql;
  std::vector<std::string> Rows;  // in the order the result must give them
};

TEST_F(SelectExecution, StatementsGiveTheirRowsInOrder) {
  const std::vector<TRowsCase> cases = {
      // ORDER BY: byte order of the table's collation, DESC, NOCASE, by number.
      {"SELECT NAME FROM EMP ORDER BY NAME", {"Ann", "Ann", "Cid", "Dee", "Eve", "bob"}},
      {"SELECT NAME FROM EMP ORDER BY NAME DESC", {"bob", "Eve", "Dee", "Cid", "Ann", "Ann"}},
      {"SELECT NAME FROM EMP ORDER BY NAME NOCASE", {"Ann", "Ann", "bob", "Cid", "Dee", "Eve"}},
      {"SELECT NAME, SALARY FROM EMP ORDER BY 2 DESC",
       {"Dee|400", "Cid|300", "Ann|250", "bob|200", "Eve|150", "Ann|100"}},
      // DISTINCT, alone and with ORDER BY; NULL sorts first.
      {"SELECT DISTINCT NAME FROM EMP ORDER BY NAME", {"Ann", "Cid", "Dee", "Eve", "bob"}},
      {"SELECT DISTINCT GRADE FROM EMP", {"NULL", "A", "B"}},
      {"SELECT DISTINCT GRADE, NAME FROM EMP WHERE GRADE = 'A' ORDER BY NAME DESC", {"A|Cid", "A|Ann"}},
      // Rows holding the primary key cannot repeat; they are still ordered.
      {"SELECT DISTINCT NAME, ID FROM EMP ORDER BY NAME, ID", {"Ann|1", "Ann|6", "Cid|3", "Dee|4", "Eve|5", "bob|2"}},
      // TOP after ordering, and without ordering in table order.
      {"SELECT NAME, SALARY FROM EMP ORDER BY SALARY DESC TOP 2", {"Dee|400", "Cid|300"}},
      {"SELECT ID FROM EMP TOP 3", {"1", "2", "3"}},
      {"SELECT DISTINCT NAME FROM EMP ORDER BY NAME TOP 2", {"Ann", "Cid"}},
      // Conditions answered by an index (equality, BETWEEN) and by the row test.
      {"SELECT ID FROM EMP WHERE NAME = 'Ann' ORDER BY ID", {"1", "6"}},
      {"SELECT ID FROM EMP WHERE NAME = \"Ann\" AND SALARY > 200", {"6"}},
      {"SELECT NAME FROM EMP WHERE DEPT = 20 ORDER BY NAME", {"Ann", "Cid"}},
      {"SELECT ID FROM EMP WHERE NAME BETWEEN 'B' AND 'D' ORDER BY ID", {"3"}},
      {"SELECT ID FROM EMP WHERE (GRADE = 'B') OR (GRADE = 'C') ORDER BY ID", {"2", "5"}},
      {"SELECT ID FROM EMP WHERE ID = 99", {}},
      // Joins: implicit through WHERE, INNER, LEFT and RIGHT.
      {"SELECT E.NAME, D.TITLE FROM EMP E, DEPT D WHERE E.DEPT = D.ID ORDER BY E.NAME, D.TITLE",
       {"Ann|Dev", "Ann|Sales", "Cid|Dev", "bob|Sales"}},
      {"SELECT E.NAME, D.TITLE FROM EMP E, DEPT D WHERE D.ID = E.DEPT AND D.TITLE = 'Dev' ORDER BY E.NAME",
       {"Ann|Dev", "Cid|Dev"}},
      {"SELECT E.NAME, D.TITLE FROM EMP E INNER JOIN DEPT D ON E.DEPT = D.ID ORDER BY E.NAME, D.TITLE",
       {"Ann|Dev", "Ann|Sales", "Cid|Dev", "bob|Sales"}},
      {"SELECT E.ID, E.NAME, D.TITLE FROM EMP E LEFT OUTER JOIN DEPT D ON E.DEPT = D.ID ORDER BY E.ID",
       {"1|Ann|Sales", "2|bob|Sales", "3|Cid|Dev", "4|Dee|NULL", "5|Eve|NULL", "6|Ann|Dev"}},
      {"SELECT D.TITLE, E.NAME FROM EMP E RIGHT JOIN DEPT D ON E.DEPT = D.ID ORDER BY D.TITLE, E.NAME",
       {"Dev|Ann", "Dev|Cid", "Empty|NULL", "Sales|Ann", "Sales|bob"}},
      {"SELECT E.ID, D.TITLE FROM EMP E LEFT JOIN DEPT D ON E.DEPT = D.ID WHERE E.SALARY > 300", {"4|NULL"}},
      // A part of an outer join's ON on the inner table alone decides the match; the outer
      // row stays, with NULLs, when no inner row passes it. In WHERE it decides the row.
      {"SELECT E.ID, D.TITLE FROM EMP E LEFT JOIN DEPT D ON E.DEPT = D.ID AND D.TITLE = 'Dev' ORDER BY E.ID",
       {"1|NULL", "2|NULL", "3|Dev", "4|NULL", "5|NULL", "6|Dev"}},
      {"SELECT E.ID, D.TITLE FROM EMP E LEFT JOIN DEPT D ON E.DEPT = D.ID WHERE D.TITLE = 'Dev' ORDER BY E.ID",
       {"3|Dev", "6|Dev"}},
      {"SELECT E.ID, D.TITLE FROM EMP E LEFT JOIN DEPT D ON E.DEPT = D.ID AND (D.TITLE = 'Dev' OR D.ID = 10) "
       "ORDER BY E.ID",
       {"1|Sales", "2|Sales", "3|Dev", "4|NULL", "5|NULL", "6|Dev"}},
      {"SELECT D.ID, E.ID FROM EMP E RIGHT JOIN DEPT D ON E.DEPT = D.ID AND E.SALARY > 200 ORDER BY D.ID, E.ID",
       {"10|NULL", "20|3", "20|6", "40|NULL"}},
      // ... and so does a part on the preserved table.
      {"SELECT E.ID, D.TITLE FROM EMP E LEFT JOIN DEPT D ON E.DEPT = D.ID AND E.SALARY > 200 ORDER BY E.ID",
       {"1|NULL", "2|NULL", "3|Dev", "4|NULL", "5|NULL", "6|Dev"}},
      {"SELECT D.ID, E.ID FROM EMP E RIGHT JOIN DEPT D ON E.DEPT = D.ID AND D.TITLE = 'Dev' ORDER BY D.ID, E.ID",
       {"10|NULL", "20|3", "20|6", "40|NULL"}},
      {"SELECT E.ID, D.ID FROM EMP E LEFT JOIN DEPT D ON E.DEPT = D.ID AND 1 = 0 ORDER BY E.ID",
       {"1|NULL", "2|NULL", "3|NULL", "4|NULL", "5|NULL", "6|NULL"}},
      {"SELECT D.ID, E.ID FROM DEPT D LEFT JOIN EMP E ON D.ID = E.DEPT AND E.GRADE = 'B' ORDER BY D.ID",
       {"10|2", "20|NULL", "40|NULL"}},
      {"SELECT D.ID FROM DEPT D LEFT JOIN EMP E ON D.ID = E.DEPT AND E.GRADE = 'B' WHERE E.ID IS NULL ORDER BY D.ID",
       {"20", "40"}},
      {"SELECT D.ID, E.ID FROM DEPT D LEFT JOIN EMP E ON D.ID = E.DEPT AND E.GRADE IS NULL ORDER BY D.ID",
       {"10|NULL", "20|NULL", "40|NULL"}},
      {"SELECT D.ID FROM DEPT D LEFT JOIN EMP E ON D.ID = E.DEPT AND E.GRADE = 'A' WHERE E.GRADE IS NULL ORDER BY D.ID",
       {"40"}},
      // Anti-joins whose inner values come from an index's keys (BYDEPT holds a NULL and an
      // orphan 30; the primary index holds no department number).
      {"SELECT D.ID FROM DEPT D LEFT JOIN EMP E ON D.ID = E.DEPT WHERE E.DEPT IS NULL ORDER BY D.ID", {"40"}},
      {"SELECT D.ID FROM DEPT D LEFT JOIN EMP E ON E.ID = D.ID WHERE E.ID IS NULL ORDER BY D.ID", {"10", "20", "40"}},
      {"SELECT E.ID, D.ID FROM EMP E, DEPT D WHERE E.ID < 3 AND D.ID > 10 ORDER BY E.ID, D.ID",
       {"1|20", "1|40", "2|20", "2|40"}},
      // A join with an extra column the DISTINCT must still collapse.
      {"SELECT DISTINCT D.TITLE, D.ID, E.DEPT FROM DEPT D, EMP E WHERE D.ID = E.DEPT ORDER BY D.TITLE",
       {"Dev|20|20", "Sales|10|10"}},
      // Aggregates: grouped, with HAVING, over the whole table, over no rows.
      {"SELECT DEPT, COUNT(*), SUM(SALARY), MIN(SALARY), MAX(SALARY), AVG(SALARY) FROM EMP GROUP BY DEPT",
       {"NULL|1|150|150|150|150", "10|2|300|100|200|150", "20|2|550|250|300|275", "30|1|400|400|400|400"}},
      {"SELECT DEPT, COUNT(*) FROM EMP GROUP BY DEPT HAVING COUNT(*) > 1", {"10|2", "20|2"}},
      {"SELECT GRADE, COUNT(GRADE) FROM EMP GROUP BY GRADE", {"NULL|0", "A|3", "B|2"}},
      {"SELECT DEPT, RUNSUM(SALARY) FROM EMP WHERE DEPT > 0 GROUP BY DEPT", {"10|300", "20|850", "30|1250"}},
      // A column neither grouped nor aggregated shows its group's first row; groups over a join.
      {"SELECT DEPT, NAME, COUNT(*) FROM EMP GROUP BY DEPT", {"NULL|Eve|1", "10|Ann|2", "20|Cid|2", "30|Dee|1"}},
      {"SELECT D.TITLE, COUNT(*), AVG(E.SALARY), MIN(E.ID) FROM EMP E, DEPT D WHERE E.DEPT = D.ID GROUP BY D.TITLE",
       {"Dev|2|275|3", "Sales|2|150|1"}},
      {"SELECT GRADE, COUNT(*) FROM EMP GROUP BY GRADE HAVING COUNT(*) > 1 ORDER BY 2 DESC", {"A|3", "B|2"}},
      {"SELECT COUNT(*), SUM(SALARY) FROM EMP", {"6|1400"}},
      {"SELECT COUNT(*), SUM(SALARY), AVG(SALARY) FROM EMP WHERE ID > 100", {"0|NULL|0"}},
      {"SELECT COUNT(*) FROM DEPT D, EMP E WHERE D.ID = E.DEPT", {"4"}},
      {"SELECT COUNT(*) FROM EMP", {"6"}},
      {"SELECT COUNT(*) FROM EMP WHERE DEPT = 20", {"2"}},
      {"SELECT COUNT(*) FROM EMP WHERE DEPT = 20 AND SALARY > 260", {"1"}},
      {"SELECT COUNT(*) FROM EMP WHERE NAME = 'Ann'", {"2"}},
      // UNION and UNION ALL, ordered after combining.
      {"SELECT NAME FROM EMP WHERE DEPT = 10 UNION SELECT TITLE FROM DEPT ORDER BY 1",
       {"Ann", "Dev", "Empty", "Sales", "bob"}},
      {"SELECT NAME FROM EMP WHERE ID < 3 UNION ALL SELECT NAME FROM EMP WHERE ID = 1", {"Ann", "bob", "Ann"}},
      {"SELECT NAME FROM EMP WHERE ID < 3 UNION SELECT NAME FROM EMP WHERE ID = 1", {"Ann", "bob"}},
      // IN sub-selects.
      {"SELECT NAME FROM EMP WHERE DEPT IN (SELECT ID FROM DEPT WHERE TITLE = 'Dev') ORDER BY NAME", {"Ann", "Cid"}},
      // IN and NOT IN with NULLs: a NULL value, or a value missing from a list holding a NULL,
      // is neither in nor out; nothing is in an empty list.
      {"SELECT ID FROM EMP WHERE DEPT NOT IN (SELECT ID FROM DEPT) ORDER BY ID", {"4"}},
      {"SELECT ID FROM EMP WHERE DEPT NOT IN (SELECT ID FROM DEPT WHERE ID > 99) ORDER BY ID",
       {"1", "2", "3", "4", "5", "6"}},
      {"SELECT ID FROM EMP WHERE DEPT IN (SELECT ID FROM DEPT WHERE ID > 99)", {}},
      {"SELECT ID FROM DEPT WHERE ID IN (SELECT DEPT FROM EMP) ORDER BY ID", {"10", "20"}},
      {"SELECT ID FROM DEPT WHERE ID NOT IN (SELECT DEPT FROM EMP)", {}},
      {"SELECT ID FROM EMP WHERE GRADE IN (SELECT GRADE FROM EMP WHERE ID > 4) ORDER BY ID", {"1", "2", "3", "5", "6"}},
      {"SELECT ID FROM EMP WHERE GRADE NOT IN (SELECT GRADE FROM EMP WHERE ID > 4)", {}},
      {"SELECT ID FROM EMP WHERE NAME NOT IN (SELECT NAME FROM EMP WHERE SALARY < 250) ORDER BY ID", {"3", "4"}},
      // Looked up through the sub-select's index (ID, DEPT), its members (SALARY), its
      // sorted first rows, and a value of another type than the indexed column.
      {"SELECT ID FROM EMP WHERE SALARY IN (SELECT SALARY FROM EMP WHERE ID < 3) ORDER BY ID", {"1", "2"}},
      {"SELECT ID FROM EMP WHERE SALARY / 1.0 IN (SELECT SALARY FROM EMP WHERE ID < 3) ORDER BY ID", {"1", "2"}},
      {"SELECT ID FROM DEPT WHERE ID IN (SELECT DEPT FROM EMP WHERE DEPT IS NOT NULL ORDER BY DEPT DESC TOP 2)",
       {"20"}},
      {"SELECT ID FROM EMP WHERE SALARY / 10.0 IN (SELECT ID FROM DEPT) ORDER BY ID", {"1", "2", "4"}},
      {"SELECT ID FROM EMP WHERE SALARY / 10.0 NOT IN (SELECT ID FROM DEPT) ORDER BY ID", {"3", "5", "6"}},
      {"SELECT ID FROM EMP WHERE ID * 10 IN (SELECT ID FROM DEPT WHERE TITLE <> 'Sales') ORDER BY ID", {"2", "4"}},
      // DISTINCT over the outer table of a join: one row per outer row however many inner
      // rows match, also for a column equal to an outer one through the join; columns of
      // the inner table, or outer rows that repeat, still give their distinct rows.
      {"SELECT DISTINCT D.TITLE FROM DEPT D, EMP E WHERE D.ID = E.DEPT ORDER BY D.TITLE", {"Dev", "Sales"}},
      {"SELECT DISTINCT D.ID, E.DEPT FROM DEPT D, EMP E WHERE D.ID = E.DEPT ORDER BY D.ID", {"10|10", "20|20"}},
      {"SELECT DISTINCT D.ID, E.NAME FROM DEPT D, EMP E WHERE D.ID = E.DEPT ORDER BY D.ID, E.NAME",
       {"10|Ann", "10|bob", "20|Ann", "20|Cid"}},
      {"SELECT DISTINCT D.TITLE FROM DEPT D LEFT OUTER JOIN EMP E ON D.ID = E.DEPT ORDER BY D.TITLE",
       {"Dev", "Empty", "Sales"}},
      {"SELECT DISTINCT D.ID, E.DEPT FROM DEPT D LEFT OUTER JOIN EMP E ON D.ID = E.DEPT ORDER BY D.ID",
       {"10|10", "20|20", "40|NULL"}},
      {"SELECT DISTINCT E.DEPT FROM EMP E, DEPT D WHERE E.DEPT = D.ID AND E.ID < 3", {"10"}},
      {"SELECT DISTINCT E.DEPT, D.ID FROM EMP E, DEPT D WHERE E.DEPT = D.ID AND E.ID < 3", {"10|10"}},
      // Joined rows never match on NULL, whether the inner table is read by index (DEPT) or
      // scanned (GRADE); a left outer join keeps the row once with NULLs.
      {"SELECT A.ID, B.ID FROM EMP A, EMP B WHERE A.DEPT = B.DEPT AND A.ID = 5", {}},
      {"SELECT A.ID, B.ID FROM EMP A, EMP B WHERE A.GRADE = B.GRADE AND A.ID = 4", {}},
      {"SELECT A.ID, B.ID FROM EMP A, EMP B WHERE A.GRADE = B.GRADE AND A.ID = 2 ORDER BY B.ID", {"2|2", "2|5"}},
      {"SELECT A.ID, B.ID FROM EMP A LEFT OUTER JOIN EMP B ON A.DEPT = B.DEPT WHERE A.ID = 5", {"5|NULL"}},
      {"SELECT A.ID, B.ID FROM EMP A LEFT OUTER JOIN EMP B ON A.GRADE = B.GRADE WHERE A.ID > 3 ORDER BY A.ID, B.ID",
       {"4|NULL", "5|2", "5|5", "6|1", "6|3", "6|6"}},
      {"SELECT E.ID FROM EMP E LEFT OUTER JOIN DEPT D ON E.DEPT = D.ID WHERE D.ID IS NULL ORDER BY E.ID", {"4", "5"}},
      // Word searches over a column of the current row.
      {"SELECT ID FROM EMP WHERE TEXTSEARCH('ann' IN NAME) ORDER BY ID", {"1", "6"}},
      {"SELECT E.ID, TEXTOCCURS('sal*' IN D.TITLE) FROM EMP E, DEPT D WHERE E.DEPT = D.ID AND E.ID < 3 ORDER BY E.ID",
       {"1|1", "2|1"}},
      // Computed columns.
      {"SELECT ID, SALARY * 2 AS TWICE FROM EMP WHERE ID = 1", {"1|200"}},
      {"SELECT UPPER(NAME) FROM EMP WHERE ID = 2", {"BOB"}},
  };
  for (const TRowsCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    try {
      const auto result = RunSql(c.Sql);
      EXPECT_EQ(result.Rows, c.Rows);
      EXPECT_EQ(result.RowsAffected, static_cast<std::int32_t>(c.Rows.size()));
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

TEST_F(SelectExecution, ResultColumnsAreNamedUniquely) {
  struct TCase {
    const char* Sql;
    std::vector<std::string> Names;
  };
  const std::vector<TCase> cases = {
      {"SELECT NAME, NAME FROM EMP", {"NAME_1", "NAME"}},
      {"SELECT SUM(SALARY), SUM(SALARY) FROM EMP", {"Sum Of SALARY", "Sum Of SALARY_1"}},
      {"SELECT COUNT(*), AVG(SALARY) FROM EMP", {"Count Of *", "Average Of SALARY"}},
      {"SELECT * FROM EMP E, DEPT D WHERE E.DEPT = D.ID", {"ID", "NAME", "DEPT", "SALARY", "GRADE", "ID_1", "TITLE"}},
      {"SELECT D.* FROM EMP E, DEPT D WHERE E.DEPT = D.ID", {"ID", "TITLE"}},
      {"SELECT SALARY + 1, NAME AS WHO FROM EMP", {"Expression", "WHO"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    try {
      EXPECT_EQ(RunSql(c.Sql).Names, c.Names);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

TEST_F(SelectExecution, PreparationRejectsWhatCannotRun) {
  struct TCase {
    const char* Sql;
    const char* Message;
  };
  const std::vector<TCase> cases = {
      {"SELECT NAME, SUM(SALARY) FROM EMP", "the necessary GROUP BY clause is missing"},
      {"SELECT NAME FROM EMP ORDER BY SALARY", "Invalid column name 'SALARY' specified in ORDER BY clause"},
      {"SELECT NAME FROM EMP ORDER BY 2", "Invalid column number '2' specified in ORDER BY clause"},
      {"SELECT NAME FROM EMP HAVING COUNT(*) > 1", "A GROUP BY clause must exist in order to use the HAVING clause"},
      {"SELECT DEPT, COUNT(*) FROM EMP GROUP BY DEPT HAVING SUM(SALARY) > 1",
       "Expression in HAVING clause not found in source columns"},
      {"SELECT NAME FROM EMP UNION SELECT ID FROM DEPT", "Type mismatch between column expression"},
      {"SELECT NAME FROM EMP UNION SELECT ID, TITLE FROM DEPT", "The number of columns  in the UNION query must match"},
      {"SELECT X.* FROM EMP", "Invalid column name '*' or table correlation name 'X'"},
      {"SELECT E.NAME FROM EMP E, DEPT D, EMP F WHERE E.ID + D.ID = F.ID",
       "The join condition cannot contain multiple table correlation names"},
      {"SELECT NOPE FROM EMP", "Invalid column name 'NOPE'"},
      {"SELECT NAME FROM NOSUCHTABLE", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    const std::string failure = FailureOf(c.Sql);
    EXPECT_FALSE(failure.empty());
    EXPECT_NE(failure.find(c.Message), std::string::npos) << failure;
  }
}

TEST_F(SelectExecution, MaximumRowCountCutsBeforeSortingAndTopAfter) {
  // The first two rows in table order (Ann, bob), then sorted.
  EXPECT_EQ(RunSql("SELECT NAME FROM EMP ORDER BY NAME", 2).Rows, (std::vector<std::string>{"Ann", "bob"}));
  EXPECT_EQ(RunSql("SELECT NAME FROM EMP ORDER BY NAME TOP 2").Rows, (std::vector<std::string>{"Ann", "Ann"}));
  EXPECT_TRUE(RunSql("SELECT NAME FROM EMP", 0).Rows.empty());
}

TEST_F(SelectExecution, ProgressReportsStepsAndAnAbortKeepsTheRowsFound) {
  struct TProgress {
    std::vector<int> Percents;
    int AbortAt = 1000;
  };
  auto handler = [](void* data, TQueryStatement&, int percent, bool& abort) {
    auto* progress = static_cast<TProgress*>(data);
    progress->Percents.push_back(percent);
    abort = static_cast<int>(progress->Percents.size()) >= progress->AbortAt;
  };
  {
    TProgress progress;
    TQueryStatement statement(Database);
    statement.SetProgressHandler(&progress, handler);
    statement.Prepare("SELECT ID FROM EMP");
    EXPECT_EQ(statement.Execute()->RecordCount(), 6);
    ASSERT_FALSE(progress.Percents.empty());
    EXPECT_EQ(progress.Percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.Percents.begin(), progress.Percents.end()));
  }
  {
    TProgress progress;
    progress.AbortAt = 2;
    TQueryStatement statement(Database);
    statement.SetProgressHandler(&progress, handler);
    statement.Prepare("SELECT ID FROM EMP");
    // Each of the six rows is a step of its own: the abort comes on the second.
    EXPECT_EQ(statement.Execute()->RecordCount(), 2);
  }
}

TEST_F(SelectExecution, IntoKeepsANamedTable) {
  RunSql("SELECT NAME, SALARY INTO RICH FROM EMP WHERE SALARY >= 300");
  EXPECT_EQ(RunSql("SELECT NAME FROM RICH ORDER BY NAME").Rows, (std::vector<std::string>{"Cid", "Dee"}));
}

TEST_F(SelectExecution, ExecutingAgainGivesTheSameRowsAndLeavesNoTables) {
  TQueryStatement statement(Database);
  statement.Prepare("SELECT DISTINCT E.NAME FROM EMP E, DEPT D WHERE E.DEPT = D.ID ORDER BY E.NAME");
  for (int round = 0; round < 3; ++round) {
    TDataCursor* cursor = statement.Execute();
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->RecordCount(), 3);
  }
  statement.Unprepare();
  // Only the two source tables remain open in the database.
  EXPECT_EQ(Database->TableCount(), 0);
}

// The table an IN looks values up in is locked and its index pages kept only while the
// outer rows are walked: once the statement has run, another user may write to it.
TEST_F(SelectExecution, InLookUpsLeaveNoLockAndNoExtraPagesBehind) {
  for (const char* sql : {"SELECT ID FROM EMP WHERE DEPT NOT IN (SELECT ID FROM DEPT) ORDER BY ID",
                          "SELECT ID FROM EMP WHERE DEPT IN (SELECT ID FROM DEPT) ORDER BY ID"}) {
    SCOPED_TRACE(sql);
    TQueryStatement statement(Database);
    statement.Prepare(sql);
    ASSERT_NE(statement.Execute(), nullptr);
    for (const char* name : {"EMP", "DEPT"}) {
      TDataTable* table = Database->FindTable(name, false);
      ASSERT_NE(table, nullptr) << name;
      EXPECT_FALSE(table->HoldsReadLockA()) << name;
      EXPECT_LE(table->Index().CachedPages(PrimarySlot), 2) << name;
    }
  }
}

}  // namespace
}  // namespace quarry
