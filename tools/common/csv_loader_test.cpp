// Loading CSV files into tables: values, NULLs, sizes and indexes as loaded, and faults that
// must leave no table behind.
#include "tools/common/csv_loader.h"

#include <gtest/gtest.h>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/errors/engine_error.h"
#include "tools/common/result_reader.h"
#include "tools/common/tool_test_support.h"

namespace quarry::tools {
namespace {

TCsvLoadOptions FilmOptions() {
  TCsvLoadOptions options;
  options.Table = "FILMS";
  options.Types = {{"ID", "INTEGER"}, {"RELEASED", "DATE"}, {"SCORE", "FLOAT"}};
  options.Primary = "ID";
  options.Indexes = {"TITLE"};
  return options;
}

const char* const kFilms =
    "ID,TITLE,RELEASED,SCORE,NOTE\n"
    "2,\"Charles \"\"Buddy\"\" Rogers, live\",1931-05-02,7.5,\n"
    "1,Amélie,2001-04-25,,\"two\nlines\"\n"
    "3,  padded  ,,8,x\n";

TResultTable ReadTable(TDataDirectory& directory, const std::string& table, const std::string& index = "") {
  TDataCursor cursor(directory);
  cursor.SetTableName(table);
  cursor.Open();
  if (!index.empty()) cursor.SetIndex(index);
  EXPECT_EQ(cursor.Verify(), "");
  return ReadResult(cursor);
}

TEST(CsvLoader, LoadsValuesNullsAndIndexes) {
  TTempTables tables;
  EXPECT_EQ(LoadCsvText(tables.Directory(), FilmOptions(), kFilms), 3);
  const TResultTable byId = ReadTable(tables.Directory(), "FILMS");
  ASSERT_EQ(byId.Columns.size(), 5u);
  EXPECT_EQ(byId.Columns[1].Name, "TITLE");
  const std::vector<std::vector<TResultValue>> expected = {
      {"1", "Amélie", "2001-04-25", std::nullopt, "two\nlines"},
      {"2", "Charles \"Buddy\" Rogers, live", "1931-05-02", "7.5", std::nullopt},
      {"3", "  padded", std::nullopt, "8", "x"},
  };
  EXPECT_EQ(byId.Rows, expected);  // primary index order; trailing blanks are not stored
  const TResultTable byTitle = ReadTable(tables.Directory(), "FILMS", "TITLE");
  ASSERT_EQ(byTitle.Rows.size(), 3u);
  // Bytewise: "  padded" < "Amélie" < "Charles ...".
  EXPECT_EQ(byTitle.Rows[0][0], "3");
  EXPECT_EQ(byTitle.Rows[1][0], "1");
  EXPECT_EQ(byTitle.Rows[2][0], "2");
}

TEST(CsvLoader, UntypedColumnsAreSizedToTheirLongestValue) {
  TTempTables tables;
  TCsvLoadOptions options;
  options.Table = "NAMES";
  const std::string longName = std::string(249, 'a') + "é";  // 251 bytes: the cut must not split é
  LoadCsvText(tables.Directory(), options, "NAME,SHORT\n" + longName + ",ab\nb,abc\n");
  TDataCursor cursor(tables.Directory());
  cursor.SetTableName("NAMES");
  cursor.Open();
  EXPECT_EQ(cursor.GetFieldDefinition("NAME").Size, 250);
  EXPECT_EQ(cursor.GetFieldDefinition("SHORT").Size, 3);
  const TResultTable rows = ReadResult(cursor);
  ASSERT_EQ(rows.Rows.size(), 2u);
  EXPECT_EQ(rows.Rows[0][0], std::string(249, 'a'));
}

// Rows 1..count as "id,name" lines after the header.
std::string ManyRows(int count) {
  std::string text = "ID,TITLE\n";
  for (int i = 1; i <= count; ++i) text += std::to_string(i) + ",t" + std::to_string(i) + "\n";
  return text;
}

TEST(CsvLoader, FaultsLeaveNoTableBehind) {
  struct TCase {
    const char* Name;
    std::string Text;
    int Line;  // the line the error names
  };
  const TCase cases[] = {
      // Loads write in batches; a failure after some were written still removes the table.
      {"duplicate key after written batches", ManyRows(2500) + "17,again\n", 2502},
      {"malformed quoting", "ID,TITLE\n1,a\n2,b\"c\n3,d\n", 3},
      {"short row", "ID,TITLE\n1,a\n2\n", 3},
      {"value of the wrong type", "ID,TITLE\n1,a\nx,b\n", 3},
      {"duplicate primary key", "ID,TITLE\n1,a\n2,b\n1,c\n", 4},
      {"unclosed quote", "ID,TITLE\n1,a\n2,\"b\n", 3},
  };
  for (const auto& c : cases) {
    TTempTables tables;
    TCsvLoadOptions options;
    options.Table = "T";
    options.Types = {{"ID", "INTEGER"}};
    options.Primary = "ID";
    try {
      LoadCsvText(tables.Directory(), options, c.Text);
      ADD_FAILURE() << c.Name << ": loaded";
    } catch (const ECsvError& error) {
      EXPECT_EQ(error.Line(), c.Line) << c.Name << ": " << error.what();
    }
    EXPECT_EQ(tables.FilesStartingWith("T."), 0) << c.Name;
    TDataCursor cursor(tables.Directory());
    cursor.SetTableName("T");
    EXPECT_FALSE(cursor.TableExists()) << c.Name;
  }
}

TEST(CsvLoader, AnExistingTableIsLeftAlone) {
  TTempTables tables;
  TCsvLoadOptions options;
  options.Table = "T";
  LoadCsvText(tables.Directory(), options, "A\nfirst\n");
  try {
    LoadCsvText(tables.Directory(), options, "A\nsecond\nthird\n");
    ADD_FAILURE() << "loaded over an existing table";
  } catch (const EQuarryEngineError& error) {
    EXPECT_EQ(error.Code(), QUARRY_TABLEEXISTS);
  }
  const TResultTable rows = ReadTable(tables.Directory(), "T");
  ASSERT_EQ(rows.Rows.size(), 1u);
  EXPECT_EQ(rows.Rows[0][0], "first");
}

TEST(CsvLoader, APasswordMakesAnEncryptedTable) {
  TTempTables tables;
  TCsvLoadOptions options = FilmOptions();
  options.Password = "kqpwzra5";
  LoadCsvText(tables.Directory(), options, kFilms);
  {
    TDataCursor cursor(tables.Directory());
    cursor.SetTableName("FILMS");
    EXPECT_TRUE(cursor.TableInfo().Encrypted);
  }
  EXPECT_EQ(ReadTable(tables.Directory(), "FILMS").Rows.size(), 3u);

  // A session that does not know the password cannot open it.
  TDataSession stranger;
  TDataDirectory& directory = stranger.OpenDirectory("", tables.Folder());
  {
    TDataCursor cursor(directory);
    cursor.SetTableName("FILMS");
    try {
      cursor.Open();
      ADD_FAILURE() << "opened without the password";
    } catch (const EQuarryEngineError& error) {
      EXPECT_EQ(error.Code(), QUARRY_NOTSUFFTABLERIGHTS);
    }
  }
  stranger.CloseDirectory(directory);
}

}  // namespace
}  // namespace quarry::tools
