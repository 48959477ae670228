// TStreamResult: a SELECT result read straight from its single source table's cursor,
// instead of being copied into a result table first. It serves the query blocks whose rows
// are nothing but that table's rows in the order the plan reads them: the statement's only
// block (no UNION, not nested), no INTO, DISTINCT, grouping, aggregates, TOP or row limit,
// plain result columns, and no ORDER BY or one the plan reads in index order. Reading the
// first row of an index-ordered list then reads one row, not the whole list.
//
// It streams when the plan's cursor reads nothing but result rows: the whole table, or an
// index range that answers the condition exactly, with no filter and no row test left.
// Once the plan has set the cursor up for the walk (its order, the range, key-only
// reading), Start adds what the walk would still do: the cursor reads back to front when
// the plan reads its index backward, and the result columns are laid over the table's
// fields as a view (under their result names, with their origins). The rows, their order
// and the record count are the walk's.
//
// The cursor is the statement's read-only source cursor: like a live result it sees other
// users' changes when it is read after the execution. Stop gives it back as the plan found
// it, before the next execution plans.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sql/select_block.h"
#include "engine/sql/select_plan.h"

namespace quarry {

class TStreamResult {
 public:
  // Whether the block's shape lets its rows stream (the parts fixed at preparation).
  static bool Possible(const TSelectBlock& block, bool onlyQuery);

  // Makes the single table's cursor the result of this execution, planned by plan; false
  // (nothing changed but the cursor's position) when this execution's rows must be walked
  // after all: an ORDER BY the plan does not read in index order, a row limit, or rows the
  // cursor shows that the condition still has to pick from. Leaves the cursor before its
  // first record.
  bool Start(TSelectBlock& block, TSelectPlan& plan);
  // Gives the cursor back without the view and the reversed order.
  void Stop();

  bool Active() const { return cursor_ != nullptr; }
  TDataCursor* Cursor() const { return cursor_; }

 private:
  TDataCursor* cursor_ = nullptr;
};

}  // namespace quarry
