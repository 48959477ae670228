// The operator levels and the primary of the expression grammar.
#include "engine/sql/expression_parser.h"

#include <charconv>
#include <cstring>

#include "engine/values/date_time_text.h"

namespace quarry {

TExpTree MakeNode(uint8_t nodeClass, uint8_t opCode, const std::string& text) {
  TExpTree node = NewToken();
  node->NodeClass = nodeClass;
  node->OpCode = opCode;
  node->Text = text;
  return node;
}

namespace {

void MakeBoolean(TExpToken& node) { node.SetType(vt::Boolean, st::None, 2); }

// Attaches operands, setting their parents.
TExpTree Binary(uint8_t opCode, const std::string& text, TExpTree left, TExpTree right) {
  TExpTree node = MakeNode(nc::Binary, opCode, text);
  node->Left = left.release();
  node->Left->Parent = node.get();
  node->Right = right.release();
  node->Right->Parent = node.get();
  return node;
}

void AddArg(TExpToken& node, TExpTree arg) {
  arg->Parent = &node;
  node.Args.push_back(arg.release());
}

}  // namespace

std::string QualifierTableName(const std::string& qualifier) {
  std::size_t start = qualifier.find_last_of("\\/:");
  start = start == std::string::npos ? 0 : start + 1;
  std::string name = qualifier.substr(start);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

void TExpressionParser::Expect(char ch, const std::string& stem) {
  if (!IsSymbol(ch)) Fail(stem);
  NextToken();
}

void TExpressionParser::ExpectKeyword(const char* word, const std::string& stem) {
  if (!IsKeyword(word)) Fail(stem);
  NextToken();
}

void TExpressionParser::ExpectKeywordOrComma(const char* word, const std::string& stem) {
  if (!IsKeyword(word) && !IsSymbol(',')) Fail(stem);
  NextToken();
}

void TExpressionParser::FailTooComplex() {
  FailMessage("Expression is nested more than " + std::to_string(kMaxNesting) + " levels or " +
              std::to_string(kMaxTreeHeight) + " operators deep in " + ContextName);
}

void TExpressionParser::CheckHeight(TExpTree& tree) {
  // Iterative, so that measuring a hostile tree cannot exhaust the stack itself.
  std::vector<std::pair<const TExpToken*, int>> pending{{tree.get(), 1}};
  while (!pending.empty()) {
    const auto [node, height] = pending.back();
    pending.pop_back();
    if (node == nullptr) continue;
    if (height > kMaxTreeHeight) {
      tree.reset();
      FailTooComplex();
    }
    pending.push_back({node->Left, height + 1});
    pending.push_back({node->Right, height + 1});
    for (const TExpToken* arg : node->Args) pending.push_back({arg, height + 1});
  }
}

TExpTree TExpressionParser::ParseExpression(uint8_t flags) {
  const bool outermost = Nesting == 0;
  TExpTree tree = ParseOr(flags);
  if (outermost) CheckHeight(tree);
  return tree;
}

TExpTree TExpressionParser::ParseOr(uint8_t flags) {
  TExpTree left = ParseAnd(flags);
  while (IsKeyword("OR")) {
    const std::string text = TokenText();
    NextToken();
    TExpTree right = ParseAnd(flags);
    left = Binary(op::Or, text, std::move(left), std::move(right));
    MakeBoolean(*left);
  }
  return left;
}

TExpTree TExpressionParser::ParseAnd(uint8_t flags) {
  TExpTree left = ParseNot(flags);
  while (IsKeyword("AND")) {
    const std::string text = TokenText();
    NextToken();
    TExpTree right = ParseNot(flags);
    left = Binary(op::And, text, std::move(left), std::move(right));
    MakeBoolean(*left);
  }
  return left;
}

TExpTree TExpressionParser::ParseNot(uint8_t flags) {
  if (!IsKeyword("NOT")) return ParseComparison(flags);
  TExpTree node = MakeNode(nc::Unary, op::Not, TokenText());
  NextToken();
  TExpTree operand = ParseComparison(flags);
  operand->Parent = node.get();
  node->Left = operand.release();
  MakeBoolean(*node);
  return node;
}

TExpTree TExpressionParser::ParseComparison(uint8_t flags) {
  TExpTree left = ParseAdditive(flags);
  uint8_t code = 0;
  std::string text;
  if (IsSymbol('=')) {
    code = op::Equal;
    text = "=";
    NextToken();
  } else if (IsSymbol('<')) {
    NextToken();
    if (IsSymbol('>')) {
      code = op::NotEqual;
      text = "< >";
      NextToken();
    } else if (IsSymbol('=')) {
      code = op::LessEqual;
      text = "< =";
      NextToken();
    } else {
      code = op::Less;
      text = "<";
    }
  } else if (IsSymbol('>')) {
    NextToken();
    if (IsSymbol('=')) {
      code = op::GreaterEqual;
      text = "> =";
      NextToken();
    } else {
      code = op::Greater;
      text = ">";
    }
  }
  if (code != 0) {
    TExpTree right = ParseAdditive(flags);
    TExpTree node = Binary(code, text, std::move(left), std::move(right));
    MakeBoolean(*node);
    return node;
  }
  const bool predicate =
      IsKeyword("BETWEEN") || IsKeyword("LIKE") || IsKeyword("IN") || IsKeyword("IS") || IsKeyword("NOT");
  if (!predicate) return left;
  if ((flags & pf::Predicates) == 0)
    Fail("Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in ");
  if (IsKeyword("IS")) {
    NextToken();
    bool negated = false;
    if (IsKeyword("NOT")) {
      negated = true;
      NextToken();
    }
    if (!IsKeyword("NULL")) FailUnknownSymbol();
    NextToken();
    TExpTree null = MakeNode(nc::Constant, 0, "NULL");
    null->IsNull = true;
    TExpTree node = Binary(negated ? op::NotEqual : op::Equal, negated ? "< >" : "=", std::move(left), std::move(null));
    MakeBoolean(*node);
    return node;
  }
  bool negated = false;
  if (IsKeyword("NOT")) {
    NextToken();
    if (!IsKeyword("BETWEEN") && !IsKeyword("LIKE") && !IsKeyword("IN")) FailUnknownSymbol();
    negated = true;
  }
  return ParsePredicate(std::move(left), flags, negated);
}

TExpTree TExpressionParser::ParsePredicate(TExpTree left, uint8_t flags, bool negated) {
  const std::string prefix = negated ? "NOT " : "";
  if (IsKeyword("BETWEEN")) {
    NextToken();
    TExpTree node = MakeNode(nc::Predicate, negated ? op::NotBetween : op::Between, prefix + "BETWEEN");
    MakeBoolean(*node);
    AddArg(*node, std::move(left));
    AddArg(*node, ParseAdditive(flags));
    ExpectKeyword("AND", "Expected AND operator in " + prefix + "BETWEEN operator, instead found '");
    AddArg(*node, ParseAdditive(flags));
    return node;
  }
  if (IsKeyword("LIKE")) {
    NextToken();
    TExpTree node = MakeNode(nc::Predicate, negated ? op::NotLike : op::Like, prefix + "LIKE");
    MakeBoolean(*node);
    AddArg(*node, std::move(left));
    AddArg(*node, ParseAdditive(flags));
    return node;
  }
  // IN
  NextToken();
  Expect('(', "Expected left parentheses for " + prefix + "IN operator, instead found '");
  if (IsKeyword("SELECT")) {
    if ((flags & pf::SubSelects) == 0) Fail("Sub-select queries are not allowed in ");
    TExpTree node = MakeNode(nc::Predicate, negated ? op::NotInSelect : op::InSelect, prefix + "IN");
    MakeBoolean(*node);
    AddArg(*node, std::move(left));
    TExpTree sub = MakeNode(nc::SubSelect, 0, "SELECT");
    TExpToken* subNode = sub.get();
    AddArg(*node, std::move(sub));
    subNode->SubQuery = Owner ? Owner->ParseSubSelect(*this) : nullptr;
    if (subNode->SubQuery == nullptr) Fail("Sub-select queries are not allowed in ");
    Expect(')', "Expected right parentheses for " + prefix + "IN operator, instead found '");
    return node;
  }
  TExpTree node = MakeNode(nc::Predicate, negated ? op::NotInList : op::InList, prefix + "IN");
  MakeBoolean(*node);
  AddArg(*node, std::move(left));
  AddArg(*node, ParseAdditive(flags));
  while (IsSymbol(',')) {
    NextToken();
    AddArg(*node, ParseAdditive(flags));
  }
  Expect(')', "Expected right parentheses after " + prefix + "IN operator, instead found '");
  return node;
}

TExpTree TExpressionParser::ParseAdditive(uint8_t flags) {
  if (Nesting == 0) {
    // Called from outside the grammar (SQL clauses): measure the finished tree.
    TExpTree tree = ParseAdditiveChain(flags);
    CheckHeight(tree);
    return tree;
  }
  return ParseAdditiveChain(flags);
}

TExpTree TExpressionParser::ParseAdditiveChain(uint8_t flags) {
  TExpTree left = ParseMultiplicative(flags);
  for (;;) {
    uint8_t code;
    std::string text;
    if (IsSymbol('+')) {
      code = op::Add;
      text = "+";
    } else if (IsSymbol('-')) {
      code = op::Subtract;
      text = "-";
    } else if (IsSymbol('|')) {
      NextToken();
      if (!IsSymbol('|'))
        Fail("Second concatenation symbol '|' expected after first concatentation symbol, instead found '");
      code = op::Add;
      text = "||";
    } else {
      return left;
    }
    NextToken();
    TExpTree right = ParseMultiplicative(flags);
    left = Binary(code, text, std::move(left), std::move(right));
  }
}

TExpTree TExpressionParser::ParseMultiplicative(uint8_t flags) {
  TExpTree left = ParseUnary(flags);
  while (IsSymbol('*') || IsSymbol('/')) {
    const bool multiply = IsSymbol('*');
    NextToken();
    TExpTree right = ParseUnary(flags);
    left = Binary(multiply ? op::Multiply : op::Divide, multiply ? "*" : "/", std::move(left), std::move(right));
  }
  return left;
}

TExpTree TExpressionParser::ParseUnary(uint8_t flags) {
  if (!IsSymbol('+') && !IsSymbol('-')) return ParsePrimary(flags);
  const bool minus = IsSymbol('-');
  TExpTree node = MakeNode(nc::Unary, minus ? op::Negate : op::Plus, minus ? "-" : "+");
  NextToken();
  TExpTree operand = ParsePrimary(flags);
  node->SetType(operand->DataType, operand->SubType, operand->ValueSize, operand->Scale);
  operand->Parent = node.get();
  node->Left = operand.release();
  return node;
}

TExpTree TExpressionParser::ParseColumnAfterQualifier(const std::string& qualifier, uint8_t flags) {
  // The '.' is current.
  NextToken();
  std::string column;
  if (IsName()) {
    column = TokenText();
  } else if (IsSymbol('*') && (flags & pf::AllColumns) != 0) {
    column = "*";
  } else {
    Fail("Symbol or string expression expected after table correlation name separator '.', instead found '");
  }
  NextToken();
  TExpTree node = MakeNode(nc::Column, 0, qualifier + "." + column);
  node->TableName = QualifierTableName(qualifier);
  node->ColumnName = column;
  return node;
}

TExpTree TExpressionParser::ParseNumber() {
  const std::string text = TokenText();
  TExpTree node = MakeNode(nc::Constant, 0, text);
  if (Kind == tk::Integer) {
    int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc() && result.ptr == text.data() + text.size()) {
      if (value >= INT32_MIN && value <= INT32_MAX) {
        node->SetType(vt::Integer, st::None, 4);
        node->Put<int32_t>(static_cast<int32_t>(value));
      } else {
        node->SetType(vt::LargeInt, st::None, 8);
        node->Put<int64_t>(value);
      }
      NextToken();
      return node;
    }
  }
  double value = 0;
  if (!ParseFloatText(text, value)) FailMessage("Constant '" + text + "' is not a valid number  in " + ContextName);
  node->SetType(vt::Float, st::None, 8);
  node->Put<double>(value);
  NextToken();
  return node;
}

TExpTree TExpressionParser::ParseCharConstant() {
  const std::string text = TokenText();
  long code = 256;
  if (text.size() <= 4) code = std::strtol(text.c_str() + 1, nullptr, 10);
  if (code < 0 || code > 255)
    FailMessage("Character constants (#) must be within the range of 0 to 255 in " + ContextName);
  // Texts are UTF-8: character n is the code point U+00nn.
  std::string character;
  if (code < 0x80) {
    character.assign(1, static_cast<char>(code));
  } else {
    character += static_cast<char>(0xC0 | (code >> 6));
    character += static_cast<char>(0x80 | (code & 0x3F));
  }
  TExpTree node = MakeNode(nc::Constant, 0, character);
  node->SetType(vt::String, st::None, static_cast<int32_t>(character.size()) + 1);
  node->PutString(character);
  NextToken();
  return node;
}

TExpTree TExpressionParser::ParseString(uint8_t flags) {
  const std::string text = TokenText();
  NextToken();
  if (IsSymbol('.')) return ParseColumnAfterQualifier(text, flags);
  TExpTree node = MakeNode(nc::Constant, 0, text);
  node->SetType(vt::String, st::None, static_cast<int32_t>(text.size()) + 1);
  if (text.empty()) node->IsNull = true;
  else node->PutString(text);
  return node;
}

TExpTree TExpressionParser::ParseCurrentDateTime(uint8_t type, const char* name) {
  NextToken();
  if (IsSymbol('(')) {
    NextToken();
    Expect(')',
           std::string("Right parentheses expected after first ") + name + " function parentheses, instead found '");
  }
  TExpTree node = MakeNode(nc::Constant, 0, name);
  if (type == vt::Date) {
    node->SetType(vt::Date, st::None, 4);
    node->Put<int32_t>(CurrentDayNumber());
  } else if (type == vt::Time) {
    node->SetType(vt::Time, st::None, 4);
    node->Put<int32_t>(CurrentTimeOfDay());
  } else {
    node->SetType(vt::Timestamp, st::None, 8);
    node->Put<double>(CurrentTimestamp());
  }
  return node;
}

TExpTree TExpressionParser::ParsePrimary(uint8_t flags) {
  struct TNestingGuard {
    int& Depth;
    explicit TNestingGuard(int& depth) : Depth(++depth) {}
    ~TNestingGuard() { --Depth; }
  };
  const bool outermost = Nesting == 0;
  TExpTree tree;
  {
    TNestingGuard guard(Nesting);
    if (Nesting > kMaxNesting) FailTooComplex();
    tree = ParsePrimaryNode(flags);
  }
  if (outermost) CheckHeight(tree);
  return tree;
}

TExpTree TExpressionParser::ParsePrimaryNode(uint8_t flags) {
  switch (Kind) {
  case '(': {
    NextToken();
    TExpTree inner = ParseOr(flags);
    Expect(')', "Right parentheses expected, instead found '");
    return inner;
  }
  case '*': {
    if ((flags & pf::AllColumns) == 0) Fail("* (all columns) symbol is not allowed in ");
    NextToken();
    TExpTree node = MakeNode(nc::Column, 0, "*");
    node->ColumnName = "*";
    return node;
  }
  case '?': {
    if ((flags & pf::Parameters) == 0) Fail("Parameters are not allowed in ");
    NextToken();
    TExpTree node = MakeNode(nc::Constant, 0, "?");
    node->IsParam = true;
    node->IsNull = true;
    if (Owner) Owner->AddParameter(node.get());
    return node;
  }
  case tk::CharConstant: return ParseCharConstant();
  case tk::Integer:
  case tk::Number: return ParseNumber();
  case tk::SingleQuoted:
  case tk::DoubleQuoted: return ParseString(flags);
  case tk::BracketName: {
    const std::string name = TokenText();
    NextToken();
    if (IsSymbol('.')) return ParseColumnAfterQualifier(name, flags);
    TExpTree node = MakeNode(nc::Column, 0, name);
    node->ColumnName = name;
    return node;
  }
  case tk::Name: {
    if (TExpTree reserved = ParseReservedWord(flags)) return reserved;
    const std::string name = TokenText();
    NextToken();
    if (IsSymbol('(')) FailMessage("Unknown or unexpected function '" + name + "' found in " + ContextName);
    if (IsSymbol('.')) return ParseColumnAfterQualifier(name, flags);
    TExpTree node = MakeNode(nc::Column, 0, name);
    node->ColumnName = name;
    return node;
  }
  default: FailUnknownSymbol();
  }
}

}  // namespace quarry
