// Index keys: the order-preserving byte encoding of a record's indexed values.
//
// Key layout: for each key field in order, a flag byte (1 = value, 0 = null) and the field's
// key value of key-size bytes (the storage size; 8 for BCD); non-unique indexes then append
// the record identifier as an int32 key value, which makes every key unique.
//
// Key values (unsigned byte order equals value order):
//   string                  the text zero-padded; upper-cased by the table's locale in
//                           case-insensitive indexes
//   integer, date, time     int32 big-endian, top bit inverted
//   small integer           int16 big-endian, top bit inverted
//   boolean, word           uint16 big-endian
//   large integer           int64 big-endian, top bit inverted
//   BCD                     the fixed-point value (ten-thousandths) as a large integer
//   float, timestamp        IEEE double big-endian: top bit set for values >= 0 (and -0),
//                           all bytes inverted for negative values
//   anything else           the stored bytes
// A null value is flag 0 and zero bytes. In tables without a language identifier a field
// marked descending (in an index not descending as a whole) has its flag and value bytes
// inverted, strings all but their last value byte; with a language the comparison negates
// instead (key_compare.h).
//
// "Sys Deleted" keys: status byte, identifier (int32 key value). "Sys Text" keys
// (text_index.h): 1, field number (uint16 big-endian), word (61 bytes), identifier.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/data/field_definition.h"
#include "engine/storage/index/collation.h"
#include "engine/storage/index/index_definition.h"
#include "engine/storage/index/key_compare.h"

namespace quarry {

// Key value encodings of single values (out receives the key size of the type).
void EncodeInt16Key(std::int16_t v, std::uint8_t* out);
void EncodeUInt16Key(std::uint16_t v, std::uint8_t* out);
void EncodeInt32Key(std::int32_t v, std::uint8_t* out);
void EncodeInt64Key(std::int64_t v, std::uint8_t* out);
void EncodeDoubleKey(double v, std::uint8_t* out);
std::int32_t DecodeInt32Key(const std::uint8_t* in);

// True when the key value of a field decodes back to its stored value (strings, integers of
// every width, dates, times, booleans): everything else is stored lossy or inverted.
bool KeyDecodesField(const TFieldDefinition& field);

// The key length of an index over `fields` (already looked up by field number), checked:
// BLOB fields raise QUARRY_SEARCHCOLREQD, a length of 0 or above 522 raises QUARRY_INVALIDKEY.
int ComputeKeyLength(const std::vector<const TFieldDefinition*>& fields, bool unique, std::string_view indexName,
                     std::string_view tableName);

// Builds the keys of one index from record images and compares them.
//
// Holds pointers to the table's field definitions (which outlive it) and the table's
// collation. Thread-compatible: Build only reads.
class TKeyBuilder {
 public:
  // `fields` are the table's field definitions indexed by field number - 1.
  TKeyBuilder(const TIndexDefinition& index, const std::vector<TFieldDefinition>& fields,
              std::shared_ptr<const TCollation> collation, std::string_view tableName = {});

  int KeyLength() const { return keyLength_; }
  // Writes the key of `record` (KeyLength() bytes).
  void Build(const std::uint8_t* record, std::uint8_t* key) const;
  std::vector<std::uint8_t> Build(const std::uint8_t* record) const;
  // The inverse of Build for indexes whose every key field KeyDecodesField: writes the key's
  // field values (and, for a non-unique index, its record identifier) into record. A null
  // key field leaves the record's bytes of that field as they are.
  void Decode(const std::uint8_t* key, std::uint8_t* record) const;
  // Where each field lies in the key.
  const std::vector<TKeyFieldLayout>& Layout() const { return layout_; }
  // The comparator for this index's keys.
  TKeyComparator Comparator() const;

 private:
  TIndexDefinition index_;
  std::vector<const TFieldDefinition*> fields_;
  std::vector<TKeyFieldLayout> layout_;
  std::shared_ptr<const TCollation> collation_;
  int keyLength_ = 0;
  bool invertDescending_ = false;
};

// The "Sys Deleted" key of a record: its status byte and identifier.
void BuildDeletedKey(std::uint8_t status, std::int32_t identifier, std::uint8_t* key);

}  // namespace quarry
