// Key construction (see index_key.h).
#include "engine/storage/index/index_key.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/platform/locale_services.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/index/index_error.h"
#include "engine/values/bcd.h"
#include "engine/values/byte_image.h"

namespace quarry {

namespace {

void PutBigEndian(std::uint64_t v, int bytes, std::uint8_t* out) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * (bytes - 1 - i)));
}

std::uint64_t LoadBigEndian(const std::uint8_t* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | in[i];
  return value;
}

}  // namespace

void EncodeInt16Key(std::int16_t v, std::uint8_t* out) {
  PutBigEndian(static_cast<std::uint16_t>(v) ^ 0x8000u, 2, out);
}
void EncodeUInt16Key(std::uint16_t v, std::uint8_t* out) { PutBigEndian(v, 2, out); }
void EncodeInt32Key(std::int32_t v, std::uint8_t* out) {
  PutBigEndian(static_cast<std::uint32_t>(v) ^ 0x80000000u, 4, out);
}
void EncodeInt64Key(std::int64_t v, std::uint8_t* out) {
  PutBigEndian(static_cast<std::uint64_t>(v) ^ 0x8000000000000000ull, 8, out);
}
void EncodeDoubleKey(double v, std::uint8_t* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  // Negative values invert everything; zero of either sign and positive values set the top
  // bit, so -0 and +0 give the same key.
  if (v < 0) {
    bits = ~bits;
  } else {
    bits = (v == 0 ? 0 : bits) | 0x8000000000000000ull;
  }
  PutBigEndian(bits, 8, out);
}
std::int32_t DecodeInt32Key(const std::uint8_t* in) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | in[i];
  return static_cast<std::int32_t>(v ^ 0x80000000u);
}

bool KeyDecodesField(const TFieldDefinition& field) {
  switch (field.DataType) {
  case TFieldType::String:
  case TFieldType::Integer:
  case TFieldType::Date:
  case TFieldType::Time:
  case TFieldType::SmallInt:
  case TFieldType::Word:
  case TFieldType::Boolean:
  case TFieldType::LargeInt: return true;
  default: return false;
  }
}

int ComputeKeyLength(const std::vector<const TFieldDefinition*>& fields, bool unique, std::string_view indexName,
                     std::string_view tableName) {
  int length = unique ? 0 : 4;
  for (const TFieldDefinition* f : fields) {
    if (f->IsBlob()) RaiseIndexError(QUARRY_SEARCHCOLREQD, tableName, indexName, f->Name);
    length += KeySizeOf(f->DataType, f->ValueSize) + 1;
  }
  if (length == 0 || length > MaxIndexKeyLength) RaiseIndexError(QUARRY_INVALIDKEY, tableName, indexName);
  return length;
}

TKeyBuilder::TKeyBuilder(const TIndexDefinition& index, const std::vector<TFieldDefinition>& fields,
                         std::shared_ptr<const TCollation> collation, std::string_view tableName)
    : index_(index), collation_(std::move(collation)) {
  if (collation_ == nullptr) collation_ = BinaryCollation();
  if (index.FieldCount > MaxKeyFields) RaiseIndexError(QUARRY_INDEXLIMIT, tableName, index.Name);
  for (int i = 0; i < index.FieldCount; ++i) {
    const int number = index.FieldNumbers[i];
    if (number < 1 || number > static_cast<int>(fields.size())) {
      RaiseIndexError(QUARRY_INVALIDIDXDESC, tableName, index.Name, std::to_string(number));
    }
    fields_.push_back(&fields[number - 1]);
  }
  keyLength_ = ComputeKeyLength(fields_, index.Unique, index.Name, tableName);
  invertDescending_ = collation_->IsBinary() && !index.Descending;
  int offset = 0;
  for (int i = 0; i < index.FieldCount; ++i) {
    TKeyFieldLayout f;
    f.Offset = offset;
    f.Size = KeySizeOf(fields_[i]->DataType, fields_[i]->ValueSize);
    f.IsString = fields_[i]->DataType == TFieldType::String;
    f.Descending = index.FieldDescending[i];
    layout_.push_back(f);
    offset += f.Size + 1;
  }
}

TKeyComparator TKeyBuilder::Comparator() const {
  if (collation_->IsBinary()) return TKeyComparator::Bytewise(keyLength_, index_.Descending);
  return TKeyComparator::ByFields(keyLength_, layout_, index_.Descending, index_.CaseInsensitive, collation_);
}

std::vector<std::uint8_t> TKeyBuilder::Build(const std::uint8_t* record) const {
  std::vector<std::uint8_t> key(static_cast<std::size_t>(keyLength_));
  Build(record, key.data());
  return key;
}

void TKeyBuilder::Decode(const std::uint8_t* key, std::uint8_t* record) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const TFieldDefinition& field = *fields_[i];
    const TKeyFieldLayout& at = layout_[i];
    const std::uint8_t* flag = key + at.Offset;
    const std::uint8_t* value = flag + 1;
    if (*flag == 0) continue;
    switch (field.DataType) {
    case TFieldType::String: {
      // The key holds the text zero-padded to the storage size, as the record does.
      std::uint8_t* out = FieldData(record, field);
      const std::size_t length = strnlen(reinterpret_cast<const char*>(value), static_cast<std::size_t>(at.Size));
      std::memset(out, 0, field.ValueSize);
      std::memcpy(out, value, std::min<std::size_t>(length, field.ValueSize));
      record[field.Offset] = 1;
      break;
    }
    case TFieldType::Integer:
    case TFieldType::Date:
    case TFieldType::Time:
      SetFieldInteger(record, field,
                      static_cast<std::int32_t>(static_cast<std::uint32_t>(LoadBigEndian(value, 4)) ^ 0x80000000u));
      break;
    case TFieldType::SmallInt:
      SetFieldSmallInt(record, field,
                       static_cast<std::int16_t>(static_cast<std::uint16_t>(LoadBigEndian(value, 2)) ^ 0x8000u));
      break;
    case TFieldType::Word:
    case TFieldType::Boolean: SetFieldWord(record, field, static_cast<std::uint16_t>(LoadBigEndian(value, 2))); break;
    case TFieldType::LargeInt:
      SetFieldLargeInt(record, field, static_cast<std::int64_t>(LoadBigEndian(value, 8) ^ 0x8000000000000000ULL));
      break;
    default: break;
    }
  }
  if (!index_.Unique) SetRecordIdentifier(record, DecodeInt32Key(key + keyLength_ - 4));
}

void TKeyBuilder::Build(const std::uint8_t* record, std::uint8_t* key) const {
  std::memset(key, 0, static_cast<std::size_t>(keyLength_));
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const TFieldDefinition& field = *fields_[i];
    const TKeyFieldLayout& at = layout_[i];
    std::uint8_t* flag = key + at.Offset;
    std::uint8_t* value = flag + 1;
    if (!IsFieldNull(record, field)) {
      *flag = 1;
      const std::uint8_t* data = FieldData(record, field);
      switch (field.DataType) {
      case TFieldType::String: {
        std::string_view text(reinterpret_cast<const char*>(data), FieldTextLength(data, field.ValueSize));
        std::string upper;
        if (index_.CaseInsensitive) {
          upper = collation_->Upper(text);
          text = upper;
        }
        // Keep at least one zero byte; never cut inside a character.
        text = Utf8Prefix(text, static_cast<std::size_t>(at.Size - 1));
        std::memcpy(value, text.data(), text.size());
        break;
      }
      case TFieldType::Integer:
      case TFieldType::Date:
      case TFieldType::Time: EncodeInt32Key(bytes::Load<std::int32_t>(data), value); break;
      case TFieldType::SmallInt: EncodeInt16Key(bytes::Load<std::int16_t>(data), value); break;
      case TFieldType::Boolean:
      case TFieldType::Word: EncodeUInt16Key(bytes::Load<std::uint16_t>(data), value); break;
      case TFieldType::LargeInt: EncodeInt64Key(bytes::Load<std::int64_t>(data), value); break;
      case TFieldType::Bcd: EncodeInt64Key(BcdToFixed(TBcd::FromBytes(data)), value); break;
      case TFieldType::Float:
      case TFieldType::TimeStamp: EncodeDoubleKey(bytes::Load<double>(data), value); break;
      default: std::memcpy(value, data, static_cast<std::size_t>(at.Size)); break;
      }
    }
    if (invertDescending_ && at.Descending) {
      // Strings keep their last byte (always zero) so a longer text still sorts first.
      const int inverted = 1 + (at.IsString ? at.Size - 1 : at.Size);
      for (int b = 0; b < inverted; ++b) flag[b] = static_cast<std::uint8_t>(~flag[b]);
    }
  }
  if (!index_.Unique) EncodeInt32Key(RecordIdentifier(record), key + keyLength_ - 4);
}

void BuildDeletedKey(std::uint8_t status, std::int32_t identifier, std::uint8_t* key) {
  key[0] = status;
  EncodeInt32Key(identifier, key + 1);
}

}  // namespace quarry
