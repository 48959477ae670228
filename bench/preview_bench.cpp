// How fast the print preview answers on the large catalogue: page 1 on screen after Preview
// (goal 100 ms), the next and the previous page (goal 30 ms each), "Last" on 36,000 rows
// (goal 1 s) and how soon an aborted "Last" returns.
//
// Rows come from ../shared/catalogue/videos.csv (PELLOMAR_SHARED_CATALOGUE); without it every
// benchmark is skipped. Runs offscreen.
#include "print/core/layout_test_support.h"
#include "print/preview_window.h"
#include "print/progress_window.h"

#include <QApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

using namespace gpr;
using gpr::testing::TCatalogueResult;

namespace {

TCatalogueResult* SharedCatalogue() {
  static std::unique_ptr<TCatalogueResult> catalogue = [] {
    std::string dir = "../shared/catalogue";
    if (const char* env = std::getenv("PELLOMAR_SHARED_CATALOGUE")) dir = env;
    auto rows = gpr::testing::VideoRows(dir);
    return rows ? std::make_unique<TCatalogueResult>(std::move(rows), "Title") : nullptr;
  }();
  return catalogue.get();
}

// The preview's request state: the settings and printed object it works on.
struct TRequest {
  TgprReportSettings Settings;
  TObjInfo ObjInfo;
  explicit TRequest(TCatalogueResult& catalogue) {
    Settings.OutputDest = odTextFile;
    ObjInfo = catalogue.ObjInfo(Settings);
  }
};

void BM_PreviewFirstPage(benchmark::State& state) {
  TCatalogueResult* catalogue = SharedCatalogue();
  if (!catalogue) return state.SkipWithError("../shared/catalogue/videos.csv is missing");
  for (auto _ : state) {
    TRequest request(*catalogue);
    TfmGprPreview preview(request.Settings, request.ObjInfo);
    preview.show();  // lays the report out and shows page 1
    benchmark::DoNotOptimize(preview.PageText().size());
    state.PauseTiming();
    preview.hide();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PreviewFirstPage)->Unit(benchmark::kMillisecond);

void BM_PreviewNextAndPrevious(benchmark::State& state) {
  TCatalogueResult* catalogue = SharedCatalogue();
  if (!catalogue) return state.SkipWithError("../shared/catalogue/videos.csv is missing");
  TRequest request(*catalogue);
  TfmGprPreview preview(request.Settings, request.ObjInfo);
  preview.show();
  const bool forward = state.range(0) == 1;
  for (auto _ : state) {
    // Next reaches a page not seen before; Previous rebuilds one already seen.
    if (forward) {
      preview.NextPage();
    } else {
      state.PauseTiming();
      preview.NextPage();
      preview.NextPage();
      state.ResumeTiming();
      preview.PrevPage();
    }
  }
  state.counters["page"] = preview.CurrentPage();
}
// Fewer iterations than the report has pages, so that every Next reaches a page not seen yet.
BENCHMARK(BM_PreviewNextAndPrevious)->Arg(1)->Arg(0)->ArgName("next")->Iterations(400)->Unit(benchmark::kMillisecond);

void BM_PreviewLast(benchmark::State& state) {
  TCatalogueResult* catalogue = SharedCatalogue();
  if (!catalogue) return state.SkipWithError("../shared/catalogue/videos.csv is missing");
  const bool abort = state.range(0) == 1;
  int pages = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TRequest request(*catalogue);
    TfmGprPreview preview(request.Settings, request.ObjInfo);
    preview.show();
    if (abort) {
      // The user presses Abort as soon as the progress window is there.
      QTimer::singleShot(0, &preview, [&preview] {
        if (TfmGprProgress* progress = preview.SearchProgress()) progress->Abort();
      });
    }
    state.ResumeTiming();
    const bool found = preview.LastPage();
    pages = preview.CurrentPage();
    if (found == abort) state.SkipWithError(abort ? "the abort was not honoured" : "the search was stopped");
  }
  state.counters["pages"] = pages;
}
BENCHMARK(BM_PreviewLast)->Arg(0)->Arg(1)->ArgName("abort")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
