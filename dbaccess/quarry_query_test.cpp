// The query dataset: the application's lookup and walk patterns over a small catalogue, a
// query without rows, SQL changes that close and unprepare, parameters, read-only results,
// the master data source, and filling the in-memory result set from an open query.
#include "dbaccess/quarry_query.h"

#include <gtest/gtest.h>

#include "dbaccess/access_test_support.h"
#include "dbaccess/client_data_set.h"
#include "dbaccess/dataset_row_source.h"
#include "dbaccess/quarry_database.h"
#include "dbaccess/quarry_table.h"

namespace quarry {
namespace {

using testing::AccessFixture;
using testing::ErrorOf;

struct TVideo {
  int id;
  const char* title;
  const char* year;
  const char* rating;
};

const TVideo kVideos[] = {
    {10, "Vertigo", "1958", "PG"}, {11, "Alien", "1979", "R"}, {12, "Brazil", "1985", "R"},
    {13, "Amadeus", "1984", "PG"}, {14, "Heat", "1995", "R"},
};

class QueryTest : public AccessFixture {
 protected:
  void SetUp() override {
    video_.SetDatabaseName("Video");
    video_.SetDirectory("/db");
    TQuarryTable table;
    table.SetDatabaseName("Video");
    table.SetTableName("VIDEOS");
    table.FieldDefs() = {{"VIDEOID", TDataFieldType::ftInteger},
                         {"TITLE", TDataFieldType::ftString, 80},
                         {"YEAR", TDataFieldType::ftString, 10},
                         {"INDUSTRYRATING", TDataFieldType::ftString, 9}};
    table.CreateIndexDefs() = {{"", "VIDEOID", true, true}};
    table.CreateTable();
    table.Open();
    for (const TVideo& v : kVideos) {
      table.Insert();
      table.Fields(0).SetAsInteger(v.id);
      table.Fields(1).SetAsString(v.title);
      table.Fields(2).SetAsString(v.year);
      table.Fields(3).SetAsString(v.rating);
      table.Post();
    }
  }

  // The application's lookup: create, database "Video", one line, open, field 0, free.
  std::string LookupFirst(const std::string& statement) {
    auto query = std::make_unique<TQuarryQuery>();
    query->SetDatabaseName("Video");
    query->AddSQL(statement);
    query->Open();
    return query->Fields(0).AsString();
  }

  // The walk: prepared before opening, unprepared after closing.
  std::vector<std::string> LookupAll(const std::string& statement) {
    auto query = std::make_unique<TQuarryQuery>();
    query->SetDatabaseName("Video");
    query->AddSQL(statement);
    query->Prepare();
    query->Open();
    std::vector<std::string> out;
    for (int guard = 0; !query->Eof() && guard < 1000; ++guard) {
      out.push_back(query->Fields(0).AsString());
      query->Next();
    }
    query->Close();
    query->Unprepare();
    return out;
  }

  TQuarryDatabase video_;
};

TEST_F(QueryTest, LookupAndWalkPatterns) {
  EXPECT_EQ(LookupFirst("SELECT YEAR FROM VIDEOS ORDER BY YEAR"), "1958");
  EXPECT_EQ(LookupFirst("SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC"), "1995");
  EXPECT_EQ(LookupAll("SELECT TITLE FROM VIDEOS ORDER BY TITLE"),
            (std::vector<std::string>{"Alien", "Amadeus", "Brazil", "Heat", "Vertigo"}));
  EXPECT_EQ(LookupFirst("SELECT VIDEOID FROM VIDEOS WHERE TITLE = \"Heat\""), "14");
  EXPECT_TRUE(video_.DataSets().empty()) << "freed queries leave the database";
}

TEST_F(QueryTest, NoRowsOpensAtEndOfDataWithEmptyFields) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.AddSQL("SELECT VIDEOID, TITLE FROM VIDEOS WHERE TITLE = \"Zardoz\"");
  query.Open();
  EXPECT_TRUE(query.Active());
  query.First();
  EXPECT_TRUE(query.Eof());
  EXPECT_TRUE(query.Bof());
  EXPECT_EQ(query.RecordCount(), 0);
  EXPECT_TRUE(query.Fields(0).IsNull());
  EXPECT_EQ(query.Fields(0).AsInteger(), 0);
  EXPECT_EQ(query.Fields(1).AsString(), "");
  EXPECT_EQ(LookupFirst("SELECT VIDEOID FROM VIDEOS WHERE TITLE = \"Zardoz\""), "");
}

TEST_F(QueryTest, ChangingALineOfAnOpenPreparedQueryClosesAndUnpreparesIt) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.AddSQL("SELECT TITLE FROM VIDEOS");
  query.AddSQL(" ORDER BY TITLE");
  query.Prepare();
  query.Open();
  EXPECT_TRUE(query.Prepared());
  query.SetSQLLine(1, " ORDER BY TITLE DESC");
  EXPECT_FALSE(query.Active());
  EXPECT_FALSE(query.Prepared());
  EXPECT_EQ(query.StatementText(), "SELECT TITLE FROM VIDEOS\r\n ORDER BY TITLE DESC");
  query.Open();
  EXPECT_TRUE(query.Prepared()) << "opening prepares again";
  EXPECT_EQ(query.Fields(0).AsString(), "Vertigo");
  query.Close();
  EXPECT_TRUE(query.Prepared()) << "closing keeps it prepared";
}

TEST_F(QueryTest, QueryMessages) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  TQuarryQuery open;
  open.SetDatabaseName("Video");
  open.AddSQL("SELECT TITLE FROM VIDEOS");
  open.Open();
  TQuarryQuery spaces;
  spaces.SetDatabaseName("Video");
  spaces.SetSQL({" "});
  TQuarryQuery withParam;
  withParam.SetDatabaseName("Video");
  withParam.AddSQL("SELECT TITLE FROM VIDEOS WHERE YEAR = :Year");
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { query.Open(); }, "No SQL statement available"},
      {[&] { spaces.Prepare(); }, "No SQL statement available"},
      {[&] { open.Prepare(); }, "Cannot perform this operation on an open dataset"},
      {[&] { open.Unprepare(); }, "Cannot perform this operation on an open dataset"},
      {[&] { open.SetDatabaseName("Other"); }, "Cannot perform this operation on an open database."},
      {[&] { withParam.Open(); }, "No value for parameter 'Year'"},
      {[&] { withParam.ParamByName("Month"); }, "Parameter 'Month' not found"},
      {[&] { open.SetDataSource(&open); }, "Circular data links are not allowed."},
      {[&] { open.Edit(); }, "Cannot modify a read-only dataset"},
  };
  for (const auto& [call, message] : cases) EXPECT_EQ(ErrorOf(call), message);
  EXPECT_FALSE(query.Active());
  EXPECT_FALSE(withParam.Active());
}

TEST_F(QueryTest, CannedResultIsReadOnly) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.AddSQL("SELECT TITLE FROM VIDEOS");
  EXPECT_FALSE(query.ReadOnly());
  query.Open();
  EXPECT_TRUE(query.ReadOnly());
  EXPECT_FALSE(query.CanModify());
  EXPECT_EQ(ErrorOf([&] { query.Fields(0).SetAsString("Other"); }), "Field TITLE cannot be modified.");
}

TEST_F(QueryTest, LiveResultWritesThroughToTheTable) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.SetRequestLive(true);
  query.AddSQL("SELECT VIDEOID, TITLE AS NAME, UPPER(TITLE) AS LOUD FROM VIDEOS WHERE VIDEOID >= 12");
  query.Open();
  EXPECT_FALSE(query.ReadOnly());
  EXPECT_TRUE(query.CanModify());
  EXPECT_EQ(query.RecordCount(), 3);
  EXPECT_EQ(query.FieldByName("NAME").Origin(), "VIDEOS.TITLE");
  EXPECT_EQ(query.FieldByName("LOUD").Origin(), "");
  EXPECT_TRUE(query.FieldByName("LOUD").ReadOnly());

  query.Edit();
  query.FieldByName("NAME").SetAsString("Brazil Cut");
  EXPECT_EQ(query.FieldByName("LOUD").AsString(), "BRAZIL CUT") << "computed from the edited record";
  EXPECT_EQ(ErrorOf([&] { query.FieldByName("LOUD").SetAsString("X"); }), "Field LOUD cannot be modified.");
  query.Post();
  EXPECT_EQ(LookupFirst("SELECT TITLE FROM VIDEOS WHERE VIDEOID = 12"), "Brazil Cut");

  query.Append();
  query.Fields(0).SetAsInteger(20);
  query.Fields(1).SetAsString("Zelig");
  query.Post();
  EXPECT_EQ(LookupFirst("SELECT TITLE FROM VIDEOS WHERE VIDEOID = 20"), "Zelig");
  query.Append();
  query.Fields(0).SetAsInteger(11);
  try {
    query.Post();
    ADD_FAILURE() << "a duplicate key was posted";
  } catch (const EQuarryEngineError& error) {
    EXPECT_EQ(error.Code(), QUARRY_KEYVIOL);
  }
  query.Cancel();

  ASSERT_TRUE(query.Locate("VIDEOID", {std::int64_t{13}}));
  query.Delete();
  EXPECT_EQ(LookupAll("SELECT TITLE FROM VIDEOS WHERE VIDEOID = 13"), std::vector<std::string>{});
}

TEST_F(QueryTest, LiveRequestThatCannotBeMetGivesAReadOnlyResult) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.SetRequestLive(true);
  query.AddSQL("SELECT DISTINCT INDUSTRYRATING FROM VIDEOS");
  query.Open();
  EXPECT_TRUE(query.ReadOnly());
  EXPECT_FALSE(query.CanModify());
  EXPECT_EQ(ErrorOf([&] { query.Fields(0).SetAsString("G"); }), "Field INDUSTRYRATING cannot be modified.");
}

TEST_F(QueryTest, LiveResultIsFilteredAgainWithNewParameterValues) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.SetRequestLive(true);
  query.AddSQL("SELECT TITLE FROM VIDEOS WHERE INDUSTRYRATING = :RATING");
  query.ParamByName("RATING").SetAsString("PG");
  query.Open();
  EXPECT_FALSE(query.ReadOnly());
  EXPECT_EQ(query.RecordCount(), 2);
  query.Close();
  query.ParamByName("RATING").SetAsString("R");
  query.Open();
  EXPECT_EQ(query.RecordCount(), 3);
  EXPECT_EQ(query.Fields(0).AsString(), "Alien");
  // A row limit cannot be kept by the table's own cursor: the result becomes canned.
  query.SetMaxRowCount(1);
  query.Open();
  EXPECT_EQ(query.RecordCount(), 1);
  EXPECT_TRUE(query.ReadOnly());
  query.SetMaxRowCount(-1);
  query.Open();
  EXPECT_EQ(query.RecordCount(), 3);
  EXPECT_FALSE(query.ReadOnly());
}

TEST_F(QueryTest, ParseErrorUnpreparesAndReportsTheEngineCode) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.AddSQL("SELEC TITLE FROM VIDEOS");
  try {
    query.Open();
    FAIL() << "a bad statement opened";
  } catch (const EQuarryEngineError& error) {
    EXPECT_EQ(error.Code(), QUARRY_SQLPARSE);
  }
  EXPECT_FALSE(query.Prepared());
  EXPECT_FALSE(query.Active());
}

TEST_F(QueryTest, MissingTableIsAnEngineError) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.AddSQL("SELECT X FROM NOSUCH");
  EXPECT_THROW(query.Open(), EQuarryEngineError);
  EXPECT_FALSE(query.Active());
}

TEST_F(QueryTest, ParametersAreBoundAndBlankTextIsNull) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.AddSQL("SELECT TITLE FROM VIDEOS WHERE INDUSTRYRATING = :Rating ORDER BY TITLE");
  ASSERT_EQ(query.Params().Count(), 1);
  EXPECT_EQ(query.StatementText(), "SELECT TITLE FROM VIDEOS WHERE INDUSTRYRATING = ? ORDER BY TITLE");
  query.ParamByName("rating").SetAsString("PG  ");
  query.Open();
  EXPECT_EQ(query.RecordCount(), 2);
  EXPECT_EQ(query.Fields(0).AsString(), "Amadeus");
  query.Close();
  query.ParamByName("Rating").SetAsString("   ");
  query.Open();
  EXPECT_EQ(query.RecordCount(), 0) << "a blank text is NULL, which equals nothing";
  // A new SQL text keeps the values of parameters with the same name.
  query.SetSQL({"SELECT TITLE FROM VIDEOS WHERE INDUSTRYRATING = :RATING"});
  EXPECT_EQ(ValueText(query.ParamByName("Rating").Value()), "   ");
}

TEST_F(QueryTest, DataSourceFillsParametersAndReopensOnEveryMove) {
  TQuarryTable master;
  master.SetDatabaseName("Video");
  master.SetTableName("VIDEOS");
  master.Open();
  TQuarryQuery detail;
  detail.SetDatabaseName("Video");
  detail.AddSQL("SELECT TITLE FROM VIDEOS WHERE VIDEOID = :VIDEOID");
  detail.SetDataSource(&master);
  detail.Open();
  EXPECT_EQ(detail.Fields(0).AsString(), "Vertigo");
  master.Next();
  EXPECT_TRUE(detail.Active());
  EXPECT_EQ(detail.Fields(0).AsString(), "Alien");
  detail.ParamByName("VIDEOID").SetAsInteger(14);
  master.Next();
  EXPECT_EQ(detail.Fields(0).AsString(), "Heat") << "a value set by hand wins";
  detail.SetDataSource(nullptr);
}

TEST_F(QueryTest, ResultFieldsKeepTheEngineNamesAndHideAvgCounters) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.AddSQL(
      "SELECT V.VIDEOID, W.VIDEOID, AVG(V.VIDEOID) AS MEANID FROM VIDEOS V, VIDEOS W "
      "WHERE V.VIDEOID = W.VIDEOID GROUP BY V.VIDEOID, W.VIDEOID");
  query.Open();
  std::vector<std::string> names;
  for (int i = 0; i < query.FieldCount(); ++i) names.push_back(query.Fields(i).FieldName());
  ASSERT_EQ(names.size(), 3u);
  EXPECT_NE(names[0], names[1]) << "result columns arrive uniquely named";
  EXPECT_EQ(names[2], "MEANID");
  EXPECT_EQ(query.RecordCount(), 5);
  EXPECT_DOUBLE_EQ(query.FieldByName("MEANID").AsFloat(), 10.0);
}

TEST_F(QueryTest, MaxRowCountCutsTheResult) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.AddSQL("SELECT TITLE FROM VIDEOS ORDER BY TITLE");
  query.SetMaxRowCount(2);
  query.Open();
  EXPECT_EQ(query.RecordCount(), 2);
}

TEST_F(QueryTest, InMemoryResultSetCopiesAnOpenQuery) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.SetParamCheck(false);
  query.SetSQL({"SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING", "FROM VIDEOS V", " ORDER BY V.TITLE"});
  query.Prepare();
  query.Open();
  TDataSetRowSource source(query);
  std::vector<TResultFieldDef> defs = source.FieldDefs();
  ASSERT_EQ(defs.size(), 4u);
  EXPECT_EQ(defs[0].kind, TResultFieldKind::Integer);
  EXPECT_EQ(defs[1].kind, TResultFieldKind::String);
  EXPECT_EQ(defs[1].size, 80);
  TClientDataSet cds;
  cds.SetFieldDefs({{"VideoID", TResultFieldKind::Integer, 0},
                    {"Title", TResultFieldKind::String, 80},
                    {"Year", TResultFieldKind::String, 10}});
  cds.SetSource(&source);
  cds.Open();
  EXPECT_EQ(cds.RecordCount(), 5);
  EXPECT_EQ(cds.Fields(0).AsInteger(), 11);
  EXPECT_EQ(cds.Fields(1).AsString(), "Alien");
  cds.AddIndex({"ByYearDesc", "Year", "", "", false, true});
  cds.SetIndexName("ByYearDesc");
  cds.First();
  EXPECT_EQ(cds.Fields(2).AsString(), "1995");
}

TEST_F(QueryTest, ExecSqlRunsTheStatementWithoutOpening) {
  TQuarryQuery query;
  query.SetDatabaseName("Video");
  query.AddSQL("SELECT TITLE FROM VIDEOS WHERE INDUSTRYRATING = 'R'");
  query.ExecSQL();
  EXPECT_EQ(query.RowsAffected(), 3);
  EXPECT_GE(query.ExecutionTime(), 0.0);
  EXPECT_FALSE(query.Active());
  EXPECT_TRUE(query.Prepared());
  EXPECT_EQ(video_.ReferenceCount(), 1) << "only the prepared statement still uses the database";
  query.Unprepare();
  EXPECT_EQ(video_.ReferenceCount(), 0);
}

}  // namespace
}  // namespace quarry
