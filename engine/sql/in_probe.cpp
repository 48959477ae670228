// IN (SELECT ...) answered through an index. See in_probe.h.
#include "engine/sql/in_probe.h"

#include <algorithm>

#include "engine/sql/select_conditions.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/table.h"
#include "engine/values/value_ops.h"

namespace quarry {

bool TInProbe::Choose(TSelectPlan& plan, const TSelectBlock& block) {
  plan_ = &plan;
  block_ = &block;
  slot_ = MembershipSlot();
  hasNull_ = hasRows_ = -1;
  estimate_ = -1;
  if (slot_ < 0) return false;
  TDataCursor& cursor = *plan.Runs().front().Source->Cursor;
  cursor.ChooseIndexSlot(slot_);
  // With no row test, a look-up needs only the key: the records are never read.
  if (plan.Runs().front().WhereConditions.empty() &&
      cursor.KeyHoldsFields(slot_, {block.Columns.front().SourceFieldNo}))
    cursor.SetKeysOnly(true);
  key_.assign(static_cast<std::size_t>(cursor.RecordBufferSize()), 0);
  return true;
}

bool TInProbe::RowHolds(const TTableRun& run) const {
  return run.WhereConditions.empty() ||
         ConditionsHold(run.WhereConditions, {}, block_->Context(), block_->ColumnSource);
}

int TInProbe::MembershipSlot() const {
  if (plan_->Runs().size() != 1 || block_->Visible < 1) return -1;
  const TResultColumn& column = block_->Columns.front();
  const TTableRun& run = plan_->Runs().front();
  if (!column.Plain || column.Source != run.Source || !run.JoinConditions.empty()) return -1;
  TDataCursor& cursor = *run.Source->Cursor;
  const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(column.SourceFieldNo - 1)];
  if (!IntegerFamily(static_cast<uint8_t>(field.DataType))) return -1;
  const int last = std::min(cursor.IndexCount(), MaxSecondaryIndexes);
  for (int slot = 0; slot <= last; ++slot) {
    const TIndexDefinition& index = cursor.GetIndexDefinition(slot);
    if (index.Defined() && index.FieldCount > 0 && index.FieldNumbers[0] == column.SourceFieldNo && !index.Descending &&
        !index.FieldDescending[0])
      return slot;
  }
  return -1;
}

bool TInProbe::KeyHolds(const TExpToken* value) {
  TTableRun& run = plan_->Runs().front();
  TSelectSource& source = *run.Source;
  TDataCursor& cursor = *source.Cursor;
  const int fieldNo = block_->Columns.front().SourceFieldNo;
  const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(fieldNo - 1)];
  std::fill(key_.begin(), key_.end(), 0);
  if (value == nullptr) {
    cursor.PutField(fieldNo, key_.data(), nullptr);
  } else {
    value_.SetType(static_cast<uint8_t>(field.DataType), st::None, field.ValueSize, field.Scale);
    // A value the column cannot hold equals none of its values.
    if (!ConvertValue(*value, value_) || value_.IsNull || ValueAsInt64(value_) != ValueAsInt64(*value)) return false;
    if (static_cast<int32_t>(value_.Value.size()) < field.ValueSize) value_.SetValueSize(field.ValueSize);
    cursor.PutField(fieldNo, key_.data(), value_.Value.data());
  }
  cursor.SetRange(key_.data(), 1, key_.data(), 1);
  // Setting the range found its first row.
  for (bool first = true;; first = false) {
    const TEngineErrorCode code =
        first ? cursor.GetCurrentRecord(source.Record.data()) : cursor.Next(source.Record.data());
    if (code != 0) return false;
    source.NullRow = false;
    if (RowHolds(run)) return true;
  }
}

TSubSelectMatch TInProbe::Match(const TExpToken& value, TSubSelectMembers& members) {
  TTableRun& run = plan_->Runs().front();
  TSelectSource& source = *run.Source;
  TDataCursor& cursor = *source.Cursor;
  const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(block_->Columns.front().SourceFieldNo - 1)];
  const uint8_t fieldType = static_cast<uint8_t>(field.DataType);
  const bool keyable = value.DataType == fieldType || (IsIntegerType(value.DataType) && IsIntegerType(fieldType));
  if (!value.IsNull && !keyable) {
    // A value that does not convert to a key of the column's type: read every row once, as
    // an unindexed IN does.
    TExpressionCollation collation;
    collation.Language = block_->Language;
    collation.Sort = block_->Sort;
    members.Begin(field, collation);
    if (cursor.RangeActive()) cursor.CancelRange();
    cursor.Home();
    while (cursor.Next(source.Record.data()) == 0)
      if (RowHolds(run)) members.Add(source.Record.data());
    members.End();
    slot_ = -1;
    return members.Find(value);
  }
  if (value.IsNull) {
    if (hasRows_ < 0) {
      hasRows_ = 0;
      if (cursor.RangeActive()) cursor.CancelRange();
      cursor.Home();
      while (hasRows_ == 0 && cursor.Next(source.Record.data()) == 0)
        if (RowHolds(run)) hasRows_ = 1;
    }
    return hasRows_ != 0 ? TSubSelectMatch::Unknown : TSubSelectMatch::No;
  }
  if (KeyHolds(&value)) return TSubSelectMatch::Yes;
  if (hasNull_ < 0) hasNull_ = KeyHolds(nullptr) ? 1 : 0;
  return hasNull_ != 0 ? TSubSelectMatch::Unknown : TSubSelectMatch::No;
}

int64_t TInProbe::RowEstimate() {
  if (slot_ < 0) return -1;
  if (estimate_ < 0) {
    TTableRun& run = plan_->Runs().front();
    TDataCursor& cursor = *run.Source->Cursor;
    const bool keysOnly = cursor.KeysOnly();
    cursor.ChooseIndexSlot(run.Access.IndexSlot());
    estimate_ = run.Access.Position(*run.Source, block_->Context()) ? cursor.RecordCount() : 0;
    cursor.ChooseIndexSlot(slot_);
    if (keysOnly) cursor.SetKeysOnly(true);
  }
  return estimate_;
}

void TInProbe::LoadMembers(TSubSelectMembers& members) {
  TTableRun& run = plan_->Runs().front();
  TSelectSource& source = *run.Source;
  TDataCursor& cursor = *source.Cursor;
  TExpressionCollation collation;
  collation.Language = block_->Language;
  collation.Sort = block_->Sort;
  members.Begin(cursor.Fields()[static_cast<std::size_t>(block_->Columns.front().SourceFieldNo - 1)], collation);
  cursor.ChooseIndexSlot(run.Access.IndexSlot());
  const TEvalContext context = block_->Context();
  if (run.Access.Position(source, context)) {
    const TAnsweredConditions answered = run.Access.Answered();
    while (run.Access.ReadNext(source, source.Record.data()) == 0) {
      source.NullRow = false;
      if (ConditionsHold(run.WhereConditions, answered, context, block_->ColumnSource))
        members.Add(source.Record.data());
    }
  }
  members.End();
  slot_ = -1;
}

void TInProbe::HoldLock() {
  if (slot_ < 0 || lockHeld_ || plan_->Runs().empty()) return;
  TDataTable& table = plan_->Runs().front().Source->Cursor->Table();
  if (table.HoldsReadLockA()) return;
  table.ReadLockA();
  lockHeld_ = true;
}

void TInProbe::ReleaseLock() {
  if (!lockHeld_) return;
  lockHeld_ = false;
  plan_->Runs().front().Source->Cursor->Table().ReleaseReadLockA();
}

}  // namespace quarry
