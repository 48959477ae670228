// The target columns of INSERT and UPDATE and the storing of their values; see change_target.h.
#include "engine/sql/change_target.h"

#include <algorithm>
#include <cstring>

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/sql/expression_error.h"
#include "engine/sql/select_sources.h"
#include "engine/sql/type_checker.h"
#include "engine/sql/value_buffer_conversion.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/values/date_time_text.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

// The node type a field's values take in expressions.
uint8_t NodeTypeOf(const TFieldDefinition& field) {
  switch (field.DataType) {
  case TFieldType::Cardinal: return vt::LargeInt;
  case TFieldType::Extended: return vt::Float;
  default: return static_cast<uint8_t>(field.DataType);
  }
}

bool IsTextValue(const TExpToken& value) {
  return value.DataType == vt::String ||
         (value.DataType == vt::Blob && (value.SubType == st::Memo || value.SubType == st::FormattedMemo));
}

}  // namespace

void TTargetColumns::Resolve(const TDataQuery& query, const TDataCursor& target, const std::string& correlation) {
  columns_.clear();
  for (std::size_t i = 0; i < query.UpdateFields.size(); ++i) {
    const TUpdateField& item = *query.UpdateFields[i];
    TUpdateValue* value = i < query.UpdateValues.size() ? query.UpdateValues[i].get() : nullptr;
    if (item.ColumnName == "*" && query.Kind == TStatementKind::Insert) {
      for (const TFieldDefinition& field : target.Fields()) {
        if (field.Internal) continue;
        TTargetColumn column;
        column.Field = field;
        columns_.push_back(std::move(column));
      }
      continue;
    }
    const TFieldDefinition* found = nullptr;
    const bool sameTable =
        item.CorrelationName.empty() || SameTextIgnoringCase(TrimText(item.CorrelationName), TrimText(correlation));
    if (sameTable && item.ColumnName != "*") {
      const std::string wanted = TrimText(item.ColumnName);
      for (const TFieldDefinition& field : target.Fields())
        if (SameTextIgnoringCase(TrimText(field.Name), wanted)) found = &field;
    }
    if (found == nullptr)
      RaiseSqlError("Invalid column name '" + item.ColumnName + "'" + " or table correlation name " + "'" +
                    item.CorrelationName + "'" + " specified in table columns");
    TTargetColumn column;
    column.Field = *found;
    column.Value = value;
    if (value != nullptr) column.ValueText = value->Text;
    columns_.push_back(std::move(column));
  }
  // INSERT without a column list: the values follow the columns in order.
  if (query.Kind == TStatementKind::Insert)
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      TUpdateValue* value = i < query.UpdateValues.size() ? query.UpdateValues[i].get() : nullptr;
      columns_[i].Value = value;
      columns_[i].ValueText = value != nullptr ? value->Text : std::string();
    }
}

void TTargetColumns::CheckCount(std::size_t values) const {
  if (values != columns_.size()) RaiseSqlError("The number of values must match the number of table columns");
}

std::vector<int> TTargetColumns::BlobFields() const {
  std::vector<int> fields;
  for (const TTargetColumn& column : columns_)
    if (column.Field.IsBlob()) fields.push_back(column.Field.FieldNo);
  return fields;
}

void TTargetColumns::CheckValues(const std::string& context, TColumnResolver* resolver, TExpressionOwner* owner,
                                 bool stringsMayBeColumns) {
  TCheckOptions options;
  options.ErrorCode = kSqlErrorCode;
  options.StringsMayBeColumns = stringsMayBeColumns;
  options.RewriteBooleanColumns = false;
  options.Resolver = resolver;
  options.Owner = owner;
  options.Context = context;
  for (TTargetColumn& column : columns_) {
    if (column.Value == nullptr || !column.Value->Value) continue;
    CheckExpression(options, column.Value->Value);
    CheckConstant(*column.Value->Value, column.Field, context);
  }
}

void TTargetColumns::CheckConstant(TExpToken& value, const TFieldDefinition& field, const std::string& context) const {
  const uint8_t type = NodeTypeOf(field);
  if (value.NodeClass != nc::Constant || value.IsParam || value.IsNull || value.DataType == type) return;
  if (IsDateLikeType(type) && value.DataType == vt::String) {
    // A date, time or timestamp text becomes a constant of the column's type.
    const std::string text = value.GetString();
    bool ok = false;
    if (type == vt::Date) {
      int32_t day = 0;
      if ((ok = ParseDateText(text, day))) {
        value.SetType(vt::Date, st::None, 4);
        value.ZeroValue();
        value.Put<int32_t>(day);
      }
    } else if (type == vt::Time) {
      int32_t ms = 0;
      if ((ok = ParseTimeText(text, ms))) {
        value.SetType(vt::Time, st::None, 4);
        value.ZeroValue();
        value.Put<int32_t>(ms);
      }
    } else {
      double stamp = 0;
      if ((ok = ParseTimestampText(text, stamp))) {
        value.SetType(vt::Timestamp, st::None, 8);
        value.ZeroValue();
        value.Put<double>(stamp);
      }
    }
    if (!ok)
      RaiseSqlError("Date, time, or timestamp expression expected, instead found '" + value.Text + "'" + " in " +
                    context);
    return;
  }
  TExpToken column;
  column.NodeClass = nc::Column;
  SetColumnType(column, field);
  column.DataType = type;
  if (!OperandsCompatible(op::Equal, column, value))
    RaiseSqlError("Type mismatch between column '" + field.Name + "' and constant '" + value.Text + "' in " + context);
}

void TTargetColumns::Store(TDataCursor& cursor, std::uint8_t* record, const TTargetColumn& column,
                           const TExpToken& value, const char* statement, bool truncateBlob) {
  const TFieldDefinition& field = column.Field;
  const int fieldNo = field.FieldNo;
  if (value.IsNull || value.DataType == vt::Unknown) {
    cursor.PutField(fieldNo, record, nullptr);
    return;
  }
  if (field.IsBlob()) {
    // Texts go in without their terminating zero.
    std::size_t size = static_cast<std::size_t>(std::max(0, value.ValueSize));
    size = std::min(size, value.Value.size());
    if (IsTextValue(value)) size = strnlen(reinterpret_cast<const char*>(value.Value.data()), size);
    TEngineErrorCode code = cursor.OpenBlob(fieldNo, record, true);
    if (code == QUARRY_NONE && truncateBlob) code = cursor.TruncateBlob(fieldNo, record, 0);
    if (code == QUARRY_NONE && size > 0)
      code = cursor.WriteBlob(fieldNo, record, 0, static_cast<std::int64_t>(size), value.Value.data());
    if (code != QUARRY_NONE)
      RaiseEngineError(code, {.database = cursor.Directory().DatabaseName(), .table = cursor.TableName()});
    return;
  }
  TExpToken converted;
  const TExpToken* put = &value;
  const uint8_t type = NodeTypeOf(field);
  if (value.DataType != type) {
    converted.SetType(type, field.SubType == st::AutoInc ? st::None : field.SubType, field.ValueSize, field.Scale);
    if (!ConvertValueBuffer(value, converted))
      RaiseSqlError(std::string("Type mismatch between column ") + field.Name + " and constant value " +
                    column.ValueText + " in " + statement + " statement");
    put = &converted;
  }
  if (put->IsNull) {
    cursor.PutField(fieldNo, record, nullptr);
    return;
  }
  switch (field.DataType) {
  case TFieldType::Cardinal: SetFieldCardinal(record, field, static_cast<std::uint32_t>(ValueAsInt64(*put))); return;
  case TFieldType::Extended: SetFieldFloat(record, field, ValueAsDouble(*put)); return;
  default: break;
  }
  // The field reads its storage size from the value: give it at least that many bytes.
  std::vector<std::uint8_t> work(std::max<std::size_t>(put->Value.size(), field.ValueSize) + 1, 0);
  std::copy(put->Value.begin(), put->Value.end(), work.begin());
  cursor.PutField(fieldNo, record, work.data());
}

TExpTree RecordFieldValue(TDataCursor& cursor, const TFieldDefinition& field, const std::uint8_t* record) {
  TExpTree node = NewToken();
  node->NodeClass = nc::Constant;
  const uint8_t type = NodeTypeOf(field);
  const uint8_t subType = field.SubType == st::AutoInc ? st::None : field.SubType;
  if (IsFieldNull(record, field)) {
    node->SetType(type, subType, field.IsBlob() ? 0 : field.ValueSize, field.Scale);
    SetNullValue(*node);
    return node;
  }
  if (field.IsBlob()) {
    std::vector<std::uint8_t> bytes;
    cursor.ReadBlobValue(field.FieldNo, record, bytes);
    const bool memo = subType == st::Memo || subType == st::FormattedMemo;
    node->SetType(vt::Blob, subType, static_cast<int32_t>(bytes.size()) + (memo ? 1 : 0));
    node->ZeroValue();
    std::copy(bytes.begin(), bytes.end(), node->Value.begin());
    node->IsNull = false;
    return node;
  }
  switch (field.DataType) {
  case TFieldType::Cardinal:
    node->SetType(type, subType, 8);
    StoreInt64(*node, GetFieldCardinal(record, field));
    return node;
  case TFieldType::Extended:
    node->SetType(type, subType, 8);
    StoreDouble(*node, GetFieldFloat(record, field));
    return node;
  default: break;
  }
  node->SetType(type, subType, field.ValueSize, field.Scale);
  node->ZeroValue();
  const std::uint8_t* data = FieldData(record, field);
  std::copy(data, data + field.ValueSize, node->Value.begin());
  node->IsNull = false;
  return node;
}

}  // namespace quarry
