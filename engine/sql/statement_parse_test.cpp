// Parsing of SQL statements into queries and clause objects: the trees of well-formed
// statements (as a compact description per query), the messages of malformed ones, and
// the statement interface around parsing (scripts, parameters, rows affected).
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/sql/expression_test_support.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/statement_execution.h"
#include "engine/sql/statement_test_support.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {
namespace {

using testing_support::DescribeStatement;
using testing_support::ParseError;
using testing_support::Render;

struct TTreeCase {
  const char* Sql;
  const char* Expected;
};

void ExpectTrees(const std::vector<TTreeCase>& cases) {
  for (const auto& c : cases) {
    TQueryStatement statement(nullptr);
    try {
      statement.Parse(c.Sql);
    } catch (const EQuarryEngineError& e) {
      ADD_FAILURE() << c.Sql << "\n  raised: " << e.Detail();
      continue;
    }
    EXPECT_EQ(DescribeStatement(statement), c.Expected) << c.Sql;
  }
}

TEST(StatementParse, CatalogueStatements) {
  ExpectTrees({
      {"SELECT YEAR FROM VIDEOS ORDER BY YEAR", "SELECT cols[YEAR=col:YEAR] from[VIDEOS] order[YEAR]"},
      {"SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC", "SELECT cols[YEAR=col:YEAR] from[VIDEOS] order[YEAR desc]"},
      {"SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER",
       "SELECT cols[CASTMEMBER=col:CASTMEMBER] from[CASTMEMBERS] order[CASTMEMBER]"},
      {"SELECT DIRECTOR FROM DIRECTORS ORDER BY DIRECTOR",
       "SELECT cols[DIRECTOR=col:DIRECTOR] from[DIRECTORS] order[DIRECTOR]"},
      {"SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = \"Gene Kelly\"",
       "SELECT cols[CASTMEMBERID=col:CASTMEMBERID] from[CASTMEMBERS] "
       "where[=(col:CASTMEMBER,str:Gene Kelly)]"},
      {"SELECT DIRECTORID FROM DIRECTORS WHERE DIRECTOR = \"O'Brien\"",
       "SELECT cols[DIRECTORID=col:DIRECTORID] from[DIRECTORS] where[=(col:DIRECTOR,str:O'Brien)]"},
      {"SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = 17",
       "SELECT cols[CASTMEMBERID=col:CASTMEMBERID] from[VIDEOS_CASTMEMBERS] "
       "where[=(col:VIDEOID,int:17)]"},
      {"SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = 3",
       "SELECT cols[CASTMEMBER=col:CASTMEMBER] from[CASTMEMBERS] where[=(col:CASTMEMBERID,int:3)]"},
      {"SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = 17",
       "SELECT cols[DIRECTORID=col:DIRECTORID] from[VIDEOS_DIRECTORS] where[=(col:VIDEOID,int:17)]"},
      {"SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = 2",
       "SELECT cols[DIRECTOR=col:DIRECTOR] from[DIRECTORS] where[=(col:DIRECTORID,int:2)]"},
  });
}

// The search of case C: one cast member, a span of years, the ratings G and PG, split over
// lines as the window sends it.
TEST(StatementParse, CatalogueSearchWithEveryCriterion) {
  const char* sql =
      "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH\r\n"
      "FROM VIDEOS V, VIDEOS_CASTMEMBERS C, VIDEOS_DIRECTORS D\r\n"
      "WHERE (V.VIDEOID = C.VIDEOID) AND (V.VIDEOID = D.VIDEOID)\r\n"
      "AND (C.CASTMEMBERID = 12)\r\n"
      "AND (V.YEAR BETWEEN \"1990\" AND \"1999\")\r\n"
      "AND ((V.INDUSTRYRATING = \"G\") OR (V.INDUSTRYRATING = \"PG\"))\r\n"
      "ORDER BY V.TITLE";
  TQueryStatement statement(nullptr);
  statement.Parse(sql);
  ASSERT_EQ(statement.Queries().size(), 1u);
  const TDataQuery& q = *statement.Master();
  EXPECT_EQ(q.Kind, TStatementKind::Select);
  EXPECT_TRUE(q.Distinct);
  EXPECT_TRUE(q.HasJoin);
  EXPECT_FALSE(q.HasComputed);
  ASSERT_EQ(q.ResultFields.size(), 5u);
  const char* names[] = {"VIDEOID", "TITLE", "YEAR", "INDUSTRYRATING", "LENGTH"};
  for (std::size_t i = 0; i < 5; ++i) {
    const TResultField& f = *q.ResultFields[i];
    EXPECT_EQ(f.ResultName, names[i]);
    EXPECT_EQ(f.SourceColumnName, names[i]);
    EXPECT_EQ(f.SourceCorrelationName, "V");
    EXPECT_FALSE(f.AliasGiven);
    EXPECT_FALSE(f.Computed);
    EXPECT_EQ(f.Aggregate, TAggregateKind::None);
    EXPECT_EQ(f.ExpressionText, std::string("V.") + names[i]);
  }
  ASSERT_EQ(q.SourceTables.size(), 3u);
  const char* tables[][2] = {{"VIDEOS", "V"}, {"VIDEOS_CASTMEMBERS", "C"}, {"VIDEOS_DIRECTORS", "D"}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(q.SourceTables[i]->TableName, tables[i][0]);
    EXPECT_EQ(q.SourceTables[i]->CorrelationName, tables[i][1]);
    EXPECT_EQ(q.SourceTables[i]->Position, static_cast<int>(i) + 1);
  }
  EXPECT_EQ(Render(q.Condition.get()),
            "AND(AND(AND(AND(=(col:V.VIDEOID,col:C.VIDEOID),=(col:V.VIDEOID,col:D.VIDEOID)),"
            "=(col:C.CASTMEMBERID,int:12)),BETWEEN(col:V.YEAR,str:1990,str:1999)),"
            "OR(=(col:V.INDUSTRYRATING,str:G),=(col:V.INDUSTRYRATING,str:PG)))");
  ASSERT_EQ(q.OrderByFields.size(), 1u);
  EXPECT_EQ(q.OrderByFields[0]->CorrelationName, "V");
  EXPECT_EQ(q.OrderByFields[0]->ColumnName, "TITLE");
  EXPECT_FALSE(q.OrderByFields[0]->Descending);
  EXPECT_EQ(q.Top, -1);
  EXPECT_EQ(q.MaxRowCount, -1);
}

TEST(StatementParse, SelectClauses) {
  ExpectTrees({
      {"SELECT * FROM T", "SELECT star cols[?=col:*] from[T]"},
      {"SELECT T.* FROM T", "SELECT cols[?=col:T.*] from[T]"},
      {"select a from t;", "SELECT cols[a=col:a] from[t]"},
      {"SELECT ALL DISTINCT A FROM T", "SELECT distinct cols[A=col:A] from[T]"},
      {"SELECT A AS X, B Y, C AS \"Z z\", D [W], E AS Q.R FROM T",
       "SELECT cols[X=col:A alias,Y=col:B alias,Z z=col:C alias,W=col:D alias,R=col:E alias] from[T]"},
      {"SELECT A + 1, UPPER(B) Up FROM T",
       "SELECT computed cols[?=+(col:A,int:1) computed,Up=UPPER#36(col:B) alias computed] from[T]"},
      {"SELECT SUM(A), COUNT(*), AVG(T.B), MIN(C), MAX(D), RUNSUM(E), SUM(A * 2) FROM T",
       "SELECT avg computed cols[?=SUM#23(col:A) agg1,?=COUNT#25(col:*) agg6,?=AVG#28(col:T.B) agg5,"
       "?=MIN#26(col:C) agg3,?=MAX#27(col:D) agg4,?=RUNSUM#24(col:E) agg2,"
       "?=SUM#23(*(col:A,int:2)) agg1 computed] from[T]"},
      {"SELECT A FROM T ORDER BY 1 DESC NOCASE", "SELECT cols[A=col:A] from[T] order[#1 desc] nocase"},
      {"SELECT A, B FROM T ORDER BY A ASCENDING, T.B DESCENDING, 2 ASC",
       "SELECT cols[A=col:A,B=col:B] from[T] order[A,T.B desc,#2]"},
      {"SELECT A, COUNT(*) FROM T GROUP BY A, 1, T.[B C] HAVING COUNT(*) > 1",
       "SELECT cols[A=col:A,?=COUNT#25(col:*) agg6] from[T] group[A,#1,T.B C] "
       "having[>(COUNT#25(col:*),int:1)]"},
      {"SELECT A FROM T TOP 10 WITH LOCKS NOJOINOPTIMIZE", "SELECT cols[A=col:A] from[T] top=10 locks nojoinoptimize"},
      {"SELECT A FROM T LANGUAGE 'German (Standard)' SORT 'German Phone Book Order' ENCRYPTED WITH 'pw'",
       "SELECT cols[A=col:A] from[T] language=1031/1 password=pw"},
      {"SELECT A INTO R FROM T", "SELECT cols[A=col:A] into[R] from[T]"},
      {"SELECT A INTO MEMORY FROM T", "SELECT cols[A=col:A] into[memory] from[T]"},
      {"SELECT A INTO MEMORY R FROM T", "SELECT cols[A=col:A] into[memory R] from[T]"},
      {"SELECT A INTO \"/tmp/out/R.DAT\" FROM T", "SELECT cols[A=col:A] into[/tmp/out/ R] from[T]"},
      {"SELECT A INTO Other\\R FROM T", "SELECT cols[A=col:A] into[Other R] from[T]"},
      {"SELECT A FROM [My Table] AS M, \"/data/videos.dat\" V, Other\\U, MEMORY W",
       "SELECT join cols[A=col:A] from[My Table M,videos V db=/data/,U db=Other,W mem]"},
      {"/* lead */ SELECT A FROM T /* trail */", "SELECT cols[A=col:A] from[T]"},
      {"(SELECT A FROM T)", "parenthesized SELECT cols[A=col:A] from[T]"},
      {"SELECT A FROM T WHERE B = ? AND C IN (?, 1)",
       "SELECT cols[A=col:A] from[T] where[AND(=(col:B,param),IN(col:C,param,int:1))]"},
      {"SELECT A FROM T WHERE B IS NULL OR C IS NOT NULL",
       "SELECT cols[A=col:A] from[T] where[OR(=(col:B,null),< >(col:C,null))]"},
  });
}

TEST(StatementParse, Joins) {
  ExpectTrees({
      {"SELECT A FROM T JOIN U ON T.K = U.K", "SELECT join cols[A=col:A] from[T,U] where[=(col:T.K,col:U.K)j1]"},
      {"SELECT A FROM T INNER JOIN U X ON T.K = X.K AND X.Y > 1 WHERE T.Z = 2",
       "SELECT join cols[A=col:A] from[T,U X] where[AND(AND(=(col:T.K,col:X.K)j1,>(col:X.Y,int:1)),"
       "=(col:T.Z,int:2))]"},
      {"SELECT A FROM T LEFT OUTER JOIN U ON T.K = U.K LEFT JOIN V ON U.K = V.K",
       "SELECT join cols[A=col:A] from[T,U,V] where[AND(=(col:T.K,col:U.K)j2,=(col:U.K,col:V.K)j2)]"},
      {"SELECT A FROM T RIGHT JOIN U ON T.K = U.K", "SELECT join cols[A=col:A] from[U,T] where[=(col:T.K,col:U.K)j3]"},
      {"SELECT A FROM (T JOIN U ON T.K = U.K) JOIN V ON V.K = T.K, W",
       "SELECT join cols[A=col:A] from[T,U,V,W] where[AND(=(col:T.K,col:U.K)j1,=(col:V.K,col:T.K)j1)]"},
      {"SELECT A FROM T JOIN U ON T.K = U.K AND T.A = T.B",
       "SELECT join cols[A=col:A] from[T,U] where[AND(=(col:T.K,col:U.K)j1,=(col:T.A,col:T.B))]"},
  });
}

TEST(StatementParse, SubSelectsAndUnions) {
  TQueryStatement statement(nullptr);
  statement.Parse("SELECT * FROM T WHERE A IN (SELECT B FROM U WHERE C NOT IN (SELECT D FROM V))");
  EXPECT_EQ(DescribeStatement(statement),
            "SELECT star cols[?=col:*] from[T] where[IN(col:A,subselect)] | "
            "nested SELECT cols[B=col:B] from[U] where[NOT IN(col:C,subselect)] | "
            "nested SELECT cols[D=col:D] from[V]");
  const TDataQuery& master = *statement.Master();
  EXPECT_EQ(master.Condition->Args[1]->SubQuery, statement.Queries()[1].get());

  ExpectTrees({
      {"SELECT A FROM T UNION SELECT A FROM U ORDER BY 1",
       "SELECT union cols[A=col:A] from[T] order[#1] | unionpart SELECT cols[A=col:A] from[U]"},
      {"SELECT A FROM T UNION ALL SELECT B FROM U UNION SELECT C FROM V",
       "SELECT union all cols[A=col:A] from[T] | unionpart SELECT union cols[B=col:B] from[U] | "
       "unionpart SELECT cols[C=col:C] from[V]"},
  });
}

TEST(StatementParse, DataChangingStatements) {
  ExpectTrees({
      {"INSERT INTO T VALUES (1, 'x', ?)", "INSERT target[T] set[*] values[int:1,str:x,param]"},
      {"INSERT INTO MEMORY T X (A, \"B\", [C]) VALUES (1 + 2, NULL, 'y')",
       "INSERT target[T X mem] set[A,B,C] values[+(int:1,int:2),null,str:y]"},
      {"INSERT INTO T (A) SELECT B FROM U WHERE C = 1 NOAUTOINC COMMIT INTERVAL 100 FLUSH",
       "INSERT noautoinc commit=100 flush target[T] set[A] | nested SELECT cols[B=col:B] from[U] "
       "where[=(col:C,int:1)]"},
      {"INSERT INTO T (SELECT B FROM U)",
       "INSERT target[T] set[*] | nested parenthesized SELECT cols[B=col:B] from[U]"},
      {"UPDATE T SET A = A + 1, B = ? WHERE C = 2",
       "UPDATE target[T] set[A,B] values[+(col:A,int:1),param] where[=(col:C,int:2)]"},
      {"UPDATE T AS X SET X.A = 1 FROM T X JOIN U ON X.K = U.K COMMIT FLUSH NOJOINOPTIMIZE",
       "UPDATE join nojoinoptimize commit flush target[T X,U] set[X.A] values[int:1] "
       "where[=(col:X.K,col:U.K)j1]"},
      {"DELETE FROM T", "DELETE target[T]"},
      {"DELETE FROM T X LEFT JOIN U ON X.K = U.K WHERE U.K IS NULL COMMIT INTERVAL 5",
       "DELETE join commit=5 target[T X,U] where[AND(=(col:X.K,col:U.K)j2,=(col:U.K,null))]"},
      {"START TRANSACTION", "START TRANSACTION"},
      {"COMMIT WORK FLUSH", "COMMIT flush"},
      {"COMMIT", "COMMIT"},
      {"ROLLBACK WORK", "ROLLBACK"},
  });
}

TEST(StatementParse, DataDefinitionStatements) {
  ExpectTrees({
      {"CREATE TABLE IF NOT EXISTS Videos (VideoID AUTOINC NOT NULL, Title VARCHAR(80) "
       "DESCRIPTION 'The title' DEFAULT 'none' CHARCASE UPPER, Price MONEY MIN -1 MAX 1e6, "
       "Notes MEMO, Rate DECIMAL(10, 2), PRIMARY KEY (VideoID) COMPRESS NONE)",
       "CREATE TABLE ifnotexists target[Videos] fields[VideoID t6/29 notnull,"
       "Title t1:81 desc=The title default=none upper,Price t7/21 min=-1 max=1e6,Notes t3/22,"
       "Rate t8:34.2] indexes[primary(VideoID) c0]"},
      {"CREATE TABLE MEMORY T (A INTEGER, CONSTRAINT PK UNIQUE DESC NOCASE PRIMARY KEY (A, \"B\") "
       "COMPRESS FULL, TEXT INDEX (B) STOP WORDS 'a an' SPACE CHARS ' -' INCLUDE CHARS '_', "
       "DESCRIPTION 'table', BLOB BLOCK SIZE 1024, LANGUAGE 'French (Standard)' ENCRYPTED WITH 'secret', "
       "USER MAJOR VERSION 2, USER MINOR VERSION 3, LAST AUTOINC -5)",
       "CREATE TABLE target[T mem] fields[A t6] indexes[primary PK unique desc nocase(A,B) c3] "
       "textindex(B) stop='a an' space=' -' include='_' desc=table blocksize=1024 language=1036/0 "
       "password=secret major=2 minor=3 lastautoinc=-5"},
      {"CREATE TABLE T (A INT, DESCRIPTION 'x')", "CREATE TABLE target[T] fields[A t6] desc=x"},
      {"CREATE TABLE T ([Description] VARCHAR(5), \"User\" INT)",
       "CREATE TABLE target[T] fields[Description t1:6,User t6]"},
      {"CREATE UNIQUE NOCASE INDEX ByTitle ON Videos (Title, Year) COMPRESS DUPBYTE",
       "CREATE INDEX target[Videos] indexes[ByTitle unique nocase(Title,Year) c1]"},
      {"CREATE DESC INDEX IF NOT EXISTS [By Year] ON MEMORY T (Year)",
       "CREATE INDEX ifnotexists target[T mem] indexes[By Year desc(Year) c0]"},
      {"ALTER TABLE T ADD COLUMN N INTEGER AT 2 NOT NULL, REDEFINE A B VARCHAR(10), "
       "REDEFINE C DATE, REDEFINE [D] [DATE], DROP E, DROP PRIMARY KEY, ADD PRIMARY KEY (N) "
       "DESCRIPTION 'd' NOBACKUP",
       "ALTER TABLE nobackup target[T] fields[add N t6 at2 notnull,redefine A->B t1:11,"
       "redefine C t2,redefine D->DATE,drop E] indexes[drop primary(),add primary(N) c0] desc=d"},
      {"DROP TABLE IF EXISTS MEMORY T", "DROP TABLE ifexists target[T mem]"},
      {"DROP TABLE \"/data/old.dat\"", "DROP TABLE target[old db=/data/]"},
      {"DROP INDEX T.ByTitle", "DROP INDEX index=ByTitle target[T]"},
      {"DROP INDEX IF EXISTS \"/data/T.ByYear\"", "DROP INDEX ifexists index=ByYear target[T db=/data/]"},
  });
}

struct TErrorCase {
  const char* Sql;
  const char* Message;
};

TEST(StatementParse, MalformedStatements) {
  const TErrorCase cases[] = {
      {"", "SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found ''"},
      {"SHOW TABLES", "SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found 'SHOW'"},
      {"(INSERT", "SELECT keyword expected, instead found 'INSERT'"},
      {"(SELECT A FROM T", "Right parentheses expected after SELECT statement, instead found ''"},
      {"SELECT A FROM T X garbage", "End of SELECT statement expected, instead found 'garbage'"},
      {"SELECT A FROM T AS X Y", "End of SELECT statement expected, instead found 'Y'"},
      {"DELETE FROM T WHERE A = 1 2", "End of DELETE statement expected, instead found '2'"},
      {"CREATE VIEW V",
       "TABLE, INDEX, UNIQUE, ASC, ASCENDING, DESC, DESCENDING, or NOCASE keyword expected, instead found 'VIEW'"},
      {"ALTER INDEX", "TABLE keyword expected, instead found 'INDEX'"},
      {"DROP VIEW V", "TABLE or INDEX keyword expected, instead found 'VIEW'"},
      {"START WORK", "TRANSACTION keyword expected, instead found 'WORK'"},
      {"SELECT A AS , B FROM T", "Symbol or string expected after AS keyword, instead found ','"},
      {"SELECT A AS FROM T", "FROM keyword expected, instead found 'T'"},
      {"SELECT A AS X.) FROM T", "Symbol or string expected after table correlation name, instead found ')'"},
      {"SELECT SUM(MAX(A)) FROM T", "Aggregate functions cannot be nested"},
      {"SELECT SUM(A) + 1 FROM T", "Aggregate functions cannot be used within expressions"},
      {"SELECT A FROM T WHERE B IN (SELECT C INTO R FROM U)", "The INTO clause can only be used with the master query"},
      {"SELECT A INTO FROM T", "Result table name expected in INTO clause, instead found 'FROM'"},
      {"SELECT A T", "FROM keyword expected, instead found ''"},
      {"SELECT A FROM", "Table name expected after FROM keyword, instead found ''"},
      {"SELECT A FROM T AS", "Symbol or string expected after AS keyword, instead found ''"},
      {"SELECT A FROM T X, U X", "Duplicate table correlation name 'X' found in source tables"},
      {"SELECT A FROM T, t", "Duplicate table correlation name 't' found in source tables"},
      {"SELECT A FROM T JOIN", "Table name expected after JOIN keyword, instead found ''"},
      {"SELECT A FROM T JOIN U", "ON keyword expected in JOIN clause, instead found ''"},
      {"SELECT A FROM T INNER U", "JOIN keyword expected after INNER keyword, instead found 'U'"},
      {"SELECT A FROM T LEFT OUTER U", "JOIN keyword expected after LEFT or OUTER keyword, instead found 'U'"},
      {"SELECT A FROM T RIGHT U", "JOIN keyword expected after RIGHT or OUTER keyword, instead found 'U'"},
      {"SELECT A FROM T1 FULL OUTER JOIN T2 ON T1.K = T2.K",
       "Full outer joins are currently not supported in Quarry SQL SELECT statements"},
      {"SELECT A FROM (T JOIN U ON T.K = U.K", "Mismatched join parentheses"},
      {"SELECT A FROM T GROUP A", "BY keyword expected after GROUP keyword, instead found 'A'"},
      {"SELECT A FROM T GROUP BY ?", "Column name or column number expected in GROUP BY clause, instead found '?'"},
      {"SELECT A FROM T GROUP BY 1.5", "Column name or column number expected in GROUP BY clause, instead found '1.5'"},
      {"SELECT A FROM T ORDER A", "BY keyword expected after ORDER keyword, instead found 'A'"},
      {"SELECT A FROM T ORDER BY A + 1", "End of SELECT statement expected, instead found '+'"},
      {"SELECT A FROM T ORDER BY UPPER(A)", "End of SELECT statement expected, instead found '('"},
      {"SELECT A FROM T ORDER BY ,", "Column name or column number expected in ORDER BY clause, instead found ','"},
      {"SELECT A FROM T ORDER BY A UNION SELECT A FROM U", "You cannot use an ORDER BY clause within a UNIONed query"},
      {"SELECT A FROM T UNION SELECT A FROM U ORDER BY A UNION SELECT A FROM V",
       "You cannot use an ORDER BY clause within a UNIONed query"},
      {"SELECT A FROM T UNION INSERT", "SELECT keyword expected, instead found 'INSERT'"},
      {"SELECT A FROM T TOP X", "Integer value expected after TOP keyword, instead found 'X'"},
      {"SELECT A FROM T TOP 99999999999", "Integer value expected after TOP keyword, instead found '99999999999'"},
      {"SELECT A FROM T WITH NOLOCK", "LOCKS keyword expected after WITH keyword, instead found 'NOLOCK'"},
      {"SELECT A FROM T LANGUAGE 'Klingon'", "Invalid language constant 'Klingon' specified after LANGUAGE keyword"},
      {"SELECT A FROM T LANGUAGE 'French (Standard)' SORT 'Phone'",
       "Invalid sort constant 'Phone' specified after SORT keyword"},
      {"SELECT A FROM T ENCRYPTED 'x'", "WITH keyword expected after ENCRYPTED keyword, instead found 'x'"},
      {"SELECT A FROM T GROUP BY A HAVING A IN (SELECT B FROM U)",
       "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in HAVING clause"},
      {"SELECT A FROM T WHERE", "Unknown or unexpected symbol '' found in WHERE or JOIN clause"},
      {"SELECT ? FROM T", "Parameters are not allowed in source column expression"},
      {"SELECT A FROM T WHERE SUM(A) > 1", "Aggregate functions are not allowed in WHERE or JOIN clause"},
      {"SELECT A FROM T JOIN U ON A IN (SELECT B FROM V)",
       "Sub-select queries are not allowed in WHERE or JOIN clause"},
      {"SELECT A FROM T WHERE A IN (SELECT B FROM U",
       "Expected right parentheses for IN operator, instead found '' in WHERE or JOIN clause"},
      {"SELECT A FROM T WHERE A IN (SELECT B FROM U WHERE C = ?",
       "Expected right parentheses for IN operator, instead found '' in WHERE or JOIN clause"},
      {"SELECT A FROM T WHERE A IN (SELECT , FROM U)",
       "Unknown or unexpected symbol ',' found in source column expression"},
      {"SELECT A, COUNT(*) FROM T GROUP BY A HAVING COUNT(*) > 1 AND * > 1",
       "* (all columns) symbol is not allowed in HAVING clause"},
      {"SELECT UPPER(*) FROM T", "* (all columns) symbol is not allowed in source column expression"},
      {"SELECT SUM(*) FROM T", "* (all columns) symbol is not allowed in source column expression"},
      {"SELECT A FROM T WHERE B = 'xy", "Missing single quote after 'x' in WHERE or JOIN clause"},
      {"INSERT T VALUES (1)", "INTO keyword expected, instead found 'T'"},
      {"INSERT INTO T X Y", "VALUES or SELECT  keyword expected, instead found 'Y'"},
      {"INSERT INTO (A) VALUES (1)", "Table name expected after INTO keyword, instead found '('"},
      {"INSERT INTO T (A, B VALUES (1)",
       "Right parentheses expected after list of table columns, instead found 'VALUES'"},
      {"INSERT INTO T (A + 1) VALUES (1)", "Column name expected in list of table columns, instead found 'A + 1'"},
      {"INSERT INTO T VALUES 1", "Left parentheses expected after VALUES keyword, instead found '1'"},
      {"INSERT INTO T VALUES (1, 2", "Right parentheses expected after list of values, instead found ''"},
      {"INSERT INTO T (A)", "VALUES or SELECT  keyword expected, instead found ''"},
      {"INSERT INTO T VALUES (SUM(A))", "Aggregate functions are not allowed in value expression"},
      {"INSERT INTO T VALUES (1) COMMIT INTERVAL", "Integer value expected after INTERVAL keyword, instead found ''"},
      {"INSERT INTO T VALUES (1) COMMIT NOW",
       "INTERVAL and/or FLUSH keywords expected after COMMIT keyword, instead found 'NOW'"},
      {"INSERT INTO T SELECT A INTO R FROM U", "The INTO clause can only be used with the master query"},
      {"UPDATE T X Y", "SET keyword expected, instead found 'Y'"},
      {"UPDATE", "Table name expected, instead found ''"},
      {"UPDATE T A = 1", "SET keyword expected, instead found '='"},
      {"UPDATE T SET A 1", "Assignment (=) operator expected after column name, instead found '1'"},
      {"UPDATE T SET A = ? WHERE B = 1 NOAUTOINC NOAUTOINC",
       "End of UPDATE statement expected, instead found 'NOAUTOINC'"},
      {"UPDATE T SET A = 1 FROM U",
       "The first source table specified in FROM clause must match the table being updated in the UPDATE statement"},
      {"UPDATE T X SET A = 1 FROM T",
       "The first source table specified in FROM clause must match the table being updated in the UPDATE statement"},
      {"DELETE T", "FROM keyword expected, instead found 'T'"},
      {"DELETE FROM", "Table name expected after FROM keyword, instead found ''"},
      {"CREATE TABLE", "Table name expected after CREATE TABLE keywords, instead found ''"},
      {"CREATE TABLE IF EXISTS T (A INT)", "NOT keyword expected after IF keyword, instead found 'EXISTS'"},
      {"CREATE TABLE IF NOT T (A INT)", "EXISTS keyword expected after NOT keyword, instead found 'T'"},
      {"CREATE TABLE T A INT", "Left parentheses expected before list of table columns, instead found 'A'"},
      {"CREATE TABLE T (A)", "SQL data type keyword expected, instead found ')' in table column"},
      {"CREATE TABLE T (A CHAR)", "Left parentheses expected after CHAR data type, instead found ')' in table column"},
      {"CREATE TABLE T (A INT NOT 1)", "NULL keyword expected after NOT keyword, instead found '1'"},
      {"CREATE TABLE T (A INT CHARCASE MIXED)",
       "UPPER, LOWER, or NOCHANGE keyword expected after CHARCASE keyword, instead found 'MIXED'"},
      {"CREATE TABLE T (A INT, KEY (A))", "Unknown or unexpected function 'KEY' found in table column"},
      {"CREATE TABLE T (A INT, UNIQUE KEY (A))", "PRIMARY keyword expected, instead found 'KEY'"},
      {"CREATE TABLE T (A INT, PRIMARY (A))", "KEY keyword expected after PRIMARY keyword, instead found '('"},
      {"CREATE TABLE T (A INT, PRIMARY KEY A)", "Left parentheses expected, instead found 'A'"},
      {"CREATE TABLE T (A INT, PRIMARY KEY (A)",
       "Right parentheses expected after CREATE TABLE statement, instead found ''"},
      {"CREATE TABLE T (A INT, PRIMARY KEY (A B))", "Right parentheses expected, instead found 'B'"},
      {"CREATE TABLE T (A INT, PRIMARY KEY (T.A))",
       "Invalid use of table correlation name 'T' specified in indexed columns"},
      {"CREATE TABLE T (A INT, PRIMARY KEY (A) COMPRESS ALL)",
       "FULL, DUPBYTE, TRAILBYTE, or NONE keyword expected after COMPRESS keyword, instead found 'ALL'"},
      {"CREATE TABLE T (A INT, TEXT INDEX (A) STOP 'x')",
       "WORDS keyword expected after STOP keyword, instead found 'x'"},
      {"CREATE TABLE T (A INT, TEXT INDEX (A) SPACE 'x')",
       "CHARS keyword expected after SPACE keyword, instead found 'x'"},
      {"CREATE TABLE T (A INT, TEXT INDEX (A) INCLUDE 'x')",
       "CHARS keyword expected after INCLUDE keyword, instead found 'x'"},
      {"CREATE TABLE T (A INT) TEXT INDEX", "End of CREATE TABLE statement expected, instead found 'TEXT'"},
      {"CREATE TABLE T (A INT, TEXT INDEX A)", "Left parentheses expected after TEXTINDEX keyword, instead found 'A'"},
      {"CREATE TABLE T (A INT, TEXT INDEX (A)",
       "Right parentheses expected after CREATE TABLE statement, instead found ''"},
      {"CREATE TABLE T (A INT, TEXT INDEX (A B)",
       "Right parentheses expected after TEXT INDEX clause, instead found 'B'"},
      {"CREATE TABLE T (A INT, BLOB BLOCK 5)", "SIZE keyword expected after BLOCK keyword, instead found '5'"},
      {"CREATE TABLE T (A INT, BLOB BLOCK SIZE x)", "Integer value expected after SIZE keyword, instead found 'x'"},
      {"CREATE TABLE T (A INT, USER MAJOR 2)", "VERSION keyword expected after MAJOR keyword, instead found '2'"},
      {"CREATE TABLE T (A INT, USER MINOR 2)", "VERSION keyword expected after MINOR keyword, instead found '2'"},
      {"CREATE TABLE T (A INT, USER MAJOR VERSION x)",
       "Integer value expected after VERSION keyword, instead found 'x'"},
      {"CREATE TABLE T (A INT, LAST AUTOINC x)", "Integer constant expected after AUTOINC keyword, instead found 'x'"},
      {"CREATE TABLE T (A INT, LAST AUTOINC 3000000000)",
       "Integer constant expected after AUTOINC keyword, instead found '3000000000'"},
      {"CREATE TABLE T (A INT, LANGUAGE 'Nowhere')",
       "Invalid language constant 'Nowhere' specified after LANGUAGE keyword"},
      {"CREATE TABLE T (A INT, ENCRYPTED WITH 'p', DESCRIPTION 'late')",
       "Right parentheses expected after CREATE TABLE statement, instead found 'DESCRIPTION'"},
      {"CREATE INDEX (A) ON T", "Index name expected after INDEX keyword, instead found '('"},
      {"CREATE UNIQUE X ON T (A)", "INDEX keyword expected, instead found 'X'"},
      {"CREATE INDEX I T (A)", "ON keyword expected after index name, instead found 'T'"},
      {"CREATE INDEX I ON (A)", "Table name expected after ON keyword, instead found '('"},
      {"CREATE INDEX I ON T (U.A)", "Invalid use of table correlation name 'U' specified in indexed columns"},
      {"CREATE INDEX I ON T ()", "Unknown or unexpected symbol ')' found in index column"},
      {"ALTER TABLE T ADD A INT, B INT", "ADD, DROP, or REDEFINE keyword expected, instead found 'B'"},
      {"ALTER TABLE T RENAME A", "ADD, DROP, or REDEFINE keyword expected, instead found 'RENAME'"},
      {"ALTER TABLE", "Table name expected after ALTER TABLE keywords, instead found ''"},
      {"ALTER TABLE T ADD A INT AT X", "Integer value expected after AT keyword, instead found 'X'"},
      {"ALTER TABLE T ADD A", "SQL data type keyword expected, instead found '' in table column"},
      {"DROP TABLE IF T", "EXISTS keyword expected after IF keyword, instead found 'T'"},
      {"DROP TABLE", "Table name expected after DROP TABLE keywords, instead found ''"},
      {"DROP INDEX", "Table name expected after DROP INDEX keywords, instead found ''"},
      {"DROP INDEX T", "Index name expected after table name, instead found ''"},
      {"COMMIT WORK NOW", "End of COMMIT statement expected, instead found 'NOW'"},
      {"ROLLBACK TO", "End of ROLLBACK statement expected, instead found 'TO'"},
  };
  for (const auto& c : cases) {
    const auto [code, message] = ParseError(c.Sql);
    EXPECT_EQ(code, kSqlErrorCode) << c.Sql;
    EXPECT_EQ(message, c.Message) << c.Sql;
  }
}

// A failed parse leaves nothing behind, and the statement can be used again.
TEST(StatementParse, FailedParseLeavesStatementEmpty) {
  TQueryStatement statement(nullptr);
  EXPECT_THROW(statement.Parse("SELECT A FROM T WHERE B IN (SELECT C FROM U) garbage"), EQuarryEngineError);
  EXPECT_EQ(statement.Master(), nullptr);
  EXPECT_TRUE(statement.Queries().empty());
  EXPECT_TRUE(statement.Parameters().empty());
  EXPECT_FALSE(statement.Prepared());
  statement.Parse("SELECT A FROM T WHERE B = ?");
  EXPECT_EQ(statement.Parameters().size(), 1u);
}

TEST(StatementParse, ParametersInOrderOfAppearance) {
  TQueryStatement statement(nullptr);
  statement.Parse("SELECT A FROM T WHERE B = ? AND C IN (SELECT D FROM U WHERE E = ?) AND F BETWEEN ? AND ?");
  ASSERT_EQ(statement.Parameters().size(), 4u);
  const TDataQuery& master = *statement.Master();
  // AND(AND(AND(=(B,?1), IN(C, sub)), BETWEEN(F, ?3, ?4)))
  const TExpToken* top = master.Condition.get();
  EXPECT_EQ(statement.Parameters()[0], top->Left->Left->Right);
  EXPECT_EQ(statement.Parameters()[1], statement.Queries()[1]->Condition->Right);
  EXPECT_EQ(statement.Parameters()[2], top->Right->Args[1]);
  EXPECT_EQ(statement.Parameters()[3], top->Right->Args[2]);
}

TEST(StatementParse, MaximumRowCountReachesOnlySelects) {
  TQueryStatement statement(nullptr);
  statement.SetMaxRowCount(10);
  statement.SetLiveRequest(true);
  statement.Parse("SELECT A FROM T");
  EXPECT_EQ(statement.Master()->MaxRowCount, 10);
  EXPECT_TRUE(statement.Master()->LiveRequest);
  statement.SetMaxRowCount(-5);
  EXPECT_EQ(statement.Master()->MaxRowCount, -1);
  statement.SetMaxRowCount(3);
  statement.Parse("DELETE FROM T");
  EXPECT_EQ(statement.Master()->MaxRowCount, -1);
}

// Deep nesting is refused with an error instead of exhausting the stack.
TEST(StatementParse, DeepNestingIsRefused) {
  std::string sql = "SELECT A FROM T WHERE A IN (";
  for (int i = 0; i < 200; ++i) sql += "SELECT A FROM T WHERE A IN (";
  sql += "1";
  const auto [code, message] = ParseError(sql);
  EXPECT_EQ(code, kSqlErrorCode);
  EXPECT_EQ(message, "Sub-select queries are nested more than 32 levels deep");

  std::string joins = "SELECT A FROM " + std::string(500, '(') + "T";
  EXPECT_EQ(ParseError(joins).second, "Mismatched join parentheses");

  std::string joins2 = "SELECT A FROM T0";
  for (int i = 1; i <= 1100; ++i) joins2 += " JOIN T" + std::to_string(i) + " ON T" + std::to_string(i) + ".K = T0.K";
  EXPECT_EQ(ParseError(joins2).second,
            "Expression is nested more than 200 levels or 1000 operators deep in SQL statement");

  std::string tables = "SELECT A FROM T0";
  for (int i = 1; i < 20000; ++i) tables += ", T" + std::to_string(i);
  EXPECT_EQ(ParseError(tables).second, "");
  EXPECT_EQ(ParseError(tables + ", t17").second, "Duplicate table correlation name 't17' found in source tables");

  std::string unions = "SELECT A FROM T";
  for (int i = 0; i < 5000; ++i) unions += " UNION SELECT A FROM T";
  TQueryStatement statement(nullptr);
  statement.Parse(unions);
  EXPECT_EQ(statement.Queries().size(), 5001u);
}

}  // namespace
}  // namespace quarry
