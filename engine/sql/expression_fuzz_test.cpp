// Hostile input: random and mutated expression texts through the scanner, parser, type
// checker, preparation and evaluation. Every failure must be an engine error with the
// caller's code; nothing may crash, hang or leak nodes. Bounded to a few seconds; longer
// with PELLOMAR_SOAK set.
#include <chrono>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

#include "engine/sql/expression_test_support.h"

namespace quarry {
namespace {

using namespace testing_support;

const char* const kSeeds[] = {
    "(C.CASTMEMBERID = 12) AND ((V.INDUSTRYRATING = \"G\") OR (V.INDUSTRYRATING = \"PG\"))",
    "V.YEAR BETWEEN '1990' AND '1999'",
    "NAME = 'Smi*' AND AGE > 40 OR NOT ACTIVE",
    "UPPER(NAME) LIKE 'S_I%' AND LENGTH(RATING) IN (1, 2, 3)",
    "SUBSTRING(NAME FROM 2 FOR 3) || TRIM(BOTH '-' FROM RATING) = REPLACE('a' WITH 'b' IN NAME)",
    "EXTRACT(WEEK FROM BORN) + POS('m' IN NAME) * OCCURS('i' IN NAME) / 2 - ABS(SMALL)",
    "CAST(AMOUNT AS CHAR(10)) = CAST(PRICE AS DECIMAL(10,2)) || 'x'",
    "IF(ACTIVE THEN BORN + 1 ELSE CURRENT_DATE) > '1999-01-01'",
    "COALESCE(NOTHING, SMALL, COUNTER, BIG) <> ROUND(PRICE TO 2)",
    "IFNULL(EMPTY, NOTES, NAME) NOT LIKE '%x%' AND SEEN - BORN > 10",
    "WAKE + 1000 < '10:30 PM' AND BIG * 2 >= 9223372036854775807",
    "[NAME] = #65 AND 'AGE' > -(-1) AND DATA = DATA AND TEXTSEARCH('w' IN NAME)",
    "COUNT(*) + SUM(AGE) + AVG(PRICE) + MIN(SMALL) + MAX(BIG) + RUNSUM(AMOUNT)",
    "AGE IN (SELECT X FROM U) AND ? = 1 /* comment */ AND LASTAUTOINC('T') = IDENT_CURRENT('T')",
};

const char* const kFragments[] = {
    "(",
    ")",
    ",",
    ".",
    "*",
    "/",
    "+",
    "-",
    "||",
    "|",
    "=",
    "<",
    ">",
    "<>",
    "<=",
    ">=",
    "?",
    "#",
    "#300",
    "'",
    "\"",
    "[",
    "]",
    "''",
    "'abc'",
    "\"x\"",
    "[a b]",
    "/*",
    "*/",
    "1",
    "1.5",
    "1e",
    "1.2.3",
    "2147483648",
    "99999999999999999999",
    "1e308",
    ".5",
    "NAME",
    "AGE",
    "BORN",
    "SEEN",
    "WAKE",
    "NOTES",
    "DATA",
    "ACTIVE",
    "NOTHING",
    "T.NAME",
    "X.Y",
    "AND",
    "OR",
    "NOT",
    "IS",
    "NULL",
    "LIKE",
    "IN",
    "BETWEEN",
    "SELECT",
    "TRUE",
    "FALSE",
    "UPPER(",
    "LOWER(",
    "LENGTH(",
    "SUBSTRING(",
    "FROM",
    "FOR",
    "REPLACE(",
    "WITH",
    "POS(",
    "OCCURS(",
    "TRIM(",
    "LEADING",
    "TRAILING",
    "BOTH",
    "EXTRACT(",
    "YEAR",
    "DAYOFWEEK",
    "CAST(",
    "AS",
    "CHAR(10)",
    "DECIMAL(10,2)",
    "BLOB(1,2)",
    "INTEGER",
    "IF(",
    "THEN",
    "ELSE",
    "IFNULL(",
    "COALESCE(",
    "ABS(",
    "ROUND(",
    "TO",
    "TEXTSEARCH(",
    "LASTAUTOINC(",
    "SUM(",
    "COUNT(",
    "CURRENT_DATE",
    "CURRENT_TIME()",
    "'1999-02-30'",
    "'10:30 PM'",
    "'%a_'",
    "'x*'",
    "\xC3\xA9",
    "\xFF",
    "\x01",
    " ",
    "\n",
};

std::string RandomText(std::mt19937& random) {
  std::uniform_int_distribution<int> mode(0, 3);
  std::string text;
  switch (mode(random)) {
  case 0: {  // random bytes
    std::uniform_int_distribution<int> length(0, 40), byte(1, 255);
    for (int i = length(random); i > 0; --i) text += static_cast<char>(byte(random));
    break;
  }
  case 1: {  // random fragments
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kFragments) - 1);
    std::uniform_int_distribution<int> length(1, 25);
    for (int i = length(random); i > 0; --i) text += std::string(kFragments[pick(random)]) + " ";
    break;
  }
  default: {  // a mutated seed
    std::uniform_int_distribution<std::size_t> seed(0, std::size(kSeeds) - 1);
    text = kSeeds[seed(random)];
    std::uniform_int_distribution<int> edits(1, 4), kind(0, 3);
    std::uniform_int_distribution<std::size_t> frag(0, std::size(kFragments) - 1);
    for (int e = edits(random); e > 0; --e) {
      if (text.empty()) break;
      std::uniform_int_distribution<std::size_t> at(0, text.size() - 1);
      const std::size_t pos = at(random);
      switch (kind(random)) {
      case 0: text.erase(pos, 1 + pos % 5); break;
      case 1: text.insert(pos, kFragments[frag(random)]); break;
      case 2: text[pos] = static_cast<char>(1 + random() % 255); break;
      default: text = text.substr(0, pos); break;
      }
    }
    break;
  }
  }
  return text;
}

class TFuzzOwner : public TExpressionOwner {
 public:
  TDataQuery* ParseSubSelect(TExpressionParser& parser) override {
    int depth = 0;
    while (parser.TokenKind() != tk::End && !(depth == 0 && parser.IsSymbol(')'))) {
      if (parser.IsSymbol('(')) ++depth;
      if (parser.IsSymbol(')')) --depth;
      parser.NextToken();
    }
    return reinterpret_cast<TDataQuery*>(this);
  }
  int SubSelectColumns(TDataQuery*, TExpToken& type) override {
    type.SetType(vt::Integer, 0, 4);
    return 1;
  }
};

// Runs one text through every pass; returns false on anything but an engine error.
bool RunOne(TExprTable& table, TFuzzOwner& owner, const std::string& text, bool sql, std::string& problem) {
  const uint16_t code = sql ? kSqlErrorCode : kFilterErrorCode;
  try {
    TExpressionParser parser(&owner);
    parser.ErrorCode = code;
    parser.ContextName = sql ? "WHERE or JOIN clause" : "filter expression";
    parser.SetText(text);
    parser.NextToken();
    TExpTree tree = parser.ParseExpression(sql ? 0xFF : pf::Predicates);
    TCheckOptions check;
    check.ErrorCode = code;
    check.Resolver = table.Source.get();
    check.Owner = &owner;
    check.Context = parser.ContextName;
    CheckExpression(check, tree);
    TExpTree prepared = PrepareExpression(*tree, {.Owner = &owner,
                                                  .Provider = table.Source.get(),
                                                  .NoPartialCompare = sql,
                                                  .CaseInsensitive = !sql,
                                                  .Language = static_cast<uint16_t>(sql ? 1033 : 0)});
    TExpTree value = EvaluateExpression(*prepared, table.Record.data(), &owner, sql ? 1033 : 0, 0, table.Source.get());
    (void)ValueAsText(*value);
  } catch (const EQuarryEngineError& e) {
    if (e.Code() != code || e.Detail().size() > 255) {
      problem = "wrong error " + std::to_string(e.Code()) + ": " + e.Detail();
      return false;
    }
  } catch (const std::exception& e) {
    problem = std::string("unexpected exception: ") + e.what();
    return false;
  }
  return true;
}

TEST(ExpressionFuzz, RandomAndMutatedTextsNeverCrash) {
  TExprTable table;
  TFuzzOwner owner;
  const bool soak = std::getenv("PELLOMAR_SOAK") != nullptr;
  // A fixed seed keeps the short run repeatable; a soak run explores new texts each time.
  const unsigned seed = soak ? std::random_device{}() : 20261209u;
  std::mt19937 random(seed);
  const auto budget = std::chrono::seconds(soak ? 300 : 3);
  const auto start = std::chrono::steady_clock::now();
  long runs = 0;
  while (std::chrono::steady_clock::now() - start < budget) {
    const std::string text = RandomText(random);
    std::string problem;
    ASSERT_TRUE(RunOne(table, owner, text, runs % 2 == 0, problem))
        << problem << "\nfor: " << text << "\nseed " << seed;
    ++runs;
  }
  EXPECT_GT(runs, 100);
  std::printf("%ld expressions\n", runs);
}

TEST(ExpressionFuzz, DeepNestingAndLongChainsAreRefused) {
  TExprTable table;
  TFuzzOwner owner;
  const struct {
    std::string Text;
    bool Accepted;
  } cases[] = {
      {std::string(150, '(') + "1" + std::string(150, ')') + " = 1", true},
      {std::string(100000, '(') + "1", false},
      {"NOT " + std::string(5000, '(') + "ACTIVE", false},
      {[] {
         std::string s = "AGE = 1";
         for (int i = 0; i < 500; ++i) s += " AND AGE = 1";
         return s;
       }(),
       true},
      {[] {
         std::string s = "AGE = 1";
         for (int i = 0; i < 3000; ++i) s += " OR AGE = 1";
         return s;
       }(),
       false},
      {[] {
         std::string s = "AGE";
         for (int i = 0; i < 3000; ++i) s += " + 1";
         return s + " = 1";
       }(),
       false},
      {[] {
         std::string s = "AGE IN (1";
         for (int i = 0; i < 3000; ++i) s += ", 1";
         return s + ")";
       }(),
       true},
      {std::string(100000, '-'), false},
  };
  for (const auto& c : cases) {
    std::string problem;
    EXPECT_TRUE(RunOne(table, owner, c.Text, true, problem)) << problem;
    const std::string detail = CheckError(table, c.Text, SqlWhere());
    if (c.Accepted) {
      EXPECT_EQ(detail, "") << c.Text.substr(0, 60);
    } else {
      EXPECT_NE(detail, "") << c.Text.substr(0, 60);
    }
  }
}

}  // namespace
}  // namespace quarry
