// Horizontal paging: which columns go on which horizontal page ("pages across") and where.
//
// The printed columns are walked in list order. A column takes its separator (the left
// border for the first column of a page, else a column junction; a separator switched off
// takes no room), its left cell margin, its width and its right cell margin; the last column
// of a page is followed by the right border. The fixed columns - the printed ones among the
// first `NumFixedCols` of the list - keep their places from the first page and are repeated
// on every later page, whose other columns start where the first column after the fixed ones
// stood. A column that does not fit starts a new page, unless it is the first non-fixed
// column of its page: then it is narrowed to the room left.
//
// Fixed columns that leave no room for a single further column are not repeated (they are
// paged like the others), so every page makes progress.
#pragma once

#include "print/core/cols_list.h"
#include "print/core/print_settings.h"
#include "print/core/report_settings.h"

#include <vector>

namespace gpr {

// Width of one panel's columns on a single page: every printed column's span plus the right
// border, before any narrowing.
int PanelColumnsWidth(const TgprReportSettings& settings, const TgprPrintSettings& print, const TColsList& columns);

// Room a column takes on its page, separator included.
int ColumnSpan(const TgprReportSettings& settings, const TgprPrintSettings& print, const TColInfo& column);
int SeparatorWidth(const TgprPrintSettings& print, bool firstOnPage);

struct TgprAcrossPages {
  // Column list indices on each horizontal page (index 0 is across-index 1), left to right,
  // the repeated fixed columns included.
  std::vector<std::vector<int>> Columns;
  std::vector<int> Widths;  // each page's width, right border included
  int Count() const { return static_cast<int>(Columns.size()); }
};

// Assigns AcrossIndex, XPos, Fixed, FirstOnPage, LastOnPage, FreeLeft and FreeRight (and
// narrows Width where needed) for the usable width of print. Throws eGprSUError when there is
// no printed column, or when the page is too narrow for a column of one character.
TgprAcrossPages PageColumns(const TgprReportSettings& settings, const TgprPrintSettings& print, TColsList& columns,
                            const std::string& objectName);

}  // namespace gpr
