// The conditions of a running SELECT. See select_conditions.h.
#include "engine/sql/select_conditions.h"

#include <bit>

#include "engine/sql/expression_error.h"
#include "engine/sql/type_checker.h"
#include "engine/storage/data/record_buffer.h"

namespace quarry {

void CheckBooleanClause(TExpTree& clause, TColumnResolver& resolver, TExpressionOwner& owner,
                        const std::string& context) {
  TCheckOptions options;
  options.ErrorCode = kSqlErrorCode;
  options.StringsMayBeColumns = true;
  options.RewriteBooleanColumns = true;
  options.Resolver = &resolver;
  options.Owner = &owner;
  options.Context = context;
  CheckExpression(options, clause);
  if (clause->DataType != vt::Boolean && clause->DataType != vt::Unknown)
    RaiseSqlError(context + " must be a boolean expression");
}

namespace {

// `column IS [NOT] NULL` (a column compared with the NULL constant) over a column of one of
// the query's own tables is answered from the row as it is: 1 or 0; -1 for any other
// condition. The column reads as NULL when the column source would give NULL (a left
// join's NULL row, a NULL field, a BLOB).
int NullTestHolds(const TExpToken& c, const TSelectColumnSource& sources) {
  if (c.NodeClass != nc::Binary || (c.OpCode != op::Equal && c.OpCode != op::NotEqual)) return -1;
  const TExpToken* column = c.Left;
  const TExpToken* null = c.Right;
  if (column == nullptr || null == nullptr || column->NodeClass != nc::Column || null->NodeClass != nc::Constant ||
      !null->IsNull)
    return -1;
  const TSelectSource* source = sources.SourceOf(*column);
  if (source == nullptr || !source->Cursor) return -1;
  const std::vector<TFieldDefinition>& fields = source->Cursor->TableFields();
  if (column->FieldNo < 1 || column->FieldNo > static_cast<int>(fields.size())) return -1;
  const TFieldDefinition& field = fields[static_cast<std::size_t>(column->FieldNo - 1)];
  const bool isNull = source->NullRow || IsFieldNull(source->Record.data(), field) || field.IsBlob();
  return isNull == (c.OpCode == op::Equal) ? 1 : 0;
}

}  // namespace

bool IsComparison(const TExpToken& n) {
  return (n.NodeClass == nc::Binary || n.NodeClass == nc::PartialCompare) && n.OpCode >= op::Equal &&
         n.OpCode <= op::LessEqual;
}

void SplitAnd(const TExpToken* n, std::vector<const TExpToken*>& parts) {
  if (n == nullptr) return;
  if (n->NodeClass == nc::Binary && n->OpCode == op::And) {
    SplitAnd(n->Left, parts);
    SplitAnd(n->Right, parts);
    return;
  }
  parts.push_back(n);
}

uint64_t TablesRead(const TExpToken* n, const TSelectColumnSource& columns) {
  if (n == nullptr) return 0;
  uint64_t mask = 0;
  if (n->NodeClass == nc::Column) {
    const auto& all = columns.All();
    for (std::size_t i = 0; i < all.size(); ++i)
      if (all[i]->Source == n->SourceTable) mask |= uint64_t{1} << i;
    return mask;
  }
  mask |= TablesRead(n->Left, columns) | TablesRead(n->Right, columns);
  for (const TExpToken* a : n->Args) mask |= TablesRead(a, columns);
  return mask;
}

int OnlyTable(uint64_t mask) { return std::popcount(mask) == 1 ? std::countr_zero(mask) : -1; }

bool ConditionsHold(const std::vector<const TExpToken*>& conditions, const TAnsweredConditions& skip,
                    const TEvalContext& context, const TSelectColumnSource& sources) {
  for (const TExpToken* c : conditions) {
    if (skip.Has(c)) continue;
    if (const int quick = NullTestHolds(*c, sources); quick >= 0) {
      if (quick == 0) return false;
      continue;
    }
    TExpTree value = Evaluate(*c, context);
    if (!ConditionHolds(*value)) return false;
  }
  return true;
}

bool JoinConditionsHold(const std::vector<const TExpToken*>& conditions, const TAnsweredConditions& skip,
                        const TEvalContext& context) {
  for (const TExpToken* c : conditions) {
    if (skip.Has(c)) continue;
    if (!IsComparison(*c) || c->Left == nullptr || c->Right == nullptr || !ReadsColumn(c->Left) ||
        !ReadsColumn(c->Right)) {
      if (!ConditionHolds(*Evaluate(*c, context))) return false;
      continue;
    }
    TExpTree left = Evaluate(*c->Left, context);
    if (left->IsNull) return false;
    TExpTree right = Evaluate(*c->Right, context);
    if (right->IsNull || !CompareByOperator(c->OpCode, *left, *right, context.Collation)) return false;
  }
  return true;
}

}  // namespace quarry
