// TSelectPlan: how one execution of a SELECT query block reads its tables. It splits the
// prepared condition into its AND parts and over the tables, makes the join plan (edges,
// driving table, loop order), picks for each table an access path (an index range where an
// equality or BETWEEN allows it), and decides the walk's shortcuts: the loop level below
// which DISTINCT needs one row, the inner tables answered from a key set, and whether the
// single table is read in the ORDER BY's index order so that no sort is needed.
//
// The live decision is planning too (ChooseLive): whether the block's single table's own
// cursor can be the result, and the index that orders it.
//
// Shortcuts, each giving the rows the plain walk would: below the tables DISTINCT reads,
// and under a LEFT JOIN whose inner join column must be NULL, the first matching inner row
// ends the inner loop; when only the existence of a match on an integer column matters and
// the outer loop is long, the inner column's values are read once instead of one index
// lookup per outer row (decided while walking, see TRowWalk).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sql/access_path.h"
#include "engine/sql/join_plan.h"
#include "engine/sql/select_block.h"
#include "engine/sql/select_filters.h"

namespace quarry {

// How one source table is read in this execution.
struct TTableRun {
  TSelectSource* Source = nullptr;
  uint8_t Kind = jk::Cross;                        // of the edge into the table
  std::vector<const TExpToken*> SingleConditions;  // AND parts reading this table only
  std::vector<const TExpToken*> JoinConditions;    // comparisons of the edge into it
  std::vector<const TExpToken*> WhereConditions;   // tested once the join matched
  TAccessPath Access;
  bool Backward = false;       // read from the last record back
  bool OnlyUnmatched = false;  // left outer join: matched rows never qualify
  // Only whether an inner row matches matters: the inner join column's values, read once,
  // may answer each outer row (see TRowWalk).
  bool KeySetCandidate = false;
  int8_t KeySetState = -1;               // -1 undecided, 0 index lookups, 1 key set
  const TExpToken* OuterSide = nullptr;  // of the join comparison
  int InnerFieldNo = 0;
  std::vector<int64_t> Keys;  // sorted
  TExpToken KeyValue;
};

// Whether a live request can be met, and the index that then orders the cursor.
struct TLiveChoice {
  bool Live = false;
  int Slot = -1;  // -1: the table's primary order (no ORDER BY)
};
// onlyQuery: the block is the statement's only query.
TLiveChoice ChooseLive(const TSelectBlock& block, bool onlyQuery);

// The order in which DISTINCT's sort leaves the rows (result columns, 0-based).
struct TDistinctOrder {
  std::vector<int> Columns;
  std::vector<bool> Descending;
};
// Whether DISTINCT can remove no row of the block: it reads one table, once per row, and its
// result columns hold every field of one of that table's unique indexes. The index admits no
// two records with equal keys (a NULL key field counting as one value, as DISTINCT counts
// it), and DISTINCT compares at least as finely as the index does, so no two rows are equal.
// When so, order receives the ORDER BY that puts the rows where DISTINCT's sort would: the
// written one, then the other columns ascending up to those that hold a unique key.
bool DistinctRemovesNothing(const TSelectBlock& block, TDistinctOrder& order);

class TSelectPlan {
 public:
  // The dry run of preparation over the checked condition: raises the join errors.
  void Check(const TSelectBlock& block);
  // This execution's plan over the prepared AND parts of the condition (parameter values
  // bound); sets each table's cursor order. rowsStream: the rows will be read straight
  // from the single table's cursor (TStreamResult), so an index that gives the ORDER BY
  // saves the whole sort, not only the walk's.
  void Make(const TSelectBlock& block, bool rowsStream = false);

  std::vector<TTableRun>& Runs() { return runs_; }
  const std::vector<TTableRun>& Runs() const { return runs_; }
  // Tables in loop order (FROM positions).
  const std::vector<int>& Order() const { return plan_.Order(); }
  TTableRun& RunAtLevel(std::size_t level) { return runs_[static_cast<std::size_t>(plan_.Order()[level])]; }
  // Below this loop level one written row ends the loops (-1: no such level).
  int DistinctLevel() const { return distinctLevel_; }
  // The single table is read in the ORDER BY's order: the sort is not needed.
  bool OrderByIndex() const { return orderByIndex_; }
  // True when the rows of this execution cannot repeat (DISTINCT has nothing to do).
  bool RowsAlreadyDistinct(const TSelectBlock& block) const;
  // How this execution reads each table, in loop order: the filters installed with their
  // level, estimated count and indexes, the index range, the per-row tests and the join.
  std::string Text() const;

 private:
  std::vector<TExpTree> prepared_;  // this execution's AND parts
  TPrepareOptions preparing_;       // how they were prepared
  std::vector<TTableRun> runs_;     // FROM order
  TJoinPlan plan_;
  TSelectFilters filters_;  // single-table parts answered by cursor filters
  int distinctLevel_ = -1;
  bool orderByIndex_ = false;
  bool rowsStream_ = false;

  // Splits the parts over the tables and makes the join plan; without forExecution a dry
  // run that only raises the join errors.
  void PlanJoins(const TSelectBlock& block, const std::vector<const TExpToken*>& parts, bool forExecution);
  // Installs the single-table parts the filter optimiser serves as filters on the cursors
  // (all but the one each table's index range is built from) and drops them from the runs.
  void InstallFilters(const TSelectBlock& block, const TPrepareOptions& options);
  // The run whose join match an outer join's ON part belongs to, or -1 when it acts as WHERE.
  int OuterJoinMatchTable(const TExpToken& part, uint64_t tables, const std::vector<int>& position) const;
  // The deepest loop level DISTINCT's columns read, when tables below it exist (-1 else).
  void ChooseDistinctLevel(const TSelectBlock& block);
  // The join into a run compares one integer column with the outer row and only a match's
  // existence matters (an anti-join, or DISTINCT above it): a key set may answer it.
  void ChooseKeySets(const TSelectBlock& block);
  // A single table whose index gives the ORDER BY is read in that index's order (forward,
  // or backward when every direction is the index's reverse), and the sort is skipped.
  void UseIndexOrder(const TSelectBlock& block);
};

}  // namespace quarry
