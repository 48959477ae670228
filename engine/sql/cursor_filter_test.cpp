// Tests of a cursor's expression filters as the SQL layer's expression engine runs them
// (sql_filter_engine.h): filters with ranges against the film model in every order, counts
// from the bitmaps in natural order, changes through a filtered cursor, errors and limits,
// switching and replacing filters, TEXTSEARCH filters over the text index, filters over a
// field view, and random changes under a second filtered cursor.
#include "engine/sql/sql_filter_engine.h"

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "engine/sql/expression_parser.h"
#include "engine/storage/cursor/cursor_test_util.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"

namespace quarry {
namespace {

using testing::CodeOf;
using testing::Field;
using testing::FilmBefore;
using testing::FilmBuffer;
using testing::FilmOf;
using testing::FilmTable;
using testing::kOrders;
using testing::MakeIndex;
using testing::TFilm;
using testing::TFilmOrder;
using testing::TOrderCase;

class CursorTest : public testing::TCursorFixture {
 protected:
  CursorTest() { UseSqlFilterEngine(); }
};

TEST_F(CursorTest, RangesAndFiltersShowWhatTheModelSelects) {
  CreateFilms();
  auto c = OpenFilms();
  const std::vector<TFilm> model = FillFilms(*c, 2000, 5);
  c->SetIndex("BYGENRE");
  std::vector<TFilm> sorted = model;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const TFilm& a, const TFilm& b) { return FilmBefore(TFilmOrder::ByGenre, a, b); });

  struct TCase {
    std::int32_t lowGenre, highGenre;  // range over the first key field
    const char* filter;                // nullptr: none
    std::function<bool(const TFilm&)> keep;
  };
  const TCase cases[] = {
      {3, 5, nullptr, [](const TFilm& f) { return !f.NullGenre && f.Genre >= 3 && f.Genre <= 5; }},
      {7, 7, nullptr, [](const TFilm& f) { return !f.NullGenre && f.Genre == 7; }},
      {0, 11, "YEAR < 1970", [](const TFilm& f) { return !f.NullGenre && f.Year < 1970; }},
      {2, 9, "RATING = 'PG' OR RATING = 'R'",
       [](const TFilm& f) {
         return !f.NullGenre && f.Genre >= 2 && f.Genre <= 9 && (f.Rating == "PG" || f.Rating == "R");
       }},
      {-1, -1, "TITLE LIKE 'A%'", [](const TFilm& f) { return !f.Title.empty() && f.Title[0] == 'A'; }},
      {-1, -1, "GENRE IS NULL", [](const TFilm& f) { return f.NullGenre; }},
  };
  for (const TCase& t : cases) {
    SCOPED_TRACE(std::string(t.filter ? t.filter : "") + " " + std::to_string(t.lowGenre));
    if (t.lowGenre >= 0) {
      TFilm low;
      low.Genre = t.lowGenre;
      TFilm high;
      high.Genre = t.highGenre;
      c->SetRange(FilmBuffer(*c, low).data(), 1, FilmBuffer(*c, high).data(), 1);
    }
    TFilter* filter = t.filter ? c->AddFilter(t.filter) : nullptr;
    std::vector<std::int32_t> expected;
    for (const TFilm& f : sorted) {
      if (t.keep(f)) expected.push_back(f.Id);
    }
    EXPECT_EQ(WalkForward(*c), expected);
    EXPECT_EQ(WalkBackward(*c), expected);
    EXPECT_EQ(c->RecordCount(), static_cast<std::int32_t>(expected.size()));
    if (expected.size() > 3) {
      ASSERT_TRUE(c->SetRecNo(3));
      EXPECT_EQ(RecordIdentifier(c->CurrentRecord()), expected[2]);
      EXPECT_EQ(c->GetRecNo(), 3);
    }
    if (filter) c->RemoveFilter(filter);
    c->CancelRange();
  }
  EXPECT_EQ(c->RecordCount(), static_cast<std::int32_t>(model.size()));
  EXPECT_EQ(c->Verify(), "");
}

TEST_F(CursorTest, FiltersInNaturalOrderCountFromTheBitmap) {
  CreateFilms();
  auto c = OpenFilms();
  const std::vector<TFilm> model = FillFilms(*c, 1500, 9);
  c->SetIndexSlot(NaturalOrderSlot);
  c->AddFilter("YEAR >= 1990 AND GENRE <> 4");
  std::set<std::int32_t> expected;
  for (const TFilm& f : model) {
    // <> with exactly one NULL side holds.
    if (f.Year >= 1990 && (f.NullGenre || f.Genre != 4)) expected.insert(f.Id);
  }
  const std::vector<std::int32_t> walked = WalkForward(*c);
  EXPECT_EQ(std::set<std::int32_t>(walked.begin(), walked.end()), expected);
  EXPECT_EQ(walked.size(), expected.size());
  EXPECT_EQ(c->RecordCount(), static_cast<std::int32_t>(expected.size()));
  ASSERT_TRUE(c->SetRecNo(10));
  EXPECT_EQ(RecordIdentifier(c->CurrentRecord()), walked[9]);
  EXPECT_EQ(c->GetRecNo(), 10);
}

TEST_F(CursorTest, ChangesThroughAFilteredCursorKeepItsCountAndBitmapsCurrent) {
  CreateFilms();
  auto c = OpenFilms();
  std::vector<TFilm> model = FillFilms(*c, 300, 3);
  c->SetIndex("BYYEAR");
  c->AddFilter("GENRE = 2");
  const auto matching = [&] {
    return static_cast<std::int32_t>(
        std::count_if(model.begin(), model.end(), [](const TFilm& f) { return !f.NullGenre && f.Genre == 2; }));
  };
  ASSERT_EQ(c->RecordCount(), matching());
  // A record that fails the filter does not become visible; one that passes does.
  TFilm fails{0, 3, "Outside", 2001, "G"};
  Insert(*c, fails);
  model.push_back(fails);
  EXPECT_EQ(c->RecordCount(), matching());
  TFilm passes{0, 2, "Inside", 2001, "G"};
  Insert(*c, passes);
  model.push_back(passes);
  EXPECT_EQ(c->RecordCount(), matching());
  // A deleted record disappears from the count at once.
  ASSERT_EQ(c->First(), 0);
  c->DeleteRecord();
  EXPECT_EQ(c->RecordCount(), matching() - 1);
  EXPECT_EQ(c->Verify(), "");
}

TEST_F(CursorTest, FilterErrorsAndLimits) {
  CreateFilms();
  auto c = OpenFilms();
  FillFilms(*c, 20, 6);
  struct TCase {
    const char* text;
    int code;
    const char* detail;  // expected in the detail; "" for any
  };
  const TCase cases[] = {
      {"YEAR + 1", QUARRY_INVALIDFILTER, "filter expression must be a boolean expression"},
      {"YEAR = ", QUARRY_INVALIDFILTER, "filter expression"},
      {"NOSUCHFIELD = 1", QUARRY_INVALIDFILTER, ""},
      {"YEAR = ?", QUARRY_INVALIDFILTER, "Parameters are not allowed in filter expression"},
      {"YEAR = 1 YEAR", QUARRY_INVALIDFILTER, "filter expression"},
  };
  for (const TCase& t : cases) {
    SCOPED_TRACE(t.text);
    try {
      c->AddFilter(t.text);
      ADD_FAILURE() << "accepted";
    } catch (const EQuarryEngineError& e) {
      EXPECT_EQ(e.Code(), t.code);
      EXPECT_NE(e.Detail().find(t.detail), std::string::npos) << e.Detail();
    }
  }
  EXPECT_EQ(c->FilterCount(), 0);
  EXPECT_EQ(CodeOf([&] { c->AddFilter(TFilterCallback{}, nullptr); }), QUARRY_INVALIDFILTER);

  for (int i = 0; i < MaxCursorFilters; ++i) c->AddFilter("YEAR > 0");
  EXPECT_EQ(CodeOf([&] { c->AddFilter("YEAR > 0"); }), QUARRY_INTERNALLIMIT);
  c->RemoveFilter();
  EXPECT_EQ(c->FilterCount(), 0);

  auto other = OpenFilms();
  TFilter* foreign = other->AddFilter("YEAR > 0");
  EXPECT_EQ(CodeOf([&] { c->RemoveFilter(foreign); }), QUARRY_NOSUCHFILTER);
  EXPECT_EQ(CodeOf([&] { c->ActivateFilter(foreign); }), QUARRY_NOSUCHFILTER);

  // Expression filters go before those flagged to go last; callbacks are appended.
  TFilter* last = c->AddFilter("YEAR > 0", {.Last = true});
  TFilter* callback = c->AddFilter([](TDataCursor&, const std::uint8_t*) { return true; }, nullptr);
  TFilter* expression = c->AddFilter("GENRE >= 0");
  EXPECT_EQ(c->FilterAt(0), expression);
  EXPECT_EQ(c->FilterAt(1), last);
  EXPECT_EQ(c->FilterAt(2), callback);
}

TEST_F(CursorTest, FiltersCanBeSwitchedAndReplaced) {
  CreateFilms();
  auto c = OpenFilms();
  const std::vector<TFilm> model = FillFilms(*c, 400, 8);
  const auto count = [&](const std::function<bool(const TFilm&)>& keep) {
    return static_cast<std::int32_t>(std::count_if(model.begin(), model.end(), keep));
  };
  TFilter* old = c->AddFilter("YEAR < 1960");
  TFilter* byCallback = c->AddFilter(
      [](TDataCursor& cursor, const std::uint8_t* record) {
        return GetFieldString(record, cursor.GetFieldDefinition("RATING")) == "G";
      },
      nullptr);
  EXPECT_EQ(c->RecordCount(), count([](const TFilm& f) { return f.Year < 1960 && f.Rating == "G"; }));
  c->DeactivateFilter(byCallback);
  EXPECT_EQ(c->RecordCount(), count([](const TFilm& f) { return f.Year < 1960; }));
  TExpressionParser parser;
  parser.ErrorCode = QUARRY_INVALIDFILTER;
  parser.SetText("YEAR >= 2000");
  parser.NextToken();
  c->SetFilterExpression(old, parser.ParseExpression(pf::Predicates));
  EXPECT_EQ(c->RecordCount(), count([](const TFilm& f) { return f.Year >= 2000; }));
  EXPECT_EQ(CodeOf([&] { c->SetFilterExpression(byCallback, nullptr); }), QUARRY_NOSUCHFILTER);
  c->DeactivateFilter();
  EXPECT_FALSE(c->FiltersActive());
  EXPECT_EQ(c->RecordCount(), static_cast<std::int32_t>(model.size()));
  c->ActivateFilter();
  EXPECT_EQ(c->RecordCount(), count([](const TFilm& f) { return f.Year >= 2000 && f.Rating == "G"; }));
}

TEST_F(CursorTest, TheTextIndexIsKeptAndSearched) {
  TCreateTableDefinition d = FilmTable();
  d.Text = MakeIndex("", {3});
  auto creator = NewCursor();
  creator->CreateTable(d);
  auto c = OpenFilms();
  std::vector<TFilm> films = {{0, 1, "Citizen Kane", 1941, "PG"},
                              {0, 1, "The Big Sleep", 1946, "PG"},
                              {0, 1, "Sleepless in Seattle", 1993, "PG"},
                              {0, 1, "Kane and Abel", 1985, "PG"}};
  for (TFilm& f : films) Insert(*c, f);
  EXPECT_EQ(c->Verify(), "");
  const auto search = [&](const char* text) {
    TRecordsBitmap candidates(static_cast<std::int32_t>(c->Table().Data().PhysicalRecordCount()));
    candidates.SetAll();
    c->TextIndexSearch(candidates, 3, text);
    std::vector<std::int32_t> found;
    for (std::int32_t n = candidates.First(); n != 0; n = candidates.FindNext(n)) found.push_back(n);
    return found;
  };
  EXPECT_EQ(search("kane"), (std::vector<std::int32_t>{1, 4}));
  EXPECT_EQ(search("sleep*"), (std::vector<std::int32_t>{2, 3}));
  EXPECT_EQ(search("sleep"), (std::vector<std::int32_t>{2}));
  EXPECT_EQ(search("kane abel"), (std::vector<std::int32_t>{4}));
  EXPECT_EQ(search("the and"), std::vector<std::int32_t>{});  // only stop words: nothing
  // Changes keep the words current.
  c->SetIndex("");
  ASSERT_EQ(c->First(), 0);
  std::vector<std::uint8_t> b(static_cast<std::size_t>(c->RecordBufferSize()));
  ASSERT_EQ(c->GetCurrentRecord(b.data()), 0);
  const std::string title = std::string("Citizen Abel") + '\0';
  c->PutField(3, b.data(), reinterpret_cast<const std::uint8_t*>(title.c_str()));
  c->UpdateRecord(b.data());
  EXPECT_EQ(search("kane"), (std::vector<std::int32_t>{4}));
  EXPECT_EQ(search("abel"), (std::vector<std::int32_t>{1, 4}));
  ASSERT_EQ(c->Last(), 0);
  c->DeleteRecord();
  EXPECT_EQ(search("abel"), (std::vector<std::int32_t>{1}));
  EXPECT_EQ(c->Verify(), "");
  // A filter can use TEXTSEARCH through the cursor.
  c->AddFilter("TEXTSEARCH('sleep*' IN TITLE)");
  EXPECT_EQ(c->RecordCount(), 2);
}

TEST_F(CursorTest, FieldViewShowsTableFieldsUnderOtherNamesUntilReopened) {
  CreateFilms();
  auto c = OpenFilms();
  FillFilms(*c, 6, 21);
  // TITLE shown as NAME, then YEAR; the table's own fields stay behind the view.
  TFieldDefinition name = c->Fields()[2];
  name.Name = "NAME";
  c->ReplaceFieldDefinitions({name, c->Fields()[3]});
  EXPECT_EQ(c->FieldCount(), 2);
  EXPECT_EQ(c->GetFieldDefinition("name").FieldNo, 1);
  EXPECT_EQ(c->TableFieldNo(1), 3);
  EXPECT_EQ(c->TableFieldNo(2), 4);
  EXPECT_EQ(c->TableFields().size(), 5u);
  EXPECT_EQ(c->RecordBufferSize(), c->RecordSize());
  // Filters name the view's fields and the table's.
  c->AddFilter("NAME = 'x' OR GENRE >= 0");
  EXPECT_GT(c->RecordCount(), 0);
  c->RemoveFilter();

  // A view field must be a table field (same place, type and size) unless it is computed.
  TFieldDefinition stray = name;
  stray.Offset = static_cast<std::uint16_t>(stray.Offset + 1);
  EXPECT_EQ(CodeOf([&] { c->ReplaceFieldDefinitions({stray}); }), QUARRY_INVALIDFLDTYPE);
  EXPECT_EQ(c->FieldCount(), 2) << "a refused view leaves the one in place";

  c->Close();
  c->Open();
  EXPECT_EQ(c->FieldCount(), 5);
  EXPECT_EQ(c->Fields()[2].Name, "TITLE");
}

// Random inserts, updates and deletes through one cursor while a second cursor of the same
// session keeps a range and a filter: after every change the second cursor's count and walk
// match the model (its bitmaps rebuilt from the change counters), and the first cursor's
// own filtered count is kept current without a rebuild.
TEST_F(CursorTest, FieldNamesWithLettersBeyondAsciiMatchIgnoringCaseAsFiltersDo) {
  CreateFilms();
  auto c = OpenFilms();
  FillFilms(*c, 6, 21);
  // "ÄRGER" and "ärger" differ in the bytes of the umlaut, not only in ASCII case.
  TFieldDefinition title = c->Fields()[2];
  title.Name = "\xC3\x84RGER";
  c->ReplaceFieldDefinitions({title});
  const std::int32_t all = c->RecordCount();
  EXPECT_EQ(c->GetFieldDefinition("\xC3\xA4rger").FieldNo, 1);
  // The filter's column resolution finds the same field by the same name.
  c->AddFilter("\xC3\xA4rger >= '' OR \xC3\xA4rger IS NULL");
  EXPECT_EQ(c->RecordCount(), all);
  EXPECT_EQ(CodeOf([&] { c->GetFieldDefinition("\xC3\xA4rgers"); }), QUARRY_OUTOFRANGE);
}

TEST_F(CursorTest, RandomChangesKeepEveryCursorsViewCurrent) {
  CreateFilms();
  auto writer = OpenFilms();
  auto watcher = OpenFilms();
  std::vector<TFilm> model = FillFilms(*writer, 200, 21);
  writer->SetIndex("BYYEAR");
  writer->AddFilter("GENRE < 6");
  watcher->SetIndex("BYGENRE");
  TFilm low;
  low.Genre = 2;
  TFilm high;
  high.Genre = 8;
  watcher->SetRange(FilmBuffer(*watcher, low).data(), 1, FilmBuffer(*watcher, high).data(), 1);
  watcher->AddFilter("YEAR >= 1970");
  const auto writerKeeps = [](const TFilm& f) { return !f.NullGenre && f.Genre < 6; };
  const auto watcherKeeps = [](const TFilm& f) {
    return !f.NullGenre && f.Genre >= 2 && f.Genre <= 8 && f.Year >= 1970;
  };
  std::mt19937 random(99);
  std::vector<std::uint8_t> b(static_cast<std::size_t>(writer->RecordBufferSize()));
  for (int step = 0; step < 300; ++step) {
    const int action = static_cast<int>(random() % 3);
    if (action == 0 || model.size() < 5) {
      TFilm f{0, static_cast<std::int32_t>(random() % 12), "R" + std::to_string(random() % 1000),
              static_cast<std::int16_t>(1950 + random() % 60), "G"};
      Insert(*writer, f);
      model.push_back(f);
    } else {
      // Work on a random record the writer shows (it only shows genres below 6).
      const std::int32_t shown = writer->RecordCount();
      if (shown == 0) continue;
      ASSERT_TRUE(writer->SetRecNo(1 + static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(shown))));
      ASSERT_EQ(writer->GetCurrentRecord(b.data()), 0);
      const std::int32_t id = RecordIdentifier(b.data());
      auto it = std::find_if(model.begin(), model.end(), [&](const TFilm& f) { return f.Id == id; });
      ASSERT_NE(it, model.end());
      if (action == 1) {
        it->Genre = static_cast<std::int32_t>(random() % 12);
        it->NullGenre = false;
        it->Year = static_cast<std::int16_t>(1950 + random() % 60);
        writer->PutField(2, b.data(), reinterpret_cast<const std::uint8_t*>(&it->Genre));
        writer->PutField(4, b.data(), reinterpret_cast<const std::uint8_t*>(&it->Year));
        writer->UpdateRecord(b.data(), true, random() % 2 == 0);
      } else {
        writer->DeleteRecord();
        model.erase(it);
      }
    }
    ASSERT_EQ(writer->RecordCount(), static_cast<std::int32_t>(std::count_if(model.begin(), model.end(), writerKeeps)))
        << "step " << step;
    ASSERT_EQ(watcher->RecordCount(),
              static_cast<std::int32_t>(std::count_if(model.begin(), model.end(), watcherKeeps)))
        << "step " << step;
    if (step % 50 == 0) {
      std::vector<TFilm> sorted;
      std::copy_if(model.begin(), model.end(), std::back_inserter(sorted), watcherKeeps);
      std::stable_sort(sorted.begin(), sorted.end(),
                       [](const TFilm& x, const TFilm& y) { return FilmBefore(TFilmOrder::ByGenre, x, y); });
      EXPECT_EQ(WalkForward(*watcher), Ids(sorted)) << "step " << step;
    }
  }
  EXPECT_EQ(writer->Verify(), "");
  EXPECT_EQ(watcher->Verify(), "");
}

}  // namespace
}  // namespace quarry
