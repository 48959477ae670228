// The field definition: one field of a table, in memory and in its 768-byte on-disk form.
//
// On-disk layout (little-endian; texts are a length byte followed by the characters):
//
// | offset | size | meaning |
// |--------|------|---------|
// |   0    |  2   | field number; equals the definition's position (1-based) |
// |   2    | 31   | name, up to 30 characters |
// |  33    | 51   | description, up to 50 characters |
// |  84    |  1   | data type (field_types.h) |
// |  85    |  1   | subtype |
// |  86    |  1   | declared size: 1..250 for string, bytes, variable bytes; 0 otherwise |
// |  87    |  1   | scale (BCD only) |
// |  88    |  1   | storage size of the value |
// |  89    |  1   | copy of the scale |
// |  90    |  2   | offset of the field in the record |
// |  92    |  1   | required (1 = a value must be given) |
// |  93    |  1   | character case: 0 unchanged, 1 lower, 2 upper |
// |  94    | 51   | minimum value as text; empty = none |
// | 145    | 51   | maximum value as text; empty = none |
// | 196    | 51   | default value as text; empty = none |
// | 247    |  1   | computed flag (fields added by the SQL engine to result cursors) |
// | 248    |  4   | in memory only: the computed field's compiled expression; 0 on disk |
// | 252    | 516  | reserved; the byte at 253 of in-memory copies is the descending flag of sort keys |
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/values/field_types.h"

namespace quarry {

constexpr int FieldDefinitionSize = 768;
constexpr int MaxFieldNameLength = 30;
constexpr int MaxFieldDescriptionLength = 50;
constexpr int MaxFieldValueTextLength = 50;
constexpr int MaxFieldOriginLength = 100;
// Offset of the first field value in a record (after status, record number, identifier) and
// the offset of an auto-increment field, which is the record identifier itself.
constexpr int FirstFieldOffset = 9;
constexpr int AutoIncOffset = 5;

struct TFieldDefinition {
  std::uint16_t FieldNo = 0;
  std::string Name;
  std::string Description;
  TFieldType DataType = TFieldType::Null;
  std::uint8_t SubType = subtype::None;
  std::uint8_t Size = 0;  // declared size
  std::uint8_t Scale = 0;
  std::uint8_t ValueSize = 0;  // storage size of the value
  std::uint8_t ScaleCopy = 0;
  std::uint16_t Offset = 0;  // of the null flag (or of the value, for auto-increment)
  bool Required = false;
  TCharCase CharCase = TCharCase::Unchanged;
  std::string MinValue;
  std::string MaxValue;
  std::string DefaultValue;
  bool Computed = false;
  // Not owned: the compiled expression of a computed field (kept by the SQL engine).
  const void* Expression = nullptr;
  // In-memory sort-key flag (reserved byte 253); never written to disk by the data file.
  bool Descending = false;
  // In memory only, set by the SQL engine on the fields of its result cursors:
  // Internal marks a column kept for the engine's own bookkeeping (the counter behind an
  // AVG), which readers do not show; Origin is "table.column" (at most 100 characters) of a
  // column copied from a source table, OriginDatabase the database that table lives in.
  bool Internal = false;
  std::string Origin;
  std::string OriginDatabase;
  // Reserved bytes 252..767 as read from disk, kept so a rewrite does not lose them.
  std::array<std::uint8_t, 516> Reserved{};

  bool IsAutoInc() const { return DataType == TFieldType::Integer && SubType == subtype::AutoInc; }
  bool IsBlob() const { return DataType == TFieldType::Blob; }
  // True when the field occupies a null flag and value bytes in the stored record.
  bool TakesRecordSpace() const { return !IsAutoInc() && !Computed; }
  // Offset of the first value byte in a record (the byte after the null flag).
  int ValueOffset() const { return IsAutoInc() ? AutoIncOffset : Offset + 1; }

  // Writes the 768-byte image at out; texts longer than their capacity are cut. The
  // expression reference, the descending flag and the in-memory result marks are not written.
  void Encode(std::uint8_t* out) const;
  // Reads a 768-byte image. Never fails: validation is the data file's job.
  static TFieldDefinition Decode(const std::uint8_t* in);
};

// Fills ValueSize (storage size) and Offset of every field by the record layout rule:
// auto-increment fields at offset 5; computed fields after the stored record (they take no
// room in it); every other field consecutively from offset 9, each taking a null flag byte plus
// its storage size. Returns the record size (9 + the room the stored fields take). The result
// may exceed 65,535; the caller decides whether that is an error.
int AssignFieldOffsets(TFieldDefinition* fields, int count);

// Writes a length-prefixed text of at most `capacity` characters at out (capacity + 1 bytes).
void StoreShortString(std::uint8_t* out, std::string_view text, int capacity);
// Reads a length-prefixed text with the given capacity; a length byte over the capacity is
// clipped to it.
std::string LoadShortString(const std::uint8_t* in, int capacity);

}  // namespace quarry
