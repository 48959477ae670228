// TAccessPath: how one source table of a SELECT is read: through an index and a key range
// built from an equality or BETWEEN on the index's leading field, or by a plain scan.
//
// The conditions it looks at are comparisons of a plain column of the table with an
// expression that reads no column of this table (a constant, or columns of tables whose rows
// are already current when this table is read). The range is only ever a narrowing: every
// condition is still tested on each row unless the range answers it exactly (equality on a
// field whose key encoding is its value: integers, dates, times, booleans).
//
// Choose once per execution (after the tree is prepared), then Position per outer row:
// Position evaluates the bound expressions, builds the range keys through the cursor and
// leaves the cursor before the first record of the range.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sql/expression_evaluator.h"
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
  // comparison between tables never matches a NULL.
  bool Position(TSelectSource& source, const TEvalContext& context);
  // Reads the next row forward into buffer (0, else the cursor's end code). Setting a range
  // already finds its first row; reading it from there saves a second descent of the index.
  TEngineErrorCode ReadNext(TSelectSource& source, uint8_t* buffer);

  bool UsesIndex() const { return Slot != NaturalOrderSlot; }
  // Puts the cursor back on the chosen index after others read the table in another order.
  void Restore(TSelectSource& source) const { source.Cursor->SetIndexSlot(Slot); }
  // True when a bound reads columns of other tables (the range changes with the outer row).
  bool DependsOnOuter() const { return Outer; }
  // The condition the current range answers exactly (its row test can be skipped), or
  // null; valid after Position.
  const TExpToken* AnsweredCondition() const { return Ranged ? Answered : nullptr; }
  // The condition whose bounds the range is built from (null without an index).
  const TExpToken* RangeCondition() const { return Chosen; }
  int IndexSlot() const { return Slot; }

 private:
  int Slot = NaturalOrderSlot;
  int FieldNo = 0;
  const TExpToken* Low = nullptr;   // equality: the value; BETWEEN: the lower bound
  const TExpToken* High = nullptr;  // BETWEEN: the upper bound; null for equality
  bool Outer = false;
  bool Ranged = false;   // the last Position set a range from the bounds
  bool OnFirst = false;  // the cursor stands on the first row of the range, not yet read
  const TExpToken* Answered = nullptr;
  const TExpToken* Chosen = nullptr;
  std::vector<uint8_t> LowRecord;
  std::vector<uint8_t> HighRecord;
  TExpToken Converted;

  enum class TBound { Key, NoKey, NoRows };
  // Evaluates bound into the key record: Key, NoKey when the value gives no key (not
  // convertible, or a NULL bound of BETWEEN), NoRows for a NULL read from another table.
  TBound StoreBound(TSelectSource& source, const TExpToken& bound, const TEvalContext& context,
                    std::vector<uint8_t>& record);
};

}  // namespace quarry
