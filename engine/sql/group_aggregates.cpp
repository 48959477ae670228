// Aggregate folding over result records; see group_aggregates.h.
#include "engine/sql/group_aggregates.h"

#include <cmath>
#include <limits>

#include "engine/sql/result_columns.h"
#include "engine/storage/data/record_buffer.h"

namespace quarry {

namespace {

// How a stored value is combined: as a 64-bit integer (integer types, date, time), as a
// double (float, timestamp, extended) or as a fixed-point integer (BCD).
enum class TNumberKind { Integer, Real, Fixed };

TNumberKind KindOf(const TFieldDefinition& f) {
  switch (f.DataType) {
  case TFieldType::Float:
  case TFieldType::TimeStamp:
  case TFieldType::Extended: return TNumberKind::Real;
  case TFieldType::Bcd: return TNumberKind::Fixed;
  default: return TNumberKind::Integer;
  }
}

int64_t ReadInteger(const uint8_t* record, const TFieldDefinition& f) {
  switch (f.DataType) {
  case TFieldType::SmallInt: return GetFieldSmallInt(record, f);
  case TFieldType::Word: return GetFieldWord(record, f);
  case TFieldType::Boolean: return GetFieldBoolean(record, f) ? 1 : 0;
  case TFieldType::Cardinal: return GetFieldCardinal(record, f);
  case TFieldType::LargeInt: return GetFieldLargeInt(record, f);
  case TFieldType::Bcd: return GetFieldBcd(record, f);
  default: return GetFieldInteger(record, f);
  }
}

template <typename T>
T Clamp(int64_t v) {
  if (v < std::numeric_limits<T>::min()) return std::numeric_limits<T>::min();
  if (v > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
  return static_cast<T>(v);
}

void WriteInteger(uint8_t* record, const TFieldDefinition& f, int64_t v) {
  switch (f.DataType) {
  case TFieldType::SmallInt: SetFieldSmallInt(record, f, Clamp<int16_t>(v)); break;
  case TFieldType::Word: SetFieldWord(record, f, Clamp<uint16_t>(v)); break;
  case TFieldType::Boolean: SetFieldBoolean(record, f, v != 0); break;
  case TFieldType::Cardinal: SetFieldCardinal(record, f, Clamp<uint32_t>(v)); break;
  case TFieldType::LargeInt: SetFieldLargeInt(record, f, v); break;
  case TFieldType::Bcd: SetFieldBcd(record, f, v); break;
  default: SetFieldInteger(record, f, Clamp<int32_t>(v)); break;
  }
}

int64_t SaturatingAdd(int64_t a, int64_t b) {
  int64_t r = 0;
  if (__builtin_add_overflow(a, b, &r))
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  return r;
}

// Adds the value of field in record into the same field of target (which is not NULL).
void AddInto(uint8_t* target, const uint8_t* record, const TFieldDefinition& f) {
  if (KindOf(f) == TNumberKind::Real) SetFieldFloat(target, f, GetFieldFloat(target, f) + GetFieldFloat(record, f));
  else WriteInteger(target, f, SaturatingAdd(ReadInteger(target, f), ReadInteger(record, f)));
}

// -1, 0, 1 comparing the field's value in a and in b (neither NULL).
int CompareValues(const uint8_t* a, const uint8_t* b, const TFieldDefinition& f) {
  if (KindOf(f) == TNumberKind::Real) {
    const double x = GetFieldFloat(a, f), y = GetFieldFloat(b, f);
    return x < y ? -1 : (y < x ? 1 : 0);
  }
  const int64_t x = ReadInteger(a, f), y = ReadInteger(b, f);
  return x < y ? -1 : (y < x ? 1 : 0);
}

void CopyField(uint8_t* target, const uint8_t* source, const TFieldDefinition& f) {
  SetFieldData(target, f, FieldData(source, f));
}

}  // namespace

TGroupAggregator::TGroupAggregator(std::vector<TAggregateColumn> columns)
    : Columns(std::move(columns)), RunningTotals(Columns.size()) {}

void TGroupAggregator::Reset() {
  for (TRunning& r : RunningTotals) r = TRunning{};
}

void TGroupAggregator::Accumulate(uint8_t* groupRow, const uint8_t* record, bool start) {
  for (std::size_t i = 0; i < Columns.size(); ++i) {
    const TAggregateColumn& c = Columns[i];
    const TFieldDefinition& f = c.Field;
    if (start) {
      if (c.Kind == agg::RunSum) {
        TRunning& run = RunningTotals[i];
        if (run.Valid && !run.Null) {
          // The running total carries on from the previous group.
          const bool incoming = !IsFieldNull(groupRow, f);
          if (KindOf(f) == TNumberKind::Real)
            SetFieldFloat(groupRow, f, run.Real + (incoming ? GetFieldFloat(groupRow, f) : 0.0));
          else WriteInteger(groupRow, f, SaturatingAdd(run.Integer, incoming ? ReadInteger(groupRow, f) : 0));
        }
      }
    } else if (!IsFieldNull(record, f)) {
      switch (c.Kind) {
      case agg::Min:
      case agg::Max: {
        if (IsFieldNull(groupRow, f)) {
          CopyField(groupRow, record, f);
          break;
        }
        const int order = CompareValues(record, groupRow, f);
        if ((c.Kind == agg::Min && order < 0) || (c.Kind == agg::Max && order > 0)) CopyField(groupRow, record, f);
        break;
      }
      default:
        if (IsFieldNull(groupRow, f)) CopyField(groupRow, record, f);
        else AddInto(groupRow, record, f);
        break;
      }
      if (c.HasCounter) {
        if (IsFieldNull(groupRow, c.Counter)) CopyField(groupRow, record, c.Counter);
        else AddInto(groupRow, record, c.Counter);
      }
    }
    if (c.Kind == agg::RunSum) {
      TRunning& run = RunningTotals[i];
      run.Valid = true;
      run.Null = IsFieldNull(groupRow, f);
      if (!run.Null) {
        if (KindOf(f) == TNumberKind::Real) run.Real = GetFieldFloat(groupRow, f);
        else run.Integer = ReadInteger(groupRow, f);
      }
    }
  }
}

void TGroupAggregator::Finalise(uint8_t* groupRow) const {
  for (const TAggregateColumn& c : Columns) {
    const TFieldDefinition& f = c.Field;
    if (c.Kind == agg::Count && IsFieldNull(groupRow, f)) {
      WriteInteger(groupRow, f, 0);
      continue;
    }
    if (c.Kind != agg::Avg || !c.HasCounter) continue;
    const int64_t counter = IsFieldNull(groupRow, c.Counter) ? 0 : ReadInteger(groupRow, c.Counter);
    if (counter == 0) {
      if (KindOf(f) == TNumberKind::Real) SetFieldFloat(groupRow, f, 0.0);
      else WriteInteger(groupRow, f, 0);
      continue;
    }
    switch (KindOf(f)) {
    case TNumberKind::Real: {
      double mean = GetFieldFloat(groupRow, f) / static_cast<double>(counter);
      // A timestamp mean keeps whole milliseconds.
      if (f.DataType == TFieldType::TimeStamp) mean = std::trunc(mean);
      SetFieldFloat(groupRow, f, mean);
      break;
    }
    case TNumberKind::Fixed:
    case TNumberKind::Integer:
      // Dates and times truncate to whole days / milliseconds; BCD divides its fixed point.
      WriteInteger(groupRow, f, ReadInteger(groupRow, f) / counter);
      break;
    }
  }
}

void TGroupAggregator::MakeEmptyGroup(uint8_t* groupRow) const {
  for (const TAggregateColumn& c : Columns) {
    SetFieldNull(groupRow, c.Field);
    if (c.HasCounter) SetFieldNull(groupRow, c.Counter);
  }
  Finalise(groupRow);
}

void TGroupCollector::Begin(std::vector<TFieldDefinition> keyFields, int recordSize, TGroupAggregator& aggregator) {
  KeyFields = std::move(keyFields);
  RecordSize = static_cast<std::size_t>(recordSize);
  Aggregator = &aggregator;
  Clear();
}

void TGroupCollector::Clear() {
  Rows.clear();
  Index.clear();
}

void TGroupCollector::Add(const uint8_t* row) {
  Key.clear();
  for (const TFieldDefinition& f : KeyFields) {
    if (IsFieldNull(row, f)) {
      Key.push_back('\0');
      continue;
    }
    Key.push_back('\1');
    const uint8_t* data = FieldData(row, f);
    Key.append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(f.ValueSize));
  }
  auto [it, added] = Index.try_emplace(Key, Count());
  if (added) {
    Rows.insert(Rows.end(), row, row + RecordSize);
    Aggregator->Accumulate(Rows.data() + it->second * RecordSize, row, true);
    return;
  }
  Aggregator->Accumulate(Rows.data() + it->second * RecordSize, row, false);
}

}  // namespace quarry
