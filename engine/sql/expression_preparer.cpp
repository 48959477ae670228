// Preparation: constant folding against the compared type and partial string comparisons.
#include "engine/sql/expression_preparer.h"

#include <limits>

#include "engine/sql/expression_evaluator.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

class TPreparer {
 public:
  explicit TPreparer(const TPrepareOptions& options) : Opt(options) {
    Ctx.Owner = options.Owner;
    Ctx.Provider = options.Provider;
    Ctx.Collation.Language = options.Language;
    Ctx.Collation.Sort = options.Sort;
  }

  TExpTree Prepare(const TExpToken& node);

 private:
  const TPrepareOptions& Opt;
  TEvalContext Ctx;

  TExpTree Shallow(const TExpToken& node);
  // A constant holding node's value now, converted to `like`'s type when given and the
  // value is neither NULL nor a string nor already of that type.
  TExpTree Fold(const TExpToken& node, const TExpToken* like);
  TExpTree Operand(const TExpToken& node, const TExpToken* like) {
    return ReadsColumn(&node) ? Prepare(node) : Fold(node, like);
  }
  void MakePartialFromEquality(TExpToken& node);
  TExpTree PrepareLike(const TExpToken& node);
};

void Attach(TExpToken& parent, TExpToken*& slot, TExpTree child) {
  if (child) child->Parent = &parent;
  slot = child.release();
}

TExpTree TPreparer::Shallow(const TExpToken& node) {
  TExpTree copy = NewToken();
  copy->Assign(node);
  copy->Parent = copy->Left = copy->Right = nullptr;
  copy->Args.assign(node.Args.size(), nullptr);
  return copy;
}

// Whether an integer value fits the range of an integer type; a conversion that would
// wrap around would make the comparison match a different number.
bool FitsIntegerType(int64_t v, uint8_t type) {
  switch (type) {
  case vt::SmallInt: return v >= std::numeric_limits<int16_t>::min() && v <= std::numeric_limits<int16_t>::max();
  case vt::Word: return v >= 0 && v <= std::numeric_limits<uint16_t>::max();
  case vt::Integer: return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
  default: return true;
  }
}

TExpTree TPreparer::Fold(const TExpToken& node, const TExpToken* like) {
  TExpTree value = Evaluate(node, Ctx);
  value->Text = node.Text;
  value->NodeClass = nc::Constant;
  value->IsParam = false;
  if (like && !value->IsNull && !IsStringLike(*value) && value->DataType != like->DataType &&
      like->DataType != vt::Unknown && !IsStringLike(*like)) {
    if (IsIntegerType(like->DataType) && !FitsIntegerType(ValueAsInt64(*value), like->DataType)) return value;
    TExpTree converted = NewToken();
    converted->Text = node.Text;
    converted->NodeClass = nc::Constant;
    converted->SetType(like->DataType, like->SubType, std::max(like->ValueSize, FixedSizeOfType(like->DataType)),
                       like->Scale);
    ConvertValue(*value, *converted);
    return converted;
  }
  return value;
}

// 'abc*' or 'abc**' (no other '*'): the text before the stars; false otherwise.
bool StarPrefix(const std::string& text, char star, std::string& prefix) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == star) --end;
  const std::size_t stars = text.size() - end;
  if (stars < 1 || stars > 2 || text.find(star) < end) return false;
  prefix = text.substr(0, end);
  return true;
}

void TPreparer::MakePartialFromEquality(TExpToken& node) {
  TExpToken& constant = *node.Right;
  if (constant.NodeClass != nc::Constant || constant.DataType != vt::String || constant.IsNull) return;
  std::string prefix;
  const bool starred = StarPrefix(constant.GetString(), '*', prefix);
  if (!Opt.CaseInsensitive && !starred) return;
  node.NodeClass = nc::PartialCompare;
  node.CaseInsensitive = Opt.CaseInsensitive;
  if (Opt.NoPartialCompare || !starred) {
    node.PartialLength = 0;
    return;
  }
  StoreText(constant, prefix);
  node.PartialLength = prefix.empty() ? kEmptyPrefix : static_cast<int32_t>(Utf8Length(prefix));
}

TExpTree TPreparer::PrepareLike(const TExpToken& node) {
  TExpTree copy = Shallow(node);
  const TExpToken* tested = node.Arg(0);
  const TExpToken* pattern = node.Arg(1);
  if (tested) Attach(*copy, copy->Args[0], Prepare(*tested));
  if (pattern) Attach(*copy, copy->Args[1], Operand(*pattern, nullptr));
  TExpToken* folded = copy->Arg(1);
  std::string prefix;
  // Only a pattern whose one wildcard is the trailing % is a plain prefix; an '_' inside
  // would be lost by a prefix comparison.
  if (tested && folded && folded->NodeClass == nc::Constant && folded->DataType == vt::String && !folded->IsNull &&
      StarPrefix(folded->GetString(), '%', prefix) && prefix.find('_') == std::string::npos) {
    TExpTree partial = NewToken();
    partial->NodeClass = nc::PartialCompare;
    partial->OpCode = node.OpCode == op::Like ? op::Equal : op::NotEqual;
    partial->Text = node.OpCode == op::Like ? "=" : "< >";
    partial->SetType(vt::Boolean, st::None, 2);
    partial->CaseInsensitive = false;
    partial->PartialLength = prefix.empty() ? kEmptyPrefix : static_cast<int32_t>(Utf8Length(prefix));
    StoreText(*folded, prefix);
    TExpToken* left = copy->Args[0];
    TExpToken* right = copy->Args[1];
    copy->Args.clear();
    left->Parent = right->Parent = partial.get();
    partial->Left = left;
    partial->Right = right;
    return partial;
  }
  return copy;
}

TExpTree TPreparer::Prepare(const TExpToken& node) {
  switch (node.NodeClass) {
  case nc::Binary:
  case nc::PartialCompare: {
    TExpTree copy = Shallow(node);
    const bool comparison = node.OpCode >= op::Equal && node.OpCode <= op::LessEqual;
    if (node.Left) Attach(*copy, copy->Left, Prepare(*node.Left));
    if (node.Right) {
      if (comparison) Attach(*copy, copy->Right, Operand(*node.Right, node.Left));
      else Attach(*copy, copy->Right, Prepare(*node.Right));
    }
    if (comparison && copy->NodeClass == nc::Binary && copy->Right &&
        (node.OpCode == op::Equal || node.OpCode == op::NotEqual))
      MakePartialFromEquality(*copy);
    return copy;
  }
  case nc::Unary: {
    TExpTree copy = Shallow(node);
    if (node.Left) Attach(*copy, copy->Left, Prepare(*node.Left));
    return copy;
  }
  case nc::Predicate: {
    if (node.OpCode == op::Like || node.OpCode == op::NotLike) return PrepareLike(node);
    TExpTree copy = Shallow(node);
    const TExpToken* tested = node.Arg(0);
    for (std::size_t i = 0; i < node.Args.size(); ++i) {
      if (node.Args[i] == nullptr) continue;
      const bool listValue = i > 0 && node.OpCode != op::InSelect && node.OpCode != op::NotInSelect;
      Attach(*copy, copy->Args[i], listValue ? Operand(*node.Args[i], tested) : Prepare(*node.Args[i]));
    }
    return copy;
  }
  case nc::Function: {
    TExpTree copy = Shallow(node);
    for (std::size_t i = 0; i < node.Args.size(); ++i)
      if (node.Args[i]) Attach(*copy, copy->Args[i], Operand(*node.Args[i], nullptr));
    return copy;
  }
  default: return Shallow(node);
  }
}

}  // namespace

TExpTree PrepareExpression(const TExpToken& node, const TPrepareOptions& options) {
  TPreparer preparer(options);
  return preparer.Prepare(node);
}

}  // namespace quarry
