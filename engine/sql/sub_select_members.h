// TSubSelectMembers: the values of an IN (SELECT ...) sub-select's column, read once per
// execution from its result, answering "x IN (...)" for each tested x without reading the
// result again.
//
// Membership follows SQL: a value equal to a member is in the set; a NULL value, or a value
// equal to no member of a set that holds a NULL, is unknown; an empty set holds nothing, not
// even NULL. Equality is the comparison of the query (its collation for texts, the usual
// conversions between number types).
//
// Members whose comparison with x is a 64-bit integer comparison (integers, dates, times,
// booleans against one another) are kept sorted and found by binary search; texts compared
// with texts under the query's collation are kept sorted by that collation; other mixes
// compare x with each member in turn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sql/expression_owner.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/values/expression_collation.h"

namespace quarry {

// Types that compare with one another as 64-bit integers (strings, floating point, BCD,
// bytes and timestamps compare otherwise) and whose index keys are their values.
bool IntegerFamily(uint8_t type);

class TSubSelectMembers {
 public:
  // Reads the first field of every record the cursor shows; the cursor is left at its start.
  void Load(TDataCursor& cursor, const TExpressionCollation& collation);
  // The same from rows handed over one by one: Begin with the field that holds the member
  // in each row, Add each row, End.
  void Begin(const TFieldDefinition& field, const TExpressionCollation& collation);
  void Add(const uint8_t* row);
  void End();
  void Clear();
  bool Loaded() const { return Loaded_; }
  // The distinct non-NULL members, ascending, when they are of the integer family (the
  // values an index over an integer column is probed with).
  bool IntegerValues() const { return IntegerFamily(static_cast<uint8_t>(Field.DataType)); }
  const std::vector<int64_t>& Integers() const { return Integers_; }
  // The number of members read (duplicates of integers counted once).
  int64_t Size() const;

  TSubSelectMatch Find(const TExpToken& value);

 private:
  bool Loaded_ = false;
  TExpressionCollation Collation;
  TFieldDefinition Field;
  bool HasNull = false;
  std::size_t Count = 0;           // non-NULL members
  std::vector<uint8_t> Raw;        // the members' stored values, Field.ValueSize each
  std::vector<int64_t> Integers_;  // sorted, when the members are of the integer family
  std::vector<std::string> Texts;  // sorted by the collation, built on first use
  bool TextsSorted = false;
  TExpToken Member;  // scratch node holding one member

  const TExpToken& MemberAt(std::size_t i);
  void SortTexts();
};

}  // namespace quarry
