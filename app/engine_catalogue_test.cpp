// The engine-backed catalogue access over a small catalogue made in memory: the year lists,
// the name lists, the name lookups and the search copied into the window's result set.
#include "app/engine_catalogue.h"

#include <gtest/gtest.h>

#include "app/search_statement.h"
#include "dbaccess/access_test_support.h"
#include "dbaccess/client_data_set.h"
#include "dbaccess/quarry_database.h"
#include "dbaccess/quarry_table.h"

namespace {

using quarry::TDataFieldType;
using quarry::TQuarryTable;

class EngineCatalogueTest : public quarry::testing::AccessFixture {
 protected:
  void SetUp() override {
    // The search reads the engine session's default directory: the program's directory.
    env_.SetCurrentDirectory("/db");
    quarry::TQuarryDatabase maker;
    maker.SetDatabaseName("Maker");
    maker.SetDirectory("/db");
    Make(
        "VIDEOS",
        {{"VIDEOID", TDataFieldType::ftInteger},
         {"TITLE", TDataFieldType::ftString, 80},
         {"YEAR", TDataFieldType::ftString, 10},
         {"INDUSTRYRATING", TDataFieldType::ftString, 9},
         {"LENGTH", TDataFieldType::ftString, 9}},
        {{"1", "Vertigo", "1958", "PG", "128"}, {"2", "Alien", "1979", "R", "117"}, {"3", "Heat", "1995", "R", "170"}});
    Make("CASTMEMBERS", {{"CASTMEMBERID", TDataFieldType::ftInteger}, {"CASTMEMBER", TDataFieldType::ftString, 40}},
         {{"7", "Sigourney Weaver"}, {"8", "Al Pacino"}});
    Make("DIRECTORS", {{"DIRECTORID", TDataFieldType::ftInteger}, {"DIRECTOR", TDataFieldType::ftString, 40}},
         {{"5", "Ridley Scott"}});
  }

  void Make(const char* name, std::vector<quarry::TQuarryFieldDef> fields, std::vector<std::vector<std::string>> rows) {
    TQuarryTable table;
    table.SetDatabaseName("Maker");
    table.SetTableName(name);
    table.FieldDefs() = fields;
    table.CreateIndexDefs() = {{"", fields[0].Name, true, true}};
    table.CreateTable();
    table.Open();
    for (const auto& row : rows) {
      table.Insert();
      for (std::size_t i = 0; i < row.size(); ++i) table.Fields(static_cast<int>(i)).SetAsString(row[i]);
      table.Post();
    }
  }
};

TEST_F(EngineCatalogueTest, ListsLookupsAndSearch) {
  auto catalogue = MakeEngineCatalogue("/db", "kqpwzra5");
  EXPECT_EQ(FillYears(*catalogue).front(), "1958");
  EXPECT_EQ(FillYears(*catalogue).back(), "1995");
  EXPECT_EQ(FillCastMembers(*catalogue), (std::vector<std::string>{"Al Pacino", "Sigourney Weaver"}));
  EXPECT_EQ(FillDirectors(*catalogue), (std::vector<std::string>{"Ridley Scott"}));
  EXPECT_TRUE(CastMemberExists(*catalogue, "Al Pacino"));
  EXPECT_EQ(GetCastMemberId(*catalogue, "Sigourney Weaver"), 7);
  EXPECT_FALSE(DirectorExists(*catalogue, "Nobody"));

  quarry::TClientDataSet cds;
  cds.SetFieldDefs(VideoFieldDefs());
  for (int search = 0; search < 2; ++search) {
    cds.Close();
    auto rows = catalogue->Search(
        "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH\r\n"
        "FROM VIDEOS V\r\n ORDER BY V.TITLE");
    cds.SetSource(rows.get());
    cds.Open();
    cds.SetSource(nullptr);
    ASSERT_EQ(cds.RecordCount(), 3);
    EXPECT_EQ(cds.FieldByName("VideoID").AsInteger(), 2);
    EXPECT_EQ(cds.FieldByName("Title").AsString(), "Alien");
    EXPECT_EQ(cds.FieldByName("Length").AsString(), "117");
  }
}

}  // namespace
