// Preparation of a type-checked tree for one use (an activated filter, an executed
// statement): a copy in which every operand that reads no column is evaluated once and
// converted to the type it is compared with, and qualifying string equality tests and
// LIKE prefixes become partial string comparisons (node class 3).
//
// A partial comparison compares the first PartialLength characters (0: whole strings);
// PartialLength -1 marks an empty prefix, which every non-NULL value matches.
#pragma once

#include <cstdint>

#include "engine/sql/column_source.h"
#include "engine/sql/expression_owner.h"
#include "engine/values/token_stack.h"

namespace quarry {

struct TPrepareOptions {
  TExpressionOwner* Owner = nullptr;
  TColumnValueProvider* Provider = nullptr;
  bool NoPartialCompare = true;  // SQL: true; filters: their option
  bool CaseInsensitive = false;  // SQL: false; filters: their option
  uint16_t Language = 0;
  uint16_t Sort = 0;
};

// A new prepared tree; the tree given is untouched and can be prepared again.
TExpTree PrepareExpression(const TExpToken& node, const TPrepareOptions& options);

// The empty prefix marker of a partial comparison.
inline constexpr int32_t kEmptyPrefix = -1;

}  // namespace quarry
