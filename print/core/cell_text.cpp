// Cell texts and report rows (cell_text.h).
#include "print/core/cell_text.h"

#include "dbaccess/client_data_set.h"
#include "dbaccess/name_compare.h"
#include "print/core/column_totals.h"
#include "print/core/gpr_error.h"
#include "print/core/utf8_text.h"

#include <algorithm>
#include <cstdlib>

namespace gpr {

TgprReportRows::TgprReportRows(const TgprReportSettings& settings, const TObjInfo& objInfo) {
  if (objInfo.DataSet == nullptr || !objInfo.DataSet->Active())
    throw eGprSUError(objInfo.ObjectName + " has no open result set to print");
  const int count = objInfo.DataSet->RecordCount();
  if (settings.PrintWhat == pwSelectedRows) {
    for (const int recNo : objInfo.SelectedRows) {
      if (recNo >= 1 && recNo <= count) positions_.push_back(recNo - 1);
    }
  } else {
    positions_.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) positions_[static_cast<size_t>(i)] = i;
  }
}

std::vector<std::u32string> TitleLines(const TColInfo& column) {
  std::vector<std::u32string> lines(1);
  for (const char32_t c : DecodeUtf8(column.Title)) {
    if (c == U'|' || c == U'~') {
      lines.emplace_back();
    } else if (c != U'\r' && c != U'\n') {
      lines.back().push_back(c);
    }
  }
  for (std::u32string& line : lines) line = std::u32string(TrimBlanks(line));
  return lines;
}

std::string LineNumberText(long long lineNumber, bool fieldFormat) {
  std::string digits = std::to_string(lineNumber);
  if (!fieldFormat) return digits;
  return FormatTotal("%.0n", static_cast<double>(lineNumber));
}

std::string LineNumberSample(const TgprReportSettings& settings, int rowCount) {
  const long long last = static_cast<long long>(settings.StartingReportLineId) + std::max(0, rowCount) - 1;
  const size_t digits =
      std::max(std::to_string(std::llabs(last)).size(),
               std::to_string(std::llabs(static_cast<long long>(settings.StartingReportLineId))).size());
  const std::string sample = std::string("2000000000").substr(0, std::clamp<size_t>(digits, 1, 10));
  return LineNumberText(std::stoll(sample), settings.IncludeOptions.Has(ioFieldFormat));
}

TgprCellTexts::TgprCellTexts(const TgprReportSettings& settings, TObjInfo& objInfo)
    : settings_(settings), objInfo_(objInfo) {}

std::string TgprCellTexts::ValueText(const TColInfo& column, int position) const {
  if (column.IsLineNumber() || objInfo_.DataSet->IsNullAt(position, column.FieldNo)) return {};
  return std::string(quarry::TrimmedView(objInfo_.DataSet->AsStringAt(position, column.FieldNo)));
}

std::string TgprCellTexts::DataText(const TColInfo& column, int position, long long lineNumber) const {
  std::string text = column.IsLineNumber() ? LineNumberText(lineNumber, settings_.IncludeOptions.Has(ioFieldFormat))
                                           : ValueText(column, position);
  if (column.DataClass == dcBoolean && settings_.IncludeOptions.Has(ioBoolCheckMark)) {
    const bool on = quarry::SameName(text, "true") || quarry::SameName(text, "yes") || text == "1";
    text = on ? "x" : " ";
  }
  if (objInfo_.Events.OnFieldEdit) {
    TgprFieldInfo info;
    info.Column = &column;
    info.DataType = column.FieldType;
    info.Text = text;
    if (const auto value = TotalNumberOf(text, dcNumeric); value && column.DataClass == dcNumeric) {
      info.Value = *value;
      info.HasValue = true;
    }
    info.Part = cpData;
    info.Line = static_cast<int>(lineNumber);
    info.Position = position;
    objInfo_.Events.OnFieldEdit(text, info);
  }
  return text;
}

}  // namespace gpr
