// TSelectBlock: what one SELECT query block is once prepared: its parse object, its open
// source tables and how expressions reach their columns, the result columns, the collation
// it compares and sorts by, and the shape of its DISTINCT, GROUP BY and ORDER BY. The query
// (TSelectQuery) fills it at preparation; the collaborators that plan and run each
// execution read it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/data_query.h"
#include "engine/sql/expression_evaluator.h"
#include "engine/sql/expression_owner.h"
#include "engine/sql/order_by_index.h"
#include "engine/sql/select_sources.h"

namespace quarry {

// One column of the result table.
struct TResultColumn {
  std::string Name;
  std::string Alias;            // written with AS (or directly after the expression)
  TFieldDefinition Definition;  // as the result table stores it (FieldNo = position)
  uint8_t Aggregate = 0;        // agg:: codes
  bool Plain = false;           // copied from a source column
  bool Hidden = false;          // the counter of an AVG column
  bool FromStar = false;
  TSelectSource* Source = nullptr;  // plain column, or the plain argument of an aggregate
  int SourceFieldNo = 0;
  std::string Correlation;                // of a plain column (or aggregate argument): its table's
  std::string ColumnName;                 // ... and its column name
  const TExpToken* Expression = nullptr;  // checked tree: computed value or aggregate argument
  TExpTree OwnedExpression;               // columns made by expanding `*`
  std::string Text;                       // the expression as written, for messages
  int CounterColumn = -1;                 // AVG: index of its hidden counter
  std::string Origin;                     // plain column: "table.column" (at most 100 characters)
  std::string OriginDatabase;             // ... and the database of that table
  // Per execution.
  TExpTree Prepared;
  TExpToken Converted;
};

struct TSelectBlock {
  TSelectBlock(TDataQuery& query, TExpressionOwner& hooks) : Query(query), Hooks(hooks) {}

  TDataQuery& Query;
  TExpressionOwner& Hooks;
  std::vector<std::unique_ptr<TSelectSource>> Sources;  // FROM order
  TSelectColumnSource ColumnSource;
  std::vector<TResultColumn> Columns;
  int Visible = 0;  // columns before the hidden AVG counters
  uint16_t Language = 0;
  uint16_t Sort = 0;
  bool WholeTableGroup = false;  // aggregates only, no GROUP BY: one row
  bool Distinct = false;
  bool OrderSatisfied = false;    // grouping or DISTINCT already gives the ORDER BY
  std::vector<int> OrderColumns;  // 0-based result columns
  std::vector<bool> OrderDescending;
  std::vector<int> GroupColumns;

  // Evaluation over the sources' current rows, in the block's collation.
  TEvalContext Context() const;
  bool UnionInvolved() const { return Query.UnionFollows || Query.UnionPart; }
  std::vector<TFieldDefinition> ColumnDefinitions() const;
  // Sort keys over result columns (0-based), descending where marked.
  std::vector<TFieldDefinition> KeyFields(const std::vector<int>& columns, const std::vector<bool>& descending) const;
  // The ORDER BY as keys over source's fields; false when an item is not a plain column of
  // that table.
  bool OrderKeysOf(const TSelectSource& source, TOrderByKeys& keys) const;
};

}  // namespace quarry
