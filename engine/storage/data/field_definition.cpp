// Encoding and decoding of the 768-byte field definition image.
#include "engine/storage/data/field_definition.h"

#include <algorithm>
#include <cstring>

#include "engine/values/byte_image.h"

namespace quarry {

void StoreShortString(std::uint8_t* out, std::string_view text, int capacity) {
  const auto length = static_cast<std::size_t>(std::min<std::size_t>(text.size(), static_cast<std::size_t>(capacity)));
  std::memset(out, 0, static_cast<std::size_t>(capacity) + 1);
  out[0] = static_cast<std::uint8_t>(length);
  std::memcpy(out + 1, text.data(), length);
}

std::string LoadShortString(const std::uint8_t* in, int capacity) {
  const int length = std::min<int>(in[0], capacity);
  return std::string(reinterpret_cast<const char*>(in + 1), static_cast<std::size_t>(length));
}

int AssignFieldOffsets(TFieldDefinition* fields, int count) {
  int offset = FirstFieldOffset;
  for (int i = 0; i < count; ++i) {
    TFieldDefinition& f = fields[i];
    f.ValueSize = static_cast<std::uint8_t>(StorageSizeOf(f.DataType, f.Size));
    if (f.IsAutoInc()) {
      f.Offset = AutoIncOffset;
    } else if (!f.Computed) {
      f.Offset = static_cast<std::uint16_t>(offset);
      offset += f.ValueSize + 1;
    }
  }
  // Computed fields live after the stored record in a cursor's buffer.
  int computedOffset = offset;
  for (int i = 0; i < count; ++i) {
    TFieldDefinition& f = fields[i];
    if (f.Computed && !f.IsAutoInc()) {
      f.Offset = static_cast<std::uint16_t>(computedOffset);
      computedOffset += f.ValueSize + 1;
    }
  }
  return offset;
}

void TFieldDefinition::Encode(std::uint8_t* out) const {
  std::memset(out, 0, FieldDefinitionSize);
  bytes::Store<std::uint16_t>(out + 0, FieldNo);
  StoreShortString(out + 2, Name, MaxFieldNameLength);
  StoreShortString(out + 33, Description, MaxFieldDescriptionLength);
  out[84] = static_cast<std::uint8_t>(DataType);
  out[85] = SubType;
  out[86] = Size;
  out[87] = Scale;
  out[88] = ValueSize;
  out[89] = ScaleCopy;
  bytes::Store<std::uint16_t>(out + 90, Offset);
  out[92] = Required ? 1 : 0;
  out[93] = static_cast<std::uint8_t>(CharCase);
  StoreShortString(out + 94, MinValue, MaxFieldValueTextLength);
  StoreShortString(out + 145, MaxValue, MaxFieldValueTextLength);
  StoreShortString(out + 196, DefaultValue, MaxFieldValueTextLength);
  out[247] = Computed ? 1 : 0;
  std::memcpy(out + 252, Reserved.data(), Reserved.size());
}

TFieldDefinition TFieldDefinition::Decode(const std::uint8_t* in) {
  TFieldDefinition def;
  def.FieldNo = bytes::Load<std::uint16_t>(in + 0);
  def.Name = LoadShortString(in + 2, MaxFieldNameLength);
  def.Description = LoadShortString(in + 33, MaxFieldDescriptionLength);
  def.DataType = static_cast<TFieldType>(in[84]);
  def.SubType = in[85];
  def.Size = in[86];
  def.Scale = in[87];
  def.ValueSize = in[88];
  def.ScaleCopy = in[89];
  def.Offset = bytes::Load<std::uint16_t>(in + 90);
  def.Required = in[92] != 0;
  def.CharCase = static_cast<TCharCase>(in[93]);
  def.MinValue = LoadShortString(in + 94, MaxFieldValueTextLength);
  def.MaxValue = LoadShortString(in + 145, MaxFieldValueTextLength);
  def.DefaultValue = LoadShortString(in + 196, MaxFieldValueTextLength);
  def.Computed = in[247] != 0;
  std::memcpy(def.Reserved.data(), in + 252, def.Reserved.size());
  return def;
}

}  // namespace quarry
