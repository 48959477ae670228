// Building the catalogue's five tables from a folder of CSV files.
#include "tools/common/catalogue_schema.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/storage/cursor/data_cursor.h"
#include "tools/common/csv_reader.h"
#include "tools/common/tool_test_support.h"

namespace quarry::tools {
namespace {

const char* const kTables[] = {"VIDEOS", "CASTMEMBERS", "DIRECTORS", "VIDEOS_CASTMEMBERS", "VIDEOS_DIRECTORS"};

// A tiny catalogue in the folder of tables; directors.csv as given.
void WriteCatalogue(const TTempTables& tables, const std::string& directors) {
  tables.WriteFile("videos.csv",
                   "VIDEOID,TITLE,YEAR,INDUSTRYRATING,LENGTH\n"
                   "1,The Kid,1921,NR,68\n"
                   "2,\"A title that is much longer than eighty bytes, so that the catalogue has to cut it somewhere\","
                   "1999,PG-13,\n");
  tables.WriteFile("castmembers.csv",
                   "CASTMEMBERID,CASTMEMBER\n1,Charlie Chaplin\n2,\"Charles \"\"Buddy\"\" Rogers\"\n");
  tables.WriteFile("directors.csv", directors);
  tables.WriteFile("videos_castmembers.csv", "VIDEOID,CASTMEMBERID\n1,1\n2,2\n");
  tables.WriteFile("videos_directors.csv", "VIDEOID,DIRECTORID\n1,1\n");
}

TEST(CatalogueSchema, BuildsFiveEncryptedTablesWithTheApplicationsColumns) {
  TTempTables tables;
  WriteCatalogue(tables, "DIRECTORID,DIRECTOR\n1,Charlie Chaplin\n");
  const auto counts = LoadCatalogue(tables.Directory(), tables.Folder(), kCataloguePassword);
  ASSERT_EQ(counts.size(), 5u);
  const std::int64_t expectedRows[] = {2, 2, 1, 2, 1};
  for (std::size_t i = 0; i < counts.size(); ++i) {
    EXPECT_EQ(counts[i].Table, kTables[i]);
    EXPECT_EQ(counts[i].Rows, expectedRows[i]) << kTables[i];
    TDataCursor cursor(tables.Directory());
    cursor.SetTableName(kTables[i]);
    EXPECT_TRUE(cursor.TableInfo().Encrypted) << kTables[i];
    cursor.Open();
    EXPECT_EQ(cursor.Verify(), "") << kTables[i];
  }
  TDataCursor videos(tables.Directory());
  videos.SetTableName("VIDEOS");
  videos.Open();
  struct TColumn {
    const char* Name;
    TFieldType Type;
    int Size;
  };
  const TColumn columns[] = {{"VIDEOID", TFieldType::Integer, 0},
                             {"TITLE", TFieldType::String, 80},
                             {"YEAR", TFieldType::String, 10},
                             {"INDUSTRYRATING", TFieldType::String, 9},
                             {"LENGTH", TFieldType::String, 9}};
  for (const auto& column : columns) {
    const TFieldDefinition& field = videos.GetFieldDefinition(column.Name);
    EXPECT_EQ(field.DataType, column.Type) << column.Name;
    EXPECT_EQ(field.Size, column.Size) << column.Name;
  }
  EXPECT_EQ(videos.IndexCount(), 3);  // primary VIDEOID, TITLE, YEAR
  videos.SetIndex("TITLE");
  videos.SetIndex("YEAR");
}

TEST(CatalogueSchema, AFaultyFileLeavesNoTableBehind) {
  TTempTables tables;
  WriteCatalogue(tables, "DIRECTORID,DIRECTOR\n1,Charlie Chaplin\n2,Bad \"quote\n");
  try {
    LoadCatalogue(tables.Directory(), tables.Folder(), kCataloguePassword);
    ADD_FAILURE() << "loaded";
  } catch (const ECsvError& error) {
    EXPECT_EQ(error.Line(), 3);
    EXPECT_NE(error.File().find("directors.csv"), std::string::npos) << error.what();
  }
  for (const char* table : kTables) EXPECT_EQ(tables.FilesStartingWith(std::string(table) + "."), 0) << table;
}

TEST(CatalogueSchema, AMissingFileIsAnError) {
  TTempTables tables;
  WriteCatalogue(tables, "DIRECTORID,DIRECTOR\n1,Charlie Chaplin\n");
  std::remove((tables.Folder() + "/videos_directors.csv").c_str());
  EXPECT_THROW(LoadCatalogue(tables.Directory(), tables.Folder(), kCataloguePassword), ECsvLoadError);
  for (const char* table : kTables) EXPECT_EQ(tables.FilesStartingWith(std::string(table) + "."), 0) << table;
}

}  // namespace
}  // namespace quarry::tools
