// The members of an IN (SELECT ...) sub-select; see sub_select_members.h.
#include "engine/sql/sub_select_members.h"

#include <algorithm>

#include "engine/sql/expression_evaluator.h"
#include "engine/sql/select_sources.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/values/value_ops.h"

namespace quarry {

bool IntegerFamily(uint8_t type) {
  switch (type) {
  case vt::SmallInt:
  case vt::Integer:
  case vt::Word:
  case vt::LargeInt:
  case vt::Date:
  case vt::Time:
  case vt::Boolean: return true;
  default: return false;
  }
}

void TSubSelectMembers::Clear() {
  Loaded_ = false;
  HasNull = false;
  Count = 0;
  Raw.clear();
  Integers_.clear();
  Texts.clear();
  TextsSorted = false;
}

void TSubSelectMembers::Load(TDataCursor& cursor, const TExpressionCollation& collation) {
  Begin(cursor.Fields().front(), collation);
  std::vector<uint8_t> record(static_cast<std::size_t>(cursor.RecordBufferSize()), 0);
  cursor.Home();
  while (cursor.Next(record.data()) == 0) Add(record.data());
  cursor.Home();
  End();
}

void TSubSelectMembers::Begin(const TFieldDefinition& field, const TExpressionCollation& collation) {
  Clear();
  Collation = collation;
  Field = field;
  SetColumnType(Member, Field);
  Member.NodeClass = nc::Constant;
  Member.ZeroValue();
}

void TSubSelectMembers::Add(const uint8_t* row) {
  if (IsFieldNull(row, Field)) {
    HasNull = true;
    return;
  }
  const uint8_t* data = FieldData(row, Field);
  const std::size_t size = static_cast<std::size_t>(Field.ValueSize);
  ++Count;
  if (IntegerFamily(static_cast<uint8_t>(Field.DataType))) {
    std::copy(data, data + size, Member.Value.begin());
    Integers_.push_back(ValueAsInt64(Member));
  } else {
    Raw.insert(Raw.end(), data, data + size);
  }
}

void TSubSelectMembers::End() {
  Loaded_ = true;
  std::sort(Integers_.begin(), Integers_.end());
  Integers_.erase(std::unique(Integers_.begin(), Integers_.end()), Integers_.end());
}

int64_t TSubSelectMembers::Size() const {
  return static_cast<int64_t>(IntegerValues() ? Integers_.size() : Count) + (HasNull ? 1 : 0);
}

const TExpToken& TSubSelectMembers::MemberAt(std::size_t i) {
  const std::size_t size = static_cast<std::size_t>(Field.ValueSize);
  std::copy(Raw.begin() + static_cast<std::ptrdiff_t>(i * size),
            Raw.begin() + static_cast<std::ptrdiff_t>((i + 1) * size), Member.Value.begin());
  Member.IsNull = false;
  return Member;
}

void TSubSelectMembers::SortTexts() {
  TextsSorted = true;
  Texts.reserve(Count);
  for (std::size_t i = 0; i < Count; ++i) Texts.push_back(ValueAsText(MemberAt(i)));
  std::sort(Texts.begin(), Texts.end(),
            [this](const std::string& a, const std::string& b) { return Collation.Compare(a, b) < 0; });
}

TSubSelectMatch TSubSelectMembers::Find(const TExpToken& value) {
  if (Count == 0 && !HasNull) return TSubSelectMatch::No;
  if (value.IsNull) return TSubSelectMatch::Unknown;
  const TSubSelectMatch missing = HasNull ? TSubSelectMatch::Unknown : TSubSelectMatch::No;
  if (Count == 0) return missing;
  bool found = false;
  const uint8_t memberType = static_cast<uint8_t>(Field.DataType);
  if (IntegerFamily(memberType) && IntegerFamily(value.DataType)) {
    found = std::binary_search(Integers_.begin(), Integers_.end(), ValueAsInt64(value));
  } else if (IsStringLike(value) && IsStringLike(Member)) {
    if (!TextsSorted) SortTexts();
    const std::string text = ValueAsText(value);
    auto it = std::lower_bound(Texts.begin(), Texts.end(), text, [this](const std::string& a, const std::string& b) {
      return Collation.Compare(a, b) < 0;
    });
    found = it != Texts.end() && Collation.Compare(*it, text) == 0;
  } else if (IntegerFamily(memberType)) {
    // Integers against another type: each member in turn, as the comparison converts it.
    for (std::size_t i = 0; i < Integers_.size() && !found; ++i) {
      StoreInt64(Member, Integers_[i]);
      found = CompareByOperator(op::Equal, value, Member, Collation);
    }
  } else {
    for (std::size_t i = 0; i < Count && !found; ++i)
      found = CompareByOperator(op::Equal, value, MemberAt(i), Collation);
  }
  return found ? TSubSelectMatch::Yes : missing;
}

}  // namespace quarry
