// Record conversion for restructuring: a field's value as a value token, the conversion of
// one field's value into a field of the new structure, value texts (defaults, minimum and
// maximum, CURRENT_DATE and the like) as values of a field's type, a new record with its
// defaults, and the validity checks of a copied record. Used by table_maintenance.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/data/data_file.h"
#include "engine/storage/data/field_definition.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/values/exp_token.h"

namespace quarry {

// A value token holding a field's value (cardinal and extended values carried as 64-bit
// integer and floating point, the token types that convert them).
TExpToken FieldValueToken(const TFieldDefinition& field, const std::uint8_t* record);
// An empty token of a field's type, ready to be converted into.
TExpToken EmptyValueOf(const TFieldDefinition& field);
// True when the value, taken as a whole number, fits the integer type of the field.
bool FitsIntegerField(const TExpToken& source, const TFieldDefinition& field);
// Converts one old field's value into the new record. False when it cannot be converted.
bool ConvertField(const TFieldDefinition& from, const std::uint8_t* oldRecord, const TFieldDefinition& to,
                  std::uint8_t* newRecord, const TDataFile& newData);
// A value text (default, minimum, maximum) as a value of the field's type.
bool ValueTextToken(const TFieldDefinition& field, const std::string& text, TExpToken& value);
// A new record of the table with every field's default value.
std::vector<std::uint8_t> NewRecordWithDefaults(const TDataFile& data);
// The required, minimum and maximum checks of a record: QUARRY_NONE when it passes, else
// QUARRY_REQDERR, QUARRY_MINVALERR or QUARRY_MAXVALERR with the field in `failed`.
TEngineErrorCode CheckRecordValidity(const TDataFile& data, const std::uint8_t* record, std::string& failed);

}  // namespace quarry
