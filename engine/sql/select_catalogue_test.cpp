// The application's statements over the real film catalogue (../shared/catalogue), checked
// against answers worked out directly from the CSV rows: the year bounds, the name lists,
// the id lookups, the per-video lookups and the search in each of its join cases. Skips
// when the catalogue folder is absent. Prints how long each statement took (for reading,
// not asserted; the benchmarks measure speed).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>

#include "engine/sql/catalogue_tables.h"
#include "engine/sql/select_test_support.h"

namespace quarry {
namespace {

using namespace catalogue_testing;

// What the table stores of a text: trailing blanks removed, cut to size bytes without
// splitting a character.
std::string Stored(std::string text, std::size_t size) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.size() > size) {
    std::size_t cut = size;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    while (!text.empty() && text.back() == ' ') text.pop_back();
  }
  return text.empty() ? "NULL" : text;
}

class CatalogueSelect : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string folder = CatalogueFolder();
    if (folder.empty()) return;
    Fixture = new select_testing::TSelectFixture();
    Data = new TCatalogue(ReadCatalogue(folder));
    const auto started = std::chrono::steady_clock::now();
    LoadCatalogue(*Fixture->Database, *Data);
    std::printf("catalogue loaded in %.2f s\n", Seconds(started));
  }
  static void TearDownTestSuite() {
    delete Fixture;
    delete Data;
    Fixture = nullptr;
    Data = nullptr;
  }
  void SetUp() override {
    if (Fixture == nullptr) GTEST_SKIP() << "no catalogue folder";
  }

  static double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
  }

  static select_testing::TSelectFixture::TResult Timed(const std::string& sql) {
    const auto started = std::chrono::steady_clock::now();
    auto result = Fixture->RunSql(sql);
    std::printf("%8.1f ms  %5zu rows  %s\n", Seconds(started) * 1000, result.Rows.size(), sql.substr(0, 100).c_str());
    return result;
  }

  // The most linked id of a link table's second column.
  static std::string MostLinked(const TCsvTable& links) {
    std::map<std::string, int> counts;
    for (const TCsvRow& r : links.Rows) ++counts[r[1]];
    return std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
  }

  static select_testing::TSelectFixture* Fixture;
  static TCatalogue* Data;
};

select_testing::TSelectFixture* CatalogueSelect::Fixture = nullptr;
TCatalogue* CatalogueSelect::Data = nullptr;

TEST_F(CatalogueSelect, YearBoundsAndNameListsComeSorted) {
  std::vector<std::string> years;
  for (const TCsvRow& r : Data->Videos.Rows) years.push_back(Stored(r[2], 10));
  std::sort(years.begin(), years.end(), [](const std::string& a, const std::string& b) {
    // NULL sorts first.
    if ((a == "NULL") != (b == "NULL")) return a == "NULL";
    return a < b;
  });
  EXPECT_EQ(Timed("SELECT YEAR FROM VIDEOS ORDER BY YEAR").Rows, years);
  std::reverse(years.begin(), years.end());
  EXPECT_EQ(Timed("SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC").Rows, years);

  struct TList {
    const TCsvTable* Table;
    const char* Sql;
  };
  for (const TList& list : {TList{&Data->CastMembers, "SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER"},
                            TList{&Data->Directors, "SELECT DIRECTOR FROM DIRECTORS ORDER BY DIRECTOR"}}) {
    std::vector<std::string> names;
    for (const TCsvRow& r : list.Table->Rows) names.push_back(Stored(r[1], 80));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(Timed(list.Sql).Rows, names) << list.Sql;
  }
}

TEST_F(CatalogueSelect, LookupsFindExactlyTheirRows) {
  // Names to ids, including a name that differs from another only in case.
  std::map<std::string, std::vector<std::string>> idsByName;
  for (const TCsvRow& r : Data->CastMembers.Rows) idsByName[Stored(r[1], 80)].push_back(r[0]);
  std::vector<std::string> names = {Data->CastMembers.Rows.front()[1], Data->CastMembers.Rows[1000][1],
                                    Data->CastMembers.Rows.back()[1]};
  for (const auto& [name, ids] : idsByName) {
    if (ids.size() > 1 && name.find('"') == std::string::npos) {
      names.push_back(name);
      break;
    }
  }
  for (const std::string& name : names) {
    if (name.find('"') != std::string::npos) continue;
    auto rows = Timed("SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = \"" + name + "\"").Rows;
    std::sort(rows.begin(), rows.end());
    auto expected = idsByName[Stored(name, 80)];
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(rows, expected) << name;
  }

  // Per-video lookups through the link tables, and id to name.
  for (const char* video : {"17", "8", "1", "36243", "999999"}) {
    std::vector<std::string> expected;
    for (const TCsvRow& r : Data->VideoCast.Rows)
      if (r[0] == video) expected.push_back(r[1]);
    auto rows = Timed(std::string("SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = ") + video).Rows;
    std::sort(rows.begin(), rows.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(rows, expected) << video;

    expected.clear();
    for (const TCsvRow& r : Data->VideoDirectors.Rows)
      if (r[0] == video) expected.push_back(r[1]);
    rows = Timed(std::string("SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = ") + video).Rows;
    std::sort(rows.begin(), rows.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(rows, expected) << video;
  }
  const TCsvRow& someone = Data->Directors.Rows[42];
  EXPECT_EQ(Timed("SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = " + someone[0]).Rows,
            std::vector<std::string>{Stored(someone[1], 80)});
}

// The search statement in the shape the main window builds it.
struct TSearch {
  std::string Cast;                  // empty: any
  std::string Director;              // empty: any
  std::string From, To;              // empty: all years
  std::vector<std::string> Ratings;  // empty: all ratings
};

std::string SearchText(const TSearch& s) {
  std::string text = "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH";
  bool where = false;
  if (!s.Cast.empty() && !s.Director.empty()) {
    text +=
        "\r\n, C.VIDEOID, D.VIDEOID \r\nFROM VIDEOS V, VIDEOS_CASTMEMBERS C, VIDEOS_DIRECTORS D\r\n"
        " WHERE (V.VIDEOID = C.VIDEOID) AND (V.VIDEOID = D.VIDEOID) ";
    where = true;
  } else if (!s.Cast.empty()) {
    text += "\r\n, C.VIDEOID\r\nFROM VIDEOS V, VIDEOS_CASTMEMBERS C\r\n WHERE (V.VIDEOID = C.VIDEOID) ";
    where = true;
  } else if (!s.Director.empty()) {
    text += "\r\n, D.VIDEOID\r\nFROM VIDEOS V, VIDEOS_DIRECTORS D\r\n WHERE (V.VIDEOID = D.VIDEOID)";
    where = true;
  } else {
    text += "\r\nFROM VIDEOS V";
  }
  if (!s.Cast.empty()) text += "\r\n AND (C.CASTMEMBERID = " + s.Cast + ")";
  if (!s.Director.empty()) text += "\r\n AND (D.DIRECTORID = " + s.Director + ")";
  if (!s.From.empty()) {
    text += where ? "\r\n AND " : "\r\n WHERE ";
    text += "\r\n (V.YEAR BETWEEN \"" + s.From + "\" AND \"" + s.To + "\")";
    where = true;
  }
  if (!s.Ratings.empty()) {
    text += where ? "\r\n AND (" : "\r\n WHERE (";
    for (std::size_t i = 0; i < s.Ratings.size(); ++i)
      text += std::string(i ? "\r\n OR " : "\r\n") + "(V.INDUSTRYRATING = \"" + s.Ratings[i] + "\")";
    text += "\r\n)";
  }
  return text + "\r\n ORDER BY V.TITLE";
}

TEST_F(CatalogueSelect, SearchFindsTheVideosOfEachJoinCase) {
  std::map<std::string, std::set<std::string>> castOf, directorsOf;
  for (const TCsvRow& r : Data->VideoCast.Rows) castOf[r[0]].insert(r[1]);
  for (const TCsvRow& r : Data->VideoDirectors.Rows) directorsOf[r[0]].insert(r[1]);
  const std::string cast = MostLinked(Data->VideoCast);
  const std::string director = MostLinked(Data->VideoDirectors);
  // A cast member and a director who share some videos.
  std::string sharedDirector;
  for (const auto& [video, people] : castOf)
    if (people.count(cast) && !directorsOf[video].empty()) sharedDirector = *directorsOf[video].begin();

  const std::vector<TSearch> searches = {
      {cast, "", "", "", {}},
      {cast, "", "1930", "1959", {"NR", "PG"}},
      {"", director, "", "", {}},
      {"", director, "1900", "2023", {"G", "PG", "PG-13", "R"}},
      {cast, sharedDirector, "", "", {}},
      {cast, sharedDirector, "1900", "1999", {"NR"}},
      {"", "", "1990", "1999", {}},
      {"", "", "1980", "1989", {"G", "PG"}},
      {"", "", "", "", {"NC-17"}},
      {"", "", "", "", {}},
  };
  for (const TSearch& s : searches) {
    const std::string sql = SearchText(s);
    SCOPED_TRACE(sql);
    std::set<std::string> expected;
    for (const TCsvRow& v : Data->Videos.Rows) {
      if (!s.Cast.empty() && !castOf[v[0]].count(s.Cast)) continue;
      if (!s.Director.empty() && !directorsOf[v[0]].count(s.Director)) continue;
      if (!s.From.empty() && !(v[2] >= s.From && v[2] <= s.To)) continue;
      if (!s.Ratings.empty() && std::find(s.Ratings.begin(), s.Ratings.end(), v[3]) == s.Ratings.end()) continue;
      expected.insert(v[0]);
    }
    const auto result = Timed(sql);
    std::set<std::string> found;
    std::string previousTitle;
    for (const std::string& row : result.Rows) {
      const std::string id = row.substr(0, row.find('|'));
      EXPECT_TRUE(found.insert(id).second) << "video " << id << " twice";
      const std::size_t t = row.find('|') + 1;
      const std::string title = row.substr(t, row.find('|', t) - t);
      EXPECT_LE(previousTitle, title);
      previousTitle = title;
    }
    EXPECT_EQ(found, expected);
  }
}

}  // namespace
}  // namespace quarry
