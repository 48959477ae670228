// Index ranges for the source tables of a SELECT; see access_path.h.
#include "engine/sql/access_path.h"

#include <cstring>

#include "engine/values/value_ops.h"

namespace quarry {

namespace {

bool ReadsSource(const TExpToken* n, const TSourceTable* source) {
  if (n == nullptr) return false;
  if (n->NodeClass == nc::Column && n->SourceTable == source) return true;
  if (n->NodeClass == nc::SubSelect) return false;
  if (ReadsSource(n->Left, source) || ReadsSource(n->Right, source)) return true;
  for (const TExpToken* a : n->Args)
    if (ReadsSource(a, source)) return true;
  return false;
}

bool IsColumnOf(const TExpToken* n, const TSourceTable* source) {
  return n != nullptr && n->NodeClass == nc::Column && n->SourceTable == source && n->ColumnName != "*";
}

// Whether a value of this type can bound a key of the field without changing which rows the
// range holds (the row test still runs for everything but exact equalities).
bool BoundTypeFits(const TExpToken& value, const TFieldDefinition& field) {
  const uint8_t f = static_cast<uint8_t>(field.DataType);
  if (field.IsBlob()) return false;
  if (value.DataType == f) return true;
  if (IsIntegerType(value.DataType) && IsIntegerType(f)) return true;
  return false;
}

// Equality ranges answer the test exactly for fields whose keys are their values.
bool ExactKeyType(const TFieldDefinition& field) {
  switch (field.DataType) {
  case TFieldType::SmallInt:
  case TFieldType::Integer:
  case TFieldType::Word:
  case TFieldType::LargeInt:
  case TFieldType::Date:
  case TFieldType::Time:
  case TFieldType::Boolean: return true;
  default: return false;
  }
}

}  // namespace

void TAccessPath::Choose(TSelectSource& source, const std::vector<const TExpToken*>& conditions,
                         const std::function<bool(const TExpToken&)>& outerReadable) {
  *this = TAccessPath{};
  TDataCursor& cursor = *source.Cursor;
  const TSourceTable* table = source.Source;
  auto usableBound = [&](const TExpToken* bound, const TFieldDefinition& field) {
    return bound != nullptr && !ReadsSource(bound, table) && outerReadable(*bound) && BoundTypeFits(*bound, field);
  };

  // Best candidate so far: 3 equality on a unique index, 2 equality, 1 BETWEEN.
  int best = 0;
  const int lastSlot = cursor.IndexCount();
  for (int slot = 0; slot <= lastSlot && slot <= MaxSecondaryIndexes; ++slot) {
    const TIndexDefinition& index = cursor.GetIndexDefinition(slot);
    if (!index.Defined() || index.FieldCount == 0) continue;
    const int leading = index.FieldNumbers[0];
    if (leading < 1 || leading > cursor.FieldCount()) continue;
    const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(leading - 1)];
    for (const TExpToken* c : conditions) {
      int score = 0;
      const TExpToken* low = nullptr;
      const TExpToken* high = nullptr;
      if ((c->NodeClass == nc::Binary || c->NodeClass == nc::PartialCompare) && c->OpCode == op::Equal &&
          c->NodeClass != nc::PartialCompare) {
        const TExpToken* column =
            IsColumnOf(c->Left, table) ? c->Left : (IsColumnOf(c->Right, table) ? c->Right : nullptr);
        const TExpToken* value = column == c->Left ? c->Right : c->Left;
        if (column != nullptr && column->FieldNo == leading && usableBound(value, field)) {
          score = index.Unique && index.FieldCount == 1 ? 3 : 2;
          low = value;
        }
      } else if (c->NodeClass == nc::Predicate && c->OpCode == op::Between && c->Args.size() >= 3 &&
                 !index.Descending && !index.FieldDescending[0] && !index.CaseInsensitive) {
        const TExpToken* column = c->Args[0];
        if (IsColumnOf(column, table) && column->FieldNo == leading && usableBound(c->Args[1], field) &&
            usableBound(c->Args[2], field)) {
          score = 1;
          low = c->Args[1];
          high = c->Args[2];
        }
      }
      if (score > best) {
        best = score;
        Slot = slot;
        FieldNo = leading;
        Low = low;
        High = high;
        Answered = (high == nullptr && ExactKeyType(field)) ? c : nullptr;
        Chosen = c;
      }
    }
  }
  if (UsesIndex()) {
    Outer = ReadsColumn(Low) || ReadsColumn(High);
    LowRecord.assign(static_cast<std::size_t>(cursor.RecordBufferSize()), 0);
    HighRecord.assign(static_cast<std::size_t>(cursor.RecordBufferSize()), 0);
  }
  // Position() sets the range or goes Home before every walk.
  cursor.ChooseIndexSlot(Slot);
}

TAccessPath::TBound TAccessPath::StoreBound(TSelectSource& source, const TExpToken& bound, const TEvalContext& context,
                                            std::vector<uint8_t>& record) {
  const TFieldDefinition& field = source.Cursor->Fields()[static_cast<std::size_t>(FieldNo - 1)];
  TExpTree value = Evaluate(bound, context);
  std::memset(record.data(), 0, record.size());
  if (value->IsNull) {
    if (ReadsColumn(&bound)) return TBound::NoRows;
    // `column = NULL` (IS NULL) holds for NULLs: the range of NULL keys.
    source.Cursor->PutField(FieldNo, record.data(), nullptr);
    return High == nullptr ? TBound::Key : TBound::NoKey;
  }
  Converted.SetType(static_cast<uint8_t>(field.DataType), field.SubType == st::AutoInc ? st::None : field.SubType,
                    field.ValueSize, field.Scale);
  if (!ConvertValue(*value, Converted)) return TBound::NoKey;
  if (static_cast<int32_t>(Converted.Value.size()) < field.ValueSize) Converted.SetValueSize(field.ValueSize);
  source.Cursor->PutField(FieldNo, record.data(), Converted.Value.data());
  return TBound::Key;
}

bool TAccessPath::Position(TSelectSource& source, const TEvalContext& context) {
  TDataCursor& cursor = *source.Cursor;
  Ranged = false;
  OnFirst = false;
  if (!UsesIndex()) {
    cursor.Home();
    return true;
  }
  TBound bound = StoreBound(source, *Low, context, LowRecord);
  if (bound == TBound::Key && High != nullptr) bound = StoreBound(source, *High, context, HighRecord);
  if (bound == TBound::NoRows) return false;
  const bool ranged = bound == TBound::Key;
  Ranged = ranged;
  if (ranged) {
    cursor.SetRange(LowRecord.data(), 1, High != nullptr ? HighRecord.data() : LowRecord.data(), 1);
    OnFirst = true;
    return true;
  }
  if (cursor.RangeActive()) {
    // A bound that gives no key (a NULL bound of BETWEEN, an unconvertible value): read the
    // whole index and let the row test decide.
    cursor.CancelRange();
  }
  cursor.Home();
  return true;
}

TEngineErrorCode TAccessPath::ReadNext(TSelectSource& source, uint8_t* buffer) {
  TDataCursor& cursor = *source.Cursor;
  if (OnFirst) {
    OnFirst = false;
    if (cursor.Bof() && cursor.Eof()) return QUARRY_EOF;  // the range is empty
    if (!cursor.Bof() && !cursor.Eof()) return cursor.GetCurrentRecord(buffer);
  }
  return cursor.Next(buffer);
}

}  // namespace quarry
