// The result row of a SELECT built from the sources' current rows: plain columns copied
// (BLOBs into the result's own BLOB file), computed columns evaluated and converted to the
// column's type, and an aggregate's argument stored as the row's contribution to its group
// (COUNT as 1 or NULL, AVG with its counter).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sql/result_table.h"
#include "engine/sql/select_block.h"

namespace quarry {

// Builds the row into row (the result's record size); BLOB values go to result.
void BuildResultRow(std::vector<TResultColumn>& columns, const TEvalContext& context, TResultTable& result,
                    uint8_t* row);
// Stores value as column's field of row, converted to its type (NULL when it does not
// convert); a BLOB column's value goes to blobs, which must then be given.
void StoreColumnValue(uint8_t* row, TResultColumn& column, const TExpToken& value, TResultTable* blobs);

}  // namespace quarry
