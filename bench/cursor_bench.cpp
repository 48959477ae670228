// Cursor navigation over a 36,000-row film table on disk, beside SQLite on the same rows:
// walking every row in primary-key order, in a secondary (title) order whose record numbers
// are scattered, and in record-number order; FindKey on random primary keys; a range walk
// over one genre (a twelfth of the table); and reading fields of every row. Each cursor
// benchmark runs with the session's default caches (16 KB of records, two index pages per
// index) and with 4 MB, which holds the whole table, as SQLite's default page cache does.
//
// Run from a release build: cmake -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
// cmake --build build --target cursor_bench && build/bench/cursor_bench
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/cursor/cursor_test_util.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"

namespace {

using namespace quarry;
using quarry::testing::FilmBuffer;
using quarry::testing::FilmTable;
using quarry::testing::TFilm;
namespace fs = std::filesystem;

constexpr int kRows = 36000;

std::string BenchDirectory() {
  static const fs::path dir = [] {
    fs::path p = fs::temp_directory_path() / "pellomar_cursor_bench";
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
  }();
  return dir.string();
}

const std::vector<TFilm>& Films() {
  static const std::vector<TFilm> films = [] {
    std::vector<TFilm> all;
    std::mt19937 random(7);
    for (int i = 0; i < kRows; ++i) {
      TFilm f;
      f.Genre = static_cast<std::int32_t>(random() % 12);
      f.Title = "Title " + std::to_string(random() % 1000000) + " " + std::to_string(i);
      f.Year = static_cast<std::int16_t>(1920 + random() % 100);
      f.Rating = "PG";
      all.push_back(f);
    }
    return all;
  }();
  return films;
}

// The film table filled once, then opened by one cursor per benchmark.
struct TBenchCursor {
  explicit TBenchCursor(std::int64_t cacheBytes)
      : directory(session.OpenDirectory("Bench", BenchDirectory())), cursor(directory) {
    session.Settings().RecordBufferBytes = static_cast<int>(cacheBytes);
    session.Settings().RecordBufferCount = 1 << 20;
    cursor.SetTableName("FILMS");
    if (!cursor.TableExists()) {
      cursor.CreateTable(FilmTable());
      cursor.Open();
      directory.StartTransaction();
      for (const TFilm& f : Films()) {
        std::vector<std::uint8_t> b = FilmBuffer(cursor, f);
        cursor.InsertRecord(b.data(), false);
      }
      directory.Commit();
    } else {
      cursor.Open();
    }
    buffer.resize(static_cast<std::size_t>(cursor.RecordBufferSize()));
  }
  TDataSession session;
  TDataDirectory& directory;
  TDataCursor cursor;
  std::vector<std::uint8_t> buffer;
};

void Walk(benchmark::State& state, int slot) {
  TBenchCursor t(state.range(0));
  t.cursor.SetIndexSlot(slot);
  std::int64_t rows = 0;
  for (auto _ : state) {
    t.cursor.Home();
    int n = 0;
    while (t.cursor.Next(t.buffer.data()) == 0) ++n;
    if (n != kRows) state.SkipWithError("wrong row count");
    rows += n;
  }
  state.SetItemsProcessed(rows);
}

void BM_CursorWalkPrimary(benchmark::State& state) { Walk(state, PrimarySlot); }
void BM_CursorWalkTitleIndex(benchmark::State& state) { Walk(state, 2); }
void BM_CursorWalkNatural(benchmark::State& state) { Walk(state, NaturalOrderSlot); }

void BM_CursorFindKey(benchmark::State& state) {
  TBenchCursor t(state.range(0));
  std::mt19937 random(3);
  std::vector<std::vector<std::uint8_t>> keys;
  for (int i = 0; i < 1000; ++i) {
    TFilm f;
    f.Id = static_cast<std::int32_t>(1 + random() % kRows);
    keys.push_back(FilmBuffer(t.cursor, f));
  }
  std::int64_t found = 0;
  for (auto _ : state) {
    for (const auto& key : keys) found += t.cursor.FindKey(key.data(), 0, 0, false, t.buffer.data()) ? 1 : 0;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 1000);
  benchmark::DoNotOptimize(found);
}

void BM_CursorRangeWalk(benchmark::State& state) {
  TBenchCursor t(state.range(0));
  t.cursor.SetIndex("BYGENRE");
  TFilm low;
  low.Genre = 5;
  const std::vector<std::uint8_t> key = FilmBuffer(t.cursor, low);
  std::int64_t rows = 0;
  for (auto _ : state) {
    t.cursor.SetRange(key.data(), 1, key.data(), 1);
    t.cursor.Home();
    while (t.cursor.Next(t.buffer.data()) == 0) ++rows;
    t.cursor.CancelRange();
  }
  state.SetItemsProcessed(rows);
}

void BM_CursorGetField(benchmark::State& state) {
  TBenchCursor t(state.range(0));
  std::int64_t sum = 0;
  std::uint8_t value[64];
  bool isNull = false;
  for (auto _ : state) {
    t.cursor.Home();
    while (t.cursor.Next(t.buffer.data()) == 0) {
      t.cursor.GetField(2, t.buffer.data(), isNull, value);
      t.cursor.GetField(3, t.buffer.data(), isNull, value);
      t.cursor.GetField(4, t.buffer.data(), isNull, value);
      sum += value[0];
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kRows);
}

// ---- SQLite on the same rows ----

struct TSqlite {
  TSqlite() {
    const std::string path = BenchDirectory() + "/films.sqlite";
    const bool fresh = !fs::exists(path);
    sqlite3_open(path.c_str(), &db);
    if (!fresh) return;
    Exec("PRAGMA synchronous=OFF");
    Exec("CREATE TABLE films(id INTEGER PRIMARY KEY, genre INTEGER, title TEXT, year INTEGER, rating TEXT)");
    Exec("CREATE INDEX bygenre ON films(genre, year)");
    Exec("CREATE INDEX bytitle ON films(title COLLATE NOCASE)");
    Exec("BEGIN");
    sqlite3_stmt* insert = Prepare("INSERT INTO films VALUES(?, ?, ?, ?, ?)");
    int id = 0;
    for (const TFilm& f : Films()) {
      sqlite3_bind_int(insert, 1, ++id);
      sqlite3_bind_int(insert, 2, f.Genre);
      sqlite3_bind_text(insert, 3, f.Title.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_int(insert, 4, f.Year);
      sqlite3_bind_text(insert, 5, f.Rating.c_str(), -1, SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("COMMIT");
  }
  ~TSqlite() { sqlite3_close(db); }
  void Exec(const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    return s;
  }
  sqlite3* db = nullptr;
};

void SqliteWalk(benchmark::State& state, const char* sql) {
  TSqlite s;
  sqlite3_stmt* q = s.Prepare(sql);
  std::int64_t rows = 0;
  for (auto _ : state) {
    while (sqlite3_step(q) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int(q, 1));
      benchmark::DoNotOptimize(sqlite3_column_text(q, 2));
      ++rows;
    }
    sqlite3_reset(q);
  }
  sqlite3_finalize(q);
  state.SetItemsProcessed(rows);
}

void BM_SqliteWalkPrimary(benchmark::State& state) { SqliteWalk(state, "SELECT * FROM films ORDER BY id"); }
void BM_SqliteWalkTitleIndex(benchmark::State& state) {
  SqliteWalk(state, "SELECT * FROM films ORDER BY title COLLATE NOCASE");
}
void BM_SqliteRangeWalk(benchmark::State& state) {
  SqliteWalk(state, "SELECT * FROM films WHERE genre = 5 ORDER BY genre, year");
}

void BM_SqliteFindKey(benchmark::State& state) {
  TSqlite s;
  sqlite3_stmt* q = s.Prepare("SELECT * FROM films WHERE id = ?");
  std::mt19937 random(3);
  std::vector<int> ids;
  for (int i = 0; i < 1000; ++i) ids.push_back(static_cast<int>(1 + random() % kRows));
  std::int64_t found = 0;
  for (auto _ : state) {
    for (const int id : ids) {
      sqlite3_bind_int(q, 1, id);
      if (sqlite3_step(q) == SQLITE_ROW) ++found;
      sqlite3_reset(q);
    }
  }
  sqlite3_finalize(q);
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 1000);
}

BENCHMARK(BM_CursorWalkPrimary)->Arg(16384)->Arg(4 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteWalkPrimary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorWalkTitleIndex)->Arg(16384)->Arg(4 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteWalkTitleIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorWalkNatural)->Arg(16384)->Arg(4 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorFindKey)->Arg(16384)->Arg(4 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SqliteFindKey)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CursorRangeWalk)->Arg(16384)->Arg(4 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SqliteRangeWalk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CursorGetField)->Arg(16384)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
