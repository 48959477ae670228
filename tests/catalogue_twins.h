// The same catalogue in Quarry and in SQLite, for the differential test and the SQL
// benchmark: the five CSV files of a catalogue folder are loaded into Quarry tables (through
// the CSV loader, encrypted with the catalogue password, as the catalogue builder makes them)
// and into an in-memory SQLite database with the same rows, column sizes and indexes.
//
// SQLite receives each string as Quarry stores it: cut to the column's declared size (never
// inside a UTF-8 character), trailing blanks removed, an empty text as NULL. Both engines
// then order strings bytewise, so results can be compared exactly.
//
// Statements are written in the Quarry dialect; for SQLite the double-quoted string literals
// are rewritten into single quotes. Results are rows of texts, NULL absent; numbers are
// normalised (see NormaliseValue) so that the engines' number formats do not matter.
#pragma once

#include <sqlite3.h>

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/sql/query_statement.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"
#include "tools/common/catalogue_schema.h"
#include "tools/common/csv_loader.h"
#include "tools/common/result_reader.h"

namespace twins {

using quarry::tools::TResultTable;
using quarry::tools::TResultValue;
using TRows = std::vector<std::vector<TResultValue>>;

// The folder of the shared catalogue (PELLOMAR_SHARED_CATALOGUE), or empty when it is absent.
inline std::string SharedCatalogueFolder() {
  const char* folder = std::getenv("PELLOMAR_SHARED_CATALOGUE");
  std::error_code ec;
  if (folder != nullptr && std::filesystem::exists(std::filesystem::path(folder) / "videos.csv", ec)) return folder;
  return {};
}

// The program's own catalogue folder (catalogue/ of the source tree).
inline std::string OwnCatalogueFolder() {
  const char* source = std::getenv("PELLOMAR_SOURCE_DIR");
  return std::string(source != nullptr ? source : ".") + "/catalogue";
}

// A string as a field of declaredSize bytes holds it; nullopt for what is stored as NULL.
inline TResultValue StoredString(std::string text, std::size_t declaredSize) {
  if (text.size() > declaredSize) {
    std::size_t cut = declaredSize;
    // Step back over continuation bytes so that no character is split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.empty()) return std::nullopt;
  return text;
}

// Double-quoted string literals become single-quoted ones (SQLite reads "x" as a name).
inline std::string ToSqliteText(const std::string& sql) {
  std::string out;
  char quote = 0;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (quote == 0) {
      if (c == '"' || c == '\'') {
        quote = c;
        out.push_back('\'');
      } else {
        out.push_back(c);
      }
      continue;
    }
    if (c == quote) {
      if (i + 1 < sql.size() && sql[i + 1] == quote) {
        out += quote == '\'' ? "''" : "\"";
        ++i;
      } else {
        out.push_back('\'');
        quote = 0;
      }
    } else if (c == '\'') {
      out += "''";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// A value in a form both engines agree on: numbers (whole texts that read as numbers) are
// printed with ten significant digits, so "2.50", "2.5" and 2.5000000001 compare equal.
inline TResultValue NormaliseValue(const TResultValue& value) {
  if (!value || value->empty()) return value;
  const std::string& text = *value;
  const char first = text.front();
  if (!(std::isdigit(static_cast<unsigned char>(first)) || first == '-' || first == '+' || first == '.')) return value;
  char* end = nullptr;
  const double number = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return value;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.10g", number);
  return std::string(buffer);
}

inline TRows NormaliseRows(const TRows& rows) {
  TRows result = rows;
  for (auto& row : result)
    for (auto& value : row) value = NormaliseValue(value);
  return result;
}

class TSqliteDatabase {
 public:
  // In memory unless a file path is given.
  explicit TSqliteDatabase(const std::string& path = ":memory:") {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("cannot open SQLite " + path);
    Exec("PRAGMA case_sensitive_like = ON");
  }
  ~TSqliteDatabase() { sqlite3_close(db_); }
  TSqliteDatabase(const TSqliteDatabase&) = delete;
  TSqliteDatabase& operator=(const TSqliteDatabase&) = delete;

  sqlite3* Handle() const { return db_; }

  // Writes the whole database into the file path (a new SQLite file).
  void CopyTo(const std::string& path) {
    sqlite3* target = nullptr;
    if (sqlite3_open(path.c_str(), &target) != SQLITE_OK) {
      sqlite3_close(target);
      throw std::runtime_error("cannot open SQLite " + path);
    }
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> owner(target, sqlite3_close);
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", db_, "main");
    if (backup == nullptr) throw std::runtime_error(std::string("SQLite backup: ") + sqlite3_errmsg(target));
    sqlite3_backup_step(backup, -1);
    if (sqlite3_backup_finish(backup) != SQLITE_OK)
      throw std::runtime_error(std::string("SQLite backup: ") + sqlite3_errmsg(target));
  }

  void Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string text = message != nullptr ? message : "?";
      sqlite3_free(message);
      throw std::runtime_error("SQLite: " + text + " in " + sql);
    }
  }

  // Runs a Quarry-dialect statement; every column as text.
  TResultTable Query(const std::string& quarrySql) {
    const std::string sql = ToSqliteText(quarrySql);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db_) + " in " + sql);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owner(statement, sqlite3_finalize);
    TResultTable table;
    const int columns = sqlite3_column_count(statement);
    for (int c = 0; c < columns; ++c) table.Columns.push_back({sqlite3_column_name(statement, c), false});
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
      std::vector<TResultValue> row;
      for (int c = 0; c < columns; ++c) {
        if (sqlite3_column_type(statement, c) == SQLITE_NULL) {
          row.emplace_back(std::nullopt);
        } else {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
          row.emplace_back(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, c))));
        }
      }
      table.Rows.push_back(std::move(row));
    }
    if (step != SQLITE_DONE) throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db_) + " in " + sql);
    return table;
  }

  // Loads one catalogue table from its CSV text, with the plan the Quarry loader makes.
  void LoadTable(const quarry::tools::TCsvLoadOptions& options, const std::string& csvText) {
    using namespace quarry;
    const auto records = tools::ReadAllCsv(csvText);
    const auto plan = tools::PlanCsvTable(records, options);
    std::string create = "CREATE TABLE " + options.Table + " (";
    std::string insert = "INSERT INTO " + options.Table + " VALUES (";
    for (const auto& field : plan.Fields) {
      const bool text = field.DataType == TFieldType::String;
      create += (field.FieldNo > 1 ? ", " : "") + field.Name + (text ? " TEXT" : " INTEGER");
      if (field.FieldNo == plan.PrimaryField) create += " PRIMARY KEY";
      insert += field.FieldNo > 1 ? ", ?" : "?";
    }
    Exec(create + ")");
    for (int fieldNo : plan.IndexFields) {
      const std::string& column = plan.Fields[fieldNo - 1].Name;
      Exec("CREATE INDEX " + options.Table + "_" + column + " ON " + options.Table + " (" + column + ")");
    }
    Exec("BEGIN");
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, (insert + ")").c_str(), -1, &statement, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db_));
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owner(statement, sqlite3_finalize);
    for (std::size_t r = 1; r < records.size(); ++r) {
      sqlite3_reset(statement);
      for (const auto& field : plan.Fields) {
        const std::string& text = records[r].Fields[field.FieldNo - 1];
        const int slot = field.FieldNo;
        if (field.DataType == TFieldType::String) {
          const TResultValue stored = StoredString(text, field.Size);
          if (stored)
            sqlite3_bind_text(statement, slot, stored->c_str(), static_cast<int>(stored->size()), SQLITE_TRANSIENT);
          else sqlite3_bind_null(statement, slot);
        } else if (text.empty()) {
          sqlite3_bind_null(statement, slot);
        } else {
          sqlite3_bind_int64(statement, slot, std::stoll(text));
        }
      }
      if (sqlite3_step(statement) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
    }
    Exec("COMMIT");
  }

 private:
  sqlite3* db_ = nullptr;
};

// The Quarry side: a fresh folder of tables and a session that knows the catalogue password.
class TQuarryCatalogue {
 public:
  TQuarryCatalogue() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pellomar-twins-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    folder_ = pattern;
    session_.AddPassword(quarry::tools::kCataloguePassword);
    directory_ = &session_.OpenDirectory("", folder_);
  }
  ~TQuarryCatalogue() {
    session_.CloseDirectory(*directory_);
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  TQuarryCatalogue(const TQuarryCatalogue&) = delete;
  TQuarryCatalogue& operator=(const TQuarryCatalogue&) = delete;

  quarry::TDataDirectory& Directory() { return *directory_; }
  quarry::TDataSession& Session() { return session_; }
  const std::string& Folder() const { return folder_; }

  TResultTable Query(const std::string& sql) {
    quarry::TQueryStatement statement(directory_);
    statement.Prepare(sql);
    quarry::TDataCursor* cursor = statement.Execute();
    if (cursor == nullptr) return {};
    return quarry::tools::ReadResult(*cursor);
  }

 private:
  std::string folder_;
  quarry::TDataSession session_;
  quarry::TDataDirectory* directory_ = nullptr;
};

// Both engines over one catalogue folder.
struct TCatalogueTwins {
  TQuarryCatalogue Quarry;
  TSqliteDatabase Sqlite;
  double QuarryLoadSeconds = 0;
  double SqliteLoadSeconds = 0;

  explicit TCatalogueTwins(const std::string& csvFolder) {
    using Clock = std::chrono::steady_clock;
    auto started = Clock::now();
    quarry::tools::LoadCatalogue(Quarry.Directory(), csvFolder, quarry::tools::kCataloguePassword);
    QuarryLoadSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    started = Clock::now();
    for (const auto& table : quarry::tools::CatalogueTables(quarry::tools::kCataloguePassword))
      Sqlite.LoadTable(table.Options, quarry::tools::ReadWholeFile(csvFolder + "/" + table.CsvName));
    SqliteLoadSeconds = std::chrono::duration<double>(Clock::now() - started).count();
  }
};

// Facts about the loaded rows that the statements need (names and ids that exist).
struct TPicks {
  std::string CastId, CastName;          // the cast member with the most films
  std::string DirectorId, DirectorName;  // the director with the most films
  std::string PartnerCastId;             // the cast member most often in that director's films
  std::string AccentedName;              // a cast member whose name is not plain ASCII
  std::string BusyVideoId;               // the video with the most cast members
  std::string BusyVideoTitle;
  std::string MiddleYear;  // a year in the middle of the catalogue's span
};

inline std::string First(TSqliteDatabase& db, const std::string& sql, int column = 0) {
  const auto table = db.Query(sql);
  if (table.Rows.empty() || !table.Rows[0][static_cast<std::size_t>(column)])
    throw std::runtime_error("no row for " + sql);
  return *table.Rows[0][static_cast<std::size_t>(column)];
}

inline TPicks PickFacts(TSqliteDatabase& db) {
  TPicks p;
  const std::string noQuote = " NOT LIKE '%\"%'";
  p.CastId = First(db,
                   "SELECT C.CASTMEMBERID FROM CASTMEMBERS C JOIN VIDEOS_CASTMEMBERS L ON L.CASTMEMBERID = "
                   "C.CASTMEMBERID WHERE C.CASTMEMBER" +
                       noQuote + " GROUP BY C.CASTMEMBERID ORDER BY COUNT(*) DESC, C.CASTMEMBERID LIMIT 1");
  p.CastName = First(db, "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = " + p.CastId);
  p.DirectorId = First(db,
                       "SELECT D.DIRECTORID FROM DIRECTORS D JOIN VIDEOS_DIRECTORS L ON L.DIRECTORID = "
                       "D.DIRECTORID WHERE D.DIRECTOR" +
                           noQuote + " GROUP BY D.DIRECTORID ORDER BY COUNT(*) DESC, D.DIRECTORID LIMIT 1");
  p.DirectorName = First(db, "SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = " + p.DirectorId);
  p.PartnerCastId = First(db,
                          "SELECT C.CASTMEMBERID FROM VIDEOS_CASTMEMBERS C JOIN VIDEOS_DIRECTORS D ON "
                          "D.VIDEOID = C.VIDEOID WHERE D.DIRECTORID = " +
                              p.DirectorId + " GROUP BY C.CASTMEMBERID ORDER BY COUNT(*) DESC, C.CASTMEMBERID LIMIT 1");
  p.AccentedName = First(db, "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBER GLOB '*[^ -~]*' AND CASTMEMBER" +
                                 noQuote + " ORDER BY CASTMEMBERID LIMIT 1");
  p.BusyVideoId = First(db,
                        "SELECT L.VIDEOID FROM VIDEOS_CASTMEMBERS L JOIN VIDEOS V ON V.VIDEOID = L.VIDEOID "
                        "WHERE V.TITLE" +
                            noQuote + " GROUP BY L.VIDEOID ORDER BY COUNT(*) DESC, L.VIDEOID LIMIT 1");
  p.BusyVideoTitle = First(db, "SELECT TITLE FROM VIDEOS WHERE VIDEOID = " + p.BusyVideoId);
  p.MiddleYear = First(db, "SELECT YEAR FROM VIDEOS ORDER BY YEAR LIMIT 1 OFFSET (SELECT COUNT(*) / 2 FROM VIDEOS)");
  return p;
}

}  // namespace twins
