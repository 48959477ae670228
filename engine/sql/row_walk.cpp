// The nested-loop walk of a SELECT execution. See row_walk.h.
#include "engine/sql/row_walk.h"

#include <algorithm>

#include "engine/sql/query_statement.h"
#include "engine/sql/select_conditions.h"
#include "engine/sql/sub_select_members.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/session.h"
#include "engine/values/value_ops.h"

namespace quarry {

TRowWalk::TRowWalk(TSelectPlan& plan, const TSelectBlock& block, TQueryStatement& statement,
                   std::function<TRowFate()> emit, bool reportProgress)
    : plan_(plan),
      block_(block),
      statement_(statement),
      emit_(std::move(emit)),
      context_(block.Context()),
      reportProgress_(reportProgress) {}

void TRowWalk::Run() {
  if (!plan_.Order().empty()) WalkLevel(0);
}

void TRowWalk::Emit() {
  const TRowFate fate = emit_();
  if (fate == TRowFate::Folded) return;
  rowWritten_ = true;
  if (fate == TRowFate::Last) stop_ = true;
}

bool TRowWalk::Holds(const std::vector<const TExpToken*>& conditions, const TAnsweredConditions& skip) const {
  return conditions.empty() || ConditionsHold(conditions, skip, context_, block_.ColumnSource);
}

void TRowWalk::ReportProgress() {
  ++driverVisited_;
  if (driverRows_ <= 0 || !reportProgress_) return;
  const int steps = std::max(1, statement_.Database()->Session().Settings().ProgressSteps);
  const int step = std::max(1, 100 / steps);
  const int percent = static_cast<int>(std::min<int64_t>(100, driverVisited_ * 100 / driverRows_));
  if (percent - lastProgress_ < step) return;
  lastProgress_ = percent;
  if (statement_.ReportProgress(percent)) stop_ = true;
}

bool TRowWalk::UseKeySet(TTableRun& run, std::size_t level) {
  if (!run.KeySetCandidate) return false;
  if (run.KeySetState >= 0) return run.KeySetState == 1;
  run.KeySetState = 0;
  TDataCursor& cursor = *run.Source->Cursor;
  if (cursor.RangeActive()) cursor.CancelRange();
  const int64_t innerRows = cursor.RecordCount();
  // An index lookup costs about as much as reading a few dozen records in a row.
  constexpr int64_t kLookupCost = 16;
  if (level != 1 || driverRows_ * kLookupCost <= innerRows) return false;
  run.KeySetState = 1;
  TSelectSource& source = *run.Source;
  const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(run.InnerFieldNo - 1)];
  run.KeyValue.SetType(static_cast<uint8_t>(field.DataType), st::None, field.ValueSize, field.Scale);
  run.KeyValue.ZeroValue();
  cursor.SetIndexSlot(NaturalOrderSlot);
  cursor.Home();
  while (cursor.Next(source.Record.data()) == 0) {
    if (IsFieldNull(source.Record.data(), field)) continue;
    const uint8_t* data = FieldData(source.Record.data(), field);
    std::copy(data, data + field.ValueSize, run.KeyValue.Value.begin());
    run.Keys.push_back(ValueAsInt64(run.KeyValue));
  }
  std::sort(run.Keys.begin(), run.Keys.end());
  run.Keys.erase(std::unique(run.Keys.begin(), run.Keys.end()), run.Keys.end());
  return true;
}

void TRowWalk::WalkKeySet(TTableRun& run, std::size_t level) {
  TSelectSource& source = *run.Source;
  TExpTree value = Evaluate(*run.OuterSide, context_);
  bool matched = false;
  if (!value->IsNull && IntegerFamily(value->DataType)) {
    matched = std::binary_search(run.Keys.begin(), run.Keys.end(), ValueAsInt64(*value));
  } else if (!value->IsNull) {
    // A value compared otherwise than as an integer: look it up through the index.
    run.KeySetCandidate = false;
    run.KeySetState = -1;
    run.Access.Restore(source);
    WalkLevel(level);
    return;
  }
  if (matched) {
    if (run.OnlyUnmatched) return;
    // The matched row's join column holds the outer value; no other column of it is read.
    const TFieldDefinition& field = source.Cursor->Fields()[static_cast<std::size_t>(run.InnerFieldNo - 1)];
    ConvertValue(*value, run.KeyValue);
    if (static_cast<int32_t>(run.KeyValue.Value.size()) < field.ValueSize) run.KeyValue.SetValueSize(field.ValueSize);
    SetFieldData(source.Record.data(), field, run.KeyValue.Value.data());
    source.NullRow = false;
    WalkLevel(level + 1);
    return;
  }
  if (run.Kind == jk::LeftOuter && !stop_) {
    source.NullRow = true;
    if (Holds(run.WhereConditions, {})) WalkLevel(level + 1);
    source.NullRow = false;
  }
}

bool TRowWalk::DriverRowsWanted() const {
  return (reportProgress_ && statement_.WantsProgress()) ||
         std::any_of(plan_.Runs().begin(), plan_.Runs().end(),
                     [](const TTableRun& run) { return run.KeySetCandidate; });
}

void TRowWalk::WalkLevel(std::size_t level) {
  const std::vector<int>& order = plan_.Order();
  if (level == order.size()) {
    Emit();
    return;
  }
  TTableRun& run = plan_.Runs()[static_cast<std::size_t>(order[level])];
  if (level > 0 && UseKeySet(run, level)) {
    WalkKeySet(run, level);
    return;
  }
  TSelectSource& source = *run.Source;
  TDataCursor& cursor = *source.Cursor;
  const bool mayMatch = run.Access.Position(source, context_);
  // Counting the driving rows costs two index descents: only progress reports and the
  // key-set choice need it.
  if (level == 0) driverRows_ = DriverRowsWanted() ? cursor.RecordCount() : 0;
  const TAnsweredConditions answered = run.Access.Answered();
  bool matched = false;
  if (run.Backward) cursor.End();
  auto step = [&] {
    return run.Backward ? cursor.Prior(source.Record.data()) : run.Access.ReadNext(source, source.Record.data());
  };
  while (mayMatch && !stop_ && step() == 0) {
    source.NullRow = false;
    if (level == 0) ReportProgress();
    if (!JoinConditionsHold(run.JoinConditions, answered, context_)) continue;
    matched = true;
    if (run.OnlyUnmatched) break;
    if (!Holds(run.WhereConditions, answered)) continue;
    if (static_cast<int>(level) == plan_.DistinctLevel()) rowWritten_ = false;
    WalkLevel(level + 1);
    if (static_cast<int>(level) > plan_.DistinctLevel() && plan_.DistinctLevel() >= 0 && rowWritten_) break;
  }
  if (!matched && !stop_ && run.Kind == jk::LeftOuter) {
    // No inner row matched: the outer row goes on once with NULL for every inner column.
    source.NullRow = true;
    if (Holds(run.WhereConditions, {})) WalkLevel(level + 1);
  }
  source.NullRow = false;
}

}  // namespace quarry
