// Field value access on record images: null flags, typed reads and writes, string storage
// rules (cut, trailing blanks, character case) and the 80-bit float conversion.
#include "engine/storage/data/record_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/values/bcd.h"
#include "engine/values/byte_image.h"

namespace quarry {

std::uint8_t RecordStatus(const std::uint8_t* record) { return record[0]; }
void SetRecordStatus(std::uint8_t* record, std::uint8_t status) { record[0] = status; }
std::int32_t RecordLink(const std::uint8_t* record) { return bytes::Load<std::int32_t>(record + 1); }
void SetRecordLink(std::uint8_t* record, std::int32_t link) { bytes::Store<std::int32_t>(record + 1, link); }
std::int32_t RecordIdentifier(const std::uint8_t* record) { return bytes::Load<std::int32_t>(record + 5); }
void SetRecordIdentifier(std::uint8_t* record, std::int32_t identifier) {
  bytes::Store<std::int32_t>(record + 5, identifier);
}

bool IsFieldNull(const std::uint8_t* record, const TFieldDefinition& field) {
  if (field.IsAutoInc()) return false;
  return record[field.Offset] == 0;
}

void SetFieldNull(std::uint8_t* record, const TFieldDefinition& field) {
  // The auto-increment field is the record identifier: it is never null and keeps its value.
  if (field.IsAutoInc()) return;
  record[field.Offset] = 0;
  std::memset(record + field.Offset + 1, 0, field.ValueSize);
}

const std::uint8_t* FieldData(const std::uint8_t* record, const TFieldDefinition& field) {
  return record + field.ValueOffset();
}
std::uint8_t* FieldData(std::uint8_t* record, const TFieldDefinition& field) { return record + field.ValueOffset(); }

void SetFieldData(std::uint8_t* record, const TFieldDefinition& field, const std::uint8_t* value) {
  if (!field.IsAutoInc()) record[field.Offset] = 1;
  std::memmove(FieldData(record, field), value, field.IsAutoInc() ? 4 : field.ValueSize);
  // Any non-zero boolean is stored as 1.
  if (field.DataType == TFieldType::Boolean && bytes::Load<std::uint16_t>(FieldData(record, field)) != 0)
    bytes::Store<std::uint16_t>(FieldData(record, field), 1);
}

namespace {

// Marks the field as holding a value and returns its data bytes.
std::uint8_t* BeginValue(std::uint8_t* record, const TFieldDefinition& field) {
  if (!field.IsAutoInc()) record[field.Offset] = 1;
  return FieldData(record, field);
}

// Largest prefix length of text that is at most maxBytes and does not end inside a UTF-8
// sequence (a lone or malformed byte sequence is cut bytewise).
std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  std::size_t cut = maxBytes;
  // Back off over continuation bytes so the next byte starts a character.
  std::size_t backed = 0;
  while (cut > 0 && backed < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
    --cut;
    ++backed;
  }
  if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) return maxBytes;  // not UTF-8
  return cut;
}

}  // namespace

std::string AsciiCaseMap(std::string_view text, TCharCase to) {
  std::string result(text);
  for (char& c : result) {
    if (to == TCharCase::Upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (to == TCharCase::Lower && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

std::string GetFieldString(const std::uint8_t* record, const TFieldDefinition& field) {
  if (IsFieldNull(record, field)) return {};
  const char* data = reinterpret_cast<const char*>(FieldData(record, field));
  // The terminator is within the storage size; never read past it on a damaged record.
  return std::string(data, strnlen(data, field.ValueSize));
}

void SetFieldString(std::uint8_t* record, const TFieldDefinition& field, std::string_view text,
                    const TCaseMapper& mapCase) {
  const std::size_t capacity = field.ValueSize > 0 ? field.ValueSize - 1u : 0u;
  // An embedded zero ends a zero-terminated value.
  if (auto zero = text.find('\0'); zero != std::string_view::npos) text = text.substr(0, zero);
  text = text.substr(0, Utf8CutLength(text, capacity));
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::string value(text);
  if (field.CharCase != TCharCase::Unchanged && !value.empty()) {
    value = mapCase ? mapCase(value, field.CharCase) : AsciiCaseMap(value, field.CharCase);
    // Case mapping may change the length of UTF-8 text: apply the rules again.
    if (auto zero = value.find('\0'); zero != std::string::npos) value.resize(zero);
    value.resize(Utf8CutLength(value, capacity));
    while (!value.empty() && value.back() == ' ') value.pop_back();
  }
  SetFieldNull(record, field);
  if (value.empty()) return;
  std::memcpy(BeginValue(record, field), value.data(), value.size());
}

bool GetFieldBoolean(const std::uint8_t* record, const TFieldDefinition& field) {
  return bytes::Load<std::uint16_t>(FieldData(record, field)) != 0;
}
void SetFieldBoolean(std::uint8_t* record, const TFieldDefinition& field, bool value) {
  bytes::Store<std::uint16_t>(BeginValue(record, field), value ? 1 : 0);
}

std::int16_t GetFieldSmallInt(const std::uint8_t* record, const TFieldDefinition& field) {
  return bytes::Load<std::int16_t>(FieldData(record, field));
}
void SetFieldSmallInt(std::uint8_t* record, const TFieldDefinition& field, std::int16_t value) {
  bytes::Store<std::int16_t>(BeginValue(record, field), value);
}

std::uint16_t GetFieldWord(const std::uint8_t* record, const TFieldDefinition& field) {
  return bytes::Load<std::uint16_t>(FieldData(record, field));
}
void SetFieldWord(std::uint8_t* record, const TFieldDefinition& field, std::uint16_t value) {
  bytes::Store<std::uint16_t>(BeginValue(record, field), value);
}

std::int32_t GetFieldInteger(const std::uint8_t* record, const TFieldDefinition& field) {
  return bytes::Load<std::int32_t>(FieldData(record, field));
}
void SetFieldInteger(std::uint8_t* record, const TFieldDefinition& field, std::int32_t value) {
  bytes::Store<std::int32_t>(BeginValue(record, field), value);
}

std::uint32_t GetFieldCardinal(const std::uint8_t* record, const TFieldDefinition& field) {
  return bytes::Load<std::uint32_t>(FieldData(record, field));
}
void SetFieldCardinal(std::uint8_t* record, const TFieldDefinition& field, std::uint32_t value) {
  bytes::Store<std::uint32_t>(BeginValue(record, field), value);
}

std::int64_t GetFieldLargeInt(const std::uint8_t* record, const TFieldDefinition& field) {
  return bytes::Load<std::int64_t>(FieldData(record, field));
}
void SetFieldLargeInt(std::uint8_t* record, const TFieldDefinition& field, std::int64_t value) {
  bytes::Store<std::int64_t>(BeginValue(record, field), value);
}

double GetFieldFloat(const std::uint8_t* record, const TFieldDefinition& field) {
  if (field.DataType == TFieldType::Extended) return ExtendedToDouble(FieldData(record, field));
  return bytes::Load<double>(FieldData(record, field));
}
void SetFieldFloat(std::uint8_t* record, const TFieldDefinition& field, double value) {
  if (field.DataType == TFieldType::Extended) DoubleToExtended(value, BeginValue(record, field));
  else bytes::Store<double>(BeginValue(record, field), value);
}

std::int64_t GetFieldBcd(const std::uint8_t* record, const TFieldDefinition& field) {
  return BcdToFixed(TBcd::FromBytes(FieldData(record, field)));
}
void SetFieldBcd(std::uint8_t* record, const TFieldDefinition& field, std::int64_t fixed) {
  FixedToBcd(fixed, field.Scale).ToBytes(BeginValue(record, field));
}

std::string GetFieldBytes(const std::uint8_t* record, const TFieldDefinition& field) {
  if (IsFieldNull(record, field)) return {};
  return std::string(reinterpret_cast<const char*>(FieldData(record, field)), field.ValueSize);
}
void SetFieldBytes(std::uint8_t* record, const TFieldDefinition& field, std::string_view value) {
  std::uint8_t* data = BeginValue(record, field);
  std::memset(data, 0, field.ValueSize);
  std::memcpy(data, value.data(), std::min<std::size_t>(value.size(), field.ValueSize));
}

TBlobReference GetFieldBlob(const std::uint8_t* record, const TFieldDefinition& field) {
  const std::uint8_t* data = FieldData(record, field);
  return {bytes::Load<std::int32_t>(data), bytes::Load<std::int32_t>(data + 4)};
}
void SetFieldBlob(std::uint8_t* record, const TFieldDefinition& field, TBlobReference blob) {
  std::uint8_t* data = FieldData(record, field);
  bytes::Store<std::int32_t>(data, blob.FirstBlock);
  bytes::Store<std::int32_t>(data + 4, blob.ChangeNumber);
  record[field.Offset] = blob.FirstBlock != 0 ? 1 : 0;
}

double ExtendedToDouble(const std::uint8_t* p) {
  const std::uint64_t mantissa = bytes::Load<std::uint64_t>(p);
  const std::uint16_t signExp = bytes::Load<std::uint16_t>(p + 8);
  const bool negative = (signExp & 0x8000) != 0;
  const int exponent = signExp & 0x7FFF;
  double value;
  if (exponent == 0x7FFF) {
    value = (mantissa << 1) == 0 ? INFINITY : NAN;
  } else if (mantissa == 0) {
    value = 0.0;
  } else {
    const int e = (exponent == 0 ? 1 : exponent) - 16383 - 63;
    value = std::ldexp(static_cast<double>(mantissa), e);
  }
  return negative ? -value : value;
}

void DoubleToExtended(double value, std::uint8_t* p) {
  std::uint16_t signExp = std::signbit(value) ? 0x8000 : 0;
  std::uint64_t mantissa = 0;
  if (std::isnan(value)) {
    signExp |= 0x7FFF;
    mantissa = 0xC000000000000000ULL;
  } else if (std::isinf(value)) {
    signExp |= 0x7FFF;
    mantissa = 0x8000000000000000ULL;
  } else if (value != 0.0) {
    int e = 0;
    const double fraction = std::frexp(std::fabs(value), &e);  // [0.5, 1) * 2^e
    // fraction * 2^64 holds the 53 significant bits exactly, top bit at 63.
    mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
    signExp |= static_cast<std::uint16_t>(e - 1 + 16383);
  }
  bytes::Store<std::uint64_t>(p, mantissa);
  bytes::Store<std::uint16_t>(p + 8, signExp);
}

}  // namespace quarry
