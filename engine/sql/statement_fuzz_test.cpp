// Random and mutated SQL texts through the statement parser: every text either parses or
// fails with the SQL error code and a message within the length limit, and nothing
// crashes, hangs or leaks (the test build runs under the address sanitizer). The short
// run takes a few seconds with a fixed seed; PELLOMAR_SOAK=1 runs minutes with a random one.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/sql/expression_error.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/statement_execution.h"
#include "engine/sql/statement_test_support.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {
namespace {

const std::vector<std::string> kSeeds = {
    "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH FROM VIDEOS V, "
    "VIDEOS_CASTMEMBERS C, VIDEOS_DIRECTORS D WHERE (V.VIDEOID = C.VIDEOID) AND (V.VIDEOID = "
    "D.VIDEOID) AND (C.CASTMEMBERID = 12) AND (V.YEAR BETWEEN \"1990\" AND \"1999\") AND "
    "((V.INDUSTRYRATING = \"G\") OR (V.INDUSTRYRATING = \"PG\")) ORDER BY V.TITLE",
    "SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC",
    "SELECT A AS X, SUM(B), COUNT(*) INTO MEMORY R FROM T LEFT OUTER JOIN U ON T.K = U.K WHERE "
    "A IN (SELECT B FROM U WHERE C LIKE 'x%') GROUP BY A HAVING COUNT(*) > 1 ORDER BY 1 DESC "
    "NOCASE TOP 5 WITH LOCKS LANGUAGE 'French (Standard)' ENCRYPTED WITH 'p' NOJOINOPTIMIZE",
    "SELECT A FROM T UNION ALL SELECT B FROM U RIGHT JOIN V ON U.K = V.K UNION SELECT C FROM W ORDER BY 1",
    "(SELECT * FROM [My Table] M, \"/data/x.dat\" X, Other\\U)",
    "INSERT INTO T (A, \"B\") VALUES (?, 'x' || 'y') NOAUTOINC COMMIT INTERVAL 10 FLUSH",
    "INSERT INTO MEMORY T SELECT * FROM U WHERE A = ?",
    "UPDATE T X SET A = A + 1, B = NULL FROM T X INNER JOIN U ON X.K = U.K WHERE U.C = ? COMMIT FLUSH",
    "DELETE FROM T WHERE A BETWEEN 1 AND 10 COMMIT INTERVAL 5 NOJOINOPTIMIZE",
    "CREATE TABLE IF NOT EXISTS T (A AUTOINC NOT NULL, B VARCHAR(20) DESCRIPTION 'b' DEFAULT 'z' "
    "MIN 'a' MAX 'z' CHARCASE UPPER, C DECIMAL(10,2), D BLOB(512, 1), CONSTRAINT PK UNIQUE "
    "PRIMARY KEY (A) COMPRESS FULL, TEXT INDEX (B) STOP WORDS 'a the' SPACE CHARS ' ' INCLUDE "
    "CHARS '-', DESCRIPTION 't', BLOB BLOCK SIZE 1024, LANGUAGE 'German (Standard)' SORT "
    "'German Phone Book Order', ENCRYPTED WITH 'pw', USER MAJOR VERSION 2, USER MINOR VERSION "
    "1, LAST AUTOINC -1)",
    "CREATE UNIQUE DESC NOCASE INDEX IF NOT EXISTS I ON T (A, B) COMPRESS TRAILBYTE",
    "ALTER TABLE T ADD COLUMN N INT AT 1, REDEFINE A B CHAR(5) NOT NULL, DROP C, DROP PRIMARY "
    "KEY, ADD PRIMARY KEY (N) DESCRIPTION 'x' NOBACKUP",
    "DROP TABLE IF EXISTS MEMORY T; DROP INDEX T.I; START TRANSACTION; COMMIT WORK FLUSH; ROLLBACK",
};

const std::vector<std::string> kWords = {
    "SELECT",    "DISTINCT", "FROM",        "WHERE",
    "GROUP",     "BY",       "HAVING",      "ORDER",
    "UNION",     "ALL",      "INTO",        "MEMORY",
    "JOIN",      "LEFT",     "RIGHT",       "INNER",
    "OUTER",     "FULL",     "ON",          "AND",
    "OR",        "NOT",      "IN",          "BETWEEN",
    "LIKE",      "IS",       "NULL",        "AS",
    "TOP",       "WITH",     "LOCKS",       "INSERT",
    "VALUES",    "UPDATE",   "SET",         "DELETE",
    "CREATE",    "TABLE",    "INDEX",       "ALTER",
    "ADD",       "DROP",     "REDEFINE",    "PRIMARY",
    "KEY",       "COMMIT",   "INTERVAL",    "FLUSH",
    "ROLLBACK",  "START",    "TRANSACTION", "COUNT(*)",
    "SUM(",      "(",        ")",           ",",
    ";",         ".",        "\\",          "=",
    "<>",        "?",        "*",           "'s'",
    "\"d\"",     "[b]",      "1",           "2.5",
    "T",         "A",        "V.X",         "CHAR(3)",
    "INT",       "TEXT",     "LANGUAGE",    "'French (Standard)'",
    "ENCRYPTED", "USER",     "LAST",        "AUTOINC",
    "COMPRESS",  "NOCASE",   "DESC",        "/*",
    "*/",        "'",        "\"",          "[",
    "#65",       "-",
};

std::string Mutate(std::mt19937& random, std::string text) {
  const int edits = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < edits; ++i) {
    const std::size_t at = text.empty() ? 0 : random() % (text.size() + 1);
    switch (random() % 5) {
    case 0:  // drop a stretch
      if (!text.empty() && at < text.size()) text.erase(at, 1 + random() % 8);
      break;
    case 1:  // insert a word
      text.insert(at, " " + kWords[random() % kWords.size()] + " ");
      break;
    case 2:  // replace one byte with anything, control and high bytes included
      if (at < text.size()) text[at] = static_cast<char>(random() % 256);
      break;
    case 3:  // duplicate a stretch
      if (at < text.size()) text.insert(at, text.substr(at, 1 + random() % 20));
      break;
    default:  // cut the text short
      text.resize(at);
      break;
    }
  }
  return text;
}

std::string RandomWords(std::mt19937& random) {
  std::string text;
  const int count = 1 + static_cast<int>(random() % 30);
  for (int i = 0; i < count; ++i) text += kWords[random() % kWords.size()] + " ";
  return text;
}

// Stand-in executor, so that Execute walks the whole script.
class TNullExecutor : public TStatementExecutor {
 public:
  void Prepare() override {}
  void Execute() override {}
  TDataCursor* ResultCursor() override { return nullptr; }
  int32_t RowsAffected() const override { return 1; }
};

std::unique_ptr<TStatementExecutor> MakeNull(TQueryStatement&) { return std::make_unique<TNullExecutor>(); }

// Parses (and for scripts executes) one text; false with a note on anything but a clean
// result or an SQL error.
bool RunOne(TQueryStatement& statement, const std::string& text, std::string& problem) {
  try {
    statement.Prepare(text);
    (void)testing_support::DescribeStatement(statement);
    statement.Execute();
  } catch (const EQuarryEngineError& e) {
    if (e.Code() != kSqlErrorCode || e.Detail().size() > kMaxMessageLength) {
      problem = "wrong error " + std::to_string(e.Code()) + ": " + e.Detail();
      return false;
    }
  } catch (const std::exception& e) {
    problem = std::string("unexpected exception: ") + e.what();
    return false;
  }
  return true;
}

TEST(StatementFuzz, RandomAndMutatedStatementsNeverCrash) {
  // The seeds themselves parse.
  for (const auto& seed : kSeeds) EXPECT_EQ(testing_support::ParseError(seed).second, "") << seed;

  const bool soak = std::getenv("PELLOMAR_SOAK") != nullptr;
  const unsigned seed = soak ? std::random_device{}() : 20261210u;
  std::mt19937 random(seed);
  const auto budget = std::chrono::seconds(soak ? 300 : 3);
  const auto start = std::chrono::steady_clock::now();
  TQueryStatement statement(nullptr);  // reused, as a dataset reuses its statement
  statement.SetExecutorFactory(&MakeNull);
  long runs = 0;
  while (std::chrono::steady_clock::now() - start < budget) {
    std::string text;
    switch (runs % 3) {
    case 0: text = Mutate(random, kSeeds[random() % kSeeds.size()]); break;
    case 1: text = RandomWords(random); break;
    default: text = kSeeds[random() % kSeeds.size()] + ";" + Mutate(random, kSeeds[random() % kSeeds.size()]); break;
    }
    std::string problem;
    ASSERT_TRUE(RunOne(statement, text, problem)) << problem << "\nfor: " << text << "\nseed " << seed;
    ++runs;
  }
  std::printf("%ld statements\n", runs);
}

}  // namespace
}  // namespace quarry
