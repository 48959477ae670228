// Building and comparing the sort keys of records.
#include "engine/storage/data/sort_key.h"

#include <cstring>
#include <string>

#include "engine/platform/locale_services.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/values/bcd.h"
#include "engine/values/byte_image.h"

namespace quarry {

namespace {

void StoreBigEndian(std::uint64_t value, int bytes, std::uint8_t* out) {
  for (int i = bytes - 1; i >= 0; --i) {
    out[i] = static_cast<std::uint8_t>(value);
    value >>= 8;
  }
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// The record identifier suffix: int32 big-endian with the top bit inverted.
void StoreIdentifierKey(std::int32_t value, std::uint8_t* out) {
  StoreBigEndian(static_cast<std::uint32_t>(value) ^ 0x80000000u, 4, out);
}

}  // namespace

TSortKeyBuilder::TSortKeyBuilder(std::vector<TFieldDefinition> keyFields, bool caseInsensitive,
                                 std::uint16_t languageId, std::uint16_t sortId)
    : caseInsensitive_(caseInsensitive), languageId_(languageId), sortId_(sortId) {
  int offset = 0;
  for (TFieldDefinition& f : keyFields) {
    TKeyField k;
    k.KeySize = KeySizeOf(f.DataType, f.ValueSize);
    k.KeyOffset = offset;
    k.Field = std::move(f);
    offset += k.KeySize + 1;
    fields_.push_back(std::move(k));
  }
  keyLength_ = offset + 4;
}

void TSortKeyBuilder::Build(const std::uint8_t* record, std::uint8_t* key) const {
  for (const TKeyField& k : fields_) {
    const TFieldDefinition& f = k.Field;
    std::uint8_t* flag = key + k.KeyOffset;
    std::uint8_t* value = flag + 1;
    std::memset(value, 0, static_cast<std::size_t>(k.KeySize));
    *flag = IsFieldNull(record, f) ? 0 : 1;
    const std::uint8_t* data = FieldData(record, f);
    switch (f.DataType) {
    case TFieldType::String: {
      std::string text = GetFieldString(record, f);
      if (caseInsensitive_) text = LocaleUpperCase(text, languageId_, sortId_);
      // Keep the terminating zero inside the key size.
      const std::string_view cut = Utf8Prefix(text, static_cast<std::size_t>(k.KeySize > 0 ? k.KeySize - 1 : 0));
      std::memcpy(value, cut.data(), cut.size());
      break;
    }
    case TFieldType::Integer:
    case TFieldType::Date:
    case TFieldType::Time: StoreBigEndian(bytes::Load<std::uint32_t>(data) ^ 0x80000000u, 4, value); break;
    case TFieldType::SmallInt: StoreBigEndian(bytes::Load<std::uint16_t>(data) ^ 0x8000u, 2, value); break;
    case TFieldType::Boolean:
    case TFieldType::Word: StoreBigEndian(bytes::Load<std::uint16_t>(data), 2, value); break;
    case TFieldType::LargeInt:
      StoreBigEndian(bytes::Load<std::uint64_t>(data) ^ 0x8000000000000000ULL, 8, value);
      break;
    case TFieldType::Bcd: {
      const std::int64_t fixed = *flag ? BcdToFixed(TBcd::FromBytes(data)) : 0;
      StoreBigEndian(static_cast<std::uint64_t>(fixed) ^ 0x8000000000000000ULL, 8, value);
      break;
    }
    case TFieldType::Float:
    case TFieldType::TimeStamp: {
      std::uint64_t bits = bytes::Load<std::uint64_t>(data);
      bits = (bits & 0x8000000000000000ULL) && bits != 0x8000000000000000ULL ? ~bits : bits | 0x8000000000000000ULL;
      StoreBigEndian(bits, 8, value);
      break;
    }
    default: std::memcpy(value, data, static_cast<std::size_t>(k.KeySize)); break;
    }
    if (languageId_ == 0 && f.Descending) {
      *flag = static_cast<std::uint8_t>(~*flag);
      const int inverted = f.DataType == TFieldType::String ? k.KeySize - 1 : k.KeySize;
      for (int i = 0; i < inverted; ++i) value[i] = static_cast<std::uint8_t>(~value[i]);
    }
  }
  StoreIdentifierKey(RecordIdentifier(record), key + keyLength_ - 4);
}

int TSortKeyBuilder::CompareFields(const std::uint8_t* a, const std::uint8_t* b) const {
  if (languageId_ == 0) return Sign(std::memcmp(a, b, static_cast<std::size_t>(FieldsLength())));
  for (const TKeyField& k : fields_) {
    const std::uint8_t* fa = a + k.KeyOffset;
    const std::uint8_t* fb = b + k.KeyOffset;
    int result;
    if (k.Field.DataType == TFieldType::String) {
      result = Sign(int{fa[0]} - int{fb[0]});
      if (result == 0 && fa[0] != 0) {
        const auto size = static_cast<std::size_t>(k.KeySize);
        result = LocaleCompare(std::string_view(reinterpret_cast<const char*>(fa + 1),
                                                strnlen(reinterpret_cast<const char*>(fa + 1), size)),
                               std::string_view(reinterpret_cast<const char*>(fb + 1),
                                                strnlen(reinterpret_cast<const char*>(fb + 1), size)),
                               caseInsensitive_, languageId_, sortId_);
      }
    } else {
      result = Sign(std::memcmp(fa, fb, static_cast<std::size_t>(k.KeySize) + 1));
    }
    if (result != 0) return k.Field.Descending ? -result : result;
  }
  return 0;
}

int TSortKeyBuilder::Compare(const std::uint8_t* a, const std::uint8_t* b) const {
  const int fields = CompareFields(a, b);
  if (fields != 0) return fields;
  return Sign(std::memcmp(a + FieldsLength(), b + FieldsLength(), 4));
}

}  // namespace quarry
