// SELECT results streamed from the source table's cursor: for every shape the rows, their
// order, the column names and the record count are those of the same statement run into a
// result table (a progress handler makes the statement walk its rows); navigation back and
// forth, positions and bookmarks behave alike; a streamed result is read-only, reads BLOBs
// from the table, may be read in part and dropped, and executes again from scratch.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/sql/select_test_support.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::IndexOn;
using TBytes = std::vector<std::uint8_t>;

// A progress handler that never stops the walk: the statement then fills a result table.
void KeepWalking(void*, TQueryStatement&, int, bool&) {}

struct TRun {
  bool Streamed = false;
  std::vector<std::string> Names;
  std::vector<std::string> Rows;
  std::int32_t RowsAffected = 0;
  std::int32_t RecordCount = 0;
};

class SelectStream : public ::testing::Test, public select_testing::TSelectFixture {
 protected:
  void SetUp() override {
    TFieldDefinition notes = Column(6, "NOTES", TFieldType::Blob);
    notes.SubType = subtype::Memo;
    TIndexDefinition byYearDesc = IndexOn("BYYEARDESC", {3});
    byYearDesc.Descending = true;
    // Equal years and titles, a NULL year and NULL running times: ties keep the index's order.
    MakeTable("FILMS",
              {Column(1, "ID", TFieldType::Integer), Column(2, "TITLE", TFieldType::String, 30),
               Column(3, "YEAR", TFieldType::String, 4), Column(4, "RATING", TFieldType::String, 5),
               Column(5, "RUNTIME", TFieldType::Integer), notes},
              IndexOn("", {1}, true), {IndexOn("BYTITLE", {2}), IndexOn("BYYEAR", {3}), byYearDesc},
              {{"4", "Vertigo", "1958", "PG", "128", "NULL"},
               {"2", "Alien", "1979", "R", "117", "NULL"},
               {"7", "Psycho", "1960", "R", "NULL", "NULL"},
               {"1", "Heat", "1995", "R", "170", "NULL"},
               {"5", "Alien", "1986", "R", "137", "NULL"},
               {"3", "Up", "2009", "PG", "96", "NULL"},
               {"6", "Metropolis", "NULL", "NR", "NULL", "NULL"},
               {"8", "Rope", "1958", "PG-13", "80", "NULL"}});
    MakeTable("CAST", {Column(1, "FILMID", TFieldType::Integer), Column(2, "NAME", TFieldType::String, 20)},
              IndexOn("", {1, 2}, true), {},
              {{"4", "Stewart"}, {"8", "Stewart"}, {"7", "Perkins"}, {"4", "Novak"}, {"4", "Bel Geddes"}});
    // Memo texts for two films, written through a cursor of its own.
    TDataCursor cursor(*Database);
    cursor.SetTableName("FILMS");
    cursor.Open();
    TBytes record(static_cast<std::size_t>(cursor.RecordBufferSize()));
    for (const auto& [id, text] :
         {std::pair{4, std::string("a man afraid of heights")}, std::pair{3, std::string(3000, 'u')}}) {
      TBytes key(record.size(), 0);
      cursor.PutField(1, key.data(), reinterpret_cast<const std::uint8_t*>(&id));
      ASSERT_TRUE(cursor.FindKey(key.data(), 0, 0, false, record.data()));
      ASSERT_EQ(cursor.GetCurrentRecord(record.data(), true), 0);
      ASSERT_EQ(cursor.OpenBlob(6, record.data(), true), 0);
      ASSERT_EQ(cursor.WriteBlob(6, record.data(), 0, static_cast<std::int64_t>(text.size()),
                                 reinterpret_cast<const std::uint8_t*>(text.data())),
                0);
      cursor.UpdateRecord(record.data());
      cursor.CloseBlobs(record.data());
    }
  }

  // Every row of the cursor as text from where it stands (BLOBs read whole).
  static std::vector<std::string> ReadRows(TDataCursor& cursor, int limit = 1000) {
    std::vector<std::string> rows;
    TBytes record(static_cast<std::size_t>(cursor.RecordBufferSize()));
    while (static_cast<int>(rows.size()) < limit && cursor.Next(record.data()) == 0)
      rows.push_back(Row(cursor, record));
    return rows;
  }

  static std::string Row(TDataCursor& cursor, TBytes& record) {
    std::string text;
    for (const TFieldDefinition& f : cursor.Fields()) {
      if (!text.empty()) text += "|";
      if (f.IsBlob() && !IsFieldNull(record.data(), f)) {
        TBytes value;
        cursor.ReadBlobValue(f.FieldNo, record.data(), value);
        text += std::string(value.begin(), value.end());
      } else {
        text += select_testing::FieldText(record.data(), f);
      }
    }
    return text;
  }

  TRun Run(const std::string& sql, bool walk, const std::vector<std::int32_t>& parameters = {}) {
    TQueryStatement statement(Database);
    if (walk) statement.SetProgressHandler(nullptr, KeepWalking);
    statement.Prepare(sql);
    TDataCursor* cursor = Execute(statement, parameters);
    TRun run;
    run.Streamed = statement.PlanText().find("result streamed") != std::string::npos;
    run.RowsAffected = statement.RowsAffected();
    if (cursor == nullptr) return run;
    if (run.Streamed) {
      EXPECT_TRUE(cursor->ReadOnly());
    }
    for (const TFieldDefinition& f : cursor->Fields()) run.Names.push_back(f.Name);
    run.RecordCount = cursor->RecordCount();
    cursor->Home();
    run.Rows = ReadRows(*cursor);
    return run;
  }

  // Integer parameters, in order.
  static TDataCursor* Execute(TQueryStatement& statement, const std::vector<std::int32_t>& values) {
    std::vector<TParameterDescriptor> descriptors;
    std::vector<std::uint8_t> data;
    for (std::int32_t v : values) {
      TParameterDescriptor d;
      d.DataType = vt::Integer;
      d.Size = 4;
      d.Offset = static_cast<std::uint32_t>(data.size());
      descriptors.push_back(d);
      data.push_back(1);  // has a value
      data.resize(data.size() + 4);
      std::memcpy(data.data() + data.size() - 4, &v, 4);
    }
    return statement.Execute(static_cast<int>(descriptors.size()), descriptors.data(), data.data(), data.size());
  }

  // A script of moves on the cursor and what each one showed.
  static std::vector<std::string> Navigate(TDataCursor& cursor) {
    std::vector<std::string> seen;
    TBytes record(static_cast<std::size_t>(cursor.RecordBufferSize()));
    auto current = [&](const char* step) {
      const TEngineErrorCode code = cursor.GetCurrentRecord(record.data());
      seen.push_back(std::string(step) + " " + (code == 0 ? Row(cursor, record) : "code " + std::to_string(code)) +
                     " at " + std::to_string(cursor.GetRecNo()) + (cursor.Bof() ? " bof" : "") +
                     (cursor.Eof() ? " eof" : ""));
    };
    cursor.Home();
    current("home");
    seen.push_back("prior at home " + std::to_string(cursor.Prior(record.data())));
    cursor.Last();
    current("last");
    seen.push_back("next at last " + std::to_string(cursor.Next(record.data())));
    current("after next");
    cursor.Prior(record.data());
    current("prior");
    cursor.First();
    current("first");
    const TBookmark first = cursor.GetBookmark();
    cursor.Next(record.data());
    const TBookmark second = cursor.GetBookmark();
    seen.push_back("bookmarks " + std::to_string(cursor.CompareBookmarks(first, second)) + " " +
                   std::to_string(cursor.CompareBookmarks(second, first)));
    cursor.Next(record.data());
    cursor.GotoBookmark(second);
    current("back to second");
    seen.push_back("to 3 " + std::to_string(cursor.SetRecNo(3)));
    current("third");
    seen.push_back("to 99 " + std::to_string(cursor.SetRecNo(99)));
    cursor.End();
    seen.push_back("backward");
    while (cursor.Prior(record.data()) == 0) seen.back() += " " + Row(cursor, record);
    int count = 3;
    TBytes block(record.size() * 3);
    cursor.First();
    const TEngineErrorCode code = cursor.ReadBlock(block.data(), count);
    seen.push_back("block of 3: " + std::to_string(code) + " " + std::to_string(count));
    for (int i = 0; i < count; ++i) {
      std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(record.size()) * i, record.size(), record.begin());
      seen.back() += " " + Row(cursor, record);
    }
    return seen;
  }
};

struct TStreamCase {
  const char* Sql;
  bool Streams;
};

TEST_F(SelectStream, StreamedRowsAreTheRowsOfTheResultTable) {
  const std::vector<TStreamCase> cases = {
      // Streamed: one table's rows, all of them or an index range that answers the
      // condition exactly, in no order or the index's.
      {"SELECT * FROM FILMS", true},
      {"SELECT TITLE, ID FROM FILMS", true},
      {"SELECT YEAR FROM FILMS ORDER BY YEAR", true},
      {"SELECT YEAR FROM FILMS ORDER BY YEAR DESC", true},
      {"SELECT ID, TITLE FROM FILMS ORDER BY ID DESC", true},
      {"SELECT TITLE AS NAME FROM FILMS ORDER BY NAME DESC", true},
      {"SELECT ID, TITLE FROM FILMS WHERE ID = 5", true},
      {"SELECT ID, ID FROM FILMS WHERE ID = 3", true},
      {"SELECT ID, NOTES FROM FILMS ORDER BY ID DESC", true},
      {"SELECT NAME, FILMID FROM CAST WHERE FILMID = 4 ORDER BY FILMID DESC", true},
      {"SELECT NAME FROM CAST WHERE FILMID = 99", true},
      // A string equality and an interval whose index range gives exactly their rows.
      {"SELECT TITLE FROM FILMS WHERE TITLE = 'Alien'", true},
      {"SELECT ID, YEAR FROM FILMS WHERE YEAR BETWEEN '1958' AND '1986' ORDER BY YEAR", true},
      // Walked into a result table: rows the condition picks from, a sort, or more than
      // one table's rows.
      {"SELECT ID FROM FILMS WHERE RATING = 'R' OR RATING = 'PG'", false},
      {"SELECT ID FROM FILMS WHERE UPPER(TITLE) LIKE 'A%'", false},
      {"SELECT ID, RUNTIME FROM FILMS WHERE RUNTIME IS NULL", false},
      {"SELECT ID FROM FILMS WHERE 1 = 0", false},
      {"SELECT ID, NOTES FROM FILMS WHERE NOTES IS NOT NULL", false},
      {"SELECT TITLE, RATING FROM FILMS ORDER BY RATING", false},
      // A secondary index's order would read the records one by one, out of their order.
      {"SELECT ID, YEAR FROM FILMS ORDER BY YEAR", false},
      {"SELECT TITLE, ID FROM FILMS ORDER BY TITLE", false},
      // Equal keys read from these indexes would come in the reverse of the sort's order.
      {"SELECT ID, TITLE FROM FILMS ORDER BY TITLE DESC", false},
      {"SELECT ID, YEAR AS Y FROM FILMS ORDER BY YEAR DESC", false},
      {"SELECT DISTINCT TITLE FROM FILMS", false},
      {"SELECT ID FROM FILMS TOP 2", false},
      {"SELECT ID + 1 FROM FILMS", false},
      {"SELECT COUNT(*) FROM FILMS", false},
      {"SELECT F.TITLE FROM FILMS F, CAST C WHERE F.ID = C.FILMID", false},
      {"SELECT ID FROM FILMS WHERE ID IN (SELECT FILMID FROM CAST)", false},
      {"SELECT ID FROM FILMS UNION SELECT FILMID FROM CAST", false},
  };
  for (const TStreamCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    const TRun streamed = Run(c.Sql, false);
    const TRun walked = Run(c.Sql, true);
    EXPECT_EQ(streamed.Streamed, c.Streams);
    EXPECT_FALSE(walked.Streamed);
    EXPECT_EQ(streamed.Names, walked.Names);
    EXPECT_EQ(streamed.Rows, walked.Rows);
    EXPECT_EQ(streamed.RowsAffected, walked.RowsAffected);
    EXPECT_EQ(streamed.RecordCount, walked.RecordCount);
    EXPECT_EQ(streamed.RowsAffected, static_cast<std::int32_t>(streamed.Rows.size()));
  }
}

TEST_F(SelectStream, ParametersGiveEachExecutionItsRows) {
  const char* sql = "SELECT ID, TITLE FROM FILMS WHERE ID = ?";
  TQueryStatement statement(Database);
  statement.Prepare(sql);
  for (std::int32_t id : {5, 3, 99, 8}) {
    SCOPED_TRACE(id);
    TDataCursor* cursor = Execute(statement, {id});
    ASSERT_NE(cursor, nullptr);
    EXPECT_NE(statement.PlanText().find("result streamed"), std::string::npos);
    cursor->Home();
    const std::vector<std::string> rows = ReadRows(*cursor);
    EXPECT_EQ(rows, Run(sql, true, {id}).Rows);
    EXPECT_EQ(statement.RowsAffected(), static_cast<std::int32_t>(rows.size()));
  }
}

TEST_F(SelectStream, NavigationMatchesTheResultTable) {
  for (const char* sql : {"SELECT TITLE, ID FROM FILMS ORDER BY ID", "SELECT TITLE FROM FILMS ORDER BY TITLE DESC",
                          "SELECT YEAR FROM FILMS ORDER BY YEAR DESC",
                          "SELECT NAME, FILMID FROM CAST WHERE FILMID = 4 ORDER BY FILMID DESC",
                          "SELECT ID, YEAR FROM FILMS ORDER BY ID DESC", "SELECT ID, TITLE FROM FILMS"}) {
    SCOPED_TRACE(sql);
    TQueryStatement streamed(Database);
    streamed.Prepare(sql);
    TQueryStatement walked(Database);
    walked.SetProgressHandler(nullptr, KeepWalking);
    walked.Prepare(sql);
    TDataCursor* a = streamed.Execute();
    TDataCursor* b = walked.Execute();
    ASSERT_NE(streamed.PlanText().find("result streamed"), std::string::npos);
    EXPECT_EQ(Navigate(*a), Navigate(*b));
  }
}

TEST_F(SelectStream, TheFirstRowOfAnIndexOrderIsReadAloneAndTheRestDropped) {
  TQueryStatement statement(Database);
  statement.Prepare("SELECT YEAR FROM FILMS ORDER BY YEAR DESC");
  for (int execution = 0; execution < 2; ++execution) {
    TDataCursor* cursor = statement.Execute();
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(statement.RowsAffected(), 8);
    cursor->Home();
    EXPECT_EQ(ReadRows(*cursor, 1), std::vector<std::string>{"2009"});
  }
  // Read in part and dropped: the table is free for an exclusive user.
  {
    TQueryStatement partial(Database);
    partial.Prepare("SELECT TITLE FROM FILMS ORDER BY TITLE");
    TDataCursor* cursor = partial.Execute();
    cursor->Home();
    EXPECT_EQ(ReadRows(*cursor, 1), std::vector<std::string>{"Alien"});
  }
  statement.Unprepare();
  TDataCursor exclusive(*Database);
  exclusive.SetTableName("FILMS");
  exclusive.SetExclusive(true);
  EXPECT_NO_THROW(exclusive.Open());
}

TEST_F(SelectStream, ExecutingAgainPlansOverTheTablesOwnFields) {
  // The view and the row filter of one execution must not reach the next one's plan, also
  // when the next one walks (a progress handler set meanwhile).
  const char* sql = "SELECT RUNTIME AS L, TITLE AS T FROM FILMS WHERE ID = 5";
  TQueryStatement statement(Database);
  statement.Prepare(sql);
  const std::vector<std::string> expected = {"137|Alien"};
  for (int execution = 0; execution < 3; ++execution) {
    SCOPED_TRACE(execution);
    if (execution == 1) statement.SetProgressHandler(nullptr, KeepWalking);
    if (execution == 2) statement.SetProgressHandler(nullptr, nullptr);
    TDataCursor* cursor = statement.Execute();
    EXPECT_EQ(statement.PlanText().find("result streamed") != std::string::npos, execution != 1);
    ASSERT_EQ(cursor->FieldCount(), 2);
    EXPECT_EQ(cursor->Fields()[0].Name, "L");
    cursor->Home();
    EXPECT_EQ(ReadRows(*cursor), expected);
  }
}

TEST_F(SelectStream, ResultFieldsDescribeTheResultNotTheTable) {
  TQueryStatement statement(Database);
  statement.Prepare("SELECT TITLE AS NAME, ID FROM FILMS");
  TDataCursor* cursor = statement.Execute();
  ASSERT_EQ(cursor->FieldCount(), 2);
  EXPECT_EQ(cursor->Fields()[0].Name, "NAME");
  EXPECT_EQ(cursor->Fields()[0].Origin, "FILMS.TITLE");
  EXPECT_EQ(cursor->GetFieldDefinition("ID").FieldNo, 2);
  EXPECT_FALSE(statement.LiveResult());
  std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor->RecordBufferSize()));
  cursor->First();
  ASSERT_EQ(cursor->GetCurrentRecord(record.data()), 0);
  EXPECT_THROW(cursor->UpdateRecord(record.data()), EQuarryEngineError);
}

TEST_F(SelectStream, AStreamedResultShowsTheTableAsItIsRead) {
  // Like a live result, the rows are read from the table when the caller reads them: a row
  // another cursor adds after the execution is seen, and the count follows it.
  TQueryStatement statement(Database);
  statement.Prepare("SELECT ID FROM FILMS ORDER BY ID");
  TDataCursor* cursor = statement.Execute();
  EXPECT_EQ(statement.RowsAffected(), 8);
  TDataCursor other(*Database);
  other.SetTableName("FILMS");
  other.Open();
  std::vector<std::uint8_t> record(static_cast<std::size_t>(other.RecordBufferSize()));
  other.InitRecord(record.data());
  const std::int32_t id = 9;
  other.PutField(1, record.data(), reinterpret_cast<const std::uint8_t*>(&id));
  other.PutField(4, record.data(), reinterpret_cast<const std::uint8_t*>("PG"));
  other.InsertRecord(record.data());
  cursor->Home();
  EXPECT_EQ(ReadRows(*cursor), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
  EXPECT_EQ(cursor->RecordCount(), 9);
}

}  // namespace
}  // namespace quarry
