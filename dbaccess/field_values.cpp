// Data values of the access layer: conversions, and the field values of record images (see
// field_values.h and quarry_dataset.h).
#include "dbaccess/field_values.h"

#include <cmath>
#include <cstring>

#include "dbaccess/access_messages.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/values/bcd.h"
#include "engine/values/date_time_text.h"

namespace quarry {

bool IsNullValue(const TDataValue& value) { return std::holds_alternative<std::monostate>(value); }

std::string ValueText(const TDataValue& value) {
  if (auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&value)) return FormatFloat(*d);
  if (auto* b = std::get_if<bool>(&value)) return FormatBoolean(*b);
  if (auto* s = std::get_if<std::string>(&value)) return *s;
  return std::string();
}

std::int64_t ValueInt(const TDataValue& value) {
  if (auto* i = std::get_if<std::int64_t>(&value)) return *i;
  if (auto* d = std::get_if<double>(&value)) return static_cast<std::int64_t>(*d);
  if (auto* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
  if (auto* s = std::get_if<std::string>(&value)) {
    std::int64_t out = 0;
    if (!ParseInt64Text(*s, out)) {
      msg::Raise(msg::InvalidInteger, *s);
    }
    return out;
  }
  return 0;
}

double ValueFloat(const TDataValue& value) {
  if (auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
  if (auto* d = std::get_if<double>(&value)) return *d;
  if (auto* b = std::get_if<bool>(&value)) return *b ? 1.0 : 0.0;
  if (auto* s = std::get_if<std::string>(&value)) {
    double out = 0;
    if (!ParseFloatText(*s, out)) msg::Raise(msg::InvalidFloat, *s);
    return out;
  }
  return 0.0;
}

bool ValueBool(const TDataValue& value) {
  if (auto* b = std::get_if<bool>(&value)) return *b;
  if (auto* s = std::get_if<std::string>(&value)) {
    bool out = false;
    if (!ParseBooleanText(*s, out)) throw EDataSetError(InvalidBooleanMessage(*s));
    return out;
  }
  return ValueInt(value) != 0;
}

// The decoded value of a field in a record image.
TDataValue DecodeFieldValue(const std::uint8_t* record, const TFieldDefinition& def) {
  if (!def.IsAutoInc() && IsFieldNull(record, def)) return std::monostate{};
  switch (def.DataType) {
  case TFieldType::String: return GetFieldString(record, def);
  case TFieldType::Date: return FormatDate(GetFieldInteger(record, def));
  case TFieldType::Time: return FormatTime(GetFieldInteger(record, def));
  case TFieldType::TimeStamp: return FormatTimestamp(GetFieldFloat(record, def));
  case TFieldType::Boolean: return GetFieldBoolean(record, def);
  case TFieldType::SmallInt: return static_cast<std::int64_t>(GetFieldSmallInt(record, def));
  case TFieldType::Word: return static_cast<std::int64_t>(GetFieldWord(record, def));
  case TFieldType::Integer: return static_cast<std::int64_t>(GetFieldInteger(record, def));
  case TFieldType::Cardinal: return static_cast<std::int64_t>(GetFieldCardinal(record, def));
  case TFieldType::LargeInt: return GetFieldLargeInt(record, def);
  case TFieldType::Float: return GetFieldFloat(record, def);
  case TFieldType::Bcd: return static_cast<double>(GetFieldBcd(record, def)) / 10000.0;
  case TFieldType::Bytes:
  case TFieldType::VarBytes: return GetFieldBytes(record, def);
  default: return std::monostate{};
  }
}

// Stores value into a scratch record image in the field's storage form.
void EncodeFieldValue(std::uint8_t* record, const TFieldDefinition& def, const TDataValue& value) {
  switch (def.DataType) {
  case TFieldType::String: SetFieldString(record, def, ValueText(value)); return;
  case TFieldType::Date: {
    std::int32_t day = 0;
    if (auto* s = std::get_if<std::string>(&value)) {
      if (!ParseDateText(*s, day)) throw EDataSetError(InvalidDateMessage(*s));
    } else {
      day = static_cast<std::int32_t>(ValueInt(value));
    }
    SetFieldInteger(record, def, day);
    return;
  }
  case TFieldType::Time: {
    std::int32_t ms = 0;
    if (auto* s = std::get_if<std::string>(&value)) {
      if (!ParseTimeText(*s, ms)) throw EDataSetError(InvalidTimeMessage(*s));
    } else {
      ms = static_cast<std::int32_t>(ValueInt(value));
    }
    SetFieldInteger(record, def, ms);
    return;
  }
  case TFieldType::TimeStamp: {
    double stamp = 0;
    if (auto* s = std::get_if<std::string>(&value)) {
      if (!ParseTimestampText(*s, stamp)) throw EDataSetError(InvalidTimestampMessage(*s));
    } else {
      stamp = ValueFloat(value);
    }
    SetFieldFloat(record, def, stamp);
    return;
  }
  case TFieldType::Boolean: SetFieldBoolean(record, def, ValueBool(value)); return;
  case TFieldType::SmallInt: SetFieldSmallInt(record, def, static_cast<std::int16_t>(ValueInt(value))); return;
  case TFieldType::Word: SetFieldWord(record, def, static_cast<std::uint16_t>(ValueInt(value))); return;
  case TFieldType::Integer: SetFieldInteger(record, def, static_cast<std::int32_t>(ValueInt(value))); return;
  case TFieldType::Cardinal: SetFieldCardinal(record, def, static_cast<std::uint32_t>(ValueInt(value))); return;
  case TFieldType::LargeInt: SetFieldLargeInt(record, def, ValueInt(value)); return;
  case TFieldType::Float: SetFieldFloat(record, def, ValueFloat(value)); return;
  case TFieldType::Bcd:
    SetFieldBcd(record, def, static_cast<std::int64_t>(std::llround(ValueFloat(value) * 10000.0)));
    return;
  case TFieldType::Bytes:
  case TFieldType::VarBytes: SetFieldBytes(record, def, ValueText(value)); return;
  default: throw EDataSetError(msg::Format(msg::FieldReadOnly, def.Name));
  }
}

TDataFieldType MapEngineFieldType(std::uint8_t type, std::uint8_t subType) {
  switch (type) {
  case 1: return subType == subtype::FixedLength ? TDataFieldType::ftFixedChar : TDataFieldType::ftString;
  case 2: return TDataFieldType::ftDate;
  case 3:
    switch (subType) {
    case 22: return TDataFieldType::ftMemo;
    case 24: return TDataFieldType::ftFmtMemo;
    case 26: return TDataFieldType::ftGraphic;
    case 28: return TDataFieldType::ftTypedBinary;
    default: return TDataFieldType::ftBlob;
    }
  case 4: return TDataFieldType::ftBoolean;
  case 5: return TDataFieldType::ftSmallint;
  case 6: return subType == subtype::AutoInc ? TDataFieldType::ftAutoInc : TDataFieldType::ftInteger;
  case 7: return subType == subtype::Money ? TDataFieldType::ftCurrency : TDataFieldType::ftFloat;
  case 8: return TDataFieldType::ftBCD;
  case 9: return TDataFieldType::ftBytes;
  case 10: return TDataFieldType::ftTime;
  case 11: return TDataFieldType::ftDateTime;
  case 12: return TDataFieldType::ftWord;
  case 13: return TDataFieldType::ftInteger;
  case 15: return TDataFieldType::ftVarBytes;
  case 18:
  case 19: return TDataFieldType::ftLargeint;
  case 20: return TDataFieldType::ftADT;
  case 21: return TDataFieldType::ftArray;
  case 22: return TDataFieldType::ftReference;
  case 23: return TDataFieldType::ftDataSet;
  default: return TDataFieldType::ftUnknown;
  }
}

}  // namespace quarry
