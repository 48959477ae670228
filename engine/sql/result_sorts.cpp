// The sorts of a SELECT's result table. See result_sorts.h.
#include "engine/sql/result_sorts.h"

#include <algorithm>
#include <memory>

#include "engine/sql/column_source.h"

namespace quarry {

void TResultSorts::Distinct(const TSelectBlock& block, TResultTable& result) {
  const TDataQuery& query = block.Query;
  std::vector<int> columns;
  std::vector<bool> descending;
  // With an ORDER BY that is not case-insensitive, one sort does both: the ORDER BY columns
  // lead the key, the other columns follow, so equal rows still meet.
  if (!block.OrderColumns.empty() && !query.OrderByNoCase && !block.UnionInvolved()) {
    columns = block.OrderColumns;
    descending = block.OrderDescending;
    orderDone_ = true;
  }
  for (int i = 0; i < block.Visible; ++i) {
    if (std::find(columns.begin(), columns.end(), i) != columns.end()) continue;
    columns.push_back(i);
    descending.push_back(false);
  }
  TSortOptions options;
  options.KeyFields = block.KeyFields(columns, descending);
  options.Distinct = true;
  const bool limitNow = !block.UnionInvolved() && (block.OrderColumns.empty() || orderDone_ || block.OrderSatisfied);
  options.RowLimit = limitNow ? query.Top : -1;
  result.Sort(std::move(options));
}

void TResultSorts::Groups(const TSelectBlock& block, TResultTable& result, TGroupAggregator& aggregator,
                          const TExpToken* having) {
  TSortOptions options;
  options.KeyFields = block.KeyFields(block.GroupColumns, {});
  TGroupAggregator* folding = &aggregator;
  options.Accumulate = [folding](uint8_t* group, const uint8_t* record, bool start) {
    folding->Accumulate(group, record, start);
  };
  options.Finalise = [folding](uint8_t* group) { folding->Finalise(group); };
  std::unique_ptr<TRecordColumnSource> havingSource;
  if (having != nullptr) {
    havingSource = std::make_unique<TRecordColumnSource>(block.ColumnDefinitions());
    TEvalContext context = block.Context();
    context.Provider = havingSource.get();
    options.Keep = [having, context](const uint8_t* group) mutable {
      context.Record = group;
      TExpTree value = Evaluate(*having, context);
      return ConditionHolds(*value);
    };
  }
  const bool limitNow = !block.UnionInvolved() && (block.OrderColumns.empty() || block.OrderSatisfied);
  options.RowLimit = limitNow ? block.Query.Top : -1;
  result.Sort(std::move(options));
  if (block.OrderSatisfied) orderDone_ = true;
}

void TResultSorts::Order(const TSelectBlock& block, TResultTable& result) {
  const TDataQuery& query = block.Query;
  const bool orderDue = !block.OrderColumns.empty() && !orderDone_;
  if (orderDue || (query.UnionFollows && query.Top >= 0) || (query.Top >= 0 && result.Rows() > query.Top)) {
    TSortOptions options;
    if (orderDue) options.KeyFields = block.KeyFields(block.OrderColumns, block.OrderDescending);
    options.CaseInsensitive = query.OrderByNoCase;
    options.RowLimit = query.Top;
    result.Sort(std::move(options));
  }
}

void TResultSorts::UnionDistinct(const TSelectBlock& block, TResultTable& result) {
  std::vector<int> columns;
  for (int i = 0; i < block.Visible; ++i) columns.push_back(i);
  TSortOptions options;
  options.KeyFields = block.KeyFields(columns, {});
  options.Distinct = true;
  result.Sort(std::move(options));
}

}  // namespace quarry
