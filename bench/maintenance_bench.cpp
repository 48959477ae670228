// Cost of table maintenance on disk, per table of N rows of the counter layout (ID primary
// key, COUNTER, NAME indexed): a restructure that retypes a field (every record copied into a
// new table, indexes built as it goes, files swapped), one that only changes an index (index
// file rebuilt in place), and adding a secondary index. Beside them SQLite doing the same
// work: a table rebuilt by CREATE + INSERT ... SELECT + DROP + RENAME, and CREATE INDEX.
//
// Run from a release build: cmake -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
// cmake --build build --target maintenance_bench && build/bench/maintenance_bench
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "engine/storage/maintenance/table_maintenance.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"
#include "engine/storage/table/table_records.h"
#include "engine/storage/table/table_test_util.h"

namespace {

using namespace quarry;
using quarry::testing::CounterRow;
using quarry::testing::CounterTable;
namespace fs = std::filesystem;

std::string BenchDirectory() {
  static const fs::path dir = [] {
    fs::path p = fs::temp_directory_path() / "pellomar_maintenance_bench";
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
  }();
  return dir.string();
}

// A fresh counter table of `rows` rows in one session, inserted in one transaction.
struct TBenchTable {
  TBenchTable(const std::string& name, int rows)
      : name(name), directory(session.OpenDirectory("Bench", BenchDirectory())) {
    session.SetPrivateDir(BenchDirectory());
    if (directory.TableExists(name, false)) directory.DeleteTable(name, false);
    directory.CreateTable(name, false, CounterTable());
    TDataTable& table = directory.OpenTable(name, false, true, false);
    directory.StartTransaction();
    for (int i = 1; i <= rows; ++i) {
      TTableRecords(table).Insert(CounterRow(table, i, i % 1000, "title " + std::to_string(i % 5000)));
    }
    directory.Commit();
    directory.CloseTable(table);
  }
  TRestructureRequest Request() {
    TDataTable& table = directory.OpenTable(name, false, true, false);
    TRestructureRequest r;
    r.Table.Fields = table.Data().Fields();
    r.Table.Primary = table.Index().Definition(PrimarySlot);
    r.Table.Secondaries.push_back(table.Index().Definition(1));
    r.NoBackups = true;
    directory.CloseTable(table);
    return r;
  }
  std::string name;
  TDataSession session;
  TDataDirectory& directory;
};

void BM_RestructureRetypingAField(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  bool large = false;
  TBenchTable t("RETYPE", rows);
  for (auto _ : state) {
    TRestructureRequest r = t.Request();
    large = !large;
    r.Table.Fields[1].DataType = large ? TFieldType::LargeInt : TFieldType::Integer;
    TTableMaintenance(t.directory, t.name, false).RestructureTable(r, false, true, false);
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_RestructureRetypingAField)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_RestructureChangingAnIndex(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  bool insensitive = false;
  TBenchTable t("REINDEX", rows);
  for (auto _ : state) {
    TRestructureRequest r = t.Request();
    insensitive = !insensitive;
    r.Table.Secondaries[0].CaseInsensitive = insensitive;
    TTableMaintenance(t.directory, t.name, false).RestructureTable(r, false, true, false);
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_RestructureChangingAnIndex)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_AddIndex(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  TBenchTable t("ADDINDEX", rows);
  TDataTable& table = t.directory.OpenTable(t.name, false, true, false);
  TIndexDefinition byCounter;
  byCounter.Name = "BYCOUNTER";
  byCounter.FieldCount = 1;
  byCounter.FieldNumbers[0] = 2;
  for (auto _ : state) {
    TTableMaintenance maintenance(t.directory, t.name, false);
    maintenance.AddIndex(table, byCounter);
    state.PauseTiming();
    maintenance.DeleteIndex(table, "BYCOUNTER");
    state.ResumeTiming();
  }
  t.directory.CloseTable(table);
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_AddIndex)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// ---- SQLite doing the same

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error != nullptr ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error(message);
  }
}

struct TSqliteTable {
  explicit TSqliteTable(int rows) {
    const std::string path = BenchDirectory() + "/maintenance.sqlite";
    fs::remove(path);
    sqlite3_open(path.c_str(), &db);
    Exec(db, "PRAGMA synchronous=OFF");
    Exec(db, "CREATE TABLE films (id INTEGER PRIMARY KEY, counter INTEGER, name VARCHAR(20))");
    Exec(db, "CREATE INDEX byname ON films(name)");
    Exec(db, "BEGIN");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO films VALUES (?, ?, ?)", -1, &insert, nullptr);
    for (int i = 1; i <= rows; ++i) {
      const std::string name = "title " + std::to_string(i % 5000);
      sqlite3_bind_int(insert, 1, i);
      sqlite3_bind_int(insert, 2, i % 1000);
      sqlite3_bind_text(insert, 3, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec(db, "COMMIT");
  }
  ~TSqliteTable() { sqlite3_close(db); }
  sqlite3* db = nullptr;
};

void BM_SqliteTableRebuild(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  TSqliteTable t(rows);
  for (auto _ : state) {
    Exec(t.db, "BEGIN");
    Exec(t.db, "CREATE TABLE films2 (id INTEGER PRIMARY KEY, counter BIGINT, name VARCHAR(20))");
    Exec(t.db, "INSERT INTO films2 SELECT id, counter, name FROM films");
    Exec(t.db, "DROP TABLE films");
    Exec(t.db, "ALTER TABLE films2 RENAME TO films");
    Exec(t.db, "CREATE INDEX byname ON films(name)");
    Exec(t.db, "COMMIT");
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_SqliteTableRebuild)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SqliteCreateIndex(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  TSqliteTable t(rows);
  for (auto _ : state) {
    Exec(t.db, "CREATE INDEX bycounter ON films(counter)");
    state.PauseTiming();
    Exec(t.db, "DROP INDEX bycounter");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_SqliteCreateIndex)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
