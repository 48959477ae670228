// INSERT, UPDATE, DELETE and the transaction statements run against small tables: rows
// affected, the table afterwards, the messages of refused statements, commit intervals,
// statement atomicity with and without the user's transaction, NOAUTOINC, BLOB values,
// joins, the Halloween case, progress with abort, LASTAUTOINC and encrypted results.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/sql/select_test_support.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::IndexOn;
using select_testing::TRowValues;
using select_testing::TSelectFixture;

// T(ID primary, K indexed, S, Q) with six rows; U(ID, V) with three; D(ID, D date, N integer).
class ChangeStatementTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }

  // A fresh database with T and U.
  void Reset() {
    Fixture = std::make_unique<TSelectFixture>();
    Fixture->MakeTable("T",
                       {Column(1, "ID", TFieldType::Integer), Column(2, "K", TFieldType::Integer),
                        Column(3, "S", TFieldType::String, 10), Column(4, "Q", TFieldType::Integer)},
                       IndexOn("", {1}, true), {IndexOn("BYK", {2}), IndexOn("BYS", {3})},
                       {{"1", "1", "a", "10"},
                        {"2", "2", "b", "NULL"},
                        {"3", "3", "c", "30"},
                        {"4", "6", "d", "40"},
                        {"5", "7", "e", "NULL"},
                        {"6", "8", "f", "60"}});
    Fixture->MakeTable("U", {Column(1, "ID", TFieldType::Integer), Column(2, "V", TFieldType::Integer)},
                       IndexOn("", {1}, true), {}, {{"2", "200"}, {"4", "400"}, {"9", "900"}});
  }

  TSelectFixture& Db() { return *Fixture; }

  // Every row of a table, ordered by its first column: "1|a|10;2|b|NULL".
  std::string Contents(const std::string& table = "T") {
    std::string text;
    for (const std::string& row : Db().RunSql("SELECT * FROM " + table + " ORDER BY 1").Rows)
      text += (text.empty() ? "" : ";") + row;
    return text;
  }

  // The table's data and indexes agree.
  std::string Verify(const std::string& table) {
    TDataCursor cursor(*Db().Database);
    cursor.SetTableName(table);
    cursor.Open();
    return cursor.Verify();
  }

  int32_t Run(const std::string& sql) { return Db().RunSql(sql).RowsAffected; }

  std::unique_ptr<TSelectFixture> Fixture;
};

const char* const kStart = "1|1|a|10;2|2|b|NULL;3|3|c|30;4|6|d|40;5|7|e|NULL;6|8|f|60";

// Statements that run: rows affected and the table T afterwards.
struct TRunCase {
  const char* Name;
  std::string Sql;
  int32_t Rows;
  std::string After;
};

TEST_F(ChangeStatementTest, StatementsChangeTheRowsTheyName) {
  const std::vector<TRunCase> cases = {
      {"insert all columns", "INSERT INTO T VALUES (7, 9, 'g', 70)", 1, std::string(kStart) + ";7|9|g|70"},
      {"insert some columns, the rest NULL", "INSERT INTO T (S, ID) VALUES ('h', 8)", 1,
       std::string(kStart) + ";8|NULL|h|NULL"},
      {"insert a computed value and NULL", "INSERT INTO T VALUES (2 * 5, NULL, 'x' + 'y', 7 / 2)", 1,
       std::string(kStart) + ";10|NULL|xy|3"},
      {"insert select", "INSERT INTO T SELECT ID + 100, K, S, Q FROM T WHERE Q > 30", 2,
       std::string(kStart) + ";104|6|d|40;106|8|f|60"},
      {"insert select in parentheses with columns", "INSERT INTO T (ID, S) (SELECT ID + 10, 'u' FROM U)", 3,
       std::string(kStart) + ";12|NULL|u|NULL;14|NULL|u|NULL;19|NULL|u|NULL"},
      {"insert select of nothing", "INSERT INTO T SELECT * FROM T WHERE ID > 100", 0, kStart},
      {"update by an indexed condition", "UPDATE T SET Q = Q + 1 WHERE K > 5", 3,
       "1|1|a|10;2|2|b|NULL;3|3|c|30;4|6|d|41;5|7|e|NULL;6|8|f|61"},
      {"update by an unindexed condition", "UPDATE T SET S = 'z', Q = 0 WHERE Q = NULL", 2,
       "1|1|a|10;2|2|z|0;3|3|c|30;4|6|d|40;5|7|z|0;6|8|f|60"},
      {"update every row", "UPDATE T SET Q = ID", 6, "1|1|a|1;2|2|b|2;3|3|c|3;4|6|d|4;5|7|e|5;6|8|f|6"},
      {"update with a sub-select", "UPDATE T SET Q = -1 WHERE ID IN (SELECT ID FROM U)", 2,
       "1|1|a|10;2|2|b|-1;3|3|c|30;4|6|d|-1;5|7|e|NULL;6|8|f|60"},
      {"update with a join in FROM", "UPDATE T SET Q = U.V + T.K FROM T, U WHERE T.ID = U.ID", 2,
       "1|1|a|10;2|2|b|202;3|3|c|30;4|6|d|406;5|7|e|NULL;6|8|f|60"},
      {"update with an alias and JOIN", "UPDATE T X SET Q = 0 FROM T X INNER JOIN U ON X.ID = U.ID WHERE U.V > 300", 1,
       "1|1|a|10;2|2|b|NULL;3|3|c|30;4|6|d|0;5|7|e|NULL;6|8|f|60"},
      {"update of the key the walk follows", "UPDATE T SET K = K + 10 WHERE K > 5", 3,
       "1|1|a|10;2|2|b|NULL;3|3|c|30;4|16|d|40;5|17|e|NULL;6|18|f|60"},
      {"update moving keys past each other", "UPDATE T SET K = 9 - K", 6,
       "1|8|a|10;2|7|b|NULL;3|6|c|30;4|3|d|40;5|2|e|NULL;6|1|f|60"},
      {"update of the primary key", "UPDATE T SET ID = ID + 100 WHERE ID >= 5", 2,
       "1|1|a|10;2|2|b|NULL;3|3|c|30;4|6|d|40;105|7|e|NULL;106|8|f|60"},
      {"update of nothing", "UPDATE T SET Q = 1 WHERE ID > 100", 0, kStart},
      {"delete by a range", "DELETE FROM T WHERE K BETWEEN 2 AND 7", 4, "1|1|a|10;6|8|f|60"},
      {"delete with a join", "DELETE FROM T INNER JOIN U ON T.ID = U.ID WHERE U.V < 500", 2,
       "1|1|a|10;3|3|c|30;5|7|e|NULL;6|8|f|60"},
      {"delete with a right join deletes from its own table", "DELETE FROM T RIGHT OUTER JOIN U ON T.ID = U.ID", 2,
       "1|1|a|10;3|3|c|30;5|7|e|NULL;6|8|f|60"},
      {"delete with a sub-select", "DELETE FROM T WHERE ID NOT IN (SELECT ID FROM U)", 4, "2|2|b|NULL;4|6|d|40"},
      {"delete every row", "DELETE FROM T", 6, ""},
      {"a script sums its rows", "INSERT INTO T VALUES (7, 9, 'g', 70); DELETE FROM T WHERE ID <= 2", 3,
       "3|3|c|30;4|6|d|40;5|7|e|NULL;6|8|f|60;7|9|g|70"},
      {"a rolled back transaction counts nothing",
       "DELETE FROM T WHERE ID = 1; START TRANSACTION; DELETE FROM T; ROLLBACK", 1,
       "2|2|b|NULL;3|3|c|30;4|6|d|40;5|7|e|NULL;6|8|f|60"},
      {"a committed transaction keeps its rows",
       "START TRANSACTION; UPDATE T SET Q = 1 WHERE ID = 1; DELETE FROM T WHERE ID > 2; COMMIT WORK FLUSH", 5,
       "1|1|a|1;2|2|b|NULL"},
  };
  for (const TRunCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Reset();
    EXPECT_EQ(Run(c.Sql), c.Rows);
    EXPECT_EQ(Contents(), c.After);
    EXPECT_EQ(Verify("T"), "");
  }
}

// Statements that are refused: the message, and T unchanged.
struct TRefusedCase {
  const char* Name;
  std::string Sql;
  std::string Message;
};

TEST_F(ChangeStatementTest, RefusedStatementsChangeNothing) {
  const std::vector<TRefusedCase> cases = {
      {"too many values", "INSERT INTO T VALUES (7, 1, 'a', 1, 5)",
       "The number of values must match the number of table columns"},
      {"too few values", "INSERT INTO T (ID, K) VALUES (7)",
       "The number of values must match the number of table columns"},
      {"select of the wrong width", "INSERT INTO T SELECT ID FROM U",
       "The number of values must match the number of table columns"},
      {"unknown column", "INSERT INTO T (ID, X) VALUES (7, 1)",
       "Invalid column name 'X' or table correlation name '' specified in table columns"},
      {"column of another table", "UPDATE T SET U.V = 1",
       "Invalid column name 'V' or table correlation name 'U' specified in table columns"},
      {"text for a number", "INSERT INTO T (ID, Q) VALUES (7, 'abc')",
       "Type mismatch between column 'Q' and constant 'abc' in insert values"},
      {"digits for a number", "INSERT INTO T (ID, Q) VALUES (7, '12')",
       "Type mismatch between column 'Q' and constant '12' in insert values"},
      {"text for a number in UPDATE", "UPDATE T SET Q = 'abc'",
       "Type mismatch between column 'Q' and constant 'abc' in update values"},
      {"a duplicate key", "INSERT INTO T VALUES (3, 1, 'a', 1)", "Duplicate key"},
      {"a duplicate key on the second row", "UPDATE T SET ID = 100 WHERE ID > 4", "Duplicate key"},
      {"a duplicate key in the SELECT's sixth row", "INSERT INTO T (ID) SELECT ID + 5 FROM T ORDER BY 1 DESC",
       "Duplicate key"},
      {"a value that does not convert", "UPDATE T SET Q = S + 'x' WHERE ID >= 2",
       "Type mismatch between column Q and constant value S + 'x' in UPDATE statement"},
      {"a condition that is not boolean", "DELETE FROM T WHERE Q + 1",
       "WHERE or JOIN clause must be a boolean expression"},
      {"commit without a transaction", "COMMIT", "Transaction not in progress for database '/db/'"},
      {"rollback without a transaction", "ROLLBACK WORK", "Transaction not in progress for database '/db/'"},
      {"a transaction started twice", "START TRANSACTION; START TRANSACTION",
       "Transaction already in progress for database '/db/'"},
      {"LASTAUTOINC of a missing table", "SELECT LASTAUTOINC('NOSUCH') FROM T",
       "Illegal use of LASTAUTOINC() or IDENT_CURRENT() functions"},
  };
  for (const TRefusedCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Reset();
    const std::string message = Db().FailureOf(c.Sql);
    EXPECT_NE(message.find(c.Message), std::string::npos) << message;
    if (Db().Database->InTransaction()) Db().Database->Rollback();
    EXPECT_EQ(Contents(), kStart);
    EXPECT_EQ(Verify("T"), "");
  }
}

TEST_F(ChangeStatementTest, DateTextsAreCheckedWhenPrepared) {
  Db().MakeTable("D", {Column(1, "ID", TFieldType::Integer), Column(2, "D", TFieldType::Date)}, IndexOn("", {1}, true),
                 {}, {});
  EXPECT_NE(Db().FailureOf("INSERT INTO D (ID, D) VALUES (1, '1999-02-30')")
                .find("Date, time, or timestamp expression expected, instead found '1999-02-30' in insert values"),
            std::string::npos);
  EXPECT_EQ(Run("INSERT INTO D (ID, D) VALUES (1, '1999-12-31')"), 1);
  EXPECT_EQ(Db().RunSql("SELECT ID FROM D WHERE D = '1999-12-31'").Rows, std::vector<std::string>{"1"});
  EXPECT_NE(Db().FailureOf("UPDATE D SET D = 'soon'")
                .find("Date, time, or timestamp expression expected, instead found 'soon' in update values"),
            std::string::npos);
}

// A bound parameter's type is known only when the statement runs: a text converts when it
// parses and raises the INSERT message naming the parameter when it does not.
TEST_F(ChangeStatementTest, ParametersConvertWhenTheStatementRuns) {
  TQueryStatement statement(Db().Database);
  statement.Prepare("INSERT INTO T (ID, Q) VALUES (7, ?)");
  auto runWith = [&](const std::string& text) {
    std::vector<std::uint8_t> data(1 + text.size() + 1, 0);
    data[0] = 1;
    std::memcpy(data.data() + 1, text.data(), text.size());
    TParameterDescriptor d;
    d.DataType = vt::String;
    d.Size = static_cast<int32_t>(text.size() + 1);
    d.Offset = 0;
    statement.Execute(1, &d, data.data(), data.size());
  };
  try {
    runWith("abc");
    ADD_FAILURE() << "abc was stored";
  } catch (const EQuarryEngineError& e) {
    EXPECT_NE(std::string(e.what()).find("Type mismatch between column Q and constant value ? in INSERT statement"),
              std::string::npos)
        << e.what();
  }
  runWith("12");
  EXPECT_EQ(Db().RunSql("SELECT Q FROM T WHERE ID = 7").Rows, std::vector<std::string>{"12"});
}

// COMMIT INTERVAL n commits every n rows: a failure on row 25 keeps the 20 rows committed
// before it. Without it (and with COMMIT INTERVAL 0) the statement is one transaction and
// keeps nothing. Inside the user's transaction the failing statement takes back its own rows
// since its last commit, and the transaction keeps what came before it.
TEST_F(ChangeStatementTest, CommitIntervalDecidesWhatAFailureKeeps) {
  struct TCase {
    const char* Name;
    std::string Options;
    bool UserTransaction;
    int Moved;  // IDs above 1000 afterwards, 1025 included
  };
  const std::vector<TCase> cases = {
      {"own transaction", "", false, 1},
      {"COMMIT INTERVAL 0", " COMMIT INTERVAL 0", false, 1},
      {"COMMIT FLUSH alone", " COMMIT FLUSH", false, 1},
      {"COMMIT INTERVAL 10", " COMMIT INTERVAL 10", false, 21},
      {"COMMIT INTERVAL 10 FLUSH", " COMMIT INTERVAL 10 FLUSH", false, 21},
      {"user's transaction", "", true, 1},
      {"user's transaction, COMMIT INTERVAL 7", " COMMIT INTERVAL 7", true, 22},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Reset();
    std::vector<TRowValues> rows;
    for (int id = 1; id <= 30; ++id) rows.push_back({std::to_string(id), "0"});
    rows.push_back({"1025", "0"});
    Db().MakeTable("W", {Column(1, "ID", TFieldType::Integer), Column(2, "N", TFieldType::Integer)},
                   IndexOn("", {1}, true), {}, rows);
    if (c.UserTransaction) {
      Run("START TRANSACTION");
      EXPECT_EQ(Run("UPDATE W SET N = 1 WHERE ID = 30"), 1);
      EXPECT_EQ(Run("DELETE FROM T WHERE ID = 1"), 1);
    }
    // Rows 1..24 move; row 25 meets 1025.
    EXPECT_NE(Db().FailureOf("UPDATE W SET ID = ID + 1000 WHERE ID <= 30" + c.Options).find("Duplicate key"),
              std::string::npos);
    EXPECT_EQ(Db().RunSql("SELECT COUNT(*) FROM W WHERE ID > 1000").Rows,
              std::vector<std::string>{std::to_string(c.Moved)});
    EXPECT_EQ(Verify("W"), "");
    if (c.UserTransaction) {
      EXPECT_TRUE(Db().Database->InTransaction());
      // What the transaction did before the failing statement is still there.
      EXPECT_EQ(Db().RunSql("SELECT N FROM W WHERE ID = 30").Rows, std::vector<std::string>{"1"});
      EXPECT_EQ(Db().RunSql("SELECT COUNT(*) FROM T").Rows, std::vector<std::string>{"5"});
      Run("COMMIT");
      EXPECT_EQ(Db().RunSql("SELECT COUNT(*) FROM W WHERE ID > 1000").Rows,
                std::vector<std::string>{std::to_string(c.Moved)});
    }
  }
}

TEST_F(ChangeStatementTest, TransactionMessagesNameTheDatabase) {
  try {
    Run("ROLLBACK");
    ADD_FAILURE() << "ROLLBACK ran";
  } catch (const EQuarryEngineError& e) {
    EXPECT_EQ(e.Code(), QUARRY_SQLPARSE);
    EXPECT_EQ(e.DatabaseName(), "/db/");
  }
}

// A: ID auto-increment, S. NOAUTOINC keeps a supplied value (and raises the last value to at
// least it); without it the supplied value is replaced by the next one.
TEST_F(ChangeStatementTest, NoAutoIncKeepsSuppliedValues) {
  TFieldDefinition id = Column(1, "ID", TFieldType::Integer);
  id.SubType = subtype::AutoInc;
  Db().MakeTable("A", {id, Column(2, "S", TFieldType::String, 10)}, IndexOn("", {1}, true), {}, {});
  Db().MakeTable("B", {Column(1, "N", TFieldType::Integer)}, IndexOn("", {}), {}, {});
  struct TStep {
    std::string Sql;
    std::string Last;  // LASTAUTOINC('A') afterwards
  };
  const std::vector<TStep> steps = {
      {"INSERT INTO A (S) VALUES ('x')", "1"},
      {"INSERT INTO A VALUES (100, 'y')", "2"},
      {"INSERT INTO A VALUES (100, 'z') NOAUTOINC", "100"},
      {"INSERT INTO A (S) VALUES ('w')", "101"},
      {"INSERT INTO A VALUES (50, 'v') NOAUTOINC", "101"},
      {"INSERT INTO A (S) VALUES ('n') NOAUTOINC", "102"},
      {"UPDATE A SET ID = 7 WHERE S = 'x'", "102"},
      {"UPDATE A SET ID = 7 WHERE S = 'y' NOAUTOINC", "102"},
      {"INSERT INTO B VALUES (IDENT_CURRENT('A'))", "102"},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.Sql);
    EXPECT_EQ(Run(step.Sql), 1);
    EXPECT_EQ(Db().RunSql("SELECT LASTAUTOINC('A') FROM B").Rows.size(), Db().RunSql("SELECT N FROM B").Rows.size());
    EXPECT_EQ(Db().RunSql("SELECT LASTAUTOINC('A') FROM A WHERE S = 'x'").Rows, std::vector<std::string>{step.Last});
  }
  EXPECT_EQ(Contents("A"), "1|x;7|y;50|v;100|z;101|w;102|n");
  EXPECT_EQ(Contents("B"), "102");
  EXPECT_NE(Db().FailureOf("INSERT INTO A VALUES (50, 'again') NOAUTOINC").find("Duplicate key"), std::string::npos);
  EXPECT_EQ(Verify("A"), "");
}

// M: ID, NOTE (memo), DATA (binary).
class BlobStatementTest : public ChangeStatementTest {
 protected:
  void SetUp() override {
    Reset();
    TFieldDefinition note = Column(2, "NOTE", TFieldType::Blob);
    note.SubType = subtype::Memo;
    TFieldDefinition data = Column(3, "DATA", TFieldType::Blob);
    data.SubType = subtype::Binary;
    Db().MakeTable("M", {Column(1, "ID", TFieldType::Integer), note, data}, IndexOn("", {1}, true), {}, {});
    Db().MakeTable("M2", {Column(1, "ID", TFieldType::Integer), note, data}, IndexOn("", {1}, true), {}, {});
  }

  // "ID:note:data" per record, BLOBs as text, NULL as -.
  std::string Blobs(const std::string& table = "M") {
    TDataCursor cursor(*Db().Database);
    cursor.SetTableName(table);
    cursor.Open();
    std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor.RecordBufferSize()));
    std::string text;
    cursor.Home();
    while (cursor.Next(record.data()) == QUARRY_NONE) {
      bool isNull = false;
      std::int32_t id = 0;
      cursor.GetField(1, record.data(), isNull, reinterpret_cast<std::uint8_t*>(&id));
      text += (text.empty() ? "" : ";") + std::to_string(id);
      for (int field = 2; field <= 3; ++field) {
        std::vector<std::uint8_t> value;
        cursor.GetField(field, record.data(), isNull, nullptr);
        cursor.ReadBlobValue(field, record.data(), value);
        text += ":" + (isNull ? std::string("-") : std::string(value.begin(), value.end()));
      }
    }
    return text;
  }
};

TEST_F(BlobStatementTest, BlobValuesAreWrittenReplacedAndCopied) {
  EXPECT_EQ(Run("INSERT INTO M VALUES (1, 'first note', NULL)"), 1);
  EXPECT_EQ(Run("INSERT INTO M (ID, NOTE, DATA) VALUES (2, NULL, CAST('bytes' AS BLOB(1, 2)))"), 1);
  EXPECT_EQ(Blobs(), "1:first note:-;2:-:bytes");
  EXPECT_EQ(Run("UPDATE M SET NOTE = 'short' WHERE ID = 1"), 1);
  EXPECT_EQ(Run("UPDATE M SET NOTE = 'from nothing', DATA = NULL WHERE ID = 2"), 1);
  EXPECT_EQ(Blobs(), "1:short:-;2:from nothing:-");
  EXPECT_EQ(Run("INSERT INTO M2 SELECT ID + 10, NOTE, NOTE FROM M"), 2);
  EXPECT_EQ(Blobs("M2"), "11:short:short;12:from nothing:from nothing");
  EXPECT_EQ(Run("DELETE FROM M WHERE ID = 1"), 1);
  EXPECT_EQ(Blobs(), "2:from nothing:-");
  EXPECT_EQ(Verify("M"), "");
  EXPECT_EQ(Verify("M2"), "");
}

// Inside the user's transaction a failing statement gives back the BLOBs it replaced or
// deleted.
TEST_F(BlobStatementTest, AFailingStatementGivesBackItsBlobs) {
  Run("INSERT INTO M VALUES (1, 'one', CAST('I' AS BLOB(1, 2)))");
  Run("INSERT INTO M VALUES (2, 'two', CAST('II' AS BLOB(1, 2)))");
  Run("START TRANSACTION");
  EXPECT_NE(Db().FailureOf("UPDATE M SET ID = 5, NOTE = 'changed', DATA = NULL").find("Duplicate key"),
            std::string::npos);
  EXPECT_EQ(Blobs(), "1:one:I;2:two:II");

  // The second record is in use by another cursor: the DELETE stops there.
  TDataCursor other(*Db().Database);
  other.SetTableName("M");
  other.Open();
  std::vector<std::uint8_t> record(static_cast<std::size_t>(other.RecordBufferSize()));
  ASSERT_EQ(other.GotoRecordNo(2), QUARRY_NONE);
  ASSERT_EQ(other.GetCurrentRecord(record.data(), true), QUARRY_NONE);
  EXPECT_NE(Db().FailureOf("DELETE FROM M").find("is in use by another user"), std::string::npos);
  other.UnlockRecord();
  EXPECT_EQ(Blobs(), "1:one:I;2:two:II");
  Run("COMMIT");
  EXPECT_EQ(Blobs(), "1:one:I;2:two:II");
  EXPECT_EQ(Verify("M"), "");
}

// A record another cursor holds locked stops UPDATE and DELETE; the rows changed before it
// go back.
TEST_F(ChangeStatementTest, ALockedRecordStopsTheStatementAndNothingChanges) {
  TDataCursor other(*Db().Database);
  other.SetTableName("T");
  other.Open();
  std::vector<std::uint8_t> record(static_cast<std::size_t>(other.RecordBufferSize()));
  ASSERT_EQ(other.GotoRecordNo(4), QUARRY_NONE);
  ASSERT_EQ(other.GetCurrentRecord(record.data(), true), QUARRY_NONE);
  for (const std::string sql : {"UPDATE T SET Q = 0", "DELETE FROM T WHERE ID > 1"}) {
    SCOPED_TRACE(sql);
    EXPECT_NE(Db().FailureOf(sql).find("Record in the table 'T' is in use by another user"), std::string::npos);
    EXPECT_EQ(Contents(), kStart);
  }
  other.UnlockRecord();
  EXPECT_EQ(Run("UPDATE T SET Q = 0 WHERE ID = 4"), 1);
}

struct TProgressLog {
  std::vector<int> Reports;
  int AbortAt = -1;  // the report number that asks to stop (-1: none)
};

void LogProgress(void* data, TQueryStatement&, int percent, bool& abort) {
  auto* log = static_cast<TProgressLog*>(data);
  log->Reports.push_back(percent);
  if (static_cast<int>(log->Reports.size()) == log->AbortAt) abort = true;
}

// Progress runs over the rows the statement changes, in the session's steps; an abort ends
// the statement normally: the rows changed so far stay and are counted. INSERT ... SELECT
// reports its SELECT's progress first (an abort there keeps the rows selected so far).
TEST_F(ChangeStatementTest, ProgressReportsAndAbort) {
  std::vector<TRowValues> rows;
  for (int id = 1; id <= 100; ++id) rows.push_back({std::to_string(id), "0"});
  Db().MakeTable("P", {Column(1, "ID", TFieldType::Integer), Column(2, "N", TFieldType::Integer)},
                 IndexOn("", {1}, true), {}, rows);
  Db().MakeTable("E", {Column(1, "ID", TFieldType::Integer)}, IndexOn("", {1}, true), {}, {});
  struct TCase {
    const char* Name;
    std::string Sql;
    int AbortAt;
    int32_t Rows;
    std::vector<int> Reports;
  };
  std::vector<int> everyStep;
  for (int p = 5; p <= 100; p += 5) everyStep.push_back(p);
  const std::vector<TCase> cases = {
      {"UPDATE to the end", "UPDATE P SET N = 1", -1, 100, everyStep},
      {"UPDATE stopped at 10%", "UPDATE P SET N = 2", 2, 10, {5, 10, 100}},
      {"DELETE stopped at the first report", "DELETE FROM P WHERE ID > 80", 1, 1, {5, 100}},
      {"INSERT SELECT stopped", "INSERT INTO E SELECT ID FROM P WHERE ID <= 40", 1, 2, {5, 100, 50, 100}},
      {"DELETE of nothing", "DELETE FROM E WHERE ID > 1000", -1, 0, {100}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TProgressLog log;
    log.AbortAt = c.AbortAt;
    TQueryStatement statement(Db().Database);
    statement.SetProgressHandler(&log, &LogProgress);
    statement.Prepare(c.Sql);
    statement.Execute();
    EXPECT_EQ(statement.RowsAffected(), c.Rows);
    EXPECT_EQ(log.Reports, c.Reports);
    EXPECT_FALSE(Db().Database->InTransaction());
  }
  EXPECT_EQ(Db().RunSql("SELECT COUNT(*) FROM P WHERE N = 2").Rows, std::vector<std::string>{"10"});
  EXPECT_EQ(Db().RunSql("SELECT COUNT(*) FROM P").Rows, std::vector<std::string>{"99"});
  EXPECT_EQ(Db().RunSql("SELECT COUNT(*) FROM E").Rows, std::vector<std::string>{"2"});
}

// A result made ENCRYPTED WITH opens with its password, as a temporary result and as a table
// made with INTO; the table keeps the password.
TEST_F(ChangeStatementTest, EncryptedResultsOpen) {
  EXPECT_EQ(Db().RunSql("SELECT ID, S FROM T WHERE ID < 3 ENCRYPTED WITH 'pw1'").Rows,
            (std::vector<std::string>{"1|a", "2|b"}));
  EXPECT_EQ(Db().RunSql("SELECT ID INTO R FROM T WHERE ID > 4 ENCRYPTED WITH 'secret'").Rows,
            (std::vector<std::string>{"5", "6"}));
  TDataCursor cursor(*Db().Database);
  cursor.SetTableName("R");
  EXPECT_TRUE(cursor.TableInfo().Encrypted);
}

}  // namespace
}  // namespace quarry
