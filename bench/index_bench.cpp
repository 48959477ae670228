// Index benchmarks: Quarry's index file beside SQLite on the same keys.
//
// For 1,000,000 integer keys and 1,000,000 string keys (film-like titles, with duplicates)
// each engine builds an index (keys inserted in random order, one transaction / one flush),
// then answers random point lookups and ordered range scans of 100 keys. Quarry works on an
// index file alone (primary integer index; non-unique title index, plain and with "both"
// key compression); SQLite on an indexed
// table (a column with CREATE INDEX), whose lookups and scans read only the index (the rowid
// it holds is the record number). Neither asks the OS to flush to disk (SQLite:
// synchronous and journal off); both get about 2 MB of page cache.
//
// Run from a release build: cmake -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
// cmake --build build --target index_bench && build/bench/index_bench
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/data/field_definition.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/index/index_file.h"
#include "engine/storage/index/index_key.h"

namespace {

using namespace quarry;

constexpr int KeyCount = 1'000'000;
constexpr int Lookups = 100'000;
constexpr int Scans = 2'000;
constexpr int ScanLength = 100;
constexpr int TitleSize = 60;

std::filesystem::path WorkDir() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("pellomar-index-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

// The same keys for both engines, in insertion (random) order.
const std::vector<std::int32_t>& IntegerKeys() {
  static const std::vector<std::int32_t> keys = [] {
    std::vector<std::int32_t> k(KeyCount);
    std::iota(k.begin(), k.end(), 1);
    for (auto& v : k) v = v * 7 - 3'000'000;  // negatives too, distinct
    std::shuffle(k.begin(), k.end(), std::mt19937(1));
    return k;
  }();
  return keys;
}

const std::vector<std::string>& Titles() {
  static const std::vector<std::string> titles = [] {
    const char* words[] = {"The",  "Return", "of",    "Night", "Star", "Love",  "Man", "City",   "Last",   "Dark",
                           "Blue", "House",  "River", "King",  "Lost", "Dream", "War", "Secret", "Summer", "Wild"};
    std::mt19937 rng(2);
    std::vector<std::string> t(KeyCount);
    for (auto& s : t) {
      const int n = 2 + static_cast<int>(rng() % 4);
      for (int i = 0; i < n; ++i) s += std::string(i ? " " : "") + words[rng() % 20];
      s += " " + std::to_string(rng() % 5000);  // some titles repeat
    }
    return t;
  }();
  return titles;
}

// ---------------------------------------------------------------- Quarry

struct TQuarryIndex {
  std::vector<TFieldDefinition> fields;
  std::unique_ptr<TIndexFile> file;
  int recordSize = 0;
  int slot = 0;

  explicit TQuarryIndex(bool strings, bool compressed = false) {
    TFieldDefinition f;
    f.FieldNo = 1;
    f.Name = strings ? "TITLE" : "ID";
    f.DataType = strings ? TFieldType::String : TFieldType::Integer;
    f.Size = strings ? TitleSize : 0;
    fields.push_back(f);
    recordSize = AssignFieldOffsets(fields.data(), 1);
    const std::string name =
        (WorkDir() / (strings ? (compressed ? "CTITLES.IDX" : "TITLES.IDX") : "INTS.IDX")).string();
    file = std::make_unique<TIndexFile>(name);
    file->CreateFile();
    file->SetSettings({.RecordBufferBytes = 512 * 8192});  // 512 pages of 4 KB: 2 MB
    TIndexDefinition d;
    d.FieldCount = 1;
    d.FieldNumbers[0] = 1;
    if (strings) {
      d.Name = "ByTitle";
      d.Compression = compressed ? TKeyCompression::Both : TKeyCompression::None;
      slot = file->AddSecondaryIndex(d, fields);
    } else {
      file->DefinePrimaryIndex(d, fields);
      slot = 0;
    }
    file->BindTable(fields, nullptr);
  }
  ~TQuarryIndex() {
    file->Close();
    file->Delete();
  }
  std::vector<std::uint8_t> Key(std::int32_t v, const std::string* title, std::int32_t id) const {
    std::vector<std::uint8_t> record(static_cast<std::size_t>(recordSize), 0);
    SetRecordIdentifier(record.data(), id);
    if (title != nullptr) {
      SetFieldString(record.data(), fields[0], *title);
    } else {
      SetFieldInteger(record.data(), fields[0], v);
    }
    return file->KeyBuilder(slot).Build(record.data());
  }
};

void QuarryBuild(benchmark::State& state, bool strings, bool compressed = false) {
  for (auto _ : state) {
    TQuarryIndex idx(strings, compressed);
    TIndexPath path;
    for (int i = 0; i < KeyCount; ++i) {
      const auto key = strings ? idx.Key(0, &Titles()[i], i + 1) : idx.Key(IntegerKeys()[i], nullptr, i + 1);
      idx.file->InsertKey(idx.slot, path, key.data(), i + 1);
    }
    idx.file->FlushPages();
    state.counters["pages"] = static_cast<double>(idx.file->Header().NextPage - 1);
  }
  state.counters["keys/s"] =
      benchmark::Counter(static_cast<double>(KeyCount) * state.iterations(), benchmark::Counter::kIsRate);
}

// Built indexes kept for the lookup and scan benchmarks (released before exit by main).
std::unique_ptr<TQuarryIndex> builtQuarry[3];

TQuarryIndex& BuiltQuarry(bool strings, bool compressed = false) {
  auto& slot = builtQuarry[strings ? (compressed ? 2 : 1) : 0];
  if (!slot) {
    slot = std::make_unique<TQuarryIndex>(strings, compressed);
    TIndexPath path;
    for (int i = 0; i < KeyCount; ++i) {
      const auto key = strings ? slot->Key(0, &Titles()[i], i + 1) : slot->Key(IntegerKeys()[i], nullptr, i + 1);
      slot->file->InsertKey(slot->slot, path, key.data(), i + 1);
    }
    slot->file->FlushPages();
    slot->file->TrimCache();
  }
  return *slot;
}

void QuarryLookups(benchmark::State& state, bool strings, bool compressed = false) {
  TQuarryIndex& idx = BuiltQuarry(strings, compressed);
  std::mt19937 rng(3);
  std::int64_t found = 0;
  for (auto _ : state) {
    TBTree tree = idx.file->Tree(idx.slot);
    TIndexPath path;
    for (int i = 0; i < Lookups; ++i) {
      const int at = static_cast<int>(rng() % KeyCount);
      // A title index is not unique: search for the first key with that title (identifier 0).
      const auto key = strings ? idx.Key(0, &Titles()[at], 0) : idx.Key(IntegerKeys()[at], nullptr, 0);
      tree.Find(key.data(), path);
      found += tree.EntryAt(path, nullptr) != 0;
    }
  }
  benchmark::DoNotOptimize(found);
  state.counters["lookups/s"] =
      benchmark::Counter(static_cast<double>(Lookups) * state.iterations(), benchmark::Counter::kIsRate);
}

void QuarryScans(benchmark::State& state, bool strings, bool compressed = false) {
  TQuarryIndex& idx = BuiltQuarry(strings, compressed);
  std::mt19937 rng(4);
  std::int64_t sum = 0;
  for (auto _ : state) {
    TBTree tree = idx.file->Tree(idx.slot);
    TIndexPath path;
    for (int i = 0; i < Scans; ++i) {
      const int at = static_cast<int>(rng() % KeyCount);
      const auto key = strings ? idx.Key(0, &Titles()[at], 0) : idx.Key(IntegerKeys()[at], nullptr, 0);
      tree.Find(key.data(), path);
      for (int n = 0; n < ScanLength && tree.OnEntry(path); ++n) {
        sum += tree.EntryAt(path, nullptr);
        if (!tree.Next(path)) break;
      }
    }
  }
  benchmark::DoNotOptimize(sum);
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(Scans) * ScanLength * state.iterations(), benchmark::Counter::kIsRate);
}

// ---------------------------------------------------------------- SQLite

struct TSqlite {
  sqlite3* db = nullptr;
  std::string path;
  explicit TSqlite(const std::string& name) : path((WorkDir() / name).string()) {
    std::remove(path.c_str());
    sqlite3_open(path.c_str(), &db);
    Exec("PRAGMA page_size=4096; PRAGMA cache_size=-2000; PRAGMA synchronous=OFF; PRAGMA journal_mode=OFF;");
  }
  ~TSqlite() {
    sqlite3_close(db);
    std::remove(path.c_str());
  }
  void Exec(const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    return s;
  }
};

void SqliteFill(TSqlite& db, bool strings) {
  db.Exec(strings ? "CREATE TABLE t(k TEXT, r INTEGER); CREATE INDEX ik ON t(k);"
                  : "CREATE TABLE t(k INTEGER, r INTEGER); CREATE UNIQUE INDEX ik ON t(k);");
  db.Exec("BEGIN");
  sqlite3_stmt* insert = db.Prepare("INSERT INTO t VALUES(?, ?)");
  for (int i = 0; i < KeyCount; ++i) {
    if (strings) {
      sqlite3_bind_text(insert, 1, Titles()[i].c_str(), static_cast<int>(Titles()[i].size()), SQLITE_STATIC);
    } else {
      sqlite3_bind_int(insert, 1, IntegerKeys()[i]);
    }
    sqlite3_bind_int(insert, 2, i + 1);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  db.Exec("COMMIT");
}

void SqliteBuild(benchmark::State& state, bool strings) {
  for (auto _ : state) {
    TSqlite db(strings ? "titles.db" : "ints.db");
    SqliteFill(db, strings);
  }
  state.counters["keys/s"] =
      benchmark::Counter(static_cast<double>(KeyCount) * state.iterations(), benchmark::Counter::kIsRate);
}

std::unique_ptr<TSqlite> builtSqlite[2];

TSqlite& BuiltSqlite(bool strings) {
  auto& slot = builtSqlite[strings ? 1 : 0];
  if (!slot) {
    slot = std::make_unique<TSqlite>(strings ? "titles-kept.db" : "ints-kept.db");
    SqliteFill(*slot, strings);
  }
  return *slot;
}

void BindKey(sqlite3_stmt* s, int at, bool strings) {
  if (strings) {
    sqlite3_bind_text(s, 1, Titles()[at].c_str(), static_cast<int>(Titles()[at].size()), SQLITE_STATIC);
  } else {
    sqlite3_bind_int(s, 1, IntegerKeys()[at]);
  }
}

void SqliteLookups(benchmark::State& state, bool strings) {
  TSqlite& db = BuiltSqlite(strings);
  sqlite3_stmt* q = db.Prepare("SELECT rowid FROM t WHERE k = ? ORDER BY k LIMIT 1");
  std::mt19937 rng(3);
  std::int64_t found = 0;
  for (auto _ : state) {
    for (int i = 0; i < Lookups; ++i) {
      BindKey(q, static_cast<int>(rng() % KeyCount), strings);
      if (sqlite3_step(q) == SQLITE_ROW) found += sqlite3_column_int(q, 0) != 0;
      sqlite3_reset(q);
    }
  }
  sqlite3_finalize(q);
  benchmark::DoNotOptimize(found);
  state.counters["lookups/s"] =
      benchmark::Counter(static_cast<double>(Lookups) * state.iterations(), benchmark::Counter::kIsRate);
}

void SqliteScans(benchmark::State& state, bool strings) {
  TSqlite& db = BuiltSqlite(strings);
  sqlite3_stmt* q = db.Prepare("SELECT rowid FROM t WHERE k >= ? ORDER BY k LIMIT 100");
  std::mt19937 rng(4);
  std::int64_t sum = 0;
  for (auto _ : state) {
    for (int i = 0; i < Scans; ++i) {
      BindKey(q, static_cast<int>(rng() % KeyCount), strings);
      while (sqlite3_step(q) == SQLITE_ROW) sum += sqlite3_column_int(q, 0);
      sqlite3_reset(q);
    }
  }
  sqlite3_finalize(q);
  benchmark::DoNotOptimize(sum);
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(Scans) * ScanLength * state.iterations(), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(QuarryBuild, integers, false)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(SqliteBuild, integers, false)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(QuarryBuild, titles, true)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(SqliteBuild, titles, true)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(QuarryBuild, titles_compressed, true, true)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(QuarryLookups, integers, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SqliteLookups, integers, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(QuarryLookups, titles, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SqliteLookups, titles, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(QuarryLookups, titles_compressed, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(QuarryScans, integers, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SqliteScans, integers, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(QuarryScans, titles, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SqliteScans, titles, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(QuarryScans, titles_compressed, true, true)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (auto& q : builtQuarry) q.reset();
  for (auto& s : builtSqlite) s.reset();
  std::error_code ec;
  std::filesystem::remove_all(WorkDir(), ec);
  return 0;
}
