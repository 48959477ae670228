// Timing harness for Pellomar on the large catalogue (../shared/catalogue, 36,243 films,
// 28,624 cast members): how long the window takes to be ready, a search with the initial
// criteria until its rows show, a title-click sort of those rows, and a scroll through the
// grid page by page. Each step is also split into its engine part (the statements through
// the catalogue access alone) and what the window adds, to show where the time goes.
//
// Run from a release build, offscreen:
//   cmake --build build --target startup_bench && build/bench/startup_bench [TABLES_DIR]
// TABLES_DIR holds the built tables; by default build/shared-catalogue, built there with the
// catalogue builder when it is missing.
#include "app/engine_catalogue.h"
#include "app/font_substitutes.h"
#include "app/main_window.h"
#include "bench/window_timing.h"
#include "dbaccess/client_data_set.h"
#include "dbaccess/quarry_session.h"
#include "dbaccess/session_list.h"
#include "grid/result_grid.h"
#include "tools/common/catalogue_schema.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <vector>

namespace {

using namespace window_timing;

const char* const kInitialSearch =
    "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH\r\nFROM VIDEOS V\r\n ORDER BY V.TITLE";

void ClickTitle(TResultGrid& grid, int column) {
  QHeaderView* title = grid.horizontalHeader();
  const QPoint at(title->sectionViewportPosition(column) + title->sectionSize(column) / 2, title->height() / 2);
  QTest::mouseClick(title->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  quarry::Sessions();
  QApplication app(argc, argv);
  InstallFontSubstitutions();

  const QString buildDir = QStringLiteral(PELLOMAR_BINARY_DIR);
  const QString tables =
      QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : buildDir + "/shared-catalogue").absolutePath();
  if (!HasTables(tables)) {
    const QString source = QStringLiteral(PELLOMAR_SOURCE_DIR "/../shared/catalogue");
    if (!QFile::exists(source + "/videos.csv")) {
      std::printf("startup_bench: no tables in %s and no shared catalogue to build them from; skipped\n",
                  qPrintable(tables));
      return 0;
    }
    std::printf("building the shared catalogue's tables in %s ...\n", qPrintable(tables));
    QProcess builder;
    builder.setProcessChannelMode(QProcess::ForwardedChannels);
    builder.start(QStringLiteral(PELLOMAR_CATALOGUE_BUILDER), {source, tables});
    if (!builder.waitForFinished(-1) || builder.exitCode() != 0) {
      std::printf("startup_bench: the catalogue builder failed\n");
      return 1;
    }
  }
  std::printf("Pellomar on the tables in %s\n", qPrintable(tables));
  constexpr int kRuns = 5;

  // ---- the engine's part: the statements alone ----
  StartIn(tables);
  {
    const auto catalogue = MakeEngineCatalogue(tables.toStdString(), quarry::tools::kCataloguePassword);
    TCatalogueAccess& access = *catalogue;
    Report("engine: year bounds (2 lookups)", Times(kRuns, [&] {
             access.LookupFirst("SELECT YEAR FROM VIDEOS ORDER BY YEAR");
             access.LookupFirst("SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC");
           }));
    std::size_t names = 0;
    Report("engine: cast member names (walk)", Times(kRuns, [&] {
             names = access.LookupAll("SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER").size();
           }));
    std::printf("  %zu cast member names\n", names);
    Report("engine: director names (walk)",
           Times(kRuns, [&] { access.LookupAll("SELECT DIRECTOR FROM DIRECTORS ORDER BY DIRECTOR"); }));
    Report("engine: initial search statement (open)", Times(kRuns, [&] { access.Search(kInitialSearch); }));
    quarry::TClientDataSet copy;
    copy.SetFieldDefs(VideoFieldDefs());
    Report("engine + result set: search and copy of the rows", Times(kRuns, [&] {
             copy.Close();
             const auto source = access.Search(kInitialSearch);
             copy.SetSource(source.get());
             copy.Open();
             copy.SetSource(nullptr);
           }));
    std::printf("  %d rows copied\n", copy.RecordCount());
  }

  // ---- the window ----
  const QString settings = QDir::temp().filePath(QStringLiteral("startup_bench.INI"));
  std::vector<TTime> ready, search, sort, sortBack, pages;
  for (int run = 0; run < kRuns; ++run) {
    StartIn(tables);
    const TStopwatch start;
    TfMain window(MakeEngineCatalogue(tables.toStdString(), quarry::tools::kCataloguePassword), QuietNotifier(),
                  settings.toStdString());
    window.show();
    QApplication::processEvents();
    ready.push_back(start.Elapsed());
    if (run == 0) {
      std::printf("  ready with %d cast members, %d directors, years %s to %s\n", window.cmbxCastMembers->count(),
                  window.cmbxDirectors->count(), qPrintable(window.cmbxFrom->currentText()),
                  qPrintable(window.cmbxTo->currentText()));
    }

    const TStopwatch searching;
    window.btnShowResults->click();
    window.grdcds->viewport()->repaint();
    search.push_back(searching.Elapsed());
    if (run == 0) std::printf("  search listed %d films\n", window.cds.RecordCount());

    const TStopwatch sorting;
    ClickTitle(*window.grdcds, 1);
    window.grdcds->viewport()->repaint();
    sort.push_back(sorting.Elapsed());
    const TStopwatch reversing;
    ClickTitle(*window.grdcds, 1);
    window.grdcds->viewport()->repaint();
    sortBack.push_back(reversing.Elapsed());

    if (run == 0) {
      // One page at a time from the top, a repaint per page, for a bounded stretch.
      window.grdcds->setFocus();
      for (int page = 0; page < 200; ++page) {
        const TStopwatch paging;
        QTest::keyClick(window.grdcds, Qt::Key_PageDown);
        window.grdcds->viewport()->repaint();
        pages.push_back(paging.Elapsed());
      }
    }
    window.close();
  }
  Report("window ready (lists filled)", ready, 500);
  Report("search, initial criteria, until the rows show", search, 100);
  Report("title click: sort by title, repainted", sort, 50);
  Report("title click again: reversed, repainted", sortBack, 50);
  Report("scroll: one page down and repaint", pages);
  QFile::remove(settings);
  quarry::Sessions().DeactivateAll();
  return 0;
}
