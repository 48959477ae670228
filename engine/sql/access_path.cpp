// Index ranges for the source tables of a SELECT; see access_path.h.
#include "engine/sql/access_path.h"

#include <cstdint>
#include <cstring>

#include "engine/sql/select_query.h"
#include "engine/sql/sub_select_members.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/table.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

// A range probe per value costs about as much as reading this many records in a row.
constexpr int64_t kRecordsPerValueProbe = 8;

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
// range holds (the row test still runs for everything the range does not answer exactly).
bool BoundTypeFits(const TExpToken& value, const TFieldDefinition& field) {
  const uint8_t f = static_cast<uint8_t>(field.DataType);
  if (field.IsBlob()) return false;
  if (value.DataType == f) return true;
  if (IsIntegerType(value.DataType) && IsIntegerType(f)) return true;
  return false;
}

// Fields whose keys order as the comparison orders their values, so that an interval of
// keys holds every row inside the bounds (other types convert their bounds inexactly).
bool IntervalKeyType(const TFieldDefinition& field) {
  return IntegerFamily(static_cast<uint8_t>(field.DataType)) || field.DataType == TFieldType::String ||
         field.DataType == TFieldType::Float || field.DataType == TFieldType::TimeStamp;
}

// The comparison seen from the column's side: `5 < A` is `A > 5`.
uint8_t TurnedRound(uint8_t opCode) {
  switch (opCode) {
  case op::Greater: return op::Less;
  case op::Less: return op::Greater;
  case op::GreaterEqual: return op::LessEqual;
  case op::LessEqual: return op::GreaterEqual;
  default: return opCode;
  }
}

// The distinct values of an uncorrelated IN sub-select, when probing each through the
// index costs less than reading the table's records: null otherwise. The sub-select has
// run already (nested queries run before the query that uses them).
const std::vector<int64_t>* FewSubSelectValues(const TExpToken& in, TDataCursor& cursor) {
  const TExpToken* sub = in.Arg(1);
  if (sub == nullptr || sub->NodeClass != nc::SubSelect || sub->SubQuery == nullptr) return nullptr;
  auto* query = dynamic_cast<TSelectQuery*>(sub->SubQuery->Execution.get());
  if (query == nullptr || !IntegerFamily(sub->DataType)) return nullptr;
  const int64_t records = cursor.Table().Index().RecordCount();
  const int64_t estimate = query->MemberEstimate();
  if (estimate < 0 || estimate * kRecordsPerValueProbe >= records) return nullptr;
  const TSubSelectMembers& members = query->Members();
  if (!members.Loaded() || !members.IntegerValues() ||
      static_cast<int64_t>(members.Integers().size()) * kRecordsPerValueProbe >= records)
    return nullptr;
  return &members.Integers();
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

  // Best candidate so far: 5 equality on a unique index, 4 equality, 3 the values of an IN
  // sub-select, 2 an interval.
  int best = 0;
  const auto offer = [&](int score, TRangeKind kind, int slot, int field, TBound low, TBound high) {
    if (score <= best) return;
    best = score;
    Kind = kind;
    Slot = slot;
    FieldNo = field;
    Low = low;
    High = high;
  };
  const std::vector<int64_t>* values = nullptr;
  const TExpToken* valuesCondition = nullptr;
  const int lastSlot = cursor.IndexCount();
  for (int slot = 0; slot <= lastSlot && slot <= MaxSecondaryIndexes; ++slot) {
    const TIndexDefinition& index = cursor.GetIndexDefinition(slot);
    if (!index.Defined() || index.FieldCount == 0) continue;
    const int leading = index.FieldNumbers[0];
    if (leading < 1 || leading > cursor.FieldCount()) continue;
    const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(leading - 1)];
    // Intervals and IN's ascending values need keys in ascending value order.
    const bool ascending = !index.Descending && !index.FieldDescending[0] &&
                           !(index.CaseInsensitive && field.DataType == TFieldType::String);
    const bool intervals = ascending && IntervalKeyType(field);
    TBound lower, upper;
    const TExpToken* between = nullptr;
    for (const TExpToken* c : conditions) {
      if (c->NodeClass == nc::Binary && IsComparison(*c)) {
        const TExpToken* column =
            IsColumnOf(c->Left, table) ? c->Left : (IsColumnOf(c->Right, table) ? c->Right : nullptr);
        const TExpToken* value = column == c->Left ? c->Right : c->Left;
        if (column == nullptr || column->FieldNo != leading || !usableBound(value, field)) continue;
        const uint8_t opCode = column == c->Left ? c->OpCode : TurnedRound(c->OpCode);
        if (opCode == op::Equal) {
          offer(index.Unique && index.FieldCount == 1 ? 5 : 4, TRangeKind::Equal, slot, leading, {value, c, false}, {});
        } else if (intervals && (opCode == op::Greater || opCode == op::GreaterEqual)) {
          if (lower.Value == nullptr) lower = {value, c, opCode == op::Greater};
        } else if (intervals && (opCode == op::Less || opCode == op::LessEqual)) {
          if (upper.Value == nullptr) upper = {value, c, opCode == op::Less};
        }
      } else if (c->NodeClass == nc::Predicate && c->OpCode == op::Between && c->Args.size() >= 3 && intervals) {
        const TExpToken* column = c->Args[0];
        if (between == nullptr && IsColumnOf(column, table) && column->FieldNo == leading &&
            usableBound(c->Args[1], field) && usableBound(c->Args[2], field))
          between = c;
      } else if (c->NodeClass == nc::Predicate && c->OpCode == op::InSelect && c->Args.size() >= 2 && ascending &&
                 best < 3 && IsColumnOf(c->Args[0], table) && c->Args[0]->FieldNo == leading &&
                 IntegerFamily(static_cast<uint8_t>(field.DataType))) {
        if (const std::vector<int64_t>* few = FewSubSelectValues(*c, cursor)) {
          values = few;
          valuesCondition = c;
          offer(3, TRangeKind::Values, slot, leading, {nullptr, c, false}, {});
        }
      }
    }
    if (lower.Value != nullptr && upper.Value != nullptr) {
      offer(2, TRangeKind::Interval, slot, leading, lower, upper);
    } else if (between != nullptr) {
      offer(2, TRangeKind::Interval, slot, leading, {between->Args[1], between, false},
            {between->Args[2], between, false});
    }
  }
  if (Kind == TRangeKind::Values) {
    Values = values;
    Chosen = {valuesCondition};
  } else if (Kind != TRangeKind::None) {
    Chosen = {Low.Condition};
    if (Kind == TRangeKind::Interval && High.Condition != Low.Condition) Chosen.push_back(High.Condition);
    Outer = ReadsColumn(Low.Value) || ReadsColumn(High.Value);
  }
  if (UsesIndex()) {
    LowRecord.assign(static_cast<std::size_t>(cursor.RecordBufferSize()), 0);
    HighRecord.assign(static_cast<std::size_t>(cursor.RecordBufferSize()), 0);
  }
  // Position() sets the range or goes Home before every walk.
  cursor.ChooseIndexSlot(Slot);
}

TAccessPath::TBoundKey TAccessPath::StoreBound(TSelectSource& source, const TBound& bound, bool isLow,
                                               const TEvalContext& context, std::vector<uint8_t>& record) {
  TDataCursor& cursor = *source.Cursor;
  const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(FieldNo - 1)];
  const bool isString = field.DataType == TFieldType::String;
  const bool integers = IntegerFamily(static_cast<uint8_t>(field.DataType));
  const bool equality = Kind == TRangeKind::Equal;
  TBoundKey key;
  TExpTree value = Evaluate(*bound.Value, context);
  std::memset(record.data(), 0, record.size());
  if (value->IsNull) {
    // A comparison between tables never matches a NULL; neither does an integer ordering.
    // A string ordering compares NULL as the empty text: those rows need the whole index.
    if (ReadsColumn(bound.Value) && (IsComparison(*bound.Condition) || !isString)) key.State = TKeyState::NoRows;
    if (key.State == TKeyState::NoRows || !equality) return key;
    // `column = NULL` (IS NULL) holds for NULLs: the range of NULL keys.
    cursor.PutField(FieldNo, record.data(), nullptr);
    key.State = TKeyState::Key;
    key.Exact = integers;
    return key;
  }
  // Strings order by the collation of the query, keys by the table's.
  if (isString && (context.Collation.Language != cursor.LanguageId() || context.Collation.Sort != cursor.SortId()))
    return key;
  Converted.SetType(static_cast<uint8_t>(field.DataType), field.SubType == st::AutoInc ? st::None : field.SubType,
                    field.ValueSize, field.Scale);
  if (!ConvertValue(*value, Converted)) return key;
  if (integers && IntegerFamily(value->DataType)) {
    const int64_t wanted = ValueAsInt64(*value);
    key.Exact = ValueAsInt64(Converted) == wanted;
    // A bound the field cannot hold would wrap round.
    if (!key.Exact && !equality) return key;
    if (key.Exact && bound.Excluded) {
      // The next value in: `A > 5` is `A >= 6`; none lies past the ends of the type.
      if (wanted == (isLow ? INT64_MAX : INT64_MIN)) return {TKeyState::NoRows};
      const int64_t next = isLow ? wanted + 1 : wanted - 1;
      StoreInt64(Converted, next);
      if (ValueAsInt64(Converted) != next) return {TKeyState::NoRows};
      key.LeftOut = true;
    }
  }
  if (static_cast<int32_t>(Converted.Value.size()) < field.ValueSize) Converted.SetValueSize(field.ValueSize);
  cursor.PutField(FieldNo, record.data(), Converted.Value.data());
  if (isString) {
    // The text as the field stores it (cut to its size, put in its character case): a
    // bound stored otherwise does not keep the condition's rows inside an interval.
    const std::string text = ValueAsText(*value);
    const bool storedNull = IsFieldNull(record.data(), field);
    const bool unchanged = storedNull ? text.empty() : GetFieldString(record.data(), field) == text;
    if (!unchanged && !equality) return key;
    const TIndexDefinition& index = cursor.GetIndexDefinition(Slot);
    key.Exact = unchanged && cursor.LanguageId() == 0 && !index.CaseInsensitive;
    if (text.empty() && !equality) {
      // NULL orders as the empty text: `A >= ''` holds for NULLs, `A < ''` for nothing.
      if (!isLow && bound.Excluded) return {TKeyState::NoRows};
      if (isLow && !bound.Excluded) cursor.PutField(FieldNo, record.data(), nullptr);
    }
  }
  key.State = TKeyState::Key;
  return key;
}

bool TAccessPath::Position(TSelectSource& source, const TEvalContext& context) {
  TDataCursor& cursor = *source.Cursor;
  Ranged = false;
  OnFirst = false;
  Exact = {};
  if (!UsesIndex()) {
    cursor.Home();
    return true;
  }
  if (Kind == TRangeKind::Values) {
    NextValue = 0;
    return NextValueRange(source);
  }
  const TBoundKey low = StoreBound(source, Low, true, context, LowRecord);
  TBoundKey high;
  if (low.State == TKeyState::Key && Kind == TRangeKind::Interval)
    high = StoreBound(source, High, false, context, HighRecord);
  const TKeyState state = Kind == TRangeKind::Interval && low.State == TKeyState::Key ? high.State : low.State;
  if (state == TKeyState::NoRows) return false;
  if (state == TKeyState::NoKey) {
    // A bound that gives no key: read the whole index and let the row test decide.
    if (cursor.RangeActive()) cursor.CancelRange();
    cursor.Home();
    return true;
  }
  Ranged = true;
  OnFirst = true;
  if (Kind == TRangeKind::Equal) {
    cursor.SetRange(LowRecord.data(), 1, LowRecord.data(), 1);
    if (low.Exact) Exact.First = Low.Condition;
    return true;
  }
  // An excluded bound not yet stepped past leaves its value out by the padding of the
  // key, where the key has bytes after the field; else the row test leaves it out.
  const bool canExclude = cursor.RangeCanExclude(1);
  const bool lowOut = Low.Excluded && !low.LeftOut && canExclude;
  const bool highOut = High.Excluded && !high.LeftOut && canExclude;
  cursor.SetRange(LowRecord.data(), 1, lowOut, HighRecord.data(), 1, highOut);
  const bool lowExact = low.Exact && (!Low.Excluded || low.LeftOut || lowOut);
  const bool highExact = high.Exact && (!High.Excluded || high.LeftOut || highOut);
  if (Low.Condition == High.Condition) {
    if (lowExact && highExact) Exact.First = Low.Condition;  // BETWEEN
  } else {
    if (lowExact) Exact.First = Low.Condition;
    if (highExact) Exact.Second = High.Condition;
  }
  return true;
}

bool TAccessPath::NextValueRange(TSelectSource& source) {
  TDataCursor& cursor = *source.Cursor;
  const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(FieldNo - 1)];
  while (NextValue < Values->size()) {
    const int64_t value = (*Values)[NextValue++];
    Converted.SetType(static_cast<uint8_t>(field.DataType), st::None, field.ValueSize, field.Scale);
    StoreInt64(Converted, value);
    if (ValueAsInt64(Converted) != value) continue;  // a value the column cannot hold
    if (static_cast<int32_t>(Converted.Value.size()) < field.ValueSize) Converted.SetValueSize(field.ValueSize);
    std::memset(LowRecord.data(), 0, LowRecord.size());
    cursor.PutField(FieldNo, LowRecord.data(), Converted.Value.data());
    cursor.SetRange(LowRecord.data(), 1, LowRecord.data(), 1);
    if (cursor.Bof() && cursor.Eof()) continue;  // no row holds it
    Ranged = true;
    OnFirst = true;
    return true;
  }
  return false;
}

TEngineErrorCode TAccessPath::ReadNext(TSelectSource& source, uint8_t* buffer) {
  TDataCursor& cursor = *source.Cursor;
  for (;;) {
    TEngineErrorCode code = QUARRY_EOF;
    if (OnFirst) {
      OnFirst = false;
      if (!cursor.Bof() && !cursor.Eof()) return cursor.GetCurrentRecord(buffer);
      if (!(cursor.Bof() && cursor.Eof())) code = cursor.Next(buffer);  // else the range is empty
    } else {
      code = cursor.Next(buffer);
    }
    if (code != QUARRY_EOF || Kind != TRangeKind::Values || !NextValueRange(source)) return code;
  }
}

}  // namespace quarry
