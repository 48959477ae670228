// TgprPrintSettings: the run state of the print engine for one request - where the output
// goes, the page metrics the page setup computed, the report's width and position, the pages
// across, the page counter and the progress state. TRptStyles: the include options shown on
// the Style page and the report regions of a page.
//
// Plain data, filled by the page setup (page_setup.h) and the horizontal paging, read by the
// page builder and the print run.
#pragma once

#include "print/core/report_settings.h"

#include <string>
#include <vector>

namespace gpr {

enum TgprActivity : int { acNone = 0, acPrinting, acPreviewing, acScanning, acExporting, acCalcColWidths };
enum TgprRunStatus : int { rsInactive = 0, rsActive, rsCompleted, rsTerminatedWithError, rsUserCancelled };

struct TgprPrintSettings {
  // Destination, from `OutputDest`, `PrintWhat` and `FastPrinterText`.
  bool ToPrinter = true;
  bool ToTextFile = false;
  bool ToExport = false;
  bool ToWindowSnapshot = false;
  bool FastPrinterText = false;  // raw text to the spooler
  bool TextMode = true;          // always: this system has no graphic output

  // Resolutions in pixels per inch.
  int ScreenPpiX = 96;
  int ScreenPpiY = 96;
  int PrinterPpiX = 600;
  int PrinterPpiY = 600;

  // The report font on the printer, in printer pixels.
  int CharWidth = 0;
  int CharHeight = 0;
  int LineAdvance = 0;

  // Page size in characters and lines.
  int CharsPerLine = 80;
  int LinesPerPage = 60;
  int LeftMargin = 0;  // left page margin
  int RightEdge = 80;  // page width minus the right page margin
  int ReportOffset = 0;

  // Newspaper panels.
  int PanelWidth = 0;
  int Panels = 1;
  int PanelGap = 0;
  int ReportWidth = -1;  // -1: the columns have not been scanned

  int FontSize = 10;  // after shrinking or expanding

  // Line switches, copied from the include options by the page setup.
  bool Borders = true;
  bool ShareAdjBorders = true;
  bool VerticalLines = true;
  bool HorizontalLines = false;
  bool GrpBrkLines = false;

  TgprPagePos CurrentPage{1, 1};
  TgprPagePos PageFrom{0, 1};
  TgprPagePos PageTo{0, 99999};
  int PagesAcross = 1;

  TgprActivity Activity = acNone;
  TgprRunStatus Status = rsInactive;
  int PagesPrinted = 0;
  long long StartTimeMs = 0;

  // The run's start time as the memo codes print it, formatted once per run by the caller
  // (with `MemoDateFormatStr` and `MemoTimeFormatStr`, or the system's formats).
  std::string MemoDate;
  std::string MemoTime;

  int UsableWidth() const { return RightEdge - LeftMargin; }
};

// The regions of a page, top to bottom.
enum TgprReportRegion : int {
  rrTopMargin = 0,
  rrReportTitle,
  rrReportHeader,
  rrPageTitle,
  rrPageHeader,
  rrColumnTitles,
  rrData,
  rrBottomBorder,
  rrColumnTotals,
  rrReportFooter,
  rrFreeLines,
  rrPageFooter,
  rrPageNumber,
  rrBottomMargin,
};

struct TRptStyles {
  // The include options the Style page offers, in its order.
  std::vector<TgprIncludeOption> IncludeOptions{
      ioFieldFormat,     ioHorizontalLines,  ioGrpBrkLines,           ioVerticalLines, ioBorders,
      ioShareAdjBorders, ioColumnTitles,     ioColumnTotals,          ioFormFeeds,     ioBoolCheckMark,
      ioTrimGridDim,     ioExceptionOnEmpty, ioAskToPrintSelectedRows};
  // Only the text styles exist; their names as the Style page lists them.
  std::vector<std::string> StyleNames{"ASCII LineDraw", "IBM LineDraw"};
};

}  // namespace gpr
