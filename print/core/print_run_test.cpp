// Print runs: page numbers and ranges, the order pages are produced and output in, the run
// result on completion, cancel, failure and user abort, and the elapsed-time texts.
#include "print/core/print_run.h"

#include "print/core/gpr_error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gpr {
namespace {

// A report of `pages` pages, `across` horizontal parts each; records every page built.
class TFakePages : public TgprPageSource {
 public:
  TFakePages(int pages, int across) : pages_(pages), across_(across) {}
  int PagesAcross() const override { return across_; }
  bool BuildPage(TgprPageId page, std::vector<std::string>& lines) override {
    lines.clear();
    if (page.Page > pages_) return false;
    built.push_back(page);
    current_ = page.Page;
    lines.push_back("page " + std::to_string(page.Page) + "-" + std::to_string(page.Across));
    return true;
  }
  bool DataEnded() const override { return current_ >= pages_; }
  int RowsDone() const override { return current_ * 10; }
  int RowCount() const override { return pages_ * 10; }

  std::vector<TgprPageId> built;

 private:
  int pages_;
  int across_;
  int current_ = 0;
};

class TRecordingChannel : public TgprOutputChannel {
 public:
  TgprOpenResult Open() override {
    opened = true;
    return cancelOpen ? TgprOpenResult::Cancelled : TgprOpenResult::Opened;
  }
  void WritePage(const std::vector<std::string>& lines, bool firstPage) override {
    if (failAtPage == static_cast<int>(pages.size()) + 1) throw eGprPrtError("disk gone");
    pages.push_back(lines.front());
    firsts.push_back(firstPage);
  }
  void Close() override { closed = true; }
  void Abort() noexcept override { aborted = true; }

  bool cancelOpen = false;
  int failAtPage = 0;
  bool opened = false, closed = false, aborted = false;
  std::vector<std::string> pages;
  std::vector<bool> firsts;
};

class TAbortAfter : public TgprRunMonitor {
 public:
  explicit TAbortAfter(int pages) : pages_(pages) {}
  bool PageDone(TgprActivity activity, TgprPageId, int, int) override {
    activities.push_back(activity);
    return ++seen_ < pages_;
  }
  void RunFinished(const TgprRunSummary& summary) override { finished = summary; }
  std::vector<TgprActivity> activities;
  TgprRunSummary finished;

 private:
  int pages_;
  int seen_ = 0;
};

TEST(PageNumberTest, ParsesWholePagesAndHorizontalParts) {
  struct TCase {
    const char* Text;
    bool Valid;
    TgprPagePos Pos;
  };
  const TCase cases[] = {
      {"4", true, {0, 4}}, {" 12 ", true, {0, 12}}, {"1-3", true, {3, 1}}, {"5 - 2", true, {2, 5}},
      {"", false, {}},     {"0", false, {}},        {"-1", false, {}},     {"3-", false, {}},
      {"3-0", false, {}},  {"a", false, {}},        {"1-2-3", false, {}},  {"2x", false, {}},
  };
  for (const TCase& c : cases) {
    const auto parsed = ParsePageNumber(c.Text);
    EXPECT_EQ(parsed.has_value(), c.Valid) << c.Text;
    if (parsed && c.Valid) {
      EXPECT_EQ(*parsed, c.Pos) << c.Text;
    }
  }
}

TEST(PageNumberTest, MessagesShowExamplesForThePagesAcross) {
  EXPECT_EQ(InvalidPageNumberMessage(1), "Page number is invalid\rExamples:\r4");
  EXPECT_EQ(InvalidPageNumberMessage(2), "Page number is invalid\rExamples:\r4\r1-3\r5-2");
  EXPECT_EQ(FromAfterToMessage(), "\"From Page#\" must be less than or equal \"To Page#\"");
  EXPECT_TRUE(PageRangeReversed({0, 2}, {0, 1}));
  EXPECT_TRUE(PageRangeReversed({3, 2}, {2, 2}));
  EXPECT_FALSE(PageRangeReversed({3, 2}, {0, 2}));  // up to the page's last part
  EXPECT_FALSE(PageRangeReversed({0, 2}, {1, 2}));
  EXPECT_FALSE(PageRangeReversed({0, 1}, {0, 1}));
}

TEST(PageNumberTest, PrintWhatChoosesTheRange) {
  TgprReportSettings settings;
  settings.PrintWhat = pwTestPage;
  EXPECT_EQ(PageRangeFor(settings), (TgprPageRange{{1, 1}, {1, 1}}));
  settings.PrintWhat = pwPageRange;
  settings.PageRangeFrom = {2, 3};
  settings.PageRangeTo = {0, 5};
  EXPECT_EQ(PageRangeFor(settings), (TgprPageRange{{2, 3}, {0, 5}}));
  settings.PrintWhat = pwSelectedRows;
  EXPECT_EQ(PageRangeFor(settings), (TgprPageRange{{1, 1}, {0, 32000}}));
  settings.PrintWhat = pwEntireGrid;
  EXPECT_EQ(PageRangeFor(settings), (TgprPageRange{{0, 1}, {0, 99999}}));
}

TEST(PageNumberTest, DestinationOfTheSettings) {
  TgprReportSettings settings;
  EXPECT_EQ(DestinationOf(settings), TgprDestination::Printer);
  settings.FastPrinterText = true;
  EXPECT_EQ(DestinationOf(settings), TgprDestination::Printer);  // not allowed
  settings.AllowFastPrinterText = true;
  EXPECT_EQ(DestinationOf(settings), TgprDestination::FastPrinterText);
  settings.OutputDest = odTextFile;
  EXPECT_EQ(DestinationOf(settings), TgprDestination::TextFile);
  settings.OutputFileName = "/tmp/Films.PDF";
  EXPECT_EQ(DestinationOf(settings), TgprDestination::PdfFile);
  settings.OutputDest = odExport;
  EXPECT_EQ(DestinationOf(settings), TgprDestination::Export);
  settings.OutputDest = static_cast<TgprOutputDest>(7);
  try {
    DestinationOf(settings);
    FAIL() << "no destination accepted";
  } catch (const eGprIntError& error) {
    EXPECT_STREQ(error.what(),
                 "GridPrinter! Internal Error: Open Output Internal Error **\rOutput destination not specified.");
  }
}

TEST(PrintRunTest, EntireReportGoesAcrossThenDown) {
  TFakePages source(2, 2);
  TRecordingChannel channel;
  TgprPrintRun run({{0, 1}, {0, 99999}});
  EXPECT_EQ(run.Run(source, channel), rrCompleted);
  EXPECT_EQ(channel.pages, (std::vector<std::string>{"page 1-1", "page 1-2", "page 2-1", "page 2-2"}));
  EXPECT_EQ(channel.firsts, (std::vector<bool>{true, false, false, false}));
  EXPECT_TRUE(channel.closed);
  EXPECT_FALSE(channel.aborted);
  EXPECT_EQ(run.Status(), rsCompleted);
  EXPECT_EQ(run.PagesPrinted(), 4);
}

TEST(PrintRunTest, PagesBeforeTheRangeAreScannedNotOutput) {
  TFakePages source(5, 2);
  TRecordingChannel channel;
  TAbortAfter monitor(100);
  TgprPrintRun run({{2, 3}, {2, 3}});
  EXPECT_EQ(run.Run(source, channel, &monitor), rrCompleted);
  EXPECT_EQ(channel.pages, (std::vector<std::string>{"page 3-2"}));
  EXPECT_EQ(source.built, (std::vector<TgprPageId>{{1, 1}, {1, 2}, {2, 3}}));
  EXPECT_EQ(monitor.activities, (std::vector<TgprActivity>{acScanning, acScanning, acPrinting}));
  EXPECT_EQ(run.PagesPrinted(), 1);
}

TEST(PrintRunTest, RangeEndsAtTheDataEnd) {
  TFakePages source(3, 1);
  TRecordingChannel channel;
  TgprPrintRun run({{0, 2}, {0, 99999}});
  EXPECT_EQ(run.Run(source, channel), rrCompleted);
  EXPECT_EQ(channel.pages, (std::vector<std::string>{"page 2-1", "page 3-1"}));
  EXPECT_EQ(source.built.size(), 3u);  // never asks past the last page
}

TEST(PrintRunTest, TestPagePrintsTheFirstPartOfTheFirstPage) {
  TFakePages source(3, 3);
  TRecordingChannel channel;
  TgprPrintRun run({{1, 1}, {1, 1}});
  EXPECT_EQ(run.Run(source, channel), rrCompleted);
  EXPECT_EQ(channel.pages, (std::vector<std::string>{"page 1-1"}));
}

TEST(PrintRunTest, CancelledFileQuestionGivesResultTwo) {
  TFakePages source(3, 1);
  TRecordingChannel channel;
  channel.cancelOpen = true;
  TgprPrintRun run({{0, 1}, {0, 99999}});
  EXPECT_EQ(run.Run(source, channel), rrFileCancelled);
  EXPECT_TRUE(channel.pages.empty());
  EXPECT_TRUE(source.built.empty());
  EXPECT_FALSE(channel.closed);
}

TEST(PrintRunTest, FailureAbortsTheChannelAndKeepsTheMessage) {
  TFakePages source(4, 1);
  TRecordingChannel channel;
  channel.failAtPage = 2;
  TgprPrintRun run({{0, 1}, {0, 99999}});
  EXPECT_EQ(run.Run(source, channel), rrTerminated);
  EXPECT_TRUE(channel.aborted);
  EXPECT_FALSE(channel.closed);
  EXPECT_EQ(run.Status(), rsTerminatedWithError);
  EXPECT_EQ(run.ErrorMessage(), "GridPrinter! Printing Error: disk gone");
}

TEST(PrintRunTest, UserAbortEndsTheRunBeforeTheNextPage) {
  TFakePages source(10, 1);
  TRecordingChannel channel;
  TAbortAfter monitor(2);
  TgprPrintRun run({{0, 1}, {0, 99999}});
  EXPECT_EQ(run.Run(source, channel, &monitor), rrTerminated);
  EXPECT_EQ(channel.pages.size(), 2u);
  EXPECT_EQ(source.built.size(), 2u);
  EXPECT_TRUE(channel.aborted);
  EXPECT_TRUE(run.ErrorMessage().empty());
  EXPECT_EQ(monitor.finished.Status, rsTerminatedWithError);
}

TEST(PrintRunTest, WordsAndElapsedTimes) {
  EXPECT_EQ(ActivityWord(acExporting, true), "Exporting");
  EXPECT_EQ(ActivityWord(acExporting, false), "Export");
  EXPECT_EQ(ActivityWord(static_cast<TgprActivity>(42), true), "?");
  EXPECT_EQ(RunStatusWords(rsTerminatedWithError), " --Terminated With Error--");
  EXPECT_EQ(FormatElapsed(std::chrono::duration<double>(1.5)), "1.500000 seconds");
  EXPECT_EQ(FormatElapsed(std::chrono::duration<double>(125)), "2:05 minutes");
  EXPECT_EQ(FormatElapsed(std::chrono::duration<double>(3725)), "1:02:05 hours");
  EXPECT_EQ(StatisticsText(3, std::chrono::duration<double>(125), false),
            "3 Pages Printed. Elapsed Time: 2:05 minutes");
  EXPECT_EQ(StatisticsText(3, std::chrono::duration<double>(125), true), "Elapsed Time: 2:05 minutes");
}

}  // namespace
}  // namespace gpr
