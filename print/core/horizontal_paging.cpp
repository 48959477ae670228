// Horizontal paging (horizontal_paging.h).
#include "print/core/horizontal_paging.h"

#include "print/core/gpr_error.h"

#include <algorithm>

namespace gpr {

namespace {

int CellMargins(const TgprReportSettings& settings) {
  return std::max(0, settings.CellMarginTxt.Left) + std::max(0, settings.CellMarginTxt.Right);
}

void SetFreeSpace(const TgprReportSettings& settings, TColInfo& column) {
  column.FreeLeft = column.FreeRight = 0;
  if (settings.AutoSizze == asGridWidths) return;
  const int content = std::min(column.Width, std::max(column.DataWidth, column.TotalWidth));
  const int free = std::max(0, column.Width - content);
  column.FreeLeft = free / 2;
  column.FreeRight = free - column.FreeLeft;
}

}  // namespace

int SeparatorWidth(const TgprPrintSettings& print, bool firstOnPage) {
  return (firstOnPage ? print.Borders : print.VerticalLines) ? 1 : 0;
}

int ColumnSpan(const TgprReportSettings& settings, const TgprPrintSettings& print, const TColInfo& column) {
  return SeparatorWidth(print, column.FirstOnPage) + CellMargins(settings) + column.Width;
}

int PanelColumnsWidth(const TgprReportSettings& settings, const TgprPrintSettings& print, const TColsList& columns) {
  int width = 0;
  bool first = true;
  for (const TColInfo& column : columns.Items()) {
    if (!column.Visible) continue;
    width += SeparatorWidth(print, first) + CellMargins(settings) + column.Width;
    first = false;
  }
  return width + (print.Borders ? 1 : 0);
}

TgprAcrossPages PageColumns(const TgprReportSettings& settings, const TgprPrintSettings& print, TColsList& columns,
                            const std::string& objectName) {
  std::vector<int> printed;
  bool anyData = false;
  for (int i = 0; i < columns.Count(); ++i) {
    TColInfo& column = columns[i];
    column.AcrossIndex = 0;
    column.XPos = 0;
    column.Fixed = column.FirstOnPage = column.LastOnPage = false;
    if (!column.Visible) continue;
    printed.push_back(i);
    anyData = anyData || !column.IsLineNumber();
  }
  if (!anyData) throw eGprSUError(objectName + " has no visible column to print");

  const int usable = print.UsableWidth();
  const int rightBorder = print.Borders ? 1 : 0;
  const int margins = CellMargins(settings);
  // The narrowest a column can be: one character behind its separator and margins.
  if (SeparatorWidth(print, true) + margins + 1 + rightBorder > usable)
    throw eGprSUError("The page is too narrow for the report: " + std::to_string(usable) +
                      " characters between the page margins");

  // The fixed columns and where the columns after them start.
  // Not yet computed: the group-break columns and the line-number column, as a new report has.
  const int fixedCount = settings.NumFixedCols >= 0
                             ? settings.NumFixedCols
                             : std::max(0, settings.NumGrpBrkCols) + (columns.LineNumberVisible() ? 1 : 0);
  int fixedEnd = 0;
  size_t fixedPrinted = 0;
  for (const int index : printed) {
    if (index >= fixedCount) break;
    fixedEnd += SeparatorWidth(print, fixedPrinted == 0) + margins + columns[index].Width;
    ++fixedPrinted;
  }
  if (fixedPrinted == printed.size() || fixedEnd + SeparatorWidth(print, false) + margins + 1 + rightBorder > usable) {
    fixedPrinted = 0;
    fixedEnd = 0;
  }

  TgprAcrossPages pages;
  pages.Columns.emplace_back();
  int x = 0;
  bool placedOther = false;  // a column other than the fixed ones is on the current page
  for (size_t n = 0; n < printed.size(); ++n) {
    TColInfo& column = columns[printed[n]];
    const bool fixed = n < fixedPrinted;
    for (;;) {
      column.FirstOnPage = x == 0;
      const int room = usable - rightBorder - x - SeparatorWidth(print, column.FirstOnPage) - margins;
      if (column.Width <= room || fixed) break;
      if (!placedOther) {
        column.Width = std::max(1, room);
        break;
      }
      pages.Widths.push_back(x + rightBorder);
      pages.Columns.emplace_back();
      for (size_t f = 0; f < fixedPrinted; ++f) pages.Columns.back().push_back(printed[f]);
      x = fixedEnd;
      placedOther = false;
    }
    column.Fixed = fixed;
    column.AcrossIndex = pages.Count();
    column.XPos = x;
    SetFreeSpace(settings, column);
    pages.Columns.back().push_back(printed[n]);
    x += ColumnSpan(settings, print, column);
    placedOther = placedOther || !fixed;
  }
  pages.Widths.push_back(x + rightBorder);
  for (const std::vector<int>& page : pages.Columns) {
    columns[page.back()].LastOnPage = true;
  }
  return pages;
}

}  // namespace gpr
