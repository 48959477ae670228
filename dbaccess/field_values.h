// Conversions of the access layer's data values (TDataValue, quarry_dataset.h) to integers,
// floating point numbers and booleans, as field writes, locate and parameters need them.
// Texts convert by the engine's value-text rules; a text that does not convert raises
// EDataSetError. The decoding and encoding of field values in record images, and the field
// type mapping, are declared in quarry_dataset.h and defined with these in field_values.cpp.
#pragma once

#include <cstdint>

#include "dbaccess/quarry_dataset.h"

namespace quarry {

std::int64_t ValueInt(const TDataValue& value);
double ValueFloat(const TDataValue& value);
bool ValueBool(const TDataValue& value);

}  // namespace quarry
