// Reading an open cursor's rows into a TResultTable: every field as text (numbers with "."
// as decimal separator, dates yyyy-mm-dd, booleans True/False), NULL as an absent value.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/storage/cursor/data_cursor.h"
#include "tools/common/result_table.h"

namespace quarry::tools {

// Fields the engine marks internal (the counter behind each AVG column of a SELECT) are
// its own bookkeeping; readers do not show them.
inline bool IsHiddenResultField(const TFieldDefinition& field) { return field.Internal; }

// The text of one field of a record image; nullopt for NULL.
TResultValue FieldText(const TDataCursor& cursor, const TFieldDefinition& field, const std::uint8_t* record);

// The columns ReadResult gives (hidden ones left out).
std::vector<TResultColumn> ResultColumns(const TDataCursor& cursor);

// Walks the cursor from its first record to the end in its current order and hands each row
// (hidden columns left out) to visit; the row's storage is reused for the next one. Stops
// after maxRows rows when maxRows is not negative.
void WalkResult(TDataCursor& cursor, const std::function<void(const std::vector<TResultValue>&)>& visit,
                std::int64_t maxRows = -1);

// Every row of WalkResult in a table.
TResultTable ReadResult(TDataCursor& cursor, std::int64_t maxRows = -1);

}  // namespace quarry::tools
