// TAccessPath: how one source table of a SELECT is read: through an index and key ranges
// built from the conditions on the index's leading field, or by a plain scan. The ranges:
//   - an equality with a value;
//   - an interval: BETWEEN, or a lower bound (>, >=) together with an upper bound (<, <=);
//   - IN (SELECT ...) over an uncorrelated sub-select whose values are integers: one range
//     per distinct value of the sub-select, in ascending order, when the sub-select yields
//     few enough values that probing each costs less than reading the table.
//
// The conditions it looks at are comparisons of a plain column of the table with an
// expression that reads no column of this table (a constant, or columns of tables whose rows
// are already current when this table is read). The range is only ever a narrowing: every
// condition is still tested on each row unless the range answers it exactly, which it does
// when the key order is the comparison's own: integers, dates, times and booleans compared
// with values the field holds unchanged, and strings of byte-ordered (language 0) tables
// under a case-sensitive index and the same collation, compared with a text the field
// stores unchanged (no truncation, no character-case rule). An IN range is never taken as
// the answer: its membership test stays, cheap once the values are read.
//
// Choose once per execution (after the tree is prepared), then Position per outer row:
// Position evaluates the bound expressions, builds the range keys through the cursor and
// leaves the cursor before the first record of the range.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/sql/expression_evaluator.h"
#include "engine/sql/select_conditions.h"
#include "engine/sql/select_sources.h"

namespace quarry {

class TAccessPath {
 public:
  // conditions: prepared condition trees of this table; outerReadable tells whether an
  // expression's columns are all readable when the table is positioned (the caller's
  // knowledge of the loop order). Sets the cursor's order.
  void Choose(TSelectSource& source, const std::vector<const TExpToken*>& conditions,
              const std::function<bool(const TExpToken&)>& outerReadable);

  // Positions the cursor before the first row to read (range set when an index is used).
  // False when no row can match: a bound read from another table's row is NULL, and a
  // comparison between tables never matches a NULL; or no value of an IN has rows.
  bool Position(TSelectSource& source, const TEvalContext& context);
  // Reads the next row forward into buffer (0, else the cursor's end code). Setting a range
  // already finds its first row; reading it from there saves a second descent of the index.
  // An IN path moves on to the next value's range when one runs out.
  TEngineErrorCode ReadNext(TSelectSource& source, uint8_t* buffer);

  bool UsesIndex() const { return Slot != NaturalOrderSlot; }
  // Puts the cursor back on the chosen index after others read the table in another order.
  void Restore(TSelectSource& source) const { source.Cursor->SetIndexSlot(Slot); }
  // True when a bound reads columns of other tables (the range changes with the outer row).
  bool DependsOnOuter() const { return Outer; }
  // One range per value of an IN sub-select: only ReadNext walks them all (reading
  // backward, or counting the cursor's records, sees one value's range).
  bool ReadsValueRanges() const { return Kind == TRangeKind::Values; }
  // The number of values an IN path probes.
  int64_t ValueCount() const { return Values ? static_cast<int64_t>(Values->size()) : 0; }
  // The conditions the current range answers exactly (their row tests can be skipped);
  // valid after Position.
  TAnsweredConditions Answered() const { return Ranged ? Exact : TAnsweredConditions{}; }
  // The conditions whose bounds the range is built from (empty without an index).
  const std::vector<const TExpToken*>& RangeConditions() const { return Chosen; }
  int IndexSlot() const { return Slot; }

 private:
  enum class TRangeKind { None, Equal, Interval, Values };
  struct TBound {
    const TExpToken* Value = nullptr;
    const TExpToken* Condition = nullptr;  // the part the bound comes from
    bool Excluded = false;                 // > or <: the value itself lies outside
  };
  // What Position made of a bound.
  enum class TKeyState { Key, NoKey, NoRows };
  struct TBoundKey {
    TKeyState State = TKeyState::NoKey;
    bool Exact = false;    // the key holds the value as the condition compares it
    bool LeftOut = false;  // an excluded bound already stepped past its value (`A > 5`: 6)
  };

  TRangeKind Kind = TRangeKind::None;
  int Slot = NaturalOrderSlot;
  int FieldNo = 0;
  TBound Low;   // equality: the value; interval: the lower bound
  TBound High;  // interval: the upper bound
  bool Outer = false;
  bool Ranged = false;   // the last Position set a range from the bounds
  bool OnFirst = false;  // the cursor stands on the first row of the range, not yet read
  TAnsweredConditions Exact;
  std::vector<const TExpToken*> Chosen;
  const std::vector<int64_t>* Values = nullptr;  // an IN path's values, ascending
  std::size_t NextValue = 0;
  std::vector<uint8_t> LowRecord;
  std::vector<uint8_t> HighRecord;
  TExpToken Converted;

  // Evaluates bound into the key record: NoKey when the value gives no key that keeps
  // every row the condition passes inside the range (not convertible, a NULL bound of an
  // interval, a text the field would store otherwise), NoRows when no row passes it.
  TBoundKey StoreBound(TSelectSource& source, const TBound& bound, bool isLow, const TEvalContext& context,
                       std::vector<uint8_t>& record);
  // Sets the range of the next IN value that holds rows; false when none is left.
  bool NextValueRange(TSelectSource& source);
};

}  // namespace quarry
