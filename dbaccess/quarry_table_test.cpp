// The table dataset over small tables made through it: the walk, empty tables, end-of-data
// rules, scroll events, fields, editing, locate and lookup, filters, index selection, ranges,
// key searches, master-detail and the dataset messages.
#include "dbaccess/quarry_table.h"

#include <gtest/gtest.h>

#include <map>

#include "dbaccess/access_test_support.h"
#include "dbaccess/quarry_blob_stream.h"
#include "dbaccess/quarry_database.h"

namespace quarry {
namespace {

using testing::AccessFixture;
using testing::ErrorOf;

struct TFilm {
  int id;
  const char* title;
  const char* year;
};

const TFilm kFilms[] = {
    {3, "Casablanca", "1942"}, {1, "Alien", "1979"}, {5, "East of Eden", "1955"},
    {2, "Brazil", "1985"},     {4, "Dune", "1984"},  {6, "alien nation", "1988"},
};

class TableTest : public AccessFixture {
 protected:
  void SetUp() override {
    video_.SetDatabaseName("Video");
    video_.SetDirectory("/db");
    MakeFilms("FILMS", true);
  }

  // FILMS(FILMID integer, TITLE string 40, YEAR string 10): primary FILMID, index BYTITLE.
  void MakeFilms(const char* name, bool fill) {
    TQuarryTable table;
    table.SetDatabaseName("Video");
    table.SetTableName(name);
    table.FieldDefs() = {{"FILMID", TDataFieldType::ftInteger, 0, 0, true},
                         {"TITLE", TDataFieldType::ftString, 40},
                         {"YEAR", TDataFieldType::ftString, 10}};
    table.CreateIndexDefs() = {{"", "FILMID", true, true}, {"BYTITLE", "TITLE", false, false, false, true}};
    table.CreateTable();
    if (!fill) return;
    table.Open();
    for (const TFilm& film : kFilms) {
      table.Insert();
      table.FieldByName("FilmID").SetAsInteger(film.id);
      table.FieldByName("Title").SetAsString(film.title);
      table.FieldByName("Year").SetAsString(film.year);
      table.Post();
    }
  }

  // Field 0 of every record from the first, as integers.
  static std::vector<int> Walk(TQuarryDataSet& set) {
    std::vector<int> ids;
    set.First();
    for (int guard = 0; !set.Eof() && guard < 1000; ++guard) {
      ids.push_back(set.Fields(0).AsInteger());
      set.Next();
    }
    return ids;
  }

  std::unique_ptr<TQuarryTable> Films() {
    auto table = std::make_unique<TQuarryTable>();
    table->SetDatabaseName("Video");
    table->SetTableName("films");
    table->Open();
    return table;
  }

  TQuarryDatabase video_;
};

TEST_F(TableTest, WalkReadsEveryRecordInPrimaryOrder) {
  auto films = Films();
  EXPECT_EQ(films->FieldCount(), 3);
  EXPECT_EQ(films->Fields(1).FieldName(), "TITLE");
  EXPECT_EQ(films->Fields(1).DataType(), TDataFieldType::ftString);
  EXPECT_EQ(films->Fields(1).Size(), 40);
  EXPECT_TRUE(films->Fields(0).Required());
  EXPECT_EQ(Walk(*films), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(films->RecordCount(), 6);
  EXPECT_TRUE(films->Eof());
  EXPECT_EQ(films->FieldByName("title").AsString(), "alien nation") << "Eof keeps the last record current";
  films->Prior();
  EXPECT_EQ(films->Fields(0).AsInteger(), 5);
  EXPECT_FALSE(films->Eof());
}

TEST_F(TableTest, EndsAndPositions) {
  auto films = Films();
  EXPECT_TRUE(films->Bof());
  EXPECT_EQ(films->RecNo(), 1);
  films->Prior();
  EXPECT_TRUE(films->Bof());
  EXPECT_EQ(films->Fields(0).AsInteger(), 1);
  films->Last();
  EXPECT_TRUE(films->Eof());
  EXPECT_EQ(films->Fields(0).AsInteger(), 6);
  EXPECT_EQ(films->RecNo(), 6);
  EXPECT_EQ(films->MoveBy(-3), -3);
  EXPECT_EQ(films->Fields(0).AsInteger(), 3);
  EXPECT_EQ(films->MoveBy(10), 3);
  EXPECT_TRUE(films->Eof());
  films->SetRecNo(2);
  EXPECT_EQ(films->Fields(0).AsInteger(), 2);
}

TEST_F(TableTest, EmptyTableOpensAtEndOfDataWithEmptyFields) {
  MakeFilms("EMPTY", false);
  TQuarryTable empty;
  empty.SetDatabaseName("Video");
  empty.SetTableName("EMPTY");
  empty.Open();
  EXPECT_TRUE(empty.Bof());
  EXPECT_TRUE(empty.Eof());
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(empty.RecordCount(), 0);
  EXPECT_EQ(empty.RecNo(), 0);
  EXPECT_TRUE(empty.Fields(0).IsNull());
  EXPECT_EQ(empty.Fields(0).AsInteger(), 0);
  EXPECT_EQ(empty.Fields(1).AsString(), "");
  empty.Next();
  empty.Last();
  EXPECT_TRUE(empty.Eof());
  EXPECT_TRUE(empty.GetBookmark().empty());
}

TEST_F(TableTest, ScrollEventsSurroundEveryMove) {
  auto films = Films();
  std::vector<std::string> events;
  films->SetBeforeScroll([&](TQuarryDataSet& s) { events.push_back("before " + s.Fields(0).AsString()); });
  films->SetAfterScroll([&](TQuarryDataSet& s) { events.push_back("after " + s.Fields(0).AsString()); });
  films->Next();
  films->Last();
  films->Next();  // at Eof: nothing moves
  EXPECT_EQ(events, (std::vector<std::string>{"before 1", "after 2", "before 2", "after 6"}));
}

TEST_F(TableTest, EditPostCancelAndDelete) {
  auto films = Films();
  films->Locate("FILMID", {std::int64_t{4}});
  films->Edit();
  EXPECT_EQ(films->State(), TDataSetState::dsEdit);
  films->FieldByName("TITLE").SetAsString("Dune (1984)");
  films->Post();
  EXPECT_EQ(films->FieldByName("TITLE").AsString(), "Dune (1984)");
  films->Edit();
  films->FieldByName("TITLE").SetAsString("changed");
  films->Cancel();
  EXPECT_EQ(films->FieldByName("TITLE").AsString(), "Dune (1984)");
  films->Delete();
  EXPECT_EQ(films->RecordCount(), 5);
  EXPECT_EQ(films->Fields(0).AsInteger(), 5) << "the next record becomes current";
  auto again = Films();
  EXPECT_EQ(Walk(*again), (std::vector<int>{1, 2, 3, 5, 6}));
  again->First();
  again->Edit();
  again->FieldByName("YEAR").Clear();
  again->Post();
  EXPECT_TRUE(again->FieldByName("YEAR").IsNull());
}

TEST_F(TableTest, DuplicatePrimaryKeyIsRefusedAndTheInsertCanBeCancelled) {
  auto films = Films();
  films->Insert();
  films->FieldByName("FILMID").SetAsInteger(1);
  films->FieldByName("TITLE").SetAsString("Again");
  try {
    films->Post();
    FAIL() << "a second FILMID 1 was accepted";
  } catch (const EQuarryEngineError& error) {
    EXPECT_EQ(error.Code(), QUARRY_KEYVIOL);
  }
  EXPECT_EQ(films->State(), TDataSetState::dsInsert);
  films->Cancel();
  EXPECT_EQ(films->RecordCount(), 6);
}

TEST_F(TableTest, DataSetMessages) {
  auto films = Films();
  TQuarryTable unnamed;
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { films->Fields(0).SetAsInteger(9); }, "Table is not in edit or insert mode."},
      {[&] { films->Fields(3); }, "Field index out of range."},
      {[&] { films->FieldByName("Rating"); }, "Field 'Rating' not found"},
      {[&] { films->Locate("Rating", {std::string("PG")}); }, "Field 'Rating' not found"},
      {[&] { unnamed.Open(); }, "Missing table name."},
      {[&] { films->SetDatabaseName("Other"); }, "Cannot perform this operation on an open database."},
      {[&] {
         films->SetKey();
         films->FieldByName("TITLE").SetAsString("x");
       },
       "Field TITLE is not in the current index."},
      {[&] {
         films->GotoKey();
         films->SetMasterSource(films.get());
       },
       "Circular data links are not allowed."},
      {[&] { TQuarryBlobStream stream(films->Fields(1), TBlobStreamMode::bmWrite); },
       "Table is not in edit or insert mode."},
  };
  for (const auto& [call, message] : cases) EXPECT_EQ(ErrorOf(call), message);
  EXPECT_FALSE(unnamed.Active());
}

TEST_F(TableTest, ReadOnlyTableRefusesFieldWrites) {
  TQuarryTable films;
  films.SetDatabaseName("Video");
  films.SetTableName("FILMS");
  films.SetReadOnly(true);
  films.Open();
  EXPECT_FALSE(films.CanModify());
  EXPECT_EQ(ErrorOf([&] { films.Edit(); }), "Cannot modify a read-only dataset");
}

TEST_F(TableTest, LocateFindsTheFirstMatchFromTheStartWhateverThePosition) {
  auto films = Films();
  struct TCase {
    const char* fields;
    std::vector<TDataValue> values;
    TLocateOptions options;
    int found;  // FILMID, 0 = not found
  };
  const TCase cases[] = {
      {"TITLE", {std::string("Brazil")}, {}, 2},                          // current index is FILMID: filter
      {"title", {std::string("ALIEN")}, {true, false}, 1},                // case-insensitive
      {"TITLE", {std::string("alien nation")}, {}, 6},                    // case counts
      {"TITLE", {std::string("Ali*")}, {false, true}, 1},                 // partial with "*"
      {"TITLE", {std::string("ali")}, {true, true}, 1},                   // partial, no case
      {"YEAR;TITLE", {std::string("1984"), std::string("Dune")}, {}, 4},  // two fields
      {"FILMID", {std::int64_t{5}}, {}, 5},                               // the current index
      {"FILMID", {std::string("3")}, {}, 3},                              // text for an integer
      {"TITLE", {std::string("Zardoz")}, {}, 0},
      {"YEAR", {std::monostate{}}, {}, 0},  // null matches null only
  };
  for (const TCase& c : cases) {
    films->Last();
    bool found = films->Locate(c.fields, c.values, c.options);
    EXPECT_EQ(found, c.found != 0) << c.fields << " " << ValueText(c.values[0]);
    EXPECT_EQ(films->Fields(0).AsInteger(), c.found != 0 ? c.found : 6) << c.fields;
  }
}

TEST_F(TableTest, LocateThroughAnotherIndexFollowsItWithTheMainCursor) {
  auto films = Films();  // primary order; BYTITLE is case-insensitive
  films->SetRange({std::int64_t{1}}, {std::int64_t{5}});
  EXPECT_TRUE(films->Locate("TITLE", {std::string("BRAZIL")}, {true, false}));
  EXPECT_EQ(films->Fields(0).AsInteger(), 2);
  films->Next();
  EXPECT_EQ(films->Fields(0).AsInteger(), 3) << "the main cursor stands on the found record";
  EXPECT_FALSE(films->Locate("TITLE", {std::string("alien nation")}, {true, false})) << "outside the range";
  EXPECT_EQ(films->Fields(0).AsInteger(), 3);
}

TEST_F(TableTest, LocateThroughTheCurrentIndex) {
  auto films = Films();
  films->SetIndexName("BYTITLE");
  EXPECT_TRUE(films->Locate("TITLE", {std::string("east")}, {true, true}));
  EXPECT_EQ(films->Fields(0).AsInteger(), 5);
  EXPECT_TRUE(films->Locate("TITLE", {std::string("Casablanca")}, {true, false}));
  EXPECT_EQ(films->Fields(0).AsInteger(), 3);
  EXPECT_FALSE(films->Locate("TITLE", {std::string("Cas")}, {true, false})) << "no partial match without the option";
}

TEST_F(TableTest, LookupReturnsFieldsAndKeepsThePosition) {
  auto films = Films();
  films->SetRecNo(3);
  std::vector<TDataValue> found = films->Lookup("TITLE", {std::string("Brazil")}, "YEAR;FILMID");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(ValueText(found[0]), "1985");
  EXPECT_EQ(ValueText(found[1]), "2");
  EXPECT_EQ(films->Fields(0).AsInteger(), 3);
  films->Next();
  EXPECT_EQ(films->Fields(0).AsInteger(), 4) << "the cursor stayed with the dataset";
  EXPECT_TRUE(films->Lookup("TITLE", {std::string("Zardoz")}, "YEAR").empty());
}

TEST_F(TableTest, FilterTextAndRecordFilter) {
  auto films = Films();
  films->SetFilter("YEAR > '1980'");
  EXPECT_EQ(Walk(*films), (std::vector<int>{1, 2, 3, 4, 5, 6})) << "set but not filtered";
  films->SetFiltered(true);
  EXPECT_EQ(Walk(*films), (std::vector<int>{2, 4, 6}));
  EXPECT_EQ(films->RecordCount(), 3);
  films->SetFiltered(false);
  films->SetFilter("");
  films->SetOnFilterRecord(
      [](TQuarryDataSet& set, bool& accept) { accept = set.FieldByName("FILMID").AsInteger() % 2 == 1; });
  films->SetFiltered(true);
  EXPECT_EQ(Walk(*films), (std::vector<int>{1, 3, 5}));
  films->SetFiltered(false);
  films->First();
  films->Next();  // on 2, which the filter refuses
  EXPECT_TRUE(films->FindNext());
  EXPECT_EQ(films->Fields(0).AsInteger(), 3);
  EXPECT_TRUE(films->FindLast());
  EXPECT_EQ(films->Fields(0).AsInteger(), 5);
  EXPECT_TRUE(films->FindPrior());
  EXPECT_EQ(films->Fields(0).AsInteger(), 3);
  EXPECT_TRUE(films->FindFirst());
  EXPECT_EQ(films->Fields(0).AsInteger(), 1);
  EXPECT_EQ(Walk(*films), (std::vector<int>{1, 2, 3, 4, 5, 6})) << "Find* leaves the filter off";
}

TEST_F(TableTest, FilterSetWhileClosedAppliesAtOpen) {
  TQuarryTable films;
  films.SetDatabaseName("Video");
  films.SetTableName("FILMS");
  films.SetFilter("FILMID <= 2");
  films.SetFiltered(true);
  films.Open();
  EXPECT_EQ(Walk(films), (std::vector<int>{1, 2}));
}

TEST_F(TableTest, IndexSelectionChangesTheOrder) {
  auto films = Films();
  films->SetIndexName("bytitle");
  EXPECT_EQ(Walk(*films), (std::vector<int>{1, 6, 2, 3, 4, 5})) << "case-insensitive title order";
  films->SetIndexFieldNames("FILMID");
  EXPECT_EQ(Walk(*films), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  films->SetIndexFieldNames("Title");
  EXPECT_EQ(films->IndexFields(), (std::vector<int>{1}));
  EXPECT_THROW(films->SetIndexName("NOSUCH"), EQuarryEngineError);
  std::vector<TQuarryIndexDef> defs = films->IndexDefs();
  ASSERT_EQ(defs.size(), 2u);
  EXPECT_TRUE(defs[0].Primary);
  EXPECT_EQ(defs[0].Fields, "FILMID");
  EXPECT_EQ(defs[1].Name, "BYTITLE");
  EXPECT_TRUE(defs[1].CaseInsensitive);
}

TEST_F(TableTest, RangesAndKeySearches) {
  auto films = Films();
  films->SetRange({std::int64_t{2}}, {std::int64_t{4}});
  EXPECT_EQ(Walk(*films), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(films->RecordCount(), 3);
  films->SetRangeStart();
  films->FieldByName("FILMID").SetAsInteger(5);
  films->SetRangeEnd();
  films->FieldByName("FILMID").SetAsInteger(9);
  films->ApplyRange();
  EXPECT_EQ(Walk(*films), (std::vector<int>{5, 6}));
  films->CancelRange();
  EXPECT_EQ(films->RecordCount(), 6);
  EXPECT_TRUE(films->FindKey({std::int64_t{4}}));
  EXPECT_EQ(films->FieldByName("TITLE").AsString(), "Dune");
  films->SetRecNo(2);
  EXPECT_FALSE(films->FindKey({std::int64_t{40}}));
  EXPECT_EQ(films->Fields(0).AsInteger(), 2) << "a failed search does not move";
  films->SetIndexName("BYTITLE");
  films->FindNearest({std::string("Cz")});
  EXPECT_EQ(films->FieldByName("TITLE").AsString(), "Dune");
}

TEST_F(TableTest, DetailFollowsItsMaster) {
  // CREDITS(FILMID, PERSON): index BYFILM on FILMID.
  TQuarryTable make;
  make.SetDatabaseName("Video");
  make.SetTableName("CREDITS");
  make.FieldDefs() = {{"FILMID", TDataFieldType::ftInteger}, {"PERSON", TDataFieldType::ftString, 30}};
  make.CreateIndexDefs() = {{"BYFILM", "FILMID"}};
  make.CreateTable();
  make.Open();
  const std::pair<int, const char*> credits[] = {{1, "Scott"}, {2, "Gilliam"}, {1, "Weaver"}, {4, "Lynch"}};
  for (const auto& [id, person] : credits) {
    make.Insert();
    make.Fields(0).SetAsInteger(id);
    make.Fields(1).SetAsString(person);
    make.Post();
  }
  make.Close();

  auto films = Films();
  TQuarryTable detail;
  detail.SetDatabaseName("Video");
  detail.SetTableName("CREDITS");
  detail.SetIndexName("BYFILM");
  detail.SetMasterSource(films.get());
  detail.SetMasterFields("FILMID");
  detail.Open();
  auto people = [&] {
    std::vector<std::string> out;
    detail.First();
    for (int guard = 0; !detail.Eof() && guard < 100; ++guard) {
      out.push_back(detail.Fields(1).AsString());
      detail.Next();
    }
    return out;
  };
  EXPECT_EQ(people().size(), 2u);
  films->Next();
  EXPECT_EQ(people(), (std::vector<std::string>{"Gilliam"}));
  films->Next();
  EXPECT_TRUE(people().empty());
  detail.Insert();
  EXPECT_EQ(detail.Fields(0).AsInteger(), 3) << "a new detail record takes the master's value";
  detail.Cancel();
  detail.SetMasterSource(nullptr);
}

TEST_F(TableTest, BookmarksGoBackAndCompare) {
  auto films = Films();
  films->SetRecNo(4);
  TBookmark fourth = films->GetBookmark();
  films->First();
  TBookmark first = films->GetBookmark();
  EXPECT_TRUE(films->BookmarkValid(fourth));
  films->GotoBookmark(fourth);
  EXPECT_EQ(films->Fields(0).AsInteger(), 4);
  EXPECT_LT(films->CompareBookmarks(first, fourth), 0);
  EXPECT_EQ(films->CompareBookmarks(fourth, fourth), 0);
  EXPECT_EQ(films->CompareBookmarks({}, {}), 0);
  EXPECT_EQ(films->CompareBookmarks({}, first), 1) << "an absent bookmark orders after a present one";
  EXPECT_EQ(films->CompareBookmarks(first, {}), -1);
}

TEST_F(TableTest, ClosingTheDatabaseClosesItsDataSets) {
  auto films = Films();
  TQuarryTable second;
  second.SetDatabaseName("Video");
  second.SetTableName("FILMS");
  second.Open();
  EXPECT_EQ(video_.DataSets().size(), 2u);
  video_.Close();
  EXPECT_FALSE(films->Active());
  EXPECT_FALSE(second.Active());
  EXPECT_TRUE(video_.DataSets().empty());
  films->Open();
  EXPECT_TRUE(video_.Connected());
}

TEST_F(TableTest, TableExistsAsksTheDirectory) {
  TQuarryTable table;
  table.SetDatabaseName("Video");
  table.SetTableName("Films");
  EXPECT_TRUE(table.Exists());
  table.SetTableName("NOSUCH");
  EXPECT_FALSE(table.Exists());
  EXPECT_THROW(table.Open(), EQuarryEngineError);
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.Database(), nullptr) << "a failed open leaves no database use behind";
}

TEST_F(TableTest, TemporaryDatabaseOfATableWithoutDatabaseName) {
  env_.SetCurrentDirectory("/db");
  DefaultSession().SetActive(false);  // the engine session takes its default directory now
  TQuarryTable films;
  films.SetTableName("FILMS");
  films.Open();
  EXPECT_EQ(films.RecordCount(), 6);
  ASSERT_NE(films.Database(), nullptr);
  EXPECT_TRUE(films.Database()->Temporary());
}

TEST_F(TableTest, EncryptedTableAsksTheSessionForItsPassword) {
  video_.Open();
  {
    TSessionLock lock(DefaultSession());
    TDataCursor cursor(video_.Handle());
    cursor.SetTableName("SECRET");
    TCreateTableDefinition definition;
    TFieldDefinition field;
    field.FieldNo = 1;
    field.Name = "X";
    field.DataType = TFieldType::Integer;
    definition.Fields = {field};
    definition.Encrypted = true;
    definition.Password = "pw1";
    cursor.CreateTable(definition);
  }
  TQuarryTable secret;
  secret.SetDatabaseName("Video");
  secret.SetTableName("SECRET");
  try {
    secret.Open();
    FAIL() << "opened without the password";
  } catch (const EQuarryEngineError& error) {
    EXPECT_EQ(error.Code(), QUARRY_NOTSUFFTABLERIGHTS) << "no handler and no prompt decline";
  }
  int asked = 0;
  DefaultSession().SetOnPassword([&](TQuarrySession& session, bool& retry) {
    ++asked;
    session.AddPassword(asked == 1 ? "wrong" : "pw1");
    retry = true;
  });
  secret.Open();
  EXPECT_TRUE(secret.Active());
  EXPECT_EQ(asked, 2) << "asked again while the password is still unknown";
  secret.Close();
  secret.Open();
  EXPECT_EQ(asked, 2) << "the session keeps the password";
  DefaultSession().SetOnPassword(nullptr);
}

}  // namespace
}  // namespace quarry
