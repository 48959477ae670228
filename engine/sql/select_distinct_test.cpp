// SELECT DISTINCT left out where it can remove no row: a single table whose result columns
// hold every field of one of its unique indexes. Each statement's rows, in their order, are
// compared with the same statement over PLAIN, a copy of FILMS without indexes, where
// DISTINCT always runs and its sort orders the rows; the plan text tells whether DISTINCT
// was left out and whether the rows streamed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/sql/select_test_support.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::IndexOn;
using select_testing::TRowValues;

class SelectDistinct : public ::testing::Test, public select_testing::TSelectFixture {
 protected:
  void SetUp() override {
    // Not in ID order, so that the table's order is not the order of any result column.
    // CODE is unique with one NULL; (YEAR, TITLE) is unique over two fields; titles and
    // years repeat.
    const std::vector<TRowValues> rows = {
        {"8", "Heat", "1986", "HT2"},    {"5", "Alien", "1986", "AL2"}, {"3", "Up", "2009", "NULL"},
        {"4", "Vertigo", "1958", "VT"},  {"1", "Heat", "1995", "HT"},   {"6", "Rope", "1958", "Cafe"},
        {"7", "Psycho", "1960", "Café"}, {"2", "Alien", "1979", "AL"},
    };
    const std::vector<TFieldDefinition> fields = {
        Column(1, "ID", TFieldType::Integer), Column(2, "TITLE", TFieldType::String, 30),
        Column(3, "YEAR", TFieldType::String, 4), Column(4, "CODE", TFieldType::String, 6)};
    MakeTable("FILMS", fields, IndexOn("", {1}, true),
              {IndexOn("BYTITLE", {2}), IndexOn("BYCODE", {4}, true), IndexOn("BYYEARTITLE", {3, 2}, true)}, rows);
    MakeTable("PLAIN", fields, TIndexDefinition{}, {}, rows);
    MakeTable("CAST", {Column(1, "FILMID", TFieldType::Integer), Column(2, "NAME", TFieldType::String, 20)},
              TIndexDefinition{}, {}, {{"4", "Stewart"}, {"8", "Stewart"}, {"4", "Novak"}, {"4", "Novak"}});
  }

  struct TRun {
    std::vector<std::string> Rows;
    bool Dropped = false;
    bool Streamed = false;
  };

  TRun Run(const std::string& sql) {
    TQueryStatement statement(Database);
    statement.Prepare(sql);
    TDataCursor* cursor = statement.Execute();
    TRun run;
    const std::string plan = statement.PlanText();
    run.Dropped = plan.find("DISTINCT left out") != std::string::npos;
    run.Streamed = plan.find("result streamed") != std::string::npos;
    std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor->RecordBufferSize()));
    cursor->Home();
    while (cursor->Next(record.data()) == 0) {
      std::string text;
      for (const TFieldDefinition& f : cursor->Fields()) {
        if (f.Internal) continue;
        text += (text.empty() ? "" : "|") + select_testing::FieldText(record.data(), f);
      }
      run.Rows.push_back(text);
    }
    return run;
  }

  static std::string OverPlain(std::string sql) {
    for (std::size_t at = sql.find("FILMS"); at != std::string::npos; at = sql.find("FILMS", at))
      sql.replace(at, 5, "PLAIN");
    return sql;
  }
};

TEST_F(SelectDistinct, LeftOutOnlyWhereNoRowCanRepeat) {
  struct TCase {
    const char* Sql;
    bool Dropped;
  };
  const std::vector<TCase> cases = {
      // The primary key, a unique secondary key with a NULL, a unique key of two fields.
      {"SELECT DISTINCT ID, TITLE FROM FILMS", true},
      {"SELECT DISTINCT TITLE, YEAR, ID FROM FILMS ORDER BY TITLE", true},
      {"SELECT DISTINCT ID, TITLE FROM FILMS WHERE YEAR > '1959' ORDER BY TITLE DESC", true},
      {"SELECT DISTINCT CODE, YEAR FROM FILMS", true},
      {"SELECT DISTINCT CODE FROM FILMS ORDER BY CODE", true},
      {"SELECT DISTINCT YEAR, TITLE FROM FILMS ORDER BY YEAR", true},
      {"SELECT DISTINCT ID AS A, ID AS B FROM FILMS ORDER BY A", true},
      {"SELECT DISTINCT ID, TITLE FROM FILMS ORDER BY TITLE TOP 3", true},
      {"SELECT DISTINCT TITLE, YEAR FROM FILMS WHERE ID < 9", true},
      // A non-unique index, part of a unique key, an expression over the key: DISTINCT runs.
      {"SELECT DISTINCT TITLE FROM FILMS", false},
      {"SELECT DISTINCT YEAR FROM FILMS ORDER BY YEAR", false},
      {"SELECT DISTINCT TITLE FROM FILMS WHERE YEAR = '1986'", false},
      {"SELECT DISTINCT ID - ID, TITLE FROM FILMS", false},
      {"SELECT DISTINCT UPPER(CODE) FROM FILMS", false},
      // Another table joined, grouping, UNION, aggregates.
      {"SELECT DISTINCT F.ID, C.NAME FROM FILMS F, CAST C WHERE F.ID = C.FILMID", false},
      {"SELECT DISTINCT F.ID, F.TITLE FROM FILMS F, CAST C WHERE F.ID = C.FILMID ORDER BY F.ID", false},
      {"SELECT DISTINCT ID, COUNT(*) FROM FILMS GROUP BY ID", false},
      {"SELECT DISTINCT COUNT(*) FROM FILMS", false},
      {"SELECT DISTINCT ID FROM FILMS UNION SELECT FILMID FROM CAST", false},
      // Another collation may call two keys equal that the table's index tells apart.
      {"SELECT DISTINCT CODE FROM FILMS LANGUAGE 'German (Standard)'", false},
      {"SELECT DISTINCT ID, CODE FROM FILMS LANGUAGE 'German (Standard)'", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    const TRun run = Run(c.Sql);
    const TRun plain = Run(OverPlain(c.Sql));
    EXPECT_FALSE(plain.Dropped);
    EXPECT_EQ(run.Dropped, c.Dropped);
    // The rows and their order: the order DISTINCT's sort gives, ties included.
    EXPECT_EQ(run.Rows, plain.Rows);
  }
}

// Leaving DISTINCT out over CODE rests on its unique index refusing a second NULL key, as it
// refuses any repeated key.
TEST_F(SelectDistinct, AUniqueIndexTakesOneNullKeyOnly) {
  TDataCursor cursor(*Database);
  cursor.SetTableName("FILMS");
  cursor.Open();
  std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor.RecordBufferSize()));
  cursor.InitRecord(record.data());
  const std::int32_t id = 9;
  cursor.PutField(1, record.data(), reinterpret_cast<const std::uint8_t*>(&id));
  cursor.PutField(2, record.data(), reinterpret_cast<const std::uint8_t*>("Ran"));
  cursor.PutField(3, record.data(), reinterpret_cast<const std::uint8_t*>("1985"));
  try {
    cursor.InsertRecord(record.data());
    ADD_FAILURE() << "a second NULL CODE was taken";
  } catch (const EQuarryEngineError& e) {
    EXPECT_EQ(e.Code(), QUARRY_KEYVIOL);
  }
}

TEST_F(SelectDistinct, LeftOutItStreamsInThePrimaryKeysOrder) {
  struct TCase {
    const char* Sql;
    bool Streams;
  };
  const std::vector<TCase> cases = {
      {"SELECT DISTINCT ID, TITLE FROM FILMS", true},
      {"SELECT DISTINCT ID, TITLE FROM FILMS ORDER BY ID DESC", true},
      {"SELECT DISTINCT CODE FROM FILMS ORDER BY CODE", true},  // the keys hold the rows
      // A secondary index's order would read the records one by one: walked and sorted.
      {"SELECT DISTINCT ID, TITLE FROM FILMS ORDER BY TITLE", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    const TRun run = Run(c.Sql);
    EXPECT_EQ(run.Streamed, c.Streams);
    EXPECT_EQ(run.Rows, Run(OverPlain(c.Sql)).Rows);
  }
}

}  // namespace
}  // namespace quarry
