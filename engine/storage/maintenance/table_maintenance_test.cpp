// Tests of table maintenance: deleting, renaming and emptying tables, adding and removing
// indexes, and restructuring populated tables — values carried over and converted, records
// refused through the event handler, and the old table kept intact when a restructure stops
// or the files fail (fault-injecting environment). Every change-heavy case ends with a walk
// of the data against every index.
#include "engine/storage/maintenance/table_maintenance.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/platform/fault_environment.h"
#include "engine/platform/memory_environment.h"
#include "engine/platform/os_error.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/files/file_list.h"
#include "engine/storage/files/file_names.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table_records.h"
#include "engine/storage/table/table_test_util.h"

namespace quarry {
namespace {

using testing::CodeOf;
using testing::CounterRow;
using testing::CounterTable;
using testing::Field;
using testing::TTableUse;

// A field's value as text ("null" for none), for comparing whole rows.
std::string ValueText(const TDataFile& data, const std::uint8_t* record, const TFieldDefinition& f) {
  if (IsFieldNull(record, f)) return "null";
  switch (f.DataType) {
  case TFieldType::String: return GetFieldString(record, f);
  case TFieldType::SmallInt: return std::to_string(GetFieldSmallInt(record, f));
  case TFieldType::Integer: return std::to_string(GetFieldInteger(record, f));
  case TFieldType::LargeInt: return std::to_string(GetFieldLargeInt(record, f));
  case TFieldType::Float: return std::to_string(GetFieldFloat(record, f));
  case TFieldType::Boolean: return GetFieldBoolean(record, f) ? "true" : "false";
  default: (void)data; return "?";
  }
}

// Every active record as "FIELD=value ..." in record-number order, with its identifier.
std::vector<std::string> Rows(TDataTable& table) {
  std::vector<std::string> rows;
  TDataFile& data = table.Data();
  for (std::int32_t n = 1; n < data.NextRecordNo(); ++n) {
    const TRecordImage image = TTableRecords(table).Read(n);
    if (RecordStatus(image.data()) != RecordActive) continue;
    std::string row = "#" + std::to_string(RecordIdentifier(image.data()));
    for (const TFieldDefinition& f : data.Fields()) row += " " + f.Name + "=" + ValueText(data, image.data(), f);
    rows.push_back(row);
  }
  return rows;
}

// The cursor's walk of a table's data against every index ("Sys Deleted" and the full-text
// index included); empty when all agree.
std::string CursorVerify(TDataDirectory& directory, const std::string& table, bool inMemory = false) {
  TDataCursor cursor(directory);
  cursor.SetTableName(table);
  cursor.SetInMemory(inMemory);
  cursor.Open();
  return cursor.Verify();
}

struct TEvent {
  TRestructureEventKind Kind;
  std::string Text;
};

// Fails chosen calls (fault_environment.h), and renames whose source starts with or whose
// target ends with a given text (as a rename between file systems, or a refused name, would).
class TRenameRefusingEnvironment : public TFaultInjectingEnvironment {
 public:
  using TFaultInjectingEnvironment::TFaultInjectingEnvironment;
  bool RenameFile(const std::string& from, const std::string& to) override {
    if ((!RefuseFrom.empty() && from.starts_with(RefuseFrom)) || (!RefuseTo.empty() && to.ends_with(RefuseTo))) {
      SetLastOsError(kOsErrorAccessDenied);
      return false;
    }
    return TFaultInjectingEnvironment::RenameFile(from, to);
  }
  std::string RefuseFrom;
  std::string RefuseTo;
};

// A memory file system (optionally failing on demand) with one session and directory "/db".
class Maintenance : public ::testing::Test {
 protected:
  Maintenance() : faults_(memory_), list_(faults_), session_(&list_) {
    memory_.MakeDirectory("/db");
    memory_.MakeDirectory("/private");
    memory_.MakeDirectory("/other");
    session_.SetPrivateDir("/private");
    directory_ = &session_.OpenDirectory("Video", "/db");
  }

  // FILMS (ID primary, COUNTER, NAME indexed) holding the given (id, counter, name) rows.
  void MakeFilms(const std::vector<std::tuple<int, int, std::string>>& rows) {
    directory_->CreateTable("Films", false, CounterTable());
    TTableUse table(*directory_, "Films");
    for (const auto& [id, counter, name] : rows) TTableRecords(*table).Insert(CounterRow(*table, id, counter, name));
  }
  void MakeFilms(int count) {
    std::vector<std::tuple<int, int, std::string>> rows;
    for (int i = 1; i <= count; ++i) rows.emplace_back(i, i * 10, "film " + std::to_string(i));
    MakeFilms(rows);
  }

  bool Exists(const std::string& path) { return list_.Exists(path, false); }
  TTableMaintenance Films() { return TTableMaintenance(*directory_, "Films", false); }

  // Rows and verification of FILMS, opened for the call.
  std::vector<std::string> FilmRows() {
    EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
    TTableUse table(*directory_, "Films");
    return Rows(*table);
  }

  // A request that keeps FILMS as it is (fields numbered as they are).
  TRestructureRequest SameStructure() {
    TTableUse table(*directory_, "Films");
    TRestructureRequest r;
    r.Table.Fields = table->Data().Fields();
    r.Table.Primary = table->Index().Definition(PrimarySlot);
    for (int s = 1; s <= table->Index().SecondaryCount(); ++s)
      r.Table.Secondaries.push_back(table->Index().Definition(s));
    r.Table.LanguageId = table->Data().LanguageId();
    r.Table.SortId = table->Data().SortId();
    r.Table.BlobBlockSize = table->Data().BlobBlockSize();
    r.Table.Description = table->Data().Description();
    return r;
  }

  TRestructureOutcome Restructure(const TRestructureRequest& r) {
    return Films().RestructureTable(r, false, true, false);
  }

  // Collects every event, answering with `carryOn`.
  TRestructureEventHandler Recorder(std::vector<TEvent>& events, bool carryOn, bool silence = false) {
    return [&events, carryOn, silence](TRestructureEventKind kind, const std::string& text, bool& noAsk, bool& go) {
      events.push_back({kind, text});
      go = carryOn;
      noAsk = silence;
    };
  }

  TMemoryEnvironment memory_;
  TRenameRefusingEnvironment faults_;
  TFileList list_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
};

// ---------------------------------------------------------------- whole tables

TEST_F(Maintenance, DeleteTableRemovesEveryFileAndIsRefusedWhileOpen) {
  MakeFilms(3);
  {
    TTableUse open(*directory_, "Films");
    EXPECT_EQ(CodeOf([&] { Films().DeleteTable(); }), QUARRY_OSEACCES);
  }
  Films().DeleteTable();
  EXPECT_FALSE(Exists("/db/FILMS.DAT"));
  EXPECT_FALSE(Exists("/db/FILMS.IDX"));
  EXPECT_FALSE(directory_->TableExists("Films", false));
}

TEST_F(Maintenance, RenameTableMovesEveryFileOrNone) {
  MakeFilms(3);
  const std::vector<std::string> before = FilmRows();
  {
    TTableUse open(*directory_, "Films");
    EXPECT_EQ(CodeOf([&] { Films().RenameTable("Movies"); }), QUARRY_OSEACCES);
  }
  // The index file held open elsewhere cannot move: the data file comes back.
  {
    TFileHandler holder("/db/FILMS.IDX", false, &list_);
    holder.Open();
    EXPECT_NE(CodeOf([&] { Films().RenameTable("Movies"); }), 0);
    EXPECT_TRUE(Exists("/db/FILMS.DAT"));
    EXPECT_FALSE(Exists("/db/MOVIES.DAT"));
  }
  // Another table's files are never replaced.
  directory_->CreateTable("Movies", false, CounterTable());
  EXPECT_EQ(CodeOf([&] { Films().RenameTable("movies"); }), QUARRY_TABLEEXISTS);
  EXPECT_EQ(FilmRows(), before);
  TTableMaintenance(*directory_, "Movies", false).DeleteTable();
  Films().RenameTable("Movies");
  EXPECT_FALSE(Exists("/db/FILMS.DAT"));
  EXPECT_TRUE(Exists("/db/Movies.IDX"));
  {
    TTableUse movies(*directory_, "Movies");
    EXPECT_EQ(Rows(*movies), before);
  }
  // A name with a path leaves the directory.
  TTableMaintenance(*directory_, "Movies", false).RenameTable("/other/Kept");
  EXPECT_TRUE(Exists("/other/Kept.DAT"));
  EXPECT_TRUE(Exists("/other/Kept.IDX"));
  EXPECT_EQ(CodeOf([&] { TTableMaintenance(*directory_, "Movies", false).RenameTable("X"); }), QUARRY_OSENOENT);
}

TEST_F(Maintenance, RenameToBackupKeepsTheNameWithBackupExtensions) {
  MakeFilms(2);
  Films().RenameTable("", true);
  EXPECT_TRUE(Exists("/db/FILMS.DBK"));
  EXPECT_TRUE(Exists("/db/FILMS.IBK"));
  EXPECT_FALSE(Exists("/db/FILMS.DAT"));
  // A second backup replaces the first.
  MakeFilms(1);
  Films().RenameTable("", true);
  EXPECT_TRUE(Exists("/db/FILMS.DBK"));
  EXPECT_FALSE(Exists("/db/FILMS.DAT"));
}

TEST_F(Maintenance, EmptyTableNeedsExclusiveWritableAccessAndKeepsTextParameters) {
  MakeFilms(5);
  {
    TTableUse shared(*directory_, "Films");
    EXPECT_EQ(CodeOf([&] { Films().EmptyTable(*shared); }), QUARRY_NEEDEXCLACCESS);
  }
  {
    TTableUse readOnly(*directory_, "Films", true, true);
    EXPECT_EQ(CodeOf([&] { Films().EmptyTable(*readOnly); }), QUARRY_OSEACCES);
  }
  TTextParameters parameters = TTextParameters::Defaults();
  parameters.StopWords = {"the", "and"};
  {
    TTableUse table(*directory_, "Films", true);
    WriteTextParameters(table->Index(), parameters);
    table->Flush(true, false, false);
    Films().EmptyTable(*table);
    EXPECT_EQ(table->Index().RecordCount(), 0);
    EXPECT_EQ(ReadTextParameters(table->Index()), parameters);
    // The emptied table takes records again.
    TTableRecords(*table).Insert(CounterRow(*table, 7, 70));
  }
  EXPECT_EQ(FilmRows().size(), 1u);
}

// ---------------------------------------------------------------- indexes

TIndexDefinition IndexOn(const char* name, std::initializer_list<int> fields, bool unique) {
  TIndexDefinition d;
  d.Name = name;
  d.Unique = unique;
  for (int f : fields) d.FieldNumbers[d.FieldCount++] = static_cast<std::uint16_t>(f);
  return d;
}

TEST_F(Maintenance, UniqueIndexOverEqualValuesDeletesTheLaterRecords) {
  MakeFilms({{1, 5, "a"}, {2, 6, "b"}, {3, 5, "c"}, {4, 7, "d"}, {5, 5, "e"}});
  std::vector<int> progress;
  {
    TTableUse table(*directory_, "Films", true);
    TTableMaintenance maintenance(*directory_, "Films", false);
    maintenance.SetProgressHandler([&](int p) { progress.push_back(p); });
    const int slot = maintenance.AddIndex(*table, IndexOn("BYCOUNTER", {2}, true));
    EXPECT_EQ(table->Index().Definition(slot).Name, "BYCOUNTER");
    EXPECT_EQ(table->Index().RecordCount(), 3);
  }
  const std::vector<std::string> rows = FilmRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_NE(rows[0].find("NAME=a"), std::string::npos);
  EXPECT_NE(rows[1].find("NAME=b"), std::string::npos);
  EXPECT_NE(rows[2].find("NAME=d"), std::string::npos);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(Maintenance, AddIndexRefusals) {
  MakeFilms(2);
  TTableDefinition wide;
  wide.Fields = {Field(1, "A", TFieldType::String, 250), Field(2, "B", TFieldType::String, 250),
                 Field(3, "C", TFieldType::String, 250)};
  directory_->CreateTable("Wide", false, wide);
  struct Case {
    const char* what;
    const char* table;
    bool exclusive;
    TIndexDefinition index;
    int code;
  };
  TIndexDefinition temporary = IndexOn("TEMP", {2}, false);
  temporary.Temporary = true;
  const Case cases[] = {
      {"shared table", "Films", false, IndexOn("BYCOUNTER", {2}, false), QUARRY_NEEDEXCLACCESS},
      {"key over 522 bytes", "Wide", true, IndexOn("ABC", {1, 2, 3}, true), QUARRY_INVALIDKEY},
      {"no key fields", "Films", true, IndexOn("EMPTY", {}, false), QUARRY_INVALIDKEY},
      {"name taken", "Films", true, IndexOn("byname", {2}, false), QUARRY_INDEXEXISTS},
      {"bad name", "Films", true, IndexOn("9LIVES", {2}, false), QUARRY_INVALIDINDEXNAME},
      {"field beyond the table", "Films", true, IndexOn("BYNOTHING", {9}, false), QUARRY_INVALIDIDXDESC},
      {"temporary index on a shared table", "Films", false, temporary, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TTableUse table(*directory_, c.table, c.exclusive);
    const int before = table->Index().SecondaryCount();
    EXPECT_EQ(CodeOf([&] { TTableMaintenance(*directory_, c.table, false).AddIndex(*table, c.index); }), c.code);
    if (c.code != 0) {
      EXPECT_EQ(table->Index().SecondaryCount(), before);
    }
    EXPECT_EQ(TTableRecords(*table).Verify(), "");
  }
}

TEST_F(Maintenance, DeleteIndexByNameAndSlot) {
  MakeFilms(4);
  TTableUse table(*directory_, "Films", true);
  Films().AddIndex(*table, IndexOn("BYCOUNTER", {2}, false));
  EXPECT_EQ(CodeOf([&] { Films().DeleteIndex(*table, "NOSUCH"); }), QUARRY_INVALIDINDEXNAME);
  EXPECT_EQ(CodeOf([&] { Films().DeleteIndexSlot(*table, 9); }), QUARRY_INVALIDINDEXNAME);
  Films().DeleteIndex(*table, " byname ");
  // The later index moved down into the freed slot.
  EXPECT_EQ(table->Index().SecondaryCount(), 1);
  EXPECT_EQ(table->Index().Definition(1).Name, "BYCOUNTER");
  Films().DeleteIndexSlot(*table, 1);
  EXPECT_EQ(table->Index().SecondaryCount(), 0);
  table.Close();
  EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
}

TEST_F(Maintenance, WithoutItsPrimaryIndexATableAppendsEveryNewRecord) {
  MakeFilms(4);
  {
    TTableUse shared(*directory_, "Films");
    EXPECT_EQ(CodeOf([&] { Films().DeleteIndex(*shared, ""); }), QUARRY_NEEDEXCLACCESS);
  }
  {
    TTableUse table(*directory_, "Films", true);
    TTableRecords(*table).Delete(2);
    Films().DeleteIndex(*table, "");
    EXPECT_FALSE(table->Index().Definition(PrimarySlot).Defined());
    EXPECT_FALSE(table->Index().ReusesDeletedSlots());
    EXPECT_EQ(TTableRecords(*table).Insert(CounterRow(*table, 9, 90)), 5);
    EXPECT_EQ(TTableRecords(*table).Verify(), "");
  }
  // The flag is kept in the file.
  TTableUse again(*directory_, "Films", true);
  EXPECT_EQ(TTableRecords(*again).Insert(CounterRow(*again, 10, 100)), 6);
  again.Close();
  EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
}

// ---------------------------------------------------------------- restructure: access

TEST_F(Maintenance, RestructureRefusesUnlessTheCursorIsClosedExclusiveAndWritable) {
  MakeFilms(2);
  const TRestructureRequest same = SameStructure();
  struct Case {
    const char* what;
    bool open, exclusive, readOnly;
    int code;
  };
  const Case cases[] = {
      {"open cursor", true, true, false, QUARRY_TABLEOPEN},
      {"shared", false, false, false, QUARRY_NEEDEXCLACCESS},
      {"read-only", false, true, true, QUARRY_OSEACCES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CodeOf([&] { Films().RestructureTable(same, c.open, c.exclusive, c.readOnly); }), c.code);
  }
  TTableUse inUse(*directory_, "Films");
  EXPECT_EQ(CodeOf([&] { Restructure(same); }), QUARRY_OSEACCES);
}

TEST_F(Maintenance, EncryptedTableRestructuresOnlyWithItsPasswordAndMayChangeIt) {
  TTableDefinition d = CounterTable();
  d.Encrypted = true;
  d.Password = "secret";
  directory_->CreateTable("Films", false, d);
  {
    TTableUse table(*directory_, "Films");
    for (int i = 1; i <= 3; ++i) TTableRecords(*table).Insert(CounterRow(*table, i, i, "enc"));
  }
  TRestructureRequest r = SameStructure();
  r.Table.Encrypted = true;
  r.Table.Password = "changed";
  EXPECT_EQ(CodeOf([&] { Restructure(r); }), QUARRY_NOTSUFFTABLERIGHTS);
  session_.AddPassword("secret");
  EXPECT_EQ(Restructure(r), TRestructureOutcome::DataRebuilt);
  TTableUse table(*directory_, "Films");
  EXPECT_TRUE(table->Data().Encrypted());
  EXPECT_EQ(table->Data().Password(), "changed");
  EXPECT_EQ(Rows(*table).size(), 3u);
  table.Close();
  session_.AddPassword("changed");
  EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
}

TEST_F(Maintenance, RestructureValidatesTheNewStructureBeforeChangingAnything) {
  MakeFilms(2);
  struct Case {
    const char* what;
    std::function<void(TRestructureRequest&)> change;
    int code;
  };
  const Case cases[] = {
      {"field name starting with a digit", [](auto& r) { r.Table.Fields[1].Name = "2ND"; }, QUARRY_INVALIDFIELDNAME},
      {"duplicate field name", [](auto& r) { r.Table.Fields[1].Name = "name"; }, QUARRY_INVALIDFIELDNAME},
      {"string of 251", [](auto& r) { r.Table.Fields[2].Size = 251; }, QUARRY_INVALIDFLDTYPE},
      {"duplicate source field", [](auto& r) { r.Table.Fields[1].FieldNo = 1; }, QUARRY_INVALIDFLDTYPE},
      {"minimum not a number", [](auto& r) { r.Table.Fields[1].MinValue = "ten"; }, QUARRY_INVALIDVCHKSTRUCT},
      {"encrypted without password", [](auto& r) { r.Table.Encrypted = true; }, QUARRY_INVALIDPASSWORD},
      {"tiny BLOB blocks", [](auto& r) { r.Table.BlobBlockSize = 32; }, QUARRY_BLOBLIMIT},
      {"auto-increment below -1", [](auto& r) { r.LastAutoIncValue = -2; }, QUARRY_FLDLIMIT},
      {"index over a missing field", [](auto& r) { r.Table.Secondaries.push_back(IndexOn("BYX", {7}, false)); },
       QUARRY_INVALIDIDXDESC},
      {"retyped field under an index of its new type too long",
       [](auto& r) {
         r.Table.Fields[2].Size = 250;
         r.Table.Secondaries.push_back(IndexOn("BIG", {3, 3, 3}, false));
       },
       QUARRY_INVALIDKEY},
  };
  const std::vector<std::string> before = FilmRows();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TRestructureRequest r = SameStructure();
    c.change(r);
    EXPECT_EQ(CodeOf([&] { Restructure(r); }), c.code);
    EXPECT_EQ(FilmRows(), before);
    EXPECT_FALSE(Exists("/db/FILMS.DBK"));
  }
}

// ---------------------------------------------------------------- restructure: data

TEST_F(Maintenance, RestructureAddsDropsRetypesAndReordersFieldsKeepingValues) {
  MakeFilms({{1, 100, "Alien"}, {2, -7, "Brazil"}, {3, 0, ""}});
  {
    TTableUse table(*directory_, "Films", true);
    TTableRecords(*table).Delete(2);  // a deleted slot is not carried over
    TTableRecords(*table).Insert(CounterRow(*table, 4, 40000, "Casablanca"));
  }
  TRestructureRequest r = SameStructure();
  TFieldDefinition name = r.Table.Fields[2];
  TFieldDefinition counter = r.Table.Fields[1];
  counter.DataType = TFieldType::LargeInt;                         // retyped
  TFieldDefinition year = Field(0, "YEAR", TFieldType::SmallInt);  // new, with a default
  year.DefaultValue = "1999";
  TFieldDefinition id = r.Table.Fields[0];
  id.DataType = TFieldType::String;  // integer to text
  id.Size = 10;
  r.Table.Fields = {name, year, counter, id};  // reordered
  r.Table.Primary = IndexOn("", {4}, true);
  r.Table.Secondaries = {IndexOn("BYNAME", {1}, false), IndexOn("BYCOUNTER", {3}, false)};
  std::vector<int> progress;
  r.OnProgress = [&](int p) { progress.push_back(p); };
  std::vector<TEvent> events;
  r.OnEvent = Recorder(events, true);
  EXPECT_EQ(Restructure(r), TRestructureOutcome::DataRebuilt);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(FilmRows(), (std::vector<std::string>{
                            // record-number order: Casablanca took the deleted slot 2
                            "#1 NAME=Alien YEAR=1999 COUNTER=100 ID=1",
                            "#4 NAME=Casablanca YEAR=1999 COUNTER=40000 ID=4",
                            "#3 NAME=null YEAR=1999 COUNTER=0 ID=3",
                        }));
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
  // The old files are kept as the backup set; the private directory holds nothing.
  EXPECT_TRUE(Exists("/db/FILMS.DBK"));
  EXPECT_TRUE(Exists("/db/FILMS.IBK"));
  std::vector<std::string> left;
  memory_.ListDirectory("/private", left);
  EXPECT_TRUE(left.empty());
  // Identifiers carry on from the old table's last value.
  TTableUse table(*directory_, "Films", true);
  TRecordImage row(static_cast<std::size_t>(table->Data().RecordSize()), 0);
  table->Data().SetString(row.data(), *table->Data().FieldByNumber(4), "5");
  const std::int32_t n = TTableRecords(*table).Insert(row);
  EXPECT_EQ(RecordIdentifier(TTableRecords(*table).Read(n).data()), 5);
  table.Close();
  EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
}

TEST_F(Maintenance, NoBackupsLeavesNoBackupFilesAndTheLastAutoIncrementCanBeSet) {
  MakeFilms(3);
  TRestructureRequest r = SameStructure();
  r.Table.Fields.pop_back();
  r.Table.Secondaries.clear();
  r.NoBackups = true;
  r.LastAutoIncValue = 1000;
  EXPECT_EQ(Restructure(r), TRestructureOutcome::DataRebuilt);
  EXPECT_FALSE(Exists("/db/FILMS.DBK"));
  EXPECT_FALSE(Exists("/db/FILMS.IBK"));
  TTableUse table(*directory_, "Films", true);
  EXPECT_EQ(table->Data().LastAutoIncValue(), 1000);
  EXPECT_EQ(table->Data().FieldCount(), 2);
  table.Close();
  EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
}

TEST_F(Maintenance, ValueThatDoesNotFitItsNewTypeRaisesKindFourAndContinueDropsOnlyThatRecord) {
  MakeFilms({{1, 10, "a"}, {2, 100000, "b"}, {3, -32768, "c"}, {4, 32768, "d"}});
  TRestructureRequest r = SameStructure();
  r.Table.Fields[1].DataType = TFieldType::SmallInt;
  std::vector<TEvent> events;
  r.OnEvent = Recorder(events, true);
  EXPECT_EQ(Restructure(r), TRestructureOutcome::DataRebuilt);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Kind, TRestructureEventKind::CannotConvert);
  EXPECT_EQ(events[0].Text, "COUNTER");
  EXPECT_EQ(FilmRows(), (std::vector<std::string>{"#1 ID=1 COUNTER=10 NAME=a", "#3 ID=3 COUNTER=-32768 NAME=c"}));
}

TEST_F(Maintenance, ConversionsThatFailOrFit) {
  struct Case {
    const char* what;
    TFieldType from;
    int fromSize;
    std::string value;  // stored through the old type's text
    TFieldType to;
    int toSize;
    std::string expected;  // "" when the record is refused
  };
  const Case cases[] = {
      {"text to integer", TFieldType::String, 10, "42", TFieldType::Integer, 0, "42"},
      {"text that is no number", TFieldType::String, 10, "forty", TFieldType::Integer, 0, ""},
      {"text number too large for small integer", TFieldType::String, 10, "70000", TFieldType::SmallInt, 0, ""},
      {"float truncated", TFieldType::Float, 0, "2.75", TFieldType::Integer, 0, "2"},
      {"float beyond 32 bits", TFieldType::Float, 0, "3e10", TFieldType::Integer, 0, ""},
      {"float beyond 64 bits", TFieldType::Float, 0, "1e19", TFieldType::LargeInt, 0, ""},
      {"large integer beyond 32 bits", TFieldType::LargeInt, 0, "4294967296", TFieldType::Integer, 0, ""},
      {"text cut to the new size", TFieldType::String, 10, "abcdefgh", TFieldType::String, 3, "abc"},
      {"integer to float", TFieldType::Integer, 0, "-5", TFieldType::Float, 0, std::to_string(-5.0)},
      {"null stays null", TFieldType::Integer, 0, "", TFieldType::SmallInt, 0, "null"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TTableDefinition d;
    d.Fields = {Field(1, "V", c.from, c.fromSize)};
    directory_->CreateTable("Conv", false, d);
    {
      TTableUse table(*directory_, "Conv");
      TRecordImage row(static_cast<std::size_t>(table->Data().RecordSize()), 0);
      const TFieldDefinition& f = *table->Data().FieldByNumber(1);
      if (!c.value.empty()) {
        switch (c.from) {
        case TFieldType::String: table->Data().SetString(row.data(), f, c.value); break;
        case TFieldType::Float: SetFieldFloat(row.data(), f, std::stod(c.value)); break;
        case TFieldType::LargeInt: SetFieldLargeInt(row.data(), f, std::stoll(c.value)); break;
        default: SetFieldInteger(row.data(), f, std::stoi(c.value)); break;
        }
      }
      TTableRecords(*table).Insert(row);
    }
    TRestructureRequest r;
    r.Table.Fields = {Field(1, "V", c.to, c.toSize)};
    std::vector<TEvent> events;
    r.OnEvent = Recorder(events, true);
    TTableMaintenance conv(*directory_, "Conv", false);
    EXPECT_EQ(conv.RestructureTable(r, false, true, false), TRestructureOutcome::DataRebuilt);
    {
      TTableUse table(*directory_, "Conv");
      const std::vector<std::string> rows = Rows(*table);
      if (c.expected.empty()) {
        EXPECT_TRUE(rows.empty());
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].Kind, TRestructureEventKind::CannotConvert);
      } else {
        EXPECT_EQ(rows, std::vector<std::string>{"#1 V=" + c.expected});
        EXPECT_TRUE(events.empty());
      }
      EXPECT_EQ(TTableRecords(*table).Verify(), "");
    }
    conv.DeleteTable();
    for (std::string_view ext : {".DBK", ".IBK"}) list_.Delete("/db/CONV" + std::string(ext), false);
  }
}

TEST_F(Maintenance, DroppedFieldIsAskedAboutAndContinueKeepsTheRecords) {
  MakeFilms(3);
  TRestructureRequest r = SameStructure();
  r.Table.Fields.erase(r.Table.Fields.begin() + 1);  // COUNTER goes
  r.Table.Secondaries = {IndexOn("BYNAME", {2}, false)};
  std::vector<TEvent> events;
  r.OnEvent = Recorder(events, true, true);  // asked once, then silent
  EXPECT_EQ(Restructure(r), TRestructureOutcome::DataRebuilt);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Kind, TRestructureEventKind::FieldDropped);
  EXPECT_EQ(events[0].Text, "COUNTER");
  EXPECT_EQ(FilmRows().size(), 3u);
}

TEST_F(Maintenance, RecordsRefusedByTheNewTableGoToTheHandler) {
  struct Case {
    const char* what;
    std::function<void(TRestructureRequest&)> change;
    TRestructureEventKind kind;
    std::string text;
  };
  const Case cases[] = {
      {"duplicate in a new unique index",
       [](auto& r) {
         r.Table.Fields[1].DataType = TFieldType::SmallInt;
         r.Table.Secondaries.push_back(IndexOn("BYCOUNTER", {2}, true));
       },
       TRestructureEventKind::DuplicateKey, "BYCOUNTER"},
      {"required value missing",
       [](auto& r) {
         r.Table.Fields[1].DataType = TFieldType::LargeInt;
         r.Table.Fields[2].Required = true;
       },
       TRestructureEventKind::ValidityCheck, "NAME"},
      {"above the maximum",
       [](auto& r) {
         r.Table.Fields[1].DataType = TFieldType::LargeInt;
         r.Table.Fields[1].MaxValue = "15";
       },
       TRestructureEventKind::ValidityCheck, "COUNTER"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Record 3 repeats record 1's counter and has no name.
    MakeFilms({{1, 10, "a"}, {2, 12, "b"}, {3, 10, ""}, {4, 16, "d"}});
    TRestructureRequest r = SameStructure();
    c.change(r);
    std::vector<TEvent> events;
    r.OnEvent = Recorder(events, true);
    r.NoBackups = true;
    EXPECT_EQ(Restructure(r), TRestructureOutcome::DataRebuilt);
    ASSERT_GE(events.size(), 1u);
    EXPECT_EQ(events[0].Kind, c.kind);
    EXPECT_EQ(events[0].Text, c.text);
    EXPECT_EQ(FilmRows().size(), 4u - events.size());
    Films().DeleteTable();
  }
}

TEST_F(Maintenance, StopAnswerLeavesTheOldTableUntouched) {
  MakeFilms({{1, 10, "a"}, {2, 100000, "b"}, {3, 30, "c"}});
  const std::vector<std::string> before = FilmRows();
  TRestructureRequest r = SameStructure();
  r.Table.Fields[1].DataType = TFieldType::SmallInt;
  std::vector<TEvent> events;
  r.OnEvent = Recorder(events, false);
  EXPECT_EQ(Restructure(r), TRestructureOutcome::Stopped);
  EXPECT_EQ(events.size(), 1u);
  EXPECT_EQ(FilmRows(), before);
  EXPECT_FALSE(Exists("/db/FILMS.DBK"));
  std::vector<std::string> left;
  memory_.ListDirectory("/private", left);
  EXPECT_TRUE(left.empty());
  TTableUse table(*directory_, "Films");
  EXPECT_EQ(table->Data().FieldByNumber(2)->DataType, TFieldType::Integer);
}

TEST_F(Maintenance, FailingFilesDuringADataRebuildLeaveTheOldTableIntact) {
  MakeFilms(40);
  const std::vector<std::string> before = FilmRows();
  TRestructureRequest r = SameStructure();
  r.Table.Fields[1].DataType = TFieldType::LargeInt;
  r.NoBackups = true;
  int failures = 0;
  bool succeeded = false;
  // Fail the first, second, ... write from the start of the restructure until one gets
  // through; the table must read the same after every failure.
  for (int nth = 1; nth <= 200 && !succeeded; ++nth) {
    SCOPED_TRACE(nth);
    faults_.FailNth(TFaultOperation::kWrite, nth, TFaultEffect::kError, true);
    const int code = CodeOf([&] { Restructure(r); });
    faults_.Clear();
    if (code == 0) {
      succeeded = true;
      break;
    }
    ++failures;
    EXPECT_EQ(FilmRows(), before);
    TTableUse table(*directory_, "Films");
    EXPECT_EQ(table->Data().FieldByNumber(2)->DataType, TFieldType::Integer);
  }
  EXPECT_GT(failures, 0);
  ASSERT_TRUE(succeeded);
  TTableUse table(*directory_, "Films");
  EXPECT_EQ(table->Data().FieldByNumber(2)->DataType, TFieldType::LargeInt);
  EXPECT_EQ(Rows(*table).size(), before.size());
  table.Close();
  EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
}

TEST_F(Maintenance, NewFilesThatCannotBeRenamedIntoPlaceAreCopied) {
  MakeFilms(5);
  const std::vector<std::string> before = FilmRows();
  TRestructureRequest r = SameStructure();
  r.Table.Fields[1].DataType = TFieldType::LargeInt;
  faults_.RefuseFrom = "/private/";
  EXPECT_EQ(Restructure(r), TRestructureOutcome::DataRebuilt);
  faults_.RefuseFrom.clear();
  EXPECT_EQ(FilmRows().size(), before.size());
  std::vector<std::string> left;
  memory_.ListDirectory("/private", left);
  EXPECT_TRUE(left.empty());
}

TEST_F(Maintenance, OldFilesThatCannotBeSetAsideLeaveTheTableInPlace) {
  MakeFilms(5);
  const std::vector<std::string> before = FilmRows();
  TRestructureRequest r = SameStructure();
  r.Table.Fields[1].DataType = TFieldType::LargeInt;
  // The data file becomes the backup, then the index file cannot follow.
  faults_.RefuseTo = ".IBK";
  EXPECT_NE(CodeOf([&] { Restructure(r); }), 0);
  faults_.RefuseTo.clear();
  EXPECT_EQ(FilmRows(), before);
  EXPECT_FALSE(Exists("/db/FILMS.DBK"));
  std::vector<std::string> left;
  memory_.ListDirectory("/private", left);
  EXPECT_TRUE(left.empty());
  TTableUse table(*directory_, "Films");
  EXPECT_EQ(table->Data().FieldByNumber(2)->DataType, TFieldType::Integer);
}

// ---------------------------------------------------------------- restructure: without data copy

TEST_F(Maintenance, RenamingAFieldCopiesNoRecord) {
  MakeFilms(3);
  {
    TTableUse table(*directory_, "Films", true);
    TTableRecords(*table).Delete(2);  // a copy would close this gap
  }
  TRestructureRequest r = SameStructure();
  r.Table.Fields[2].Name = "TITLE";
  r.Table.Fields[2].Description = "The film's title";
  r.Table.Fields[2].CharCase = TCharCase::Upper;
  r.Table.Description = "Films we own";
  EXPECT_EQ(Restructure(r), TRestructureOutcome::AttributesOnly);
  EXPECT_FALSE(Exists("/db/FILMS.DBK"));
  EXPECT_FALSE(Exists("/db/FILMS.IBK"));
  TTableUse table(*directory_, "Films");
  EXPECT_EQ(table->Data().NextRecordNo(), 4);
  EXPECT_EQ(table->Data().FieldByNumber(3)->Name, "TITLE");
  EXPECT_EQ(table->Data().FieldByNumber(3)->Description, "The film's title");
  EXPECT_EQ(table->Data().FieldByNumber(3)->CharCase, TCharCase::Upper);
  EXPECT_EQ(table->Data().Description(), "Films we own");
  table.Close();
  EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
}

TEST_F(Maintenance, IndexOnlyChangeRebuildsTheIndexesNotTheData) {
  MakeFilms({{1, 1, "beta"}, {2, 2, "Alpha"}, {3, 3, "alpha"}});
  const std::vector<std::string> before = FilmRows();
  TRestructureRequest r = SameStructure();
  r.Table.Secondaries[0].CaseInsensitive = true;
  EXPECT_EQ(Restructure(r), TRestructureOutcome::IndexesRebuilt);
  EXPECT_FALSE(Exists("/db/FILMS.DBK"));
  EXPECT_TRUE(Exists("/db/FILMS.IBK"));
  EXPECT_EQ(FilmRows(), before);
  TTableUse table(*directory_, "Films");
  EXPECT_TRUE(table->Index().Definition(1).CaseInsensitive);
  // Case-insensitive order: both alphas before beta.
  std::vector<std::int32_t> order;
  TBTree tree = table->Index().Tree(1);
  TIndexPath path;
  for (bool on = tree.First(path); on; on = tree.Next(path)) order.push_back(tree.EntryAt(path, nullptr));
  ASSERT_EQ(order.size(), 3u);
  EXPECT_EQ(order[2], 1);
}

TEST_F(Maintenance, IndexRebuildStoppedOrFailingRestoresTheIndexFile) {
  MakeFilms({{1, 5, "a"}, {2, 6, "b"}, {3, 5, "c"}});
  auto indexImage = [&] {
    TFileHandler file("/db/FILMS.IDX", false, &list_);
    file.Open();
    std::vector<std::uint8_t> image(static_cast<std::size_t>(file.Size()));
    file.ReadAt(0, image.data(), static_cast<std::int64_t>(image.size()));
    // The change counter moves with every header write; the rest must be as it was.
    std::fill_n(image.begin(), 4, 0);
    return image;
  };
  const std::vector<std::uint8_t> original = indexImage();
  const std::vector<std::string> rows = FilmRows();
  TRestructureRequest r = SameStructure();
  r.Table.Secondaries.push_back(IndexOn("BYCOUNTER", {2}, true));

  // The handler stops at the duplicate.
  std::vector<TEvent> events;
  r.OnEvent = Recorder(events, false);
  EXPECT_EQ(Restructure(r), TRestructureOutcome::Stopped);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Kind, TRestructureEventKind::DuplicateKey);
  EXPECT_EQ(indexImage(), original);
  EXPECT_EQ(FilmRows(), rows);
  EXPECT_FALSE(Exists("/db/FILMS.IBK"));

  // The files fail part-way.
  r.OnEvent = Recorder(events, true);
  int failures = 0;
  for (int nth = 1; nth <= 100; ++nth) {
    SCOPED_TRACE(nth);
    faults_.FailNth(TFaultOperation::kWrite, nth, TFaultEffect::kError);
    const int code = CodeOf([&] { Restructure(r); });
    faults_.Clear();
    if (code == 0) break;
    ++failures;
    EXPECT_EQ(FilmRows(), rows);
    TTableUse table(*directory_, "Films");
    EXPECT_EQ(table->Index().SecondaryCount(), 1);
  }
  EXPECT_GT(failures, 0);
  // Completed: the duplicate's later record is gone.
  TTableUse table(*directory_, "Films");
  EXPECT_EQ(table->Index().SecondaryCount(), 2);
  EXPECT_EQ(Rows(*table).size(), 2u);
  table.Close();
  EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
}

TEST_F(Maintenance, PrimaryIndexAddedAndRemovedByRestructure) {
  TTableDefinition d = CounterTable();
  d.Primary = TIndexDefinition{};
  directory_->CreateTable("Films", false, d);
  {
    TTableUse table(*directory_, "Films");
    for (int i = 1; i <= 3; ++i) TTableRecords(*table).Insert(CounterRow(*table, 4 - i, i));
  }
  TRestructureRequest r = SameStructure();
  r.Table.Primary = IndexOn("", {1}, true);
  EXPECT_EQ(Restructure(r), TRestructureOutcome::IndexesRebuilt);
  {
    TTableUse table(*directory_, "Films");
    EXPECT_TRUE(table->Index().ReusesDeletedSlots());
    EXPECT_EQ(TTableRecords(*table).FindPrimary(CounterRow(*table, 2, 0)), 2);
    EXPECT_EQ(TTableRecords(*table).Verify(), "");
  }
  r.Table.Primary = TIndexDefinition{};
  EXPECT_EQ(Restructure(r), TRestructureOutcome::IndexesRebuilt);
  TTableUse table(*directory_, "Films");
  EXPECT_FALSE(table->Index().ReusesDeletedSlots());
  table.Close();
  EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
}

// ---------------------------------------------------------------- progress, full text, BLOBs, memory

TEST_F(Maintenance, ProgressFollowsTheSessionsSteps) {
  MakeFilms(100);
  struct Case {
    int steps;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {50, {50, 100}},
      {30, {30, 60, 90, 100}},
      {100, {100}},
  };
  bool large = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.steps);
    session_.Settings().ProgressSteps = c.steps;
    TRestructureRequest r = SameStructure();
    large = !large;  // each case changes the type again, so that the data is copied
    r.Table.Fields[1].DataType = large ? TFieldType::LargeInt : TFieldType::Integer;
    r.NoBackups = true;
    std::vector<int> seen;
    r.OnProgress = [&](int p) { seen.push_back(p); };
    EXPECT_EQ(Restructure(r), TRestructureOutcome::DataRebuilt);
    EXPECT_EQ(seen, c.expected);
  }
}

// Number of keys the full-text index holds.
std::int64_t TextKeys(TDataTable& table) {
  TBTree tree = table.Index().Tree(TextSlot);
  std::int64_t keys = 0;
  TIndexPath path;
  for (bool on = tree.First(path); on; on = tree.Next(path)) ++keys;
  return keys;
}

TEST_F(Maintenance, FullTextIndexFollowsCopiedAndDeletedRecords) {
  MakeFilms({{1, 5, "the big sleep"}, {2, 6, "sleep"}, {3, 5, "big fish"}});
  TRestructureRequest r = SameStructure();
  r.Table.Text.FieldCount = 1;
  r.Table.Text.FieldNumbers[0] = 3;
  TTextParameters parameters = TTextParameters::Defaults();
  parameters.StopWords = {"the"};
  r.TextParameters = parameters;
  // Only the index file changes: the words are built from the records in place.
  EXPECT_EQ(Restructure(r), TRestructureOutcome::IndexesRebuilt);
  {
    TTableUse table(*directory_, "Films", true);
    EXPECT_EQ(TextKeys(*table), 5);  // big, sleep | sleep | big, fish
    EXPECT_EQ(ReadTextParameters(table->Index()), parameters);
    // A unique index over COUNTER deletes record 3 and its words.
    Films().AddIndex(*table, IndexOn("BYCOUNTER", {2}, true));
    EXPECT_EQ(TextKeys(*table), 3);
  }
  // A data rebuild carries the words and the parameters into the new table.
  r = SameStructure();
  r.Table.Fields[1].DataType = TFieldType::LargeInt;
  r.Table.Text.FieldCount = 1;
  r.Table.Text.FieldNumbers[0] = 3;
  EXPECT_EQ(Restructure(r), TRestructureOutcome::DataRebuilt);
  TTableUse table(*directory_, "Films", true);
  EXPECT_EQ(TextKeys(*table), 3);
  EXPECT_EQ(ReadTextParameters(table->Index()), parameters);
  table.Close();
  EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
}

TEST_F(Maintenance, BlobReferencesTravelWithTheBlobFile) {
  TTableDefinition d;
  d.Fields = {Field(1, "ID", TFieldType::Integer), Field(2, "NOTES", TFieldType::Blob)};
  d.Fields[1].SubType = subtype::Memo;
  d.Primary = IndexOn("", {1}, true);
  directory_->CreateTable("Notes", false, d);
  const std::string blocks(1024, 'x');
  {
    TTableUse table(*directory_, "Notes", true);
    for (int id = 1; id <= 3; ++id) {
      TRecordImage row(static_cast<std::size_t>(table->Data().RecordSize()), 0);
      SetFieldInteger(row.data(), *table->Data().FieldByNumber(1), id);
      if (id != 2) SetFieldBlob(row.data(), *table->Data().FieldByNumber(2), {id, 10 + id});
      TTableRecords(*table).Insert(row);
    }
    table->Blob()->WriteAt(512, blocks.data(), static_cast<std::int64_t>(blocks.size()));
  }
  auto blobs = [&](const char* table) {
    TTableUse open(*directory_, table, true);
    std::vector<std::string> refs;
    for (const std::string& row : Rows(*open)) refs.push_back(row);
    const TFieldDefinition& notes = *open->Data().FieldByName("NOTES");
    for (std::int32_t n = 1; n < open->Data().NextRecordNo(); ++n) {
      const TBlobReference ref = GetFieldBlob(TTableRecords(*open).Read(n).data(), notes);
      refs.push_back(std::to_string(ref.FirstBlock) + "/" + std::to_string(ref.ChangeNumber));
    }
    return refs;
  };
  TTableMaintenance notes(*directory_, "Notes", false);
  TRestructureRequest r;
  r.Table = d;
  r.Table.Fields.push_back(Field(0, "SEEN", TFieldType::Boolean));
  EXPECT_EQ(notes.RestructureTable(r, false, true, false), TRestructureOutcome::DataRebuilt);
  EXPECT_EQ(blobs("Notes"), (std::vector<std::string>{"#1 ID=1 NOTES=? SEEN=null", "#2 ID=2 NOTES=null SEEN=null",
                                                      "#3 ID=3 NOTES=? SEEN=null", "1/11", "0/0", "3/13"}));
  {
    TFileHandler file("/db/NOTES.BLB", false, &list_);
    file.Open();
    std::string copied(blocks.size(), '\0');
    file.ReadAt(512, copied.data(), static_cast<std::int64_t>(copied.size()));
    EXPECT_EQ(copied, blocks);
  }
  // Another block size would need the contents re-blocked: records holding a BLOB are refused.
  r.Table.Fields.pop_back();
  r.Table.BlobBlockSize = 1024;
  std::vector<TEvent> events;
  r.OnEvent = Recorder(events, true);
  EXPECT_EQ(notes.RestructureTable(r, false, true, false), TRestructureOutcome::DataRebuilt);
  // Records 1 and 3 hold a BLOB; record 2 is kept and its dropped SEEN field asked about.
  std::vector<TRestructureEventKind> kinds;
  for (const TEvent& e : events) kinds.push_back(e.Kind);
  EXPECT_EQ(kinds, (std::vector<TRestructureEventKind>{TRestructureEventKind::CannotConvert,
                                                       TRestructureEventKind::FieldDropped,
                                                       TRestructureEventKind::CannotConvert}));
  TTableUse table(*directory_, "Notes", true);
  EXPECT_EQ(Rows(*table), std::vector<std::string>{"#2 ID=2 NOTES=null"});
}

TEST_F(Maintenance, InMemoryTablesRestructureWithoutBackups) {
  TDataDirectory& memory = session_.OpenDirectory("Memory", "");
  memory.CreateTable("Scratch", true, CounterTable());
  {
    TTableUse table(memory, "Scratch");
    for (int i = 1; i <= 5; ++i) TTableRecords(*table).Insert(CounterRow(*table, i, i));
  }
  TRestructureRequest r;
  r.Table = CounterTable();
  r.Table.Fields[1].DataType = TFieldType::SmallInt;
  TTableMaintenance scratch(memory, "Scratch", true);
  EXPECT_EQ(scratch.RestructureTable(r, false, true, false), TRestructureOutcome::DataRebuilt);
  EXPECT_FALSE(list_.Exists("SCRATCH.DBK", true));
  TTableUse table(memory, "Scratch");
  EXPECT_EQ(table->Data().FieldByNumber(2)->DataType, TFieldType::SmallInt);
  EXPECT_EQ(Rows(*table).size(), 5u);
  table.Close();
  EXPECT_EQ(CursorVerify(memory, "Scratch", true), "");
  table.Close();
  session_.CloseDirectory(memory);
}

TEST_F(Maintenance, RequestedLastAutoIncrementNeverFallsBelowAnIdentifierInUse) {
  MakeFilms(6);  // identifiers 1..6
  {
    TTableUse table(*directory_, "Films", true);
    TTableRecords(*table).Delete(6);
  }
  struct Case {
    const char* what;
    bool copyData;
    std::int32_t requested;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"attributes only, below", false, 2, 5},  {"attributes only, above", false, 40, 40},
      {"attributes only, kept", false, -1, 40}, {"data copied, below", true, 3, 5},
      {"data copied, above", true, 60, 60},
  };
  bool large = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TRestructureRequest r = SameStructure();
    if (c.copyData) {
      large = !large;
      r.Table.Fields[1].DataType = large ? TFieldType::LargeInt : TFieldType::Integer;
    }
    r.LastAutoIncValue = c.requested;
    r.NoBackups = true;
    Restructure(r);
    TTableUse table(*directory_, "Films", true);
    EXPECT_EQ(table->Data().LastAutoIncValue(), c.expected);
  }
}

TEST_F(Maintenance, IntegerFieldBecomingTheAutoIncrementFieldSuppliesTheIdentifiers) {
  MakeFilms({{1, 50, "a"}, {2, 70, "b"}, {3, 50, "c"}});
  TRestructureRequest r = SameStructure();
  r.Table.Fields[1].SubType = subtype::AutoInc;
  std::vector<TEvent> events;
  r.OnEvent = Recorder(events, true);
  EXPECT_EQ(Restructure(r), TRestructureOutcome::DataRebuilt);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Kind, TRestructureEventKind::DuplicateKey);
  EXPECT_EQ(events[0].Text, DeletedIndexName);
  EXPECT_EQ(FilmRows(), (std::vector<std::string>{"#50 ID=1 COUNTER=50 NAME=a", "#70 ID=2 COUNTER=70 NAME=b"}));
  TTableUse table(*directory_, "Films", true);
  EXPECT_EQ(table->Data().LastAutoIncValue(), 70);
}

// ---------------------------------------------------------------- through a cursor

// A cursor on FILMS set up as asked (opened unless told otherwise).
std::unique_ptr<TDataCursor> FilmsCursor(TDataDirectory& directory, bool exclusive, bool readOnly = false,
                                         bool open = true) {
  auto cursor = std::make_unique<TDataCursor>(directory);
  cursor->SetTableName("Films");
  cursor->SetExclusive(exclusive);
  cursor->SetReadOnly(readOnly);
  if (open) cursor->Open();
  return cursor;
}

void InsertFilm(TDataCursor& cursor, std::int32_t id, std::int32_t counter) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(cursor.RecordBufferSize()));
  cursor.InitRecord(buffer.data());
  cursor.PutField(1, buffer.data(), reinterpret_cast<const std::uint8_t*>(&id));
  cursor.PutField(2, buffer.data(), reinterpret_cast<const std::uint8_t*>(&counter));
  cursor.InsertRecord(buffer.data());
}

TEST_F(Maintenance, CursorOperationsKeepTheirAccessRules) {
  MakeFilms(3);
  TIndexDefinition temporary = IndexOn("TEMP", {2}, false);
  temporary.Temporary = true;
  const TRestructureRequest same = SameStructure();
  struct Case {
    const char* what;
    bool exclusive, readOnly, open;
    std::function<void(TDataCursor&)> run;
    int code;
  };
  const Case cases[] = {
      {"empty, shared", false, false, true, [](TDataCursor& c) { c.EmptyTable(); }, QUARRY_NEEDEXCLACCESS},
      {"empty, read-only", true, true, true, [](TDataCursor& c) { c.EmptyTable(); }, QUARRY_OSEACCES},
      {"add index, shared", false, false, true, [](TDataCursor& c) { c.AddIndex(IndexOn("BYCOUNTER", {2}, false)); },
       QUARRY_NEEDEXCLACCESS},
      {"add index, read-only", true, true, true, [](TDataCursor& c) { c.AddIndex(IndexOn("BYCOUNTER", {2}, false)); },
       QUARRY_OSEACCES},
      {"temporary index, shared and read-only", false, true, true, [&](TDataCursor& c) { c.AddIndex(temporary); }, 0},
      {"delete unknown index", true, false, true, [](TDataCursor& c) { c.DeleteIndex("NOSUCH"); },
       QUARRY_INVALIDINDEXNAME},
      {"delete index, read-only", true, true, true, [](TDataCursor& c) { c.DeleteIndex("BYNAME"); }, QUARRY_OSEACCES},
      {"restructure, open", true, false, true, [&](TDataCursor& c) { c.RestructureTable(same); }, QUARRY_TABLEOPEN},
      {"restructure, shared", false, false, false, [&](TDataCursor& c) { c.RestructureTable(same); },
       QUARRY_NEEDEXCLACCESS},
      {"delete table, open", true, false, true, [](TDataCursor& c) { c.DeleteTable(); }, QUARRY_TABLEOPEN},
      {"rename table, open", true, false, true, [](TDataCursor& c) { c.RenameTable("Other"); }, QUARRY_TABLEOPEN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto cursor = FilmsCursor(*directory_, c.exclusive, c.readOnly, c.open);
    EXPECT_EQ(CodeOf([&] { c.run(*cursor); }), c.code);
  }
  // Another cursor of the session holding the table keeps it from being deleted.
  auto holder = FilmsCursor(*directory_, false);
  auto closed = FilmsCursor(*directory_, false, false, false);
  EXPECT_EQ(CodeOf([&] { closed->DeleteTable(); }), QUARRY_OSEACCES);
  holder->Close();
  EXPECT_EQ(CursorVerify(*directory_, "Films"), "");
}

TEST_F(Maintenance, CursorEmptyTableLeavesItOnAnEmptySetThatTakesRecords) {
  MakeFilms(5);
  auto cursor = FilmsCursor(*directory_, true);
  cursor->EmptyTable();
  EXPECT_EQ(cursor->RecordCount(), 0);
  EXPECT_EQ(cursor->Next(nullptr), QUARRY_EOF);
  InsertFilm(*cursor, 1, 10);
  EXPECT_EQ(cursor->RecordCount(), 1);
  EXPECT_EQ(cursor->Verify(), "");
}

TEST_F(Maintenance, CursorAddIndexDeletesDuplicatesAndDeleteIndexReturnsToThePrimary) {
  MakeFilms({{1, 5, "a"}, {2, 6, "b"}, {3, 5, "c"}});
  auto cursor = FilmsCursor(*directory_, true);
  std::vector<int> progress;
  cursor->AddIndex(IndexOn("BYCOUNTER", {2}, true), [&](int p) { progress.push_back(p); });
  EXPECT_EQ(cursor->RecordCount(), 2);
  EXPECT_EQ(progress.back(), 100);
  cursor->SetIndex("BYCOUNTER");
  cursor->DeleteIndex("BYCOUNTER");
  EXPECT_EQ(cursor->IndexSlot(), PrimarySlot);
  EXPECT_EQ(cursor->First(), 0);
  EXPECT_EQ(cursor->Verify(), "");
}

TEST_F(Maintenance, CursorWithoutPrimaryIndexAppendsNewRecords) {
  MakeFilms(4);
  auto cursor = FilmsCursor(*directory_, true);
  ASSERT_EQ(cursor->GotoRecordNo(2), 0);
  cursor->DeleteRecord();
  cursor->DeleteIndex("");
  EXPECT_TRUE(cursor->NaturalOrder());
  InsertFilm(*cursor, 9, 90);
  EXPECT_EQ(cursor->CurrentRecordNo(), 5);
  EXPECT_EQ(cursor->RecordCount(), 4);
  EXPECT_EQ(cursor->Verify(), "");
}

TEST_F(Maintenance, CursorRestructureReportsAStopAndCompletes) {
  MakeFilms({{1, 10, "a"}, {2, 100000, "b"}});
  auto cursor = FilmsCursor(*directory_, true, false, false);
  TRestructureRequest r = SameStructure();
  r.Table.Fields[1].DataType = TFieldType::SmallInt;
  std::vector<TEvent> events;
  r.OnEvent = Recorder(events, false);
  EXPECT_FALSE(cursor->RestructureTable(r));
  r.OnEvent = Recorder(events, true);
  EXPECT_TRUE(cursor->RestructureTable(r));
  cursor->Open();
  EXPECT_EQ(cursor->GetFieldDefinition(2).DataType, TFieldType::SmallInt);
  EXPECT_EQ(cursor->RecordCount(), 1);
  EXPECT_EQ(cursor->Verify(), "");
}

// ---------------------------------------------------------------- random sequences

// A field's value as a whole number (null: none), whichever numeric or text type holds it.
std::optional<std::int64_t> WholeValue(const std::uint8_t* record, const TFieldDefinition& f) {
  if (IsFieldNull(record, f)) return std::nullopt;
  switch (f.DataType) {
  case TFieldType::String: return std::stoll(GetFieldString(record, f));
  case TFieldType::SmallInt: return GetFieldSmallInt(record, f);
  case TFieldType::Integer: return GetFieldInteger(record, f);
  case TFieldType::LargeInt: return GetFieldLargeInt(record, f);
  case TFieldType::Float: return static_cast<std::int64_t>(GetFieldFloat(record, f));
  default: return std::nullopt;
  }
}

TEST_F(Maintenance, RandomRestructuresKeepEveryValue) {
  const int steps = std::getenv("PELLOMAR_SOAK") != nullptr ? 400 : 25;
  std::mt19937 random(20261210);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const TFieldType types[] = {TFieldType::SmallInt, TFieldType::Integer, TFieldType::LargeInt, TFieldType::Float,
                              TFieldType::String};

  // The model: the values of every row by field name, the field order, the indexed fields.
  struct TColumn {
    std::string Name;
    TFieldType Type;
  };
  std::vector<TColumn> columns = {{"A", TFieldType::Integer}, {"B", TFieldType::Integer}};
  std::vector<std::map<std::string, std::optional<std::int64_t>>> rows;
  std::vector<std::string> indexed;
  int nextName = 0;

  TTableDefinition d;
  d.Fields = {Field(1, "A", TFieldType::Integer), Field(2, "B", TFieldType::Integer)};
  directory_->CreateTable("Films", false, d);
  {
    TTableUse table(*directory_, "Films");
    for (int i = 0; i < 30; ++i) {
      std::map<std::string, std::optional<std::int64_t>> row;
      TRecordImage image(static_cast<std::size_t>(table->Data().RecordSize()), 0);
      for (int f = 1; f <= 2; ++f) {
        const TFieldDefinition& field = *table->Data().FieldByNumber(f);
        if (pick(5) == 0) {
          row[field.Name] = std::nullopt;
        } else {
          const std::int32_t v = pick(60001) - 30000;
          SetFieldInteger(image.data(), field, v);
          row[field.Name] = v;
        }
      }
      TTableRecords(*table).Insert(image);
      rows.push_back(row);
    }
  }

  for (int step = 0; step < steps; ++step) {
    SCOPED_TRACE(step);
    std::vector<TColumn> next = columns;
    std::vector<int> source;  // old field number of each new field (0: new)
    for (std::size_t i = 0; i < next.size(); ++i) source.push_back(static_cast<int>(i) + 1);
    std::string added;
    switch (pick(5)) {
    case 0: {  // add a field with a default
      added = "F" + std::to_string(nextName++);
      next.push_back({added, types[pick(5)]});
      source.push_back(0);
      break;
    }
    case 1:  // drop a field (keep at least one)
      if (next.size() > 1) {
        const int i = pick(static_cast<int>(next.size()));
        std::erase(indexed, next[static_cast<std::size_t>(i)].Name);
        next.erase(next.begin() + i);
        source.erase(source.begin() + i);
      }
      break;
    case 2:  // retype a field
      next[static_cast<std::size_t>(pick(static_cast<int>(next.size())))].Type = types[pick(5)];
      break;
    case 3: {  // reorder
      std::vector<std::size_t> order(next.size());
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
      std::shuffle(order.begin(), order.end(), random);
      std::vector<TColumn> c;
      std::vector<int> s;
      for (std::size_t i : order) {
        c.push_back(next[i]);
        s.push_back(source[i]);
      }
      next = c;
      source = s;
      break;
    }
    default: {  // index a field, or stop indexing it
      const std::string name = next[static_cast<std::size_t>(pick(static_cast<int>(next.size())))].Name;
      if (std::find(indexed.begin(), indexed.end(), name) != indexed.end()) {
        std::erase(indexed, name);
      } else {
        indexed.push_back(name);
      }
      break;
    }
    }
    TRestructureRequest r;
    for (std::size_t i = 0; i < next.size(); ++i) {
      TFieldDefinition f =
          Field(source[i], next[i].Name.c_str(), next[i].Type, next[i].Type == TFieldType::String ? 12 : 0);
      if (next[i].Name == added) f.DefaultValue = "7";
      r.Table.Fields.push_back(f);
    }
    for (const std::string& name : indexed) {
      TIndexDefinition index;
      index.Name = "BY" + name;
      index.FieldCount = 1;
      for (std::size_t i = 0; i < next.size(); ++i) {
        if (next[i].Name == name) index.FieldNumbers[0] = static_cast<std::uint16_t>(i + 1);
      }
      r.Table.Secondaries.push_back(index);
    }
    r.NoBackups = true;
    std::vector<TEvent> events;
    r.OnEvent = Recorder(events, true, true);
    Restructure(r);
    columns = next;
    for (auto& row : rows) {
      if (!added.empty()) row[added] = 7;
      for (auto it = row.begin(); it != row.end();) {
        const bool kept =
            std::any_of(columns.begin(), columns.end(), [&](const TColumn& c) { return c.Name == it->first; });
        it = kept ? std::next(it) : row.erase(it);
      }
    }
    for (const TEvent& e : events) ASSERT_EQ(e.Kind, TRestructureEventKind::FieldDropped);

    ASSERT_EQ(CursorVerify(*directory_, "Films"), "");
    TTableUse table(*directory_, "Films");
    ASSERT_EQ(table->Data().FieldCount(), static_cast<int>(columns.size()));
    std::size_t k = 0;
    for (std::int32_t n = 1; n < table->Data().NextRecordNo(); ++n, ++k) {
      const TRecordImage image = TTableRecords(*table).Read(n);
      ASSERT_LT(k, rows.size());
      for (std::size_t i = 0; i < columns.size(); ++i) {
        const TFieldDefinition& f = *table->Data().FieldByNumber(static_cast<int>(i) + 1);
        ASSERT_EQ(f.Name, columns[i].Name);
        ASSERT_EQ(f.DataType, columns[i].Type);
        EXPECT_EQ(WholeValue(image.data(), f), rows[k][f.Name]) << f.Name << " of row " << k;
      }
    }
    ASSERT_EQ(k, rows.size());
  }
}

}  // namespace
}  // namespace quarry
