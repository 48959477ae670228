// Quarry against SQLite on seeded random sequences of data-changing statements: INSERT with
// VALUES and with a SELECT, UPDATE and DELETE with conditions on the primary key, on the two
// secondary indexes and on an unindexed column, NULLs, keys that collide (which both engines
// must refuse, leaving the table as it was), and transactions that are rolled back or
// committed, with failing statements inside them. After every statement both engines must
// agree on whether it ran, on the rows it changed and on the whole table; at the end of each
// sequence the table's data and indexes must agree (Verify).
//
// The table: T(ID integer primary key, A integer indexed, S string indexed, Q integer), NULLs
// allowed everywhere but ID. Conditions are written for each engine: Quarry's = NULL is
// SQLite's IS NULL, and a NULL string compares in Quarry as the empty string, which SQLite
// is told with COALESCE. PELLOMAR_SOAK runs many more sequences.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/sql/select_test_support.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::FieldText;
using select_testing::IndexOn;
using select_testing::TSelectFixture;

using TTable = std::vector<std::string>;  // rows "ID|A|S|Q" ordered by ID

// One statement in both dialects.
struct TStatement {
  std::string Quarry;
  std::string Sqlite;
};

class TSqlite {
 public:
  TSqlite() {
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw std::runtime_error("cannot open SQLite");
  }
  ~TSqlite() { sqlite3_close(db_); }
  TSqlite(const TSqlite&) = delete;
  TSqlite& operator=(const TSqlite&) = delete;

  // Runs sql; false (with the message) when SQLite refuses it.
  bool Run(const std::string& sql, std::string& message) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return true;
    message = error != nullptr ? error : "error";
    sqlite3_free(error);
    return false;
  }
  int Changes() const { return sqlite3_changes(db_); }

  TTable Rows() {
    TTable rows;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db_, "SELECT ID, A, S, Q FROM T ORDER BY ID", -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < 4; ++c) {
        if (c > 0) row += "|";
        const auto* text = sqlite3_column_text(statement, c);
        row += text == nullptr ? "NULL" : reinterpret_cast<const char*>(text);
      }
      rows.push_back(row);
    }
    sqlite3_finalize(statement);
    return rows;
  }

 private:
  sqlite3* db_ = nullptr;
};

// Random statements over T in both dialects.
class TStatementMaker {
 public:
  explicit TStatementMaker(std::uint32_t seed) : random_(seed) {}

  TStatement Next() {
    const int kind = Pick(20);
    if (kind < 7) return InsertValues();
    if (kind < 9) return InsertSelect();
    if (kind < 12) return UpdateColumns();
    if (kind < 13) return UpdateIndexedKey();
    if (kind < 15) return UpdatePrimaryKey();
    if (kind < 16) return UpdateWithSubSelect();
    if (kind < 18) return Delete();
    if (kind < 19) return Pick(3) == 0 ? DeleteSome() : InsertValues();
    return DeleteWithSubSelect();
  }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

 private:
  std::mt19937 random_;

  static constexpr const char* kWords[] = {"ant", "bee", "cat", "dog", "eel", "fox", "gnu", "hen"};

  std::string Id() { return std::to_string(1 + Pick(200)); }
  std::string IntegerOrNull(int limit) { return Pick(5) == 0 ? "NULL" : std::to_string(Pick(limit)); }
  std::string Word() { return std::string("'") + kWords[Pick(8)] + "'"; }
  std::string WordOrNull() { return Pick(5) == 0 ? "NULL" : Word(); }
  const char* Comparison() {
    static const char* const ops[] = {"=", "<", ">", "<=", ">="};
    return ops[Pick(5)];
  }

  // A condition on one column, in both dialects.
  TStatement Atom() {
    switch (Pick(9)) {
    case 0: {
      const std::string c = std::string("ID ") + Comparison() + " " + Id();
      return {c, c};
    }
    case 1: {
      const int low = Pick(120);
      const std::string c = "ID BETWEEN " + std::to_string(low) + " AND " + std::to_string(low + Pick(40));
      return {c, c};
    }
    case 2: {
      const std::string c = std::string("A ") + Comparison() + " " + std::to_string(Pick(20));
      return {c, c};
    }
    case 3: {
      const int low = Pick(20);
      const std::string c = "A BETWEEN " + std::to_string(low) + " AND " + std::to_string(low + Pick(6));
      return {c, c};
    }
    case 4: {
      const std::string op = Comparison(), word = Word();
      return {"S " + op + " " + word, "COALESCE(S, '') " + op + " " + word};
    }
    case 5: {
      const std::string c = std::string("Q ") + Comparison() + " " + std::to_string(Pick(100));
      return {c, c};
    }
    case 6: {
      const char* column = Pick(3) == 0 ? "A" : (Pick(2) == 0 ? "S" : "Q");
      return {std::string(column) + " = NULL", std::string(column) + " IS NULL"};
    }
    case 7: {
      const std::string c = "A IN (" + std::to_string(Pick(20)) + ", " + std::to_string(Pick(20)) + ")";
      return {c, c};
    }
    default: return {"Q <> NULL", "Q IS NOT NULL"};
    }
  }

  TStatement Condition() {
    TStatement c = Atom();
    if (Pick(3) == 0) {
      const TStatement other = Atom();
      const char* op = Pick(2) == 0 ? " AND " : " OR ";
      c = {"(" + c.Quarry + ")" + op + "(" + other.Quarry + ")", "(" + c.Sqlite + ")" + op + "(" + other.Sqlite + ")"};
    }
    return c;
  }

  static TStatement Same(const std::string& sql) { return {sql, sql}; }
  static TStatement Where(const std::string& head, const TStatement& condition) {
    return {head + " WHERE " + condition.Quarry, head + " WHERE " + condition.Sqlite};
  }

  TStatement InsertValues() {
    return Same("INSERT INTO T (ID, A, S, Q) VALUES (" + Id() + ", " + IntegerOrNull(20) + ", " + WordOrNull() + ", " +
                IntegerOrNull(100) + ")");
  }
  TStatement InsertSelect() {
    static const char* const offsets[] = {"100", "150", "1000"};
    return Where(std::string("INSERT INTO T (ID, A, S, Q) SELECT ID + ") + offsets[Pick(3)] + ", Q, S, A FROM T",
                 Condition());
  }
  TStatement UpdateColumns() {
    std::string set;
    switch (Pick(4)) {
    case 0: set = "Q = Q + 1"; break;
    case 1: set = "A = " + IntegerOrNull(20); break;
    case 2: set = "S = " + WordOrNull() + ", Q = " + IntegerOrNull(100); break;
    default: set = "Q = A, A = Q"; break;
    }
    return Where("UPDATE T SET " + set, Condition());
  }
  // The walk may follow the index of the key it changes.
  TStatement UpdateIndexedKey() {
    const std::string c = "A > " + std::to_string(Pick(20));
    return Same("UPDATE T SET A = A + " + std::to_string(1 + Pick(5)) + " WHERE " + c);
  }
  // One row moved, or many rows sent to one key (refused from the second row on).
  TStatement UpdatePrimaryKey() {
    if (Pick(2) == 0) return Same("UPDATE T SET ID = ID + " + std::to_string(1 + Pick(30)) + " WHERE ID = " + Id());
    return Where("UPDATE T SET ID = " + Id(), Condition());
  }
  TStatement UpdateWithSubSelect() {
    if (Pick(2) == 0)
      return Same("UPDATE T SET Q = " + IntegerOrNull(100) + " WHERE ID IN (SELECT A FROM T WHERE A > " +
                  std::to_string(Pick(20)) + ")");
    // NOT IN over a column with NULLs: neither true nor false for a value the sub-select lacks.
    const TStatement inner = Atom();
    const std::string head = "UPDATE T SET S = " + WordOrNull() + " WHERE A NOT IN (SELECT Q FROM T WHERE ";
    return {head + inner.Quarry + ")", head + inner.Sqlite + ")"};
  }
  // Deletes take a few rows at a time, so that the table keeps growing.
  TStatement Delete() {
    switch (Pick(4)) {
    case 0: {
      const int low = Pick(200);
      return Same("DELETE FROM T WHERE ID BETWEEN " + std::to_string(low) + " AND " + std::to_string(low + Pick(8)));
    }
    case 1: return Same("DELETE FROM T WHERE A = " + std::to_string(Pick(30)));
    case 2: {
      const std::string word = Word();
      return {"DELETE FROM T WHERE S = " + word + " AND Q < 30", "DELETE FROM T WHERE S = " + word + " AND Q < 30"};
    }
    default: return {"DELETE FROM T WHERE Q = NULL AND A > 10", "DELETE FROM T WHERE Q IS NULL AND A > 10"};
    }
  }
  TStatement DeleteSome() { return Where("DELETE FROM T", Condition()); }
  TStatement DeleteWithSubSelect() {
    const TStatement inner = Atom();
    return {"DELETE FROM T WHERE ID IN (SELECT A FROM T WHERE " + inner.Quarry + ")",
            "DELETE FROM T WHERE ID IN (SELECT A FROM T WHERE " + inner.Sqlite + ")"};
  }
};

class ChangeDifferentialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Quarry.MakeTable("T",
                     {Column(1, "ID", TFieldType::Integer), Column(2, "A", TFieldType::Integer),
                      Column(3, "S", TFieldType::String, 8), Column(4, "Q", TFieldType::Integer)},
                     IndexOn("", {1}, true), {IndexOn("IA", {2}), IndexOn("IS", {3})}, {});
    std::string message;
    ASSERT_TRUE(
        Sqlite.Run("CREATE TABLE T (ID INTEGER PRIMARY KEY, A INTEGER, S TEXT, Q INTEGER);"
                   "CREATE INDEX IA ON T (A); CREATE INDEX ISX ON T (S)",
                   message))
        << message;
    // A cursor of the test's own keeps the table open between statements and reads it.
    Reader = std::make_unique<TDataCursor>(*Quarry.Database);
    Reader->SetTableName("T");
    Reader->Open();
    Reader->SetIndexSlot(0);
  }

  TTable QuarryRows() {
    TTable rows;
    std::vector<std::uint8_t> record(static_cast<std::size_t>(Reader->RecordBufferSize()));
    Reader->Home();
    while (Reader->Next(record.data()) == QUARRY_NONE) {
      std::string row;
      for (const TFieldDefinition& field : Reader->Fields())
        row += (row.empty() ? "" : "|") + FieldText(record.data(), field);
      rows.push_back(row);
    }
    return rows;
  }

  // Runs one statement in both; false (with a failure reported) when they disagree.
  bool RunBoth(const TStatement& statement) {
    bool quarryRan = true;
    std::string quarryMessage;
    int32_t quarryRows = 0;
    try {
      TQueryStatement query(Quarry.Database);
      query.Prepare(statement.Quarry);
      query.Execute();
      quarryRows = query.RowsAffected();
    } catch (const EQuarryEngineError& e) {
      quarryRan = false;
      quarryMessage = e.what();
    }
    std::string sqliteMessage;
    const bool sqliteRan = Sqlite.Run(statement.Sqlite, sqliteMessage);
    const int sqliteRows = Sqlite.Changes();
    EXPECT_EQ(quarryRan, sqliteRan) << statement.Quarry << "\n  Quarry: " << quarryMessage
                                    << "\n  SQLite: " << sqliteMessage;
    if (quarryRan != sqliteRan) return false;
    const bool counts = statement.Quarry.rfind("INSERT", 0) == 0 || statement.Quarry.rfind("UPDATE", 0) == 0 ||
                        statement.Quarry.rfind("DELETE", 0) == 0;
    if (quarryRan && counts) {
      EXPECT_EQ(quarryRows, sqliteRows) << statement.Quarry;
      if (quarryRows != sqliteRows) return false;
    }
    const TTable quarry = QuarryRows(), sqlite = Sqlite.Rows();
    EXPECT_EQ(quarry, sqlite) << "after " << statement.Quarry;
    return quarry == sqlite;
  }

  // One sequence of `count` statements, some of them in transactions.
  void RunSequence(std::uint32_t seed, int count, int& statements) {
    TStatementMaker maker(seed);
    for (int i = 0; i < count; ++i) {
      if (maker.Pick(12) == 0) {
        // A transaction of a few statements, rolled back or committed.
        ASSERT_TRUE(RunBoth({"START TRANSACTION", "BEGIN"}));
        const int inside = 1 + maker.Pick(6);
        for (int j = 0; j < inside; ++j, ++statements)
          ASSERT_TRUE(RunBoth(maker.Next())) << "seed " << seed << ", in a transaction";
        ASSERT_TRUE(RunBoth(maker.Pick(3) == 0 ? TStatement{"COMMIT", "COMMIT"} : TStatement{"ROLLBACK", "ROLLBACK"}));
        statements += 2;
        continue;
      }
      ASSERT_TRUE(RunBoth(maker.Next())) << "seed " << seed << ", statement " << i;
      ++statements;
    }
    EXPECT_EQ(Reader->Verify(), "") << "seed " << seed;
  }

  TSelectFixture Quarry;
  TSqlite Sqlite;
  std::unique_ptr<TDataCursor> Reader;
};

TEST_F(ChangeDifferentialTest, RandomStatementsAgreeWithSqlite) {
  const bool soak = std::getenv("PELLOMAR_SOAK") != nullptr;
  const int sequences = soak ? 40 : 8;
  const int length = soak ? 2000 : 500;
  int statements = 0;
  for (int s = 0; s < sequences && !HasFailure(); ++s) {
    SCOPED_TRACE("sequence " + std::to_string(s));
    // Each sequence goes on from the table the one before left.
    RunSequence(static_cast<std::uint32_t>(20240 + s), length, statements);
  }
  EXPECT_GE(statements, 2000);
}

}  // namespace
}  // namespace quarry
