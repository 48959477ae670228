// Comparison of two values by the comparison operators' rules (see value_compare.h).
#include "engine/values/value_compare.h"

#include <string>

#include "engine/values/date_time_text.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

double AsTimestamp(const TExpToken& n) {
  if (n.DataType == vt::Date) return MakeTimestamp(n.Get<int32_t>(), 0);
  return ValueAsDouble(n);
}

int CompareValues(const TExpToken& L, const TExpToken& R, const TExpressionCollation& collation) {
  if (IsStringLike(L) || IsStringLike(R)) {
    const std::string a = L.IsNull ? std::string() : ValueAsText(L);
    const std::string b = R.IsNull ? std::string() : ValueAsText(R);
    return collation.Compare(a, b, false);
  }
  const uint8_t lt = L.DataType, rt = R.DataType;
  if ((lt == vt::Timestamp || rt == vt::Timestamp) && (IsDateLikeType(lt) || IsDateLikeType(rt)))
    return Sign(AsTimestamp(L), AsTimestamp(R));
  if (lt == vt::Float || rt == vt::Float) return Sign(ValueAsDouble(L), ValueAsDouble(R));
  if (lt == vt::Bcd || rt == vt::Bcd) return Sign(ValueAsFixed(L), ValueAsFixed(R));
  if (IsBytesType(lt) || IsBytesType(rt) || lt == vt::Blob || rt == vt::Blob) {
    const std::string a = ValueBytes(L), b = ValueBytes(R);
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return Sign(ValueAsInt64(L), ValueAsInt64(R));
}

}  // namespace

bool CompareByOperator(uint8_t code, const TExpToken& L, const TExpToken& R, const TExpressionCollation& collation) {
  const bool strings = IsStringLike(L) || IsStringLike(R);
  if (code == op::Equal || code == op::NotEqual) {
    const bool equal = code == op::Equal;
    if (L.IsNull && R.IsNull) return equal;
    if (L.IsNull || R.IsNull) return !equal;
    return (CompareValues(L, R, collation) == 0) == equal;
  }
  // Ordering: a NULL string compares as the empty string; otherwise one NULL is false and
  // two NULLs compare their (zero) stored values.
  if (!strings && L.IsNull != R.IsNull) return false;
  const int c = CompareValues(L, R, collation);
  switch (code) {
  case op::Greater: return c > 0;
  case op::Less: return c < 0;
  case op::GreaterEqual: return c >= 0;
  case op::LessEqual: return c <= 0;
  default: return false;
  }
}

}  // namespace quarry
