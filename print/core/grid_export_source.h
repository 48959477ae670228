// TgprGridExportSource: the rows of the printed grid as an export reads them - the same rows,
// column list and cell texts the page builder prints (filtered by `OnFilterRecord`, only the
// selected rows with "Selected Rows", group-break values replaced, `OnFieldEdit` called), so
// that an export and a print run of one request agree cell for cell.
//
// The request's printed object is not owned and must outlive the source; its column totals
// are zeroed when the source is made and accumulate as the rows are read, so the totals row
// is asked for after the last row.
#pragma once

#include "print/core/cell_text.h"
#include "print/core/export_file.h"
#include "print/core/obj_info.h"
#include "print/core/report_settings.h"

#include <optional>
#include <string>
#include <vector>

namespace gpr {

class TgprGridExportSource : public TgprExportSource {
 public:
  // Throws eGprSUError when the request has no open result set or no visible column.
  TgprGridExportSource(const TgprReportSettings& settings, TObjInfo& objInfo);

  const std::vector<TgprExportColumn>& Columns() const override { return columns_; }
  std::vector<std::vector<std::string>> TitleRows() override;
  bool NextRow(std::vector<std::string>& cells) override;
  std::optional<std::vector<std::string>> TotalsRow() override;
  int RowCount() const override { return rows_.Count(); }

 private:
  void AddToTotals(int position, long long lineNumber);

  const TgprReportSettings& settings_;
  TObjInfo& objInfo_;
  TgprReportRows rows_;
  TgprCellTexts texts_;
  std::vector<int> visible_;  // column indices exported, list order
  std::vector<TgprExportColumn> columns_;
  std::vector<int> breakCols_;  // group-break column indices
  std::vector<std::string> breakValues_;
  bool breakKnown_ = false;
  int next_ = 0;
  long long lineNumber_ = 0;
  bool ended_ = false;
};

}  // namespace gpr
