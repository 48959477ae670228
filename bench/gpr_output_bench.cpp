// GridPrinter's output on the shared catalogue's films (36,243 rows): the whole report to a
// text file, to a PDF file, and the rows exported as CSV. BM_TextFile, BM_PdfFile and
// BM_Export time the channels alone, fed by the stand-in table page builder of the channel
// tests (about 650 pages); BM_CatalogueReport times the whole run as Print makes it - the
// report's page builder over the grid's result set, the run and the channel (about 800
// pages). Goals: text file within 0.5 s, PDF within 2 s, export within 0.5 s. Skipped when
// ../shared/catalogue is absent (set PELLOMAR_SHARED_CATALOGUE to point elsewhere).
#include "print/core/export_file.h"
#include "print/core/layout_test_support.h"
#include "print/core/page_source_test_support.h"
#include "print/core/text_file_output.h"
#include "print/pdf_output.h"
#include "print/report_run.h"
#include "tools/common/csv_reader.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct TCatalogue {
  std::vector<std::string> Titles;
  std::vector<std::vector<std::string>> Rows;
};

const TCatalogue* Catalogue() {
  static const TCatalogue* catalogue = []() -> const TCatalogue* {
    const char* shared = std::getenv("PELLOMAR_SHARED_CATALOGUE");
    const fs::path videos = fs::path(shared ? shared : "../shared/catalogue") / "videos.csv";
    std::ifstream in(videos, std::ios::binary);
    if (!in) return nullptr;
    std::ostringstream text;
    text << in.rdbuf();
    const std::string csv = text.str();
    auto records = quarry::tools::ReadAllCsv(csv);
    auto* result = new TCatalogue;
    result->Titles = records[0].Fields;
    for (std::size_t i = 1; i < records.size(); ++i) result->Rows.push_back(std::move(records[i].Fields));
    return result;
  }();
  return catalogue;
}

gpr::testing::TTablePageSource Report(const TCatalogue& catalogue) {
  return gpr::testing::TTablePageSource(catalogue.Titles, {7, 40, 5, 6, 6}, catalogue.Rows, 60, 80);
}

std::string Scratch(const char* name) { return (fs::temp_directory_path() / name).string(); }

void BM_TextFile(benchmark::State& state) {
  const TCatalogue* catalogue = Catalogue();
  if (!catalogue) return state.SkipWithError("no shared catalogue");
  int pages = 0;
  for (auto _ : state) {
    auto source = Report(*catalogue);
    gpr::TgprTextFileOutput output(Scratch("gpr-bench-Rpt.Txt"), gpr::feOverwrite, true);
    gpr::TgprPrintRun run({{0, 1}, {0, 99999}});
    if (run.Run(source, output) != gpr::rrCompleted) return state.SkipWithError(run.ErrorMessage().c_str());
    pages = run.PagesPrinted();
  }
  state.counters["pages"] = pages;
  fs::remove(Scratch("gpr-bench-Rpt.Txt"));
}

void BM_PdfFile(benchmark::State& state) {
  const TCatalogue* catalogue = Catalogue();
  if (!catalogue) return state.SkipWithError("no shared catalogue");
  int pages = 0;
  for (auto _ : state) {
    auto source = Report(*catalogue);
    gpr::TgprPdfOutput output(Scratch("gpr-bench-Rpt.pdf"), gpr::feOverwrite, "Films", gpr::TgprTextStyle{},
                              gpr::PageLayoutOf(QPageSize(QPageSize::A4), QPageLayout::Portrait, 250, 250, 250, 250));
    gpr::TgprPrintRun run({{0, 1}, {0, 99999}});
    if (run.Run(source, output) != gpr::rrCompleted) return state.SkipWithError(run.ErrorMessage().c_str());
    pages = run.PagesPrinted();
  }
  state.counters["pages"] = pages;
  fs::remove(Scratch("gpr-bench-Rpt.pdf"));
}

class TCatalogueRows : public gpr::TgprExportSource {
 public:
  explicit TCatalogueRows(const TCatalogue& catalogue) : catalogue_(catalogue) {}
  const std::vector<gpr::TgprExportColumn>& Columns() const override { return columns_; }
  std::vector<std::vector<std::string>> TitleRows() override { return {catalogue_.Titles}; }
  bool NextRow(std::vector<std::string>& cells) override {
    if (next_ >= catalogue_.Rows.size()) return false;
    cells = catalogue_.Rows[next_++];
    return true;
  }
  std::optional<std::vector<std::string>> TotalsRow() override { return std::nullopt; }
  int RowCount() const override { return static_cast<int>(catalogue_.Rows.size()); }

 private:
  const TCatalogue& catalogue_;
  std::vector<gpr::TgprExportColumn> columns_{
      {false, gpr::ecNone}, {true, gpr::ecString}, {false, gpr::ecNone}, {true, gpr::ecString}, {false, gpr::ecNone}};
  std::size_t next_ = 0;
};

void BM_Export(benchmark::State& state) {
  const TCatalogue* catalogue = Catalogue();
  if (!catalogue) return state.SkipWithError("no shared catalogue");
  for (auto _ : state) {
    TCatalogueRows source(*catalogue);
    gpr::TgprOutputFile file(Scratch("gpr-bench-export.csv"), gpr::feOverwrite);
    gpr::TgprExportOptions options;
    options.Delimiter = ",";
    gpr::TgprExporter exporter(options);
    if (exporter.Run(source, file) != gpr::rrCompleted) return state.SkipWithError("export failed");
  }
  state.counters["rows"] = static_cast<double>(catalogue->Rows.size());
  fs::remove(Scratch("gpr-bench-export.csv"));
}

gpr::testing::TCatalogueResult* CatalogueResult() {
  static std::unique_ptr<gpr::testing::TCatalogueResult> result = [] {
    const char* shared = std::getenv("PELLOMAR_SHARED_CATALOGUE");
    auto rows = gpr::testing::VideoRows(shared ? shared : "../shared/catalogue");
    return rows ? std::make_unique<gpr::testing::TCatalogueResult>(std::move(rows), "Title") : nullptr;
  }();
  return result.get();
}

// The whole report as the options window's Print runs it; arg: 0 text file, 1 PDF file,
// 2 export.
void BM_CatalogueReport(benchmark::State& state) {
  gpr::testing::TCatalogueResult* catalogue = CatalogueResult();
  if (!catalogue) return state.SkipWithError("no shared catalogue");
  const char* const names[] = {"gpr-bench-Report.Txt", "gpr-bench-Report.pdf", "gpr-bench-Report.ASC"};
  const std::string file = Scratch(names[state.range(0)]);
  int done = 0;
  for (auto _ : state) {
    gpr::TgprReportSettings settings;
    settings.OutputDest = state.range(0) == 2 ? gpr::odExport : gpr::odTextFile;
    settings.OutputFileName = file;
    settings.DisplayProgressWin = false;
    gpr::TObjInfo objInfo = catalogue->ObjInfo(settings);
    gpr::TgprRunContext context;
    context.ShowProgress = false;
    const gpr::TgprRunOutcome outcome = gpr::RunReport(settings, objInfo, gpr::PageRangeFor(settings), context);
    if (outcome.Result != gpr::rrCompleted) return state.SkipWithError(outcome.ErrorMessage.c_str());
    done = outcome.PagesPrinted;
  }
  state.counters[state.range(0) == 2 ? "rows" : "pages"] = done;
  fs::remove(file);
}

BENCHMARK(BM_TextFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PdfFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CatalogueReport)->DenseRange(0, 2)->ArgName("text_pdf_export")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
