// The reserved words of the primary: aggregates, functions, TRUE/FALSE/NULL, the
// current date and time, and the SQL data type names read by ParseDataType.
#include <string>

#include "engine/sql/expression_parser.h"

namespace quarry {

namespace {

struct TReservedWord {
  const char* Name;
  uint8_t Code;
};

const TReservedWord kAggregates[] = {{"SUM", op::Sum}, {"RUNSUM", op::RunSum}, {"AVG", op::Avg},
                                     {"MIN", op::Min}, {"MAX", op::Max},       {"COUNT", op::Count}};

const TReservedWord kFunctions[] = {{"LOWER", op::Lower},
                                    {"UPPER", op::Upper},
                                    {"LENGTH", op::Length},
                                    {"SUBSTRING", op::Substring},
                                    {"REPLACE", op::Replace},
                                    {"POS", op::Pos},
                                    {"OCCURS", op::Occurs},
                                    {"CAST", op::Cast},
                                    {"TRIM", op::TrimBoth},
                                    {"EXTRACT", op::ExtractYear},
                                    {"ABS", op::Abs},
                                    {"ROUND", op::Round},
                                    {"IF", op::If},
                                    {"IFNULL", op::IfNull},
                                    {"COALESCE", op::Coalesce},
                                    {"TEXTSEARCH", op::TextSearch},
                                    {"TEXTOCCURS", op::TextOccurs},
                                    {"LASTAUTOINC", op::LastAutoInc},
                                    {"IDENT_CURRENT", op::IdentCurrent}};

const char* const kExtractParts[] = {"YEAR",      "MONTH", "WEEK",   "DAY",   "DAYOFWEEK",
                                     "DAYOFYEAR", "HOUR",  "MINUTE", "SECOND"};

void AddArg(TExpToken& node, TExpTree arg) {
  arg->Parent = &node;
  node.Args.push_back(arg.release());
}

void SetSlot(TExpToken& node, std::size_t slot, TExpTree arg) {
  arg->Parent = &node;
  node.SetArg(slot, arg.release());
}

// Functions whose closing parenthesis follows a single argument.
bool HasSingleArgument(uint8_t code) {
  switch (code) {
  case op::Lower:
  case op::Upper:
  case op::Length:
  case op::Abs:
  case op::TextSearch:
  case op::TextOccurs:
  case op::LastAutoInc:
  case op::IdentCurrent: return true;
  default: return false;
  }
}

enum class TTypeArgs { None, Optional, Required, Blob };

struct TDataTypeName {
  const char* Name;
  uint8_t Type;
  uint8_t SubType;
  TTypeArgs Args;
};

const TDataTypeName kDataTypes[] = {
    {"SMALLINT", vt::SmallInt, st::None, TTypeArgs::None},
    {"WORD", vt::Word, st::None, TTypeArgs::None},
    {"INTEGER", vt::Integer, st::None, TTypeArgs::None},
    {"INT", vt::Integer, st::None, TTypeArgs::None},
    {"LARGEINT", vt::LargeInt, st::None, TTypeArgs::None},
    {"AUTOINC", vt::Integer, st::AutoInc, TTypeArgs::None},
    {"DECIMAL", vt::Bcd, st::None, TTypeArgs::Optional},
    {"NUMERIC", vt::Bcd, st::None, TTypeArgs::Optional},
    {"FLOAT", vt::Float, st::None, TTypeArgs::Optional},
    {"MONEY", vt::Float, st::Money, TTypeArgs::None},
    {"CHARACTER", vt::String, st::None, TTypeArgs::Required},
    {"CHAR", vt::String, st::None, TTypeArgs::Required},
    {"VARCHAR", vt::String, st::None, TTypeArgs::Required},
    {"BYTES", vt::Bytes, st::None, TTypeArgs::Required},
    {"BINARY", vt::Bytes, st::None, TTypeArgs::Required},
    {"VARBYTES", vt::VarBytes, st::None, TTypeArgs::Required},
    {"VARBINARY", vt::VarBytes, st::None, TTypeArgs::Required},
    {"DATE", vt::Date, st::None, TTypeArgs::None},
    {"TIME", vt::Time, st::None, TTypeArgs::None},
    {"TIMESTAMP", vt::Timestamp, st::None, TTypeArgs::None},
    {"BOOLEAN", vt::Boolean, st::None, TTypeArgs::None},
    {"BOOL", vt::Boolean, st::None, TTypeArgs::None},
    {"BIT", vt::Boolean, st::None, TTypeArgs::None},
    {"BLOB", vt::Blob, st::Binary, TTypeArgs::Blob},
    {"LONGVARBINARY", vt::Blob, st::Binary, TTypeArgs::None},
    {"LONGVARCHAR", vt::Blob, st::Memo, TTypeArgs::None},
    {"MEMO", vt::Blob, st::Memo, TTypeArgs::None},
    {"GRAPHIC", vt::Blob, st::Graphic, TTypeArgs::None},
};

}  // namespace

TExpTree TExpressionParser::ParseReservedWord(uint8_t flags) {
  for (const auto& word : kAggregates)
    if (IsKeyword(word.Name)) return ParseAggregate(word.Code, word.Name, flags);
  for (const auto& word : kFunctions)
    if (IsKeyword(word.Name)) return ParseFunction(word.Code, word.Name, flags);
  if (IsKeyword("TRUE") || IsKeyword("FALSE")) {
    TExpTree node = MakeNode(nc::Constant, 0, TokenText());
    node->SetType(vt::Boolean, st::None, 2);
    node->Put<uint16_t>(IsKeyword("TRUE") ? 1 : 0);
    NextToken();
    return node;
  }
  if (IsKeyword("NULL")) {
    TExpTree node = MakeNode(nc::Constant, 0, TokenText());
    node->IsNull = true;
    NextToken();
    return node;
  }
  if (IsKeyword("CURRENT_DATE")) return ParseCurrentDateTime(vt::Date, "CURRENT_DATE");
  if (IsKeyword("CURRENT_TIME")) return ParseCurrentDateTime(vt::Time, "CURRENT_TIME");
  if (IsKeyword("CURRENT_TIMESTAMP")) return ParseCurrentDateTime(vt::Timestamp, "CURRENT_TIMESTAMP");
  return nullptr;
}

TExpTree TExpressionParser::ParseAggregate(uint8_t code, const char* name, uint8_t flags) {
  if ((flags & pf::Aggregates) == 0) Fail("Aggregate functions are not allowed in ");
  TExpTree node = MakeNode(nc::Function, code, TokenText());
  NextToken();
  if (!IsSymbol('('))
    FailMessage(std::string("Left parentheses expected after aggregate function '") + name + "', instead found '" +
                TokenText() + "' in " + ContextName);
  NextToken();
  AddArg(*node, ParseAdditive(flags));
  if (!IsSymbol(')'))
    FailMessage(std::string("Right parentheses expected after aggregate ") + name +
                " function argument, instead found '" + TokenText() + "' in " + ContextName);
  NextToken();
  return node;
}

TExpTree TExpressionParser::ParseFunction(uint8_t code, const char* name, uint8_t flags) {
  const std::string upper = name;
  TExpTree node = MakeNode(nc::Function, code, TokenText());
  TExpToken& fn = *node;
  NextToken();
  Expect('(', "Left parentheses expected after " + upper + " keyword, instead found '");
  switch (code) {
  case op::Lower:
  case op::Upper:
    AddArg(fn, ParseAdditive(flags));
    fn.SetType(vt::String, st::None, fn.Args[0]->ValueSize);
    break;
  case op::Length:
    AddArg(fn, ParseAdditive(flags));
    fn.SetType(vt::Integer, st::None, 4);
    break;
  case op::Substring:
    AddArg(fn, ParseAdditive(flags));
    ExpectKeyword("FROM", "FROM keyword expected after first SUBSTRING function argument, instead found '");
    AddArg(fn, ParseAdditive(flags));
    if (IsKeyword("FOR")) {
      NextToken();
      AddArg(fn, ParseAdditive(flags));
    }
    fn.SetType(vt::String, st::None, fn.Args[0]->ValueSize);
    break;
  case op::Replace:
    AddArg(fn, ParseAdditive(flags));
    ExpectKeyword("WITH", "WITH keyword expected after first REPLACE function argument, instead found '");
    AddArg(fn, ParseAdditive(flags));
    ExpectKeyword("IN", "IN keyword expected after second REPLACE function argument, instead found '");
    AddArg(fn, ParseAdditive(flags));
    fn.SetType(vt::String, st::None, fn.Args[2]->ValueSize);
    break;
  case op::Pos:
  case op::Occurs:
  case op::TextSearch:
  case op::TextOccurs:
    AddArg(fn, ParseAdditive(flags));
    ExpectKeyword("IN", "IN keyword expected after first " + upper + " function argument, instead found '");
    if (code == op::TextSearch || code == op::TextOccurs) {
      AddArg(fn, ParsePrimary(flags));
      if (code == op::TextSearch) fn.SetType(vt::Boolean, st::None, 2);
      else fn.SetType(vt::Word, st::None, 2);
    } else {
      AddArg(fn, ParseAdditive(flags));
      fn.SetType(vt::Integer, st::None, 4);
    }
    break;
  case op::Cast:
    AddArg(fn, ParseAdditive(flags));
    ExpectKeyword("AS", "AS keyword expected after first CAST function argument, instead found '");
    ParseDataType(fn, flags, false);
    break;
  case op::TrimBoth:
    if (IsKeyword("LEADING")) fn.OpCode = op::TrimLeading;
    else if (IsKeyword("TRAILING")) fn.OpCode = op::TrimTrailing;
    else if (!IsKeyword("BOTH"))
      Fail("LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found '");
    NextToken();
    AddArg(fn, ParsePrimary(flags));
    ExpectKeyword("FROM", "FROM keyword expected after second TRIM function argument, instead found '");
    AddArg(fn, ParseAdditive(flags));
    fn.SetType(vt::String, st::None, fn.Args[1]->ValueSize);
    break;
  case op::ExtractYear: {
    int part = -1;
    for (int i = 0; i < 9 && part < 0; ++i)
      if (IsKeyword(kExtractParts[i])) part = i;
    if (part < 0)
      Fail(
          "YEAR, MONTH, WEEK, DAY, DAYOFWEEK, DAYOFYEAR, HOUR, MINUTE, or SECOND keyword expected "
          "after EXTRACT keyword, instead found '");
    fn.OpCode = static_cast<uint8_t>(op::ExtractYear + part);
    NextToken();
    ExpectKeyword("FROM", "FROM keyword expected after second EXTRACT function argument, instead found '");
    AddArg(fn, ParseAdditive(flags));
    fn.SetType(vt::Integer, st::None, 4);
    break;
  }
  case op::Abs: AddArg(fn, ParseAdditive(flags)); break;
  case op::Round:
    AddArg(fn, ParseAdditive(flags));
    if (IsKeyword("TO")) {
      NextToken();
      AddArg(fn, ParsePrimary(flags));
    }
    fn.SetType(fn.Args[0]->DataType, fn.Args[0]->SubType, fn.Args[0]->ValueSize, fn.Args[0]->Scale);
    break;
  case op::If:
  case op::IfNull:
    AddArg(fn, ParseOr(code == op::If ? static_cast<uint8_t>(flags | pf::Predicates) : flags));
    ExpectKeywordOrComma("THEN",
                         "THEN keyword or comma expected after first " + upper + " function argument, instead found '");
    AddArg(fn, ParseAdditive(flags));
    ExpectKeywordOrComma(
        "ELSE", "ELSE keyword or comma expected after second " + upper + " function argument, instead found '");
    AddArg(fn, ParseAdditive(flags));
    break;
  case op::Coalesce:
    AddArg(fn, ParseAdditive(flags));
    while (IsSymbol(',')) {
      NextToken();
      AddArg(fn, ParseAdditive(flags));
    }
    Expect(')', "Expected right parentheses after COALESCE expression arguments, instead found '");
    return node;
  case op::LastAutoInc:
  case op::IdentCurrent:
    AddArg(fn, ParsePrimary(flags));
    fn.SetType(vt::Integer, st::None, 4);
    break;
  default: break;
  }
  if (HasSingleArgument(code))
    Expect(')', "Right parentheses expected after " + upper + " function argument, instead found '");
  else Expect(')', "Right parentheses expected after " + upper + " function arguments, instead found '");
  return node;
}

bool TExpressionParser::ParseDataType(TExpToken& node, uint8_t flags, bool optional) {
  const TDataTypeName* found = nullptr;
  if (Kind == tk::Name)
    for (const auto& type : kDataTypes)
      if (IsKeyword(type.Name)) found = &type;
  if (found == nullptr) {
    if (optional) return false;
    Fail("SQL data type keyword expected, instead found '");
  }
  const std::string written = TokenText();
  node.DataType = found->Type;
  node.SubType = found->SubType;
  NextToken();
  switch (found->Args) {
  case TTypeArgs::None: break;
  case TTypeArgs::Optional:
  case TTypeArgs::Required: {
    const std::string shown = found->Type == vt::Float ? std::string("FLOAT") : written;
    if (!IsSymbol('(')) {
      if (found->Args == TTypeArgs::Optional) break;
      Fail("Left parentheses expected after " + shown + " data type, instead found '");
    }
    NextToken();
    SetSlot(node, 1, ParsePrimary(flags));
    const std::string rightStem = "Right parentheses expected after " + shown + " data type arguments, instead found '";
    if (found->Args == TTypeArgs::Optional && IsSymbol(',')) {
      NextToken();
      SetSlot(node, 2, ParsePrimary(flags));
      Expect(')', rightStem);
    } else if (found->Args == TTypeArgs::Optional && !IsSymbol(')')) {
      Fail("Comma expected after first " + shown + " argument, instead found '");
    } else {
      Expect(')', rightStem);
    }
    break;
  }
  case TTypeArgs::Blob:
    if (!IsSymbol('(')) break;
    NextToken();
    SetSlot(node, 1, ParsePrimary(flags));
    Expect(',', "Comma expected after first BLOB argument, instead found '");
    SetSlot(node, 2, ParsePrimary(flags));
    Expect(')', "Right parentheses expected after BLOB data type arguments, instead found '");
    node.SubType = st::None;
    break;
  }
  return true;
}

}  // namespace quarry
