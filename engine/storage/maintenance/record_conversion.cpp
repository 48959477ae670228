// Record conversion for restructuring (see record_conversion.h).
#include "engine/storage/maintenance/record_conversion.h"

#include <cmath>
#include <cstring>

#include "engine/storage/data/record_buffer.h"
#include "engine/storage/data/value_text.h"
#include "engine/storage/files/file_names.h"
#include "engine/values/date_time_text.h"
#include "engine/values/expression_collation.h"
#include "engine/values/value_compare.h"
#include "engine/values/value_ops.h"

namespace quarry {

// A value node holding a field's value (cardinal and extended values carried as 64-bit
// integer and floating point, the node types that convert them).
TExpToken FieldValueToken(const TFieldDefinition& field, const std::uint8_t* record) {
  TExpToken value;
  value.SubType = field.IsAutoInc() ? st::None : field.SubType;
  value.Scale = field.Scale;
  const bool isNull = IsFieldNull(record, field);
  switch (field.DataType) {
  case TFieldType::Cardinal:
    value.DataType = vt::LargeInt;
    value.SetValueSize(8);
    value.ZeroValue();
    value.Put<std::int64_t>(GetFieldCardinal(record, field));
    break;
  case TFieldType::Extended:
    value.DataType = vt::Float;
    value.SetValueSize(8);
    value.ZeroValue();
    value.Put<double>(GetFieldFloat(record, field));
    break;
  default:
    value.DataType = static_cast<std::uint8_t>(field.DataType);
    value.SetValueSize(field.IsAutoInc() ? 4 : field.ValueSize);
    value.ZeroValue();
    std::memcpy(value.Value.data(), FieldData(record, field), static_cast<std::size_t>(value.ValueSize));
    break;
  }
  value.IsNull = isNull;
  return value;
}

// An empty node of a field's type, ready to be converted into.
TExpToken EmptyValueOf(const TFieldDefinition& field) {
  TExpToken target;
  switch (field.DataType) {
  case TFieldType::Cardinal: target.DataType = vt::LargeInt; break;
  case TFieldType::Extended: target.DataType = vt::Float; break;
  default: target.DataType = static_cast<std::uint8_t>(field.DataType); break;
  }
  target.SubType = field.IsAutoInc() ? st::None : field.SubType;
  target.Scale = field.Scale;
  target.SetValueSize(
      target.DataType == vt::LargeInt || target.DataType == vt::Float ? 8 : (field.IsAutoInc() ? 4 : field.ValueSize));
  target.ZeroValue();
  return target;
}

// True when the value, taken as a whole number, fits the integer type of the field.
bool FitsIntegerField(const TExpToken& source, const TFieldDefinition& field) {
  double low = 0;
  double high = 0;
  switch (field.DataType) {
  case TFieldType::SmallInt:
    low = -32768.0;
    high = 32767.0;
    break;
  case TFieldType::Word:
    low = 0;
    high = 65535.0;
    break;
  case TFieldType::Integer:
    low = -2147483648.0;
    high = 2147483647.0;
    break;
  case TFieldType::Cardinal:
    low = 0;
    high = 4294967295.0;
    break;
  case TFieldType::LargeInt:
    low = -9223372036854775808.0;
    high = 9223372036854775807.0;
    break;
  default: return true;
  }
  if (source.IsNull) return true;
  if (IsIntegerType(source.DataType) || source.DataType == vt::Boolean || source.DataType == vt::Date ||
      source.DataType == vt::Time) {
    if (field.DataType == TFieldType::LargeInt) return true;
    const std::int64_t v = ValueAsInt64(source);
    return static_cast<double>(v) >= low && static_cast<double>(v) <= high;
  }
  double v = 0;
  if (source.DataType == vt::String) {
    const std::string text = source.GetString();
    std::int64_t whole = 0;
    if (ParseInt64Text(text, whole)) {
      v = static_cast<double>(whole);
      if (field.DataType == TFieldType::LargeInt) return true;
    } else if (!ParseFloatText(text, v)) {
      return true;  // not a number at all: the conversion itself reports it
    }
  } else if (source.DataType == vt::Bcd) {
    v = static_cast<double>(ValueAsFixed(source)) / static_cast<double>(kFixedScale);
  } else {
    v = ValueAsDouble(source);
  }
  if (!std::isfinite(v)) return false;
  v = std::trunc(v);
  // 2^63 itself does not fit; every double below it does.
  if (field.DataType == TFieldType::LargeInt) return v >= low && v < high;
  return v >= low && v <= high;
}

// Converts one old field's value into the new record. False when it cannot be converted.
bool ConvertField(const TFieldDefinition& from, const std::uint8_t* oldRecord, const TFieldDefinition& to,
                  std::uint8_t* newRecord, const TDataFile& newData) {
  const TExpToken source = FieldValueToken(from, oldRecord);
  if (source.IsNull) {
    SetFieldNull(newRecord, to);
    return true;
  }
  // BLOB contents are not converted from or into other types here.
  if (from.IsBlob() || to.IsBlob()) {
    if (!(from.IsBlob() && to.IsBlob())) return false;
    std::memcpy(FieldData(newRecord, to), FieldData(oldRecord, from), to.ValueSize);
    newRecord[to.Offset] = oldRecord[from.Offset];
    return true;
  }
  if (!FitsIntegerField(source, to)) return false;
  TExpToken target = EmptyValueOf(to);
  if (!ConvertValue(source, target)) return false;
  if (target.IsNull) {
    SetFieldNull(newRecord, to);
    return true;
  }
  switch (to.DataType) {
  case TFieldType::String: newData.SetString(newRecord, to, target.GetString()); break;
  case TFieldType::Cardinal:
    SetFieldCardinal(newRecord, to, static_cast<std::uint32_t>(target.Get<std::int64_t>()));
    break;
  case TFieldType::Extended: SetFieldFloat(newRecord, to, target.Get<double>()); break;
  case TFieldType::Bytes:
  case TFieldType::VarBytes: SetFieldBytes(newRecord, to, ValueBytes(target)); break;
  default: SetFieldData(newRecord, to, target.Value.data()); break;
  }
  return true;
}

// A value text (default, minimum, maximum) as a value node of the field's type.
bool ValueTextToken(const TFieldDefinition& field, const std::string& text, TExpToken& value) {
  value = EmptyValueOf(field);
  return ConvertValueText(text, DefaultEnvironment().LocalTime(), value);
}

// A new record of the table with every field's default value.
std::vector<std::uint8_t> NewRecordWithDefaults(const TDataFile& data) {
  std::vector<std::uint8_t> record(static_cast<std::size_t>(data.RecordSize()), 0);
  for (const TFieldDefinition& field : data.Fields()) {
    if (field.DefaultValue.empty() || !field.TakesRecordSpace() || field.IsBlob()) continue;
    TExpToken value;
    if (!ValueTextToken(field, field.DefaultValue, value) || value.IsNull) continue;
    switch (field.DataType) {
    case TFieldType::String: data.SetString(record.data(), field, value.GetString()); break;
    case TFieldType::Cardinal:
      SetFieldCardinal(record.data(), field, static_cast<std::uint32_t>(value.Get<std::int64_t>()));
      break;
    case TFieldType::Extended: SetFieldFloat(record.data(), field, value.Get<double>()); break;
    case TFieldType::Bytes:
    case TFieldType::VarBytes: SetFieldBytes(record.data(), field, ValueBytes(value)); break;
    default: SetFieldData(record.data(), field, value.Value.data()); break;
    }
  }
  return record;
}

// The required, minimum and maximum checks of a record: 0 when it passes, else the code
// (QUARRY_REQDERR, QUARRY_MINVALERR, QUARRY_MAXVALERR) with the field in `failed`.
TEngineErrorCode CheckRecordValidity(const TDataFile& data, const std::uint8_t* record, std::string& failed) {
  const TExpressionCollation collation{data.LanguageId(), data.SortId()};
  for (const TFieldDefinition& field : data.Fields()) {
    if (!field.TakesRecordSpace()) continue;
    const bool isNull = IsFieldNull(record, field);
    if (field.Required && isNull) {
      failed = field.Name;
      return QUARRY_REQDERR;
    }
    if (isNull || field.IsBlob() || (field.MinValue.empty() && field.MaxValue.empty())) continue;
    const TExpToken value = FieldValueToken(field, record);
    TExpToken limit;
    if (!field.MinValue.empty() && ValueTextToken(field, field.MinValue, limit) &&
        CompareByOperator(op::Less, value, limit, collation)) {
      failed = field.Name;
      return QUARRY_MINVALERR;
    }
    if (!field.MaxValue.empty() && ValueTextToken(field, field.MaxValue, limit) &&
        CompareByOperator(op::Greater, value, limit, collation)) {
      failed = field.Name;
      return QUARRY_MAXVALERR;
    }
  }
  return QUARRY_NONE;
}

}  // namespace quarry
