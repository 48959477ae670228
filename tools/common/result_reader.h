// Reading an open cursor's rows into a TResultTable: every field as text (numbers with "."
// as decimal separator, dates yyyy-mm-dd, booleans True/False), NULL as an absent value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/storage/data_cursor.h"
#include "tools/common/result_table.h"

namespace quarry::tools {

// The text of one field of a record image; nullopt for NULL.
TResultValue FieldText(const TDataCursor& cursor, const TFieldDefinition& field, const std::uint8_t* record);

// Walks the cursor from its first record to the end in its current order. Stops after
// maxRows rows when maxRows is not negative.
TResultTable ReadResult(TDataCursor& cursor, std::int64_t maxRows = -1);

}  // namespace quarry::tools
