// Comparison of two values by the rules of the comparison operators (=, <>, >, <, >=, <=):
// strings by the collation, date-like values as timestamps, then floating point, BCD, bytes
// and integers; the NULL rules of each operator. Shared by expression evaluation and by
// the field checks (minimum, maximum) of cursors and table maintenance.
#pragma once

#include <cstdint>

#include "engine/values/exp_token.h"
#include "engine/values/expression_collation.h"

namespace quarry {

// True when `left opCode right` holds (op:: codes 3..8; false for any other code).
bool CompareByOperator(uint8_t opCode, const TExpToken& left, const TExpToken& right,
                       const TExpressionCollation& collation);

}  // namespace quarry
