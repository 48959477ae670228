// Index definitions and header images (layouts in index_definition.h).
#include "engine/storage/index/index_definition.h"

#include <cstring>

#include "engine/storage/data/field_definition.h"
#include "engine/values/byte_image.h"

namespace quarry {

using bytes::Load;
using bytes::Store;

void TIndexDefinition::Encode(std::uint8_t* out) const {
  std::memset(out, 0, IndexDefinitionSize);
  StoreShortString(out, Name, MaxIndexNameLength);
  Store<std::uint16_t>(out + 31, KeyLength);
  out[33] = Descending ? 1 : 0;
  out[34] = CaseInsensitive ? 1 : 0;
  out[35] = Unique ? 1 : 0;
  out[36] = static_cast<std::uint8_t>(Compression);
  out[37] = FieldCount;
  for (int i = 0; i < MaxKeyFields; ++i) {
    out[38 + i] = FieldDescending[i] ? 1 : 0;
    Store<std::uint16_t>(out + 54 + 2 * i, FieldNumbers[i]);
  }
  Store<std::int32_t>(out + 86, Root);
  Store<std::int32_t>(out + 90, FirstFree);
  Store<std::int32_t>(out + 96, TextParameters);
  out[100] = NoCounts ? 1 : 0;
  out[101] = Temporary ? 1 : 0;
}

TIndexDefinition TIndexDefinition::Decode(const std::uint8_t* in) {
  TIndexDefinition d;
  d.Name = LoadShortString(in, MaxIndexNameLength);
  d.KeyLength = Load<std::uint16_t>(in + 31);
  d.Descending = in[33] != 0;
  d.CaseInsensitive = in[34] != 0;
  d.Unique = in[35] != 0;
  // An unknown compression byte is kept as is; verification refuses it.
  d.Compression = static_cast<TKeyCompression>(in[36]);
  d.FieldCount = in[37];
  for (int i = 0; i < MaxKeyFields; ++i) {
    d.FieldDescending[i] = in[38 + i] != 0;
    d.FieldNumbers[i] = Load<std::uint16_t>(in + 54 + 2 * i);
  }
  d.Root = Load<std::int32_t>(in + 86);
  d.FirstFree = Load<std::int32_t>(in + 90);
  d.TextParameters = Load<std::int32_t>(in + 96);
  d.NoCounts = in[100] != 0;
  d.Temporary = in[101] != 0;
  return d;
}

TIndexHeader TIndexHeader::ForNewTable() {
  TIndexHeader h;
  h.Slots[DeletedSlot].Name = DeletedIndexName;
  h.Slots[DeletedSlot].KeyLength = DeletedKeyLength;
  h.Slots[TextSlot].Name = TextIndexName;
  h.Slots[TextSlot].KeyLength = TextKeyLength;
  h.Slots[TextSlot].Compression = TKeyCompression::Both;
  return h;
}

void TIndexHeader::Encode(std::uint8_t* out, bool withTemporary) const {
  std::memset(out, 0, IndexHeaderSize);
  Store<std::int32_t>(out + 0, ChangeCounter);
  out[8] = Version;
  Store<std::int32_t>(out + 9, NextPage);
  // Temporary secondary indexes are left out and the rest closed up.
  int written = 0;
  for (int slot = 1; slot <= SecondaryCount && slot <= MaxSecondaryIndexes; ++slot) {
    if (Slots[slot].Temporary && !withTemporary) continue;
    ++written;
    Slots[slot].Encode(out + 14 + IndexDefinitionSize * written);
  }
  out[13] = static_cast<std::uint8_t>(written);
  for (int slot : {PrimarySlot, DeletedSlot, TextSlot}) {
    if (Slots[slot].Temporary && !withTemporary) continue;
    Slots[slot].Encode(out + 14 + IndexDefinitionSize * slot);
  }
  Store<std::int32_t>(out + 3974, ActiveRecords);
  out[3978] = NoPrimaryIndex ? 1 : 0;
  out[3979] = Modified ? 1 : 0;
}

TIndexHeader TIndexHeader::Decode(const std::uint8_t* in) {
  TIndexHeader h;
  h.ChangeCounter = Load<std::int32_t>(in + 0);
  h.Version = in[8];
  h.NextPage = Load<std::int32_t>(in + 9);
  h.SecondaryCount = in[13];
  // Most slots are empty: all-zero bytes decode to the empty definition they already hold.
  static constexpr std::uint8_t kEmpty[IndexDefinitionSize] = {};
  for (int slot = 0; slot < IndexSlotCount; ++slot) {
    const std::uint8_t* definition = in + 14 + IndexDefinitionSize * slot;
    if (std::memcmp(definition, kEmpty, IndexDefinitionSize) == 0) continue;
    h.Slots[slot] = TIndexDefinition::Decode(definition);
  }
  h.ActiveRecords = Load<std::int32_t>(in + 3974);
  h.NoPrimaryIndex = in[3978] != 0;
  h.Modified = in[3979] != 0;
  return h;
}

}  // namespace quarry
