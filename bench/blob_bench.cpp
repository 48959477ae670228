// BLOB storage on disk beside SQLite on the same values: inserting 2,000 records whose memo
// holds 1 KB or 20 KB, reading every memo back whole in record order, and rewriting each
// memo with one of a different size (the chain reuse and free-chain path). Quarry runs with
// the session's default BLOB cache (32 KB) and SQLite with its default page cache.
//
// Run from a release build: cmake -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
// cmake --build build --target blob_bench && build/bench/blob_bench
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"

namespace {

using namespace quarry;
namespace fs = std::filesystem;

constexpr int kRows = 2000;

fs::path BenchDirectory() {
  static const fs::path dir = [] {
    fs::path p = fs::temp_directory_path() / "pellomar_blob_bench";
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
  }();
  return dir;
}

std::vector<std::uint8_t> Value(std::size_t size, int seed) {
  std::vector<std::uint8_t> v(size);
  for (std::size_t i = 0; i < size; ++i)
    v[i] = static_cast<std::uint8_t>('a' + (i + static_cast<std::size_t>(seed)) % 26);
  return v;
}

// A fresh NOTES(ID autoinc primary, BODY memo) table in its own directory per run.
struct TQuarryNotes {
  explicit TQuarryNotes(const std::string& name) : session(nullptr) {
    const fs::path dir = BenchDirectory() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    directory = &session.OpenDirectory(name, dir.string());
    TCreateTableDefinition d;
    TFieldDefinition id;
    id.FieldNo = 1;
    id.Name = "ID";
    id.DataType = TFieldType::Integer;
    id.SubType = subtype::AutoInc;
    TFieldDefinition body;
    body.FieldNo = 2;
    body.Name = "BODY";
    body.DataType = TFieldType::Blob;
    body.SubType = subtype::Memo;
    d.Fields = {id, body};
    d.Primary.FieldCount = 1;
    d.Primary.FieldNumbers[0] = 1;
    d.Primary.Unique = true;
    cursor = std::make_unique<TDataCursor>(*directory);
    cursor->SetTableName("NOTES");
    cursor->CreateTable(d);
    cursor->Open();
    record.resize(static_cast<std::size_t>(cursor->RecordBufferSize()));
  }
  void Insert(const std::vector<std::uint8_t>& value) {
    cursor->InitRecord(record.data());
    cursor->OpenBlob(2, record.data(), true);
    cursor->WriteBlob(2, record.data(), 0, static_cast<std::int64_t>(value.size()), value.data());
    cursor->InsertRecord(record.data(), false);
    cursor->CloseBlob(2, record.data());
  }
  TDataSession session;
  TDataDirectory* directory = nullptr;
  std::unique_ptr<TDataCursor> cursor;
  std::vector<std::uint8_t> record;
};

void QuarryInsert(benchmark::State& state) {
  const auto value = Value(static_cast<std::size_t>(state.range(0)), 1);
  for (auto _ : state) {
    TQuarryNotes notes("insert");
    for (int i = 0; i < kRows; ++i) notes.Insert(value);
  }
  state.SetBytesProcessed(state.iterations() * kRows * state.range(0));
}

void QuarryReadAll(benchmark::State& state) {
  TQuarryNotes notes("read");
  const auto value = Value(static_cast<std::size_t>(state.range(0)), 2);
  for (int i = 0; i < kRows; ++i) notes.Insert(value);
  std::vector<std::uint8_t> read;
  for (auto _ : state) {
    std::size_t total = 0;
    notes.cursor->Home();
    while (notes.cursor->Next(notes.record.data()) == 0) {
      notes.cursor->ReadBlobValue(2, notes.record.data(), read);
      total += read.size();
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * kRows * state.range(0));
}

void QuarryRewrite(benchmark::State& state) {
  TQuarryNotes notes("rewrite");
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  for (int i = 0; i < kRows; ++i) notes.Insert(Value(size, 3));
  const auto shorter = Value(size / 3, 4);
  const auto longer = Value(size, 5);
  bool shrink = true;
  for (auto _ : state) {
    const auto& value = shrink ? shorter : longer;
    notes.cursor->Home();
    while (notes.cursor->Next(notes.record.data()) == 0) {
      notes.cursor->OpenBlob(2, notes.record.data(), true);
      notes.cursor->TruncateBlob(2, notes.record.data(), 0);
      notes.cursor->WriteBlob(2, notes.record.data(), 0, static_cast<std::int64_t>(value.size()), value.data());
      notes.cursor->UpdateRecord(notes.record.data(), true, false);
      notes.cursor->CloseBlob(2, notes.record.data());
    }
    shrink = !shrink;
  }
}

struct TSqliteNotes {
  explicit TSqliteNotes(const std::string& name) {
    const fs::path file = BenchDirectory() / (name + ".sqlite");
    fs::remove(file);
    sqlite3_open(file.string().c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE NOTES(ID INTEGER PRIMARY KEY, BODY BLOB)", nullptr, nullptr, nullptr);
  }
  ~TSqliteNotes() { sqlite3_close(db); }
  void InsertAll(const std::vector<std::uint8_t>& value) {
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO NOTES(BODY) VALUES (?)", -1, &insert, nullptr);
    for (int i = 0; i < kRows; ++i) {
      // One transaction per row, as Quarry writes each record through at its post.
      sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
      sqlite3_bind_blob(insert, 1, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_finalize(insert);
  }
  sqlite3* db = nullptr;
};

void SqliteInsert(benchmark::State& state) {
  const auto value = Value(static_cast<std::size_t>(state.range(0)), 1);
  for (auto _ : state) {
    TSqliteNotes notes("insert");
    sqlite3_exec(notes.db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    notes.InsertAll(value);
  }
  state.SetBytesProcessed(state.iterations() * kRows * state.range(0));
}

void SqliteReadAll(benchmark::State& state) {
  TSqliteNotes notes("read");
  sqlite3_exec(notes.db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
  notes.InsertAll(Value(static_cast<std::size_t>(state.range(0)), 2));
  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(notes.db, "SELECT BODY FROM NOTES ORDER BY ID", -1, &select, nullptr);
  std::vector<std::uint8_t> read;
  for (auto _ : state) {
    std::size_t total = 0;
    while (sqlite3_step(select) == SQLITE_ROW) {
      const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(select, 0));
      read.assign(data, data + sqlite3_column_bytes(select, 0));
      total += read.size();
    }
    sqlite3_reset(select);
    benchmark::DoNotOptimize(total);
  }
  sqlite3_finalize(select);
  state.SetBytesProcessed(state.iterations() * kRows * state.range(0));
}

BENCHMARK(QuarryInsert)->Arg(1024)->Arg(20480)->Unit(benchmark::kMillisecond);
BENCHMARK(SqliteInsert)->Arg(1024)->Arg(20480)->Unit(benchmark::kMillisecond);
BENCHMARK(QuarryReadAll)->Arg(1024)->Arg(20480)->Unit(benchmark::kMillisecond);
BENCHMARK(SqliteReadAll)->Arg(1024)->Arg(20480)->Unit(benchmark::kMillisecond);
BENCHMARK(QuarryRewrite)->Arg(1024)->Arg(20480)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
