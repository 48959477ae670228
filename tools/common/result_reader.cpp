// Reading cursor rows as text; see result_reader.h.
#include "tools/common/result_reader.h"

#include <algorithm>

#include "engine/values/value_ops.h"

namespace quarry::tools {

namespace {

// One column's value holder, typed once and reused for every row.
TExpToken ValueHolder(const TFieldDefinition& field) {
  TExpToken value;
  const int size = std::max(StorageSizeOf(field.DataType, field.Size), 1);
  value.SetType(static_cast<std::uint8_t>(field.DataType), field.SubType, size, field.Scale);
  return value;
}

TResultValue HeldFieldText(const TDataCursor& cursor, const TFieldDefinition& field, const std::uint8_t* record,
                           TExpToken& value) {
  value.ZeroValue();
  bool isNull = false;
  cursor.GetField(field.FieldNo, record, isNull, value.Value.data());
  if (isNull) return std::nullopt;
  value.IsNull = false;
  if (field.DataType == TFieldType::String) return value.GetString();
  if (field.IsBlob()) return std::string("(BLOB)");  // BLOB data lives in the BLOB file
  return ValueAsText(value);
}

}  // namespace

TResultValue FieldText(const TDataCursor& cursor, const TFieldDefinition& field, const std::uint8_t* record) {
  TExpToken value = ValueHolder(field);
  return HeldFieldText(cursor, field, record, value);
}

TResultTable ReadResult(TDataCursor& cursor, std::int64_t maxRows) {
  TResultTable table;
  std::vector<TFieldDefinition> fields;
  for (const auto& field : cursor.Fields())
    if (!IsHiddenResultField(field)) fields.push_back(field);
  for (const auto& field : fields)
    table.Columns.push_back({field.Name, IsNumericType(static_cast<std::uint8_t>(field.DataType))});
  std::vector<TExpToken> values;
  values.reserve(fields.size());
  for (const auto& field : fields) values.push_back(ValueHolder(field));
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(cursor.RecordBufferSize()));
  cursor.Home();
  while (maxRows < 0 || static_cast<std::int64_t>(table.Rows.size()) < maxRows) {
    if (cursor.Next(buffer.data()) != 0) break;
    std::vector<TResultValue> row;
    row.reserve(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i)
      row.push_back(HeldFieldText(cursor, fields[i], buffer.data(), values[i]));
    table.Rows.push_back(std::move(row));
  }
  return table;
}

}  // namespace quarry::tools
