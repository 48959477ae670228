// How fast GridPrinter lays out the large catalogue: 36,243 rows of the main window's grid
// at 80 x 60 characters (the text-file page), with titles, borders and a "Page ^P of ^N"
// footer. Three figures: the first page (what the preview shows first), the whole report
// (counting the pages, then drawing every page), and counting alone (one layout pass without
// drawing). Memory growth over the whole report is reported as a counter (bytes of resident
// memory added while it ran).
//
// Rows come from ../shared/catalogue/videos.csv (PELLOMAR_SHARED_CATALOGUE), else the shipped
// catalogue repeated until it has as many rows.
#include "print/core/layout_test_support.h"
#include "print/core/page_builder.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <fstream>
#include <string>

using namespace gpr;
using namespace gpr::testing;

namespace {

constexpr int kRows = 36243;

std::unique_ptr<quarry::TVectorRowSource> LargeCatalogue() {
  const char* shared = std::getenv("PELLOMAR_SHARED_CATALOGUE");
  for (const std::string& dir :
       {std::string(shared ? shared : ""), std::string("../shared/catalogue"), std::string("../../shared/catalogue")}) {
    if (dir.empty()) continue;
    if (auto rows = VideoRows(dir); rows && rows->RowCount() >= 30000) return rows;
  }
  auto small = VideoRows(SourceDir() + "/catalogue");
  if (!small) small = VideoRows("catalogue");
  auto rows = std::make_unique<quarry::TVectorRowSource>(VideoFieldDefs());
  if (!small) return rows;
  // Repeat the shipped rows with numbered titles.
  quarry::TClientDataSet shipped;
  shipped.SetSource(small.get());
  shipped.Open();
  for (int i = 0; i < kRows; ++i) {
    const int at = i % shipped.RecordCount();
    const int copy = i / shipped.RecordCount();
    std::string title = shipped.AsStringAt(at, 1);
    if (copy > 0) title += " " + std::to_string(copy + 1);
    rows->AddRow({std::to_string(i + 1), title, shipped.AsStringAt(at, 2), shipped.AsStringAt(at, 3),
                  shipped.AsStringAt(at, 4)});
  }
  return rows;
}

TCatalogueResult& Result() {
  static TCatalogueResult result(LargeCatalogue(), "Title");
  return result;
}

TgprReportSettings BenchSettings() {
  TgprReportSettings settings;
  settings.OutputDest = odTextFile;  // 80 x 60 characters
  settings.HideColumns = "VideoID";
  settings.Memo(miPgFtr).Text = "Page ^P of ^N";
  return settings;
}

long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4096;
}

// Bytes the heap has handed out and not taken back.
long HeapInUse() { return static_cast<long>(mallinfo2().uordblks); }

struct TLayout {
  TgprReportSettings Settings = BenchSettings();
  TObjInfo Info = Result().ObjInfo(Settings);
  TgprPrintSettings Print;
  TgprPageBuilder Builder{Settings, Info, Print};
};

// The first page with the default page number memo (date, page number, time).
void BM_FirstPage(benchmark::State& state) {
  Result();  // loaded once, outside the timing
  for (auto _ : state) {
    TgprReportSettings settings = BenchSettings();
    settings.Memo(miPgFtr).Text.clear();
    TObjInfo info = Result().ObjInfo(settings);
    TgprPrintSettings print;
    TgprPageBuilder builder(settings, info, print);
    benchmark::DoNotOptimize(builder.Page(1, 1).Lines.data());
  }
  state.counters["rows"] = Result().DataSet().RecordCount();
}
BENCHMARK(BM_FirstPage)->Unit(benchmark::kMillisecond);

// The first page when its footer prints the page count: every page is laid out first.
void BM_FirstPageWithPageCount(benchmark::State& state) {
  Result();
  for (auto _ : state) {
    TLayout layout;
    benchmark::DoNotOptimize(layout.Builder.Page(1, 1).Lines.data());
  }
}
BENCHMARK(BM_FirstPageWithPageCount)->Unit(benchmark::kMillisecond);

void BM_CountPages(benchmark::State& state) {
  Result();
  int pages = 0;
  for (auto _ : state) {
    TLayout layout;
    pages = layout.Builder.PageCount();
  }
  state.counters["pages"] = pages;
}
BENCHMARK(BM_CountPages)->Unit(benchmark::kMillisecond);

// Every page, in order, with the page count the footer prints.
void BM_WholeReport(benchmark::State& state) {
  Result();
  int pages = 0;
  long rssGrowth = 0, heapGrowth = 0;
  for (auto _ : state) {
    const long rssBefore = ResidentBytes();
    const long heapBefore = HeapInUse();
    TLayout layout;
    pages = layout.Builder.PageCount();
    size_t bytes = 0;
    for (int page = 1; page <= pages; ++page) bytes += layout.Builder.Page(1, page).Text().size();
    benchmark::DoNotOptimize(bytes);
    rssGrowth = std::max(rssGrowth, ResidentBytes() - rssBefore);
    heapGrowth = std::max(heapGrowth, HeapInUse() - heapBefore);
  }
  state.counters["pages"] = pages;
  state.counters["rss_growth_MB"] = static_cast<double>(rssGrowth) / (1024 * 1024);
  state.counters["heap_growth_MB"] = static_cast<double>(heapGrowth) / (1024 * 1024);
}
BENCHMARK(BM_WholeReport)->Unit(benchmark::kMillisecond);

// The same pages without a page-count code: drawing them in order is the single pass.
void BM_WholeReportWithoutCount(benchmark::State& state) {
  Result();
  int pages = 0;
  for (auto _ : state) {
    TLayout layout;
    layout.Settings.Memo(miPgFtr).Text = "Page ^P";
    TgprPageBuilder builder(layout.Settings, layout.Info, layout.Print);
    size_t bytes = 0;
    for (pages = 1; builder.HasPage(pages); ++pages) bytes += builder.Page(1, pages).Text().size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["pages"] = pages - 1;
}
BENCHMARK(BM_WholeReportWithoutCount)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
