// Expression engine benchmarks: the catalogue search condition compiled once (parse, type
// check, prepare) and evaluated per record, beside SQLite counting the same rows with the
// same WHERE clause over an in-memory table.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <random>
#include <string>
#include <vector>

#include "engine/sql/column_source.h"
#include "engine/sql/expression_evaluator.h"
#include "engine/sql/expression_parser.h"
#include "engine/sql/expression_preparer.h"
#include "engine/sql/type_checker.h"
#include "engine/storage/data/record_buffer.h"

namespace {

using namespace quarry;

constexpr int kRows = 100000;
const char* const kCondition =
    "(V.YEAR BETWEEN \"1990\" AND \"1999\") AND ((V.INDUSTRYRATING = \"G\") OR (V.INDUSTRYRATING = \"PG\"))";
const char* const kRatings[] = {"G", "PG", "PG-13", "NR", "R", "NC-17"};

struct TRows {
  std::vector<TFieldDefinition> Fields;
  int RecordSize = 0;
  std::vector<uint8_t> Images;  // kRows records back to back
  std::vector<std::pair<std::string, std::string>> Values;

  TRows() {
    const struct {
      const char* Name;
      TFieldType Type;
      uint8_t Size;
    } columns[] = {{"VIDEOID", TFieldType::Integer, 0},
                   {"YEAR", TFieldType::String, 4},
                   {"INDUSTRYRATING", TFieldType::String, 5}};
    uint16_t no = 1;
    for (const auto& s : columns) {
      TFieldDefinition f;
      f.FieldNo = no++;
      f.Name = s.Name;
      f.DataType = s.Type;
      f.Size = s.Size;
      Fields.push_back(f);
    }
    RecordSize = AssignFieldOffsets(Fields.data(), static_cast<int>(Fields.size()));
    Images.assign(static_cast<std::size_t>(RecordSize) * kRows, 0);
    std::mt19937 random(1);
    for (int i = 0; i < kRows; ++i) {
      uint8_t* r = &Images[static_cast<std::size_t>(i) * RecordSize];
      const std::string year = std::to_string(1900 + random() % 111);
      const std::string rating = kRatings[random() % 6];
      SetFieldInteger(r, Fields[0], i + 1);
      SetFieldString(r, Fields[1], year);
      SetFieldString(r, Fields[2], rating);
      Values.emplace_back(year, rating);
    }
  }
};

const TRows& Rows() {
  static const TRows rows;
  return rows;
}

TExpTree Compile(TRecordColumnSource& source) {
  TExpressionParser parser;
  parser.ContextName = "WHERE or JOIN clause";
  parser.SetText(kCondition);
  parser.NextToken();
  TExpTree tree = parser.ParseExpression(pf::Predicates | pf::Parameters | pf::SubSelects);
  TCheckOptions check;
  check.Resolver = &source;
  check.Context = parser.ContextName;
  CheckExpression(check, tree);
  return PrepareExpression(*tree, {.Provider = &source});
}

void BM_QuarryCompileCondition(benchmark::State& state) {
  TRecordColumnSource source(Rows().Fields, "V");
  for (auto _ : state) benchmark::DoNotOptimize(Compile(source));
}
BENCHMARK(BM_QuarryCompileCondition);

void BM_QuarryEvaluateCondition(benchmark::State& state) {
  const TRows& rows = Rows();
  TRecordColumnSource source(rows.Fields, "V");
  TExpTree prepared = Compile(source);
  int64_t matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (int i = 0; i < kRows; ++i) {
      TExpTree v = EvaluateExpression(*prepared, &rows.Images[static_cast<std::size_t>(i) * rows.RecordSize], nullptr,
                                      0, 0, &source);
      matches += ConditionHolds(*v);
    }
  }
  state.counters["matches"] = static_cast<double>(matches);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_QuarryEvaluateCondition)->Unit(benchmark::kMillisecond);

void BM_SqliteCountCondition(benchmark::State& state) {
  const TRows& rows = Rows();
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  sqlite3_exec(db, "CREATE TABLE VIDEOS (VIDEOID INTEGER, YEAR TEXT, INDUSTRYRATING TEXT)", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO VIDEOS VALUES (?, ?, ?)", -1, &insert, nullptr);
  for (int i = 0; i < kRows; ++i) {
    sqlite3_bind_int(insert, 1, i + 1);
    sqlite3_bind_text(insert, 2, rows.Values[i].first.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 3, rows.Values[i].second.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_stmt* count = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT COUNT(*) FROM VIDEOS V WHERE (V.YEAR BETWEEN '1990' AND '1999') AND "
                     "((V.INDUSTRYRATING = 'G') OR (V.INDUSTRYRATING = 'PG'))",
                     -1, &count, nullptr);
  int64_t matches = 0;
  for (auto _ : state) {
    sqlite3_step(count);
    matches = sqlite3_column_int64(count, 0);
    sqlite3_reset(count);
  }
  sqlite3_finalize(count);
  sqlite3_close(db);
  state.counters["matches"] = static_cast<double>(matches);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SqliteCountCondition)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
