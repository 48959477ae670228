// Quarry against SQLite on the same catalogue: every statement the application sends, the
// search for each shape of criteria, and more joins, DISTINCT, ORDER BY, BETWEEN, ORs,
// GROUP BY, UNION and IN sub-selects. Each statement runs in both engines and the rows must
// agree exactly: as multisets, and for ordered statements also in the sequence of their
// ORDER BY keys (rows with equal keys may come in either order).
//
// Two catalogues: the shared one (PELLOMAR_SHARED_CATALOGUE, 36,243 films; skipped when
// absent) and the program's own catalogue/. Each is loaded once per test program.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "app/search_statement.h"
#include "tests/catalogue_twins.h"

namespace {

using twins::TRows;

struct TStatementCase {
  std::string Name;
  std::string Sql;
  std::vector<int> OrderColumns;  // result columns of the ORDER BY, in order; empty: unordered
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The search statement for one set of criteria, as the main window builds it.
std::string Search(const std::function<void(TSearchCriteria&)>& adjust) {
  TSearchCriteria criteria;
  criteria.toYear = "2030";
  adjust(criteria);
  return JoinStatementLines(BuildSearchStatementLines(criteria));
}

std::vector<TStatementCase> Statements(const twins::TPicks& p) {
  const int mid = std::stoi(p.MiddleYear);
  const std::string yearFrom = Quoted(std::to_string(mid - 5)), yearTo = Quoted(std::to_string(mid + 5));
  const std::vector<int> byTitle = {1};  // the search orders by V.TITLE, its second column
  std::vector<TStatementCase> cases = {
      // Every statement the application sends.
      {"years ascending", "SELECT YEAR FROM VIDEOS ORDER BY YEAR", {0}},
      {"years descending", "SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC", {0}},
      {"cast member names", "SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER", {0}},
      {"director names", "SELECT DIRECTOR FROM DIRECTORS ORDER BY DIRECTOR", {0}},
      {"cast member by name", "SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = " + Quoted(p.CastName), {}},
      {"cast member by accented name",
       "SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = " + Quoted(p.AccentedName),
       {}},
      {"cast member by unknown name", "SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = \"Nobody Atall\"", {}},
      {"director by name", "SELECT DIRECTORID FROM DIRECTORS WHERE DIRECTOR = " + Quoted(p.DirectorName), {}},
      {"cast of a video", "SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = " + p.BusyVideoId, {}},
      {"cast member by id", "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = " + p.CastId, {}},
      {"directors of a video", "SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = " + p.BusyVideoId, {}},
      {"director by id", "SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = " + p.DirectorId, {}},
      {"cast of a video with no cast", "SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = 0", {}},

      // The search, for each shape of criteria.
      {"search: all criteria shown (case D)", Search([](auto&) {}), byTitle},
      {"search: a director (case A)", Search([&](auto& c) {
         c.allDirectors = false;
         c.directorChosen = true;
         c.directorId = std::stoi(p.DirectorId);
       }),
       byTitle},
      {"search: a cast member (case B)", Search([&](auto& c) {
         c.allCastMembers = false;
         c.castChosen = true;
         c.castMemberId = std::stoi(p.CastId);
       }),
       byTitle},
      {"search: both (case C)", Search([&](auto& c) {
         c.allDirectors = false;
         c.directorChosen = true;
         c.directorId = std::stoi(p.DirectorId);
         c.allCastMembers = false;
         c.castChosen = true;
         c.castMemberId = std::stoi(p.PartnerCastId);
       }),
       byTitle},
      {"search: any video with a director (case A, no id)", Search([](auto& c) { c.allDirectors = false; }), byTitle},
      {"search: any video with cast (case B, no id)", Search([](auto& c) { c.allCastMembers = false; }), byTitle},
      {"search: cast and directors, no ids (case C)", Search([](auto& c) {
         c.allDirectors = false;
         c.allCastMembers = false;
       }),
       byTitle},
      {"search: years", Search([&](auto& c) {
         c.allYears = false;
         c.fromYear = std::to_string(mid - 5);
         c.toYear = std::to_string(mid + 5);
       }),
       byTitle},
      {"search: all ratings but PG-13", Search([](auto& c) { c.ratings = {true, true, false, true, true, true}; }),
       byTitle},
      {"search: G only", Search([](auto& c) { c.ratings = {true, false, false, false, false, false}; }), byTitle},
      {"search: cast member, years and ratings", Search([&](auto& c) {
         c.allCastMembers = false;
         c.castChosen = true;
         c.castMemberId = std::stoi(p.CastId);
         c.allYears = false;
         c.fromYear = "1900";
         c.toYear = "2030";
         c.ratings = {false, true, true, false, true, true};
       }),
       byTitle},
      {"search: director and years", Search([&](auto& c) {
         c.allDirectors = false;
         c.directorChosen = true;
         c.directorId = std::stoi(p.DirectorId);
         c.allYears = false;
         c.fromYear = "1950";
         c.toYear = "1999";
       }),
       byTitle},
      {"search: both and ratings", Search([&](auto& c) {
         c.allDirectors = false;
         c.directorChosen = true;
         c.directorId = std::stoi(p.DirectorId);
         c.allCastMembers = false;
         c.castChosen = true;
         c.castMemberId = std::stoi(p.PartnerCastId);
         c.ratings = {true, true, true, true, true, false};
       }),
       byTitle},
      {"search: years that hold nothing", Search([](auto& c) {
         c.allYears = false;
         c.fromYear = "1066";
         c.toYear = "1067";
       }),
       byTitle},

      // Joins.
      {"inner joins to names",
       "SELECT V.TITLE, D.DIRECTOR FROM VIDEOS V INNER JOIN VIDEOS_DIRECTORS L ON V.VIDEOID = L.VIDEOID "
       "INNER JOIN DIRECTORS D ON L.DIRECTORID = D.DIRECTORID WHERE V.YEAR = " +
           Quoted(p.MiddleYear),
       {}},
      {"implicit three-table join",
       "SELECT C.CASTMEMBER FROM VIDEOS V, VIDEOS_CASTMEMBERS L, CASTMEMBERS C "
       "WHERE V.VIDEOID = L.VIDEOID AND L.CASTMEMBERID = C.CASTMEMBERID AND V.TITLE = " +
           Quoted(p.BusyVideoTitle),
       {}},
      {"left join keeps videos without directors",
       "SELECT V.VIDEOID, L.DIRECTORID FROM VIDEOS V LEFT OUTER JOIN VIDEOS_DIRECTORS L ON V.VIDEOID = L.VIDEOID "
       "WHERE V.YEAR BETWEEN " +
           yearFrom + " AND " + yearTo,
       {}},
      {"left join finds videos without cast",
       "SELECT V.VIDEOID, V.TITLE FROM VIDEOS V LEFT JOIN VIDEOS_CASTMEMBERS L ON V.VIDEOID = L.VIDEOID "
       "WHERE L.VIDEOID IS NULL",
       {}},
      {"join ordered by two columns",
       "SELECT V.YEAR, V.TITLE, L.CASTMEMBERID FROM VIDEOS V INNER JOIN VIDEOS_CASTMEMBERS L ON V.VIDEOID = L.VIDEOID "
       "WHERE L.CASTMEMBERID = " +
           p.CastId + " ORDER BY V.YEAR DESC, V.TITLE",
       {0, 1}},

      // DISTINCT and ORDER BY.
      {"distinct ratings", "SELECT DISTINCT INDUSTRYRATING FROM VIDEOS", {}},
      {"distinct years descending", "SELECT DISTINCT YEAR FROM VIDEOS ORDER BY YEAR DESC", {0}},
      {"order by two columns, first descending",
       "SELECT TITLE, YEAR FROM VIDEOS WHERE YEAR BETWEEN " + yearFrom + " AND " + yearTo +
           " ORDER BY YEAR DESC, TITLE",
       {1, 0}},
      {"order by column numbers",
       "SELECT TITLE, YEAR FROM VIDEOS WHERE YEAR = " + Quoted(p.MiddleYear) + " ORDER BY 2, 1",
       {1, 0}},
      {"distinct link ids ordered", "SELECT DISTINCT DIRECTORID FROM VIDEOS_DIRECTORS ORDER BY DIRECTORID DESC", {0}},

      // BETWEEN, comparisons, ORs, IN lists, NULL tests.
      {"between on titles", "SELECT VIDEOID, TITLE FROM VIDEOS WHERE TITLE BETWEEN \"Star\" AND \"Stb\"", {}},
      {"between on names", "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBER BETWEEN \"Mar\" AND \"Mas\"", {}},
      {"integer range", "SELECT VIDEOID, TITLE FROM VIDEOS WHERE VIDEOID > 100 AND VIDEOID <= 140", {}},
      {"or of equalities on one column",
       "SELECT VIDEOID FROM VIDEOS WHERE INDUSTRYRATING = \"G\" OR INDUSTRYRATING = \"NC-17\"",
       {}},
      {"or across columns",
       "SELECT VIDEOID FROM VIDEOS WHERE YEAR = " + Quoted(p.MiddleYear) + " OR INDUSTRYRATING = \"NC-17\"",
       {}},
      {"in list", "SELECT VIDEOID, YEAR FROM VIDEOS WHERE YEAR IN (" + yearFrom + ", " + yearTo + ")", {}},
      {"not", "SELECT VIDEOID FROM VIDEOS WHERE NOT (INDUSTRYRATING = \"NR\") AND YEAR < \"1975\"", {}},
      {"null lengths", "SELECT V.VIDEOID FROM VIDEOS V WHERE V.LENGTH IS NULL", {}},
      {"known lengths", "SELECT V.VIDEOID, V.LENGTH FROM VIDEOS V WHERE V.LENGTH IS NOT NULL", {}},

      // GROUP BY and aggregates.
      {"count per rating", "SELECT INDUSTRYRATING, COUNT(*) FROM VIDEOS GROUP BY INDUSTRYRATING", {}},
      {"count, min and max per year",
       "SELECT YEAR, COUNT(*), MIN(VIDEOID), MAX(VIDEOID) FROM VIDEOS GROUP BY YEAR ORDER BY YEAR",
       {0}},
      {"films per director", "SELECT DIRECTORID, COUNT(VIDEOID) FROM VIDEOS_DIRECTORS GROUP BY DIRECTORID", {}},
      {"sum and average",
       "SELECT DIRECTORID, SUM(VIDEOID), AVG(VIDEOID) FROM VIDEOS_DIRECTORS GROUP BY DIRECTORID",
       {}},
      {"count all links", "SELECT COUNT(*) FROM VIDEOS_CASTMEMBERS", {}},
      {"busy videos", "SELECT VIDEOID, COUNT(*) FROM VIDEOS_CASTMEMBERS GROUP BY VIDEOID HAVING COUNT(*) > 5", {}},

      // UNION and sub-selects.
      {"union of names",
       "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBER BETWEEN \"Ja\" AND \"Jb\" "
       "UNION SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTOR BETWEEN \"Ja\" AND \"Jb\"",
       {}},
      {"union all of ids",
       "SELECT VIDEOID FROM VIDEOS_DIRECTORS WHERE DIRECTORID = " + p.DirectorId +
           " UNION ALL SELECT VIDEOID FROM VIDEOS_CASTMEMBERS WHERE CASTMEMBERID = " + p.CastId,
       {}},
      {"in sub-select",
       "SELECT TITLE FROM VIDEOS WHERE VIDEOID IN (SELECT VIDEOID FROM VIDEOS_DIRECTORS WHERE DIRECTORID = " +
           p.DirectorId + ")",
       {}},
      {"not in sub-select",
       "SELECT VIDEOID FROM VIDEOS WHERE YEAR = " + Quoted(p.MiddleYear) +
           " AND VIDEOID NOT IN (SELECT VIDEOID FROM VIDEOS_DIRECTORS WHERE DIRECTORID = " + p.DirectorId + ")",
       {}},
      {"videos without cast",
       "SELECT VIDEOID FROM VIDEOS WHERE YEAR = " + Quoted(p.MiddleYear) +
           " AND VIDEOID NOT IN (SELECT VIDEOID FROM VIDEOS_CASTMEMBERS)",
       {}},
      {"in sub-select holding NULLs",
       "SELECT V.VIDEOID FROM VIDEOS V WHERE V.LENGTH IN (SELECT W.LENGTH FROM VIDEOS W WHERE W.YEAR = " +
           Quoted(p.MiddleYear) + ")",
       {}},
      {"not in sub-select holding NULLs",
       "SELECT V.VIDEOID FROM VIDEOS V WHERE V.YEAR = " + Quoted(p.MiddleYear) +
           " AND V.LENGTH NOT IN (SELECT W.LENGTH FROM VIDEOS W WHERE W.YEAR = " + Quoted(p.MiddleYear) + ")",
       {}},
      {"not in sub-select without NULLs",
       "SELECT V.VIDEOID, V.LENGTH FROM VIDEOS V WHERE V.YEAR = " + Quoted(p.MiddleYear) +
           " AND V.LENGTH NOT IN (SELECT W.LENGTH FROM VIDEOS W WHERE W.LENGTH IS NOT NULL AND W.YEAR < " +
           Quoted(p.MiddleYear) + ")",
       {}},
      {"text in sub-select",
       "SELECT TITLE FROM VIDEOS WHERE YEAR = " + Quoted(p.MiddleYear) +
           " AND INDUSTRYRATING IN (SELECT INDUSTRYRATING FROM VIDEOS WHERE VIDEOID = " + p.BusyVideoId + ")",
       {}},

      // DISTINCT over joins: columns of the outer table only, and with an inner column.
      {"distinct years with directors",
       "SELECT DISTINCT V.YEAR FROM VIDEOS V, VIDEOS_DIRECTORS D WHERE V.VIDEOID = D.VIDEOID",
       {}},
      {"distinct cast per year",
       "SELECT DISTINCT V.YEAR, L.CASTMEMBERID FROM VIDEOS V, VIDEOS_CASTMEMBERS L WHERE V.VIDEOID = L.VIDEOID AND "
       "V.YEAR = " +
           Quoted(p.MiddleYear),
       {}},

      // A condition on the inner table in a LEFT JOIN's ON decides the match, not the row.
      {"left join on a chosen director",
       "SELECT V.VIDEOID, L.DIRECTORID FROM VIDEOS V LEFT JOIN VIDEOS_DIRECTORS L ON V.VIDEOID = L.VIDEOID "
       "AND L.DIRECTORID = " +
           p.DirectorId + " WHERE V.YEAR BETWEEN " + yearFrom + " AND " + yearTo,
       {}},
      {"left join on a condition of the preserved table",
       "SELECT V.VIDEOID, L.DIRECTORID FROM VIDEOS V LEFT JOIN VIDEOS_DIRECTORS L ON V.VIDEOID = L.VIDEOID "
       "AND V.TITLE >= \"M\" WHERE V.YEAR BETWEEN " +
           yearFrom + " AND " + yearTo,
       {}},
      {"right join on a chosen director",
       "SELECT V.VIDEOID, L.DIRECTORID FROM VIDEOS_DIRECTORS L RIGHT JOIN VIDEOS V ON V.VIDEOID = L.VIDEOID "
       "AND L.DIRECTORID = " +
           p.DirectorId + " WHERE V.YEAR BETWEEN " + yearFrom + " AND " + yearTo,
       {}},

      // Anti-joins and DISTINCT joins, through index lookups (few outer rows) and through
      // the inner column's values (many).
      {"directors without films among the first ids",
       "SELECT D.DIRECTORID FROM DIRECTORS D LEFT JOIN VIDEOS_DIRECTORS L ON D.DIRECTORID = L.DIRECTORID "
       "WHERE L.DIRECTORID IS NULL AND D.DIRECTORID BETWEEN 1 AND 400",
       {}},
      {"directors without films",
       "SELECT D.DIRECTORID, D.DIRECTOR FROM DIRECTORS D LEFT JOIN VIDEOS_DIRECTORS L "
       "ON D.DIRECTORID = L.DIRECTORID WHERE L.DIRECTORID IS NULL",
       {}},
      {"directors with films",
       "SELECT DISTINCT D.DIRECTOR, L.DIRECTORID FROM DIRECTORS D, VIDEOS_DIRECTORS L "
       "WHERE D.DIRECTORID = L.DIRECTORID",
       {}},
      {"directors with films among the first ids",
       "SELECT DISTINCT D.DIRECTOR, L.DIRECTORID FROM DIRECTORS D, VIDEOS_DIRECTORS L "
       "WHERE D.DIRECTORID = L.DIRECTORID AND D.DIRECTORID BETWEEN 1 AND 400",
       {}},

      // Join conditions never match NULLs.
      {"join on a column with NULLs",
       "SELECT A.VIDEOID, B.VIDEOID FROM VIDEOS A, VIDEOS B WHERE A.LENGTH = B.LENGTH AND A.YEAR = " +
           Quoted(p.MiddleYear) + " AND B.YEAR = " + Quoted(p.MiddleYear),
       {}},
      {"indexed join from a column with NULLs",
       "SELECT A.VIDEOID, B.VIDEOID FROM VIDEOS A, VIDEOS B WHERE A.LENGTH = B.TITLE AND A.YEAR = " +
           Quoted(p.MiddleYear),
       {}},
      {"left join from a column with NULLs",
       "SELECT A.VIDEOID, B.VIDEOID FROM VIDEOS A LEFT JOIN VIDEOS B ON A.LENGTH = B.TITLE WHERE A.YEAR = " +
           Quoted(p.MiddleYear),
       {}},
  };
  return cases;
}

// Rows sorted for a multiset comparison (NULL before any text).
TRows Sorted(TRows rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

TRows Project(const TRows& rows, const std::vector<int>& columns) {
  TRows keys;
  for (const auto& row : rows) {
    std::vector<twins::TResultValue> key;
    for (int c : columns)
      key.push_back(c < static_cast<int>(row.size()) ? row[static_cast<std::size_t>(c)] : std::nullopt);
    keys.push_back(std::move(key));
  }
  return keys;
}

std::string Show(const std::vector<twins::TResultValue>& row) {
  std::string text = "(";
  for (std::size_t i = 0; i < row.size(); ++i) text += (i ? ", " : "") + (row[i] ? *row[i] : std::string("NULL"));
  return text + ")";
}

// What differs between two sorted row lists, briefly.
std::string Difference(const TRows& quarry, const TRows& sqlite) {
  TRows onlyQuarry, onlySqlite;
  std::set_difference(quarry.begin(), quarry.end(), sqlite.begin(), sqlite.end(), std::back_inserter(onlyQuarry));
  std::set_difference(sqlite.begin(), sqlite.end(), quarry.begin(), quarry.end(), std::back_inserter(onlySqlite));
  std::ostringstream out;
  out << quarry.size() << " rows from Quarry, " << sqlite.size() << " from SQLite";
  for (std::size_t i = 0; i < onlyQuarry.size() && i < 5; ++i) out << "\n  only Quarry: " << Show(onlyQuarry[i]);
  for (std::size_t i = 0; i < onlySqlite.size() && i < 5; ++i) out << "\n  only SQLite: " << Show(onlySqlite[i]);
  return out.str();
}

void CompareStatement(twins::TCatalogueTwins& twins, const TStatementCase& c) {
  SCOPED_TRACE(c.Name + "\n" + c.Sql);
  twins::TResultTable quarry, sqlite;
  try {
    const auto started = std::chrono::steady_clock::now();
    quarry = twins.Quarry.Query(c.Sql);
    // A note of slow statements helps to see where the engine's time goes.
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (seconds > 1.0) std::printf("  %.1f s in Quarry: %s\n", seconds, c.Name.c_str());
  } catch (const std::exception& error) {
    ADD_FAILURE() << "Quarry failed: " << error.what();
    return;
  }
  ASSERT_NO_THROW(sqlite = twins.Sqlite.Query(c.Sql));
  const TRows quarryRows = twins::NormaliseRows(quarry.Rows), sqliteRows = twins::NormaliseRows(sqlite.Rows);
  // The search's extra join columns reach the result in both engines; compare every column.
  if (!quarryRows.empty() && !sqliteRows.empty()) {
    ASSERT_EQ(quarryRows.front().size(), sqliteRows.front().size()) << "column counts differ";
  }
  const TRows sortedQuarry = Sorted(quarryRows), sortedSqlite = Sorted(sqliteRows);
  EXPECT_TRUE(sortedQuarry == sortedSqlite) << Difference(sortedQuarry, sortedSqlite);
  if (!c.OrderColumns.empty() && sortedQuarry == sortedSqlite) {
    const TRows quarryKeys = Project(quarryRows, c.OrderColumns), sqliteKeys = Project(sqliteRows, c.OrderColumns);
    const auto mismatch = std::mismatch(quarryKeys.begin(), quarryKeys.end(), sqliteKeys.begin(), sqliteKeys.end());
    EXPECT_TRUE(mismatch.first == quarryKeys.end())
        << "order differs at row " << (mismatch.first - quarryKeys.begin()) << ": Quarry " << Show(*mismatch.first)
        << ", SQLite " << Show(*mismatch.second);
  }
}

// One catalogue per test suite, loaded on first use and kept for the program's life.
template <typename TKind>
class CatalogueDifferential : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string folder = TKind::Folder();
    if (folder.empty()) return;
    twins_ = std::make_unique<twins::TCatalogueTwins>(folder);
    picks_ = std::make_unique<twins::TPicks>(twins::PickFacts(twins_->Sqlite));
    std::printf("%s loaded: Quarry %.2f s, SQLite %.2f s\n", folder.c_str(), twins_->QuarryLoadSeconds,
                twins_->SqliteLoadSeconds);
  }
  static void TearDownTestSuite() {
    picks_.reset();
    twins_.reset();
  }
  void SetUp() override {
    if (TKind::Folder().empty()) GTEST_SKIP() << "no shared catalogue (PELLOMAR_SHARED_CATALOGUE)";
    ASSERT_NE(twins_, nullptr);
  }

  static std::unique_ptr<twins::TCatalogueTwins> twins_;
  static std::unique_ptr<twins::TPicks> picks_;
};
template <typename TKind>
std::unique_ptr<twins::TCatalogueTwins> CatalogueDifferential<TKind>::twins_;
template <typename TKind>
std::unique_ptr<twins::TPicks> CatalogueDifferential<TKind>::picks_;

struct TSharedCatalogue {
  static std::string Folder() { return twins::SharedCatalogueFolder(); }
};
struct TOwnCatalogue {
  static std::string Folder() { return twins::OwnCatalogueFolder(); }
};

using SharedCatalogue = CatalogueDifferential<TSharedCatalogue>;
using OwnCatalogue = CatalogueDifferential<TOwnCatalogue>;

TEST_F(SharedCatalogue, StatementsAgreeWithSqlite) {
  for (const auto& c : Statements(*picks_)) CompareStatement(*twins_, c);
}

TEST_F(SharedCatalogue, TablesHoldEveryRowAndVerify) {
  for (const auto& table : quarry::tools::CatalogueTables(quarry::tools::kCataloguePassword)) {
    const std::string count = "SELECT COUNT(*) FROM " + table.Options.Table;
    EXPECT_EQ(twins::NormaliseRows(twins_->Quarry.Query(count).Rows),
              twins::NormaliseRows(twins_->Sqlite.Query(count).Rows))
        << table.Options.Table;
    quarry::TDataCursor cursor(twins_->Quarry.Directory());
    cursor.SetTableName(table.Options.Table);
    cursor.Open();
    EXPECT_EQ(cursor.Verify(), "") << table.Options.Table;
    EXPECT_TRUE(cursor.TableInfo().Encrypted) << table.Options.Table;
  }
}

TEST_F(OwnCatalogue, StatementsAgreeWithSqlite) {
  for (const auto& c : Statements(*picks_)) CompareStatement(*twins_, c);
}

}  // namespace
