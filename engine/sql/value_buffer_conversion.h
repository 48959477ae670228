// ConvertValueBuffer: the conversion INSERT and UPDATE apply to a value whose type is not its
// column's before the value is put into the record.
//
// It is CAST's conversion (ConvertValue, engine/values/value_ops.h) with stricter rules: only
// the pairs of the table below convert, a text that does not parse fails, and so does a number
// outside the fixed-point range of a BCD column. CAST keeps a zero value where this reports
// failure; the statements raise their type-mismatch message on it.
//
//   value type          converts to
//   string              every type but BLOB (by parsing the text)
//   date, time          string, bytes, variable bytes, timestamp
//   timestamp           string, date, time, bytes, variable bytes
//   boolean             string, 16-bit, 32-bit, word, 64-bit, BCD, bytes, variable bytes
//   16-bit, word        string, boolean, the other integers, floating point, BCD, bytes, variable bytes
//   32-bit, 64-bit      string, the other integers, floating point, BCD, bytes, variable bytes
//   floating point, BCD string, every integer, the other of the two, bytes, variable bytes
//   bytes, var. bytes   every type but BLOB (the bytes are copied, cut to the column's size)
//   BLOB                nothing to convert: the bytes are taken as they are
#pragma once

#include <cstdint>

#include "engine/values/exp_token.h"

namespace quarry {

// Whether a value of type `from` may be stored in a column of type `to` (node type codes).
bool ConversionAllowed(uint8_t from, uint8_t to);

// Converts value into target, whose DataType, SubType, ValueSize and Scale are the column's.
// A NULL value gives NULL. False when the pair is not allowed or the value does not convert;
// target then holds its type's zero value.
bool ConvertValueBuffer(const TExpToken& value, TExpToken& target);

}  // namespace quarry
