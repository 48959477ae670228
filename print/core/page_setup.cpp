// Page setup (page_setup.h).
#include "print/core/page_setup.h"

#include "print/core/gpr_error.h"

#include <algorithm>
#include <cmath>

namespace gpr {

namespace {

bool UsesTextPageSize(const TgprPrintSettings& print) { return !print.ToPrinter || print.FastPrinterText; }

// Where a report of this width starts: left, right or centred between the margins, never
// left of the left margin.
int ReportOffsetOf(const TgprReportSettings& settings, const TgprPrintSettings& print) {
  int offset = print.LeftMargin;
  if (settings.ReportAlignment == gaRight) offset = print.RightEdge - print.ReportWidth;
  if (settings.ReportAlignment == gaCenter) offset = print.LeftMargin + (print.UsableWidth() - print.ReportWidth) / 2;
  return std::max(offset, print.LeftMargin);
}

}  // namespace

void SetDestination(const TgprReportSettings& settings, TgprPrintSettings& print) {
  print.ToWindowSnapshot = settings.PrintWhat == pwWindowSnapshot;
  print.ToExport = settings.OutputDest == odExport;
  print.ToTextFile = settings.OutputDest == odTextFile;
  print.ToPrinter = settings.OutputDest == odPrinter;
  print.FastPrinterText = print.ToPrinter && settings.FastPrinterText && settings.AllowFastPrinterText;
  print.TextMode = true;

  const TgprIncludeOptions& options = settings.IncludeOptions;
  print.Borders = options.Has(ioBorders);
  print.ShareAdjBorders = options.Has(ioShareAdjBorders);
  print.VerticalLines = options.Has(ioVerticalLines);
  print.GrpBrkLines = options.Has(ioGrpBrkLines);
  // The two kinds of rule exclude each other; group-break lines win, as in the options window.
  print.HorizontalLines = options.Has(ioHorizontalLines) && !print.GrpBrkLines;
}

void ComputePageSize(TgprReportSettings& settings, TgprPrintSettings& print, const TgprPrinterPage* printer) {
  if (UsesTextPageSize(print)) {
    print.CharsPerLine = settings.TxtCharsPageWid;
    print.LinesPerPage = settings.LinesPerpage;
  } else {
    if (printer == nullptr || !printer->MeasureFont) throw eGprSUError("No printer page to measure the report font on");
    const TgprCharMetrics metrics = printer->MeasureFont(print.FontSize);
    if (metrics.CharWidth <= 0 || metrics.CharHeight <= 0)
      throw eGprSUError("The report font " + Quoted(settings.TextFontName) + " cannot be measured on the printer");
    print.CharWidth = metrics.CharWidth;
    print.CharHeight = metrics.CharHeight;
    print.LineAdvance = std::max(1, static_cast<int>(std::lround(metrics.CharHeight * settings.VertHtAdjPer / 100.0)));
    print.CharsPerLine = printer->PrintableWidth / metrics.CharWidth;
    print.LinesPerPage = printer->PrintableHeight / print.LineAdvance;
    settings.LinesPerpage = print.LinesPerPage;
  }
  if (print.CharsPerLine < 1 || print.LinesPerPage < 1)
    throw eGprSUError("The page holds no character: " + std::to_string(print.LinesPerPage) + " lines of " +
                      std::to_string(print.CharsPerLine) + " characters");
  print.LeftMargin = std::min(settings.PageMarginTxt.Left, print.CharsPerLine);
  print.RightEdge = std::max(print.LeftMargin, print.CharsPerLine - settings.PageMarginTxt.Right);
}

int ReportWidthOf(const TgprReportSettings& settings, int panels, int panelColumnsWidth) {
  const int gap = panels >= 2 ? settings.InterPanelGapTxt : 0;
  return panels * (panelColumnsWidth + gap) - gap;
}

void SetUpPage(TgprReportSettings& settings, TgprPrintSettings& print, const TgprPrinterPage* printer,
               int panelColumnsWidth) {
  SetDestination(settings, print);
  const bool shrink = settings.ShrinkToPage;
  const bool expand = settings.ExpandToPage;
  int fontSize = settings.TextFontSize;
  if (shrink && fontSize < settings.SmallestFontSize) fontSize = settings.SmallestFontSize;
  if (expand && fontSize > settings.LargestFontSize) fontSize = settings.LargestFontSize;
  int panels = std::clamp(settings.PanelsAcrossPage, 1, 10);
  print.FontSize = std::max(1, fontSize);
  ComputePageSize(settings, print, printer);

  if ((print.ToPrinter || print.ToTextFile) && (shrink || expand)) {
    bool expanded = false;
    bool shrunk = false;
    // Each step changes the size by one point or drops a panel, so the walk is short; the
    // bound only guards against a font whose metrics do not follow its size.
    for (int step = 0; step < 200; ++step) {
      if (ReportWidthOf(settings, panels, panelColumnsWidth) > print.UsableWidth()) {
        if (shrink && print.FontSize <= std::max(1, settings.SmallestFontSize)) {
          if (panels <= 1) break;
          --panels;
        } else if ((shrink || expanded) && print.FontSize > 1) {
          --print.FontSize;
          shrunk = true;
          if (!shrink) {
            ComputePageSize(settings, print, printer);
            break;
          }
        } else {
          break;
        }
      } else {
        if (shrunk || !expand || print.FontSize >= settings.LargestFontSize) break;
        ++print.FontSize;
        expanded = true;
      }
      ComputePageSize(settings, print, printer);
    }
  }
  // Panels that do not fit side by side would run off the page: drop them whatever the
  // shrink setting says.
  while (panels > 1 && ReportWidthOf(settings, panels, panelColumnsWidth) > print.UsableWidth()) --panels;

  print.Panels = panels;
  print.PanelGap = panels >= 2 ? settings.InterPanelGapTxt : 0;
  print.PanelWidth = panelColumnsWidth + print.PanelGap;
  print.ReportWidth = ReportWidthOf(settings, panels, panelColumnsWidth);
  print.ReportOffset = ReportOffsetOf(settings, print);
}

}  // namespace gpr
