// The texts of the report's cells and the rows a report prints.
//
// TgprReportRows lists the rows of a request as positions in the result set's current order:
// every row, or with "Selected Rows" the grid's selected rows (record numbers that no longer
// exist are skipped). TgprCellTexts gives the text of a column's title, of its value in a row
// and of the line-number column, with the include options applied and `OnFieldEdit` called.
//
// Rows are read by position without moving the result set's cursor, so building a page
// raises no scroll events and every page can be built again from the same position.
#pragma once

#include "print/core/cols_list.h"
#include "print/core/obj_info.h"
#include "print/core/report_settings.h"

#include <string>
#include <string_view>
#include <vector>

namespace gpr {

class TgprReportRows {
 public:
  // Throws eGprSUError when the request has no result set to read.
  TgprReportRows(const TgprReportSettings& settings, const TObjInfo& objInfo);
  int Count() const { return static_cast<int>(positions_.size()); }
  int Position(int index) const { return positions_[static_cast<size_t>(index)]; }

 private:
  std::vector<int> positions_;
};

// The title lines of a column: a "|" or "~" starts a new line.
std::vector<std::u32string> TitleLines(const TColInfo& column);
// A line number as the line-number column prints it ("12,345" with field format on).
std::string LineNumberText(long long lineNumber, bool fieldFormat);
// Digits of the line-number column's widest value, and its sample text.
std::string LineNumberSample(const TgprReportSettings& settings, int rowCount);

class TgprCellTexts {
 public:
  TgprCellTexts(const TgprReportSettings& settings, TObjInfo& objInfo);

  // The column's value in the row at position, trimmed, as printed: display text, check
  // marks for booleans when asked, then `OnFieldEdit`. lineNumber is the row's report line.
  std::string DataText(const TColInfo& column, int position, long long lineNumber) const;
  // The raw value, trimmed, before check marks and events (for totals).
  std::string ValueText(const TColInfo& column, int position) const;

 private:
  const TgprReportSettings& settings_;
  TObjInfo& objInfo_;
};

}  // namespace gpr
