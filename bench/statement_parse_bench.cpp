// SQL statement parsing: the catalogue search (case C, every criterion) and a short lookup
// parsed into statement trees, beside SQLite preparing the same texts against the same
// schema in memory (SQLite's prepare also resolves names and plans, so it does more).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>

#include "engine/sql/query_statement.h"

namespace {

using namespace quarry;

const char* const kSearch =
    "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH\r\n"
    ", C.VIDEOID, D.VIDEOID \r\n"
    "FROM VIDEOS V, VIDEOS_CASTMEMBERS C, VIDEOS_DIRECTORS D\r\n"
    " WHERE (V.VIDEOID = C.VIDEOID) AND (V.VIDEOID = D.VIDEOID) \r\n"
    " AND (C.CASTMEMBERID = 12)\r\n"
    " AND \r\n (V.YEAR BETWEEN \"1990\" AND \"1999\")\r\n"
    " AND (\r\n(V.INDUSTRYRATING = \"G\")\r\n OR \r\n (V.INDUSTRYRATING = \"PG\")\r\n)\r\n"
    " ORDER BY V.TITLE";
const char* const kLookup = "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = 17";

void QuarryParse(benchmark::State& state, const char* sql) {
  TQueryStatement statement(nullptr);
  for (auto _ : state) {
    statement.Parse(sql);
    benchmark::DoNotOptimize(statement.Master());
  }
}

void SqlitePrepare(benchmark::State& state, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  sqlite3_exec(db,
               "CREATE TABLE VIDEOS (VIDEOID INTEGER, TITLE TEXT, YEAR TEXT, INDUSTRYRATING TEXT, LENGTH TEXT);"
               "CREATE TABLE CASTMEMBERS (CASTMEMBERID INTEGER, CASTMEMBER TEXT);"
               "CREATE TABLE VIDEOS_CASTMEMBERS (VIDEOID INTEGER, CASTMEMBERID INTEGER);"
               "CREATE TABLE VIDEOS_DIRECTORS (VIDEOID INTEGER, DIRECTORID INTEGER);",
               nullptr, nullptr, nullptr);
  // SQLite reads double quotes as identifiers first; the same text with single quotes.
  std::string text = sql;
  for (char& c : text)
    if (c == '"') c = '\'';
  for (auto _ : state) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, text.c_str(), -1, &stmt, nullptr);
    benchmark::DoNotOptimize(stmt);
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
}

BENCHMARK_CAPTURE(QuarryParse, Search, kSearch);
BENCHMARK_CAPTURE(SqlitePrepare, Search, kSearch);
BENCHMARK_CAPTURE(QuarryParse, Lookup, kLookup);
BENCHMARK_CAPTURE(SqlitePrepare, Lookup, kLookup);

}  // namespace

BENCHMARK_MAIN();
