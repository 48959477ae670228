// Index definitions and the index file header, in memory and in their on-disk form.
//
// Index file header (4,096 bytes at offset 0, little-endian):
//
// | offset | size     | meaning |
// |--------|----------|---------|
// |    0   | 4        | change counter, incremented at every header write |
// |    4   | 4        | reserved, 0 |
// |    8   | 1        | format version, always 5 |
// |    9   | 4        | next page number (pages in the file + 1; 1 when empty) |
// |   13   | 1        | number of secondary indexes (0..30) |
// |   14   | 33 × 120 | index definitions: slot 0 primary, 1..30 secondary in creation order, 31 "Sys Deleted", 32 "Sys Text" |
// | 3974   | 4        | number of active records in the table |
// | 3978   | 1        | no-primary-index flag (1: the table never reuses deleted record slots) |
// | 3979   | 1        | modified flag as written |
// | 3980   | 116      | reserved, 0 |
//
// Index definition (120 bytes):
//
// | offset | size   | meaning |
// |--------|--------|---------|
// |   0    | 31     | name: length byte + up to 30 characters; empty for the primary index |
// |  31    | 2      | key length in bytes |
// |  33    | 1      | descending (whole index) |
// |  34    | 1      | case-insensitive |
// |  35    | 1      | unique (always 1 for the primary index) |
// |  36    | 1      | key compression: 0 none, 1 duplicate bytes, 2 trailing bytes, 3 both |
// |  37    | 1      | number of key fields (0..16) |
// |  38    | 16     | per-field descending flags |
// |  54    | 16 × 2 | field numbers of the key fields, in key order |
// |  86    | 4      | root page (0 = empty index) |
// |  90    | 4      | first page of the index's free-page chain (0 = none) |
// |  94    | 2      | reserved, 0 |
// |  96    | 4      | text index only: first page of the text-parameter chain |
// | 100    | 1      | no-counts flag: branch entries carry no key counts |
// | 101    | 1      | temporary index (lives in this process only; never written to disk) |
// | 102    | 18     | reserved, 0 |
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/storage/index/index_page.h"

namespace quarry {

constexpr int IndexHeaderSize = 4096;
constexpr int IndexDefinitionSize = 120;
constexpr int IndexSlotCount = 33;
constexpr int PrimarySlot = 0;
constexpr int MaxSecondaryIndexes = 30;
constexpr int DeletedSlot = 31;
constexpr int TextSlot = 32;
constexpr int MaxKeyFields = 16;
constexpr int MaxIndexNameLength = 30;
constexpr std::uint8_t IndexFormatVersion = 5;
constexpr const char* DeletedIndexName = "Sys Deleted";
constexpr const char* TextIndexName = "Sys Text";
constexpr int DeletedKeyLength = 5;
constexpr int TextKeyLength = 68;

struct TIndexDefinition {
  std::string Name;
  std::uint16_t KeyLength = 0;
  bool Descending = false;
  bool CaseInsensitive = false;
  bool Unique = false;
  TKeyCompression Compression = TKeyCompression::None;
  std::uint8_t FieldCount = 0;
  std::array<bool, MaxKeyFields> FieldDescending{};
  std::array<std::uint16_t, MaxKeyFields> FieldNumbers{};
  std::int32_t Root = 0;
  std::int32_t FirstFree = 0;
  std::int32_t TextParameters = 0;
  bool NoCounts = false;
  bool Temporary = false;

  // True for a slot that holds an index (a key length is set).
  bool Defined() const { return KeyLength != 0; }
  // Asked at every step of a cursor's walk, hence here.
  TPageFormat PageFormat() const {
    TPageFormat f;
    f.KeyLength = KeyLength;
    f.Compression = Compression;
    f.Unique = Unique;
    f.Counts = !NoCounts;
    return f;
  }

  void Encode(std::uint8_t* out) const;
  static TIndexDefinition Decode(const std::uint8_t* in);
};

struct TIndexHeader {
  std::int32_t ChangeCounter = 0;
  std::uint8_t Version = IndexFormatVersion;
  std::int32_t NextPage = 1;
  std::uint8_t SecondaryCount = 0;
  std::array<TIndexDefinition, IndexSlotCount> Slots{};
  std::int32_t ActiveRecords = 0;
  bool NoPrimaryIndex = false;
  bool Modified = false;

  // The header of a new table: version 5, next page 1, the two internal indexes defined.
  static TIndexHeader ForNewTable();

  // Writes the 4,096-byte image; temporary indexes are left out (their slots zeroed, the
  // secondary count not counting them) unless `withTemporary`.
  void Encode(std::uint8_t* out, bool withTemporary = false) const;
  static TIndexHeader Decode(const std::uint8_t* in);
};

}  // namespace quarry
