// The page loop of a print run, its page ranges and its texts (print_run.h).
#include "print/core/print_run.h"

#include "dbaccess/name_compare.h"
#include "print/core/gpr_error.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>

namespace gpr {

namespace {

// Thrown inside the page loop when the monitor reports a user abort.
struct TgprRunAborted {};

using TClock = std::chrono::steady_clock;

// A whole positive decimal number, or nullopt.
std::optional<int> ParsePositive(std::string_view text) {
  text = quarry::TrimmedView(text);
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

}  // namespace

std::string_view ActivityWord(TgprActivity activity, bool during) {
  switch (activity) {
  case acPrinting: return during ? "Printing" : "Report";
  case acPreviewing: return during ? "Previewing" : "Previewed";
  case acScanning: return during ? "Scanning" : "Scanned";
  case acExporting: return during ? "Exporting" : "Export";
  case acCalcColWidths: return during ? "Calculating Column Widths" : "Calculated Column Widths";
  case acNone: break;
  }
  return "?";
}

std::string_view RunStatusWords(TgprRunStatus status) {
  switch (status) {
  case rsInactive: return " Inactive";
  case rsActive: return " Active";
  case rsCompleted: return " Completed Normally";
  case rsTerminatedWithError: return " --Terminated With Error--";
  case rsUserCancelled: return " User Cancelled";
  }
  return "?";
}

TgprPageRange PageRangeFor(const TgprReportSettings& settings) {
  switch (settings.PrintWhat) {
  case pwCurrentPage: return {{0, 1}, {0, 1}};
  case pwTestPage: return {{1, 1}, {1, 1}};
  case pwPageRange: return {settings.PageRangeFrom, settings.PageRangeTo};
  case pwSelectedRows: return {{1, 1}, {0, 32000}};
  default: return {{0, 1}, {0, 99999}};
  }
}

TgprDestination DestinationOf(const TgprReportSettings& settings) {
  switch (settings.OutputDest) {
  case odPrinter:
    return settings.FastPrinterText && settings.AllowFastPrinterText ? TgprDestination::FastPrinterText
                                                                     : TgprDestination::Printer;
  case odTextFile: {
    const std::string& name = settings.OutputFileName;
    const bool pdf = name.size() >= 4 && quarry::SameName(std::string_view(name).substr(name.size() - 4), ".pdf");
    return pdf ? TgprDestination::PdfFile : TgprDestination::TextFile;
  }
  case odExport: return TgprDestination::Export;
  }
  throw eGprIntError("Open Output Internal Error **\rOutput destination not specified.");
}

std::optional<TgprPagePos> ParsePageNumber(std::string_view text) {
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) {
    const auto page = ParsePositive(text);
    if (!page) return std::nullopt;
    return TgprPagePos{0, *page};
  }
  const auto page = ParsePositive(text.substr(0, dash));
  const auto across = ParsePositive(text.substr(dash + 1));
  if (!page || !across) return std::nullopt;
  return TgprPagePos{*across, *page};
}

std::string InvalidPageNumberMessage(int pagesAcross) {
  std::string message = "Page number is invalid\rExamples:\r4";
  if (pagesAcross >= 2) message += "\r1-3\r5-2";
  return message;
}

bool PageRangeReversed(TgprPagePos from, TgprPagePos to) {
  if (from.Page != to.Page) return from.Page > to.Page;
  // Across 0 is the first part in a range's start and the last part in its end.
  return to.Across != 0 && from.Across > to.Across;
}

std::string FromAfterToMessage() { return "\"From Page#\" must be less than or equal \"To Page#\""; }

std::string FormatElapsed(std::chrono::duration<double> elapsed) {
  const double seconds = elapsed.count();
  const long whole = static_cast<long>(seconds);
  char text[64];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%.2ld:%.2ld hours", whole / 3600, whole / 60 % 60, whole % 60);
  } else if (whole >= 60) {
    std::snprintf(text, sizeof text, "%ld:%.2ld minutes", whole / 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%2f seconds", seconds);
  }
  return text;
}

std::string StatisticsText(int pagesPrinted, std::chrono::duration<double> elapsed, bool isExport) {
  std::string text;
  if (!isExport) text = std::to_string(pagesPrinted) + " Pages Printed. ";
  return text + "Elapsed Time: " + FormatElapsed(elapsed);
}

TgprPrintRun::TgprPrintRun(TgprPageRange range, TgprActivity activity, bool pageRangeChoice)
    : range_(range), activity_(activity) {
  summary_.Activity = activity;
  summary_.PageRange = pageRangeChoice;
}

TgprRunResult TgprPrintRun::Run(TgprPageSource& source, TgprOutputChannel& channel, TgprRunMonitor* monitor) {
  summary_.Status = rsActive;
  summary_.PagesPrinted = 0;
  summary_.ErrorMessage.clear();
  const TClock::time_point start = TClock::now();
  if (monitor) monitor->RunStarted(activity_);

  TgprRunResult result = rrCompleted;
  try {
    if (channel.Open() == TgprOpenResult::Cancelled) {
      summary_.Status = rsUserCancelled;
      result = rrFileCancelled;
    } else {
      ProducePages(source, channel, monitor);
      channel.Close();
      summary_.Status = rsCompleted;
    }
  } catch (const TgprRunAborted&) {
    summary_.Status = rsTerminatedWithError;
    result = rrTerminated;
  } catch (const std::exception& error) {
    summary_.Status = rsTerminatedWithError;
    summary_.ErrorMessage = error.what();
    result = rrTerminated;
  }
  if (result == rrTerminated) {
    // Also after a failed Close: whatever part of the output exists must not stand as done.
    channel.Abort();
  }
  summary_.Elapsed = TClock::now() - start;
  if (monitor) monitor->RunFinished(summary_);
  return result;
}

void TgprPrintRun::ProducePages(TgprPageSource& source, TgprOutputChannel& channel, TgprRunMonitor* monitor) {
  const int pagesAcross = std::max(1, source.PagesAcross());
  std::vector<std::string> lines;
  for (int page = 1; page <= range_.Last.Page; ++page) {
    if (page < range_.First.Page) {
      // Before the range: the first horizontal part moves through the page's rows.
      if (!source.BuildPage({1, page}, lines)) return;
      ReportPage(monitor, acScanning, {1, page}, source);
      if (source.DataEnded()) return;
      continue;
    }
    const int firstAcross = page == range_.First.Page && range_.First.Across > 0 ? range_.First.Across : 1;
    const int lastAcross = page == range_.Last.Page && range_.Last.Across > 0 ? range_.Last.Across : pagesAcross;
    for (int across = firstAcross; across <= std::min(lastAcross, pagesAcross); ++across) {
      if (!source.BuildPage({across, page}, lines)) return;
      channel.WritePage(lines, summary_.PagesPrinted == 0);
      ++summary_.PagesPrinted;
      ReportPage(monitor, activity_, {across, page}, source);
    }
    if (source.DataEnded()) return;
  }
}

void TgprPrintRun::ReportPage(TgprRunMonitor* monitor, TgprActivity activity, TgprPageId page,
                              const TgprPageSource& source) {
  if (monitor && !monitor->PageDone(activity, page, source.RowsDone(), source.RowCount())) throw TgprRunAborted{};
}

}  // namespace gpr
