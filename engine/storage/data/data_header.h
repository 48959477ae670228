// The 127-byte header at the start of every table data file (".DAT").
//
// File layout: header (127 bytes) | field definitions (768 bytes each, field_definition.h) |
// records (record size bytes each; record r, counted from 1, at 127 + 768 * fields + (r - 1) * size).
//
// Header (little-endian):
//
// | offset | size | meaning |
// |--------|------|---------|
// |   0    |  4   | change counter, incremented at each header write; other processes compare it |
// |   4    |  4   | BLOB block size of the BLOB file; 0 means 512 |
// |   8    |  1   | format version, always 5 |
// |   9    |  4   | first free record slot (the most recently deleted), 0 = none |
// |  13    |  4   | next record number: record slots in the file + 1 |
// |  17    |  4   | last auto-increment value issued |
// |  21    |  2   | record size in bytes |
// |  23    |  2   | field count (at most 1,024) |
// |  25    |  2   | number of BLOB fields (at most 128) |
// |  27    |  8   | double: local time of the last header write, days since 1899-12-30 minus 693,594 |
// |  35    | 51   | table description: length byte + up to 50 characters; scrambled when encrypted |
// |  86    |  1   | encrypted flag (1 = records and field definitions are scrambled) |
// |  87    | 16   | password: length byte + up to 15 characters, scrambled; empty when not encrypted |
// | 103    |  2   | language identifier (Windows LANGID; 0 = none: binary order, U.S. English case) |
// | 105    |  2   | sort identifier (locale = sort * 65,536 + language) |
// | 107    |  2   | user major version |
// | 109    |  2   | user minor version |
// | 111    |  1   | modified flag as it was when the header was written |
// | 112    |  4   | last BLOB change number issued |
// | 116    |  4   | engine version stamp, 32,400 at every write |
// | 120    |  4   | reserved, 0 at every write |
// | 124    |  3   | reserved, 0 |
//
// The description and password are kept in the image exactly as stored (scrambled when the
// table is encrypted); TDataFile unscrambles them on access.
#pragma once

#include <array>
#include <cstdint>

namespace quarry {

constexpr int DataHeaderSize = 127;
constexpr std::uint8_t DataFormatVersion = 5;
constexpr std::int32_t DataEngineVersionStamp = 32400;
constexpr int MaxTableFields = 1024;
constexpr int MaxBlobFields = 128;
constexpr int MaxRecordSize = 65535;
constexpr int DefaultBlobBlockSize = 512;
constexpr int MaxTableDescriptionLength = 50;
constexpr int MaxTablePasswordLength = 15;
// Append limits: record count and the file end a new record may reach.
constexpr std::int64_t MaxRecordCount = 200000000;
constexpr std::int64_t MaxDataFileSize = 4000000000LL;

struct TDataHeader {
  std::int32_t ChangeCounter = 0;
  std::int32_t BlobBlockSize = 0;
  std::uint8_t Version = DataFormatVersion;
  std::int32_t FirstFree = 0;
  std::int32_t NextRecordNo = 1;
  std::int32_t LastAutoInc = 0;
  std::uint16_t RecordSize = 0;
  std::uint16_t FieldCount = 0;
  std::uint16_t BlobFieldCount = 0;
  double LastWriteTime = 0.0;
  std::array<std::uint8_t, 51> Description{};  // as stored (scrambled when encrypted)
  bool Encrypted = false;
  std::array<std::uint8_t, 16> Password{};  // as stored (always scrambled)
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
  std::uint16_t UserMajor = 0;
  std::uint16_t UserMinor = 0;
  bool Modified = false;
  std::int32_t LastBlobChange = 0;
  std::int32_t EngineVersion = DataEngineVersionStamp;
  std::int32_t Reserved120 = 0;
  std::array<std::uint8_t, 3> Reserved124{};

  void Encode(std::uint8_t* out) const;
  static TDataHeader Decode(const std::uint8_t* in);

  // Offset of the first record in the file.
  std::int64_t RecordsOffset() const { return DataHeaderSize + std::int64_t{FieldDefinitionBytes} * FieldCount; }
  static constexpr int FieldDefinitionBytes = 768;
};

}  // namespace quarry
