// The printed grid as an export source (grid_export_source.h).
#include "print/core/grid_export_source.h"

#include "print/core/column_totals.h"
#include "print/core/gpr_error.h"
#include "print/core/utf8_text.h"

#include <algorithm>

namespace gpr {

TgprGridExportSource::TgprGridExportSource(const TgprReportSettings& settings, TObjInfo& objInfo)
    : settings_(settings), objInfo_(objInfo), rows_(settings, objInfo), texts_(settings, objInfo) {
  TColsList& columns = objInfo_.Columns;
  for (int i = 0; i < columns.Count(); ++i) {
    if (!columns[i].Visible) continue;
    visible_.push_back(i);
    columns_.push_back(ExportColumnOf(columns[i]));
  }
  if (visible_.empty()) throw eGprSUError("No columns are visible.");
  for (int i = 1; i <= std::min(settings_.NumGrpBrkCols, columns.Count() - 1); ++i) breakCols_.push_back(i);
  breakValues_.resize(breakCols_.size());
  ApplyColumnTotals(columns, settings_.ColumnTotals, settings_.GroupColumns);
  ZeroTotals(columns);
  if (objInfo_.Events.OnZeroColumnTotals) objInfo_.Events.OnZeroColumnTotals();
  lineNumber_ = settings_.StartingReportLineId;
}

std::vector<std::vector<std::string>> TgprGridExportSource::TitleRows() {
  std::vector<std::vector<std::u32string>> titles;
  size_t rowCount = 0;
  for (const int c : visible_) {
    titles.push_back(TitleLines(objInfo_.Columns[c]));
    rowCount = std::max(rowCount, titles.back().size());
  }
  // Titles of fewer lines sit on the last rows, as they print above the data.
  std::vector<std::vector<std::string>> rows(rowCount, std::vector<std::string>(visible_.size()));
  for (size_t c = 0; c < titles.size(); ++c) {
    const size_t first = rowCount - titles[c].size();
    for (size_t r = 0; r < titles[c].size(); ++r) rows[first + r][c] = EncodeUtf8(titles[c][r]);
  }
  return rows;
}

bool TgprGridExportSource::NextRow(std::vector<std::string>& cells) {
  while (!ended_ && next_ < rows_.Count()) {
    const int position = rows_.Position(next_++);
    bool accept = true, terminate = false;
    if (objInfo_.Events.OnFilterRecord)
      objInfo_.Events.OnFilterRecord(objInfo_.DataSet, position + 1, accept, terminate);
    if (terminate) {
      ended_ = true;
      break;
    }
    if (!accept) continue;

    const TColsList& columns = objInfo_.Columns;
    cells.assign(visible_.size(), std::string());
    for (size_t v = 0; v < visible_.size(); ++v)
      cells[v] = texts_.DataText(columns[visible_[v]], position, lineNumber_);
    // A break value equal to the one above is replaced until the first break column that changed.
    bool changed = !breakKnown_;
    for (size_t b = 0; b < breakCols_.size(); ++b) {
      const int c = breakCols_[b];
      const std::string value = texts_.DataText(columns[c], position, lineNumber_);
      changed = changed || !SameTextNoCase(DecodeUtf8(value), DecodeUtf8(breakValues_[b]));
      if (changed) {
        breakValues_[b] = value;
        continue;
      }
      const auto at = std::find(visible_.begin(), visible_.end(), c);
      if (at != visible_.end()) cells[static_cast<size_t>(at - visible_.begin())] = settings_.GrpBrkSameValue;
    }
    breakKnown_ = true;
    AddToTotals(position, lineNumber_);
    ++lineNumber_;
    return true;
  }
  return false;
}

void TgprGridExportSource::AddToTotals(int position, long long lineNumber) {
  AddRowToTotals(objInfo_.Columns, position, lineNumber, objInfo_.Events.OnCnvtFldError,
                 [&](const TColInfo& column) { return texts_.ValueText(column, position); });
}

std::optional<std::vector<std::string>> TgprGridExportSource::TotalsRow() {
  if (!HasGrandTotals(objInfo_.Columns)) return std::nullopt;
  std::vector<std::string> cells;
  for (const int c : visible_) {
    cells.push_back(GrandTotalText(objInfo_.Columns[c], settings_.IncludeOptions.Has(ioFieldFormat)));
  }
  return cells;
}

}  // namespace gpr
