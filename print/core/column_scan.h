// The column scan ("Size Column Widths"): the width in characters of every printed column,
// from its title, its data and its grand total, by the `AutoSizze` mode:
//   0 measure every row, 1 measure at most `MaxRowsToAutoSizze` rows, 2 take the grid's
//   current column widths.
// Titles and totals are capped at `MaxStringColWidTxt`, plain string data at
// `MaxStringColWidTxt`, memo data at `MaxMemoColWidTxt`; other data is not capped. The
// line-number column is measured on its sample value.
//
// The grand totals are measured on the totals of every row, so that a sum over the whole
// report fits its column.
#pragma once

#include "print/core/cell_text.h"
#include "print/core/obj_info.h"
#include "print/core/report_settings.h"

namespace gpr {

// Fills TitleWidth, DataWidth, TotalWidth (with the texts that had them) and Width of every
// column of objInfo.Columns; the column totals must have been applied.
void ScanColumns(const TgprReportSettings& settings, TObjInfo& objInfo, const TgprReportRows& rows);

}  // namespace gpr
