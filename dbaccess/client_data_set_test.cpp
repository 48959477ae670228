// Tests of the in-memory result set: filling from a source, field access, navigation with its
// scroll events, and index sorts (direction, several keys, case, nulls, stability).
#include "dbaccess/client_data_set.h"

#include "dbaccess/dataset_error.h"
#include "dbaccess/vector_row_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace quarry {
namespace {

std::vector<TResultFieldDef> VideoFields() {
  return {{"VIDEOID", TResultFieldKind::Integer, 0},
          {"TITLE", TResultFieldKind::String, 80},
          {"YEAR", TResultFieldKind::String, 10},
          {"INDUSTRYRATING", TResultFieldKind::String, 9},
          {"LENGTH", TResultFieldKind::String, 9}};
}

// Arrival order is VideoID order. Titles are chosen so that byte order and case-folded order
// differ ("alien" sorts after "Zelig" by bytes, before it folded), and two rows share a title
// and year to show stability.
TVectorRowSource SmallSource() {
  TVectorRowSource source(VideoFields());
  source.AddRow({"1", "Zelig", "1983", "PG", "79"});
  source.AddRow({"2", "alien", "1979", "R", "117"});
  source.AddRow({"3", "Brazil", "1985", "R", "132"});
  source.AddRow({"4", "Heat", "1995", "R", "170"});
  source.AddRow({"5", "Heat", "1995", "R", "170"});
  source.AddRow({"6", "Amadeus", "1984", "PG", "160"});
  return source;
}

// VideoIDs in the current order, read by walking First..Eof.
std::vector<int> Walk(TClientDataSet& cds) {
  std::vector<int> ids;
  for (cds.First(); !cds.Eof(); cds.Next()) ids.push_back(cds.Fields(0).AsInteger());
  return ids;
}

class ClientDataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cds.SetSource(&source);
    cds.Open();
  }
  void Sort(const TClientIndexDef& def) {
    cds.AddIndex(def);
    cds.SetIndexName(def.name);
  }
  TVectorRowSource source = SmallSource();
  TClientDataSet cds;
};

TEST_F(ClientDataSetTest, CopiesEveryRowAndField) {
  EXPECT_TRUE(cds.Active());
  EXPECT_EQ(cds.RecordCount(), 6);
  ASSERT_EQ(cds.FieldCount(), 5);
  EXPECT_EQ(cds.Fields(1).FieldName(), "TITLE");
  EXPECT_EQ(cds.Fields(1).Size(), 80);
  EXPECT_EQ(cds.RecNo(), 1);
  EXPECT_EQ(cds.Fields(0).AsInteger(), 1);
  EXPECT_EQ(cds.Fields(0).AsString(), "1");
  EXPECT_EQ(cds.FieldByName(" title ").AsString(), "Zelig");
  EXPECT_EQ(cds.FieldByName("Length").AsInteger(), 79);
  EXPECT_EQ(Walk(cds), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(cds.AsStringAt(5, 1), "Amadeus");
}

TEST_F(ClientDataSetTest, IsACopyIndependentOfTheSource) {
  source.AddRow({"7", "Later", "2000", "G", "90"});
  EXPECT_EQ(cds.RecordCount(), 6);
  cds.Open();  // reopening copies again
  EXPECT_EQ(cds.RecordCount(), 7);
}

TEST_F(ClientDataSetTest, FieldErrors) {
  EXPECT_THROW(cds.FieldByName("Director"), EDataSetError);
  try {
    cds.FieldByName("Director");
  } catch (const EDataSetError& e) {
    EXPECT_STREQ(e.what(), "Field 'Director' not found");
  }
  EXPECT_EQ(cds.FindField("Director"), -1);
  EXPECT_THROW(cds.Fields(5), EDataSetError);
  EXPECT_THROW(cds.Fields(-1), EDataSetError);
  EXPECT_THROW(cds.AsStringAt(6, 0), EDataSetError);
  // A text that is not a number read as an integer.
  EXPECT_THROW(cds.Fields(1).AsInteger(), EDataSetError);
}

TEST(ClientDataSet, NullsReadAsEmptyAndZeroAndSortFirst) {
  TVectorRowSource source(VideoFields());
  source.AddRow({"1", "B", "1990", "R", "90"});
  source.AddRow({std::nullopt, std::nullopt, "1991", "R", std::nullopt});
  source.AddRow({"3", "A", "1992", "R", "80"});
  TClientDataSet cds;
  cds.SetSource(&source);
  cds.Open();
  cds.SetRecNo(2);
  EXPECT_TRUE(cds.Fields(0).IsNull());
  EXPECT_EQ(cds.Fields(0).AsInteger(), 0);
  EXPECT_EQ(cds.Fields(1).AsString(), "");
  EXPECT_EQ(cds.Fields(4).AsInteger(), 0);
  EXPECT_FALSE(cds.Fields(2).IsNull());
  cds.AddIndex({.name = "ByTitle", .fields = "TITLE"});
  cds.SetIndexName("ByTitle");
  EXPECT_EQ(cds.AsStringAt(0, 2), "1991");
  cds.AddIndex({.name = "ByTitleDesc", .fields = "TITLE", .descending = true});
  cds.SetIndexName("ByTitleDesc");
  EXPECT_EQ(cds.AsStringAt(2, 2), "1991");
}

TEST(ClientDataSet, EmptyAndClosedSets) {
  TVectorRowSource source(VideoFields());
  TClientDataSet cds;
  EXPECT_THROW(cds.Open(), EDataSetError);  // no source
  EXPECT_EQ(cds.RecordCount(), 0);
  EXPECT_THROW(cds.First(), EDataSetError);
  cds.SetSource(&source);
  int after = 0;
  cds.SetAfterScroll([&](TClientDataSet&) { ++after; });
  cds.Open();
  EXPECT_EQ(after, 0);  // nothing to scroll to
  EXPECT_TRUE(cds.IsEmpty());
  EXPECT_TRUE(cds.Bof());
  EXPECT_TRUE(cds.Eof());
  EXPECT_EQ(cds.RecNo(), 0);
  EXPECT_EQ(cds.Fields(1).AsString(), "");
  EXPECT_EQ(cds.Fields(0).AsInteger(), 0);
  cds.Next();
  cds.Last();
  cds.SetRecNo(3);
  EXPECT_EQ(cds.RecNo(), 0);
  cds.Close();
  EXPECT_FALSE(cds.Active());
  EXPECT_EQ(cds.FieldCount(), 5);  // field definitions outlive the rows
}

TEST(ClientDataSet, FailingSourceLeavesItClosed) {
  TVectorRowSource source = SmallSource();
  TClientDataSet cds;
  cds.SetSource(&source);
  cds.Open();
  source.FailAtRow(3);
  EXPECT_THROW(cds.Open(), EDataSetError);
  EXPECT_FALSE(cds.Active());
  EXPECT_EQ(cds.RecordCount(), 0);
  source.FailAtRow(-1);
  cds.Open();
  EXPECT_EQ(cds.RecordCount(), 6);
}

TEST(ClientDataSet, StoredFieldsTakeTheirOrderAndCopyByName) {
  TVectorRowSource source = SmallSource();
  TClientDataSet cds;
  cds.SetFieldDefs({{"VideoID", TResultFieldKind::Integer, 0},
                    {"Title", TResultFieldKind::String, 80},
                    {"IndustryRating", TResultFieldKind::String, 9},
                    {"Length", TResultFieldKind::String, 9},
                    {"Year", TResultFieldKind::String, 10}});
  cds.SetSource(&source);
  cds.Open();
  EXPECT_EQ(cds.Fields(2).FieldName(), "IndustryRating");
  EXPECT_EQ(cds.Fields(2).AsString(), "PG");
  EXPECT_EQ(cds.Fields(4).AsString(), "1983");

  cds.SetFieldDefs({{"VideoID", TResultFieldKind::Integer, 0}, {"Director", TResultFieldKind::String, 40}});
  EXPECT_FALSE(cds.Active());
  EXPECT_THROW(cds.Open(), EDataSetError);
  EXPECT_FALSE(cds.Active());
}

// --- Navigation and scroll events ---------------------------------------------------------------

TEST_F(ClientDataSetTest, NavigationFollowsTheDatasetRules) {
  struct Step {
    const char* what;
    void (*move)(TClientDataSet&);
    int rec_no;
    bool bof;
    bool eof;
  };
  const Step steps[] = {
      {"First", [](TClientDataSet& c) { c.First(); }, 1, true, false},
      {"Prior at first", [](TClientDataSet& c) { c.Prior(); }, 1, true, false},
      {"Next", [](TClientDataSet& c) { c.Next(); }, 2, false, false},
      {"Last", [](TClientDataSet& c) { c.Last(); }, 6, false, true},
      {"Prior", [](TClientDataSet& c) { c.Prior(); }, 5, false, false},
      {"Next to last", [](TClientDataSet& c) { c.Next(); }, 6, false, false},
      {"Next at last", [](TClientDataSet& c) { c.Next(); }, 6, false, true},
      {"MoveBy -100", [](TClientDataSet& c) { c.MoveBy(-100); }, 1, true, false},
      {"MoveBy huge", [](TClientDataSet& c) { c.MoveBy(2147483647); }, 6, false, true},
      {"Go to record 3", [](TClientDataSet& c) { c.SetRecNo(3); }, 3, false, false},
      {"Go to record 99", [](TClientDataSet& c) { c.SetRecNo(99); }, 6, false, false},
      {"Go to record 0", [](TClientDataSet& c) { c.SetRecNo(0); }, 1, false, false},
  };
  for (const Step& step : steps) {
    step.move(cds);
    EXPECT_EQ(cds.RecNo(), step.rec_no) << step.what;
    EXPECT_EQ(cds.Bof(), step.bof) << step.what;
    EXPECT_EQ(cds.Eof(), step.eof) << step.what;
    EXPECT_EQ(cds.Fields(0).AsInteger(), step.rec_no) << step.what;  // arrival order = VideoID
  }
}

TEST_F(ClientDataSetTest, ScrollEventsSurroundEveryMove) {
  std::vector<std::string> log;
  cds.SetBeforeScroll([&](TClientDataSet& c) { log.push_back("before " + std::to_string(c.RecNo())); });
  cds.SetAfterScroll([&](TClientDataSet& c) { log.push_back("after " + std::to_string(c.RecNo())); });
  cds.Next();
  cds.SetRecNo(2);  // already there: no events
  cds.Last();
  cds.Next();  // at the end: the events still come, the record stays
  EXPECT_EQ(log, (std::vector<std::string>{"before 1", "after 2", "before 2", "after 6", "before 6", "after 6"}));
  log.clear();
  cds.Open();  // opening lands on the first record and says so
  EXPECT_EQ(log, (std::vector<std::string>{"after 1"}));
  log.clear();
  cds.AddIndex({.name = "ByTitle", .fields = "TITLE"});
  cds.SetIndexName("ByTitle");  // reordering is not a scroll
  EXPECT_TRUE(log.empty());
}

struct RecordingObserver : TDataSetObserver {
  void DataSetChanged() override { ++changed; }
  void RecordChanged() override { ++moved; }
  void DataSetDestroying() override { destroyed = true; }
  int changed = 0;
  int moved = 0;
  bool destroyed = false;
};

TEST(ClientDataSet, ObserversHearOpeningsReordersMovesAndTheEnd) {
  TVectorRowSource source = SmallSource();
  RecordingObserver observer;
  {
    TClientDataSet cds;
    cds.AddObserver(&observer);
    cds.SetSource(&source);
    cds.Open();
    EXPECT_EQ(observer.changed, 1);
    cds.Next();
    cds.Next();
    cds.SetRecNo(3);
    EXPECT_EQ(observer.moved, 2);
    cds.AddIndex({.name = "ByTitle", .fields = "TITLE"});
    cds.SetIndexName("ByTitle");
    EXPECT_EQ(observer.changed, 2);
    cds.Close();
    EXPECT_EQ(observer.changed, 3);
  }
  EXPECT_TRUE(observer.destroyed);
}

// --- Indexes ----------------------------------------------------------------------------------

TEST_F(ClientDataSetTest, IndexOrders) {
  struct Case {
    TClientIndexDef def;
    std::vector<int> ids;
  };
  const Case cases[] = {
      // Byte order: upper case before lower case.
      {{.name = "Title", .fields = "TITLE"}, {6, 3, 4, 5, 1, 2}},
      {{.name = "TitleNoCase", .fields = "TITLE", .case_insensitive = true}, {2, 6, 3, 4, 5, 1}},
      {{.name = "TitleNoCaseListed", .fields = "TITLE", .case_ins_fields = "title"}, {2, 6, 3, 4, 5, 1}},
      // Descending as a whole; equal keys keep arrival order (4 before 5).
      {{.name = "TitleDesc", .fields = "TITLE", .case_insensitive = true, .descending = true}, {1, 4, 5, 3, 6, 2}},
      {{.name = "YearDesc", .fields = "YEAR", .desc_fields = "YEAR"}, {4, 5, 3, 6, 1, 2}},
      // Several keys, one of them descending.
      {{.name = "RatingYearDesc", .fields = "INDUSTRYRATING;YEAR", .desc_fields = "YEAR", .descending = true},
       {6, 1, 4, 5, 3, 2}},
      {{.name = "RatingTitle", .fields = "IndustryRating ; Title", .case_insensitive = true}, {6, 1, 2, 3, 4, 5}},
      // Integers compare as numbers, texts as texts ("79" > "170").
      {{.name = "Id desc", .fields = "VIDEOID", .descending = true}, {6, 5, 4, 3, 2, 1}},
      {{.name = "Length", .fields = "LENGTH"}, {2, 3, 6, 4, 5, 1}},
  };
  for (const Case& c : cases) {
    Sort(c.def);
    EXPECT_EQ(cds.IndexName(), c.def.name);
    EXPECT_EQ(Walk(cds), c.ids) << c.def.name;
  }
  cds.SetIndexName("");
  EXPECT_EQ(Walk(cds), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_F(ClientDataSetTest, SwitchingIndexKeepsTheCurrentRecord) {
  cds.SetRecNo(3);  // Brazil
  Sort({.name = "ByTitle", .fields = "TITLE", .descending = true});
  EXPECT_EQ(cds.FieldByName("TITLE").AsString(), "Brazil");
  EXPECT_EQ(cds.RecNo(), 5);
  cds.DeleteIndex("bytitle");  // the current one: back to arrival order
  EXPECT_EQ(cds.IndexName(), "");
  EXPECT_EQ(cds.RecNo(), 3);
}

TEST_F(ClientDataSetTest, IndexErrors) {
  cds.AddIndex({.name = "SortGrid", .fields = "TITLE"});
  struct Case {
    const char* what;
    TClientIndexDef def;
    const char* message;
  };
  const Case cases[] = {
      {"duplicate", {.name = "sortgrid", .fields = "YEAR"}, "Index 'sortgrid' already exists"},
      {"unknown field", {.name = "X", .fields = "TITLE;Director"}, "Field 'Director' not found"},
      {"unknown descending field", {.name = "X", .fields = "TITLE", .desc_fields = "Nope"}, "Field 'Nope' not found"},
      {"no fields", {.name = "X", .fields = " ; "}, "Index 'X' has no fields"},
      {"no name", {.name = " ", .fields = "TITLE"}, "An index needs a name"},
  };
  for (const Case& c : cases) {
    try {
      cds.AddIndex(c.def);
      ADD_FAILURE() << c.what;
    } catch (const EDataSetError& e) {
      EXPECT_STREQ(e.what(), c.message) << c.what;
    }
  }
  EXPECT_EQ(cds.IndexDefs().size(), 1u);
  EXPECT_THROW(cds.SetIndexName("Missing"), EDataSetError);
  EXPECT_THROW(cds.DeleteIndex("Missing"), EDataSetError);
  EXPECT_EQ(cds.IndexName(), "");
}

TEST(ClientDataSet, CurrentIndexOutlivesReopening) {
  TVectorRowSource source = SmallSource();
  TClientDataSet cds;
  cds.AddIndex({.name = "SortGrid", .fields = "TITLE", .descending = true});  // closed: not yet checked
  cds.SetIndexName("SortGrid");
  cds.SetSource(&source);
  cds.Open();
  EXPECT_EQ(Walk(cds), (std::vector<int>{2, 1, 4, 5, 3, 6}));
  cds.Close();
  cds.Open();
  EXPECT_EQ(cds.IndexName(), "SortGrid");
  EXPECT_EQ(cds.Fields(1).AsString(), "alien");
}

TEST(ClientDataSet, IndexOverUnknownFieldFailsTheOpening) {
  TVectorRowSource source = SmallSource();
  TClientDataSet cds;
  cds.AddIndex({.name = "SortGrid", .fields = "DIRECTOR"});
  cds.SetIndexName("SortGrid");
  cds.SetSource(&source);
  EXPECT_THROW(cds.Open(), EDataSetError);
  EXPECT_FALSE(cds.Active());
}

TEST(ClientDataSet, ManyRowsSortLikeAReferenceSort) {
  // Random titles and years against std::stable_sort of the same rows.
  TVectorRowSource source(VideoFields());
  std::vector<std::pair<std::string, std::string>> rows;
  unsigned seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  for (int i = 0; i < 3000; ++i) {
    std::string title;
    for (unsigned n = 1 + next() % 4; n > 0; --n) title += "aBbC"[next() % 4];
    std::string year = std::to_string(1950 + next() % 20);
    rows.emplace_back(title, year);
    source.AddRow({std::to_string(i + 1), title, year, "R", "90"});
  }
  TClientDataSet cds;
  cds.SetSource(&source);
  cds.Open();
  cds.AddIndex({.name = "S", .fields = "YEAR;TITLE", .desc_fields = "YEAR", .case_insensitive = true});
  cds.SetIndexName("S");

  auto fold = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  std::vector<int> expected(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) expected[i] = static_cast<int>(i);
  std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
    if (rows[a].second != rows[b].second) return rows[a].second > rows[b].second;
    return fold(rows[a].first) < fold(rows[b].first);
  });
  for (size_t i = 0; i < expected.size(); ++i)
    ASSERT_EQ(cds.AsIntegerAt(static_cast<int>(i), 0), expected[i] + 1) << "position " << i;
}

TEST(ClientDataSet, LongTextsSortLikeAReferenceSort) {
  // Titles that share their first 8 and 16 bytes, differ only in case or past the 16th byte,
  // run shorter than 8 bytes, hold bytes above 0x7F, or are null: the sort's integer prefixes
  // must order exactly as the texts do, in both directions, with and without case.
  const std::string stems[] = {"",
                               "The Man",
                               "The Man Who Knew",
                               "THE MAN WHO KNEW too much",
                               "the man who knew",
                               "The Man Who Knew Too Little",
                               "Émile",
                               "Zelig",
                               "The Man Who Knew Too"};
  TVectorRowSource source(VideoFields());
  std::vector<std::optional<std::string>> titles;
  unsigned seed = 777;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  for (int i = 0; i < 2000; ++i) {
    std::optional<std::string> title;
    if (next() % 10 != 0) {
      title = stems[next() % std::size(stems)];
      for (unsigned n = next() % 3; n > 0; --n) *title += "aBé "[next() % 4];
    }
    titles.push_back(title);
    source.AddRow({std::to_string(i + 1), title, "1990", "R", "90"});
  }
  TClientDataSet cds;
  cds.SetSource(&source);
  cds.Open();
  auto fold = [](std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
  };
  for (const bool descending : {false, true}) {
    for (const bool noCase : {false, true}) {
      SCOPED_TRACE(testing::Message() << "descending " << descending << ", without case " << noCase);
      const std::string name = std::string("T") + (descending ? "d" : "a") + (noCase ? "i" : "s");
      cds.AddIndex({.name = name, .fields = "TITLE", .case_insensitive = noCase, .descending = descending});
      cds.SetIndexName(name);
      std::vector<int> expected(titles.size());
      for (size_t i = 0; i < titles.size(); ++i) expected[i] = static_cast<int>(i);
      std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
        const auto& x = titles[static_cast<size_t>(a)];
        const auto& y = titles[static_cast<size_t>(b)];
        int c;
        if (!x || !y) {
          c = static_cast<int>(!y) - static_cast<int>(!x);
        } else {
          const std::string p = noCase ? fold(*x) : *x, q = noCase ? fold(*y) : *y;
          c = p.compare(q);  // bytes compare unsigned, as the engine orders them
        }
        return descending ? c > 0 : c < 0;
      });
      for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(cds.AsIntegerAt(static_cast<int>(i), 0), expected[i] + 1) << "position " << i;
    }
  }
}

TEST(VectorRowSource, IntegerTexts) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  };
  const Case cases[] = {
      {"42", true, 42}, {" -7 ", true, -7}, {"+3", true, 3},          {"", false, 0},
      {"4x", false, 0}, {"+", false, 0},    {"2147483648", false, 0}, {"-2147483648", true, INT32_MIN}};
  for (const Case& c : cases) {
    if (c.ok) {
      EXPECT_EQ(ParseIntegerText(c.text), c.value) << c.text;
    } else {
      EXPECT_THROW(ParseIntegerText(c.text), EDataSetError) << c.text;
    }
  }
  TVectorRowSource source(VideoFields());
  EXPECT_THROW(source.AddRow({"1", "too few"}), EDataSetError);
}

}  // namespace
}  // namespace quarry
