// The column scan (column_scan.h).
#include "print/core/column_scan.h"

#include "print/core/column_totals.h"
#include "print/core/utf8_text.h"

#include <algorithm>

namespace gpr {

namespace {

// Keeps the widest of the text's lines (split at carriage returns), capped at cap.
void Measure(std::string_view text, int cap, int& width, std::string& widthText) {
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\r', start);
    const std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
    const int w = std::min(CharCount(line), cap);
    if (w > width) {
      width = w;
      widthText = std::string(line);
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

void ComputeGrandTotals(TObjInfo& objInfo, const TgprCellTexts& texts, const TgprReportRows& rows) {
  ZeroTotals(objInfo.Columns);
  for (TColInfo& column : objInfo.Columns.Items()) {
    if (column.Totals.empty() || column.IsLineNumber()) continue;
    for (int i = 0; i < rows.Count(); ++i) {
      const auto value = TotalNumberOf(texts.ValueText(column, rows.Position(i)), column.DataClass);
      if (!value) continue;
      for (TColTotal& total : column.Totals) AddTotalValue(total, *value);
    }
  }
}

}  // namespace

void ScanColumns(const TgprReportSettings& settings, TObjInfo& objInfo, const TgprReportRows& rows) {
  const TgprCellTexts texts(settings, objInfo);
  const bool titles = settings.IncludeOptions.Has(ioColumnTitles);
  const bool fieldFormat = settings.IncludeOptions.Has(ioFieldFormat);
  const int stringCap = std::max(1, settings.MaxStringColWidTxt);
  const int memoCap = std::max(1, settings.MaxMemoColWidTxt);
  int scanned = rows.Count();
  if (settings.AutoSizze == asSomeRows) scanned = std::min(scanned, std::max(0, settings.MaxRowsToAutoSizze));
  const int rowCount = objInfo.RowCount > 0 ? objInfo.RowCount : rows.Count();

  if (HasGrandTotals(objInfo.Columns)) ComputeGrandTotals(objInfo, texts, rows);

  for (TColInfo& column : objInfo.Columns.Items()) {
    column.TitleWidth = column.DataWidth = column.TotalWidth = 0;
    column.TitleWidthText.clear();
    column.DataWidthText.clear();
    column.TotalWidthText.clear();
    if (titles) {
      for (const std::u32string& line : TitleLines(column))
        Measure(EncodeUtf8(line), stringCap, column.TitleWidth, column.TitleWidthText);
    }
    if (column.IsLineNumber()) {
      Measure(LineNumberSample(settings, rowCount), 1 << 20, column.DataWidth, column.DataWidthText);
    } else if (settings.AutoSizze == asGridWidths) {
      column.DataWidth = std::max(1, column.GridWidthChars);
    } else {
      const int cap = column.DataClass == dcString ? stringCap : column.DataClass == dcMemo ? memoCap : 1 << 20;
      for (int i = 0; i < scanned; ++i) {
        Measure(texts.ValueText(column, rows.Position(i)), cap, column.DataWidth, column.DataWidthText);
        if (column.DataWidth >= cap) break;
      }
    }
    if (GrandTotal(column) != nullptr) {
      std::string total = GrandTotalText(column, fieldFormat);
      std::replace(total.begin(), total.end(), '|', '\r');
      Measure(total, stringCap, column.TotalWidth, column.TotalWidthText);
    }
    column.Width = std::max({1, column.TitleWidth, column.DataWidth, column.TotalWidth});
  }
  ZeroTotals(objInfo.Columns);
}

}  // namespace gpr
