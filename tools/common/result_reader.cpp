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

std::vector<TResultColumn> ResultColumns(const TDataCursor& cursor) {
  std::vector<TResultColumn> columns;
  for (const auto& field : cursor.Fields())
    if (!IsHiddenResultField(field))
      columns.push_back({field.Name, IsNumericType(static_cast<std::uint8_t>(field.DataType))});
  return columns;
}

void WalkResult(TDataCursor& cursor, const std::function<void(const std::vector<TResultValue>&)>& visit,
                std::int64_t maxRows) {
  std::vector<TFieldDefinition> fields;
  for (const auto& field : cursor.Fields())
    if (!IsHiddenResultField(field)) fields.push_back(field);
  std::vector<TExpToken> values;
  values.reserve(fields.size());
  for (const auto& field : fields) values.push_back(ValueHolder(field));
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(cursor.RecordBufferSize()));
  std::vector<TResultValue> row(fields.size());
  cursor.Home();
  for (std::int64_t rows = 0; maxRows < 0 || rows < maxRows; ++rows) {
    if (cursor.Next(buffer.data()) != 0) break;
    for (std::size_t i = 0; i < fields.size(); ++i) row[i] = HeldFieldText(cursor, fields[i], buffer.data(), values[i]);
    visit(row);
  }
}

TResultTable ReadResult(TDataCursor& cursor, std::int64_t maxRows) {
  TResultTable table;
  table.Columns = ResultColumns(cursor);
  WalkResult(
      cursor, [&table](const std::vector<TResultValue>& row) { table.Rows.push_back(row); }, maxRows);
  return table;
}

}  // namespace quarry::tools
