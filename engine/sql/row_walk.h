// TRowWalk: the nested-loop walk of one execution of a SELECT query block. From the driving
// table down, each table is positioned through its access path for the outer rows, its rows
// are read (backward where the plan says so) and tested against the join comparisons and
// the conditions, and each complete combination is handed to the emit callback. A left
// outer join supplies its NULL row when no inner row matched.
//
// The walk follows the plan's shortcuts: below the DISTINCT level one written row ends the
// loops, an anti-join needs only its first match, and an existence-only inner table may be
// answered from a key set of its join column (decided at its first outer row, when the
// driving table's row count shows whether reading the column once beats one lookup per
// outer row). Progress is reported on the driving table's rows (unless the caller reports
// its own); a progress callback that asks to stop ends the walk.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/sql/select_plan.h"

namespace quarry {

class TQueryStatement;

// What became of a row the walk emitted.
enum class TRowFate {
  Folded,   // into a group, the whole-table group or IN's member set
  Written,  // appended to the result table
  Last,     // appended, and the row limit is reached: the walk ends
};

class TRowWalk {
 public:
  TRowWalk(TSelectPlan& plan, const TSelectBlock& block, TQueryStatement& statement, std::function<TRowFate()> emit,
           bool reportProgress = true);

  void Run();
  // The last progress percentage reported.
  int LastProgress() const { return lastProgress_; }

 private:
  TSelectPlan& plan_;
  const TSelectBlock& block_;
  TQueryStatement& statement_;
  std::function<TRowFate()> emit_;
  TEvalContext context_;
  bool reportProgress_;
  bool stop_ = false;
  bool rowWritten_ = false;  // a row reached the result since the DISTINCT level moved on
  int64_t driverRows_ = 0;
  int64_t driverVisited_ = 0;
  int lastProgress_ = 0;

  void WalkLevel(std::size_t level);
  void Emit();
  bool DriverRowsWanted() const;
  void ReportProgress();
  bool UseKeySet(TTableRun& run, std::size_t level);
  // Walks a key-set level: the NULL row, or one matched row whose join column holds the key.
  void WalkKeySet(TTableRun& run, std::size_t level);
  bool Holds(const std::vector<const TExpToken*>& conditions, const TAnsweredConditions& skip) const;
};

}  // namespace quarry
