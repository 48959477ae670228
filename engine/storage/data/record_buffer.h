// The record buffer: the image of one record, as stored in the data file and as every cursor,
// filter and SQL operator reads and writes it.
//
// | offset | size | meaning |
// |--------|------|---------|
// | 0      | 1    | status: 0 active, 1 deleted (slot on the free chain) |
// | 1      | 4    | int32: active record: its own record number; deleted: the next free slot (0 ends the chain) |
// | 5      | 4    | int32 record identifier, the auto-increment value given at insert; an auto-increment field IS this value (no null flag, never null) |
// | 9      | ...  | every other stored field in field-number order: null flag (1 = has a value, 0 = null), then its storage-size bytes |
//
// A null field has flag 0 and all its data bytes 0. Computed fields (SQL result cursors) follow
// the stored record in a cursor's buffer with the same flag-plus-value shape.
//
// The accessors below take the record image and the field's definition; they do not check
// that the field's type matches the accessor: callers pick the accessor by `DataType`.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/storage/data/field_definition.h"

namespace quarry {

constexpr int RecordHeaderSize = 9;
constexpr std::uint8_t RecordActive = 0;
constexpr std::uint8_t RecordDeleted = 1;

// ---- record header ----
std::uint8_t RecordStatus(const std::uint8_t* record);
void SetRecordStatus(std::uint8_t* record, std::uint8_t status);
// Own record number (active) or next free slot (deleted).
std::int32_t RecordLink(const std::uint8_t* record);
void SetRecordLink(std::uint8_t* record, std::int32_t link);
std::int32_t RecordIdentifier(const std::uint8_t* record);
void SetRecordIdentifier(std::uint8_t* record, std::int32_t identifier);

// ---- null flags and raw values ----
// Auto-increment fields are never null.
bool IsFieldNull(const std::uint8_t* record, const TFieldDefinition& field);
// Clears the flag and zeroes the data bytes (an auto-increment field, never null, is left alone).
void SetFieldNull(std::uint8_t* record, const TFieldDefinition& field);
// First value byte of the field (after its null flag).
const std::uint8_t* FieldData(const std::uint8_t* record, const TFieldDefinition& field);
std::uint8_t* FieldData(std::uint8_t* record, const TFieldDefinition& field);
// Copies ValueSize bytes into the field and sets its flag (no conversion, no case mapping;
// a non-zero boolean becomes 1).
void SetFieldData(std::uint8_t* record, const TFieldDefinition& field, const std::uint8_t* value);

// ---- typed access (a null field reads as 0 / empty) ----
// String: the zero-terminated text.
std::string GetFieldString(const std::uint8_t* record, const TFieldDefinition& field);

// Maps text to the field's character case by the table's locale. The default (an empty
// function) maps ASCII letters only, as U.S. English does for them.
using TCaseMapper = std::function<std::string(std::string_view text, TCharCase to)>;

// String: cut to the declared size (never inside a UTF-8 character), trailing blanks
// removed, case mapped as the field asks, stored zero-terminated; an empty result is null.
void SetFieldString(std::uint8_t* record, const TFieldDefinition& field, std::string_view text,
                    const TCaseMapper& mapCase = {});

// Boolean (stored as uint16 0/1; any non-zero value becomes 1).
bool GetFieldBoolean(const std::uint8_t* record, const TFieldDefinition& field);
void SetFieldBoolean(std::uint8_t* record, const TFieldDefinition& field, bool value);
// SmallInt.
std::int16_t GetFieldSmallInt(const std::uint8_t* record, const TFieldDefinition& field);
void SetFieldSmallInt(std::uint8_t* record, const TFieldDefinition& field, std::int16_t value);
// Word.
std::uint16_t GetFieldWord(const std::uint8_t* record, const TFieldDefinition& field);
void SetFieldWord(std::uint8_t* record, const TFieldDefinition& field, std::uint16_t value);
// Integer (also auto-increment, at offset 5), Date (day number), Time (ms since midnight).
std::int32_t GetFieldInteger(const std::uint8_t* record, const TFieldDefinition& field);
void SetFieldInteger(std::uint8_t* record, const TFieldDefinition& field, std::int32_t value);
// Cardinal.
std::uint32_t GetFieldCardinal(const std::uint8_t* record, const TFieldDefinition& field);
void SetFieldCardinal(std::uint8_t* record, const TFieldDefinition& field, std::uint32_t value);
// LargeInt.
std::int64_t GetFieldLargeInt(const std::uint8_t* record, const TFieldDefinition& field);
void SetFieldLargeInt(std::uint8_t* record, const TFieldDefinition& field, std::int64_t value);
// Float, TimeStamp (day number * 86,400,000 + ms) and Extended (converted from/to 80 bits).
double GetFieldFloat(const std::uint8_t* record, const TFieldDefinition& field);
void SetFieldFloat(std::uint8_t* record, const TFieldDefinition& field, double value);
// Bcd as a fixed-point value in ten-thousandths, stored with the field's scale.
std::int64_t GetFieldBcd(const std::uint8_t* record, const TFieldDefinition& field);
void SetFieldBcd(std::uint8_t* record, const TFieldDefinition& field, std::int64_t fixed);
// Bytes, VarBytes: all ValueSize bytes. Setting copies at most ValueSize bytes, zero-filling.
std::string GetFieldBytes(const std::uint8_t* record, const TFieldDefinition& field);
void SetFieldBytes(std::uint8_t* record, const TFieldDefinition& field, std::string_view bytes);

// Blob reference: first block in the BLOB file (0 = no BLOB) and change number. Setting sets
// the null flag to 1 exactly when the first block is non-zero.
struct TBlobReference {
  std::int32_t FirstBlock = 0;
  std::int32_t ChangeNumber = 0;
};
TBlobReference GetFieldBlob(const std::uint8_t* record, const TFieldDefinition& field);
void SetFieldBlob(std::uint8_t* record, const TFieldDefinition& field, TBlobReference blob);

// 80-bit extended float <-> double (round to nearest; out-of-range values become infinities).
double ExtendedToDouble(const std::uint8_t* tenBytes);
void DoubleToExtended(double value, std::uint8_t* tenBytes);

// ASCII case mapping used when no locale mapping is supplied.
std::string AsciiCaseMap(std::string_view text, TCharCase to);

}  // namespace quarry
