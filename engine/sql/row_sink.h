// TRowSink: where the rows of one SELECT execution go. Each row the walk emits is built from
// the sources' current rows and then folded into the whole-table group (aggregates without
// GROUP BY), added to IN's member set (a sub-select whose rows matter only as members), folded
// into its GROUP BY group before it reaches the result table, or appended to the result
// table, which ends the walk at the row limit.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sql/group_aggregates.h"
#include "engine/sql/result_table.h"
#include "engine/sql/row_walk.h"
#include "engine/sql/select_block.h"
#include "engine/sql/select_plan.h"
#include "engine/sql/sub_select_members.h"

namespace quarry {

class TRowSink {
 public:
  // For one execution into result (created with the block's columns). members: the set the
  // rows feed instead of the result, or null; collectGroups: GROUP BY rows are folded here;
  // rowLimit: -1 for none.
  void Begin(TSelectBlock& block, TResultTable& result, TSubSelectMembers* members, bool collectGroups,
             int64_t rowLimit);
  TRowFate Emit();
  // SELECT COUNT(*) of one table whose conditions the index range answers exactly: the
  // cursor's record count is the whole-table group; false when rows must be read.
  bool CountFromCursor(TSelectPlan& plan);
  // After the walk: the member set is complete, the collected groups and the whole-table
  // group's row go to the result.
  void End();
  TGroupAggregator& Aggregator() { return aggregator_; }

 private:
  TSelectBlock* block_ = nullptr;
  TResultTable* result_ = nullptr;
  TSubSelectMembers* members_ = nullptr;
  TGroupAggregator aggregator_;
  TGroupCollector groups_;
  bool collectGroups_ = false;
  std::vector<uint8_t> row_;
  std::vector<uint8_t> groupRow_;  // the whole-table group
  bool groupStarted_ = false;
  int64_t appended_ = 0;
  int64_t rowLimit_ = -1;

  void FlushGroups();
};

}  // namespace quarry
