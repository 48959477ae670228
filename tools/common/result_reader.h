// Reading an open cursor's rows into a TResultTable: every field as text (numbers with "."
// as decimal separator, dates yyyy-mm-dd, booleans True/False), NULL as an absent value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/storage/data_cursor.h"
#include "tools/common/result_table.h"

namespace quarry::tools {

// A SELECT with AVG keeps, after its visible columns, one counter column per AVG named
// "Sys__Avg__Count" and the AVG's field number; readers do not show it.
inline constexpr const char* kAvgCounterPrefix = "Sys__Avg__Count";
bool IsHiddenResultField(const TFieldDefinition& field);

// The text of one field of a record image; nullopt for NULL.
TResultValue FieldText(const TDataCursor& cursor, const TFieldDefinition& field, const std::uint8_t* record);

// Walks the cursor (hidden columns left out) from its first record to the end in its current order. Stops after
// maxRows rows when maxRows is not negative.
TResultTable ReadResult(TDataCursor& cursor, std::int64_t maxRows = -1);

}  // namespace quarry::tools
