// Type checking of expression trees, node class by node class.
#include "engine/sql/type_checker.h"

#include <algorithm>

#include "engine/sql/expression_error.h"
#include "engine/sql/expression_parser.h"
#include "engine/sql/expression_scanner.h"
#include "engine/values/date_time_text.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

bool IsComparison(uint8_t code) { return code >= op::Equal && code <= op::LessEqual; }

// A ? placeholder whose value (and so its type) is not bound yet fits everywhere.
bool Unbound(const TExpToken& n) { return n.IsParam && n.DataType == vt::Unknown; }

// The bare NULL constant (type 0), as opposed to a typed NULL such as ''.
bool IsNullConstant(const TExpToken& n) {
  return n.NodeClass == nc::Constant && !n.IsParam && n.DataType == vt::Unknown;
}

const char* KindOf(const TExpToken& n) {
  switch (n.NodeClass) {
  case nc::Column: return "column";
  case nc::Constant: return "constant";
  case nc::Function: return "function";
  default: return "expression";
  }
}

bool ContainsColumn(const TExpToken* n) {
  if (n == nullptr) return false;
  if (n->NodeClass == nc::Column) return true;
  if (ContainsColumn(n->Left) || ContainsColumn(n->Right)) return true;
  return std::any_of(n->Args.begin(), n->Args.end(), [](const TExpToken* a) { return ContainsColumn(a); });
}

bool IsIntegerConstant(const TExpToken* n) {
  return n != nullptr && n->NodeClass == nc::Constant && !n->IsNull && IsIntegerType(n->DataType);
}

class TChecker {
 public:
  explicit TChecker(const TCheckOptions& options) : Opt(options) {}

  void Check(TExpToken* parent, TExpToken*& node, bool stringsMayBeColumns);

  [[noreturn]] void FailMessage(const std::string& message) const {
    RaiseExpressionError(Opt.ErrorCode, Opt.TableName, message);
  }
  // stem + " in " context: the stems below already end with " in ".
  [[noreturn]] void FailIn(const std::string& stem) const { FailMessage(stem + Opt.Context); }

 private:
  const TCheckOptions& Opt;

  void TryAsColumn(TExpToken& n);
  void TurnBack(TExpToken& n);
  void CheckColumn(TExpToken& n);
  void CheckUnary(TExpToken& n);
  void CheckBinary(TExpToken& n);
  void CheckPredicate(TExpToken& n, bool stringsMayBeColumns);
  void CheckFunction(TExpToken& n, bool stringsMayBeColumns);
  void CheckResultValues(TExpToken& n, const std::string& name, std::size_t first);
  void ConvertDateConstant(TExpToken& n, uint8_t type);
  void RewriteBoolean(TExpToken* parent, TExpToken*& node);
  void CheckArg(TExpToken& n, std::size_t i, bool stringsMayBeColumns) {
    if (i < n.Args.size() && n.Args[i] != nullptr) Check(&n, n.Args[i], stringsMayBeColumns);
  }
};

void TChecker::TryAsColumn(TExpToken& n) {
  if (Opt.Resolver == nullptr || n.IsParam || n.IsNull || n.DataType != vt::String || n.Text.empty() || n.Text == "*")
    return;
  const uint8_t type = n.DataType, subType = n.SubType, scale = n.Scale;
  const int32_t size = n.ValueSize;
  n.NodeClass = nc::Column;
  n.ColumnName = n.Text;
  n.TableName.clear();
  if (Opt.Resolver->ResolveColumn(n)) {
    n.FromString = true;
    n.SavedType = type;
    n.SavedSubType = subType;
    n.SavedSize = size;
    n.SavedScale = scale;
    return;
  }
  n.NodeClass = nc::Constant;
  n.ColumnName.clear();
  n.FieldNo = 0;
  n.DataType = type;
  n.SubType = subType;
  n.Scale = scale;
  n.SetValueSize(size);
}

void TChecker::TurnBack(TExpToken& n) {
  n.NodeClass = nc::Constant;
  n.DataType = n.SavedType;
  n.SubType = n.SavedSubType;
  n.Scale = n.SavedScale;
  n.SetValueSize(n.SavedSize);
  n.FromString = false;
  n.FieldNo = 0;
  n.ColumnName.clear();
}

void TChecker::CheckColumn(TExpToken& n) {
  if (n.ColumnName == "*" || Opt.Resolver == nullptr) return;
  if (!Opt.Resolver->ResolveColumn(n))
    FailMessage("Invalid column name '" + n.ColumnName + "' or table correlation name '" + n.TableName +
                "' specified in " + Opt.Context);
}

void TChecker::ConvertDateConstant(TExpToken& n, uint8_t type) {
  if (n.NodeClass == nc::Constant && n.IsNull && !n.IsParam) {
    n.SetType(type, st::None, FixedSizeOfType(type));
    n.ZeroValue();
    return;
  }
  bool ok = false;
  if (n.NodeClass == nc::Constant && !n.IsNull) {
    const std::string text = n.GetString();
    if (type == vt::Date) {
      int32_t day;
      if ((ok = ParseDateText(text, day))) {
        n.SetType(vt::Date, st::None, 4);
        n.ZeroValue();
        n.Put<int32_t>(day);
      }
    } else if (type == vt::Time) {
      int32_t ms;
      if ((ok = ParseTimeText(text, ms))) {
        n.SetType(vt::Time, st::None, 4);
        n.ZeroValue();
        n.Put<int32_t>(ms);
      }
    } else {
      double ts;
      if ((ok = ParseTimestampText(text, ts))) {
        n.SetType(vt::Timestamp, st::None, 8);
        n.ZeroValue();
        n.Put<double>(ts);
      }
    }
  }
  if (!ok)
    FailMessage("Date, time, or timestamp expression expected, instead found '" + n.Text + "' in " + Opt.Context);
}

void TChecker::RewriteBoolean(TExpToken* parent, TExpToken*& node) {
  if (!Opt.RewriteBooleanColumns || node->DataType != vt::Boolean) return;
  const bool candidate = node->NodeClass == nc::Column ||
                         (node->NodeClass == nc::Function &&
                          (node->OpCode == op::Cast || node->OpCode == op::If || node->OpCode == op::IfNull ||
                           node->OpCode == op::Coalesce || node->OpCode == op::TextSearch));
  if (!candidate) return;
  const bool position = parent == nullptr || (parent->NodeClass == nc::Unary && parent->OpCode == op::Not) ||
                        (parent->NodeClass == nc::Binary && (parent->OpCode == op::And || parent->OpCode == op::Or));
  if (!position) return;
  TExpTree equal = MakeNode(nc::Binary, op::Equal, "=");
  equal->SetType(vt::Boolean, st::None, 2);
  TExpTree truth = MakeNode(nc::Constant, 0, "True");
  truth->SetType(vt::Boolean, st::None, 2);
  truth->Put<uint16_t>(1);
  truth->Parent = equal.get();
  equal->Right = truth.release();
  equal->Left = node;
  node->Parent = equal.get();
  equal->Parent = parent;
  node = equal.release();
}

void TChecker::Check(TExpToken* parent, TExpToken*& node, bool stringsMayBeColumns) {
  if (node == nullptr) return;
  node->Parent = parent;
  switch (node->NodeClass) {
  case nc::Constant:
    if (stringsMayBeColumns) TryAsColumn(*node);
    break;
  case nc::Column: CheckColumn(*node); break;
  case nc::Unary:
    Check(node, node->Left, stringsMayBeColumns);
    CheckUnary(*node);
    break;
  case nc::Binary:
  case nc::PartialCompare:
    Check(node, node->Left, stringsMayBeColumns);
    Check(node, node->Right, stringsMayBeColumns);
    CheckBinary(*node);
    break;
  case nc::SubSelect: {
    TExpToken columnType;
    const int columns = Opt.Owner ? Opt.Owner->SubSelectColumns(node->SubQuery, columnType) : 0;
    if (columns != 1) FailIn("More than 1 column for sub-select  specified in ");
    node->SetType(columnType.DataType, columnType.SubType, columnType.ValueSize, columnType.Scale);
    break;
  }
  case nc::Predicate: CheckPredicate(*node, stringsMayBeColumns); break;
  case nc::Function: CheckFunction(*node, stringsMayBeColumns); break;
  default: break;
  }
  RewriteBoolean(parent, node);
}

void TChecker::CheckUnary(TExpToken& n) {
  const TExpToken& operand = *n.Left;
  const uint8_t t = operand.DataType;
  bool ok = Unbound(operand);
  if (n.OpCode == op::Not) {
    ok = ok || t == vt::Boolean;
  } else {
    ok = ok || t == vt::Unknown || t == vt::Date || t == vt::SmallInt || t == vt::Integer || t == vt::Float ||
         t == vt::Bcd || t == vt::Time || t == vt::Timestamp || t == vt::LargeInt ||
         (n.OpCode == op::Plus && t == vt::Word);
  }
  if (!ok) FailMessage("Type mismatch between '" + n.Text + "' operator and '" + operand.Text + "' in " + Opt.Context);
  if (n.OpCode == op::Not) n.SetType(vt::Boolean, st::None, 2);
  else n.SetType(operand.DataType, operand.SubType, operand.ValueSize, operand.Scale);
}

// Result type of arithmetic between two numeric operands (+, -, *).
uint8_t NumericResult(uint8_t lt, uint8_t rt) {
  if (lt == vt::Float || rt == vt::Float) return vt::Float;
  if (lt == vt::Bcd || rt == vt::Bcd) return vt::Bcd;
  if (lt == vt::LargeInt || rt == vt::LargeInt) return vt::LargeInt;
  return vt::Integer;
}

void SetBinaryResult(TExpToken& n) {
  const TExpToken& L = *n.Left;
  const TExpToken& R = *n.Right;
  const uint8_t code = n.OpCode, lt = L.DataType, rt = R.DataType;
  if (IsComparison(code) || code == op::And || code == op::Or) {
    n.SetType(vt::Boolean, st::None, 2);
    return;
  }
  if (Unbound(L)) {
    n.SetType(R.DataType, R.SubType, R.ValueSize, R.Scale);
    return;
  }
  if (rt == vt::Unknown) {
    n.SetType(L.DataType, L.SubType, L.ValueSize, L.Scale);
    return;
  }
  uint8_t type = vt::Integer;
  int32_t size = 0;
  if (code == op::Add && IsStringLike(L) && IsStringLike(R)) {
    type = lt == vt::String && rt == vt::String ? vt::String : vt::Blob;
    size = L.ValueSize + R.ValueSize - 1;
    n.SetType(type, type == vt::Blob ? st::Memo : st::None, std::max(size, 1));
    return;
  }
  if (IsDateLikeType(lt) && IsIntegerType(rt)) type = lt;
  else if (code == op::Add && IsIntegerType(lt) && IsDateLikeType(rt)) type = rt;
  else if (code == op::Subtract && IsDateLikeType(lt) && IsDateLikeType(rt))
    type = (lt == vt::Timestamp && rt == vt::Timestamp) ? vt::Float : vt::Integer;
  else if (code == op::Divide) {
    if (IsIntegerType(lt)) type = rt == vt::Bcd ? vt::Bcd : vt::Float;
    else if (lt == vt::Bcd) type = rt == vt::Float ? vt::Float : vt::Bcd;
    else type = vt::Float;
  } else {
    type = NumericResult(lt, rt);
  }
  uint8_t subType = st::None;
  const bool leftMoney = L.SubType == st::Money, rightMoney = R.SubType == st::Money;
  if (type == vt::Float || type == vt::Bcd) {
    if (code == op::Add || code == op::Multiply) {
      if ((rightMoney && L.SubType == st::None) || (leftMoney && IsNumericType(rt))) subType = st::Money;
    } else if (leftMoney && IsNumericType(rt)) {
      subType = st::Money;
    }
  }
  const uint8_t scale = type == vt::Bcd ? std::max(L.Scale, R.Scale) : 0;
  n.SetType(type, subType, FixedSizeOfType(type), scale);
}

void TChecker::CheckBinary(TExpToken& n) {
  TExpToken& L = *n.Left;
  TExpToken& R = *n.Right;
  if ((IsComparison(n.OpCode) || n.OpCode == op::Add) && n.JoinKind == 0 && ContainsColumn(&L) && ContainsColumn(&R)) {
    if (R.FromString) TurnBack(R);
    else if (L.FromString) TurnBack(L);
  }
  if (L.NodeClass == nc::Constant || R.NodeClass == nc::Constant) {
    if (IsDateLikeType(L.DataType) && R.DataType == vt::String) ConvertDateConstant(R, L.DataType);
    else if (IsDateLikeType(R.DataType) && L.DataType == vt::String) ConvertDateConstant(L, R.DataType);
  }
  if (!OperandsCompatible(n.OpCode, L, R))
    FailMessage(std::string("Type mismatch between ") + KindOf(L) + " '" + L.Text + "' and " + KindOf(R) + " '" +
                R.Text + "' in " + Opt.Context);
  SetBinaryResult(n);
}

void TChecker::CheckPredicate(TExpToken& n, bool stringsMayBeColumns) {
  n.SetType(vt::Boolean, st::None, 2);
  if (n.Args.empty()) return;
  CheckArg(n, 0, stringsMayBeColumns);
  TExpToken& tested = *n.Args[0];
  const std::string name = n.Text;
  if (n.OpCode == op::Like || n.OpCode == op::NotLike) {
    CheckArg(n, 1, false);
    if (!IsStringLike(tested) && !Unbound(tested))
      FailMessage("Type mismatch between " + name + " operator and expression '" + tested.Text + "' in " + Opt.Context);
    const TExpToken* pattern = n.Arg(1);
    if (pattern && !IsStringLike(*pattern) && !Unbound(*pattern) && pattern->DataType != vt::Unknown)
      FailMessage("Type mismatch between " + name + " operator and expression '" + pattern->Text + "' in " +
                  Opt.Context);
    return;
  }
  if (n.OpCode == op::InSelect || n.OpCode == op::NotInSelect) {
    CheckArg(n, 1, false);
    const TExpToken* sub = n.Arg(1);
    if (sub && !OperandsCompatible(op::Equal, tested, *sub))
      FailMessage("Type mismatch between " + name + " operator and sub-select column in " + Opt.Context);
    return;
  }
  for (std::size_t i = 1; i < n.Args.size(); ++i) {
    CheckArg(n, i, false);
    TExpToken& value = *n.Args[i];
    if (IsDateLikeType(tested.DataType) && value.NodeClass == nc::Constant && value.DataType == vt::String)
      ConvertDateConstant(value, tested.DataType);
    if (!OperandsCompatible(op::Equal, tested, value))
      FailMessage("Type mismatch between " + name + " operator and expression '" + value.Text + "' in " + Opt.Context);
  }
}

void TChecker::CheckResultValues(TExpToken& n, const std::string& name, std::size_t first) {
  std::vector<TExpToken*> values;
  for (std::size_t i = first; i < n.Args.size(); ++i)
    if (n.Args[i] && !IsNullConstant(*n.Args[i])) values.push_back(n.Args[i]);
  if (values.empty())
    FailMessage("At least one of the " + name + " expression arguments in " + Opt.Context +
                " must be a non-NULL value");
  for (std::size_t i = 1; i < values.size(); ++i)
    if (!OperandsCompatible(op::Equal, *values[i - 1], *values[i]) &&
        !OperandsCompatible(op::Equal, *values[i], *values[i - 1]))
      FailIn("Type mismatch between " + name + " expression arguments in ");
  const TExpToken& lead = *values.front();
  int32_t size = lead.ValueSize;
  if (IsStringLike(lead)) {
    const bool anyBlob =
        std::any_of(values.begin(), values.end(), [](const TExpToken* v) { return v->DataType == vt::Blob; });
    if (!anyBlob)
      for (const TExpToken* v : values) size = std::max(size, v->ValueSize);
  }
  n.SetType(lead.DataType, lead.SubType, size, lead.Scale);
}

void TChecker::CheckFunction(TExpToken& n, bool smc) {
  const std::string name = UpperAscii(n.Text);
  const auto arg = [&n](std::size_t i) -> TExpToken& { return *n.Args.at(i); };
  const auto has = [&n](std::size_t i) { return i < n.Args.size() && n.Args[i] != nullptr; };
  const auto stringLike = [](const TExpToken& a) { return IsStringLike(a) || Unbound(a); };
  const auto integer = [](const TExpToken& a) { return IsIntegerType(a.DataType) || Unbound(a); };
  // The result of a string function takes its argument's type; an unbound parameter
  // argument gives a string until its value is bound.
  const auto likeText = [&n](const TExpToken& a) {
    if (Unbound(a)) n.SetType(vt::String, st::None, 256);
    else n.SetType(a.DataType, a.SubType, a.ValueSize);
  };
  switch (n.OpCode) {
  case op::Sum:
  case op::RunSum:
  case op::Min:
  case op::Max:
  case op::Avg: {
    CheckArg(n, 0, smc);
    const TExpToken& a = arg(0);
    if (!IsNumericType(a.DataType) && !IsDateLikeType(a.DataType) && !Unbound(a))
      FailIn(name + " aggregate function must contain a numeric, date, time, or timestamp expression in ");
    n.SetType(a.DataType, a.SubType, a.ValueSize, a.Scale);
    break;
  }
  case op::Count:
    CheckArg(n, 0, smc);
    n.SetType(vt::Integer, st::None, 4);
    break;
  case op::Upper:
  case op::Lower:
    CheckArg(n, 0, smc);
    if (!stringLike(arg(0))) FailIn("Type mismatch between " + name + " function and function argument in ");
    likeText(arg(0));
    break;
  case op::Length:
    CheckArg(n, 0, smc);
    if (!stringLike(arg(0))) FailIn("Type mismatch between LENGTH function and function argument in ");
    n.SetType(vt::Integer, st::None, 4);
    break;
  case op::Substring:
    for (std::size_t i = 0; i < n.Args.size(); ++i) CheckArg(n, i, smc);
    if (!stringLike(arg(0))) FailIn("Expression argument of SUBSTRING function must be a string or memo in ");
    if (!integer(arg(1))) FailIn("FROM argument of SUBSTRING function must be an integer value in ");
    if (has(2) && !integer(arg(2))) FailIn("FOR argument of SUBSTRING function must be an integer value in ");
    likeText(arg(0));
    break;
  case op::Replace:
    for (std::size_t i = 0; i < n.Args.size(); ++i) CheckArg(n, i, smc);
    if (!stringLike(arg(2))) FailIn("IN argument of REPLACE function must be a string or memo in ");
    if (!stringLike(arg(0))) FailIn("Type mismatch between REPLACE function and search string argument in ");
    if (!stringLike(arg(1))) FailIn("Type mismatch between REPLACE function and replacement string argument in ");
    likeText(arg(2));
    break;
  case op::Pos:
  case op::Occurs:
    CheckArg(n, 0, smc);
    CheckArg(n, 1, smc);
    if (!stringLike(arg(1))) FailIn("Type mismatch between " + name + " function and IN argument in ");
    if (!stringLike(arg(0))) FailIn("Type mismatch between " + name + " function and search string argument in ");
    n.SetType(vt::Integer, st::None, 4);
    break;
  case op::TrimLeading:
  case op::TrimTrailing:
  case op::TrimBoth: {
    CheckArg(n, 0, false);
    CheckArg(n, 1, smc);
    if (!stringLike(arg(1))) FailIn("FROM argument of TRIM function must be a string or memo in ");
    const TExpToken& c = arg(0);
    if (!(c.NodeClass == nc::Constant && c.DataType == vt::String && !c.IsNull && Utf8Length(c.GetString()) == 1) &&
        !Unbound(c))
      FailIn("Trim character argument of TRIM function must be a single character constant in ");
    likeText(arg(1));
    break;
  }
  case op::Cast: {
    CheckArg(n, 0, smc);
    FinishDataType(n, Opt.ErrorCode, Opt.TableName, Opt.Context);
    const TExpToken& a = arg(0);
    if (!IsNullConstant(a) && !Unbound(a) && !CastAllowed(n.DataType, a))
      FailMessage(std::string("Type mismatch between ") + KindOf(a) + " '" + a.Text + "' and AS argument in " +
                  Opt.Context);
    break;
  }
  case op::If:
    for (std::size_t i = 0; i < n.Args.size(); ++i) CheckArg(n, i, smc);
    if (arg(0).DataType != vt::Boolean && !Unbound(arg(0)))
      FailIn("First expression argument of IF function must be a boolean type in ");
    CheckResultValues(n, "IF", 1);
    break;
  case op::IfNull:
    for (std::size_t i = 0; i < n.Args.size(); ++i) CheckArg(n, i, smc);
    CheckResultValues(n, "IFNULL", 1);
    break;
  case op::Coalesce:
    for (std::size_t i = 0; i < n.Args.size(); ++i) CheckArg(n, i, smc);
    CheckResultValues(n, "COALESCE", 0);
    break;
  case op::Abs: {
    CheckArg(n, 0, smc);
    const TExpToken& a = arg(0);
    if (!IsNumericType(a.DataType) && !Unbound(a))
      FailIn("Expression argument of ABS function must be an integer, floating-point, or BCD type in ");
    n.SetType(a.DataType, a.SubType, a.ValueSize, a.Scale);
    break;
  }
  case op::Round: {
    CheckArg(n, 0, smc);
    CheckArg(n, 1, false);
    const TExpToken& a = arg(0);
    if (a.DataType != vt::Float && a.DataType != vt::Bcd && !Unbound(a))
      FailIn("Expression argument of ROUND function must be a floating-point or BCD type in ");
    if (has(1)) {
      if (!IsIntegerConstant(&arg(1)))
        FailIn("Decimal places argument of ROUND function must be an integer constant in ");
      const int64_t places = ValueAsInt64(arg(1));
      if (places < 0 || places > 32)
        FailIn("Decimal places argument of ROUND function must be an integer constant between 0 and 32 in ");
    }
    n.SetType(a.DataType, a.SubType, a.ValueSize, a.Scale);
    break;
  }
  case op::ExtractYear:
  case op::ExtractMonth:
  case op::ExtractWeek:
  case op::ExtractDay:
  case op::ExtractDayOfWeek:
  case op::ExtractDayOfYear:
  case op::ExtractHour:
  case op::ExtractMinute:
  case op::ExtractSecond: {
    CheckArg(n, 0, smc);
    TExpToken& a = arg(0);
    if (a.NodeClass == nc::Constant && a.DataType == vt::String) {
      int32_t day = 0, ms = 0;
      double ts = 0;
      const std::string text = a.GetString();
      if (a.IsNull) {
        a.SetType(vt::Date, st::None, 4);
      } else if (ParseDateText(text, day)) {
        a.SetType(vt::Date, st::None, 4);
        a.ZeroValue();
        a.Put<int32_t>(day);
      } else if (ParseTimeText(text, ms)) {
        a.SetType(vt::Time, st::None, 4);
        a.ZeroValue();
        a.Put<int32_t>(ms);
      } else if (ParseTimestampText(text, ts)) {
        a.SetType(vt::Timestamp, st::None, 8);
        a.ZeroValue();
        a.Put<double>(ts);
      }
    }
    if (!IsDateLikeType(a.DataType) && !Unbound(a))
      FailIn("FROM argument of EXTRACT function must be a date, time, or timestamp in ");
    n.SetType(vt::Integer, st::None, 4);
    break;
  }
  case op::TextSearch:
  case op::TextOccurs: {
    CheckArg(n, 0, false);
    CheckArg(n, 1, smc);
    const TExpToken& words = arg(0);
    if (!stringLike(words)) FailIn("Type mismatch between " + name + " function and search text function argument in ");
    if (words.NodeClass != nc::Constant) FailIn(name + " search text function argument must be a string constant in ");
    const TExpToken& column = arg(1);
    if (column.NodeClass != nc::Column) FailIn(name + " function column argument must be a valid column name in ");
    if (!stringLike(column)) FailIn("Type mismatch between " + name + " function and column function argument in ");
    if (n.OpCode == op::TextSearch) n.SetType(vt::Boolean, st::None, 2);
    else n.SetType(vt::Integer, st::None, 4);
    break;
  }
  case op::LastAutoInc:
  case op::IdentCurrent: {
    CheckArg(n, 0, false);
    const TExpToken& table = arg(0);
    if (table.DataType != vt::String)
      FailIn("Type mismatch between " + name + " function and table name function argument in ");
    if (table.NodeClass != nc::Constant) FailIn(name + " table name function argument must be a string constant in ");
    if (Opt.Owner) n.SourceTable = Opt.Owner->RegisterAutoIncTable(table.GetString());
    n.SetType(vt::Integer, st::None, 4);
    break;
  }
  default:
    for (std::size_t i = 0; i < n.Args.size(); ++i) CheckArg(n, i, smc);
    break;
  }
}

}  // namespace

bool OperandsCompatible(uint8_t code, const TExpToken& left, const TExpToken& right) {
  if (Unbound(left) || Unbound(right)) return true;
  const uint8_t lt = left.DataType, rt = right.DataType;
  if (lt == vt::Unknown) return false;
  if (rt == vt::Unknown) return true;
  const bool lString = IsStringLike(left), rString = IsStringLike(right);
  switch (code) {
  case op::Equal:
  case op::NotEqual:
  case op::Greater:
  case op::Less:
  case op::GreaterEqual:
  case op::LessEqual: {
    const bool ordering = code != op::Equal && code != op::NotEqual;
    if (lt == vt::Date || lt == vt::Timestamp) return rt == vt::Date || rt == vt::Timestamp;
    if (lt == vt::Time) return rt == vt::Time;
    if (lString) return rString;
    if (lt == vt::Blob) return false;
    if (lt == vt::Boolean) return !ordering && rt == vt::Boolean;
    if (IsNumericType(lt)) return IsNumericType(rt);
    if (IsBytesType(lt)) return !ordering && IsBytesType(rt);
    return false;
  }
  case op::And:
  case op::Or: return lt == vt::Boolean && rt == vt::Boolean;
  case op::Add:
    if (IsDateLikeType(lt)) return IsIntegerType(rt);
    if (lString) return rString;
    if (IsIntegerType(lt)) return IsNumericType(rt) || IsDateLikeType(rt);
    if (lt == vt::Float || lt == vt::Bcd) return IsNumericType(rt);
    return false;
  case op::Subtract:
    if (lt == vt::Date) return rt == vt::Date || IsIntegerType(rt);
    if (lt == vt::Time) return rt == vt::Time || IsIntegerType(rt);
    if (lt == vt::Timestamp) return IsDateLikeType(rt) || IsIntegerType(rt);
    return IsNumericType(lt) && IsNumericType(rt);
  case op::Multiply:
  case op::Divide: return IsNumericType(lt) && IsNumericType(rt);
  default: return false;
  }
}

bool CastAllowed(uint8_t target, const TExpToken& source) {
  const uint8_t s = source.DataType;
  if (s == vt::Unknown) return true;
  const bool text = s == vt::String || IsBytesType(s);
  switch (target) {
  case vt::String:
  case vt::Blob:
  case vt::Bytes:
  case vt::VarBytes: return true;
  case vt::Date: return text || s == vt::Date || s == vt::Timestamp;
  case vt::Time: return text || s == vt::Time || s == vt::Timestamp;
  case vt::Timestamp: return text || IsDateLikeType(s);
  case vt::Boolean: return text || s == vt::Boolean || IsIntegerType(s) || s == vt::Bcd;
  case vt::SmallInt:
  case vt::Word: return text || s == vt::Boolean || IsNumericType(s);
  case vt::Integer:
  case vt::Float:
  case vt::Bcd:
  case vt::LargeInt: return text || IsNumericType(s);
  default: return false;
  }
}

void FinishDataType(TExpToken& node, uint16_t errorCode, const std::string& tableName, const std::string& context) {
  const auto fail = [&](const std::string& message) { RaiseExpressionError(errorCode, tableName, message); };
  const TExpToken* a1 = node.Arg(1);
  const TExpToken* a2 = node.Arg(2);
  const bool isCast = node.NodeClass == nc::Function && node.OpCode == op::Cast;
  switch (node.DataType) {
  case vt::String:
  case vt::Bytes:
  case vt::VarBytes: {
    int32_t size;
    if (a1 != nullptr) {
      if (!IsIntegerConstant(a1)) fail("Length argument must be an integer in " + context);
      const int64_t length = ValueAsInt64(*a1);
      if (length < 1 || length > 250)
        fail("Length argument must be an integer greater than 0 and less than or equal to 250 in " + context);
      size = static_cast<int32_t>(node.DataType == vt::String ? length + 1 : length);
    } else if (isCast && node.Arg(0) != nullptr) {
      const TExpToken& source = *node.Arg(0);
      const bool textual = source.DataType == vt::String || IsBytesType(source.DataType);
      size = textual && source.ValueSize > 0 ? source.ValueSize : 32;
    } else {
      size = 10;
    }
    node.Scale = 0;
    node.SetValueSize(size);
    break;
  }
  case vt::Bcd:
    node.Scale = 0;
    if (a1 != nullptr && a2 != nullptr) {
      if (!IsIntegerConstant(a2)) fail("Scale argument must be an integer in " + context);
      const int64_t scale = ValueAsInt64(*a2);
      if (scale < 0 || scale > 4)
        fail(
            "Scale argument must be an integer less than or equal to 4 but greater than or equal to 0 for the "
            "BCD data type " +
            context);
      node.Scale = static_cast<uint8_t>(scale);
    }
    node.SetValueSize(34);
    break;
  case vt::Blob:
    if (a1 != nullptr || a2 != nullptr) {
      if (!IsIntegerConstant(a1)) fail("First BLOB type argument must be an integer in " + context);
      if (!IsIntegerConstant(a2)) fail("BLOB type argument must be an integer in " + context);
      const int64_t kind = ValueAsInt64(*a2);
      if (kind != 1 && kind != 2 && kind != 3 && kind != 5 && kind != 7)
        fail("BLOB type argument must be an integer with a value of 1,2,3,5, or 7 in " + context);
      node.SubType = static_cast<uint8_t>(kind + 21);
    }
    node.Scale = 0;
    node.SetValueSize(8);
    break;
  default:
    node.Scale = 0;
    node.SetValueSize(FixedSizeOfType(node.DataType));
    break;
  }
}

void CheckExpression(const TCheckOptions& options, TExpToken* parent, TExpToken*& node) {
  TChecker checker(options);
  checker.Check(parent, node, options.StringsMayBeColumns);
}

void CheckExpression(uint16_t errorCode, const std::string& tableName, bool stringsMayBeColumns,
                     bool rewriteBooleanColumns, TColumnResolver* resolver, TExpressionOwner* owner, TExpToken* parent,
                     TExpToken*& node, const std::string& context) {
  TCheckOptions options;
  options.ErrorCode = errorCode;
  options.TableName = tableName;
  options.StringsMayBeColumns = stringsMayBeColumns;
  options.RewriteBooleanColumns = rewriteBooleanColumns;
  options.Resolver = resolver;
  options.Owner = owner;
  options.Context = context;
  CheckExpression(options, parent, node);
}

void CheckExpression(const TCheckOptions& options, TExpTree& tree) {
  TExpToken* root = tree.release();
  try {
    CheckExpression(options, nullptr, root);
  } catch (...) {
    tree.reset(root);
    throw;
  }
  tree.reset(root);
}

}  // namespace quarry
