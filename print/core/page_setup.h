// The page setup of the text report: where the output goes, the line switches, and how many
// characters and lines a page holds, with the font shrunk or expanded until the report fits.
//
// Qt-free: for printer output the caller gives the printable area and a function that
// measures the report font on the printer at a size (the width of "X", the height of
// "X|ygW"); for a text file and fast printer text the page size is `TxtCharsPageWid` by
// `LinesPerpage` whatever the font.
#pragma once

#include "print/core/print_settings.h"
#include "print/core/report_settings.h"

#include <functional>

namespace gpr {

struct TgprCharMetrics {
  int CharWidth = 0;   // printer pixels
  int CharHeight = 0;  // printer pixels
};

struct TgprPrinterPage {
  int PrintableWidth = 0;  // printer pixels
  int PrintableHeight = 0;
  std::function<TgprCharMetrics(int fontSize)> MeasureFont;
};

// Destination flags and line switches from the settings.
void SetDestination(const TgprReportSettings& settings, TgprPrintSettings& print);

// Page size at print.FontSize: characters per line, lines per page, left margin and right
// edge. printer is needed (and used) only for printer output that is not fast printer text;
// printer output then also writes the lines per page back into settings.LinesPerpage.
// Throws eGprSUError when the font cannot be measured or the page holds no character.
void ComputePageSize(TgprReportSettings& settings, TgprPrintSettings& print, const TgprPrinterPage* printer);

// The whole page setup: destination, then the font size and panel count that make a report
// of the given panel width (one panel's columns, without the gap) fit, then the page size
// and the report width. A report that still does not fit keeps one panel.
void SetUpPage(TgprReportSettings& settings, TgprPrintSettings& print, const TgprPrinterPage* printer,
               int panelColumnsWidth);

// Report width for the current panels: panels x (columns + gap) - gap.
int ReportWidthOf(const TgprReportSettings& settings, int panels, int panelColumnsWidth);

}  // namespace gpr
