// Timing harness for closing Pellomar's window on the catalogue it ships (catalogue/, built
// into tables beside the program): from the Close button until the window is gone and the
// engine's tables are closed, as the program ends. The close is split into its steps - the
// close event (the result set closed), the window's destruction (window position written,
// catalogue disconnected) and the session list deactivated - to show where the time goes.
// Before each close the window has searched and refreshed the panel for a row, as a user's
// window has. Last, the program is run as main() runs it, one process a run (the --program
// mode), and timed from the Close button to the process's exit, Qt's own teardown included;
// CPU time is not measured there.
//
// Run from a release build, offscreen:
//   cmake --build build --target close_bench && build/bench/close_bench [TABLES_DIR]
// TABLES_DIR holds the built tables; by default build/bin, where the build puts them.
#include "app/about_splash.h"
#include "app/engine_catalogue.h"
#include "app/font_substitutes.h"
#include "app/main_window.h"
#include "app/record_navigator.h"
#include "bench/window_timing.h"
#include "dbaccess/session_list.h"
#include "tools/common/catalogue_schema.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

using namespace window_timing;

namespace {

double Now() { return std::chrono::duration<double, std::milli>(TClock::now().time_since_epoch()).count(); }

// The program as main() runs it: the splash, the window on the tables, the message loop; a
// search, then the Close button. Prints the steady clock at the click and after each step
// of the end, for the parent to measure up to the process's exit.
int RunProgram(QApplication& app, const QString& tables, const QString& settings) {
  std::unique_ptr<TfAboutSplash> splash = TfAboutSplash::ShowSplash();
  QApplication::setApplicationName(QStringLiteral("Pellomar"));
  {
    QDir::setCurrent(tables);
    TfMain window(MakeEngineCatalogue(tables.toStdString(), quarry::tools::kCataloguePassword), QuietNotifier(),
                  settings.toStdString());
    window.SetSplash(std::move(splash));
    window.show();
    QTimer::singleShot(0, &window, [&window] { window.btnShowResults->click(); });
    QTimer::singleShot(700, &window, [&window] {
      std::printf("click %.3f\n", Now());
      std::fflush(stdout);
      window.btnClose->click();
    });
    app.exec();
    std::printf("loop-ended %.3f\n", Now());
  }
  std::printf("window-destroyed %.3f\n", Now());
  quarry::Sessions().DeactivateAll();
  std::printf("deactivated %.3f\n", Now());
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  quarry::Sessions();
  QApplication app(argc, argv);
  InstallFontSubstitutions();

  if (argc > 2 && QByteArray(argv[1]) == "--program") {
    return RunProgram(app, QString::fromLocal8Bit(argv[2]), QDir::temp().filePath(QStringLiteral("close_bench.INI")));
  }
  const QString tables =
      QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(PELLOMAR_BINARY_DIR "/bin")).absolutePath();
  if (!HasTables(tables)) {
    std::printf("close_bench: no tables in %s; skipped\n", qPrintable(tables));
    return 0;
  }
  std::printf("Pellomar closing on the tables in %s\n", qPrintable(tables));
  const QString settings = QDir::temp().filePath(QStringLiteral("close_bench.INI"));

  constexpr int kRuns = 9;
  std::vector<TTime> closing, destroying, deactivating, total;
  for (int run = 0; run < kRuns; ++run) {
    StartIn(tables);
    auto window = std::make_unique<TfMain>(MakeEngineCatalogue(tables.toStdString(), quarry::tools::kCataloguePassword),
                                           QuietNotifier(), settings.toStdString());
    window->show();
    QApplication::processEvents();
    window->btnShowResults->click();
    QSignalSpy refreshed(window.get(), &TfMain::CurrentRecordRefreshed);
    window->dbnav->Next();
    if (!refreshed.wait(2000)) std::printf("close_bench: the panel was not refreshed\n");
    if (run == 0) std::printf("  %d films listed\n", window->cds.RecordCount());

    const TStopwatch all;
    const TStopwatch closeWatch;
    window->btnClose->click();
    QApplication::processEvents();
    closing.push_back(closeWatch.Elapsed());

    const TStopwatch destroyWatch;
    window.reset();
    destroying.push_back(destroyWatch.Elapsed());

    const TStopwatch deactivateWatch;
    quarry::Sessions().DeactivateAll();
    deactivating.push_back(deactivateWatch.Elapsed());
    total.push_back(all.Elapsed());
  }
  // The whole program, one process a run: the Close button until the process has ended, Qt's
  // own teardown included.
  std::vector<TTime> program;
  for (int run = 0; run < kRuns; ++run) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--program"), tables});
    if (!child.waitForFinished(30000) || child.exitCode() != 0) {
      std::printf("close_bench: the program run failed\n");
      return 1;
    }
    const double ended = Now();
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
      if (line.startsWith("click ")) program.push_back({ended - line.mid(6).toDouble(), 0});
    }
  }

  Report("close: Close button, the window hidden", closing);
  Report("close: the window destroyed", destroying);
  Report("close: the engine's sessions deactivated", deactivating);
  // What the user waits for: judged on the wall time, since a wait costs no CPU.
  Report("close: from the Close button to the end", total, 100, true);
  Report("program: from the Close button to the process's exit", program, 100, true);
  QFile::remove(settings);
  return 0;
}
