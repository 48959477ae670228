// Parser: tree shapes over every precedence level, node kind and function form, and
// every parse error message with its code.
#include "engine/sql/expression_parser.h"

#include <gtest/gtest.h>

#include "engine/sql/expression_test_support.h"

namespace quarry {
namespace {

using testing_support::Render;

constexpr uint8_t kAll = pf::Aggregates | pf::AllColumns | pf::Predicates | pf::Parameters | pf::SubSelects;

std::string ParseRender(const std::string& text, uint8_t flags = kAll, std::string* rest = nullptr) {
  TExpressionParser parser;
  parser.ContextName = "SQL statement";
  parser.SetText(text);
  parser.NextToken();
  TExpTree tree = parser.ParseExpression(flags);
  if (rest) *rest = parser.TokenText();
  return Render(tree.get());
}

struct TShape {
  const char* Text;
  const char* Tree;
};

class ParserShapes : public ::testing::TestWithParam<TShape> {};

TEST_P(ParserShapes, Tree) { EXPECT_EQ(ParseRender(GetParam().Text), GetParam().Tree) << GetParam().Text; }

INSTANTIATE_TEST_SUITE_P(
    Precedence, ParserShapes,
    ::testing::Values(
        TShape{"a OR b AND c", "OR(col:a,AND(col:b,col:c))"}, TShape{"a AND b OR c", "OR(AND(col:a,col:b),col:c)"},
        TShape{"a OR b OR c", "OR(OR(col:a,col:b),col:c)"}, TShape{"NOT a = 1 AND b", "AND(NOT(=(col:a,int:1)),col:b)"},
        TShape{"NOT NOT x", "NOT(col:NOT)"}, TShape{"NOT (NOT x)", "NOT(NOT(col:x))"},
        TShape{"a + b * c", "+(col:a,*(col:b,col:c))"}, TShape{"a - b - c", "-(-(col:a,col:b),col:c)"},
        TShape{"a / b * c", "*(/(col:a,col:b),col:c)"}, TShape{"(a + b) * c", "*(+(col:a,col:b),col:c)"},
        TShape{"a || b | | c", "||(||(col:a,col:b),col:c)"}, TShape{"-(-1)", "-(-(int:1))"}, TShape{"+a", "+(col:a)"},
        TShape{"a + 1 = b * 2", "=(+(col:a,int:1),*(col:b,int:2))"}, TShape{"x <   >  y", "< >(col:x,col:y)"},
        TShape{"x < /* c */ = y", "< =(col:x,col:y)"}, TShape{"x > = y", "> =(col:x,col:y)"},
        TShape{"x >= y", "> =(col:x,col:y)"}, TShape{"x > y", ">(col:x,col:y)"}, TShape{"x < y", "<(col:x,col:y)"},
        TShape{"(C.CASTMEMBERID = 12) AND ((V.INDUSTRYRATING = \"G\") OR (V.INDUSTRYRATING = \"PG\"))",
               "AND(=(col:C.CASTMEMBERID,int:12),OR(=(col:V.INDUSTRYRATING,str:G),=(col:V.INDUSTRYRATING,str:PG)))"}));

INSTANTIATE_TEST_SUITE_P(
    Predicates, ParserShapes,
    ::testing::Values(TShape{"V.YEAR BETWEEN \"1990\" AND \"1999\"", "BETWEEN(col:V.YEAR,str:1990,str:1999)"},
                      TShape{"V.YEAR BETWEEN '1990' AND '1999'", "BETWEEN(col:V.YEAR,str:1990,str:1999)"},
                      TShape{"a NOT BETWEEN 1 AND 2 + 3", "NOT BETWEEN(col:a,int:1,+(int:2,int:3))"},
                      TShape{"a LIKE 'x%'", "LIKE(col:a,str:x%)"}, TShape{"a NOT LIKE 'x%'", "NOT LIKE(col:a,str:x%)"},
                      TShape{"a IN (1, 2, 3)", "IN(col:a,int:1,int:2,int:3)"},
                      TShape{"a NOT IN ('x')", "NOT IN(col:a,str:x)"}, TShape{"a IS NULL", "=(col:a,null)"},
                      TShape{"a IS NOT NULL", "< >(col:a,null)"}, TShape{"a = NULL", "=(col:a,null)"}));

INSTANTIATE_TEST_SUITE_P(Primaries, ParserShapes,
                         ::testing::Values(TShape{"2147483647", "int:2147483647"},
                                           TShape{"2147483648", "big:2147483648"},
                                           TShape{"9223372036854775807", "big:9223372036854775807"},
                                           TShape{"9223372036854775808", "float:9223372036854775808"},
                                           TShape{"1.5e3", "float:1500"}, TShape{".25", "float:0.25"},
                                           TShape{"#65", "str:A"}, TShape{"#233", "str:\xC3\xA9"},
                                           TShape{"''", "str:NULL"}, TShape{"'it''s'", "str:it's"},
                                           TShape{"\"say \"\"x\"\"\"", "str:say \"x\""}, TShape{"TRUE", "bool:True"},
                                           TShape{"false", "bool:False"}, TShape{"NULL", "null"}, TShape{"?", "param"},
                                           TShape{"*", "col:*"}, TShape{"T.*", "col:T.*"},
                                           TShape{"[my col]", "col:my col"}, TShape{"[V].[LENGTH]", "col:V.LENGTH"},
                                           TShape{"V.LENGTH", "col:V.LENGTH"}, TShape{"'V'.'NAME'", "col:V.NAME"},
                                           TShape{"\"V\".\"NAME\"", "col:V.NAME"}, TShape{"YEAR", "col:YEAR"}));

INSTANTIATE_TEST_SUITE_P(
    Functions, ParserShapes,
    ::testing::Values(
        TShape{"COUNT(*)", "COUNT#25(col:*)"}, TShape{"sum(a + 1)", "SUM#23(+(col:a,int:1))"},
        TShape{"RUNSUM(a)", "RUNSUM#24(col:a)"}, TShape{"MIN(a)", "MIN#26(col:a)"}, TShape{"MAX(a)", "MAX#27(col:a)"},
        TShape{"AVG(a)", "AVG#28(col:a)"}, TShape{"UPPER(a)", "UPPER#36(col:a)"}, TShape{"LOWER(a)", "LOWER#37(col:a)"},
        TShape{"LENGTH(a)", "LENGTH#53(col:a)"}, TShape{"SUBSTRING(a FROM 2)", "SUBSTRING#46(col:a,int:2)"},
        TShape{"SUBSTRING(a FROM 2 FOR 3)", "SUBSTRING#46(col:a,int:2,int:3)"},
        TShape{"REPLACE('a' WITH 'b' IN c)", "REPLACE#47(str:a,str:b,col:c)"},
        TShape{"POS('a' IN c)", "POS#48(str:a,col:c)"}, TShape{"OCCURS('a' IN c)", "OCCURS#49(str:a,col:c)"},
        TShape{"TRIM(LEADING '-' FROM c)", "TRIM#50(str:-,col:c)"},
        TShape{"TRIM(TRAILING '-' FROM c)", "TRIM#51(str:-,col:c)"},
        TShape{"TRIM(BOTH '-' FROM c)", "TRIM#52(str:-,col:c)"}, TShape{"CAST(a AS INTEGER)", "CAST#54(col:a)"},
        TShape{"CAST(a AS CHAR(10))", "CAST#54(col:a,int:10)"},
        TShape{"CAST(a AS DECIMAL(10, 2))", "CAST#54(col:a,int:10,int:2)"},
        TShape{"EXTRACT(YEAR FROM d)", "EXTRACT#55(col:d)"}, TShape{"EXTRACT(DAYOFWEEK FROM d)", "EXTRACT#59(col:d)"},
        TShape{"EXTRACT(SECOND FROM d)", "EXTRACT#63(col:d)"},
        TShape{"IF(a = 1 THEN 'x' ELSE 'y')", "IF#64(=(col:a,int:1),str:x,str:y)"},
        TShape{"IF(a LIKE 'x', 1, 2)", "IF#64(LIKE(col:a,str:x),int:1,int:2)"},
        TShape{"IFNULL(a THEN 1 ELSE 2)", "IFNULL#66(col:a,int:1,int:2)"},
        TShape{"COALESCE(a, b, 'c')", "COALESCE#65(col:a,col:b,str:c)"}, TShape{"ABS(-a)", "ABS#67(-(col:a))"},
        TShape{"ROUND(a)", "ROUND#68(col:a)"}, TShape{"ROUND(a TO 2)", "ROUND#68(col:a,int:2)"},
        TShape{"TEXTSEARCH('w' IN c)", "TEXTSEARCH#69(str:w,col:c)"},
        TShape{"TEXTOCCURS('w' IN c)", "TEXTOCCURS#70(str:w,col:c)"},
        TShape{"LASTAUTOINC('T')", "LASTAUTOINC#71(str:T)"}, TShape{"IDENT_CURRENT('T')", "IDENT_CURRENT#72(str:T)"}));

TEST(Parser, StopsAtTheFirstTokenThatCannotContinue) {
  std::string rest;
  EXPECT_EQ(ParseRender("a = b = c", kAll, &rest), "=(col:a,col:b)");
  EXPECT_EQ(rest, "=");
  EXPECT_EQ(ParseRender("a b", kAll, &rest), "col:a");
  EXPECT_EQ(rest, "b");
}

TEST(Parser, QualifierIsReducedToTheTableFileName) {
  EXPECT_EQ(QualifierTableName("VIDEOS"), "VIDEOS");
  EXPECT_EQ(QualifierTableName("c:\\data\\videos.dat"), "videos");
  EXPECT_EQ(QualifierTableName("/srv/data/Videos.DAT"), "Videos");
  TExpressionParser parser;
  parser.SetText("[d:\\x\\VIDEOS.DAT].TITLE");
  parser.NextToken();
  TExpTree tree = parser.ParseExpression(0);
  EXPECT_EQ(tree->TableName, "VIDEOS");
  EXPECT_EQ(tree->ColumnName, "TITLE");
}

TEST(Parser, PresetTypes) {
  struct TCase {
    const char* Text;
    uint8_t Type;
    int32_t Size;
  };
  const TCase cases[] = {{"1 = 1", vt::Boolean, 2},       {"a AND b", vt::Boolean, 2},
                         {"2147483647", vt::Integer, 4},  {"2147483648", vt::LargeInt, 8},
                         {"1.5", vt::Float, 8},           {"'abc'", vt::String, 4},
                         {"LENGTH(a)", vt::Integer, 4},   {"CURRENT_DATE", vt::Date, 4},
                         {"CURRENT_TIME()", vt::Time, 4}, {"CURRENT_TIMESTAMP", vt::Timestamp, 8},
                         {"-1.5", vt::Float, 8},          {"TEXTSEARCH('a' IN b)", vt::Boolean, 2},
                         {"a IN (1)", vt::Boolean, 2},    {"CAST(a AS DATE)", vt::Date, 0}};
  for (const auto& c : cases) {
    TExpressionParser parser;
    parser.SetText(c.Text);
    parser.NextToken();
    TExpTree tree = parser.ParseExpression(kAll);
    EXPECT_EQ(tree->DataType, c.Type) << c.Text;
    if (c.Size) {
      EXPECT_EQ(tree->ValueSize, c.Size) << c.Text;
    }
  }
}

class TRecordingOwner : public TExpressionOwner {
 public:
  std::vector<TExpToken*> Parameters;
  void AddParameter(TExpToken* node) override { Parameters.push_back(node); }
};

TEST(Parser, ParametersAreReportedInOrder) {
  TRecordingOwner owner;
  TExpressionParser parser(&owner);
  parser.SetText("a = ? AND b IN (?, ?)");
  parser.NextToken();
  TExpTree tree = parser.ParseExpression(pf::Predicates | pf::Parameters);
  ASSERT_EQ(owner.Parameters.size(), 3u);
  EXPECT_EQ(owner.Parameters[0], tree->Left->Right);
  EXPECT_EQ(owner.Parameters[2], tree->Right->Args[2]);
}

TEST(Parser, DataTypes) {
  struct TCase {
    const char* Text;
    uint8_t Type;
    uint8_t SubType;
  };
  const TCase cases[] = {{"SMALLINT", vt::SmallInt, 0},
                         {"WORD", vt::Word, 0},
                         {"INTEGER", vt::Integer, 0},
                         {"INT", vt::Integer, 0},
                         {"LARGEINT", vt::LargeInt, 0},
                         {"AUTOINC", vt::Integer, st::AutoInc},
                         {"DECIMAL", vt::Bcd, 0},
                         {"NUMERIC(10,2)", vt::Bcd, 0},
                         {"FLOAT(5)", vt::Float, 0},
                         {"MONEY", vt::Float, st::Money},
                         {"CHARACTER(3)", vt::String, 0},
                         {"VARCHAR(3)", vt::String, 0},
                         {"BYTES(3)", vt::Bytes, 0},
                         {"BINARY(3)", vt::Bytes, 0},
                         {"VARBYTES(3)", vt::VarBytes, 0},
                         {"VARBINARY(3)", vt::VarBytes, 0},
                         {"DATE", vt::Date, 0},
                         {"TIME", vt::Time, 0},
                         {"TIMESTAMP", vt::Timestamp, 0},
                         {"BOOLEAN", vt::Boolean, 0},
                         {"BOOL", vt::Boolean, 0},
                         {"BIT", vt::Boolean, 0},
                         {"BLOB", vt::Blob, st::Binary},
                         {"BLOB(512, 1)", vt::Blob, 0},
                         {"LONGVARBINARY", vt::Blob, st::Binary},
                         {"LONGVARCHAR", vt::Blob, st::Memo},
                         {"MEMO", vt::Blob, st::Memo},
                         {"GRAPHIC", vt::Blob, st::Graphic}};
  for (const auto& c : cases) {
    TExpressionParser parser;
    parser.SetText(c.Text);
    parser.NextToken();
    TExpTree node = NewToken();
    ASSERT_TRUE(parser.ParseDataType(*node, 0, false)) << c.Text;
    EXPECT_EQ(node->DataType, c.Type) << c.Text;
    EXPECT_EQ(node->SubType, c.SubType) << c.Text;
    EXPECT_EQ(parser.TokenKind(), tk::End) << c.Text;
  }
  TExpressionParser parser;
  parser.SetText("NOTATYPE");
  parser.NextToken();
  TExpTree node = NewToken();
  EXPECT_FALSE(parser.ParseDataType(*node, 0, true));
  EXPECT_TRUE(parser.IsKeyword("NOTATYPE"));
}

struct TParseError {
  const char* Text;
  uint8_t Flags;
  const char* Detail;
};

class ParserErrors : public ::testing::TestWithParam<TParseError> {};

TEST_P(ParserErrors, MessageAndCode) {
  const auto& c = GetParam();
  for (const bool filter : {true, false}) {
    TExpressionParser parser;
    parser.ErrorCode = filter ? kFilterErrorCode : kSqlErrorCode;
    parser.ErrorTableName = filter ? "VIDEOS" : "";
    parser.ContextName = "filter expression";
    parser.SetText(c.Text);
    const std::size_t before = TExpTokenStack::Instance().FreeCount();
    try {
      parser.NextToken();
      TExpTree tree = parser.ParseExpression(c.Flags);
      if (c.Detail[0] == 0 && parser.TokenKind() == tk::End) continue;
      if (parser.TokenKind() != tk::End) parser.FailUnknownSymbol();
      FAIL() << "no error for " << c.Text;
    } catch (const EQuarryEngineError& e) {
      EXPECT_EQ(e.Code(), filter ? kFilterErrorCode : kSqlErrorCode);
      EXPECT_EQ(e.Detail(), c.Detail) << c.Text;
      if (filter) {
        EXPECT_EQ(e.TableName(), "VIDEOS");
      }
    }
    // A failed parse hands every node it made back to the pool.
    EXPECT_GE(TExpTokenStack::Instance().FreeCount(), before) << c.Text;
  }
}

constexpr uint8_t F = pf::Predicates;

INSTANTIATE_TEST_SUITE_P(
    Grammar, ParserErrors,
    ::testing::Values(
        TParseError{"- -1", F, "Unknown or unexpected symbol '-' found in filter expression"},
        TParseError{"a = ", F, "Unknown or unexpected symbol '' found in filter expression"},
        TParseError{")", F, "Unknown or unexpected symbol ')' found in filter expression"},
        TParseError{"a = ,", F, "Unknown or unexpected symbol ',' found in filter expression"},
        TParseError{"(a = 1", F, "Right parentheses expected, instead found '' in filter expression"},
        TParseError{"(a = 1 b", F, "Right parentheses expected, instead found 'b' in filter expression"},
        TParseError{"a BETWEEN 1 OR 2", F,
                    "Expected AND operator in BETWEEN operator, instead found 'OR' in filter expression"},
        TParseError{"a NOT BETWEEN 1, 2", F,
                    "Expected AND operator in NOT BETWEEN operator, instead found ',' in filter expression"},
        TParseError{"a IN 1", F, "Expected left parentheses for IN operator, instead found '1' in filter expression"},
        TParseError{"a NOT IN 1", F,
                    "Expected left parentheses for NOT IN operator, instead found '1' in filter expression"},
        TParseError{"a IN (1, 2", F,
                    "Expected right parentheses after IN operator, instead found '' in filter expression"},
        TParseError{"a NOT IN (1 2)", F,
                    "Expected right parentheses after NOT IN operator, instead found '2' in filter expression"},
        TParseError{"a IN ()", F, "Unknown or unexpected symbol ')' found in filter expression"},
        TParseError{"a IN (SELECT b FROM t)", F, "Sub-select queries are not allowed in filter expression"},
        TParseError{"a IS 1", F, "Unknown or unexpected symbol '1' found in filter expression"},
        TParseError{"a IS NOT x", F, "Unknown or unexpected symbol 'x' found in filter expression"},
        TParseError{"a NOT x", F, "Unknown or unexpected symbol 'x' found in filter expression"},
        TParseError{"a LIKE 'x'", 0,
                    "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in filter expression"},
        TParseError{"a IS NULL", 0,
                    "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in filter expression"},
        TParseError{"a | b", F,
                    "Second concatenation symbol '|' expected after first concatentation symbol, instead found 'b' in "
                    "filter expression"},
        TParseError{"*", F, "* (all columns) symbol is not allowed in filter expression"},
        TParseError{"T.*", F,
                    "Symbol or string expression expected after table correlation name separator '.', instead found "
                    "'*' in filter expression"},
        TParseError{"T.(", F,
                    "Symbol or string expression expected after table correlation name separator '.', instead found "
                    "'(' in filter expression"},
        TParseError{"T.1", F, "Unknown or unexpected symbol '.1' found in filter expression"},
        TParseError{"?", F, "Parameters are not allowed in filter expression"},
        TParseError{"#256", F, "Character constants (#) must be within the range of 0 to 255 in filter expression"},
        TParseError{"#99999999999", F,
                    "Character constants (#) must be within the range of 0 to 255 in filter expression"},
        TParseError{"1.2.3", F, "Constant '1.2.3' is not a valid number  in filter expression"},
        TParseError{"1e999", F, "Constant '1e999' is not a valid number  in filter expression"},
        TParseError{"1E", F, "Constant '1E' is not a valid number  in filter expression"},
        TParseError{"FOO(1)", F, "Unknown or unexpected function 'FOO' found in filter expression"},
        TParseError{"SUM(x)", F, "Aggregate functions are not allowed in filter expression"},
        TParseError{"SUM x", pf::Aggregates,
                    "Left parentheses expected after aggregate function 'SUM', instead found 'x' in filter expression"},
        TParseError{"COUNT(x", pf::Aggregates,
                    "Right parentheses expected after aggregate COUNT function argument, instead found '' in filter "
                    "expression"},
        TParseError{"a = 'x", F, "Missing single quote after '' in filter expression"}));

INSTANTIATE_TEST_SUITE_P(
    FunctionForms, ParserErrors,
    ::testing::Values(
        TParseError{"LOWER a", F,
                    "Left parentheses expected after LOWER keyword, instead found 'a' in filter expression"},
        TParseError{"upper a", F,
                    "Left parentheses expected after UPPER keyword, instead found 'a' in filter expression"},
        TParseError{"LOWER(a b", F,
                    "Right parentheses expected after LOWER function argument, instead found 'b' in filter expression"},
        TParseError{"LENGTH(a", F,
                    "Right parentheses expected after LENGTH function argument, instead found '' in filter expression"},
        TParseError{"ABS(a,", F,
                    "Right parentheses expected after ABS function argument, instead found ',' in filter expression"},
        TParseError{
            "SUBSTRING(a, 1)", F,
            "FROM keyword expected after first SUBSTRING function argument, instead found ',' in filter expression"},
        TParseError{
            "SUBSTRING(a FROM 1 2)", F,
            "Right parentheses expected after SUBSTRING function arguments, instead found '2' in filter expression"},
        TParseError{
            "REPLACE('a' IN b)", F,
            "WITH keyword expected after first REPLACE function argument, instead found 'IN' in filter expression"},
        TParseError{
            "REPLACE('a' WITH 'b' FROM c)", F,
            "IN keyword expected after second REPLACE function argument, instead found 'FROM' in filter expression"},
        TParseError{"POS('a', b)", F,
                    "IN keyword expected after first POS function argument, instead found ',' in filter expression"},
        TParseError{"OCCURS('a' b)", F,
                    "IN keyword expected after first OCCURS function argument, instead found 'b' in filter expression"},
        TParseError{
            "TEXTSEARCH('a' b)", F,
            "IN keyword expected after first TEXTSEARCH function argument, instead found 'b' in filter expression"},
        TParseError{
            "TEXTOCCURS('a' b)", F,
            "IN keyword expected after first TEXTOCCURS function argument, instead found 'b' in filter expression"},
        TParseError{
            "TEXTSEARCH('a' IN b c", F,
            "Right parentheses expected after TEXTSEARCH function argument, instead found 'c' in filter expression"},
        TParseError{
            "CAST(a INTEGER)", F,
            "AS keyword expected after first CAST function argument, instead found 'INTEGER' in filter expression"},
        TParseError{"CAST(a AS FOO)", F, "SQL data type keyword expected, instead found 'FOO' in filter expression"},
        TParseError{"CAST(a AS INTEGER", F,
                    "Right parentheses expected after CAST function arguments, instead found '' in filter expression"},
        TParseError{
            "TRIM('-' FROM a)", F,
            "LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found '-' in filter expression"},
        TParseError{
            "TRIM(BOTH '-' a)", F,
            "FROM keyword expected after second TRIM function argument, instead found 'a' in filter expression"},
        TParseError{"EXTRACT(CENTURY FROM a)", F,
                    "YEAR, MONTH, WEEK, DAY, DAYOFWEEK, DAYOFYEAR, HOUR, MINUTE, or SECOND keyword expected after "
                    "EXTRACT keyword, instead found 'CENTURY' in filter expression"},
        TParseError{
            "EXTRACT(YEAR a)", F,
            "FROM keyword expected after second EXTRACT function argument, instead found 'a' in filter expression"},
        TParseError{
            "ROUND(a TO 2 3)", F,
            "Right parentheses expected after ROUND function arguments, instead found '3' in filter expression"},
        TParseError{"IF(a = 1 ELSE 2)", F,
                    "THEN keyword or comma expected after first IF function argument, instead found 'ELSE' in filter "
                    "expression"},
        TParseError{"IF(a = 1, 2 THEN 3)", F,
                    "ELSE keyword or comma expected after second IF function argument, instead found 'THEN' in filter "
                    "expression"},
        TParseError{"IFNULL(a 1)", F,
                    "THEN keyword or comma expected after first IFNULL function argument, instead found '1' in filter "
                    "expression"},
        TParseError{"IFNULL(a, 1 2)", F,
                    "ELSE keyword or comma expected after second IFNULL function argument, instead found '2' in filter "
                    "expression"},
        TParseError{"IF(a, 1, 2", F,
                    "Right parentheses expected after IF function arguments, instead found '' in filter expression"},
        TParseError{"COALESCE()", F, "Unknown or unexpected symbol ')' found in filter expression"},
        TParseError{
            "COALESCE(a b)", F,
            "Expected right parentheses after COALESCE expression arguments, instead found 'b' in filter expression"},
        TParseError{"CURRENT_DATE(1)", F,
                    "Right parentheses expected after first CURRENT_DATE function parentheses, instead found '1' in "
                    "filter expression"},
        TParseError{"CURRENT_TIME(", F,
                    "Right parentheses expected after first CURRENT_TIME function parentheses, instead found '' in "
                    "filter expression"},
        TParseError{"CURRENT_TIMESTAMP(x)", F,
                    "Right parentheses expected after first CURRENT_TIMESTAMP function parentheses, instead found 'x' "
                    "in filter expression"},
        TParseError{
            "LASTAUTOINC('T'", F,
            "Right parentheses expected after LASTAUTOINC function argument, instead found '' in filter expression"},
        TParseError{"IDENT_CURRENT 'T'", F,
                    "Left parentheses expected after IDENT_CURRENT keyword, instead found 'T' in filter expression"}));

INSTANTIATE_TEST_SUITE_P(
    DataTypeForms, ParserErrors,
    ::testing::Values(
        TParseError{"CAST(a AS CHAR)", F,
                    "Left parentheses expected after CHAR data type, instead found ')' in filter expression"},
        TParseError{"CAST(a AS varchar 5)", F,
                    "Left parentheses expected after varchar data type, instead found '5' in filter expression"},
        TParseError{
            "CAST(a AS CHAR(5, 2))", F,
            "Right parentheses expected after CHAR data type arguments, instead found ',' in filter expression"},
        TParseError{"CAST(a AS DECIMAL(5 2))", F,
                    "Comma expected after first DECIMAL argument, instead found '2' in filter expression"},
        TParseError{
            "CAST(a AS NUMERIC(5, 2 3))", F,
            "Right parentheses expected after NUMERIC data type arguments, instead found '3' in filter expression"},
        TParseError{"CAST(a AS FLOAT(5 2))", F,
                    "Comma expected after first FLOAT argument, instead found '2' in filter expression"},
        TParseError{
            "CAST(a AS float(5, 2 3))", F,
            "Right parentheses expected after FLOAT data type arguments, instead found '3' in filter expression"},
        TParseError{"CAST(a AS BLOB(512))", F,
                    "Comma expected after first BLOB argument, instead found ')' in filter expression"},
        TParseError{
            "CAST(a AS BLOB(512, 1 2))", F,
            "Right parentheses expected after BLOB data type arguments, instead found '2' in filter expression"}));

TEST(Parser, AggregatesAndAllColumnsWhereAllowed) {
  EXPECT_EQ(ParseRender("COUNT(*)", pf::Aggregates | pf::AllColumns | pf::Predicates), "COUNT#25(col:*)");
  EXPECT_EQ(ParseRender("COUNT(T.*)", pf::Aggregates | pf::AllColumns), "COUNT#25(col:T.*)");
}

}  // namespace
}  // namespace quarry
