// Evaluation against a record: every operator and function, NULL propagation, type
// coercion, date/time arithmetic, boundary values, partial comparisons and collation.
#include "engine/sql/expression_evaluator.h"

#include <gtest/gtest.h>

#include "engine/sql/expression_test_support.h"

namespace quarry {
namespace {

using namespace testing_support;

enum class TMode { Filter, FilterNoCase, FilterNoPartial, Sql, SqlEnglish, Select };

TRunOptions OptionsFor(TMode mode) {
  TRunOptions o;
  switch (mode) {
  case TMode::Filter: break;
  case TMode::FilterNoCase: o.CaseInsensitive = true; break;
  case TMode::FilterNoPartial: o.NoPartialCompare = true; break;
  case TMode::Sql: o = SqlWhere(); break;
  case TMode::SqlEnglish:
    o = SqlWhere();
    o.Language = 1033;
    break;
  case TMode::Select:
    o = SqlWhere();
    o.Flags = pf::Aggregates | pf::AllColumns | pf::Predicates;
    o.RewriteBooleanColumns = false;
    break;
  }
  return o;
}

struct TEvalCase {
  const char* Text;
  const char* Expected;
  TMode Mode = TMode::Filter;
};

class Evaluation : public ::testing::TestWithParam<TEvalCase> {
 protected:
  TExprTable Table;
};

TEST_P(Evaluation, Value) {
  const auto& c = GetParam();
  EXPECT_EQ(EvalText(Table, c.Text, OptionsFor(c.Mode)), c.Expected) << c.Text;
}

// The record: NAME Smith, AGE 42, ACTIVE true, BORN 1999-12-31, WAKE 07:30,
// SEEN 2004-01-04 10:15:30, PRICE 9.5 (money), AMOUNT 12.35 (BCD, scale 2), SMALL -7,
// COUNTER 65535, BIG 5000000000, NOTES memo "Memo text", DATA 01 02 03 04, EMPTY NULL,
// ID 77, NOTHING NULL, FLAG false, RATING PG.

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, Evaluation,
    ::testing::Values(
        TEvalCase{"AGE + 1", "43"}, TEvalCase{"AGE - 50", "-8"}, TEvalCase{"AGE * 2", "84"}, TEvalCase{"7 * 2", "14"},
        TEvalCase{"7 / 2", "3.5"}, TEvalCase{"1 / 0", "NULL"}, TEvalCase{"1.5 / 0", "NULL"},
        TEvalCase{"AGE / 0.0", "NULL"}, TEvalCase{"AMOUNT / 0", "NULL"}, TEvalCase{"2147483647 + 1", "-2147483648"},
        TEvalCase{"BIG + 1", "5000000001"}, TEvalCase{"9223372036854775807 + 1", "-9223372036854775808"},
        TEvalCase{"-(2147483648)", "-2147483648"}, TEvalCase{"COUNTER + 1", "65536"}, TEvalCase{"SMALL * SMALL", "49"},
        TEvalCase{"-SMALL", "7"}, TEvalCase{"-AGE", "-42"}, TEvalCase{"-PRICE", "-9.5"}, TEvalCase{"-AMOUNT", "-12.35"},
        TEvalCase{"-NOTHING", "NULL"}, TEvalCase{"+COUNTER", "65535"}, TEvalCase{"AMOUNT + 1", "13.35"},
        TEvalCase{"AMOUNT * 2", "24.70"}, TEvalCase{"AMOUNT - AMOUNT", "0.00"}, TEvalCase{"AMOUNT / 2", "6.18"},
        TEvalCase{"AMOUNT * PRICE", "117.325"}, TEvalCase{"PRICE * 2", "19"}, TEvalCase{"1 + 0.5", "1.5"},
        TEvalCase{"1 + NULL", "NULL"}, TEvalCase{"NOTHING * 3", "NULL"}, TEvalCase{"AGE / NOTHING", "NULL"},
        TEvalCase{"'abc' + EMPTY", "abc"}, TEvalCase{"EMPTY + EMPTY", "NULL"}, TEvalCase{"NAME || '!'", "Smith!"},
        TEvalCase{"NAME + NOTES", "SmithMemo text"}, TEvalCase{"1.7976931348623157e308 * 10", "inf"}));

INSTANTIATE_TEST_SUITE_P(
    DateTime, Evaluation,
    ::testing::Values(
        TEvalCase{"BORN + 1", "2000-01-01"}, TEvalCase{"1 + BORN", "2000-01-01"}, TEvalCase{"BORN - 1", "1999-12-30"},
        TEvalCase{"BORN - BORN", "0"}, TEvalCase{"SEEN - BORN", "1465"}, TEvalCase{"SEEN - WAKE", "9930000"},
        TEvalCase{"CAST('2000-03-01' AS DATE) - CAST('2000-02-01' AS DATE)", "29"}, TEvalCase{"WAKE + 60000", "07:31"},
        TEvalCase{"WAKE - 28800000", "23:30"}, TEvalCase{"WAKE - WAKE", "0"},
        TEvalCase{"SEEN + 1", "2004-01-05 10:15:30"}, TEvalCase{"SEEN - 4", "2003-12-31 10:15:30"},
        TEvalCase{"SEEN - CAST('2004-01-04 10:15:00' AS TIMESTAMP)", "30000"},
        TEvalCase{"CAST('0001-01-01' AS DATE) - 1", "0000-12-31"},
        TEvalCase{"CAST('9999-12-31' AS DATE) + 1", "10000-01-01"},
        TEvalCase{"CAST('9999-12-31 23:59:59.999' AS TIMESTAMP)", "9999-12-31 23:59:59.999"},
        TEvalCase{"CAST('0001-01-01 00:00' AS TIMESTAMP)", "0001-01-01 00:00"},
        TEvalCase{"CAST('23:59:59.999' AS TIME)", "23:59:59.999"}, TEvalCase{"CAST('10:30 PM' AS TIME)", "22:30"},
        TEvalCase{"CAST('12:00 AM' AS TIME)", "00:00"}, TEvalCase{"CAST('12:15 pm' AS TIME)", "12:15"},
        TEvalCase{"CAST('10:30' AS TIMESTAMP)", "1899-12-30 10:30"},
        TEvalCase{"CURRENT_DATE + 1 - CURRENT_DATE", "1"}));

INSTANTIATE_TEST_SUITE_P(
    Comparisons, Evaluation,
    ::testing::Values(
        TEvalCase{"AGE = 42", "True"}, TEvalCase{"AGE = 42.9", "True"}, TEvalCase{"AGE > 41.5", "True"},
        TEvalCase{"SMALL = 100000", "False"}, TEvalCase{"COUNTER = -1", "False"}, TEvalCase{"COUNTER = 65535", "True"},
        TEvalCase{"BIG > 2147483647", "True"}, TEvalCase{"AMOUNT = 12.35", "True"}, TEvalCase{"AMOUNT > 12", "True"},
        TEvalCase{"PRICE = AMOUNT", "False"}, TEvalCase{"SMALL < COUNTER", "True"}, TEvalCase{"NOTHING = NULL", "True"},
        TEvalCase{"NOTHING <> NULL", "False"}, TEvalCase{"AGE = NULL", "False"}, TEvalCase{"AGE <> NULL", "True"},
        TEvalCase{"NOTHING IS NULL", "True"}, TEvalCase{"AGE IS NOT NULL", "True"}, TEvalCase{"NOTHING > 1", "False"},
        TEvalCase{"NOTHING < 1", "False"}, TEvalCase{"NOTHING >= NOTHING", "True"}, TEvalCase{"EMPTY > ''", "False"},
        TEvalCase{"EMPTY >= ''", "True"}, TEvalCase{"NAME > ''", "True"}, TEvalCase{"BORN = '1999-12-31'", "True"},
        TEvalCase{"BORN = '1999-12-31'", "True", TMode::Sql}, TEvalCase{"BORN < SEEN", "True"},
        TEvalCase{"SEEN > '2004-01-04'", "True"}, TEvalCase{"BORN = CAST('1999-12-31 23:00' AS TIMESTAMP)", "True"},
        TEvalCase{"WAKE < '08:00'", "True"}, TEvalCase{"ACTIVE = TRUE", "True"}, TEvalCase{"FLAG <> ACTIVE", "True"},
        TEvalCase{"DATA = DATA", "True"}, TEvalCase{"NOTES = 'Memo text'", "True"}, TEvalCase{"RATING = 'PG'", "True"},
        TEvalCase{"RATING = 'pg'", "False"}, TEvalCase{"RATING = 'pg'", "True", TMode::FilterNoCase},
        TEvalCase{"RATING = \"pg\"", "False", TMode::Sql}, TEvalCase{"RATING = 'pg'", "False", TMode::SqlEnglish},
        TEvalCase{"'caf\xC3\xA9' = 'cafe'", "False"}, TEvalCase{"'caf\xC3\xA9' = 'cafe'", "True", TMode::SqlEnglish},
        TEvalCase{"'b' > 'a'", "True", TMode::SqlEnglish}, TEvalCase{"NAME = 'NAME'", "False"},
        TEvalCase{"'NAME' = 'Smith'", "True"}));

INSTANTIATE_TEST_SUITE_P(
    PartialAndLike, Evaluation,
    ::testing::Values(TEvalCase{"NAME = 'Smi*'", "True"}, TEvalCase{"NAME = 'Smi*'", "False", TMode::FilterNoPartial},
                      TEvalCase{"NAME = 'Smi*'", "False", TMode::Sql},
                      TEvalCase{"NAME = 'smi*'", "True", TMode::FilterNoCase}, TEvalCase{"NAME = 'Smi'", "False"},
                      TEvalCase{"NAME = '*'", "True"}, TEvalCase{"EMPTY = '*'", "False"},
                      TEvalCase{"NAME <> 'Smi*'", "False"}, TEvalCase{"NAME = 'Smith**'", "True"},
                      TEvalCase{"NAME = 'S*h*'", "False"}, TEvalCase{"NAME = 'Smithy*'", "False"},
                      TEvalCase{"EMPTY <> 'x*'", "True"}, TEvalCase{"NAME LIKE 'Smi%'", "True"},
                      TEvalCase{"NAME LIKE '%ith'", "True"}, TEvalCase{"NAME LIKE 'S_ith'", "True"},
                      TEvalCase{"NAME LIKE 's%'", "False"}, TEvalCase{"NAME LIKE '%'", "True"},
                      TEvalCase{"EMPTY LIKE '%'", "False"}, TEvalCase{"EMPTY LIKE 'x'", "False"},
                      TEvalCase{"EMPTY NOT LIKE 'x'", "True"}, TEvalCase{"NAME NOT LIKE 'Smi%'", "False"},
                      TEvalCase{"NAME LIKE 'S_i%'", "True"}, TEvalCase{"NAME LIKE 'X_i%'", "False"},
                      TEvalCase{"NAME LIKE 'Sm%h'", "True"}, TEvalCase{"NAME LIKE '%m%t%'", "True"},
                      TEvalCase{"NAME LIKE 'Smith_'", "False"}, TEvalCase{"NAME LIKE '%%'", "True"},
                      TEvalCase{"NAME LIKE 'Smith'", "True"}, TEvalCase{"NOTES LIKE 'Memo%'", "True"},
                      TEvalCase{"'caf\xC3\xA9' LIKE 'caf_'", "True"},
                      TEvalCase{"'caf\xC3\xA9' LIKE 'cafe'", "True", TMode::SqlEnglish},
                      TEvalCase{"NAME LIKE 'smith'", "False", TMode::SqlEnglish}));

INSTANTIATE_TEST_SUITE_P(
    PredicatesAndLogic, Evaluation,
    ::testing::Values(TEvalCase{"AGE IN (1, 42)", "True"}, TEvalCase{"AGE NOT IN (1, 42)", "False"},
                      TEvalCase{"AGE IN (1.5, 42.2)", "True"}, TEvalCase{"NOTHING IN (1, NULL)", "True"},
                      TEvalCase{"RATING IN ('G', 'PG')", "True"}, TEvalCase{"BORN IN ('1999-12-31')", "True"},
                      TEvalCase{"AGE BETWEEN 40 AND 50", "True"}, TEvalCase{"AGE NOT BETWEEN 40 AND 41", "True"},
                      TEvalCase{"NAME BETWEEN 'A' AND 'Z'", "True"}, TEvalCase{"NOTHING BETWEEN 1 AND 2", "False"},
                      TEvalCase{"BORN BETWEEN '1999-01-01' AND '1999-12-31'", "True"},
                      TEvalCase{"RATING BETWEEN '1990' AND '1999'", "False", TMode::Sql},
                      TEvalCase{"ACTIVE AND FLAG", "False"}, TEvalCase{"ACTIVE OR FLAG", "True"},
                      TEvalCase{"NOT FLAG", "True"}, TEvalCase{"NOT ACTIVE", "False"},
                      TEvalCase{"NOT (NOTHING = 1)", "True"}, TEvalCase{"ACTIVE", "True"},
                      TEvalCase{"ACTIVE AND AGE = 42", "True"}, TEvalCase{"FLAG OR NAME = 'x'", "False"},
                      TEvalCase{"ACTIVE", "True", TMode::Select}));

INSTANTIATE_TEST_SUITE_P(
    StringFunctions, Evaluation,
    ::testing::Values(
        TEvalCase{"UPPER(NAME)", "SMITH"}, TEvalCase{"LOWER(NAME)", "smith"}, TEvalCase{"UPPER(EMPTY)", "NULL"},
        TEvalCase{"UPPER('stra\xC3\x9F"
                  "e')",
                  "STRASSE"},
        TEvalCase{"UPPER(NOTES)", "MEMO TEXT"}, TEvalCase{"LENGTH(NAME)", "5"},
        TEvalCase{"LENGTH('\xC3\xA9t\xC3\xA9')", "3"}, TEvalCase{"LENGTH(EMPTY)", "NULL"},
        TEvalCase{"SUBSTRING('abc' FROM 5)", "NULL"}, TEvalCase{"SUBSTRING('abcdef' FROM 2 FOR 3)", "bcd"},
        TEvalCase{"SUBSTRING('abc' FROM 0)", "abc"}, TEvalCase{"SUBSTRING('abc' FROM -5 FOR 2)", "ab"},
        TEvalCase{"SUBSTRING('abc' FROM 2 FOR -1)", "NULL"}, TEvalCase{"SUBSTRING(NAME FROM 2)", "mith"},
        TEvalCase{"SUBSTRING('\xC3\xA9t\xC3\xA9' FROM 3)", "\xC3\xA9"}, TEvalCase{"SUBSTRING(EMPTY FROM 1)", "NULL"},
        TEvalCase{"REPLACE('a' WITH 'xy' IN 'banana')", "bxynxynxy"},
        TEvalCase{"REPLACE('aa' WITH 'b' IN 'aaa')", "ba"}, TEvalCase{"REPLACE('' WITH 'x' IN 'abc')", "abc"},
        TEvalCase{"REPLACE('a' WITH 'a' IN 'abc')", "abc"}, TEvalCase{"REPLACE('abc' WITH '' IN 'abc')", "NULL"},
        TEvalCase{"REPLACE('a' WITH 'b' IN EMPTY)", "NULL"}, TEvalCase{"POS('an' IN 'banana')", "2"},
        TEvalCase{"POS('x' IN 'abc')", "0"}, TEvalCase{"POS('a' IN EMPTY)", "NULL"},
        TEvalCase{"POS('t' IN '\xC3\xA9t\xC3\xA9')", "2"}, TEvalCase{"OCCURS('an' IN 'banana')", "2"},
        TEvalCase{"OCCURS('aa' IN 'aaaa')", "2"}, TEvalCase{"OCCURS('x' IN EMPTY)", "NULL"},
        TEvalCase{"TRIM(BOTH '-' FROM '--a--')", "a"}, TEvalCase{"TRIM(LEADING '-' FROM '--a--')", "a--"},
        TEvalCase{"TRIM(TRAILING '-' FROM '--a--')", "--a"}, TEvalCase{"TRIM(BOTH '-' FROM '--')", "NULL"},
        TEvalCase{"TRIM(BOTH #32 FROM '  a ')", "a"}));

INSTANTIATE_TEST_SUITE_P(
    OtherFunctions, Evaluation,
    ::testing::Values(
        TEvalCase{"EXTRACT(WEEK FROM '2004-01-01')", "1"}, TEvalCase{"EXTRACT(DAYOFWEEK FROM '2004-01-04')", "7"},
        TEvalCase{"EXTRACT(DAYOFWEEK FROM '2004-01-05')", "1"}, TEvalCase{"EXTRACT(YEAR FROM BORN)", "1999"},
        TEvalCase{"EXTRACT(MONTH FROM SEEN)", "1"}, TEvalCase{"EXTRACT(DAY FROM SEEN)", "4"},
        TEvalCase{"EXTRACT(HOUR FROM SEEN)", "10"}, TEvalCase{"EXTRACT(MINUTE FROM WAKE)", "30"},
        TEvalCase{"EXTRACT(SECOND FROM SEEN)", "30"}, TEvalCase{"EXTRACT(DAY FROM WAKE)", "0"},
        TEvalCase{"EXTRACT(HOUR FROM BORN)", "0"}, TEvalCase{"EXTRACT(DAYOFYEAR FROM BORN)", "365"},
        TEvalCase{"EXTRACT(DAYOFYEAR FROM '2000-12-31')", "366"}, TEvalCase{"EXTRACT(WEEK FROM '2005-01-01')", "53"},
        TEvalCase{"EXTRACT(WEEK FROM '2008-12-29')", "1"}, TEvalCase{"EXTRACT(YEAR FROM '10:00')", "0"},
        TEvalCase{"EXTRACT(HOUR FROM '1999-01-01 13:00')", "13"}, TEvalCase{"CAST('abc' AS INTEGER)", "0"},
        TEvalCase{"CAST('12' AS INTEGER)", "12"}, TEvalCase{"CAST(' 1.9' AS INTEGER)", "1"},
        TEvalCase{"CAST(AGE AS CHAR(1))", "4"}, TEvalCase{"CAST(PRICE AS INTEGER)", "9"},
        TEvalCase{"CAST(-9.9 AS INTEGER)", "-9"}, TEvalCase{"CAST(BORN AS TIMESTAMP)", "1999-12-31 00:00"},
        TEvalCase{"CAST(SEEN AS DATE)", "2004-01-04"}, TEvalCase{"CAST(SEEN AS TIME)", "10:15:30"},
        TEvalCase{"CAST('xx' AS DATE)", "1899-12-30"}, TEvalCase{"CAST('1999-02-30' AS DATE)", "1899-12-30"},
        TEvalCase{"CAST(1 AS BOOLEAN)", "True"}, TEvalCase{"CAST('true' AS BOOLEAN)", "True"},
        TEvalCase{"CAST(ACTIVE AS CHAR(5))", "True"}, TEvalCase{"CAST(AMOUNT AS CHAR(10))", "12.35"},
        TEvalCase{"CAST(PRICE AS DECIMAL(10,2))", "9.50"}, TEvalCase{"CAST(NULL AS INTEGER)", "NULL"},
        TEvalCase{"CAST(NOTES AS CHAR(4))", "Memo"}, TEvalCase{"CAST(32767 AS SMALLINT) + 1", "32768"},
        TEvalCase{"CAST(-32768 AS SMALLINT)", "-32768"}, TEvalCase{"CAST(65535 AS WORD)", "65535"},
        TEvalCase{"CAST(BIG AS INTEGER)", "705032704"},
        TEvalCase{"CAST('9223372036854775807' AS LARGEINT)", "9223372036854775807"},
        TEvalCase{"CAST(1e300 AS LARGEINT)", "9223372036854775807"}, TEvalCase{"CAST(AGE AS FLOAT)", "42"},
        TEvalCase{"CAST('1.5' AS FLOAT)", "1.5"}, TEvalCase{"CAST(1.23456 AS DECIMAL(10,4))", "1.2346"},
        TEvalCase{"CAST('1999-12-31' AS CHAR(4))", "1999"}, TEvalCase{"CAST(DATA AS CHAR(10))", "\x01\x02\x03\x04"},
        TEvalCase{"CAST(NAME AS BYTES(2))", "Sm"}, TEvalCase{"IF(ACTIVE THEN 'y' ELSE 'n')", "y"},
        TEvalCase{"IF(FLAG, 1, 2)", "2"}, TEvalCase{"IF(NOTHING = 1, 1, 2)", "2"},
        TEvalCase{"IF(ACTIVE, NULL, 2)", "NULL"}, TEvalCase{"IF(ACTIVE, SMALL, AGE)", "-7"},
        TEvalCase{"IFNULL(NOTHING, 1, 2)", "1"}, TEvalCase{"IFNULL(AGE THEN 1 ELSE 2)", "2"},
        TEvalCase{"COALESCE(NOTHING, AGE)", "42"}, TEvalCase{"COALESCE(NOTHING, NULL)", "NULL"},
        TEvalCase{"COALESCE(EMPTY, NAME, 'x')", "Smith"}, TEvalCase{"ABS(SMALL)", "7"}, TEvalCase{"ABS(-1.5)", "1.5"},
        TEvalCase{"ABS(-AMOUNT)", "12.35"}, TEvalCase{"ABS(NOTHING)", "NULL"},
        TEvalCase{"ABS(-9223372036854775807)", "9223372036854775807"}, TEvalCase{"ROUND(2.5)", "3"},
        TEvalCase{"ROUND(-2.5)", "-3"}, TEvalCase{"ROUND(1.25 TO 1)", "1.3"}, TEvalCase{"ROUND(PRICE)", "10"},
        TEvalCase{"ROUND(AMOUNT TO 1)", "12.40"}, TEvalCase{"ROUND(-AMOUNT TO 0)", "-12.00"},
        TEvalCase{"ROUND(1e300 TO 32)", "1e+300"}, TEvalCase{"LASTAUTOINC('T')", "0"},
        TEvalCase{"IDENT_CURRENT('T')", "0"}, TEvalCase{"TEXTSEARCH('x' IN NAME)", "False", TMode::Select},
        TEvalCase{"TEXTOCCURS('x' IN NAME)", "0"}, TEvalCase{"COUNT(*)", "1", TMode::Select},
        TEvalCase{"COUNT(NOTHING)", "NULL", TMode::Select}, TEvalCase{"SUM(AGE)", "42", TMode::Select},
        TEvalCase{"AVG(PRICE)", "9.5", TMode::Select}, TEvalCase{"ID", "77", TMode::Select}));

TEST(EvaluationTypes, ResultTypesOfOperators) {
  TExprTable table;
  struct TCase {
    const char* Text;
    uint8_t Type;
    uint8_t SubType;
    int32_t Size;
  };
  const TCase cases[] = {{"7 * 2", vt::Integer, 0, 4},
                         {"7 / 2", vt::Float, 0, 8},
                         {"AGE + BIG", vt::LargeInt, 0, 8},
                         {"SMALL + COUNTER", vt::Integer, 0, 4},
                         {"AGE * 1.5", vt::Float, 0, 8},
                         {"AGE + AMOUNT", vt::Bcd, 0, 34},
                         {"AMOUNT * PRICE", vt::Float, st::Money, 8},
                         {"AMOUNT / AGE", vt::Bcd, 0, 34},
                         {"AGE / AMOUNT", vt::Bcd, 0, 34},
                         {"BORN + 1", vt::Date, 0, 4},
                         {"1 + BORN", vt::Date, 0, 4},
                         {"BORN - BORN", vt::Integer, 0, 4},
                         {"SEEN - SEEN", vt::Float, 0, 8},
                         {"SEEN - BORN", vt::Integer, 0, 4},
                         {"WAKE - WAKE", vt::Integer, 0, 4},
                         {"SEEN - 1", vt::Timestamp, 0, 8},
                         {"WAKE + 1", vt::Time, 0, 4},
                         {"NAME + RATING", vt::String, 0, 26},
                         {"NAME + NOTES", vt::Blob, st::Memo, 28},
                         {"PRICE + 1", vt::Float, st::Money, 8},
                         {"1 + PRICE", vt::Float, st::Money, 8},
                         {"PRICE - 1", vt::Float, st::Money, 8},
                         {"1 - PRICE", vt::Float, 0, 8},
                         {"PRICE / 2", vt::Float, st::Money, 8},
                         {"2 / PRICE", vt::Float, 0, 8},
                         {"-PRICE", vt::Float, st::Money, 8},
                         {"ROUND(PRICE)", vt::Float, st::Money, 8},
                         {"UPPER(NOTES)", vt::Blob, st::Memo, 8},
                         {"CAST(AGE AS CHAR(10))", vt::String, 0, 11},
                         {"CAST(NAME AS BYTES(3))", vt::Bytes, 0, 3},
                         {"CAST(NAME AS BLOB(512, 1))", vt::Blob, st::Memo, 8},
                         {"IF(ACTIVE THEN NAME ELSE RATING)", vt::String, 0, 21},
                         {"IF(ACTIVE THEN RATING ELSE NAME)", vt::String, 0, 21},
                         {"COALESCE(NOTHING, SMALL)", vt::Integer, 0, 4},
                         {"SUM(SMALL)", vt::SmallInt, 0, 2},
                         {"COUNT(NAME)", vt::Integer, 0, 4},
                         {"TEXTOCCURS('a' IN NAME)", vt::Integer, 0, 4},
                         {"EXTRACT(YEAR FROM BORN)", vt::Integer, 0, 4},
                         {"ABS(BIG)", vt::LargeInt, 0, 8}};
  for (const auto& c : cases) {
    TExpTree tree = CheckText(table, c.Text, OptionsFor(TMode::Select));
    EXPECT_EQ(tree->DataType, c.Type) << c.Text;
    EXPECT_EQ(tree->SubType, c.SubType) << c.Text;
    EXPECT_EQ(tree->ValueSize, c.Size) << c.Text;
  }
  TExpTree bcd = CheckText(table, "CAST(NAME AS DECIMAL(10, 3)) + AMOUNT", OptionsFor(TMode::Select));
  EXPECT_EQ(bcd->Scale, 3);
}

TEST(EvaluationErrors, ColumnWithoutProvider) {
  TExprTable table;
  TExpTree tree = CheckText(table, "AGE = 1", OptionsFor(TMode::Sql));
  try {
    EvaluateExpression(*tree, table.Record.data(), nullptr, 0, 0, nullptr);
    FAIL();
  } catch (const EQuarryEngineError& e) {
    EXPECT_EQ(e.Code(), kSqlErrorCode);
    EXPECT_EQ(e.Detail(), "Internal error: Column 'AGE' specified illegally");
  }
  // A string constant that named a column is its text again without a provider.
  TExpTree fromString = CheckText(table, "'AGE'", OptionsFor(TMode::Select));
  ASSERT_TRUE(fromString->FromString);
  TExpTree value = EvaluateExpression(*fromString, nullptr, nullptr, 0, 0, nullptr);
  EXPECT_EQ(ValueAsText(*value), "AGE");
}

TEST(Preparation, FoldsConstantsOnceAndLeavesTheSourceTree) {
  TExprTable table;
  TExpTree checked = CheckText(table, "AGE = 40 + 2 AND NAME = UPPER('smi*')", OptionsFor(TMode::Filter));
  const std::string before = Render(checked.get());
  TExpTree prepared = PrepareExpression(*checked, {.Provider = table.Source.get(), .NoPartialCompare = false});
  EXPECT_EQ(Render(prepared.get()), "AND(=(col:AGE,int:42),partial=(col:NAME,str:SMI))");
  EXPECT_EQ(Render(checked.get()), before);
  EXPECT_EQ(prepared->Right->PartialLength, 3);
  TExpTree again = PrepareExpression(*checked, {.Provider = table.Source.get(), .CaseInsensitive = true});
  EXPECT_EQ(Render(again.get()), "AND(=(col:AGE,int:42),partial=(col:NAME,str:SMI*))");
  EXPECT_EQ(again->Right->PartialLength, 0);
  EXPECT_TRUE(again->Right->CaseInsensitive);
}

TEST(Preparation, LikePrefixesBecomePartialComparisons) {
  TExprTable table;
  const auto render = [&](const char* text) { return Render(PrepareText(table, text, OptionsFor(TMode::Sql)).get()); };
  EXPECT_EQ(render("NAME LIKE 'Smi%'"), "partial=(col:NAME,str:Smi)");
  EXPECT_EQ(render("NAME NOT LIKE 'Smi%%'"), "partial< >(col:NAME,str:Smi)");
  EXPECT_EQ(render("NAME LIKE '%ith'"), "LIKE(col:NAME,str:%ith)");
  EXPECT_EQ(render("NAME LIKE 'S_i%'"), "LIKE(col:NAME,str:S_i%)");
  EXPECT_EQ(render("AGE IN (1.9, 2)"), "IN(col:AGE,int:1,int:2)");
  EXPECT_EQ(render("BORN = CAST('1999-12-31 10:00' AS TIMESTAMP)"), "=(col:BORN,date:1999-12-31)");
}

TEST(Evaluation, PoolGetsEveryNodeBack) {
  TExprTable table;
  TExpTree warm = EvalNode(table, "UPPER(NAME) = 'SMITH' AND AGE BETWEEN 1 AND 50", OptionsFor(TMode::Sql));
  warm.reset();
  const std::size_t free = TExpTokenStack::Instance().FreeCount();
  for (int i = 0; i < 50; ++i)
    EvalNode(table, "UPPER(NAME) = 'SMITH' AND AGE BETWEEN 1 AND 50", OptionsFor(TMode::Sql));
  EXPECT_EQ(TExpTokenStack::Instance().FreeCount(), free);
}

}  // namespace
}  // namespace quarry
