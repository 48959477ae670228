// How fast the in-memory result set fills and sorts a large result: 36,000 rows shaped like the
// search's result (VIDEOID, TITLE, YEAR, INDUSTRYRATING, LENGTH).
//
// Rows come from the shipped catalogue's videos.csv (PELLOMAR_SHARED_CATALOGUE, else
// ../shared/catalogue or catalogue/ below the current directory), repeated with numbered
// titles until there are 36,000; without the file, generated rows are used.
#include "dbaccess/client_data_set.h"
#include "dbaccess/vector_row_source.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace quarry;

namespace {

constexpr int kRows = 36000;

// One CSV record per line (the catalogue has no line breaks inside fields), quotes doubled.
std::vector<std::string> SplitCsvLine(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') fields.back() += '"', ++i;
      else if (c == '"') quoted = false;
      else fields.back() += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c != '\r') {
      fields.back() += c;
    }
  }
  return fields;
}

std::vector<std::vector<std::string>> CatalogueVideos() {
  std::vector<std::string> candidates;
  if (const char* dir = std::getenv("PELLOMAR_SHARED_CATALOGUE"))
    candidates.push_back(std::string(dir) + "/videos.csv");
  candidates.push_back("../shared/catalogue/videos.csv");
  candidates.push_back("../../shared/catalogue/videos.csv");
  candidates.push_back("catalogue/videos.csv");
  for (const std::string& path : candidates) {
    std::ifstream in(path);
    if (!in) continue;
    std::vector<std::vector<std::string>> rows;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line))
      if (auto fields = SplitCsvLine(line); fields.size() == 5) rows.push_back(std::move(fields));
    if (!rows.empty()) return rows;
  }
  return {};
}

TVectorRowSource& Source() {
  static TVectorRowSource source = [] {
    TVectorRowSource rows({{"VIDEOID", TResultFieldKind::Integer, 0},
                           {"TITLE", TResultFieldKind::String, 80},
                           {"YEAR", TResultFieldKind::String, 10},
                           {"INDUSTRYRATING", TResultFieldKind::String, 9},
                           {"LENGTH", TResultFieldKind::String, 9}});
    const auto videos = CatalogueVideos();
    const char* ratings[] = {"G", "PG", "PG-13", "NR", "R", "NC-17"};
    unsigned seed = 1;
    for (int i = 0; i < kRows; ++i) {
      std::string title, year, rating, length;
      if (!videos.empty()) {
        const auto& video = videos[static_cast<size_t>(i) % videos.size()];
        const size_t copy = static_cast<size_t>(i) / videos.size();
        title = copy == 0 ? video[1] : video[1] + " " + std::to_string(copy + 1);
        year = video[2];
        rating = video[3];
        length = video[4];
      } else {
        seed = seed * 1103515245u + 12345u;
        title = "Film " + std::to_string(seed % 100000);
        year = std::to_string(1912 + seed % 110);
        rating = ratings[seed % 6];
        length = std::to_string(60 + seed % 120);
      }
      rows.AddRow({std::to_string(i + 1), title, year, rating, length});
    }
    return rows;
  }();
  return source;
}

void BM_FillResultSet(benchmark::State& state) {
  TClientDataSet cds;
  cds.SetSource(&Source());
  for (auto _ : state) {
    cds.Open();
    benchmark::DoNotOptimize(cds.RecordCount());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_FillResultSet)->Unit(benchmark::kMillisecond);

// Switching from arrival order to the index each time, as a title click does.
void SortBench(benchmark::State& state, const TClientIndexDef& def) {
  TClientDataSet cds;
  cds.SetSource(&Source());
  cds.Open();
  cds.AddIndex(def);
  for (auto _ : state) {
    state.PauseTiming();
    cds.SetIndexName("");
    state.ResumeTiming();
    cds.SetIndexName(def.name);
    benchmark::DoNotOptimize(cds.RecNo());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_SortByTitle(benchmark::State& state) {
  SortBench(state, {.name = "SortGrid", .fields = "TITLE", .case_insensitive = true});
}
BENCHMARK(BM_SortByTitle)->Unit(benchmark::kMillisecond);

void BM_SortByYearDescending(benchmark::State& state) {
  SortBench(
      state,
      {.name = "SortGrid", .fields = "YEAR", .desc_fields = "YEAR", .case_insensitive = true, .descending = true});
}
BENCHMARK(BM_SortByYearDescending)->Unit(benchmark::kMillisecond);

void BM_SortByTitleThenYear(benchmark::State& state) {
  SortBench(state, {.name = "SortGrid",
                    .fields = "TITLE;YEAR",
                    .desc_fields = "YEAR",
                    .case_insensitive = true,
                    .descending = true});
}
BENCHMARK(BM_SortByTitleThenYear)->Unit(benchmark::kMillisecond);

// Reading every row's texts in the sorted order, as the grid and printing do.
void BM_ReadAllRows(benchmark::State& state) {
  TClientDataSet cds;
  cds.SetSource(&Source());
  cds.Open();
  cds.AddIndex({.name = "SortGrid", .fields = "TITLE", .case_insensitive = true});
  cds.SetIndexName("SortGrid");
  for (auto _ : state) {
    size_t bytes = 0;
    for (int row = 0; row < cds.RecordCount(); ++row)
      for (int field = 0; field < cds.FieldCount(); ++field) bytes += cds.AsStringAt(row, field).size();
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ReadAllRows)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
