// The data-changing statements timed in Quarry and in SQLite on the same rows, on disk, in one
// run: 100,000 INSERTs in one transaction, 100,000 INSERTs each its own statement (and so its
// own transaction), an UPDATE of a tenth of the rows found through an index, a DELETE of a
// range of keys, and building an index over 100,000 rows.
//
// The table: T(ID integer primary key, K integer indexed, NAME string of up to 30, QTY
// integer). Both engines run prepared statements with bound parameters. Neither asks the
// operating system to write its buffers through (Quarry's ForceBufferFlush off, SQLite's
// synchronous=OFF); a last pair of lines times 1,000 single INSERTs with both asking for it
// (ForceBufferFlush on, synchronous=FULL), the engines' durable settings.
//
// Usage: change_bench [folder] [rows]   (default: a fresh folder under the temporary
// directory, 100,000 rows). Prints each step's seconds in both engines and Quarry / SQLite.
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/sql/query_statement.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"

namespace {

using namespace quarry;
using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& step) {
  const auto started = Clock::now();
  step();
  return std::chrono::duration<double>(Clock::now() - started).count();
}

struct TRow {
  int32_t Id;
  int32_t K;
  std::string Name;
};

std::vector<TRow> MakeRows(int count) {
  std::mt19937 random(12345);
  std::vector<TRow> rows;
  rows.reserve(static_cast<std::size_t>(count));
  for (int i = 1; i <= count; ++i)
    rows.push_back({i, static_cast<int32_t>(random() % static_cast<unsigned>(count)),
                    "name " + std::to_string(random() % 1000000)});
  return rows;
}

// ---- Quarry ----

class TQuarrySide {
 public:
  explicit TQuarrySide(const std::string& folder) : database_(session_.OpenDirectory("", folder)) {}

  TDataSession& Session() { return session_; }

  void CreateTable(const std::string& name) {
    TCreateTableDefinition definition;
    auto field = [](int number, const char* fieldName, TFieldType type, int size) {
      TFieldDefinition f;
      f.FieldNo = static_cast<std::uint16_t>(number);
      f.Name = fieldName;
      f.DataType = type;
      f.Size = static_cast<std::uint8_t>(size);
      return f;
    };
    definition.Fields = {field(1, "ID", TFieldType::Integer, 0), field(2, "K", TFieldType::Integer, 0),
                         field(3, "NAME", TFieldType::String, 30), field(4, "QTY", TFieldType::Integer, 0)};
    definition.Primary.Unique = true;
    definition.Primary.FieldNumbers[definition.Primary.FieldCount++] = 1;
    TIndexDefinition byK;
    byK.Name = "BYK";
    byK.FieldNumbers[byK.FieldCount++] = 2;
    definition.Secondaries = {byK};
    TDataCursor creator(database_);
    creator.SetTableName(name);
    creator.CreateTable(definition);
  }

  int32_t Run(const std::string& sql) {
    TQueryStatement statement(&database_);
    statement.Prepare(sql);
    statement.Execute();
    return statement.RowsAffected();
  }

  // INSERT INTO table VALUES (?, ?, ?, 0) for every row, prepared once.
  void Insert(const std::string& table, const std::vector<TRow>& rows, std::size_t count) {
    TQueryStatement statement(&database_);
    statement.Prepare("INSERT INTO " + table + " VALUES (?, ?, ?, 0)");
    std::vector<std::uint8_t> data(64, 0);
    TParameterDescriptor d[3];
    d[0] = {vt::Integer, 0, 4, 0, 0};
    d[1] = {vt::Integer, 0, 4, 0, 5};
    d[2] = {vt::String, 0, 31, 0, 10};
    for (std::size_t i = 0; i < count; ++i) {
      const TRow& row = rows[i];
      std::fill(data.begin(), data.end(), 0);
      data[0] = data[5] = data[10] = 1;
      std::memcpy(&data[1], &row.Id, 4);
      std::memcpy(&data[6], &row.K, 4);
      std::memcpy(&data[11], row.Name.data(), std::min<std::size_t>(row.Name.size(), 30));
      statement.Execute(3, d, data.data(), data.size());
    }
  }

  std::string Verify(const std::string& table) {
    TDataCursor cursor(database_);
    cursor.SetTableName(table);
    cursor.Open();
    return cursor.Verify();
  }

 private:
  TDataSession session_;
  TDataDirectory& database_;
};

// ---- SQLite ----

class TSqliteSide {
 public:
  explicit TSqliteSide(const std::string& file) {
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("cannot open SQLite");
    Exec("PRAGMA synchronous = OFF");
  }
  ~TSqliteSide() { sqlite3_close(db_); }
  TSqliteSide(const TSqliteSide&) = delete;
  TSqliteSide& operator=(const TSqliteSide&) = delete;

  void Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string text = message != nullptr ? message : "error";
      sqlite3_free(message);
      throw std::runtime_error("SQLite: " + text + " in " + sql);
    }
  }
  int Run(const std::string& sql) {
    Exec(sql);
    return sqlite3_changes(db_);
  }
  void CreateTable(const std::string& name) {
    Exec("CREATE TABLE " + name + " (ID INTEGER PRIMARY KEY, K INTEGER, NAME TEXT, QTY INTEGER)");
    Exec("CREATE INDEX " + name + "_BYK ON " + name + " (K)");
  }
  void Insert(const std::string& table, const std::vector<TRow>& rows, std::size_t count) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, ("INSERT INTO " + table + " VALUES (?, ?, ?, 0)").c_str(), -1, &statement, nullptr) !=
        SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db_));
    for (std::size_t i = 0; i < count; ++i) {
      const TRow& row = rows[i];
      sqlite3_reset(statement);
      sqlite3_bind_int(statement, 1, row.Id);
      sqlite3_bind_int(statement, 2, row.K);
      sqlite3_bind_text(statement, 3, row.Name.c_str(), static_cast<int>(row.Name.size()), SQLITE_STATIC);
      if (sqlite3_step(statement) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
    }
    sqlite3_finalize(statement);
  }

 private:
  sqlite3* db_ = nullptr;
};

void Report(const char* step, double quarry, double sqlite, const std::string& note = {}) {
  std::printf("%-44s %10.3f %10.3f %8.2f  %s\n", step, quarry, sqlite, sqlite > 0 ? quarry / sqlite : 0.0,
              note.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path folder;
  if (argc > 1) {
    folder = argv[1];
  } else {
    std::string pattern = (std::filesystem::temp_directory_path() / "change-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 1;
    folder = pattern;
  }
  const int count = argc > 2 ? std::atoi(argv[2]) : 100000;
  std::filesystem::create_directories(folder / "quarry");
  const std::vector<TRow> rows = MakeRows(count);
  try {
    TQuarrySide quarry((folder / "quarry").string());
    TSqliteSide sqlite((folder / "sqlite.db").string());
    quarry.CreateTable("T");
    quarry.CreateTable("S");
    sqlite.CreateTable("T");
    sqlite.CreateTable("S");
    const std::string n = std::to_string(count);
    std::printf("folder %s, %d rows\n%-44s %10s %10s %8s\n", folder.c_str(), count, "step", "Quarry s", "SQLite s",
                "ratio");

    Report(("INSERT x " + n + " in one transaction").c_str(), Seconds([&] {
             quarry.Run("START TRANSACTION");
             quarry.Insert("T", rows, rows.size());
             quarry.Run("COMMIT");
           }),
           Seconds([&] {
             sqlite.Exec("BEGIN");
             sqlite.Insert("T", rows, rows.size());
             sqlite.Exec("COMMIT");
           }));
    Report(("INSERT x " + n + ", one transaction each").c_str(),
           Seconds([&] { quarry.Insert("S", rows, rows.size()); }),
           Seconds([&] { sqlite.Insert("S", rows, rows.size()); }));

    const std::string tenth = std::to_string(count / 10);
    int32_t quarryRows = 0, sqliteRows = 0;
    double quarrySeconds = Seconds([&] { quarryRows = quarry.Run("UPDATE T SET QTY = QTY + 1 WHERE K < " + tenth); });
    double sqliteSeconds = Seconds([&] { sqliteRows = sqlite.Run("UPDATE T SET QTY = QTY + 1 WHERE K < " + tenth); });
    Report("UPDATE a tenth by an indexed condition", quarrySeconds, sqliteSeconds,
           std::to_string(quarryRows) + " / " + std::to_string(sqliteRows) + " rows");

    Report("CREATE INDEX on NAME", Seconds([&] { quarry.Run("CREATE INDEX BYNAME ON T (NAME)"); }),
           Seconds([&] { sqlite.Exec("CREATE INDEX T_BYNAME ON T (NAME)"); }));

    const std::string from = std::to_string(count / 5 + 1), to = std::to_string(count / 5 + count / 10);
    quarrySeconds = Seconds([&] { quarryRows = quarry.Run("DELETE FROM T WHERE ID BETWEEN " + from + " AND " + to); });
    sqliteSeconds = Seconds([&] { sqliteRows = sqlite.Run("DELETE FROM T WHERE ID BETWEEN " + from + " AND " + to); });
    Report("DELETE a range of a tenth of the keys", quarrySeconds, sqliteSeconds,
           std::to_string(quarryRows) + " / " + std::to_string(sqliteRows) + " rows");

    // The durable settings: every statement's writes reach the disk before it returns.
    quarry.Session().Settings().ForceBufferFlush = true;
    sqlite.Exec("PRAGMA synchronous = FULL");
    quarry.CreateTable("D");
    sqlite.CreateTable("D");
    Report("INSERT x 1000, each flushed to disk", Seconds([&] { quarry.Insert("D", rows, 1000); }),
           Seconds([&] { sqlite.Insert("D", rows, 1000); }));

    const std::string verdict = quarry.Verify("T") + quarry.Verify("S");
    if (!verdict.empty()) std::printf("Quarry's tables disagree with their indexes: %s\n", verdict.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return 2;
  }
  if (argc <= 1) std::filesystem::remove_all(folder);
  return 0;
}
