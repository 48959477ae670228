// The conditions of a running SELECT: their AND parts, the tables each reads, and the tests
// of a condition list against the sources' current rows.
//
// Two tests differ in how NULL compares: a row test evaluates each condition as written,
// while the comparisons of a join edge never match a NULL on either side (unlike a filter's
// `=`, where two NULLs are equal). `column IS [NOT] NULL` over one of the query's own
// tables is answered from the row image without evaluating anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sql/expression_evaluator.h"
#include "engine/sql/select_sources.h"

namespace quarry {

// Type-checks a WHERE, JOIN ... ON or HAVING clause (string constants may name columns,
// boolean columns become comparisons) and raises "<context> must be a boolean expression"
// when it is not boolean.
void CheckBooleanClause(TExpTree& clause, TColumnResolver& resolver, TExpressionOwner& owner,
                        const std::string& context);

// A comparison node: =, <>, <, >, <=, >= (partial comparisons included).
bool IsComparison(const TExpToken& n);
// The AND parts of a condition tree, left to right.
void SplitAnd(const TExpToken* n, std::vector<const TExpToken*>& parts);
// The source tables an expression reads, as a bit set over FROM positions (0-based).
uint64_t TablesRead(const TExpToken* n, const TSelectColumnSource& columns);
// The one table of a bit set, or -1 when it holds none or several.
int OnlyTable(uint64_t mask);

// The conditions (at most two: an equality, or the two bounds of an interval) that an index
// range answers, so that the row tests skip them.
struct TAnsweredConditions {
  const TExpToken* First = nullptr;
  const TExpToken* Second = nullptr;
  bool Has(const TExpToken* c) const { return c != nullptr && (c == First || c == Second); }
};

// Whether every condition but the skipped ones holds for the current rows.
bool ConditionsHold(const std::vector<const TExpToken*>& conditions, const TAnsweredConditions& skip,
                    const TEvalContext& context, const TSelectColumnSource& sources);
// The same for the comparisons of a join edge: a NULL on either side never matches.
bool JoinConditionsHold(const std::vector<const TExpToken*>& conditions, const TAnsweredConditions& skip,
                        const TEvalContext& context);

}  // namespace quarry
