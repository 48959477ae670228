// The printer and PDF channels: jobs printed through Qt on a private CUPS scheduler and PDF
// files, read back with pdftotext and compared page for page with the text file of the same
// run; copies, page ranges, abort, a setting the queue cannot do, a queue removed during the
// run; and the report font.
#include "print/printer_output.h"

#include "print/core/cups_test_fixture.h"
#include "print/core/gpr_error.h"
#include "print/core/page_source_test_support.h"
#include "print/core/text_file_output.h"
#include "print/output_channels.h"
#include "print/pdf_output.h"
#include "print/pdf_test_support.h"
#include "print/report_font.h"
#include "tools/common/csv_reader.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace gpr {
namespace {

namespace fs = std::filesystem;
using testing::PdfPageCount;
using testing::PdfPages;
using testing::RunCommand;
using testing::SplitPages;
using testing::TCupsTestServer;
using testing::TTablePageSource;

TTablePageSource Report(int rows) {
  std::vector<std::vector<std::string>> data;
  for (int i = 1; i <= rows; ++i) {
    data.push_back({std::to_string(i), "Film n\xC3\xBAmero " + std::to_string(i), i % 2 ? "PG-13" : "R"});
  }
  return TTablePageSource({"Id", "Title", "Rating"}, {6, 30, 6}, std::move(data), 20, 80);
}

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/gprprint.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<std::vector<std::string>> TextPages(TgprPageSource& source, TgprPageRange range) {
    TgprTextFileOutput output((dir_ / "Rpt.Txt").string(), feOverwrite, true);
    TgprPrintRun run(range);
    EXPECT_EQ(run.Run(source, output), rrCompleted);
    return SplitPages(TCupsTestServer::ReadFile((dir_ / "Rpt.Txt").string()));
  }

  fs::path dir_;
};

class PrinterOutputTest : public OutputTest {
 protected:
  static void SetUpTestSuite() {
    server_ = new TCupsTestServer;
    started_ = server_->Start() && server_->AddQueue("pdfq", true);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!started_) GTEST_SKIP() << "no private cupsd: " << server_->Reason();
    OutputTest::SetUp();
  }

  // Prints the range of a fresh report on queue; returns the jobs' captured copies.
  std::vector<std::string> Print(const std::string& queue, int rows, TgprPageRange range, TgprPrinterSetup setup,
                                 TgprRunResult expected = rrCompleted, TgprRunMonitor* monitor = nullptr) {
    const std::size_t before = server_->Captured(queue).size();
    auto source = Report(rows);
    TgprPrinterOutput output(queue, "Report: Films", TgprTextStyle{}, setup);
    TgprPrintRun run(range);
    EXPECT_EQ(run.Run(source, output, monitor), expected) << run.ErrorMessage();
    lastMessage_ = run.ErrorMessage();
    EXPECT_TRUE(server_->WaitIdle());
    auto captured = server_->Captured(queue);
    return {captured.begin() + static_cast<long>(before), captured.end()};
  }

  static inline TCupsTestServer* server_ = nullptr;
  static inline bool started_ = false;
  std::string lastMessage_;
};

TEST_F(PrinterOutputTest, JobIsAPdfWhosePagesAreTheTextPages) {
  const auto jobs = Print("pdfq", 40, {{0, 1}, {0, 99999}}, {});
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].starts_with("%PDF-"));
  auto source = Report(40);
  const auto text = TextPages(source, {{0, 1}, {0, 99999}});
  ASSERT_EQ(text.size(), 3u);
  EXPECT_EQ(PdfPages(jobs[0], dir_), text);
}

TEST_F(PrinterOutputTest, CopiesAreMadeOnce) {
  TgprPrinterSetup setup;
  setup.Copies = 3;
  const auto jobs = Print("pdfq", 40, {{0, 1}, {0, 99999}}, setup);
  int pages = 0;
  for (const std::string& job : jobs) pages += PdfPageCount(job, dir_);
  EXPECT_EQ(pages, 3 * 3) << jobs.size() << " captured";
}

TEST_F(PrinterOutputTest, PageRangePrintsExactlyThosePages) {
  const auto jobs = Print("pdfq", 100, {{0, 2}, {0, 4}}, {});
  ASSERT_EQ(jobs.size(), 1u);
  auto source = Report(100);
  const auto all = TextPages(source, {{0, 1}, {0, 99999}});
  ASSERT_GE(all.size(), 4u);
  EXPECT_EQ(PdfPages(jobs[0], dir_), std::vector(all.begin() + 1, all.begin() + 4));
}

TEST_F(PrinterOutputTest, AbortedRunPrintsNothing) {
  struct TAbortAtTwo : TgprRunMonitor {
    bool PageDone(TgprActivity, TgprPageId page, int, int) override { return page.Page < 2; }
  } monitor;
  EXPECT_TRUE(Print("pdfq", 100, {{0, 1}, {0, 99999}}, {}, rrTerminated, &monitor).empty());
}

TEST_F(PrinterOutputTest, UnsupportedDuplexIsRefusedBeforePrinting) {
  TgprPrinterSetup setup;
  setup.Duplex = QPrinter::DuplexLongSide;
  const auto jobs = Print("pdfq", 10, {{0, 1}, {0, 99999}}, setup, rrTerminated);
  EXPECT_TRUE(jobs.empty());
  EXPECT_EQ(lastMessage_,
            "GridPrinter! Printing Error: Printer \"pdfq\" cannot print on both sides of the paper (duplex)");
}

// A raw queue names no paper sizes, neither to Qt nor to the spooler: the job is sent with
// the size asked for, as the queue takes any document.
TEST_F(PrinterOutputTest, APaperSizeOnAQueueThatNamesNoSizesIsPrinted) {
  for (const QPageSize& paper : {QPageSize(QPageSize::A3), QPageSize(QSizeF(100, 150), QPageSize::Millimeter)}) {
    SCOPED_TRACE(paper.name().toStdString());
    TgprPrinterSetup setup;
    setup.PaperSize = paper;
    const auto jobs = Print("pdfq", 10, {{0, 1}, {0, 99999}}, setup, rrCompleted);
    ASSERT_EQ(jobs.size(), 1u) << lastMessage_;
    const fs::path file = dir_ / "paper.pdf";
    std::ofstream(file, std::ios::binary) << jobs[0];
    const std::string info = RunCommand("pdfinfo " + file.string() + " 2>/dev/null");
    const QSizeF points = paper.size(QPageSize::Point);
    EXPECT_NE(info.find(std::to_string(static_cast<int>(points.width())) + " x " +
                        std::to_string(static_cast<int>(points.height())) + " pts"),
              std::string::npos)
        << info;
  }
}

TEST_F(PrinterOutputTest, QueueRemovedDuringTheRun) {
  ASSERT_TRUE(server_->AddQueue("vanishing"));
  struct TRemoveAtTwo : TgprRunMonitor {
    TCupsTestServer* Server = nullptr;
    bool PageDone(TgprActivity, TgprPageId page, int, int) override {
      if (page.Page == 2) Server->RemoveQueue("vanishing");
      return true;
    }
  } monitor;
  monitor.Server = server_;
  auto source = Report(100);
  TgprPrinterOutput output("vanishing", "Report: Gone", TgprTextStyle{});
  TgprPrintRun run({{0, 1}, {0, 99999}});
  EXPECT_EQ(run.Run(source, output, &monitor), rrTerminated);
  EXPECT_EQ(run.ErrorMessage(), "GridPrinter! Printing Error: Printer \"vanishing\" is no longer available");
  EXPECT_TRUE(server_->Captured("vanishing").empty());
}

TEST_F(OutputTest, ReportFontIsDejaVuSansMonoWithBoxDrawing) {
  EXPECT_TRUE(TgprLineDrawFont::Load());
  EXPECT_EQ(TgprLineDrawFont::Family(), "DejaVu Sans Mono");
  const QFont font = ReportFont(kGprReportFontFamily, 10, kGprFontBold);
  const QFontInfo info(font);
  EXPECT_EQ(info.family(), "DejaVu Sans Mono");
  EXPECT_TRUE(info.fixedPitch());
  EXPECT_TRUE(info.bold());
  const QFontMetrics metrics(font);
  for (char32_t c : {U'─', U'│', U'┌', U'┼', U'┘'}) EXPECT_TRUE(metrics.inFontUcs4(c)) << static_cast<int>(c);
  EXPECT_EQ(metrics.horizontalAdvance(QStringLiteral("─")), metrics.horizontalAdvance(QStringLiteral("M")));
}

TEST_F(OutputTest, PdfFilePagesAreTheTextPagesWithTheFontEmbedded) {
  auto source = Report(70);
  const fs::path pdf = dir_ / "Rpt.pdf";
  TgprPdfOutput output(pdf.string(), feOverwrite, "Films", TgprTextStyle{},
                       PageLayoutOf(QPageSize(QPageSize::A4), QPageLayout::Portrait, 250, 250, 250, 250));
  TgprPrintRun run({{0, 1}, {0, 99999}});
  ASSERT_EQ(run.Run(source, output), rrCompleted) << run.ErrorMessage();
  const std::string bytes = TCupsTestServer::ReadFile(pdf.string());
  auto again = Report(70);
  EXPECT_EQ(PdfPages(bytes, dir_), TextPages(again, {{0, 1}, {0, 99999}}));
  const std::string fonts = RunCommand("pdffonts " + pdf.string() + " 2>/dev/null");
  EXPECT_NE(fonts.find("DejaVuSansMono"), std::string::npos) << fonts;
  // Every font embedded: the "emb" column, fifth from the end, says "yes" on every font's line.
  std::istringstream lines(fonts);
  std::string line;
  int fontLines = 0;
  for (int n = 0; std::getline(lines, line); ++n) {
    if (n < 2 || line.empty()) continue;
    std::istringstream words(line);
    std::vector<std::string> tokens{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    ASSERT_GE(tokens.size(), 5u) << line;
    EXPECT_EQ(tokens[tokens.size() - 5], "yes") << line;
    ++fontLines;
  }
  EXPECT_GE(fontLines, 1);
}

TEST_F(OutputTest, WithoutAPrinterTheRunSaysWhatToChoose) {
  auto source = Report(5);
  TgprPrinterOutput output("", "Report: Films", TgprTextStyle{});
  TgprPrintRun run({{0, 1}, {0, 99999}});
  EXPECT_EQ(run.Run(source, output), rrTerminated);
  EXPECT_EQ(run.ErrorMessage(),
            "GridPrinter! Printing Error: No printer is installed. Choose \"Text File\" as the output destination; a "
            "file name ending in \".pdf\" makes a PDF file.");
}

TEST_F(OutputTest, SettingsChooseTheChannel) {
  TgprReportSettings settings;
  settings.OutputDest = odTextFile;
  settings.OutputFileName = (dir_ / "films.txt").string();
  auto source = Report(30);
  TgprPrintRun run(PageRangeFor(settings));
  ASSERT_EQ(run.Run(source, *MakeOutputChannel(settings)), rrCompleted) << run.ErrorMessage();
  const std::string text = TCupsTestServer::ReadFile(settings.OutputFileName);
  EXPECT_TRUE(text.starts_with("┌──────┬")) << text.substr(0, 40);

  settings.OutputFileName = (dir_ / "films.Pdf").string();
  auto again = Report(30);
  ASSERT_EQ(run.Run(again, *MakeOutputChannel(settings)), rrCompleted) << run.ErrorMessage();
  const std::string pdf = TCupsTestServer::ReadFile(settings.OutputFileName);
  EXPECT_TRUE(pdf.starts_with("%PDF-"));
  EXPECT_EQ(PdfPages(pdf, dir_), SplitPages(text));

  settings.OutputDest = odExport;
  EXPECT_THROW(MakeOutputChannel(settings), eGprIntError);
}

// Every page of a report of the shared catalogue's films: text-file page p = PDF page p.
TEST_F(OutputTest, CatalogueTextAndPdfPagesAgree) {
  const char* shared = std::getenv("PELLOMAR_SHARED_CATALOGUE");
  const fs::path videos = shared ? fs::path(shared) / "videos.csv" : fs::path();
  if (!shared || !fs::exists(videos)) GTEST_SKIP() << "no shared catalogue (PELLOMAR_SHARED_CATALOGUE)";
  const std::string text = TCupsTestServer::ReadFile(videos.string());
  const auto records = quarry::tools::ReadAllCsv(text);
  std::vector<std::vector<std::string>> rows;
  for (std::size_t i = 1; i < records.size(); ++i) rows.push_back(records[i].Fields);
  auto makeSource = [&] { return TTablePageSource(records[0].Fields, {7, 40, 5, 6, 6}, rows, 60, 80); };
  auto textSource = makeSource();
  const auto textPages = TextPages(textSource, {{0, 1}, {0, 99999}});
  auto pdfSource = makeSource();
  const fs::path pdf = dir_ / "catalogue.pdf";
  TgprPdfOutput output(pdf.string(), feOverwrite, "Films", TgprTextStyle{},
                       PageLayoutOf(QPageSize(QPageSize::A4), QPageLayout::Portrait, 250, 250, 250, 250));
  TgprPrintRun run({{0, 1}, {0, 99999}});
  ASSERT_EQ(run.Run(pdfSource, output), rrCompleted) << run.ErrorMessage();
  const auto pdfPages = PdfPages(TCupsTestServer::ReadFile(pdf.string()), dir_);
  ASSERT_EQ(pdfPages.size(), textPages.size());
  for (std::size_t p = 0; p < textPages.size(); ++p) {
    ASSERT_EQ(pdfPages[p].size(), textPages[p].size()) << "page " << p + 1;
    for (std::size_t l = 0; l < textPages[p].size(); ++l) {
      ASSERT_EQ(pdfPages[p][l], textPages[p][l]) << "page " << p + 1 << " line " << l + 1;
    }
  }
}

}  // namespace
}  // namespace gpr

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
