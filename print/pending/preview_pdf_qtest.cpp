// Printing from the preview to a PDF file gives the pages of the print run. Not built yet:
// it needs the PDF output channel. To enable it, move it to print/, install that channel
// where marked with SetPrinterChannelFactory (report_run.h), and let its settings choose a
// PDF file as the channel expects.
//
// Checks the PDF with poppler-utils (pdfinfo, pdftotext -layout).
#include "print/core/layout_test_support.h"
#include "print/core/page_builder.h"
#include "print/preview_window.h"
#include "print/report_run.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace gpr;

class PreviewPdfTest : public QObject {
  Q_OBJECT

 private slots:
  void printingAllPagesToPdfGivesTheRunsPages() {
    auto rows = gpr::testing::VideoRows(gpr::testing::SourceDir() + "/catalogue");
    if (!rows) QSKIP("the shipped catalogue's videos.csv is missing");
    gpr::testing::TCatalogueResult catalogue(std::move(rows), "Title");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));

    TgprReportSettings settings;
    settings.OutputDest = odPrinter;
    settings.OutputFileName = pdf.toStdString();
    TObjInfo objInfo = catalogue.ObjInfo(settings);
    // Install the PDF channel here, e.g. SetPrinterChannelFactory(<the PDF channel's factory>).

    TfmGprPreview preview(settings, objInfo);
    preview.show();
    preview.PrintChoiceBox()->setCurrentText(QString::fromLatin1(kPrintAllPages));
    const TgprRunOutcome outcome = preview.PrintPages();
    QCOMPARE(outcome.Result, rrCompleted);

    TgprReportSettings copy = settings;
    TObjInfo copyInfo = catalogue.ObjInfo(copy);
    TgprPrintSettings print;
    const TgprPrinterPage printer = PrinterPageFor(copy);
    TgprPageBuilder builder(copy, copyInfo, print, &printer);
    QCOMPARE(outcome.PagesPrinted, builder.PageCount() * builder.PagesAcross());

    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY(info.waitForFinished());
    QVERIFY(
        info.readAllStandardOutput().contains(QStringLiteral("Pages:          %1").arg(outcome.PagesPrinted).toUtf8()));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-f"), QStringLiteral("1"),
                                             QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished());
    const QString firstPage = QString::fromUtf8(text.readAllStandardOutput());
    for (const std::string& line : builder.Page(1, 1).Lines) {
      const QString words = QString::fromStdString(line).simplified();
      if (!words.isEmpty() && words.at(0).isLetterOrNumber())
        QVERIFY2(firstPage.contains(words.left(12)), line.c_str());
    }
  }
};

QTEST_MAIN(PreviewPdfTest)
#include "preview_pdf_qtest.moc"
