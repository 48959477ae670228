// A print run: which pages of a report are produced, in which order, sent to which output
// channel, with what result. TgprPrintRun drives a TgprPageSource (page_source.h) into a
// TgprOutputChannel (text file, raw spooler, printer, PDF) and reports every page to a
// TgprRunMonitor (the progress window), which can abort the run between two pages.
//
// Also here: the page range of `PrintWhat` and the parsing and checking of typed page
// numbers ("n" or "n-m"), the words of activities and statuses, and the elapsed-time text.
#pragma once

#include "print/core/page_source.h"
#include "print/core/print_settings.h"
#include "print/core/report_settings.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gpr {

// The activity's word during the run ("Printing") or after it ("Report"); "?" for others.
std::string_view ActivityWord(TgprActivity activity, bool during);

// " Inactive", " Active", " Completed Normally", " --Terminated With Error--", " User Cancelled".
std::string_view RunStatusWords(TgprRunStatus status);

// Result of a run: completed normally, cancelled at the output-file question, terminated.
enum TgprRunResult : int { rrCompleted = 1, rrFileCancelled = 2, rrTerminated = 3 };

// First and last page of a run. Across 0 in First means from the page's first horizontal
// part, in Last up to its last one.
struct TgprPageRange {
  TgprPagePos First{1, 1};
  TgprPagePos Last{0, 99999};
  bool operator==(const TgprPageRange&) const = default;
};

// The range a `PrintWhat` choice prints; a page range takes PageRangeFrom and PageRangeTo.
TgprPageRange PageRangeFor(const TgprReportSettings& settings);

// A typed page number: "n" (the whole page n, across 0) or "n-m" (page n, horizontal part m),
// blanks around the numbers allowed. nullopt when it is malformed or a number is below 1.
std::optional<TgprPagePos> ParsePageNumber(std::string_view text);
// "Page number is invalid\rExamples:\r4", with "\r1-3\r5-2" when there are 2 or more pages across.
std::string InvalidPageNumberMessage(int pagesAcross);
// Whether from comes after to; then FromAfterToMessage() is the warning.
bool PageRangeReversed(TgprPagePos from, TgprPagePos to);
std::string FromAfterToMessage();

// "%d:%.2d:%.2d hours", "%d:%.2d minutes" or "%2f seconds".
std::string FormatElapsed(std::chrono::duration<double> elapsed);
// "<n> Pages Printed. Elapsed Time: <time>"; without the page count for an export.
std::string StatisticsText(int pagesPrinted, std::chrono::duration<double> elapsed, bool isExport);

// Where a run's output goes. Besides the design's destinations, a PDF file: chosen by a text
// file destination whose `OutputFileName` ends in ".pdf" (any case).
enum class TgprDestination { Printer, FastPrinterText, TextFile, PdfFile, Export };
// The destination of the settings. Fast printer text needs printer output and both
// `FastPrinterText` and `AllowFastPrinterText`. An `OutputDest` outside 0 to 2 raises
// eGprIntError "Open Output Internal Error **\rOutput destination not specified.".
TgprDestination DestinationOf(const TgprReportSettings& settings);

// What the output file question or an output channel's opening came to.
enum class TgprOpenResult { Opened, Cancelled };

// A destination for the pages of a run. Open is called once before the first page; then
// WritePage for every page output, then exactly one of Close (the output is complete) or
// Abort (drop what was written: a partial job is cancelled, a partial file removed or cut
// back). Failures are exceptions (eGprError and its subclasses); Abort never throws.
class TgprOutputChannel {
 public:
  virtual ~TgprOutputChannel() = default;
  virtual TgprOpenResult Open() = 0;
  // firstPage: no page was output before this one in the run.
  virtual void WritePage(const std::vector<std::string>& lines, bool firstPage) = 0;
  virtual void Close() = 0;
  virtual void Abort() noexcept = 0;
};

// How a run ended, for the progress display's statistics.
struct TgprRunSummary {
  TgprActivity Activity = acPrinting;
  TgprRunStatus Status = rsInactive;
  int PagesPrinted = 0;  // pages, or rows for an export
  std::chrono::duration<double> Elapsed{};
  bool PageRange = false;  // the run printed a page range ("No pages found for page range")
  std::string ErrorMessage;
};

// Watches a run: the progress window. PageDone is called after every page built (also the
// pages before the range) and may suspend the run while it waits for the user; it returns
// false when the user aborted, and the run then ends before the next page.
class TgprRunMonitor {
 public:
  virtual ~TgprRunMonitor() = default;
  virtual void RunStarted(TgprActivity /*activity*/) {}
  virtual bool PageDone(TgprActivity activity, TgprPageId page, int rowsDone, int rowCount) = 0;
  virtual void RunFinished(const TgprRunSummary& /*summary*/) {}
};

class TgprPrintRun {
 public:
  // activity: printing for the output channels (previewing for the preview).
  explicit TgprPrintRun(TgprPageRange range, TgprActivity activity = acPrinting, bool pageRangeChoice = false);

  // Produces the pages of the range from source into channel and returns the result. Any
  // failure ends the run with rrTerminated, the channel aborted and ErrorMessage() set (the
  // caller shows it); a user abort through the monitor ends it the same way without a message.
  TgprRunResult Run(TgprPageSource& source, TgprOutputChannel& channel, TgprRunMonitor* monitor = nullptr);

  TgprRunStatus Status() const { return summary_.Status; }
  int PagesPrinted() const { return summary_.PagesPrinted; }
  const std::string& ErrorMessage() const { return summary_.ErrorMessage; }
  const TgprRunSummary& Summary() const { return summary_; }

 private:
  // Runs the page loop; returns normally at the range's or the data's end.
  void ProducePages(TgprPageSource& source, TgprOutputChannel& channel, TgprRunMonitor* monitor);
  // Tells the monitor about a page; throws TgprRunAborted when the user aborted.
  void ReportPage(TgprRunMonitor* monitor, TgprActivity activity, TgprPageId page, const TgprPageSource& source);

  TgprPageRange range_;
  TgprActivity activity_;
  TgprRunSummary summary_;
};

}  // namespace gpr
