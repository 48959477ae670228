// Values carried by expression nodes: the type families, reading a value as a number or
// a text, storing one, and ConvertValue, the one conversion between types used by
// CAST, preparation, INSERT and UPDATE.
//
// Encodings are those of records: integers little-endian, boolean as a 16-bit 0/1,
// date as a day number, time as milliseconds, timestamp and floating point as doubles,
// BCD as the 34-byte packed layout with the node's Scale. Strings and memos are
// zero-terminated texts; other BLOBs carry their bytes with ValueSize as their length.
// BCD arithmetic is done on fixed-point numbers: an int64 counting ten-thousandths.
#pragma once

#include <cstdint>
#include <string>

#include "engine/values/exp_token.h"

namespace quarry {

inline constexpr int64_t kFixedScale = 10000;

// ---- type families ----
bool IsIntegerType(uint8_t type);                      // 16-bit, 32-bit, word, 64-bit
bool IsShortIntType(uint8_t type);                     // 16-bit, 32-bit, word ("int" of the result rules)
bool IsNumericType(uint8_t type);                      // integer types, floating point, BCD
bool IsDateLikeType(uint8_t type);                     // date, time, timestamp
bool IsBytesType(uint8_t type);                        // bytes, variable bytes
bool IsStringLikeType(uint8_t type, uint8_t subType);  // string, or memo BLOB
inline bool IsStringLike(const TExpToken& n) { return IsStringLikeType(n.DataType, n.SubType); }
// Value size of the fixed-size types (0 for string, bytes, unknown).
int32_t FixedSizeOfType(uint8_t type);

// ---- reading (a NULL reads as its zero bytes) ----
int64_t ValueAsInt64(const TExpToken& n);  // floating values truncated toward zero
double ValueAsDouble(const TExpToken& n);
int64_t ValueAsFixed(const TExpToken& n);  // ten-thousandths
bool ValueAsBoolean(const TExpToken& n);   // non-zero
// The text form: numbers with '.', dates/times as in date_time_text.h, True/False.
std::string ValueAsText(const TExpToken& n);
// The bytes of a BLOB, bytes or string value (without the terminating zero of texts).
std::string ValueBytes(const TExpToken& n);

// ---- storing into a node of the given type (IsNull cleared) ----
void SetNullValue(TExpToken& n);
void StoreInt64(TExpToken& n, int64_t value);  // integer types, boolean, date, time; others converted
void StoreDouble(TExpToken& n, double value);  // floating point, timestamp; others converted
void StoreFixed(TExpToken& n, int64_t fixed);  // BCD with n.Scale; others converted
void StoreBoolean(TExpToken& n, bool value);
// A text value: ValueSize becomes at least the length + 1.
void StoreText(TExpToken& n, const std::string& text);

// Converts source's value into target, whose DataType, SubType, ValueSize and Scale say
// what is wanted. NULL stays NULL. Returns false when the value cannot be converted; the
// target then holds the zero value of its type (a date 1899-12-30, a number 0).
bool ConvertValue(const TExpToken& source, TExpToken& target);

// The characters (UTF-8) of text: count, and the prefix of the first n of them.
std::size_t Utf8Length(const std::string& text);
std::string Utf8Left(const std::string& text, std::size_t characters);

}  // namespace quarry
