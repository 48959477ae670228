// Where the rows of a SELECT execution go. See row_sink.h.
#include "engine/sql/row_sink.h"

#include <cstring>

#include "engine/sql/result_columns.h"
#include "engine/sql/result_row.h"
#include "engine/storage/data/record_buffer.h"

namespace quarry {

void TRowSink::Begin(TSelectBlock& block, TResultTable& result, TSubSelectMembers* members, bool collectGroups,
                     int64_t rowLimit) {
  block_ = &block;
  result_ = &result;
  members_ = members;
  rowLimit_ = rowLimit;
  appended_ = 0;
  groupStarted_ = false;
  row_.assign(static_cast<std::size_t>(result.RecordSize()), 0);
  groupRow_.assign(static_cast<std::size_t>(result.RecordSize()), 0);
  std::vector<TAggregateColumn> aggregates;
  for (const TResultColumn& c : block.Columns) {
    if (c.Aggregate == agg::None) continue;
    TAggregateColumn a;
    a.Kind = c.Aggregate;
    a.Field = c.Definition;
    if (c.CounterColumn >= 0) {
      a.HasCounter = true;
      a.Counter = block.Columns[static_cast<std::size_t>(c.CounterColumn)].Definition;
    }
    aggregates.push_back(std::move(a));
  }
  aggregator_ = TGroupAggregator(std::move(aggregates));
  collectGroups_ = collectGroups;
  if (collectGroups_) groups_.Begin(block.KeyFields(block.GroupColumns, {}), result.RecordSize(), aggregator_);
}

TRowFate TRowSink::Emit() {
  uint8_t* row = row_.data();
  BuildResultRow(block_->Columns, block_->Context(), *result_, row);
  if (block_->WholeTableGroup) {
    if (!groupStarted_) {
      std::memcpy(groupRow_.data(), row, groupRow_.size());
      aggregator_.Accumulate(groupRow_.data(), groupRow_.data(), true);
      groupStarted_ = true;
    } else {
      aggregator_.Accumulate(groupRow_.data(), row, false);
    }
    return TRowFate::Folded;
  }
  if (members_ != nullptr) {
    members_->Add(row);
    return TRowFate::Folded;
  }
  if (collectGroups_) {
    groups_.Add(row);
    if (groups_.Full()) FlushGroups();
    return TRowFate::Folded;
  }
  result_->Append(row);
  ++appended_;
  return rowLimit_ >= 0 && appended_ >= rowLimit_ ? TRowFate::Last : TRowFate::Written;
}

bool TRowSink::CountFromCursor(TSelectPlan& plan) {
  std::vector<TTableRun>& runs = plan.Runs();
  if (!block_->WholeTableGroup || runs.size() != 1 || block_->Visible != 1 || rowLimit_ >= 0) return false;
  TResultColumn& count = block_->Columns.front();
  if (count.Aggregate != agg::Count || count.Prepared) return false;
  TTableRun& run = runs.front();
  run.Access.Position(*run.Source, block_->Context());
  const TAnsweredConditions answered = run.Access.Answered();
  for (const auto* list : {&run.JoinConditions, &run.WhereConditions})
    for (const TExpToken* c : *list)
      if (!answered.Has(c)) return false;
  SetFieldInteger(groupRow_.data(), count.Definition, run.Source->Cursor->RecordCount());
  groupStarted_ = true;
  return true;
}

void TRowSink::End() {
  if (members_ != nullptr) members_->End();
  if (collectGroups_) FlushGroups();
  if (block_->WholeTableGroup) {
    if (!groupStarted_) aggregator_.MakeEmptyGroup(groupRow_.data());
    else aggregator_.Finalise(groupRow_.data());
    result_->Append(groupRow_.data());
  }
}

void TRowSink::FlushGroups() {
  for (std::size_t i = 0; i < groups_.Count(); ++i) {
    result_->Append(groups_.Group(i));
    ++appended_;
  }
  groups_.Clear();
}

}  // namespace quarry
