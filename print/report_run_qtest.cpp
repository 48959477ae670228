// Runs started from the report options window, offscreen, over the shipped catalogue: the
// progress window during a run (suspend and abort, the final pause with its statistics), the
// export of the printed grid read back with a CSV reader, and the window snapshot in a PDF
// file or refused for a plain text file.
#include "print/options_window.h"

#include "dbaccess/name_compare.h"
#include "print/core/layout_test_support.h"
#include "print/pdf_test_support.h"
#include "print/progress_window.h"
#include "tools/common/csv_reader.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

using namespace gpr;
using gpr::testing::TCatalogueResult;

namespace {

// Calls step whenever the event loop runs until it returns true (polling every 10 ms).
void WhenReady(QObject* context, std::function<bool()> step) {
  auto* timer = new QTimer(context);
  QObject::connect(timer, &QTimer::timeout, context, [timer, step = std::move(step)] {
    if (step()) timer->deleteLater();
  });
  timer->start(10);
}

// Closes the next message box and keeps its text.
void CloseNextMessageBox(QObject* context, QString& text) {
  WhenReady(context, [&text] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return false;
    text = box->text();
    box->done(QMessageBox::Ok);
    return true;
  });
}

}  // namespace

class ReportRunTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TCatalogueResult> catalogue_;
  TgprReportSettings settings_;
  TObjInfo objInfo_;
  QTemporaryDir scratch_;

  std::unique_ptr<TfmGprMain> MakeWindow(TgprOutputDest dest, const QString& fileName) {
    settings_ = TgprReportSettings();
    settings_.OutputDest = dest;
    settings_.OutputFileName = scratch_.filePath(fileName).toStdString();
    QFile::remove(scratch_.filePath(fileName));
    settings_.PauseAfterPrinting = false;
    objInfo_ = catalogue_->ObjInfo(settings_);
    auto window = std::make_unique<TfmGprMain>(settings_, objInfo_);
    window->FillControls();
    window->show();
    return window;
  }

 private slots:
  void initTestCase() {
    auto rows = gpr::testing::VideoRows(gpr::testing::SourceDir() + "/catalogue");
    if (!rows) QSKIP("the shipped catalogue's videos.csv is missing");
    catalogue_ = std::make_unique<TCatalogueResult>(std::move(rows), "Title");
    QVERIFY(scratch_.isValid());
  }

  void suspendingAndAbortingARunLeavesNoFile() {
    auto window = MakeWindow(odTextFile, QStringLiteral("Aborted.Txt"));
    QString title, suspendedStatus;
    WhenReady(window.get(), [&] {
      auto* progress = window->findChild<TfmGprProgress*>();
      if (progress == nullptr || !progress->isVisible()) return false;
      title = progress->windowTitle();
      progress->CancelButton()->click();
      WhenReady(progress, [progress, &suspendedStatus] {
        if (!progress->IsSuspended()) return false;
        suspendedStatus = progress->StatusText();
        progress->AbortButton()->click();
        return true;
      });
      return true;
    });
    const TgprRunOutcome outcome = window->PrintClick();
    QCOMPARE(title, QStringLiteral("Report:"));
    QCOMPARE(suspendedStatus, QStringLiteral("-- User Suspended Printing --"));
    QCOMPARE(outcome.Result, rrTerminated);
    QCOMPARE(window->LastRunResult(), 3);
    QVERIFY(!QFile::exists(QString::fromStdString(settings_.OutputFileName)));
  }

  void thePauseAfterPrintingShowsTheStatisticsUntilOk() {
    auto window = MakeWindow(odTextFile, QStringLiteral("Paused.Txt"));
    settings_.PauseAfterPrinting = true;
    QString pageText;
    WhenReady(window.get(), [&] {
      auto* progress = window->findChild<TfmGprProgress*>();
      if (progress == nullptr || !progress->OkButton()->isVisible()) return false;
      pageText = progress->PageText();
      progress->OkButton()->click();
      return true;
    });
    const TgprRunOutcome outcome = window->PrintClick();
    QCOMPARE(outcome.Result, rrCompleted);
    QVERIFY2(pageText.startsWith(QStringLiteral("%1 Pages Printed. Elapsed Time: ").arg(outcome.PagesPrinted)),
             qPrintable(pageText));
  }

  void exportWritesTheGridsRowsAsCsv() {
    auto window = MakeWindow(odExport, QStringLiteral("Rpt.ASC"));
    settings_.ExportFieldDelim = ",";
    settings_.ExportOnlyPrintableChrs = true;
    const TgprRunOutcome outcome = window->PrintClick();
    QVERIFY2(outcome.ErrorMessage.empty(), outcome.ErrorMessage.c_str());
    QCOMPARE(outcome.Result, rrCompleted);
    quarry::TClientDataSet& films = catalogue_->DataSet();
    QCOMPARE(outcome.PagesPrinted, films.RecordCount());

    const auto records = quarry::tools::ReadAllCsv(gpr::testing::ReadFile(settings_.OutputFileName));
    QCOMPARE(static_cast<int>(records.size()), films.RecordCount() + 1);
    const std::vector<std::string>& titles = records[0].Fields;
    const auto at = std::find(titles.begin(), titles.end(), "Title");
    QVERIFY(at != titles.end());
    const size_t title = static_cast<size_t>(at - titles.begin());
    const int titleField = 1;  // the result set's Title field
    for (int row = 0; row < films.RecordCount(); ++row) {
      const std::string expected(quarry::TrimmedView(films.AsStringAt(row, titleField)));
      QCOMPARE(records[static_cast<size_t>(row) + 1].Fields[title], expected);
    }
  }

  void theWindowSnapshotPrintsAPictureInAPdf() {
    QWidget form;
    form.setWindowTitle(QStringLiteral("Pellomar"));
    auto* layout = new QVBoxLayout(&form);
    layout->addWidget(new QLabel(QStringLiteral("A window to print"), &form));
    form.resize(320, 200);
    auto window = MakeWindow(odTextFile, QStringLiteral("Snapshot.pdf"));
    settings_.PrintWhat = pwWindowSnapshot;
    window->SetSnapshotForm(&form, "GprGridPrinter1");
    const TgprRunOutcome outcome = window->PrintClick();
    QVERIFY2(outcome.ErrorMessage.empty(), outcome.ErrorMessage.c_str());
    QCOMPARE(outcome.Result, rrCompleted);
    QCOMPARE(outcome.PagesPrinted, 1);
    QVERIFY(!form.isVisible());  // shown for the picture only
    const std::string pdf = gpr::testing::ReadFile(settings_.OutputFileName);
    QCOMPARE(gpr::testing::PdfPageCount(pdf, scratch_.path().toStdString()), 1);
    const std::string images = gpr::testing::RunCommand("pdfimages -list " + settings_.OutputFileName);
    QVERIFY2(images.find(" image ") != std::string::npos, images.c_str());
  }

  void aSnapshotNeedsAPictureDestinationAndAWindow_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("withForm");
    QTest::addColumn<QString>("message");
    QTest::newRow("text file") << "Snapshot.Txt" << true
                               << "TGprGridPrinter Setup Error\n\nAttempted to print snapshot without using printer as "
                                  "Output Destination";
    QTest::newRow("no form") << "Snapshot.pdf" << false
                             << "TGprGridPrinter Setup Error\n\nGprGridPrinter1 does not have a form";
  }
  void aSnapshotNeedsAPictureDestinationAndAWindow() {
    QFETCH(QString, fileName);
    QFETCH(bool, withForm);
    QFETCH(QString, message);
    QWidget form;
    auto window = MakeWindow(odTextFile, fileName);
    settings_.PrintWhat = pwWindowSnapshot;
    window->SetSnapshotForm(withForm ? &form : nullptr, "GprGridPrinter1");
    QString shown;
    CloseNextMessageBox(window.get(), shown);
    const TgprRunOutcome outcome = window->PrintClick();
    QCOMPARE(outcome.Result, rrTerminated);
    QCOMPARE(shown, message);
    QVERIFY(!QFile::exists(QString::fromStdString(settings_.OutputFileName)));
  }
};

QTEST_MAIN(ReportRunTest)
#include "report_run_qtest.moc"
