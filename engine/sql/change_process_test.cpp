// SQL statements of several processes on one folder of tables on disk.
//
// Four processes insert into one table, each in its own range of ids, and between inserts
// each adds one to a shared counter (UPDATE T SET QTY = QTY + 1 WHERE ID = 1): no row may be
// lost, the counter must be exact, the table's indexes must agree with its data.
//
// A process killed (SIGKILL) in the middle of a run of inserts: the table opens, holds every
// row the process reported done, every index counts the same rows, and the next process's
// changes are taken.
//
// Children are forked before the parent opens any table file: an open file description
// shared across fork would share its locks too.
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/sql/query_statement.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/process_test_util.h"
#include "engine/storage/table/session.h"

namespace quarry {
namespace {

using testing::Join;
using testing::Spawn;
using testing::TChannel;

// One process's session on the folder.
struct TFolder {
  explicit TFolder(const std::string& path) : database(session.OpenDirectory("", path)) {}
  // Runs one statement (parameters: 32-bit integers); returns its rows affected.
  int32_t Run(TQueryStatement& statement, std::initializer_list<int32_t> values = {}) {
    std::vector<TParameterDescriptor> descriptors;
    std::vector<std::uint8_t> data;
    for (const int32_t value : values) {
      TParameterDescriptor d;
      d.DataType = vt::Integer;
      d.Size = 4;
      d.Offset = static_cast<uint32_t>(data.size());
      data.push_back(1);
      data.resize(data.size() + 4);
      std::memcpy(data.data() + d.Offset + 1, &value, 4);
      descriptors.push_back(d);
    }
    statement.Execute(static_cast<int>(descriptors.size()), descriptors.data(), data.data(), data.size());
    return statement.RowsAffected();
  }
  int32_t Run(const std::string& sql) {
    TQueryStatement statement(&database);
    statement.Prepare(sql);
    return Run(statement);
  }
  std::string Single(const std::string& sql) {
    TQueryStatement statement(&database);
    statement.Prepare(sql);
    TDataCursor* cursor = statement.Execute();
    std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor->RecordBufferSize()));
    cursor->Home();
    if (cursor->Next(record.data()) != QUARRY_NONE) return "none";
    bool isNull = false;
    int32_t value = 0;
    cursor->GetField(1, record.data(), isNull, reinterpret_cast<std::uint8_t*>(&value));
    return isNull ? "NULL" : std::to_string(value);
  }

  TDataSession session;
  TDataDirectory& database;
};

class ChangeProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarry-changes-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    Dir = pattern;
    // T(ID primary, QTY indexed, NAME indexed), made through the cursor; row 1 is the counter.
    TDataSession session;
    TDataDirectory& database = session.OpenDirectory("", Dir);
    TCreateTableDefinition definition;
    auto field = [](int number, const char* name, TFieldType type, int size) {
      TFieldDefinition f;
      f.FieldNo = static_cast<std::uint16_t>(number);
      f.Name = name;
      f.DataType = type;
      f.Size = static_cast<std::uint8_t>(size);
      return f;
    };
    definition.Fields = {field(1, "ID", TFieldType::Integer, 0), field(2, "QTY", TFieldType::Integer, 0),
                         field(3, "NAME", TFieldType::String, 20)};
    auto index = [](const char* name, int fieldNo, bool unique) {
      TIndexDefinition i;
      i.Name = name;
      i.Unique = unique;
      i.FieldNumbers[i.FieldCount++] = static_cast<std::uint16_t>(fieldNo);
      return i;
    };
    definition.Primary = index("", 1, true);
    definition.Secondaries = {index("BYQTY", 2, false), index("BYNAME", 3, false)};
    TDataCursor creator(database);
    creator.SetTableName("T");
    creator.CreateTable(definition);
    TFolder folder(Dir);
    folder.Run("INSERT INTO T VALUES (1, 0, 'counter')");
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
  }

  // The rows each index of T counts (primary, BYQTY, BYNAME, natural order) and Verify's word.
  static std::vector<int32_t> IndexCounts(TDataCursor& cursor) {
    std::vector<int32_t> counts;
    for (const int slot : {0, 1, 2, 255}) {
      cursor.SetIndexSlot(slot);
      counts.push_back(cursor.RecordCount());
    }
    return counts;
  }

  std::string Dir;
};

TEST_F(ChangeProcesses, InsertsAndACounterOfFourProcessesLoseNothing) {
  constexpr int kProcesses = 4;
  constexpr int kRows = 100;  // per process, each followed by an UPDATE of the counter
  std::vector<pid_t> children;
  std::array<TChannel, kProcesses> go;  // one each: children reading one pipe could split a line
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(Spawn([&, p] {
      if (go[static_cast<std::size_t>(p)].Receive() != "go") return 1;
      TFolder folder(Dir);
      TQueryStatement insert(&folder.database);
      insert.Prepare("INSERT INTO T (ID, QTY, NAME) VALUES (?, ?, 'row')");
      TQueryStatement count(&folder.database);
      count.Prepare("UPDATE T SET QTY = QTY + 1 WHERE ID = 1");
      for (int i = 1; i <= kRows; ++i) {
        if (folder.Run(insert, {(p + 1) * 1000 + i, i}) != 1) return 2;
        if (folder.Run(count) != 1) return 3;
      }
      return 0;
    }));
  }
  for (TChannel& channel : go) channel.Send("go");
  for (const pid_t child : children) EXPECT_EQ(Join(child, 300000), 0);

  TFolder folder(Dir);
  EXPECT_EQ(folder.Single("SELECT QTY FROM T WHERE ID = 1"), std::to_string(kProcesses * kRows));
  EXPECT_EQ(folder.Single("SELECT COUNT(*) FROM T"), std::to_string(1 + kProcesses * kRows));
  for (int p = 0; p < kProcesses; ++p)
    EXPECT_EQ(folder.Single("SELECT COUNT(*) FROM T WHERE ID BETWEEN " + std::to_string((p + 1) * 1000 + 1) + " AND " +
                            std::to_string((p + 1) * 1000 + kRows)),
              std::to_string(kRows));
  TDataCursor cursor(folder.database);
  cursor.SetTableName("T");
  cursor.Open();
  EXPECT_EQ(cursor.Verify(), "");
  EXPECT_EQ(IndexCounts(cursor), std::vector<int32_t>(4, 1 + kProcesses * kRows));
}

// Without a journal, a change is as whole as its writes: a process killed between the writes
// of one insert (the data file's, then each index's pages, then the index header) leaves
// that insert half written, which Verify reports (say "index count N but N+1 active
// records"); the kill lands there now and then. Whatever the moment, the table opens, keeps
// every insert that finished, and takes the next process's changes.
TEST_F(ChangeProcesses, AProcessKilledAmidInsertsLeavesATableThatOpensAndTakesChanges) {
  std::mt19937 random(std::random_device{}());
  int32_t next = 100;  // the next id a child inserts
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TChannel done;
    const int32_t first = next;
    const pid_t child = Spawn([&] {
      TFolder folder(Dir);
      TQueryStatement insert(&folder.database);
      insert.Prepare("INSERT INTO T (ID, QTY, NAME) VALUES (?, ?, 'killed run')");
      for (int32_t id = first;; ++id) {
        folder.Run(insert, {id, id % 7});
        done.Send(std::to_string(id));
      }
      return 0;
    });
    // Let it insert a while, then kill it wherever it is.
    const int wanted = 20 + static_cast<int>(random() % 200);
    int32_t last = 0;
    for (int i = 0; i < wanted; ++i) last = std::stoi(done.Receive());
    kill(child, SIGKILL);
    EXPECT_EQ(Join(child), 128 + SIGKILL);
    for (std::string line = done.Receive(100); !line.empty(); line = done.Receive(100)) last = std::stoi(line);

    TFolder folder(Dir);
    TDataCursor cursor(folder.database);
    cursor.SetTableName("T");
    ASSERT_NO_THROW(cursor.Open());
    // Every insert the child finished is there; one more may be, if the kill came after its
    // last write but before it said so.
    const std::string range = " WHERE ID BETWEEN " + std::to_string(first) + " AND " + std::to_string(last + 1);
    const int32_t kept = std::stoi(folder.Single("SELECT COUNT(*) FROM T" + range));
    EXPECT_GE(kept, last - first + 1);
    EXPECT_LE(kept, last - first + 2);
    const std::vector<int32_t> counts = IndexCounts(cursor);
    const std::string verdict = cursor.Verify();
    const bool whole = std::all_of(counts.begin(), counts.end(), [&](int32_t n) { return n == counts.front(); });
    // A half-written insert never passes unnoticed.
    if (!whole) {
      EXPECT_NE(verdict, "");
    }
    if (!verdict.empty()) std::fprintf(stderr, "killed between the writes of one insert: %s\n", verdict.c_str());
    next = last + 2;

    // The next process's changes are taken.
    const std::string id = std::to_string(next);
    EXPECT_EQ(folder.Run("INSERT INTO T (ID, QTY, NAME) VALUES (" + id + ", 5, 'after')"), 1);
    EXPECT_EQ(folder.Run("UPDATE T SET QTY = QTY + 1 WHERE ID = " + id), 1);
    EXPECT_EQ(folder.Single("SELECT QTY FROM T WHERE ID = " + id), "6");
    EXPECT_EQ(folder.Run("DELETE FROM T WHERE ID = " + id), 1);
    EXPECT_EQ(folder.Single("SELECT COUNT(*) FROM T WHERE ID = " + id), "0");
    ++next;
    if (!verdict.empty()) break;  // the following rounds would start from the half-written state
    EXPECT_EQ(cursor.Verify(), "");
    EXPECT_EQ(IndexCounts(cursor), counts);
  }
}

}  // namespace
}  // namespace quarry
