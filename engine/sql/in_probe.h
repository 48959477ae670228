// TInProbe: IN (SELECT ...) answered through an index of the sub-select's single table
// without walking its rows. When the sub-select's first column is a plain integer column
// that leads an ascending index, and the only conditions are on that table's rows, each
// value IN asks about becomes a key range on that index; the rows in the range are tested
// against the conditions. NULL follows IN's rules: a NULL value matches unknown when any row
// qualifies, and a value without a match is unknown when a qualifying row holds NULL. A
// value that does not convert to a key of the column's type reads every row once into the
// member set instead, as an unindexed IN does.
//
// While an outer query walks its rows it may hold the table's read lock for all look-ups.
// An outer query that drives its own index from the members instead (few members, a large
// table) asks for them all: they are then read once through the query's own access path.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sql/select_block.h"
#include "engine/sql/select_plan.h"
#include "engine/sql/sub_select_members.h"

namespace quarry {

class TInProbe {
 public:
  // For an execution whose rows would only feed the member set: chooses the index and sets
  // the cursor to it; false when no index answers (the rows are walked).
  bool Choose(TSelectPlan& plan, const TSelectBlock& block);
  // No probing in this execution.
  void Reset() { slot_ = -1; }
  bool Active() const { return slot_ >= 0; }
  // Whether value is a member; members takes the rows when value gives no key.
  TSubSelectMatch Match(const TExpToken& value, TSubSelectMembers& members);
  // An upper bound of the members: the records the query's own index range or filters
  // show, counted from the index without reading them.
  int64_t RowEstimate();
  // Reads the members through the query's own access path into members, once, for an
  // outer query that probes its index with each of them; probing ends.
  void LoadMembers(TSubSelectMembers& members);
  void HoldLock();
  void ReleaseLock();

 private:
  TSelectPlan* plan_ = nullptr;
  const TSelectBlock* block_ = nullptr;
  int slot_ = -1;  // the index, or -1
  bool lockHeld_ = false;
  std::vector<uint8_t> key_;
  TExpToken value_;
  int8_t hasNull_ = -1;  // -1 not yet looked up
  int8_t hasRows_ = -1;
  int64_t estimate_ = -1;  // -1 not yet counted

  int MembershipSlot() const;
  // Whether a row with the key (null: the NULL key; else value) passes the conditions.
  bool KeyHolds(const TExpToken* value);
  bool RowHolds(const TTableRun& run) const;
};

}  // namespace quarry
