// Type checking: column resolution, string constants as columns, date constants, the
// boolean column rewrite, sub-selects through the owner, and every mismatch message.
#include "engine/sql/type_checker.h"

#include <gtest/gtest.h>

#include "engine/sql/expression_test_support.h"

namespace quarry {
namespace {

using namespace testing_support;

struct TCheckCase {
  const char* Text;
  const char* Detail;
  bool Sql = false;
};

class CheckErrors : public ::testing::TestWithParam<TCheckCase> {
 protected:
  TExprTable Table;
};

TEST_P(CheckErrors, MessageAndCode) {
  const auto& c = GetParam();
  TRunOptions o = c.Sql ? SqlWhere() : TRunOptions{};
  o.Flags |= pf::Aggregates;
  int code = 0;
  EXPECT_EQ(CheckError(Table, c.Text, o, &code), c.Detail) << c.Text;
  EXPECT_EQ(code, c.Sql ? kSqlErrorCode : kFilterErrorCode) << c.Text;
}

INSTANTIATE_TEST_SUITE_P(
    Operands, CheckErrors,
    ::testing::Values(
        TCheckCase{"NOPE = 1",
                   "Invalid column name 'NOPE' or table correlation name '' specified in filter expression"},
        TCheckCase{"X.NAME = 'a'",
                   "Invalid column name 'NAME' or table correlation name 'X' specified in filter expression"},
        TCheckCase{"NAME = 1", "Type mismatch between column 'NAME' and constant '1' in filter expression"},
        TCheckCase{"NULL = AGE", "Type mismatch between constant 'NULL' and column 'AGE' in filter expression"},
        TCheckCase{"AGE + 1 = NAME", "Type mismatch between expression '+' and column 'NAME' in filter expression"},
        TCheckCase{"UPPER(NAME) = 1", "Type mismatch between function 'UPPER' and constant '1' in filter expression"},
        TCheckCase{"V.YEAR BETWEEN '1990' AND '1999'",
                   "Invalid column name 'YEAR' or table correlation name 'V' specified in WHERE or JOIN clause", true},
        TCheckCase{"AGE BETWEEN '1990' AND '1999'",
                   "Type mismatch between BETWEEN operator and expression '1990' in WHERE or JOIN clause", true},
        TCheckCase{"AGE NOT BETWEEN 1 AND 'x'",
                   "Type mismatch between NOT BETWEEN operator and expression 'x' in filter expression"},
        TCheckCase{"AGE IN (1, 'x')", "Type mismatch between IN operator and expression 'x' in filter expression"},
        TCheckCase{"AGE NOT IN ('x')", "Type mismatch between NOT IN operator and expression 'x' in filter expression"},
        TCheckCase{"BORN = '1999-02-30'",
                   "Date, time, or timestamp expression expected, instead found '1999-02-30' in filter expression"},
        TCheckCase{"'10:61' > WAKE",
                   "Date, time, or timestamp expression expected, instead found '10:61' in filter expression"},
        TCheckCase{"SEEN = 'tomorrow'",
                   "Date, time, or timestamp expression expected, instead found 'tomorrow' in filter expression"},
        TCheckCase{"CURRENT_DATE = NAME",
                   "Date, time, or timestamp expression expected, instead found 'NAME' in filter expression"},
        TCheckCase{"BORN IN ('1999-13-01')",
                   "Date, time, or timestamp expression expected, instead found '1999-13-01' in filter expression"},
        TCheckCase{"BORN = NAME", "Type mismatch between column 'BORN' and column 'NAME' in filter expression"},
        TCheckCase{"BORN = WAKE", "Type mismatch between column 'BORN' and column 'WAKE' in filter expression"},
        TCheckCase{"NOT AGE", "Type mismatch between 'NOT' operator and 'AGE' in filter expression"},
        TCheckCase{"-NAME = 'x'", "Type mismatch between '-' operator and 'NAME' in filter expression"},
        TCheckCase{"-COUNTER = 1", "Type mismatch between '-' operator and 'COUNTER' in filter expression"},
        TCheckCase{"AGE LIKE 'x'", "Type mismatch between LIKE operator and expression 'AGE' in filter expression"},
        TCheckCase{"NAME NOT LIKE 1",
                   "Type mismatch between NOT LIKE operator and expression '1' in filter expression"},
        TCheckCase{"NAME + AGE = 'x'", "Type mismatch between column 'NAME' and column 'AGE' in filter expression"},
        TCheckCase{"BORN + 1.5 = BORN", "Type mismatch between column 'BORN' and constant '1.5' in filter expression"},
        TCheckCase{"ACTIVE > FLAG", "Type mismatch between column 'ACTIVE' and column 'FLAG' in filter expression"},
        TCheckCase{"DATA > DATA", "Type mismatch between column 'DATA' and column 'DATA' in filter expression"},
        TCheckCase{"PICTURE = PICTURE",
                   "Type mismatch between column 'PICTURE' and column 'PICTURE' in filter expression"},
        TCheckCase{"AGE AND ACTIVE", "Type mismatch between column 'AGE' and expression '=' in filter expression"},
        TCheckCase{"WAKE - BORN = 1", "Type mismatch between column 'WAKE' and column 'BORN' in filter expression"},
        TCheckCase{"NAME * 2 = 1", "Type mismatch between column 'NAME' and constant '2' in filter expression"}));

INSTANTIATE_TEST_SUITE_P(
    Functions, CheckErrors,
    ::testing::Values(
        TCheckCase{"UPPER(AGE) = 'X'",
                   "Type mismatch between UPPER function and function argument in filter expression"},
        TCheckCase{"lower(AGE) = 'X'",
                   "Type mismatch between LOWER function and function argument in filter expression"},
        TCheckCase{"LENGTH(AGE) = 1",
                   "Type mismatch between LENGTH function and function argument in filter expression"},
        TCheckCase{"SUBSTRING(AGE FROM 1) = 'x'",
                   "Expression argument of SUBSTRING function must be a string or memo in filter expression"},
        TCheckCase{"SUBSTRING(NAME FROM 'a') = 'x'",
                   "FROM argument of SUBSTRING function must be an integer value in filter expression"},
        TCheckCase{"SUBSTRING(NAME FROM 1 FOR 1.5) = 'x'",
                   "FOR argument of SUBSTRING function must be an integer value in filter expression"},
        TCheckCase{"REPLACE('a' WITH 'b' IN AGE) = 'x'",
                   "IN argument of REPLACE function must be a string or memo in filter expression"},
        TCheckCase{"REPLACE(1 WITH 'b' IN NAME) = 'x'",
                   "Type mismatch between REPLACE function and search string argument in filter expression"},
        TCheckCase{"REPLACE('a' WITH 1 IN NAME) = 'x'",
                   "Type mismatch between REPLACE function and replacement string argument in filter expression"},
        TCheckCase{"POS('a' IN AGE) = 1", "Type mismatch between POS function and IN argument in filter expression"},
        TCheckCase{"POS(1 IN NAME) = 1",
                   "Type mismatch between POS function and search string argument in filter expression"},
        TCheckCase{"OCCURS('a' IN AGE) = 1",
                   "Type mismatch between OCCURS function and IN argument in filter expression"},
        TCheckCase{"OCCURS(1 IN NAME) = 1",
                   "Type mismatch between OCCURS function and search string argument in filter expression"},
        TCheckCase{"TRIM(BOTH '--' FROM NAME) = 'x'",
                   "Trim character argument of TRIM function must be a single character constant in filter expression"},
        TCheckCase{"TRIM(BOTH RATING FROM NAME) = 'x'",
                   "Trim character argument of TRIM function must be a single character constant in filter expression"},
        TCheckCase{"TRIM(BOTH '-' FROM AGE) = 'x'",
                   "FROM argument of TRIM function must be a string or memo in filter expression"},
        TCheckCase{"EXTRACT(YEAR FROM NAME) = 1",
                   "FROM argument of EXTRACT function must be a date, time, or timestamp in filter expression"},
        TCheckCase{"EXTRACT(YEAR FROM 'x') = 1",
                   "FROM argument of EXTRACT function must be a date, time, or timestamp in filter expression"},
        TCheckCase{"CAST(1.5 AS BOOLEAN)", "Type mismatch between constant '1.5' and AS argument in filter expression"},
        TCheckCase{"CAST(BORN AS INTEGER) = 1",
                   "Type mismatch between column 'BORN' and AS argument in filter expression"},
        TCheckCase{"CAST(WAKE AS DATE) = BORN",
                   "Type mismatch between column 'WAKE' and AS argument in filter expression"},
        TCheckCase{
            "CAST('x' AS CHAR(300)) = 'x'",
            "Length argument must be an integer greater than 0 and less than or equal to 250 in filter expression"},
        TCheckCase{
            "CAST('x' AS CHAR(0)) = 'x'",
            "Length argument must be an integer greater than 0 and less than or equal to 250 in filter expression"},
        TCheckCase{
            "CAST('x' AS VARBYTES(251)) = DATA",
            "Length argument must be an integer greater than 0 and less than or equal to 250 in filter expression"},
        TCheckCase{"CAST('x' AS CHAR('a')) = 'x'", "Length argument must be an integer in filter expression"},
        TCheckCase{"CAST(1 AS DECIMAL(10, 5)) = 1",
                   "Scale argument must be an integer less than or equal to 4 but greater than or equal to 0 for the "
                   "BCD data type filter expression"},
        TCheckCase{"CAST(1 AS DECIMAL(10, 'a')) = 1", "Scale argument must be an integer in filter expression"},
        TCheckCase{"CAST(NAME AS BLOB(1, 4)) = 'x'",
                   "BLOB type argument must be an integer with a value of 1,2,3,5, or 7 in filter expression"},
        TCheckCase{"CAST(NAME AS BLOB('a', 1)) = 'x'",
                   "First BLOB type argument must be an integer in filter expression"},
        TCheckCase{"CAST(NAME AS BLOB(1, 'a')) = 'x'", "BLOB type argument must be an integer in filter expression"},
        TCheckCase{"IF(AGE THEN 1 ELSE 2) = 1",
                   "First expression argument of IF function must be a boolean type in filter expression"},
        TCheckCase{"IF(ACTIVE THEN NULL ELSE NULL) = 1",
                   "At least one of the IF expression arguments in filter expression must be a non-NULL value"},
        TCheckCase{"IF(ACTIVE THEN 1 ELSE 'x') = 1",
                   "Type mismatch between IF expression arguments in filter expression"},
        TCheckCase{"IFNULL(AGE, NULL, NULL) = 1",
                   "At least one of the IFNULL expression arguments in filter expression must be a non-NULL value"},
        TCheckCase{"IFNULL(AGE, BORN, 1) = 1",
                   "Type mismatch between IFNULL expression arguments in filter expression"},
        TCheckCase{"COALESCE(NULL, NULL) = 1",
                   "At least one of the COALESCE expression arguments in filter expression must be a non-NULL value"},
        TCheckCase{"COALESCE(AGE, 'x') = 1",
                   "Type mismatch between COALESCE expression arguments in filter expression"},
        TCheckCase{
            "ABS(NAME) = 1",
            "Expression argument of ABS function must be an integer, floating-point, or BCD type in filter expression"},
        TCheckCase{"ROUND(AGE) = 1",
                   "Expression argument of ROUND function must be a floating-point or BCD type in filter expression"},
        TCheckCase{"ROUND(PRICE TO AGE) = 1",
                   "Decimal places argument of ROUND function must be an integer constant in filter expression"},
        TCheckCase{"ROUND(1.005 TO 33) = 1",
                   "Decimal places argument of ROUND function must be an integer constant between 0 and 32 in filter "
                   "expression"},
        TCheckCase{"TEXTSEARCH(1 IN NAME)",
                   "Type mismatch between TEXTSEARCH function and search text function argument in filter expression"},
        TCheckCase{"TEXTSEARCH(RATING IN NAME)",
                   "TEXTSEARCH search text function argument must be a string constant in filter expression"},
        TCheckCase{"TEXTSEARCH('a' IN 'x')",
                   "TEXTSEARCH function column argument must be a valid column name in filter expression"},
        TCheckCase{"TEXTSEARCH('a' IN AGE)",
                   "Type mismatch between TEXTSEARCH function and column function argument in filter expression"},
        TCheckCase{"TEXTOCCURS(1 IN NAME) = 1",
                   "Type mismatch between TEXTOCCURS function and search text function argument in filter expression"},
        TCheckCase{"TEXTOCCURS('a' IN 'x') = 1",
                   "TEXTOCCURS function column argument must be a valid column name in filter expression"},
        TCheckCase{"LASTAUTOINC(1) = 1",
                   "Type mismatch between LASTAUTOINC function and table name function argument in filter expression"},
        TCheckCase{"LASTAUTOINC(NAME) = 1",
                   "LASTAUTOINC table name function argument must be a string constant in filter expression"},
        TCheckCase{
            "IDENT_CURRENT(1) = 1",
            "Type mismatch between IDENT_CURRENT function and table name function argument in filter expression"},
        TCheckCase{
            "SUM(NAME) = 1",
            "SUM aggregate function must contain a numeric, date, time, or timestamp expression in filter expression"},
        TCheckCase{"avg(ACTIVE) = 1",
                   "AVG aggregate function must contain a numeric, date, time, or timestamp expression in filter "
                   "expression"}));

std::string CheckRender(TExprTable& table, const char* text, TRunOptions o = TRunOptions{}) {
  return Render(CheckText(table, text, o).get());
}

TEST(TypeChecking, BooleanColumnsMeanColumnEqualsTrue) {
  TExprTable table;
  EXPECT_EQ(CheckRender(table, "ACTIVE"), "=(col:ACTIVE,bool:True)");
  EXPECT_EQ(CheckRender(table, "NOT ACTIVE"), "NOT(=(col:ACTIVE,bool:True))");
  EXPECT_EQ(CheckRender(table, "ACTIVE AND AGE = 1"), "AND(=(col:ACTIVE,bool:True),=(col:AGE,int:1))");
  EXPECT_EQ(CheckRender(table, "AGE = 1 OR FLAG"), "OR(=(col:AGE,int:1),=(col:FLAG,bool:True))");
  EXPECT_EQ(CheckRender(table, "ACTIVE = FLAG"), "=(col:ACTIVE,col:FLAG)");
  EXPECT_EQ(CheckRender(table, "CAST('true' AS BOOLEAN)"), "=(CAST#54(str:true),bool:True)");
  TRunOptions select = SqlWhere();
  select.RewriteBooleanColumns = false;
  EXPECT_EQ(CheckRender(table, "ACTIVE", select), "col:ACTIVE");
}

TEST(TypeChecking, StringConstantsAsColumns) {
  TExprTable table;
  EXPECT_EQ(CheckRender(table, "'AGE' > 40"), ">(col:AGE,int:40)");
  TExpTree tree = CheckText(table, "'AGE' > 40", TRunOptions{});
  EXPECT_EQ(tree->Left->NodeClass, nc::Column);
  EXPECT_TRUE(tree->Left->FromString);
  EXPECT_EQ(tree->Left->DataType, vt::Integer);
  // Both sides read columns: the right one turns back into text.
  EXPECT_EQ(CheckRender(table, "NAME = 'NAME'"), "=(col:NAME,str:NAME)");
  EXPECT_EQ(CheckRender(table, "'NAME' = 'RATING'"), "=(col:NAME,str:RATING)");
  EXPECT_EQ(CheckRender(table, "'NAME' = 'x'"), "=(col:NAME,str:x)");
  EXPECT_EQ(CheckRender(table, "'NAME' + 'RATING' = 'x'"), "=(+(col:NAME,str:RATING),str:x)");
  // LIKE patterns and the values of BETWEEN and IN never name columns.
  EXPECT_EQ(CheckRender(table, "NAME LIKE 'RATING'"), "LIKE(col:NAME,str:RATING)");
  EXPECT_EQ(CheckRender(table, "NAME IN ('RATING')"), "IN(col:NAME,str:RATING)");
  TRunOptions off;
  off.StringsMayBeColumns = false;
  EXPECT_EQ(CheckRender(table, "'NAME' = 'x'", off), "=(str:NAME,str:x)");
}

TEST(TypeChecking, JoinComparisonsKeepStringColumns) {
  TExprTable table;
  TExpTree tree = ParseText("NAME = 'RATING'", TRunOptions{});
  tree->JoinKind = 1;
  TCheckOptions check;
  check.Resolver = table.Source.get();
  CheckExpression(check, tree);
  EXPECT_EQ(Render(tree.get()), "=(col:NAME,col:RATING)");
}

TEST(TypeChecking, DateConstantsTakeTheOtherSidesType) {
  TExprTable table;
  EXPECT_EQ(CheckRender(table, "BORN = '1999-2-3'"), "=(col:BORN,date:1999-02-03)");
  EXPECT_EQ(CheckRender(table, "'1999-2-3' < BORN"), "<(date:1999-02-03,col:BORN)");
  EXPECT_EQ(CheckRender(table, "WAKE > '7:00 AM'"), ">(col:WAKE,time:07:00)");
  EXPECT_EQ(CheckRender(table, "SEEN >= '2004-01-04 10:00'"), "> =(col:SEEN,ts:2004-01-04 10:00)");
  EXPECT_EQ(CheckRender(table, "BORN = ''"), "=(col:BORN,date:NULL)");
  EXPECT_EQ(CheckRender(table, "BORN BETWEEN '1999-01-01' AND '1999-12-31'"),
            "BETWEEN(col:BORN,date:1999-01-01,date:1999-12-31)");
  EXPECT_EQ(CheckRender(table, "EXTRACT(WEEK FROM '2004-01-01')"), "EXTRACT#57(date:2004-01-01)");
}

TEST(TypeChecking, TypeArgumentsOfColumnDefinitions) {
  struct TCase {
    const char* Text;
    uint8_t Type;
    uint8_t SubType;
    int32_t Size;
    uint8_t Scale;
  };
  const TCase cases[] = {{"CHAR(20)", vt::String, 0, 21, 0},
                         {"BYTES(250)", vt::Bytes, 0, 250, 0},
                         {"DECIMAL(10, 4)", vt::Bcd, 0, 34, 4},
                         {"DECIMAL", vt::Bcd, 0, 34, 0},
                         {"BLOB(512, 5)", vt::Blob, st::Graphic, 8, 0},
                         {"BLOB", vt::Blob, st::Binary, 8, 0},
                         {"DATE", vt::Date, 0, 4, 0},
                         {"BOOLEAN", vt::Boolean, 0, 2, 0},
                         {"LARGEINT", vt::LargeInt, 0, 8, 0},
                         {"MONEY", vt::Float, st::Money, 8, 0}};
  for (const auto& c : cases) {
    TExpressionParser parser;
    parser.SetText(c.Text);
    parser.NextToken();
    TExpTree node = NewToken();
    parser.ParseDataType(*node, 0, false);
    FinishDataType(*node, kSqlErrorCode, "", "table column");
    EXPECT_EQ(node->DataType, c.Type) << c.Text;
    EXPECT_EQ(node->SubType, c.SubType) << c.Text;
    EXPECT_EQ(node->ValueSize, c.Size) << c.Text;
    EXPECT_EQ(node->Scale, c.Scale) << c.Text;
  }
}

// An owner standing in for the SQL statement: one nested query of a given shape.
class TQueryOwner : public TExpressionOwner {
 public:
  int Columns = 1;
  uint8_t ColumnType = vt::Integer;
  std::vector<int64_t> Rows{1, 2, 3};
  std::string Registered;
  TDataQuery* const Query = reinterpret_cast<TDataQuery*>(this);

  TDataQuery* ParseSubSelect(TExpressionParser& parser) override {
    while (parser.TokenKind() != tk::End && !parser.IsSymbol(')')) parser.NextToken();
    return Query;
  }
  int SubSelectColumns(TDataQuery* query, TExpToken& type) override {
    EXPECT_EQ(query, Query);
    type.SetType(ColumnType, 0, 4);
    return Columns;
  }
  TSubSelectMatch SubSelectContains(TDataQuery*, const TExpToken& value) override {
    for (int64_t row : Rows)
      if (!value.IsNull && ValueAsInt64(value) == row) return TSubSelectMatch::Yes;
    return TSubSelectMatch::No;
  }
  TSourceTable* RegisterAutoIncTable(const std::string& name) override {
    Registered = name;
    return reinterpret_cast<TSourceTable*>(this);
  }
  int32_t LastAutoIncValue(TSourceTable* table, const std::string& name) override {
    return table == reinterpret_cast<TSourceTable*>(this) && name == "VIDEOS" ? 1234 : -1;
  }
  bool TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences) override {
    found = column.ColumnName == "NAME" && words == "Smith";
    occurrences = found ? 2 : 0;
    return true;
  }
};

std::string RunWithOwner(TExprTable& table, TQueryOwner& owner, const char* text) {
  TRunOptions o = SqlWhere();
  o.Flags |= pf::SubSelects;
  try {
    TExpTree tree = ParseText(text, o, &owner);
    TCheckOptions check;
    check.Resolver = table.Source.get();
    check.Owner = &owner;
    check.Context = "WHERE or JOIN clause";
    CheckExpression(check, tree);
    TExpTree prepared = PrepareExpression(*tree, {.Owner = &owner, .Provider = table.Source.get()});
    TExpTree v = EvaluateExpression(*prepared, table.Record.data(), &owner, 0, 0, table.Source.get());
    return v->IsNull ? "NULL" : ValueAsText(*v);
  } catch (const EQuarryEngineError& e) {
    return e.Detail();
  }
}

TEST(TypeChecking, SubSelectsAndOwnerHooks) {
  TExprTable table;
  TQueryOwner owner;
  owner.Rows = {42};
  EXPECT_EQ(RunWithOwner(table, owner, "AGE IN (SELECT X FROM U)"), "True");
  EXPECT_EQ(RunWithOwner(table, owner, "AGE NOT IN (SELECT X FROM U)"), "False");
  EXPECT_EQ(RunWithOwner(table, owner, "LASTAUTOINC('VIDEOS')"), "1234");
  EXPECT_EQ(owner.Registered, "VIDEOS");
  EXPECT_EQ(RunWithOwner(table, owner, "TEXTSEARCH('Smith' IN NAME)"), "True");
  EXPECT_EQ(RunWithOwner(table, owner, "TEXTOCCURS('Smith' IN NAME) = 2"), "True");
  owner.Columns = 2;
  EXPECT_EQ(RunWithOwner(table, owner, "AGE IN (SELECT X, Y FROM U)"),
            "More than 1 column for sub-select  specified in WHERE or JOIN clause");
  owner.Columns = 1;
  owner.ColumnType = vt::String;
  EXPECT_EQ(RunWithOwner(table, owner, "AGE IN (SELECT X FROM U)"),
            "Type mismatch between IN operator and sub-select column in WHERE or JOIN clause");
}

TEST(TypeChecking, UnboundParametersFitAnywhere) {
  TExprTable table;
  TRunOptions o = SqlWhere();
  EXPECT_EQ(CheckError(table, "AGE = ? AND NAME LIKE ? AND UPPER(?) = 'X'", o), "");
}

TEST(TypeChecking, MessagesAreCutTo255Characters) {
  TExprTable table;
  const std::string longName(400, 'Q');
  const std::string detail = CheckError(table, longName + " = 1", TRunOptions{});
  EXPECT_EQ(detail.size(), 255u);
  EXPECT_EQ(detail.substr(0, 21), "Invalid column name '");
}

}  // namespace
}  // namespace quarry
