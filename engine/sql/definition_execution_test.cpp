// CREATE TABLE, CREATE INDEX, ALTER TABLE, DROP TABLE and DROP INDEX run through
// TQueryStatement: what they make is read back from a cursor (field and index definitions,
// table information, text-index parameters), ALTER TABLE keeps the values of the columns it
// keeps, every error comes with its code and message and leaves the table as it was, and a
// table that another cursor, session or process holds is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/platform/locale_services.h"
#include "engine/sql/select_test_support.h"
#include "engine/storage/index/language_names.h"
#include "engine/storage/table/process_test_util.h"

namespace quarry {
namespace {

using select_testing::Column;
using select_testing::IndexOn;
using select_testing::TSelectFixture;

struct TFailure {
  int Code = 0;
  std::string Message;  // what() of the error
};

TFailure FailureOf(TSelectFixture& db, const std::string& sql) {
  try {
    db.RunSql(sql);
  } catch (const EQuarryEngineError& e) {
    return {e.Code(), e.what()};
  }
  return {};
}

std::unique_ptr<TDataCursor> OpenTable(TDataDirectory& directory, const std::string& name) {
  auto cursor = std::make_unique<TDataCursor>(directory);
  cursor->SetTableName(name);
  cursor->Open();
  return cursor;
}

std::string FieldNames(const TDataCursor& cursor) {
  std::string names;
  for (const TFieldDefinition& f : cursor.Fields()) names += (names.empty() ? "" : ",") + f.Name;
  return names;
}

// The names of an index's key columns, "-" for no index.
std::string KeyNames(const TDataCursor& cursor, const TIndexDefinition& index) {
  if (index.FieldCount == 0) return "-";
  std::string names;
  for (int i = 0; i < index.FieldCount; ++i)
    names += (i ? "," : "") + cursor.GetFieldDefinition(index.FieldNumbers[static_cast<std::size_t>(i)]).Name;
  return names;
}

std::string SecondaryKeyNames(const TDataCursor& cursor, const std::string& indexName) {
  const int count = cursor.IndexCount() - (cursor.GetIndexDefinition(PrimarySlot).Defined() ? 1 : 0);
  for (int slot = 1; slot <= count; ++slot)
    if (SameTextIgnoringCase(cursor.GetIndexDefinition(slot).Name, indexName))
      return KeyNames(cursor, cursor.GetIndexDefinition(slot));
  return "-";
}

std::string Joined(const std::vector<std::string>& rows) {
  std::string text;
  for (const std::string& row : rows) text += row + "\n";
  return text;
}

// T: A INTEGER (primary key), B VARCHAR(20) (secondary index BYB), C SMALLINT, three rows
// of which two share C.
void MakeT(TSelectFixture& db) {
  db.MakeTable("T",
               {Column(1, "A", TFieldType::Integer), Column(2, "B", TFieldType::String, 20),
                Column(3, "C", TFieldType::SmallInt)},
               IndexOn("", {1}, true), {IndexOn("BYB", {2})},
               {{"1", "one", "10"}, {"2", "two", "20"}, {"3", "NULL", "10"}});
}

const char* const kRowsOfT = "1|one|10\n2|two|20\n3|NULL|10\n";

// ---- CREATE TABLE ----

TEST(CreateTable, EveryColumnAndTableOptionIsKept) {
  TSelectFixture db;
  db.RunSql(
      "CREATE TABLE Films ("
      " ID AUTOINC DESCRIPTION 'row id' NOT NULL,"
      " Title VARCHAR(40) DESCRIPTION 'the title' NOT NULL DEFAULT 'untitled' CHARCASE UPPER,"
      " Price DECIMAL(10,2) MIN 0 MAX 999.5,"
      " Seen DATE DEFAULT '2001-02-03',"
      " Notes MEMO, Code BYTES(4), Tag VARBYTES(7), Small SMALLINT CHARCASE LOWER,"
      " CONSTRAINT PK UNIQUE NOCASE DESC PRIMARY KEY (Title, ID) COMPRESS FULL,"
      " TEXT INDEX (Title, Notes) STOP WORDS 'the ' || 'a' SPACE CHARS ' -' INCLUDE CHARS 'abcXYZ',"
      " DESCRIPTION 'Films seen', BLOB BLOCK SIZE 1024,"
      " LANGUAGE 'German (Standard)' SORT 'German Phone Book Order',"
      " ENCRYPTED WITH 'secret', USER MAJOR VERSION 3, USER MINOR VERSION 7, LAST AUTOINC 500)");
  db.Session.AddPassword("secret");
  auto films = OpenTable(*db.Database, "Films");

  struct TExpectedField {
    const char* Name;
    const char* Description;
    TFieldType Type;
    int SubType, Size, Scale;
    bool Required;
    TCharCase Case;
    const char *Min, *Max, *Default;
  };
  const TExpectedField expected[] = {
      {"ID", "row id", TFieldType::Integer, subtype::AutoInc, 0, 0, true, TCharCase::Unchanged, "", "", ""},
      {"Title", "the title", TFieldType::String, 0, 40, 0, true, TCharCase::Upper, "", "", "untitled"},
      {"Price", "", TFieldType::Bcd, 0, 0, 2, false, TCharCase::Unchanged, "0", "999.5", ""},
      {"Seen", "", TFieldType::Date, 0, 0, 0, false, TCharCase::Unchanged, "", "", "2001-02-03"},
      {"Notes", "", TFieldType::Blob, subtype::Memo, 0, 0, false, TCharCase::Unchanged, "", "", ""},
      {"Code", "", TFieldType::Bytes, 0, 4, 0, false, TCharCase::Unchanged, "", "", ""},
      {"Tag", "", TFieldType::VarBytes, 0, 7, 0, false, TCharCase::Unchanged, "", "", ""},
      {"Small", "", TFieldType::SmallInt, 0, 0, 0, false, TCharCase::Lower, "", "", ""},
  };
  ASSERT_EQ(films->FieldCount(), static_cast<int>(std::size(expected)));
  for (int i = 0; i < films->FieldCount(); ++i) {
    const TExpectedField& e = expected[i];
    const TFieldDefinition& f = films->GetFieldDefinition(i + 1);
    SCOPED_TRACE(e.Name);
    EXPECT_EQ(f.FieldNo, i + 1);
    EXPECT_EQ(f.Name, e.Name);
    EXPECT_EQ(f.Description, e.Description);
    EXPECT_EQ(f.DataType, e.Type);
    EXPECT_EQ(f.SubType, e.SubType);
    EXPECT_EQ(f.Size, e.Size);
    EXPECT_EQ(f.Scale, e.Scale);
    EXPECT_EQ(f.Required, e.Required);
    EXPECT_EQ(f.CharCase, e.Case);
    EXPECT_EQ(f.MinValue, e.Min);
    EXPECT_EQ(f.MaxValue, e.Max);
    EXPECT_EQ(f.DefaultValue, e.Default);
  }

  const TIndexDefinition& primary = films->GetIndexDefinition(PrimarySlot);
  EXPECT_EQ(KeyNames(*films, primary), "Title,ID");
  EXPECT_TRUE(primary.Unique);
  EXPECT_TRUE(primary.Descending);
  EXPECT_TRUE(primary.FieldDescending[0] && primary.FieldDescending[1]);
  EXPECT_TRUE(primary.CaseInsensitive);
  EXPECT_EQ(primary.Compression, TKeyCompression::Both);
  EXPECT_EQ(films->IndexCount(), 1);

  const TIndexDefinition& text = films->GetIndexDefinition(TextSlot);
  EXPECT_EQ(KeyNames(*films, text), "Title,Notes");
  EXPECT_EQ(text.Name, TextIndexName);
  const TTextParameters& parameters = films->TextParameters();
  EXPECT_EQ(parameters.StopWords, (std::vector<std::string>{"the", "a"}));
  EXPECT_EQ(parameters.SpaceCharacters.count(), 2u);
  EXPECT_TRUE(parameters.SpaceCharacters[' '] && parameters.SpaceCharacters['-']);
  EXPECT_EQ(parameters.IncludeCharacters.count(), 6u);
  EXPECT_TRUE(parameters.IncludeCharacters['a'] && parameters.IncludeCharacters['Z']);

  const TTableInfo info = films->TableInfo();
  EXPECT_EQ(info.Description, "Films seen");
  EXPECT_EQ(info.BlobBlockSize, 1024);
  EXPECT_EQ(info.LanguageId, *LanguageIdOf("German (Standard)"));
  EXPECT_EQ(info.SortId, GermanPhoneBookSortId);
  EXPECT_TRUE(info.Encrypted);
  EXPECT_EQ(info.Password, "secret");
  EXPECT_EQ(info.UserMajor, 3);
  EXPECT_EQ(info.UserMinor, 7);
  EXPECT_EQ(info.LastAutoInc, 0) << "LAST AUTOINC changes nothing in CREATE TABLE";
}

TEST(CreateTable, OptionsNotWrittenTakeTheirDefaults) {
  TSelectFixture db;
  db.RunSql("CREATE TABLE Plain (A INTEGER, B VARCHAR(9), TEXT INDEX (B) STOP WORDS 'only')");
  auto plain = OpenTable(*db.Database, "Plain");
  EXPECT_EQ(plain->IndexCount(), 0) << "no PRIMARY KEY: natural order";
  const TTableInfo info = plain->TableInfo();
  EXPECT_EQ(info.Description, "");
  EXPECT_EQ(info.BlobBlockSize, 512);
  EXPECT_EQ(info.LanguageId, 0);
  EXPECT_FALSE(info.Encrypted);
  EXPECT_EQ(info.UserMajor, 1);
  EXPECT_EQ(info.UserMinor, 0);
  // The character sets not written are the engine's own, so that words are still found.
  TTextParameters expected = TTextParameters::Defaults();
  expected.StopWords = {"only"};
  EXPECT_EQ(plain->TextParameters(), expected);
}

TEST(CreateTable, IfNotExistsLeavesAnExistingTableAlone) {
  TSelectFixture db;
  MakeT(db);
  db.RunSql("CREATE TABLE IF NOT EXISTS T (Z INTEGER)");
  EXPECT_EQ(Joined(db.RunSql("SELECT * FROM T").Rows), kRowsOfT);
  db.RunSql("CREATE TABLE IF NOT EXISTS U (Z INTEGER)");
  EXPECT_EQ(FieldNames(*OpenTable(*db.Database, "U")), "Z");
}

TEST(CreateTable, MemoryAndPathNamesChooseTheDatabase) {
  TSelectFixture db;
  db.Env.MakeDirectory("/other");
  db.RunSql("CREATE TABLE MEMORY M (A INTEGER, PRIMARY KEY (A))");
  db.RunSql("CREATE TABLE \"/other/Far\" (A INTEGER)");
  EXPECT_EQ(db.RunSql("SELECT COUNT(*) FROM MEMORY M").Rows, std::vector<std::string>{"0"});
  EXPECT_EQ(db.RunSql("SELECT COUNT(*) FROM \"/other/Far\"").Rows, std::vector<std::string>{"0"});
  std::vector<std::string> names;
  ASSERT_TRUE(db.Env.ListDirectory("/other", names));
  EXPECT_NE(std::find(names.begin(), names.end(), "Far.DAT"), names.end());
  EXPECT_FALSE(db.Database->TableExists("M", false));
  db.RunSql("DROP TABLE MEMORY M");
  EXPECT_NE(FailureOf(db, "SELECT COUNT(*) FROM MEMORY M").Code, 0);
}

// ---- ALTER TABLE ----

struct TAlterCase {
  const char* Sql;
  const char* Columns;     // after the statement, in order
  const char* Rows;        // SELECT * FROM T (in record-number order)
  const char* PrimaryKey;  // key columns of the primary index ("-": none)
  const char* ByB;         // key columns of index BYB
};

TEST(AlterTable, KeepsTheValuesOfEveryKeptColumn) {
  const TAlterCase cases[] = {
      {"ALTER TABLE T ADD D INTEGER AT 1", "D,A,B,C", "NULL|1|one|10\nNULL|2|two|20\nNULL|3|NULL|10\n", "A", "B"},
      {"ALTER TABLE T ADD D INTEGER AT 9", "A,B,C,D", "1|one|10|NULL\n2|two|20|NULL\n3|NULL|10|NULL\n", "A", "B"},
      {"ALTER TABLE T ADD COLUMN D VARCHAR(3) DEFAULT 'x'", "A,B,C,D", "1|one|10|x\n2|two|20|x\n3|NULL|10|x\n", "A",
       "B"},
      {"ALTER TABLE T REDEFINE A Id", "Id,B,C", kRowsOfT, "Id", "B"},
      {"ALTER TABLE T REDEFINE C INTEGER", "A,B,C", kRowsOfT, "A", "B"},
      {"ALTER TABLE T REDEFINE C VARCHAR(5)", "A,B,C", kRowsOfT, "A", "B"},
      {"ALTER TABLE T REDEFINE B VARCHAR(2)", "A,B,C", "1|on|10\n2|tw|20\n3|NULL|10\n", "A", "B"},
      {"ALTER TABLE T REDEFINE B Name VARCHAR(30) AT 1", "Name,A,C", "one|1|10\ntwo|2|20\nNULL|3|10\n", "A", "Name"},
      {"ALTER TABLE T REDEFINE A AT 9", "B,C,A", "one|10|1\ntwo|20|2\nNULL|10|3\n", "A", "B"},
      {"ALTER TABLE T DROP C", "A,B", "1|one\n2|two\n3|NULL\n", "A", "B"},
      {"ALTER TABLE T DROP COLUMN C, ADD C INTEGER", "A,B,C", "1|one|NULL\n2|two|NULL\n3|NULL|NULL\n", "A", "B"},
      {"ALTER TABLE T ADD D INTEGER AT 2, DROP C, REDEFINE B Name AT 1", "Name,A,D",
       "one|1|NULL\ntwo|2|NULL\nNULL|3|NULL\n", "A", "Name"},
      {"ALTER TABLE T DROP PRIMARY KEY", "A,B,C", kRowsOfT, "-", "B"},
      {"ALTER TABLE T DROP PRIMARY KEY, ADD PRIMARY KEY (B, A)", "A,B,C", kRowsOfT, "B,A", "B"},
      {"ALTER TABLE T REDEFINE DESC PRIMARY KEY (A)", "A,B,C", kRowsOfT, "A", "B"},
      {"ALTER TABLE T ADD D INTEGER AT 1, REDEFINE PRIMARY KEY (C, A)", "D,A,B,C",
       "NULL|1|one|10\nNULL|2|two|20\nNULL|3|NULL|10\n", "C,A", "B"},
  };
  for (const TAlterCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    TSelectFixture db;
    MakeT(db);
    EXPECT_EQ(db.RunSql(c.Sql).RowsAffected, 0);
    EXPECT_EQ(Joined(db.RunSql("SELECT * FROM T").Rows), c.Rows);
    auto t = OpenTable(*db.Database, "T");
    EXPECT_EQ(FieldNames(*t), c.Columns);
    EXPECT_EQ(KeyNames(*t, t->GetIndexDefinition(PrimarySlot)), c.PrimaryKey);
    EXPECT_EQ(SecondaryKeyNames(*t, "BYB"), c.ByB);
    EXPECT_EQ(t->Verify(), "");
  }
}

TEST(AlterTable, RedefineChangesOnlyWhatItGives) {
  TSelectFixture db;
  db.RunSql("CREATE TABLE R (A INTEGER, B VARCHAR(10) DESCRIPTION 'bee' NOT NULL DEFAULT 'b' MIN 'a' MAX 'y')");
  db.RunSql("ALTER TABLE R REDEFINE B VARCHAR(12) CHARCASE UPPER");
  auto r = OpenTable(*db.Database, "R");
  const TFieldDefinition& b = r->GetFieldDefinition("B");
  EXPECT_EQ(b.Size, 12);
  EXPECT_EQ(b.CharCase, TCharCase::Upper);
  EXPECT_EQ(b.Description, "bee");
  EXPECT_TRUE(b.Required);
  EXPECT_EQ(b.DefaultValue, "b");
  EXPECT_EQ(b.MinValue, "a");
  EXPECT_EQ(b.MaxValue, "y");
}

TEST(AlterTable, TableOptionsAreChangedOrKept) {
  TSelectFixture db;
  MakeT(db);
  db.RunSql(
      "ALTER TABLE T REDEFINE A CHARCASE NOCHANGE DESCRIPTION 'Films' BLOB BLOCK SIZE 2048 "
      "LANGUAGE 'French (Standard)' ENCRYPTED WITH 'pw' USER MAJOR VERSION 4, USER MINOR VERSION 2 "
      "LAST AUTOINC 77 NOBACKUP");
  db.Session.AddPassword("pw");
  const auto infoOf = [&db] { return OpenTable(*db.Database, "T")->TableInfo(); };
  TTableInfo info = infoOf();
  EXPECT_EQ(info.Description, "Films");
  EXPECT_EQ(info.BlobBlockSize, 2048);
  EXPECT_EQ(info.LanguageId, *LanguageIdOf("French (Standard)"));
  EXPECT_TRUE(info.Encrypted);
  EXPECT_EQ(info.Password, "pw");
  EXPECT_EQ(info.UserMajor, 4);
  EXPECT_EQ(info.UserMinor, 2);
  EXPECT_EQ(info.LastAutoInc, 77);
  EXPECT_EQ(Joined(db.RunSql("SELECT * FROM T ORDER BY A").Rows), kRowsOfT);
  std::vector<std::string> files;
  ASSERT_TRUE(db.Env.ListDirectory("/db", files));
  EXPECT_EQ(std::count_if(files.begin(), files.end(), [](const std::string& f) { return f.ends_with("BK"); }), 0);

  // Options not written keep the table's values; without NOBACKUP the old files stay as the
  // backup set.
  db.RunSql("ALTER TABLE T ADD D INTEGER");
  info = infoOf();
  EXPECT_EQ(info.Description, "Films");
  EXPECT_EQ(info.BlobBlockSize, 2048);
  EXPECT_EQ(info.LanguageId, *LanguageIdOf("French (Standard)"));
  EXPECT_EQ(info.Password, "pw");
  EXPECT_EQ(info.UserMajor, 4);
  EXPECT_EQ(info.UserMinor, 2);
  EXPECT_EQ(info.LastAutoInc, 77);
  files.clear();
  ASSERT_TRUE(db.Env.ListDirectory("/db", files));
  EXPECT_NE(std::find(files.begin(), files.end(), "T.DBK"), files.end());

  // The table's password must be known to change it.
  db.Session.RemoveAllPasswords();
  EXPECT_EQ(FailureOf(db, "ALTER TABLE T DROP D").Code, QUARRY_NOTSUFFTABLERIGHTS);
  db.Session.AddPassword("pw");

  // An empty password takes the encryption away.
  db.RunSql("ALTER TABLE T DROP D ENCRYPTED WITH ''");
  db.Session.RemoveAllPasswords();
  EXPECT_FALSE(infoOf().Encrypted);
  EXPECT_EQ(Joined(db.RunSql("SELECT * FROM T ORDER BY A").Rows), kRowsOfT);
}

TEST(AlterTable, TextIndexOptionsReplaceOnlyWhatIsWritten) {
  TSelectFixture db;
  db.RunSql("CREATE TABLE W (A INTEGER, B VARCHAR(30), C VARCHAR(30), TEXT INDEX (B) SPACE CHARS ' ')");
  db.RunSql("ALTER TABLE W ADD D INTEGER AT 1 TEXT INDEX (C, B) STOP WORDS 'x y'");
  auto w = OpenTable(*db.Database, "W");
  EXPECT_EQ(KeyNames(*w, w->GetIndexDefinition(TextSlot)), "C,B");
  TTextParameters expected = TTextParameters::Defaults();
  expected.SpaceCharacters.reset();
  expected.SpaceCharacters[' '] = true;
  expected.StopWords = {"x", "y"};
  EXPECT_EQ(w->TextParameters(), expected);
  w.reset();
  // A kept text index follows its columns to their new places.
  db.RunSql("ALTER TABLE W REDEFINE B AT 1");
  EXPECT_EQ(KeyNames(*OpenTable(*db.Database, "W"), OpenTable(*db.Database, "W")->GetIndexDefinition(TextSlot)), "C,B");
}

// ---- CREATE INDEX, DROP INDEX, DROP TABLE ----

TEST(CreateIndex, MakesTheIndexAsWrittenOverTheTablesRows) {
  TSelectFixture db;
  MakeT(db);
  db.RunSql("CREATE UNIQUE DESC NOCASE INDEX ByBA ON T (B, A) COMPRESS TRAILBYTE");
  auto t = OpenTable(*db.Database, "T");
  const TIndexDefinition& index = t->GetIndexDefinition(2);
  EXPECT_EQ(index.Name, "ByBA");
  EXPECT_EQ(KeyNames(*t, index), "B,A");
  EXPECT_TRUE(index.Unique && index.Descending && index.CaseInsensitive);
  EXPECT_EQ(index.Compression, TKeyCompression::Trailing);
  EXPECT_EQ(t->Verify(), "");
  t.reset();
  db.RunSql("CREATE INDEX IF NOT EXISTS bybA ON T (C)");
  EXPECT_EQ(SecondaryKeyNames(*OpenTable(*db.Database, "T"), "BYBA"), "B,A");
}

TEST(DropStatements, RemoveWhatTheyNameAndIfExistsSkipsWhatIsMissing) {
  TSelectFixture db;
  MakeT(db);
  db.RunSql("DROP INDEX T.byb");
  db.RunSql("DROP INDEX IF EXISTS T.BYB");
  db.RunSql("DROP INDEX T.Primary");
  db.RunSql("DROP INDEX IF EXISTS T.PRIMARY");
  {
    auto t = OpenTable(*db.Database, "T");
    EXPECT_EQ(t->IndexCount(), 0);
    EXPECT_EQ(t->RecordCount(), 3);
    EXPECT_EQ(t->Verify(), "");
  }
  db.RunSql("DROP TABLE T");
  EXPECT_FALSE(db.Database->TableExists("T", false));
  db.RunSql("DROP TABLE IF EXISTS T");
  std::vector<std::string> files;
  ASSERT_TRUE(db.Env.ListDirectory("/db", files));
  EXPECT_TRUE(files.empty());
}

TEST(DefinitionScripts, RunEveryStatementOfTheText) {
  TSelectFixture db;
  TQueryStatement statement(db.Database);
  statement.Prepare(
      "CREATE TABLE S (A INTEGER, B VARCHAR(5), PRIMARY KEY (A)); CREATE INDEX BYB ON S (B);\n"
      "ALTER TABLE S ADD C INTEGER; DROP INDEX S.BYB; CREATE TABLE Gone (A INTEGER); DROP TABLE Gone;");
  EXPECT_EQ(statement.Execute(), nullptr);
  EXPECT_EQ(statement.RowsAffected(), 0);
  auto s = OpenTable(*db.Database, "S");
  EXPECT_EQ(FieldNames(*s), "A,B,C");
  EXPECT_EQ(s->IndexCount(), 1);
  EXPECT_FALSE(db.Database->TableExists("Gone", false));
}

// ---- errors ----

struct TErrorCase {
  const char* Sql;
  int Code;
  const char* Message;  // part of what()
};

TEST(DefinitionErrors, EachFailureHasItsCodeAndMessageAndChangesNothing) {
  const TErrorCase cases[] = {
      // Parsing.
      {"CREATE TABLE N (A INTEGER", QUARRY_SQLPARSE,
       "Right parentheses expected after CREATE TABLE statement, instead found ''"},
      {"DROP INDEX T", QUARRY_SQLPARSE, "Index name expected after table name, instead found ''"},
      // Names looked up by the statements.
      {"CREATE TABLE N (A INTEGER, PRIMARY KEY (Z))", QUARRY_SQLPARSE, "Invalid field name 'Z' specified for index ''"},
      {"CREATE TABLE N (A INTEGER, CONSTRAINT PK PRIMARY KEY (A, Z))", QUARRY_SQLPARSE,
       "Invalid field name 'Z' specified for index 'PK'"},
      {"CREATE TABLE N (A VARCHAR(9), TEXT INDEX (A, Z))", QUARRY_SQLPARSE,
       "Invalid field name 'Z' specified for text index"},
      {"CREATE INDEX ByZ ON T (A, Z)", QUARRY_SQLPARSE, "Invalid field name 'Z' specified for index 'ByZ'"},
      {"ALTER TABLE T REDEFINE Z INTEGER", QUARRY_SQLPARSE, "Column Z not found"},
      {"ALTER TABLE T DROP Z", QUARRY_SQLPARSE, "Column Z not found"},
      {"ALTER TABLE T DROP C, DROP C", QUARRY_SQLPARSE, "Column C not found"},
      {"ALTER TABLE T ADD PRIMARY KEY (C)", QUARRY_SQLPARSE, "Cannot REDEFINE the primary key using the ADD keyword"},
      {"ALTER TABLE T DROP PRIMARY KEY, ADD PRIMARY KEY (Z)", QUARRY_SQLPARSE,
       "Invalid field name 'Z' specified for index ''"},
      {"ALTER TABLE T DROP C, REDEFINE PRIMARY KEY (C)", QUARRY_SQLPARSE,
       "Invalid field name 'C' specified for index ''"},
      {"ALTER TABLE T REDEFINE A TEXT INDEX (Z)", QUARRY_SQLPARSE, "Invalid field name 'Z' specified for text index"},
      {"ALTER TABLE T DROP B", QUARRY_SQLPARSE, "Column B cannot be dropped while the index BYB uses it"},
      {"ALTER TABLE T DROP A", QUARRY_SQLPARSE, "Column A cannot be dropped while the primary index uses it"},
      // Values that the new structure cannot hold stop ALTER TABLE.
      {"ALTER TABLE T REDEFINE B INTEGER", QUARRY_SQLPARSE,
       "ALTER TABLE stopped and the table is unchanged: a value of the column B cannot be converted to its new data "
       "type"},
      {"ALTER TABLE T ADD D INTEGER NOT NULL", QUARRY_SQLPARSE,
       "ALTER TABLE stopped and the table is unchanged: a value of the column D fails its NOT NULL, MIN or MAX check"},
      {"ALTER TABLE T DROP PRIMARY KEY, ADD PRIMARY KEY (C)", QUARRY_KEYVIOL, "Duplicate key found in the index"},
      {"ALTER TABLE T ADD D INTEGER, REDEFINE PRIMARY KEY (C)", QUARRY_KEYVIOL, "Duplicate key found in the index"},
      {"CREATE UNIQUE INDEX ByC ON T (C)", QUARRY_KEYVIOL, "Duplicate key found in the index 'ByC' of the table 'T'"},
      // The engine's own checks and refusals.
      {"CREATE TABLE T (A INTEGER)", QUARRY_TABLEEXISTS, "The table 'T' already exists"},
      {"CREATE INDEX BYB ON T (C)", QUARRY_INDEXEXISTS, "The secondary index 'BYB' already exists"},
      {"CREATE INDEX X ON Nowhere (A)", QUARRY_OSENOENT, "Nowhere"},
      {"ALTER TABLE Nowhere ADD A INTEGER", QUARRY_OSENOENT, "Nowhere"},
      {"DROP TABLE Nowhere", QUARRY_OSENOENT, "Nowhere"},
      {"DROP INDEX T.Nothing", QUARRY_INVALIDINDEXNAME, "Nothing"},
      {"CREATE TABLE N (A INTEGER, A SMALLINT)", QUARRY_INVALIDFIELDNAME, "'A'"},
      {"CREATE TABLE N (A INTEGER DEFAULT 'abc')", QUARRY_INVALIDVCHKSTRUCT, "'A'"},
      {"CREATE TABLE N (A VARCHAR(60) DEFAULT '123456789012345678901234567890123456789012345678901')",
       QUARRY_INVALIDVCHKSTRUCT, "'A'"},
      {"CREATE TABLE N (A INTEGER, ENCRYPTED WITH '0123456789abcdef')", QUARRY_INVALIDPASSWORD, "'N'"},
      {"CREATE TABLE N (A INTEGER, BLOB BLOCK SIZE 10)", QUARRY_BLOBLIMIT, "'N'"},
      {"CREATE TABLE N (A BLOB, PRIMARY KEY (A))", QUARRY_SEARCHCOLREQD, ""},
      {"CREATE TABLE N (A INTEGER, TEXT INDEX (A))", QUARRY_SEARCHCOLREQD, ""},
      {"CREATE TABLE N (A INTEGER, USER MAJOR VERSION 70000)", QUARRY_SQLPARSE,
       "Integer value from 0 to 65535 expected after VERSION keyword, instead found '70000'"},
      {"CREATE TABLE N (A VARCHAR(9), TEXT INDEX (A) STOP WORDS 12)", QUARRY_SQLPARSE,
       "Constant string expression expected, instead found '12' in stop words"},
      {"CREATE TABLE N (A VARCHAR(9), TEXT INDEX (A) SPACE CHARS A)", QUARRY_SQLPARSE,
       "Constant string expression expected, instead found 'A' in character set"},
      {"ALTER TABLE T ADD D INTEGER LAST AUTOINC -2", QUARRY_FLDLIMIT, "'T'"},
  };
  for (const TErrorCase& c : cases) {
    SCOPED_TRACE(c.Sql);
    TSelectFixture db;
    MakeT(db);
    const TFailure failure = FailureOf(db, c.Sql);
    EXPECT_EQ(failure.Code, c.Code) << failure.Message;
    EXPECT_NE(failure.Message.find(c.Message), std::string::npos) << failure.Message;
    // Nothing was made or changed.
    EXPECT_FALSE(db.Database->TableExists("N", false));
    EXPECT_EQ(Joined(db.RunSql("SELECT * FROM T").Rows), kRowsOfT);
    auto t = OpenTable(*db.Database, "T");
    EXPECT_EQ(FieldNames(*t), "A,B,C");
    EXPECT_EQ(t->IndexCount(), 2);
    EXPECT_EQ(t->Verify(), "");
  }
}

TEST(DefinitionErrors, NoStatementRunsInsideATransaction) {
  TSelectFixture db;
  MakeT(db);
  db.Database->StartTransaction();
  for (const char* sql : {"CREATE TABLE N (A INTEGER)", "CREATE INDEX ByC ON T (C)", "ALTER TABLE T ADD D INTEGER",
                          "DROP INDEX T.BYB", "DROP TABLE T"}) {
    SCOPED_TRACE(sql);
    const TFailure failure = FailureOf(db, sql);
    EXPECT_EQ(failure.Code, QUARRY_SQLPARSE);
    const std::string name = std::string(sql).substr(0, std::string(sql).find(' ', 7));
    EXPECT_NE(failure.Message.find(name + " statements cannot run inside a transaction"), std::string::npos)
        << failure.Message;
  }
  db.Database->Rollback();
  EXPECT_FALSE(db.Database->TableExists("N", false));
  auto t = OpenTable(*db.Database, "T");
  EXPECT_EQ(FieldNames(*t), "A,B,C");
  EXPECT_EQ(t->IndexCount(), 2);
}

// ---- a table someone else holds ----

const char* const kStatementsNeedingTheTableAlone[] = {"CREATE INDEX ByC ON T (C)", "ALTER TABLE T ADD D INTEGER",
                                                       "DROP INDEX T.BYB", "DROP TABLE T"};

void ExpectEachRefused(TSelectFixture& db, TDataCursor& holder) {
  for (const char* sql : kStatementsNeedingTheTableAlone) {
    SCOPED_TRACE(sql);
    const TFailure failure = FailureOf(db, sql);
    EXPECT_EQ(failure.Code, QUARRY_OSEACCES) << failure.Message;
  }
  EXPECT_EQ(holder.RecordCount(), 3);
  EXPECT_EQ(holder.Verify(), "");
}

TEST(HeldTables, RefuseChangesWhileAnotherCursorOrSessionHasTheTableOpen) {
  TSelectFixture db;
  MakeT(db);
  {
    auto holder = OpenTable(*db.Database, "T");
    ExpectEachRefused(db, *holder);
  }
  {
    TDataSession other(&db.List);
    TDataDirectory& directory = other.OpenDirectory("", "/db");
    {
      auto holder = OpenTable(directory, "T");
      ExpectEachRefused(db, *holder);
    }
    other.CloseDirectory(directory);
  }
  // Once given back the table is free again.
  db.RunSql("DROP TABLE T");
}

TEST(HeldTables, RefuseChangesWhileAnotherProcessHasTheTableOpen) {
  std::string folder = (std::filesystem::temp_directory_path() / "quarry-ddl-XXXXXX").string();
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  {
    TDataSession session;
    TDataDirectory& directory = session.OpenDirectory("", folder);
    TQueryStatement create(&directory);
    create.Prepare("CREATE TABLE T (A INTEGER, B VARCHAR(20), C SMALLINT, PRIMARY KEY (A))");
    create.Execute();
    session.CloseDirectory(directory);
  }
  testing::TChannel ready, done;
  const pid_t child = testing::Spawn([&] {
    TDataSession session;
    TDataDirectory& directory = session.OpenDirectory("", folder);
    {
      auto holder = OpenTable(directory, "T");
      ready.Send("open");
      if (done.Receive() != "done") return 1;
    }
    session.CloseDirectory(directory);
    return 0;
  });
  ASSERT_EQ(ready.Receive(), "open");
  {
    TDataSession session;
    TDataDirectory& directory = session.OpenDirectory("", folder);
    for (const char* sql : {"CREATE INDEX ByC ON T (C)", "ALTER TABLE T ADD D INTEGER", "DROP INDEX T.PRIMARY",
                            "DROP TABLE T", "DROP TABLE IF EXISTS T"}) {
      SCOPED_TRACE(sql);
      try {
        TQueryStatement statement(&directory);
        statement.Prepare(sql);
        statement.Execute();
        ADD_FAILURE() << "ran while another process held the table";
      } catch (const EQuarryEngineError& e) {
        EXPECT_EQ(e.Code(), QUARRY_OSEACCES) << e.what();
      }
    }
    done.Send("done");
    EXPECT_EQ(testing::Join(child), 0);
    // The table is whole and free again.
    TQueryStatement drop(&directory);
    drop.Prepare("ALTER TABLE T ADD D INTEGER; DROP TABLE T");
    drop.Execute();
    EXPECT_FALSE(directory.TableExists("T", false));
    session.CloseDirectory(directory);
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace quarry
