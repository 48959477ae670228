// Building the result rows of a SELECT. See result_row.h.
#include "engine/sql/result_row.h"

#include <algorithm>

#include "engine/sql/result_columns.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/values/value_ops.h"

namespace quarry {

void StoreColumnValue(uint8_t* row, TResultColumn& column, const TExpToken& value, TResultTable* blobs) {
  const TFieldDefinition& field = column.Definition;
  if (value.IsNull) {
    SetFieldNull(row, field);
    return;
  }
  if (field.IsBlob()) {
    // Texts keep their bytes without the terminating zero.
    const bool text =
        value.DataType == vt::String ||
        (value.DataType == vt::Blob && (value.SubType == subtype::Memo || value.SubType == subtype::FormattedMemo));
    const std::size_t size = static_cast<std::size_t>(std::max(0, value.ValueSize - (text ? 1 : 0)));
    const std::vector<uint8_t> bytes(
        value.Value.begin(), value.Value.begin() + static_cast<std::ptrdiff_t>(std::min(size, value.Value.size())));
    SetFieldBlob(row, field, blobs->StoreBlob(bytes));
    return;
  }
  TExpToken& target = column.Converted;
  target.SetType(static_cast<uint8_t>(field.DataType), field.SubType, field.ValueSize, field.Scale);
  if (!ConvertValue(value, target) || target.IsNull) {
    SetFieldNull(row, field);
    return;
  }
  if (field.DataType == TFieldType::String) {
    SetFieldString(row, field, target.GetString());
    return;
  }
  if (static_cast<int32_t>(target.Value.size()) < field.ValueSize) target.SetValueSize(field.ValueSize);
  SetFieldData(row, field, target.Value.data());
}

void BuildResultRow(std::vector<TResultColumn>& columns, const TEvalContext& context, TResultTable& result,
                    uint8_t* row) {
  for (TResultColumn& column : columns) {
    if (column.Hidden) continue;
    const TFieldDefinition& field = column.Definition;
    if (column.Plain) {
      const TSelectSource& source = *column.Source;
      const TFieldDefinition& from = source.Cursor->Fields()[static_cast<std::size_t>(column.SourceFieldNo - 1)];
      if (source.NullRow || IsFieldNull(source.Record.data(), from)) {
        SetFieldNull(row, field);
      } else if (from.IsBlob()) {  // copied whole into the result's own BLOB file
        std::vector<uint8_t> value;
        source.Cursor->ReadBlobValue(column.SourceFieldNo, source.Record.data(), value);
        SetFieldBlob(row, field, result.StoreBlob(value));
      } else {
        SetFieldData(row, field, FieldData(source.Record.data(), from));
      }
      continue;
    }
    if (column.Aggregate != agg::None) {
      bool present = true;
      if (column.Prepared) {
        TExpTree value = Evaluate(*column.Prepared, context);
        present = !value->IsNull;
        if (column.Aggregate == agg::Count) {
          if (present) SetFieldInteger(row, field, 1);
          else SetFieldNull(row, field);
        } else {
          StoreColumnValue(row, column, *value, &result);
        }
      } else {
        SetFieldInteger(row, field, 1);  // COUNT(*)
      }
      if (column.CounterColumn >= 0)
        SetFieldInteger(row, columns[static_cast<std::size_t>(column.CounterColumn)].Definition, present ? 1 : 0);
      continue;
    }
    TExpTree value = Evaluate(*column.Prepared, context);
    StoreColumnValue(row, column, *value, &result);
  }
}

}  // namespace quarry
