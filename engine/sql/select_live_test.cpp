// Live SELECT results: when a live request is met (the table's own cursor, in the order of
// the index that matches the ORDER BY, its WHERE as a filter, the result columns as a
// view) and when it falls back to a canned result; changes through a live result; the
// origins and internal marks of result fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/sql/select_test_support.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::IndexOn;

TIndexDefinition Ordered(const char* name, int field, bool descending, bool caseInsensitive) {
  TIndexDefinition index = IndexOn(name, {field});
  index.Descending = descending;
  index.CaseInsensitive = caseInsensitive;
  return index;
}

TEngineErrorCode CodeOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const std::exception& e) {
    return ErrorCodeOf(e);
  }
  return QUARRY_NONE;
}

class SelectLive : public ::testing::Test, public select_testing::TSelectFixture {
 protected:
  SelectLive() {
    std::vector<TFieldDefinition> fields = {
        Column(1, "CASTMEMBERID", TFieldType::Integer), Column(2, "CASTMEMBER", TFieldType::String, 30),
        Column(3, "BORN", TFieldType::Integer), Column(4, "NOTE", TFieldType::String, 10)};
    fields[3].DefaultValue = "none";
    MakeTable("CASTMEMBERS", fields, IndexOn("", {1}, true),
              {IndexOn("BYNAME", {2}), Ordered("BYNAMENOCASE", 2, false, true), Ordered("BYBORNDESC", 3, true, false)},
              {{"1", "Nolte", "1941"}, {"2", "bacall", "1924"}, {"3", "Caine", "1933"}, {"4", "Astaire", "1899"}});
    MakeTable("ROLES", {Column(1, "CASTMEMBERID", TFieldType::Integer), Column(2, "VIDEOID", TFieldType::Integer)},
              IndexOn("", {1, 2}, true), {}, {{"1", "10"}, {"3", "11"}});
  }

  // Prepares sql with a live request and executes it.
  TDataCursor* RunLive(TQueryStatement& statement, const std::string& sql) {
    statement.SetLiveRequest(true);
    statement.Prepare(sql);
    return statement.Execute();
  }

  // The first field of every row, in the cursor's order.
  static std::vector<std::string> FirstColumn(TDataCursor& cursor) {
    std::vector<std::string> rows;
    std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor.RecordBufferSize()));
    cursor.Home();
    for (int guard = 0; guard < 1000 && cursor.Next(record.data()) == 0; ++guard)
      rows.push_back(select_testing::FieldText(record.data(), cursor.Fields().front()));
    return rows;
  }

  // A cursor of its own on the table, to see what reached it.
  std::unique_ptr<TDataCursor> OpenTable(const char* name) {
    auto cursor = std::make_unique<TDataCursor>(*Database);
    cursor->SetTableName(name);
    cursor->Open();
    return cursor;
  }

  static void PutString(TDataCursor& cursor, int fieldNo, std::uint8_t* record, const std::string& text) {
    std::vector<std::uint8_t> value(text.begin(), text.end());
    value.push_back(0);
    cursor.PutField(fieldNo, record, value.data());
  }
  static void PutInteger(TDataCursor& cursor, int fieldNo, std::uint8_t* record, std::int32_t v) {
    cursor.PutField(fieldNo, record, reinterpret_cast<const std::uint8_t*>(&v));
  }
};

TEST_F(SelectLive, OrderByAnIndexedColumnGivesTheTablesCursorInIndexOrder) {
  TQueryStatement statement(Database);
  TDataCursor* cursor = RunLive(statement, "SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER");
  ASSERT_NE(cursor, nullptr);
  EXPECT_TRUE(statement.LiveResult());
  EXPECT_EQ(cursor->TableName(), "CASTMEMBERS");
  EXPECT_FALSE(cursor->ReadOnly());
  EXPECT_EQ(cursor->IndexDefinition().Name, "BYNAME");
  ASSERT_EQ(cursor->FieldCount(), 1);
  EXPECT_EQ(cursor->Fields()[0].Name, "CASTMEMBER");
  EXPECT_EQ(FirstColumn(*cursor), (std::vector<std::string>{"Astaire", "Caine", "Nolte", "bacall"}));
  EXPECT_EQ(statement.RowsAffected(), 4);
}

struct TLiveCase {
  const char* Sql;
  bool Live;
  std::vector<std::string> Rows;  // first column, in order
};

TEST_F(SelectLive, LiveOnlyWhenTheQueryIsOneTablesRecordsInAnIndexOrder) {
  const std::vector<TLiveCase> cases = {
      // Live: an index whose fields, directions and case rule are the ORDER BY's.
      {"SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER NOCASE", true, {"Astaire", "bacall", "Caine", "Nolte"}},
      {"SELECT BORN FROM CASTMEMBERS ORDER BY BORN DESC", true, {"1941", "1933", "1924", "1899"}},
      {"SELECT CASTMEMBERID FROM CASTMEMBERS ORDER BY CASTMEMBERID", true, {"1", "2", "3", "4"}},
      {"SELECT CASTMEMBER AS N FROM CASTMEMBERS ORDER BY N", true, {"Astaire", "Caine", "Nolte", "bacall"}},
      {"SELECT CASTMEMBER FROM CASTMEMBERS WHERE BORN > 1930", true, {"Nolte", "Caine"}},
      {"SELECT * FROM CASTMEMBERS WHERE CASTMEMBER = 'bacall'", true, {"2"}},
      {"SELECT BORN * 2 FROM CASTMEMBERS WHERE CASTMEMBERID < 3", true, {"3882", "3848"}},
      // Canned: the ORDER BY is no index of the table.
      {"SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER DESC", false, {"bacall", "Nolte", "Caine", "Astaire"}},
      {"SELECT CASTMEMBER, BORN FROM CASTMEMBERS ORDER BY CASTMEMBER, BORN",
       false,
       {"Astaire", "Caine", "Nolte", "bacall"}},
      {"SELECT CASTMEMBERID FROM CASTMEMBERS ORDER BY CASTMEMBERID DESC", false, {"4", "3", "2", "1"}},
      {"SELECT BORN FROM CASTMEMBERS ORDER BY BORN", false, {"1899", "1924", "1933", "1941"}},
      {"SELECT BORN + 0 AS B FROM CASTMEMBERS ORDER BY B DESC", false, {"1941", "1933", "1924", "1899"}},
      // Canned: more than one table's records, or records folded together.
      {"SELECT DISTINCT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER",
       false,
       {"Astaire", "Caine", "Nolte", "bacall"}},
      {"SELECT C.CASTMEMBER FROM CASTMEMBERS C, ROLES R WHERE C.CASTMEMBERID = R.CASTMEMBERID",
       false,
       {"Nolte", "Caine"}},
      {"SELECT C.CASTMEMBER FROM CASTMEMBERS C INNER JOIN ROLES R ON C.CASTMEMBERID = R.CASTMEMBERID",
       false,
       {"Nolte", "Caine"}},
      {"SELECT NOTE, COUNT(*) FROM CASTMEMBERS GROUP BY NOTE", false, {"none"}},
      {"SELECT BORN, COUNT(*) FROM CASTMEMBERS GROUP BY BORN HAVING COUNT(*) > 1", false, {}},
      {"SELECT COUNT(*) FROM CASTMEMBERS", false, {"4"}},
      {"SELECT MAX(BORN) FROM CASTMEMBERS WHERE BORN < 1930", false, {"1924"}},
      {"SELECT CASTMEMBER FROM CASTMEMBERS TOP 2", false, {"Nolte", "bacall"}},
      // Canned: other queries in the statement, a new table, a computed BLOB.
      {"SELECT CASTMEMBERID FROM CASTMEMBERS UNION ALL SELECT CASTMEMBERID FROM ROLES",
       false,
       {"1", "2", "3", "4", "1", "3"}},
      {"SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID IN (SELECT CASTMEMBERID FROM ROLES)",
       false,
       {"Nolte", "Caine"}},
      {"SELECT CASTMEMBER INTO STARS FROM CASTMEMBERS WHERE BORN < 1930", false, {"bacall", "Astaire"}},
      {"SELECT CAST(CASTMEMBER AS BLOB) FROM CASTMEMBERS WHERE CASTMEMBERID = 1", false, {"?"}},
  };
  for (const TLiveCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    TQueryStatement statement(Database);
    TDataCursor* cursor = nullptr;
    ASSERT_NO_THROW(cursor = RunLive(statement, c.Sql));
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(statement.LiveResult(), c.Live);
    EXPECT_EQ(cursor->TableName() == "CASTMEMBERS", c.Live);
    std::vector<std::string> rows = FirstColumn(*cursor);
    if (c.Rows == std::vector<std::string>{"?"}) {
      EXPECT_EQ(rows.size(), 1u);
    } else {
      EXPECT_EQ(rows, c.Rows);
    }
  }
}

TEST_F(SelectLive, RowLimitAndWithoutRequestStayCanned) {
  TQueryStatement limited(Database);
  limited.SetMaxRowCount(2);
  TDataCursor* cursor = RunLive(limited, "SELECT CASTMEMBER FROM CASTMEMBERS");
  EXPECT_FALSE(limited.LiveResult());
  EXPECT_EQ(FirstColumn(*cursor).size(), 2u);

  // Without the request the rows may still be read from the table's cursor, but never
  // written through it.
  TQueryStatement plain(Database);
  plain.Prepare("SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER");
  EXPECT_TRUE(plain.Execute()->ReadOnly());
  EXPECT_FALSE(plain.LiveResult());
}

TEST_F(SelectLive, ViewShowsResultNamesAndCalculatesComputedColumns) {
  TQueryStatement statement(Database);
  TDataCursor* cursor = RunLive(statement,
                                "SELECT CASTMEMBER AS WHO, BORN + 100 AS CENTURY, CASTMEMBERID, CASTMEMBER "
                                "FROM CASTMEMBERS C WHERE C.BORN >= 1924 ORDER BY CASTMEMBER");
  ASSERT_TRUE(statement.LiveResult());
  std::vector<std::string> names;
  for (const TFieldDefinition& f : cursor->Fields()) names.push_back(f.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"WHO", "CENTURY", "CASTMEMBERID", "CASTMEMBER"}));
  EXPECT_TRUE(cursor->Fields()[1].Computed);
  EXPECT_EQ(cursor->TableFieldNo(1), 2);
  EXPECT_EQ(cursor->TableFieldNo(2), 0);
  EXPECT_EQ(cursor->Fields()[0].Origin, "CASTMEMBERS.CASTMEMBER");
  EXPECT_EQ(cursor->Fields()[0].OriginDatabase, Database->DatabaseName());
  EXPECT_EQ(cursor->Fields()[1].Origin, "");

  std::vector<std::string> rows;
  std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor->RecordBufferSize()));
  cursor->Home();
  while (cursor->Next(record.data()) == 0) {
    std::string row;
    for (const TFieldDefinition& f : cursor->Fields()) row += select_testing::FieldText(record.data(), f) + "|";
    rows.push_back(row);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"Caine|2033|3|Caine|", "Nolte|2041|1|Nolte|", "bacall|2024|2|bacall|"}));
  // A filter text names the view's columns as well as the table's.
  cursor->AddFilter("WHO = 'Nolte' OR NOTE = 'x'");
  EXPECT_EQ(cursor->RecordCount(), 1);
}

TEST_F(SelectLive, ChangesThroughTheLiveResultReachTheTable) {
  TQueryStatement statement(Database);
  TDataCursor* live = RunLive(statement,
                              "SELECT CASTMEMBERID AS ID, CASTMEMBER AS NAME, BORN + 1 AS NEXTYEAR FROM CASTMEMBERS "
                              "WHERE BORN > 1920 ORDER BY CASTMEMBER");
  ASSERT_TRUE(statement.LiveResult());
  std::vector<std::uint8_t> record(static_cast<std::size_t>(live->RecordBufferSize()));
  ASSERT_EQ(live->First(), 0);
  ASSERT_EQ(live->GetCurrentRecord(record.data(), true), 0);
  EXPECT_EQ(select_testing::FieldText(record.data(), live->Fields()[1]), "Caine");
  PutString(*live, 2, record.data(), "Connery");
  live->UpdateRecord(record.data());

  // Another cursor on the table sees the change.
  auto other = OpenTable("CASTMEMBERS");
  std::vector<std::uint8_t> row(static_cast<std::size_t>(other->RecordBufferSize()));
  ASSERT_EQ(other->GotoRecordNo(3), 0);
  ASSERT_EQ(other->GetCurrentRecord(row.data()), 0);
  EXPECT_EQ(select_testing::FieldText(row.data(), other->Fields()[1]), "Connery");

  // An append takes the table's defaults for the columns not selected, and its checks.
  live->InitRecord(record.data());
  PutInteger(*live, 1, record.data(), 5);
  PutString(*live, 2, record.data(), "Hepburn");
  live->InsertRecord(record.data());
  EXPECT_EQ(select_testing::FieldText(record.data(), live->Fields()[2]), "NULL")
      << "the computed column follows the new record";
  live->InitRecord(record.data());
  PutInteger(*live, 1, record.data(), 1);
  EXPECT_EQ(CodeOf([&] { live->InsertRecord(record.data()); }), QUARRY_KEYVIOL);
  other->Refresh();
  EXPECT_EQ(other->RecordCount(), 5);
  ASSERT_EQ(other->GotoRecordNo(5), 0);
  ASSERT_EQ(other->GetCurrentRecord(row.data()), 0);
  EXPECT_EQ(select_testing::FieldText(row.data(), other->Fields()[3]), "none");

  // A record locked through the live result is locked for the other cursor.
  ASSERT_EQ(live->First(), 0);
  ASSERT_EQ(live->GetCurrentRecord(record.data()), 0);
  live->LockRecord();
  ASSERT_EQ(other->GotoRecordNo(live->CurrentRecordNo()), 0);
  EXPECT_EQ(CodeOf([&] { other->LockRecord(); }), QUARRY_RECLOCKFAILED);
  live->UnlockRecord();

  // Deleting through the result.
  live->DeleteRecord(record.data());
  other->Refresh();
  EXPECT_EQ(other->RecordCount(), 4);
}

TEST_F(SelectLive, ExecutingAgainRefiltersWithTheTablesNewState) {
  TQueryStatement statement(Database);
  TDataCursor* live = RunLive(statement, "SELECT CASTMEMBER FROM CASTMEMBERS WHERE BORN < 1930 ORDER BY CASTMEMBER");
  EXPECT_EQ(FirstColumn(*live), (std::vector<std::string>{"Astaire", "bacall"}));
  {
    auto other = OpenTable("CASTMEMBERS");
    std::vector<std::uint8_t> record(static_cast<std::size_t>(other->RecordBufferSize()));
    other->InitRecord(record.data());
    PutInteger(*other, 1, record.data(), 9);
    PutString(*other, 2, record.data(), "Bogart");
    PutInteger(*other, 3, record.data(), 1899);
    other->InsertRecord(record.data());
  }
  TDataCursor* again = statement.Execute();
  EXPECT_EQ(again, live) << "the statement keeps its cursor";
  EXPECT_EQ(again->FilterCount(), 1) << "the previous execution's filter is gone";
  EXPECT_EQ(FirstColumn(*again), (std::vector<std::string>{"Astaire", "Bogart", "bacall"}));
  EXPECT_EQ(statement.RowsAffected(), 3);
  // A reader that dropped every filter of the cursor does not upset the next execution.
  again->RemoveFilter();
  EXPECT_EQ(FirstColumn(*statement.Execute()), (std::vector<std::string>{"Astaire", "Bogart", "bacall"}));
}

TEST_F(SelectLive, CannedResultsMarkAvgCountersInternalAndKeepOrigins) {
  TQueryStatement statement(Database);
  statement.Prepare(
      "SELECT C.CASTMEMBER, AVG(R.VIDEOID), BORN AS YEAR FROM CASTMEMBERS C, ROLES R "
      "WHERE C.CASTMEMBERID = R.CASTMEMBERID GROUP BY C.CASTMEMBER, BORN");
  TDataCursor* cursor = statement.Execute();
  ASSERT_EQ(cursor->FieldCount(), 4);
  const std::vector<TFieldDefinition>& f = cursor->Fields();
  EXPECT_FALSE(f[0].Internal || f[1].Internal || f[2].Internal);
  EXPECT_TRUE(f[3].Internal);
  EXPECT_EQ(f[0].Origin, "CASTMEMBERS.CASTMEMBER");
  EXPECT_EQ(f[1].Origin, "") << "an aggregate is no column of a table";
  EXPECT_EQ(f[2].Origin, "CASTMEMBERS.BORN") << "an alias keeps the origin";
  EXPECT_EQ(f[3].Origin, "");
}

TEST_F(SelectLive, AColumnNamedLikeAnAvgCounterKeepsItsName) {
  const TResult result = RunSql("SELECT AVG(BORN), MIN(BORN) AS Sys__Avg__Count1 FROM CASTMEMBERS");
  EXPECT_EQ(result.Names, (std::vector<std::string>{"Average Of BORN", "Sys__Avg__Count1"}));
  EXPECT_EQ(result.Rows, (std::vector<std::string>{"1924.25|1899"}));
}

TEST_F(SelectLive, OriginIsCutToItsLimit) {
  const std::string table(90, 'T');
  MakeTable(table, {Column(1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", TFieldType::Integer)}, IndexOn("", {1}, true), {},
            {{"1"}});
  TQueryStatement statement(Database);
  statement.Prepare("SELECT ABCDEFGHIJKLMNOPQRSTUVWXYZ1234 FROM " + table);
  TDataCursor* cursor = statement.Execute();
  EXPECT_EQ(cursor->Fields()[0].Origin, (table + ".ABCDEFGHIJKLMNOPQRSTUVWXYZ1234").substr(0, 100));
}

}  // namespace
}  // namespace quarry
