// Tests of cursor filters answered from indexes (filter_analysis.h, filter_bitmap.h,
// filter_text.h): the level each shape of filter gets and what it reads (keys and records
// counted by the cursor), the upkeep of the bitmaps through the cursor's own changes, a range
// with a filter, a model test of random filters (TEXTSEARCH among them) over the film table's
// indexes of every kind against a record-by-record evaluation, through random changes of this
// and another session, and the shapes of TEXTSEARCH over the full-text index.
#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "engine/sql/sql_filter_engine.h"
#include "engine/storage/cursor/cursor_test_util.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/session.h"

namespace quarry {
namespace {

using testing::Field;
using testing::FilmBuffer;
using testing::FilmTable;
using testing::MakeIndex;
using testing::TFilm;

// CAST: ID autoinc (primary), CASTMEMBERID INTEGER (index), A INTEGER (index), B CHAR(10)
// (none), C INTEGER (none), NAME CHAR(20) (case-insensitive index).
TCreateTableDefinition CastTable() {
  TCreateTableDefinition d;
  TFieldDefinition id = Field(1, "ID", TFieldType::Integer);
  id.SubType = subtype::AutoInc;
  d.Fields = {id,
              Field(2, "CASTMEMBERID", TFieldType::Integer),
              Field(3, "A", TFieldType::Integer),
              Field(4, "B", TFieldType::String, 10),
              Field(5, "C", TFieldType::Integer),
              Field(6, "NAME", TFieldType::String, 20)};
  d.Primary = MakeIndex("", {1}, true);
  d.Secondaries = {MakeIndex("BYCAST", {2}), MakeIndex("BYA", {3}), MakeIndex("BYNAME", {6}, false, true)};
  return d;
}

struct TCastRow {
  std::int32_t Id = 0;
  std::int32_t CastMemberId = 0;
  std::int32_t A = 0;
  bool NullA = false;
  std::string B;
  std::int32_t C = 0;
  std::string Name;
};

class FilterOptimisationTest : public testing::TCursorFixture {
 protected:
  FilterOptimisationTest() { UseSqlFilterEngine(); }

  std::vector<std::uint8_t> CastBuffer(TDataCursor& c, const TCastRow& row) {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(c.RecordBufferSize()), 0);
    c.InitRecord(b.data());
    const auto put = [&](int field, const void* value) {
      c.PutField(field, b.data(), static_cast<const std::uint8_t*>(value));
    };
    put(2, &row.CastMemberId);
    if (!row.NullA) put(3, &row.A);
    put(4, row.B.c_str());
    put(5, &row.C);
    put(6, row.Name.c_str());
    return b;
  }

  // 400 rows: CASTMEMBERID 0..39 (ten of each), A 0..9 with every 13th NULL, B with an x in
  // every fifth, C 0..3, NAME in mixed case.
  std::unique_ptr<TDataCursor> MakeCast() {
    NewCursor("CAST")->CreateTable(CastTable());
    auto c = NewCursor("CAST");
    c->Open();
    const char* const names[] = {"Smith", "SMITH", "smith", "Jones", "Brown"};
    for (int i = 0; i < 400; ++i) {
      TCastRow row;
      row.CastMemberId = i % 40;
      row.A = i % 10;
      row.NullA = i % 13 == 0;
      row.B = i % 5 == 0 ? "axb" : "ab";
      row.C = i % 4;
      row.Name = names[i % 5];
      std::vector<std::uint8_t> b = CastBuffer(*c, row);
      c->InsertRecord(b.data(), false);
      row.Id = RecordIdentifier(b.data());
      rows_.push_back(row);
    }
    return c;
  }

  std::int32_t CountRows(const std::function<bool(const TCastRow&)>& keep) const {
    return static_cast<std::int32_t>(std::count_if(rows_.begin(), rows_.end(), keep));
  }

  std::vector<TCastRow> rows_;
};

TEST_F(FilterOptimisationTest, EachShapeGetsItsLevelAndReadsOnlyWhatItNeeds) {
  auto c = MakeCast();
  c->SetIndexSlot(NaturalOrderSlot);
  struct TCase {
    const char* filter;
    int level;
    std::function<bool(const TCastRow&)> keep;
    // Records the build reads (-1: not checked) and keys, at most.
    std::int64_t recordsRead;
    std::int64_t maxKeysRead;
  };
  const auto aIsOne = [](const TCastRow& r) { return !r.NullA && r.A == 1; };
  const std::int64_t aOnes = CountRows(aIsOne);
  const TCase cases[] = {
      // The keys equal to 12 and no record.
      {"CASTMEMBERID = 12", 2, [](const TCastRow& r) { return r.CastMemberId == 12; }, 0, 10},
      // The LIKE is tested on the A = 1 records only.
      {"A = 1 AND B LIKE '%x%'", 1, [&](const TCastRow& r) { return aIsOne(r) && r.B == "axb"; }, aOnes, aOnes},
      {"B LIKE '%x%' AND A = 1", 1, [&](const TCastRow& r) { return aIsOne(r) && r.B == "axb"; }, aOnes, aOnes},
      // C has no index: the OR is evaluated on every record.
      {"A = 1 OR C = 2", 0, [&](const TCastRow& r) { return aIsOne(r) || r.C == 2; }, 400, 0},
      // NAME compares case-sensitively; its index ignores case.
      {"NAME = 'Smith'", 0, [](const TCastRow& r) { return r.Name == "Smith"; }, 400, 0},
      {"UPPER(NAME) = 'SMITH'", 2, [](const TCastRow& r) { return r.Name != "Jones" && r.Name != "Brown"; }, 0, 240},
      // Every non-NULL A: more than nine in ten, so read from the records, unless an AND
      // brings the index back.
      {"A <> NULL", 0, [](const TCastRow& r) { return !r.NullA; }, 400, 0},
      {"A <> NULL AND CASTMEMBERID < 5", 2, [](const TCastRow& r) { return !r.NullA && r.CastMemberId < 5; }, 0, 400},
      {"A = NULL", 2, [](const TCastRow& r) { return r.NullA; }, 0, 31},
      {"A <> 3", 0, [](const TCastRow& r) { return r.NullA || r.A != 3; }, 400, 0},
      {"A IN (2, 4, NULL)", 2, [](const TCastRow& r) { return r.NullA || r.A == 2 || r.A == 4; }, 0, 400},
      {"A NOT IN (2, 4)", 2, [](const TCastRow& r) { return r.NullA || (r.A != 2 && r.A != 4); }, 0, 400},
      {"A BETWEEN 3 AND 5", 2, [](const TCastRow& r) { return !r.NullA && r.A >= 3 && r.A <= 5; }, 0, 400},
      {"NOT (A BETWEEN 3 AND 5)", 2, [](const TCastRow& r) { return r.NullA || r.A < 3 || r.A > 5; }, 0, 400},
      {"A < 2 OR A > 8", 2, [](const TCastRow& r) { return !r.NullA && (r.A < 2 || r.A > 8); }, 0, 400},
      {"A >= 2 AND A <= 3 AND CASTMEMBERID < 20", 2,
       [](const TCastRow& r) { return !r.NullA && r.A >= 2 && r.A <= 3 && r.CastMemberId < 20; }, 0, 500},
      // Nine in ten or more: reading the records is cheaper than the index.
      {"A >= 0", 0, [](const TCastRow& r) { return !r.NullA; }, 400, 0},
      // ... unless the other side of an AND is answered from an index.
      {"A >= 0 AND CASTMEMBERID = 7", 2, [](const TCastRow& r) { return !r.NullA && r.CastMemberId == 7; }, -1, 400},
      // Over half the table: the keys outside the range are read.
      {"A > 1", 2, [](const TCastRow& r) { return !r.NullA && r.A > 1; }, 0, 150},
  };
  for (const TCase& t : cases) {
    SCOPED_TRACE(t.filter);
    c->ResetFilterStatistics();
    TFilter* filter = c->AddFilter(t.filter);
    EXPECT_EQ(filter->OptimizeLevel(), t.level);
    EXPECT_EQ(c->RecordCount(), CountRows(t.keep));
    const TFilterStatistics read = c->FilterStatistics();
    if (t.recordsRead >= 0) {
      EXPECT_EQ(read.RecordsRead, t.recordsRead);
    }
    EXPECT_LE(read.KeysRead, t.maxKeysRead);
    std::set<std::int32_t> expected, shown;
    for (const TCastRow& r : rows_)
      if (t.keep(r)) expected.insert(r.Id);
    for (std::int32_t id : WalkForward(*c)) shown.insert(id);
    EXPECT_EQ(shown, expected);
    c->RemoveFilter(filter);
  }
}

TEST_F(FilterOptimisationTest, ChangesThroughTheCursorKeepTheBitmapsCurrent) {
  auto c = MakeCast();
  c->SetIndexSlot(NaturalOrderSlot);
  c->AddFilter("CASTMEMBERID = 12");
  const std::int32_t before = c->RecordCount();
  // A record that fails the filter stays invisible; one that passes shows at once.
  TCastRow fails;
  fails.CastMemberId = 13;
  std::vector<std::uint8_t> b = CastBuffer(*c, fails);
  c->InsertRecord(b.data());
  EXPECT_EQ(c->RecordCount(), before);
  TCastRow passes;
  passes.CastMemberId = 12;
  b = CastBuffer(*c, passes);
  c->InsertRecord(b.data());
  EXPECT_EQ(c->RecordCount(), before + 1);
  // A deleted record leaves the count at once.
  ASSERT_EQ(c->First(), 0);
  c->DeleteRecord();
  EXPECT_EQ(c->RecordCount(), before);
  EXPECT_EQ(static_cast<std::int32_t>(WalkForward(*c).size()), before);
}

TEST_F(FilterOptimisationTest, ARangeAndAFilterShowTheirAnd) {
  auto c = MakeCast();
  c->SetIndex("BYCAST");
  TCastRow low, high;
  low.CastMemberId = 10;
  high.CastMemberId = 19;
  c->SetRange(CastBuffer(*c, low).data(), 1, CastBuffer(*c, high).data(), 1);
  c->AddFilter("A = 1 OR A = 2");
  const auto keep = [](const TCastRow& r) {
    return r.CastMemberId >= 10 && r.CastMemberId <= 19 && !r.NullA && (r.A == 1 || r.A == 2);
  };
  EXPECT_EQ(c->RecordCount(), CountRows(keep));
  EXPECT_EQ(c->VisibleRecords().CountSet(), CountRows(keep));
  EXPECT_EQ(static_cast<std::int32_t>(WalkForward(*c).size()), CountRows(keep));
  // The filter built over the whole table stays while the range moves.
  c->PrepareFilters();
  low.CastMemberId = 30;
  high.CastMemberId = 39;
  c->ResetFilterStatistics();
  c->SetRange(CastBuffer(*c, low).data(), 1, CastBuffer(*c, high).data(), 1);
  const auto moved = [](const TCastRow& r) { return r.CastMemberId >= 30 && !r.NullA && (r.A == 1 || r.A == 2); };
  EXPECT_EQ(static_cast<std::int32_t>(WalkForward(*c).size()), CountRows(moved));
  EXPECT_EQ(c->RecordCount(), CountRows(moved));
  EXPECT_EQ(c->FilterStatistics().RecordsRead, 0);
}

TEST_F(FilterOptimisationTest, WalkingAFilteredCursorReadsOnlyTheRecordsItShows) {
  MakeCast().reset();
  // Records 13, 53, 93, ... hold cast member 12: in record order and in primary-key order
  // each is followed by 39 records the filter hides, more than read-ahead reads through.
  for (const int slot : {NaturalOrderSlot, PrimarySlot}) {
    SCOPED_TRACE(slot);
    auto c = NewCursor("CAST");
    c->Open();
    // A table taken up again keeps the records read before: start from an empty cache.
    c->Table().Data().DiscardRecords();
    c->SetIndexSlot(slot);
    c->AddFilter("CASTMEMBERID = 12");
    EXPECT_EQ(WalkForward(*c).size(), 10u);
    EXPECT_LE(c->Table().Data().Cache().Count(), 11);  // and the first record, read by SetIndexSlot
  }
}

// ---- the model test ----

// FILMS with a case-sensitive index on RATING beside the film table's compound, case-
// insensitive and descending indexes and its primary key, and TITLE's words in the full-text
// index.
TCreateTableDefinition ModelTable() {
  TCreateTableDefinition d = FilmTable();
  d.Secondaries.push_back(MakeIndex("BYRATING", {5}));
  d.Text = MakeIndex("", {3});
  return d;
}

class TFilterMaker {
 public:
  explicit TFilterMaker(std::uint32_t seed) : random_(seed) {}

  std::string Make(int depth = 0) {
    const int pick = static_cast<int>(random_() % 10);
    if (depth < 3 && pick < 2) return "(" + Make(depth + 1) + (pick == 0 ? " AND " : " OR ") + Make(depth + 1) + ")";
    if (depth < 3 && pick == 2) return "NOT (" + Make(depth + 1) + ")";
    return Leaf();
  }
  // A TEXTSEARCH, alone or beside another part.
  std::string MakeText() {
    const std::string text = TextLeaf();
    switch (Below(4)) {
    case 0: return text;
    case 1: return "NOT " + text;
    case 2: return "(" + text + " AND " + Make(2) + ")";
    default: return "(" + Make(2) + " OR " + text + ")";
    }
  }

 private:
  int Below(int n) { return static_cast<int>(random_() % static_cast<std::uint32_t>(n)); }
  std::string Op() {
    static const char* const ops[] = {"=", "<>", "<", ">", "<=", ">="};
    return ops[Below(6)];
  }
  std::string Title() {
    static const char* const titles[] = {"'AB'", "'ab'", "'Ac'", "'BAD'", "'F'", "'A'"};
    return titles[Below(6)];
  }
  // Letters of the titles' alphabet, in either case.
  std::string Letters(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += static_cast<char>((Below(2) ? 'a' : 'A') + Below(6));
    return text;
  }
  // Words of a search text: exact words, prefixes, and the stop word BE, which the
  // prefixes "b*" and "be*" reach and the full-text index leaves out.
  std::string SearchText() {
    static const char* const separators[] = {" ", ",", " - ", "  "};
    std::string text;
    for (int i = 1 + Below(2); i > 0; --i) {
      if (!text.empty()) text += separators[Below(4)];
      switch (Below(6)) {
      case 0: text += Below(2) ? "be" : "Be*"; break;
      case 1: text += Letters(1) + "*"; break;
      case 2: text += Letters(2) + "*"; break;
      default: text += Letters(2 + Below(2));
      }
    }
    return text;
  }
  std::string TextLeaf() { return "TEXTSEARCH('" + SearchText() + "' IN TITLE)"; }
  std::string Leaf() {
    switch (Below(14)) {
    case 0: return "GENRE " + Op() + " " + std::to_string(Below(13));
    case 1: return "GENRE " + std::string(Below(2) ? "=" : "<>") + " NULL";
    case 2: return "GENRE BETWEEN " + std::to_string(Below(12)) + " AND " + std::to_string(Below(12));
    case 3:
      return "GENRE " + std::string(Below(2) ? "NOT " : "") + "IN (" + std::to_string(Below(12)) + ", " +
             std::to_string(Below(12)) + (Below(3) == 0 ? ", NULL)" : ")");
    case 4: return "YEAR " + Op() + " " + std::to_string(1950 + Below(62));
    case 5:
      return "YEAR " + std::string(Below(2) ? "NOT " : "") + "BETWEEN " + std::to_string(1950 + Below(60)) + " AND " +
             std::to_string(1950 + Below(60));
    case 6: return "UPPER(TITLE) " + Op() + " " + Title();
    case 7: return "TITLE " + Op() + " " + Title();
    case 8: return "TITLE LIKE '" + std::string(Below(2) ? "A" : "Ab") + "%'";
    case 9: return "RATING " + Op() + " '" + testing::kRatings[Below(5)] + "'";
    case 10: return "RATING LIKE 'P%'";
    case 11: return "ID " + Op() + " " + std::to_string(Below(300));
    case 12: return TextLeaf();
    default: return "TITLE LIKE '%" + std::string(Below(2) ? "B" : "a") + "%'";
    }
  }

  std::mt19937 random_;
};

// The records a filter lets through, each record evaluated by the expression engine (a
// filter that is never installed, so never analysed).
std::set<std::int32_t> BruteForce(TDataCursor& c, const std::string& text, const TFilterOptions& options) {
  const TFilterExpressionEngine& engine = *InstalledFilterExpressionEngine();
  auto all = std::make_unique<TDataCursor>(c.Directory());
  all->SetTableName(c.TableName());
  all->Open();
  TExpTree tree = engine.Parse(text, *all);
  TFilterColumns columns{all->TableFields(), all->TableName()};
  engine.Check(tree, columns, *all);
  TFilter filter(*all, std::move(tree), options);
  all->SetIndexSlot(NaturalOrderSlot);
  all->Home();
  std::set<std::int32_t> ids;
  std::vector<std::uint8_t> b(static_cast<std::size_t>(all->RecordBufferSize()));
  while (all->Next(b.data()) == 0)
    if (filter.Accepts(b.data())) ids.insert(RecordIdentifier(b.data()));
  return ids;
}

std::set<std::int32_t> Shown(TDataCursor& c) {
  std::set<std::int32_t> ids;
  std::vector<std::uint8_t> b(static_cast<std::size_t>(c.RecordBufferSize()));
  c.Home();
  while (c.Next(b.data()) == 0) ids.insert(RecordIdentifier(b.data()));
  return ids;
}

TEST_F(FilterOptimisationTest, RandomFiltersShowWhatRecordByRecordEvaluationSelects) {
  NewCursor()->CreateTable(ModelTable());
  auto c = OpenFilms();
  std::vector<TFilm> model = FillFilms(*c, 300, 7);
  TDataSession other(&list_);
  other.Settings().LockRetryCount = 1;
  other.Settings().LockWaitTime = 1;
  TDataDirectory& otherDirectory = other.OpenDirectory("Films", "/db");
  auto otherCursor = std::make_unique<TDataCursor>(otherDirectory);
  otherCursor->SetTableName("FILMS");
  otherCursor->Open();

  const bool soak = std::getenv("PELLOMAR_SOAK") != nullptr;
  const int rounds = soak ? 900 : 90;
  TFilterMaker maker(11);
  std::mt19937 random(5);
  const char* const orders[] = {"", "BYGENRE", "BYTITLE", "BYYEAR", "BYRATING"};
  for (int round = 0; round < rounds; ++round) {
    const std::string text = round % 2 == 0 ? maker.Make() : maker.MakeText();
    TFilterOptions options;
    options.CaseInsensitive = random() % 4 == 0;
    options.PartialCompare = random() % 4 == 0;
    SCOPED_TRACE("round " + std::to_string(round) + ": " + text + (options.CaseInsensitive ? " (ci)" : ""));
    if (random() % 3 == 0) c->SetIndexSlot(NaturalOrderSlot);
    else c->SetIndex(orders[random() % 5]);
    TFilter* filter = c->AddFilter(text, options);
    std::set<std::int32_t> expected = BruteForce(*c, text, options);
    ASSERT_EQ(Shown(*c), expected);
    ASSERT_EQ(c->RecordCount(), static_cast<std::int32_t>(expected.size()));

    // Changes through the filtered cursor, then one by another session.
    std::vector<std::uint8_t> b(static_cast<std::size_t>(c->RecordBufferSize()));
    for (int change = 0; change < 4; ++change) {
      const int action = static_cast<int>(random() % 3);
      TFilm f{0, static_cast<std::int32_t>(random() % 12), std::string(1, static_cast<char>('A' + random() % 6)) + "b",
              static_cast<std::int16_t>(1950 + random() % 60), testing::kRatings[random() % 5]};
      if (random() % 2 == 0) f.Title += random() % 2 == 0 ? " be" : " Fa-eCd";
      if (action == 0 || c->RecordCount() == 0) {
        Insert(*c, f);
      } else {
        ASSERT_TRUE(
            c->SetRecNo(1 + static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(c->RecordCount()))));
        ASSERT_EQ(c->GetCurrentRecord(b.data()), 0);
        if (action == 1) {
          c->PutField(2, b.data(), reinterpret_cast<const std::uint8_t*>(&f.Genre));
          c->PutField(3, b.data(), reinterpret_cast<const std::uint8_t*>(f.Title.c_str()));
          c->PutField(4, b.data(), reinterpret_cast<const std::uint8_t*>(&f.Year));
          c->UpdateRecord(b.data(), true, random() % 2 == 0);
        } else {
          c->DeleteRecord();
        }
      }
      expected = BruteForce(*c, text, options);
      ASSERT_EQ(c->RecordCount(), static_cast<std::int32_t>(expected.size())) << "change " << change;
    }
    ASSERT_EQ(Shown(*c), expected);
    TFilm outside{0, static_cast<std::int32_t>(random() % 12), "AB", static_cast<std::int16_t>(1990), "PG"};
    Insert(*otherCursor, outside);
    expected = BruteForce(*c, text, options);
    ASSERT_EQ(Shown(*c), expected);
    ASSERT_EQ(c->RecordCount(), static_cast<std::int32_t>(expected.size()));
    c->RemoveFilter(filter);
  }
  EXPECT_EQ(c->Verify(), "");
}

// ---- TEXTSEARCH from the full-text index ----

// BOOKS: ID autoinc (primary), YEAR INTEGER (index), TITLE CHAR(80) and NOTE CHAR(30) (both in
// the full-text index), PLOT CHAR(30) (not in it). 400 rows: ten titles forty times each,
// years 1900..1939 ten times each, NOTE "common" but in every twentieth row "rare".
class TextSearchFilterTest : public testing::TCursorFixture {
 protected:
  TextSearchFilterTest() { UseSqlFilterEngine(); }

  static const std::string& LongWord() {
    static const std::string word(60, 'q');
    return word;
  }

  std::unique_ptr<TDataCursor> MakeBooks() {
    TCreateTableDefinition d;
    TFieldDefinition id = Field(1, "ID", TFieldType::Integer);
    id.SubType = subtype::AutoInc;
    d.Fields = {id, Field(2, "YEAR", TFieldType::Integer), Field(3, "TITLE", TFieldType::String, 80),
                Field(4, "NOTE", TFieldType::String, 30), Field(5, "PLOT", TFieldType::String, 30)};
    d.Primary = MakeIndex("", {1}, true);
    d.Secondaries = {MakeIndex("BYYEAR", {2})};
    d.Text = MakeIndex("", {3, 4});
    NewCursor("BOOKS")->CreateTable(d);
    auto c = NewCursor("BOOKS");
    c->Open();
    const std::string titles[] = {"Citizen Kane",       "The Big Sleep", "Sleepless in Seattle", "Kane and Abel",
                                  "Kane's Return",      "Die Straße",    "Ärger im Revier",      "Big Fish, big-fish",
                                  LongWord() + " Tale", "The Thin Man"};
    for (int i = 0; i < 400; ++i) {
      std::vector<std::uint8_t> b(static_cast<std::size_t>(c->RecordBufferSize()), 0);
      c->InitRecord(b.data());
      const std::int32_t year = 1900 + i % 40;
      c->PutField(2, b.data(), reinterpret_cast<const std::uint8_t*>(&year));
      const std::string texts[] = {titles[i % 10], i % 20 == 0 ? "rare" : "common", "Kane"};
      for (int f = 0; f < 3; ++f) c->PutField(3 + f, b.data(), reinterpret_cast<const std::uint8_t*>(texts[f].c_str()));
      c->InsertRecord(b.data(), false);
    }
    c->SetIndexSlot(NaturalOrderSlot);
    return c;
  }
};

TEST_F(TextSearchFilterTest, EachShapeGetsItsLevelReadsWhatItNeedsAndSelectsWhatEachRecordWould) {
  auto c = MakeBooks();
  struct TCase {
    std::string filter;
    int level;
    std::int32_t count;
    std::int64_t recordsRead;
    std::int64_t keysRead;  // at most, for shapes that also walk BYYEAR
  };
  const TCase cases[] = {
      // Each word is looked up; the records are never read.
      {"TEXTSEARCH('kane' IN TITLE)", 2, 80, 0, 80},
      {"TEXTSEARCH('kAnE,ABEL' IN TITLE)", 2, 40, 0, 120},
      {"TEXTSEARCH('sleep*' IN TITLE)", 2, 80, 0, 80},
      {"TEXTSEARCH('kanes' IN TITLE)", 2, 40, 0, 40},  // the apostrophe is left out of the word
      {"TEXTSEARCH('KANE' IN NOTE)", 2, 0, 0, 0},      // the same index, another column
      // Upper-cased, Straße is STRASSE, which starts with STRAS.
      {"TEXTSEARCH('strasse' IN TITLE)", 2, 40, 0, 40},
      {"TEXTSEARCH('STRAS*' IN TITLE)", 2, 40, 0, 40},
      {"TEXTSEARCH('ärger' IN TITLE)", 2, 40, 0, 40},
      {"TEXTSEARCH('nothing' IN TITLE)", 2, 0, 0, 0},
      {"NOT TEXTSEARCH('kane' IN TITLE)", 2, 320, 0, 80},
      {"TEXTSEARCH('kane' IN TITLE) OR TEXTSEARCH('fish' IN TITLE)", 2, 120, 0, 120},
      // Stop words alone match every record, and nothing is read.
      {"TEXTSEARCH('the AND' IN TITLE)", 2, 400, 0, 0},
      // A prefix of stop words matches column words the index leaves out: the records are
      // tested, all of them or those the other words keep.
      {"TEXTSEARCH('th*' IN TITLE)", 0, 80, 400, 0},
      {"TEXTSEARCH('*' IN TITLE)", 0, 400, 400, 0},
      {"TEXTSEARCH('th* big' IN TITLE)", 1, 40, 80, 80},
      // A word longer than the index keeps whole: its keys find the candidates to test.
      {"TEXTSEARCH('" + LongWord() + "' IN TITLE)", 1, 40, 40, 40},
      // No full-text index on PLOT.
      {"TEXTSEARCH('kane' IN PLOT)", 0, 400, 400, 0},
      // Nineteen records in twenty: reading the records is cheaper than the index, unless an
      // AND brings it back. Answered after the year, it is tested on the ten records the
      // year leaves, which cost less to read than its keys.
      {"TEXTSEARCH('common' IN NOTE)", 0, 380, 400, 0},
      {"TEXTSEARCH('common' IN NOTE) AND YEAR = 1911", 2, 10, 0, 390},
      {"YEAR = 1911 AND TEXTSEARCH('common' IN NOTE)", 2, 10, 10, 10},
      {"TEXTSEARCH('rare' IN NOTE)", 2, 20, 0, 20},
      {"TEXTSEARCH('kane' IN TITLE) AND PLOT LIKE '%a%'", 1, 80, 80, 80},
  };
  for (const TCase& t : cases) {
    SCOPED_TRACE(t.filter);
    c->ResetFilterStatistics();
    TFilter* filter = c->AddFilter(t.filter);
    EXPECT_EQ(filter->OptimizeLevel(), t.level);
    EXPECT_EQ(c->RecordCount(), t.count);
    EXPECT_EQ(c->FilterStatistics().RecordsRead, t.recordsRead);
    EXPECT_LE(c->FilterStatistics().KeysRead, t.keysRead);
    if (t.level == 2 && t.recordsRead == 0) {
      EXPECT_EQ(c->FilterStatistics().KeysRead, t.keysRead);
    }
    EXPECT_EQ(Shown(*c), BruteForce(*c, t.filter, {}));
    c->RemoveFilter(filter);
  }
}

TEST_F(TextSearchFilterTest, ParametersChangedThroughTheCursorAreNotTheIndexedOnes) {
  auto c = MakeBooks();
  // THE was a stop word when the titles were indexed: the index holds no THE.
  TTextParameters p = c->TextParameters();
  std::erase(p.StopWords, std::string("THE"));
  c->SetTextParameters(p);
  TFilter* filter = c->AddFilter("TEXTSEARCH('the' IN TITLE)");
  EXPECT_EQ(filter->OptimizeLevel(), 0);
  EXPECT_EQ(c->RecordCount(), 80);
}

}  // namespace
}  // namespace quarry
