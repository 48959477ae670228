// Sort keys of records: the byte strings SortRecords orders a table's records by.
//
// A key holds, for each key field in order, its null flag (copied from the record) and its
// key value, then the record identifier (offset 5) as an int32 key value:
//
// | field type                 | key value (key size bytes) |
// |----------------------------|----------------------------|
// | string                     | the text zero-padded to the storage size; upper-cased by the table's locale when case is ignored |
// | integer, date, time        | int32 big-endian, top bit inverted |
// | small integer              | int16 big-endian, top bit inverted |
// | boolean, word              | uint16 big-endian |
// | large integer              | int64 big-endian, top bit inverted |
// | BCD                        | its fixed-point value (ten-thousandths) as a large integer (8 bytes) |
// | float, timestamp           | IEEE double big-endian; top bit set for values >= 0 (and -0), all bytes inverted for negatives |
// | bytes, variable bytes, other | the stored bytes |
//
// Unsigned byte order of these values is the order of the values. Without a language
// identifier a descending field has its flag and value bytes inverted (for strings every value
// byte but the last), so the whole key compares bytewise. With a language identifier nothing is
// inverted: Compare orders strings by the locale and negates descending fields.
// These are the encodings of the index file's keys; they are kept here so that sorting does
// not depend on an open index.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/storage/data/field_definition.h"

namespace quarry {

class TSortKeyBuilder {
 public:
  TSortKeyBuilder(std::vector<TFieldDefinition> keyFields, bool caseInsensitive, std::uint16_t languageId,
                  std::uint16_t sortId);

  // Total key length: sum of (key size + 1) over the key fields, plus 4.
  int KeyLength() const { return keyLength_; }
  // Length of the part that holds the fields (without the identifier suffix).
  int FieldsLength() const { return keyLength_ - 4; }

  // Writes the key of the record image into key (KeyLength bytes).
  void Build(const std::uint8_t* record, std::uint8_t* key) const;

  // -1, 0, 1: full comparison (fields, then identifier suffix bytewise).
  int Compare(const std::uint8_t* a, const std::uint8_t* b) const;
  // True when the field parts are equal (duplicate and group detection).
  bool SameFields(const std::uint8_t* a, const std::uint8_t* b) const { return CompareFields(a, b) == 0; }

 private:
  int CompareFields(const std::uint8_t* a, const std::uint8_t* b) const;

  struct TKeyField {
    TFieldDefinition Field;
    int KeyOffset = 0;  // of the flag byte in the key
    int KeySize = 0;
  };
  std::vector<TKeyField> fields_;
  bool caseInsensitive_;
  std::uint16_t languageId_;
  std::uint16_t sortId_;
  int keyLength_ = 4;
};

}  // namespace quarry
