// Evaluation of constants, columns, operators and predicates.
#include "engine/sql/expression_evaluator.h"

#include <cmath>
#include <cstring>

#include "engine/sql/expression_error.h"
#include "engine/sql/function_evaluator.h"
#include "engine/values/date_time_text.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

// Two's-complement wrap-around arithmetic without signed-overflow undefined behaviour.
int64_t WrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
int64_t WrapSub(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
int64_t WrapMul(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}

int64_t SaturateFixed(__int128 v) {
  if (v > INT64_MAX) return INT64_MAX;
  if (v < INT64_MIN) return INT64_MIN;
  return static_cast<int64_t>(v);
}

TExpTree BooleanValue(bool value) {
  TExpTree result = NewToken();
  result->NodeClass = nc::Constant;
  result->SetType(vt::Boolean, st::None, 2);
  result->Put<uint16_t>(value ? 1 : 0);
  return result;
}

TExpTree CopyValue(const TExpToken& node) {
  TExpTree result = NewToken();  // cleared: zero beyond any value copied in
  result->AssignValue(node);
  result->NodeClass = nc::Constant;
  return result;
}

TExpTree EvaluateColumn(const TExpToken& node, const TEvalContext& ctx) {
  if (ctx.Provider != nullptr) {
    TExpTree result = CopyValue(node);
    result->NodeClass = nc::Column;
    ctx.Provider->ProvideColumnValue(*result, ctx.Record);
    return result;
  }
  if (node.FromString) {
    // A string constant that named a column: without a provider it is its text again.
    TExpTree result = CopyValue(node);
    result->DataType = node.SavedType;
    result->SubType = node.SavedSubType;
    result->Scale = node.SavedScale;
    result->SetValueSize(node.SavedSize);
    return result;
  }
  RaiseSqlError("Internal error: Column '" + node.ColumnName + "' specified illegally");
}

TExpTree EvaluateUnary(const TExpToken& node, const TEvalContext& ctx) {
  TExpTree operand = Evaluate(*node.Left, ctx);
  if (node.OpCode == op::Not) return BooleanValue(!ValueAsBoolean(*operand));
  TExpTree result = NewResultNode(node);
  if (operand->IsNull || node.OpCode == op::Plus) {
    if (!operand->IsNull) ConvertValue(*operand, *result);
    return result;
  }
  switch (result->DataType) {
  case vt::Float:
  case vt::Timestamp: StoreDouble(*result, -ValueAsDouble(*operand)); break;
  case vt::Bcd: StoreFixed(*result, WrapSub(0, ValueAsFixed(*operand))); break;
  case vt::Unknown: break;
  default: StoreInt64(*result, WrapSub(0, ValueAsInt64(*operand))); break;
  }
  return result;
}

TExpTree EvaluateLogical(const TExpToken& node, const TEvalContext& ctx) {
  // The right operand first: it decides alone when AND sees false or OR sees true.
  TExpTree right = Evaluate(*node.Right, ctx);
  const bool r = ValueAsBoolean(*right);
  if (node.OpCode == op::And ? !r : r) return BooleanValue(r);
  TExpTree left = Evaluate(*node.Left, ctx);
  return BooleanValue(ValueAsBoolean(*left));
}

TExpTree EvaluateArithmetic(const TExpToken& node, const TEvalContext& ctx) {
  TExpTree left = Evaluate(*node.Left, ctx);
  TExpTree right = Evaluate(*node.Right, ctx);
  TExpTree result = NewResultNode(node);
  const TExpToken& L = *left;
  const TExpToken& R = *right;
  const uint8_t code = node.OpCode, T = result->DataType;
  if (code == op::Add && IsStringLikeType(T, result->SubType)) {
    const std::string text = (L.IsNull ? std::string() : ValueAsText(L)) + (R.IsNull ? std::string() : ValueAsText(R));
    if (!text.empty()) StoreText(*result, text);
    return result;
  }
  if (L.IsNull || R.IsNull || T == vt::Unknown) return result;
  if (code == op::Divide) {
    const bool zero = R.DataType == vt::Float ? ValueAsDouble(R) == 0.0
                      : R.DataType == vt::Bcd ? ValueAsFixed(R) == 0
                                              : ValueAsInt64(R) == 0;
    if (zero) return result;
  }
  const uint8_t lt = L.DataType, rt = R.DataType;
  if (IsDateLikeType(T)) {
    // Date-like plus or minus an integer count: days (date, timestamp) or milliseconds (time).
    const bool leftIsBase = IsDateLikeType(lt);
    const TExpToken& base = leftIsBase ? L : R;
    int64_t count = ValueAsInt64(leftIsBase ? R : L);
    if (code == op::Subtract) count = WrapSub(0, count);
    if (T == vt::Date) {
      StoreInt64(*result, WrapAdd(base.Get<int32_t>(), count));
    } else if (T == vt::Time) {
      int64_t ms = (static_cast<int64_t>(base.Get<int32_t>()) + count % kMsPerDay) % kMsPerDay;
      if (ms < 0) ms += kMsPerDay;
      StoreInt64(*result, ms);
    } else {
      StoreDouble(*result, base.Get<double>() + static_cast<double>(count) * static_cast<double>(kMsPerDay));
    }
    return result;
  }
  if (code == op::Subtract && IsDateLikeType(lt) && IsDateLikeType(rt)) {
    if (lt == vt::Timestamp && rt == vt::Timestamp) {
      StoreDouble(*result, L.Get<double>() - R.Get<double>());
    } else if (lt == vt::Timestamp) {
      int64_t day;
      int32_t ms;
      SplitTimestamp(L.Get<double>(), day, ms);
      StoreInt64(*result, rt == vt::Date ? day - R.Get<int32_t>() : ms - R.Get<int32_t>());
    } else {
      StoreInt64(*result, static_cast<int64_t>(L.Get<int32_t>()) - R.Get<int32_t>());
    }
    return result;
  }
  switch (T) {
  case vt::Float: {
    const double a = ValueAsDouble(L), b = ValueAsDouble(R);
    StoreDouble(*result, code == op::Add ? a + b : code == op::Subtract ? a - b : code == op::Multiply ? a * b : a / b);
    break;
  }
  case vt::Bcd: {
    const __int128 a = ValueAsFixed(L), b = ValueAsFixed(R);
    __int128 v = code == op::Add        ? a + b
                 : code == op::Subtract ? a - b
                 : code == op::Multiply ? a * b / kFixedScale
                                        : a * kFixedScale / b;
    StoreFixed(*result, SaturateFixed(v));
    break;
  }
  default: {
    const int64_t a = ValueAsInt64(L), b = ValueAsInt64(R);
    int64_t v;
    if (code == op::Add) v = WrapAdd(a, b);
    else if (code == op::Subtract) v = WrapSub(a, b);
    else if (code == op::Multiply) v = WrapMul(a, b);
    else v = (a == INT64_MIN && b == -1) ? a : a / b;
    StoreInt64(*result, v);  // a 32-bit result keeps the low 32 bits
    break;
  }
  }
  return result;
}

bool PartialMatches(const TExpToken& node, const TExpToken& value, const TExpressionCollation& collation) {
  const TExpToken& constant = *node.Right;
  const std::string text = constant.GetString();
  if (node.PartialLength < 0) return true;  // an empty prefix: every non-NULL value
  const std::string actual = ValueAsText(value);
  if (node.PartialLength == 0) return collation.Compare(actual, text, node.CaseInsensitive) == 0;
  return collation.ComparePrefix(actual, text, static_cast<std::size_t>(node.PartialLength), node.CaseInsensitive) == 0;
}

TExpTree EvaluatePartial(const TExpToken& node, const TEvalContext& ctx) {
  TExpTree left = Evaluate(*node.Left, ctx);
  const bool equal = node.OpCode == op::Equal;
  const bool constantNull = node.Right->IsNull;
  if (left->IsNull || constantNull) {
    const bool bothNull = left->IsNull && constantNull;
    return BooleanValue(equal ? bothNull : !bothNull);
  }
  const bool match = PartialMatches(node, *left, ctx.Collation);
  return BooleanValue(equal ? match : !match);
}

TExpTree EvaluatePredicate(const TExpToken& node, const TEvalContext& ctx) {
  if (node.Args.empty() || node.Args[0] == nullptr) return BooleanValue(false);
  TExpTree tested = Evaluate(*node.Args[0], ctx);
  bool result = false;
  switch (node.OpCode) {
  case op::Like:
  case op::NotLike: {
    TExpTree pattern = node.Arg(1) ? Evaluate(*node.Arg(1), ctx) : nullptr;
    if (tested->IsNull || pattern == nullptr || pattern->IsNull) return BooleanValue(node.OpCode == op::NotLike);
    result = ctx.Collation.Like(ValueAsText(*tested), ValueAsText(*pattern));
    return BooleanValue(node.OpCode == op::Like ? result : !result);
  }
  case op::InList:
  case op::NotInList:
    for (std::size_t i = 1; i < node.Args.size() && !result; ++i) {
      if (node.Args[i] == nullptr) continue;
      TExpTree value = Evaluate(*node.Args[i], ctx);
      result = CompareByOperator(op::Equal, *tested, *value, ctx.Collation);
    }
    return BooleanValue(node.OpCode == op::InList ? result : !result);
  case op::InSelect:
  case op::NotInSelect: {
    const TExpToken* sub = node.Arg(1);
    const TSubSelectMatch match =
        ctx.Owner && sub ? ctx.Owner->SubSelectContains(sub->SubQuery, *tested) : TSubSelectMatch::No;
    return BooleanValue(match == (node.OpCode == op::InSelect ? TSubSelectMatch::Yes : TSubSelectMatch::No));
  }
  case op::Between:
  case op::NotBetween: {
    if (node.Args.size() < 3 || !node.Args[1] || !node.Args[2]) return BooleanValue(false);
    TExpTree low = Evaluate(*node.Args[1], ctx);
    if (CompareByOperator(op::GreaterEqual, *tested, *low, ctx.Collation)) {
      TExpTree high = Evaluate(*node.Args[2], ctx);
      result = CompareByOperator(op::LessEqual, *tested, *high, ctx.Collation);
    }
    return BooleanValue(node.OpCode == op::Between ? result : !result);
  }
  default: return BooleanValue(false);
  }
}

}  // namespace

bool ReadsColumn(const TExpToken* n) {
  if (n == nullptr) return false;
  if (n->NodeClass == nc::Column || n->NodeClass == nc::SubSelect) return true;
  if (ReadsColumn(n->Left) || ReadsColumn(n->Right)) return true;
  for (const TExpToken* a : n->Args)
    if (ReadsColumn(a)) return true;
  return false;
}

bool ConditionHolds(const TExpToken& value) {
  return !value.IsNull && value.DataType == vt::Boolean && value.Get<uint16_t>() != 0;
}

TExpTree NewResultNode(const TExpToken& node) {
  TExpTree result = NewToken();
  result->NodeClass = nc::Constant;
  result->Text = node.Text;
  result->DataType = node.DataType;
  result->SubType = node.SubType;
  result->Scale = node.Scale;
  result->SetValueSize(std::max(node.ValueSize, FixedSizeOfType(node.DataType)));
  result->IsNull = true;
  return result;
}

TExpTree Evaluate(const TExpToken& node, const TEvalContext& ctx) {
  switch (node.NodeClass) {
  case nc::Constant: return CopyValue(node);
  case nc::Column: return EvaluateColumn(node, ctx);
  case nc::Unary: return EvaluateUnary(node, ctx);
  case nc::Binary:
    if (node.OpCode == op::And || node.OpCode == op::Or) return EvaluateLogical(node, ctx);
    if (node.OpCode >= op::Equal && node.OpCode <= op::LessEqual) {
      TExpTree left = Evaluate(*node.Left, ctx);
      TExpTree right = Evaluate(*node.Right, ctx);
      return BooleanValue(CompareByOperator(node.OpCode, *left, *right, ctx.Collation));
    }
    return EvaluateArithmetic(node, ctx);
  case nc::PartialCompare: return EvaluatePartial(node, ctx);
  case nc::Predicate: return EvaluatePredicate(node, ctx);
  case nc::Function: return EvaluateFunction(node, ctx);
  default: return NewResultNode(node);
  }
}

TExpTree EvaluateExpression(const TExpToken& node, const uint8_t* record, TExpressionOwner* owner, uint16_t language,
                            uint16_t sort, TColumnValueProvider* provider) {
  TEvalContext ctx;
  ctx.Record = record;
  ctx.Owner = owner;
  ctx.Provider = provider;
  ctx.Collation.Language = language;
  ctx.Collation.Sort = sort;
  return Evaluate(node, ctx);
}

}  // namespace quarry
