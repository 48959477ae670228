// Evaluation of function nodes (class 10): string functions, EXTRACT, CAST, IF, IFNULL,
// COALESCE, ABS, ROUND, TEXTSEARCH/TEXTOCCURS, LASTAUTOINC/IDENT_CURRENT and the per-row
// value of aggregates. Used by the evaluator only.
#pragma once

#include "engine/sql/expression_evaluator.h"

namespace quarry {

TExpTree EvaluateFunction(const TExpToken& node, const TEvalContext& context);

// A value node of node's type, subtype, scale and size, NULL until a value is stored.
TExpTree NewResultNode(const TExpToken& node);

}  // namespace quarry
