// Building the column list of a request (cols_list.h).
#include "print/core/cols_list.h"

#include "dbaccess/client_data_set.h"
#include "dbaccess/name_compare.h"

#include <algorithm>

namespace gpr {

using quarry::TDataFieldType;

namespace {

TDataFieldType FieldTypeOf(const quarry::TClientField& field) {
  return field.Kind() == quarry::TResultFieldKind::Integer ? TDataFieldType::ftInteger : TDataFieldType::ftString;
}

TColInfo LineNumberColumn() {
  TColInfo column;
  column.Name = kGprLineNumberColumn;
  column.Title = "#";
  column.FieldNo = -1;
  column.FieldType = TDataFieldType::ftInteger;
  column.DataClass = dcNumeric;
  column.Alignment = gaRight;
  return column;
}

TColInfo FieldColumn(const quarry::TClientField& field, std::string title) {
  TColInfo column;
  column.Name = field.FieldName();
  column.Title = std::move(title);
  column.FieldNo = field.FieldNo();
  column.FieldType = FieldTypeOf(field);
  column.DataClass = DataClassOf(column.FieldType);
  column.FieldSize = field.Size();
  column.Alignment = FieldAlignmentOf(column.FieldType);
  return column;
}

}  // namespace

bool IsPrintableFieldType(TDataFieldType type) {
  switch (type) {
  case TDataFieldType::ftString:
  case TDataFieldType::ftFixedChar:
  case TDataFieldType::ftSmallint:
  case TDataFieldType::ftLargeint:
  case TDataFieldType::ftWord:
  case TDataFieldType::ftInteger:
  case TDataFieldType::ftAutoInc:
  case TDataFieldType::ftBoolean:
  case TDataFieldType::ftFloat:
  case TDataFieldType::ftCurrency:
  case TDataFieldType::ftBCD:
  case TDataFieldType::ftDate:
  case TDataFieldType::ftTime:
  case TDataFieldType::ftDateTime:
  case TDataFieldType::ftMemo:
  case TDataFieldType::ftFmtMemo: return true;
  default: return false;
  }
}

TgprDataClass DataClassOf(TDataFieldType type) {
  switch (type) {
  case TDataFieldType::ftString:
  case TDataFieldType::ftFixedChar: return dcString;
  case TDataFieldType::ftMemo:
  case TDataFieldType::ftFmtMemo: return dcMemo;
  case TDataFieldType::ftBoolean: return dcBoolean;
  case TDataFieldType::ftSmallint:
  case TDataFieldType::ftLargeint:
  case TDataFieldType::ftWord:
  case TDataFieldType::ftInteger:
  case TDataFieldType::ftAutoInc:
  case TDataFieldType::ftFloat:
  case TDataFieldType::ftCurrency:
  case TDataFieldType::ftBCD: return dcNumeric;
  default: return dcOther;
  }
}

TgprAlignment FieldAlignmentOf(TDataFieldType type) { return DataClassOf(type) == dcNumeric ? gaRight : gaLeft; }

std::vector<std::string> SplitCommaList(std::string_view list) {
  std::vector<std::string> names;
  for (;;) {
    const size_t comma = list.find(',');
    const std::string_view name = quarry::TrimmedView(list.substr(0, comma));
    if (!name.empty()) names.emplace_back(name);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return names;
}

TColsList TColsList::FromGrid(const std::vector<TgprGridColumn>& gridColumns, const quarry::TClientDataSet& dataSet,
                              int averageCharWidth, std::string_view hideColumns) {
  const int charWidth = std::max(1, averageCharWidth);
  TColsList list;
  list.items_.push_back(LineNumberColumn());
  for (const TgprGridColumn& gridColumn : gridColumns) {
    const int fieldNo = dataSet.FindField(gridColumn.FieldName);
    if (fieldNo < 0) continue;
    const quarry::TClientField field = dataSet.Fields(fieldNo);
    if (!IsPrintableFieldType(FieldTypeOf(field))) continue;
    TColInfo column = FieldColumn(field, gridColumn.Title);
    column.GridWidthPixels = gridColumn.WidthPixels;
    column.GridWidthChars = (std::max(0, gridColumn.WidthPixels) + charWidth - 1) / charWidth;
    list.items_.push_back(std::move(column));
  }
  list.ApplyHideColumns(hideColumns);
  return list;
}

TColsList TColsList::FromDataSet(const quarry::TClientDataSet& dataSet, std::string_view hideColumns) {
  TColsList list;
  list.items_.push_back(LineNumberColumn());
  for (int fieldNo = 0; fieldNo < dataSet.FieldCount(); ++fieldNo) {
    const quarry::TClientField field = dataSet.Fields(fieldNo);
    if (!IsPrintableFieldType(FieldTypeOf(field))) continue;
    list.items_.push_back(FieldColumn(field, field.FieldName()));
  }
  list.ApplyHideColumns(hideColumns);
  return list;
}

TColsList TColsList::FromFields(const std::vector<TgprFieldDesc>& fields, std::string_view hideColumns) {
  TColsList list;
  list.items_.push_back(LineNumberColumn());
  for (size_t fieldNo = 0; fieldNo < fields.size(); ++fieldNo) {
    const TgprFieldDesc& field = fields[fieldNo];
    if (!IsPrintableFieldType(field.Type)) continue;
    TColInfo column;
    column.Name = field.Name;
    column.Title = field.Name;
    column.FieldNo = static_cast<int>(fieldNo);
    column.FieldType = field.Type;
    column.DataClass = DataClassOf(field.Type);
    column.FieldSize = field.Size;
    column.Alignment = FieldAlignmentOf(field.Type);
    list.items_.push_back(std::move(column));
  }
  list.ApplyHideColumns(hideColumns);
  return list;
}

const TColInfo* TColsList::Find(std::string_view name) const {
  for (const TColInfo& column : items_) {
    if (quarry::SameName(column.Name, name)) return &column;
  }
  return nullptr;
}

TColInfo* TColsList::Find(std::string_view name) {
  return const_cast<TColInfo*>(static_cast<const TColsList*>(this)->Find(name));
}

int TColsList::VisibleCount() const {
  return static_cast<int>(std::count_if(items_.begin(), items_.end(), [](const TColInfo& c) { return c.Visible; }));
}

bool TColsList::LineNumberVisible() const {
  const TColInfo* line = Find(kGprLineNumberColumn);
  return line != nullptr && line->Visible;
}

void TColsList::ApplyHideColumns(std::string_view hideColumns) {
  const std::vector<std::string> hidden = SplitCommaList(hideColumns);
  for (TColInfo& column : items_) {
    column.Visible = std::none_of(hidden.begin(), hidden.end(),
                                  [&](const std::string& name) { return quarry::SameName(name, column.Name); });
  }
}

}  // namespace gpr
