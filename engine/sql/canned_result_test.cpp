// Where canned SELECT results live: in memory under a unique name while they are small, on
// disk in the private directory once they pass the memory bound, and nowhere once their
// cursor is gone, also after a failed fill or a failed move.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/sql/result_table.h"
#include "engine/sql/select_test_support.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::TSelectFixture;

class CannedResultTest : public ::testing::Test, public TSelectFixture {
 protected:
  std::vector<TFieldDefinition> Fields() {
    return {Column(1, "ID", TFieldType::Integer), Column(2, "NAME", TFieldType::String, 40)};
  }

  // Appends rows 1..count (ID = n, NAME = "name n").
  static void Fill(TResultTable& result, int count) {
    const TFieldDefinition& id = result.Fields()[0];
    const TFieldDefinition& name = result.Fields()[1];
    std::vector<uint8_t> row(static_cast<std::size_t>(result.RecordSize()), 0);
    for (int n = 1; n <= count; ++n) {
      std::fill(row.begin(), row.end(), 0);
      const int32_t value = n;
      SetFieldData(row.data(), id, reinterpret_cast<const uint8_t*>(&value));
      SetFieldString(row.data(), name, "name " + std::to_string(n));
      result.Append(row.data());
    }
  }

  // Every row of the finished result as "id:name".
  static std::vector<std::string> Read(TDataCursor& cursor) {
    std::vector<std::string> rows;
    std::vector<uint8_t> record(static_cast<std::size_t>(cursor.RecordBufferSize()));
    cursor.Home();
    while (cursor.Next(record.data()) == 0)
      rows.push_back(select_testing::FieldText(record.data(), cursor.Fields()[0]) + ":" +
                     select_testing::FieldText(record.data(), cursor.Fields()[1]));
    return rows;
  }

  static std::vector<std::string> Expected(int count) {
    std::vector<std::string> rows;
    for (int n = 1; n <= count; ++n) rows.push_back(std::to_string(n) + ":name " + std::to_string(n));
    return rows;
  }

  std::vector<std::string> FilesIn(const std::string& directory) {
    std::vector<std::string> names;
    Env.ListDirectory(directory, names);
    return names;
  }

  bool MemoryTableExists(const std::string& name) {
    return List.Exists(name + ".DAT", true) || List.Exists(name + ".IDX", true);
  }
};

TEST_F(CannedResultTest, SmallResultStaysInMemoryAndGoesWithItsCursor) {
  const std::size_t filesBefore = List.FileCount();
  std::string name;
  {
    TResultTable result(Session);
    result.Create(Fields(), 0, 0, nullptr, "", false, "");
    Fill(result, 5);
    TDataCursor& cursor = result.Finish();
    name = result.TableName();
    EXPECT_TRUE(result.InMemory());
    EXPECT_TRUE(MemoryTableExists(name));
    EXPECT_EQ(Read(cursor), Expected(5));
    EXPECT_TRUE(FilesIn("/tmp").empty());
    EXPECT_TRUE(FilesIn("/work").empty());
  }
  EXPECT_FALSE(MemoryTableExists(name));
  EXPECT_EQ(List.FileCount(), filesBefore);
  EXPECT_EQ(Session.DirectoryCount(), 1);
}

TEST_F(CannedResultTest, ResultsAliveAtOnceHaveTheirOwnTables) {
  TResultTable first(Session), second(Session);
  first.Create(Fields(), 0, 0, nullptr, "", false, "");
  second.Create(Fields(), 0, 0, nullptr, "", false, "");
  EXPECT_NE(first.TableName(), second.TableName());
  Fill(first, 3);
  Fill(second, 4);
  EXPECT_EQ(Read(first.Finish()), Expected(3));
  EXPECT_EQ(Read(second.Finish()), Expected(4));
}

TEST_F(CannedResultTest, ResultPastTheBoundMovesToThePrivateDirectory) {
  const std::size_t filesBefore = List.FileCount();
  {
    TResultTable result(Session);
    result.SetMemoryLimit(10 * 1024);  // a few hundred rows
    result.Create(Fields(), 0, 0, nullptr, "", false, "");
    const std::string memoryName = result.TableName();
    Fill(result, 2000);
    EXPECT_FALSE(result.InMemory());
    EXPECT_FALSE(MemoryTableExists(memoryName));
    EXPECT_FALSE(FilesIn("/tmp").empty());
    // A sort after the move works on the disk table.
    TSortOptions descending;
    TFieldDefinition key = result.Fields()[0];
    key.Descending = true;
    descending.KeyFields = {key};
    result.Sort(descending);
    std::vector<std::string> rows = Read(result.Finish());
    std::vector<std::string> expected = Expected(2000);
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(rows, expected);
  }
  EXPECT_TRUE(FilesIn("/tmp").empty());
  EXPECT_EQ(List.FileCount(), filesBefore);
  EXPECT_EQ(Session.DirectoryCount(), 1);
}

// BLOB values count toward the bound: a few rows of large values move the result, and the
// values read back whole from the disk table.
TEST_F(CannedResultTest, BlobValuesCountTowardTheBound) {
  TFieldDefinition body = Column(2, "BODY", TFieldType::Blob);
  body.SubType = subtype::Memo;
  TResultTable result(Session);
  result.SetMemoryLimit(64 * 1024);
  result.Create({Column(1, "ID", TFieldType::Integer), body}, 0, 0, nullptr, "", false, "");
  std::vector<uint8_t> row(static_cast<std::size_t>(result.RecordSize()), 0);
  auto valueOf = [](int n) { return std::vector<uint8_t>(10000, static_cast<uint8_t>('a' + n)); };
  for (int n = 0; n < 8; ++n) {
    std::fill(row.begin(), row.end(), 0);
    const int32_t id = n;
    SetFieldData(row.data(), result.Fields()[0], reinterpret_cast<const uint8_t*>(&id));
    SetFieldBlob(row.data(), result.Fields()[1], result.StoreBlob(valueOf(n)));
    result.Append(row.data());
    EXPECT_EQ(result.InMemory(), n < 6) << "after row " << n;
  }
  TDataCursor& cursor = result.Finish();
  std::vector<uint8_t> record(static_cast<std::size_t>(cursor.RecordBufferSize()));
  std::vector<uint8_t> value;
  int n = 0;
  cursor.Home();
  while (cursor.Next(record.data()) == 0) {
    cursor.ReadBlobValue(2, record.data(), value);
    EXPECT_EQ(value, valueOf(n)) << "row " << n;
    ++n;
  }
  EXPECT_EQ(n, 8);
}

// Rows gather in blocks before they reach the table: results of less than a block, of
// exactly one, and of several (ending inside one), read back directly, after a walk over
// the filled rows, and after a sort (in memory for a result never written, from the file
// otherwise), also scrambled.
TEST_F(CannedResultTest, RowsArriveWholeAndInOrderAcrossBlocks) {
  Session.AddPassword("block pass");
  std::size_t blockRows = 0;
  {
    TResultTable probe(Session);
    probe.Create(Fields(), 0, 0, nullptr, "", false, "");
    blockRows = static_cast<std::size_t>(64 * 1024 / probe.RecordSize());
  }
  enum class TThen { Finish, Walk, Sort };
  for (const int count :
       {1, static_cast<int>(blockRows), static_cast<int>(blockRows) + 1, 3 * static_cast<int>(blockRows) + 7}) {
    for (const TThen then : {TThen::Finish, TThen::Walk, TThen::Sort}) {
      for (const std::string password : {"", "block pass"}) {
        SCOPED_TRACE(std::to_string(count) + " rows, then " + std::to_string(static_cast<int>(then)) +
                     (password.empty() ? "" : ", scrambled"));
        TResultTable result(Session);
        result.Create(Fields(), 0, 0, nullptr, "", false, password);
        Fill(result, count);
        EXPECT_EQ(result.Rows(), count);
        std::vector<std::string> expected = Expected(count);
        if (then == TThen::Walk) {
          std::vector<int32_t> identifiers;
          result.ForEach([&](const uint8_t* record) { identifiers.push_back(RecordIdentifier(record)); });
          ASSERT_EQ(identifiers.size(), static_cast<std::size_t>(count));
          for (int n = 1; n <= count; ++n) EXPECT_EQ(identifiers[static_cast<std::size_t>(n - 1)], n);
        } else if (then == TThen::Sort) {
          TSortOptions descending;
          TFieldDefinition key = result.Fields()[0];
          key.Descending = true;
          descending.KeyFields = {key};
          result.Sort(descending);
          std::reverse(expected.begin(), expected.end());
        }
        EXPECT_EQ(Read(result.Finish()), expected);
      }
    }
  }
}

TEST_F(CannedResultTest, MemoryAskedForStaysInMemoryPastTheBound) {
  TResultTable result(Session);
  result.SetMemoryLimit(1024);
  result.Create(Fields(), 0, 0, nullptr, "", true, "");
  Fill(result, 500);
  EXPECT_TRUE(result.InMemory());
  EXPECT_EQ(Read(result.Finish()).size(), 500u);
  EXPECT_TRUE(FilesIn("/tmp").empty());
}

TEST_F(CannedResultTest, NothingIsLeftWhenTheFillOrTheMoveFails) {
  const std::size_t filesBefore = List.FileCount();
  struct TCase {
    const char* What;
    int Rows;
    const char* PrivateDir;  // a missing folder makes the move fail
    bool MoveFails;
  };
  for (const TCase& c : {TCase{"fill abandoned in memory", 50, "/tmp", false},
                         TCase{"fill abandoned after the move", 2000, "/tmp", false},
                         TCase{"move to a missing folder", 2000, "/missing", true}}) {
    SCOPED_TRACE(c.What);
    Session.SetPrivateDir(c.PrivateDir);
    std::string name;
    {
      TResultTable result(Session);
      result.SetMemoryLimit(10 * 1024);
      result.Create(Fields(), 0, 0, nullptr, "", false, "");
      name = result.TableName();
      if (c.MoveFails) EXPECT_THROW(Fill(result, c.Rows), EQuarryEngineError);
      else Fill(result, c.Rows);
      // The result goes away without Finish, as after an error in the walk.
    }
    EXPECT_FALSE(MemoryTableExists(name));
    EXPECT_TRUE(FilesIn("/tmp").empty());
    EXPECT_EQ(List.FileCount(), filesBefore);
    EXPECT_EQ(Session.DirectoryCount(), 1);
  }
}

TEST_F(CannedResultTest, FailedStatementLeavesNoResultTable) {
  MakeTable("T", {Column(1, "A", TFieldType::Integer), Column(2, "B", TFieldType::String, 10)},
            select_testing::IndexOn("", {1}, true), {}, {{"1", "x"}, {"2", "y"}});
  const std::size_t filesBefore = List.FileCount();
  {
    // A failure in the middle of the walk, after the result table was made and filled.
    TQueryStatement statement(Database);
    statement.SetProgressHandler(nullptr,
                                 [](void*, TQueryStatement&, int, bool&) { throw EQuarryEngineError(QUARRY_READERR); });
    statement.Prepare("SELECT A, B FROM T ORDER BY B");
    EXPECT_THROW(statement.Execute(), EQuarryEngineError);
  }
  EXPECT_EQ(List.FileCount(), filesBefore);
  EXPECT_TRUE(FilesIn("/tmp").empty());
  {
    TQueryStatement statement(Database);
    statement.Prepare("SELECT A, B FROM T ORDER BY B DESC");
    EXPECT_EQ(statement.Execute()->RecordCount(), 2);
  }
  EXPECT_EQ(List.FileCount(), filesBefore);
}

TEST_F(CannedResultTest, ARollbackOfTheInMemoryDatabaseLeavesResultsAlone) {
  MakeTable("T", {Column(1, "A", TFieldType::Integer), Column(2, "B", TFieldType::String, 10)},
            select_testing::IndexOn("", {1}, true), {}, {{"1", "x"}, {"2", "y"}});
  TDataDirectory& memory = Session.OpenDirectory("Memory", "");
  memory.StartTransaction();
  TQueryStatement statement(Database);
  statement.Prepare("SELECT A, B FROM T ORDER BY B DESC");
  TDataCursor* cursor = statement.Execute();
  ASSERT_NE(cursor, nullptr);
  memory.Rollback();
  EXPECT_EQ(Read(*cursor), (std::vector<std::string>{"2:y", "1:x"}));
  Session.CloseDirectory(memory);
}

}  // namespace
}  // namespace quarry
