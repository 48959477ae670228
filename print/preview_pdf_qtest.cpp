// Printing from the preview gives the pages of the print run: to a text file and to a PDF
// file (a text file destination named ".pdf"), page p of the PDF reads as page p of the text
// file, and both are the pages the page builder lays out for the run.
//
// Checks the PDF with poppler-utils (pdfinfo, pdftotext).
#include "print/core/layout_test_support.h"
#include "print/core/page_builder.h"
#include "print/memo_date_format.h"
#include "print/pdf_test_support.h"
#include "print/preview_window.h"
#include "print/report_run.h"

#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace gpr;

namespace {

std::string ReadAll(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

class PreviewPdfTest : public QObject {
  Q_OBJECT

  std::unique_ptr<gpr::testing::TCatalogueResult> catalogue_;
  QTemporaryDir dir_;

  // Prints every page from a preview of a text file destination named fileName.
  TgprRunOutcome PrintFromPreview(const QString& fileName, TgprReportSettings& settings) {
    settings = TgprReportSettings();
    settings.OutputDest = odTextFile;
    settings.OutputFileName = dir_.filePath(fileName).toStdString();
    settings.PauseAfterPrinting = false;
    TObjInfo objInfo = catalogue_->ObjInfo(settings);
    TfmGprPreview preview(settings, objInfo);
    preview.show();
    preview.NextPage();
    preview.PrintChoiceBox()->setCurrentText(QString::fromLatin1(kPrintAllPages));
    const TgprRunOutcome outcome = preview.PrintPages();
    // The preview stays where it was.
    [&] { QCOMPARE(preview.CurrentPage(), 2); }();
    return outcome;
  }

 private slots:
  void initTestCase() {
    auto rows = gpr::testing::VideoRows(gpr::testing::SourceDir() + "/catalogue");
    if (!rows) QSKIP("the shipped catalogue's videos.csv is missing");
    catalogue_ = std::make_unique<gpr::testing::TCatalogueResult>(std::move(rows), "Title");
    // Every run and every expected page carry the same date and time.
    SetMemoClock([] { return QDateTime(QDate(2026, 12, 10), QTime(9, 30)); });
    QVERIFY(dir_.isValid());
  }

  void printingAllPagesToTextAndPdfGivesTheRunsPages() {
    TgprReportSettings textSettings;
    const TgprRunOutcome text = PrintFromPreview(QStringLiteral("Rpt.Txt"), textSettings);
    QCOMPARE(text.Result, rrCompleted);
    TgprReportSettings pdfSettings;
    const TgprRunOutcome pdf = PrintFromPreview(QStringLiteral("Rpt.pdf"), pdfSettings);
    QVERIFY2(pdf.ErrorMessage.empty(), pdf.ErrorMessage.c_str());
    QCOMPARE(pdf.Result, rrCompleted);

    // The pages of the run, laid out as the run lays them out.
    TgprReportSettings copy = textSettings;
    TObjInfo copyInfo = catalogue_->ObjInfo(copy);
    TgprPrintSettings print;
    SetMemoDateTime(copy, print);
    TgprPageBuilder builder(copy, copyInfo, print);
    const int pages = builder.PageCount() * builder.PagesAcross();
    QCOMPARE(text.PagesPrinted, pages);
    QCOMPARE(pdf.PagesPrinted, pages);

    const std::string textFile = ReadAll(QString::fromStdString(textSettings.OutputFileName));
    std::string first;
    for (const std::string& line : builder.Page(1, 1).Lines) first += line + "\r\n";
    QVERIFY(textFile.rfind(first, 0) == 0);

    QCOMPARE(gpr::testing::PdfPageCount(ReadAll(QString::fromStdString(pdfSettings.OutputFileName)),
                                        dir_.path().toStdString()),
             pages);
    const auto pdfPages =
        gpr::testing::PdfPages(ReadAll(QString::fromStdString(pdfSettings.OutputFileName)), dir_.path().toStdString());
    const auto textPages = gpr::testing::SplitPages(textFile);
    QCOMPARE(static_cast<int>(pdfPages.size()), pages);
    // pdftotext closes up runs of blank lines (above a page's last lines): compare the lines with text.
    const auto withText = [](std::vector<std::string> lines) {
      lines.erase(std::remove(lines.begin(), lines.end(), std::string()), lines.end());
      return lines;
    };
    for (int p = 0; p < pages; ++p) {
      const auto pdfPage = withText(pdfPages[static_cast<size_t>(p)]);
      const auto textPage = withText(textPages[static_cast<size_t>(p)]);
      QCOMPARE(pdfPage.size(), textPage.size());
      for (size_t l = 0; l < textPage.size(); ++l) {
        QVERIFY2(pdfPage[l] == textPage[l], qPrintable(QStringLiteral("page %1 line %2:\n%3\n%4")
                                                           .arg(p + 1)
                                                           .arg(l + 1)
                                                           .arg(QString::fromStdString(pdfPage[l]))
                                                           .arg(QString::fromStdString(textPage[l]))));
      }
    }
  }
};

QTEST_MAIN(PreviewPdfTest)
#include "preview_pdf_qtest.moc"
