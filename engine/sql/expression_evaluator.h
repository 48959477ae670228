// Evaluation of a prepared expression tree against one record: operators, predicates,
// NULL rules, comparisons under the collation, and every function.
//
// Evaluation raises no errors for data: NULL propagates, division by zero gives NULL,
// failed conversions give zero values. The only error is a column reference that no
// value provider can answer.
#pragma once

#include <cstdint>

#include "engine/sql/column_source.h"
#include "engine/sql/expression_owner.h"
#include "engine/values/expression_collation.h"
#include "engine/values/token_stack.h"
#include "engine/values/value_compare.h"

namespace quarry {

struct TEvalContext {
  const uint8_t* Record = nullptr;
  TExpressionOwner* Owner = nullptr;
  TColumnValueProvider* Provider = nullptr;
  TExpressionCollation Collation;
};

// A fresh value node (no children) holding the value of node for the record; the caller
// owns it.
TExpTree EvaluateExpression(const TExpToken& node, const uint8_t* record, TExpressionOwner* owner, uint16_t language,
                            uint16_t sort, TColumnValueProvider* provider);
TExpTree Evaluate(const TExpToken& node, const TEvalContext& context);

// True when a condition's value is a non-NULL, non-zero boolean.
bool ConditionHolds(const TExpToken& value);

// True when the subtree reads a column (constant subtrees are folded by preparation).
bool ReadsColumn(const TExpToken* node);

}  // namespace quarry
