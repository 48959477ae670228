// TResultSorts: the sorts of a SELECT's result table after its rows are written. DISTINCT
// sorts over all visible columns with the distinct flag (the ORDER BY's columns leading the
// key when one sort can do both); GROUP BY sorts over the group columns, folding each group
// with the aggregator and keeping the groups HAVING passes; the ORDER BY sort and TOP come
// last, unless the rows are already in that order (read through an index, or grouped or
// made distinct in it); UNION without ALL makes the combined rows distinct.
//
// TOP cuts the rows in the first sort that leaves them in their final order; with UNION it
// waits for the combined table.
#pragma once

#include "engine/sql/group_aggregates.h"
#include "engine/sql/result_table.h"
#include "engine/sql/select_block.h"

namespace quarry {

class TResultSorts {
 public:
  // At the start of an execution; orderDone: the rows are written in the ORDER BY's order.
  void Begin(bool orderDone) { orderDone_ = orderDone; }
  void Distinct(const TSelectBlock& block, TResultTable& result);
  // having: the prepared HAVING tree over the result columns, or null.
  void Groups(const TSelectBlock& block, TResultTable& result, TGroupAggregator& aggregator, const TExpToken* having);
  // ORDER BY and TOP where still due.
  void Order(const TSelectBlock& block, TResultTable& result);
  // The rows of all UNION parts made distinct.
  static void UnionDistinct(const TSelectBlock& block, TResultTable& result);

 private:
  bool orderDone_ = false;
};

}  // namespace quarry
