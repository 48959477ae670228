// Cost of the shared-table lock protocol on disk: a read lock B round trip (read slot plus
// the header rereads of change detection), a write lock round trip, a record lock round trip,
// and inserts of 1,000 rows through the record path, each insert its own change (locks and
// forced header writes every time) or all in one transaction, beside SQLite doing the same
// inserts with synchronous=OFF (Quarry does not ask the OS to flush either).
//
// Run from a release build: cmake -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
// cmake --build build --target session_bench && build/bench/session_bench
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

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

constexpr int RowsPerRun = 1000;

std::string BenchDirectory() {
  static const fs::path dir = [] {
    fs::path p = fs::temp_directory_path() / "pellomar_session_bench";
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
  }();
  return dir.string();
}

// A fresh table of the counter layout, open in one session.
struct TBenchTable {
  explicit TBenchTable(const std::string& name) : directory(session.OpenDirectory("Bench", BenchDirectory())) {
    if (directory.TableExists(name, false)) directory.DeleteTable(name, false);
    directory.CreateTable(name, false, CounterTable());
    table = &directory.OpenTable(name, false, false, false);
  }
  ~TBenchTable() { directory.CloseTable(*table); }
  TDataSession session;
  TDataDirectory& directory;
  TDataTable* table = nullptr;
};

void BM_ReadLockRoundTrip(benchmark::State& state) {
  TBenchTable t("READLOCK");
  for (auto _ : state) {
    t.table->ReadLockB();
    t.table->ReleaseReadLockB();
  }
}
BENCHMARK(BM_ReadLockRoundTrip);

void BM_WriteLockRoundTrip(benchmark::State& state) {
  TBenchTable t("WRITELOCK");
  for (auto _ : state) {
    t.table->WriteLock();
    t.table->ReleaseWriteLock();
  }
}
BENCHMARK(BM_WriteLockRoundTrip);

void BM_RecordLockRoundTrip(benchmark::State& state) {
  TBenchTable t("RECLOCK");
  std::int32_t recordNo = 0;
  for (auto _ : state) {
    recordNo = recordNo % 1000 + 1;
    t.table->LockRecord(recordNo);
    t.table->UnlockRecord(recordNo);
  }
}
BENCHMARK(BM_RecordLockRoundTrip);

void BM_QuarryInserts(benchmark::State& state) {
  const bool oneTransaction = state.range(0) != 0;
  std::int32_t id = 0;
  TBenchTable t(oneTransaction ? "INSERTTX" : "INSERTS");
  TTableRecords records(*t.table);
  for (auto _ : state) {
    if (oneTransaction) t.directory.StartTransaction();
    for (int i = 0; i < RowsPerRun; ++i) records.Insert(CounterRow(*t.table, ++id, i, "a film title"));
    if (oneTransaction) t.directory.Commit();
  }
  state.SetItemsProcessed(state.iterations() * RowsPerRun);
}
BENCHMARK(BM_QuarryInserts)->Arg(0)->Arg(1)->ArgNames({"transaction"})->Unit(benchmark::kMillisecond);

void BM_SqliteInserts(benchmark::State& state) {
  const bool oneTransaction = state.range(0) != 0;
  const std::string path = BenchDirectory() + (oneTransaction ? "/sqlite_tx.db" : "/sqlite.db");
  fs::remove(path);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "PRAGMA synchronous=OFF;", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "CREATE TABLE films (id INTEGER PRIMARY KEY, counter INTEGER, name CHAR(20));", nullptr, nullptr,
               nullptr);
  sqlite3_exec(db, "CREATE INDEX byname ON films(name);", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO films VALUES (?, ?, ?);", -1, &insert, nullptr);
  std::int64_t id = 0;
  for (auto _ : state) {
    if (oneTransaction) sqlite3_exec(db, "BEGIN;", nullptr, nullptr, nullptr);
    for (int i = 0; i < RowsPerRun; ++i) {
      sqlite3_bind_int64(insert, 1, ++id);
      sqlite3_bind_int(insert, 2, i);
      sqlite3_bind_text(insert, 3, "a film title", -1, SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    if (oneTransaction) sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
  }
  state.SetItemsProcessed(state.iterations() * RowsPerRun);
  sqlite3_finalize(insert);
  sqlite3_close(db);
}
BENCHMARK(BM_SqliteInserts)->Arg(0)->Arg(1)->ArgNames({"transaction"})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
