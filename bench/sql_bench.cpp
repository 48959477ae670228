// The application's statements timed in Quarry and in SQLite on the same catalogue: the year
// bounds, the name lists, the name lookups, the search for each join case and the per-video
// lookups. Prints each statement's median time in both engines and the ratio Quarry / SQLite,
// for SQLite in memory and for SQLite on a file in the same folder as Quarry's tables (a file
// database takes its locks and checks its header per statement, as Quarry does); then the
// geometric means of the ratios over the application's statements.
//
// The catalogue has no full-text index; for the TEXTSEARCH statements Quarry's VIDEOS gets one
// over TITLE, and SQLite an FTS5 table over the titles, which its statements query instead.
//
// The catalogue is the shared one (PELLOMAR_SHARED_CATALOGUE), else the program's own
// catalogue/ (PELLOMAR_SOURCE_DIR, else the current directory). Each side's time covers
// preparing, running and reading every row as text, as the application's query does.
// Arguments, when given, pick the statements whose names contain one of them. With
// PELLOMAR_BENCH_CPU set, the thread's processor time is measured instead of elapsed time.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/search_statement.h"
#include "engine/storage/maintenance/restructure_request.h"
#include "engine/storage/table/table.h"
#include "tests/catalogue_twins.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TBenchStatement {
  TBenchStatement(std::string name, std::string sql, std::string sqliteSql = {})
      : Name(std::move(name)), Sql(std::move(sql)), SqliteSql(std::move(sqliteSql)) {}
  std::string Name;
  std::string Sql;
  std::string SqliteSql;  // empty: Sql
};

// VIDEOS.TITLE's words in a full-text index in Quarry, and in an FTS5 table (rowid VIDEOID)
// in SQLite.
void IndexTitleWords(twins::TCatalogueTwins& catalogue) {
  quarry::TRestructureRequest request;
  {
    quarry::TDataCursor cursor(catalogue.Quarry.Directory());
    cursor.SetTableName("VIDEOS");
    cursor.Open();
    const quarry::TDataFile& data = cursor.Table().Data();
    quarry::TIndexFile& index = cursor.Table().Index();
    quarry::TTableDefinition& table = request.Table;
    table.Fields = data.Fields();
    table.Primary = index.Definition(quarry::PrimarySlot);
    for (int slot = 1; slot <= index.SecondaryCount(); ++slot) table.Secondaries.push_back(index.Definition(slot));
    table.LanguageId = data.LanguageId();
    table.SortId = data.SortId();
    table.BlobBlockSize = data.BlobBlockSize();
    table.Description = data.Description();
    table.Encrypted = data.Encrypted();
    table.Password = data.Password();
    table.Text.FieldNumbers[0] = static_cast<std::uint16_t>(cursor.GetFieldDefinition("TITLE").FieldNo);
    table.Text.FieldCount = 1;
  }
  quarry::TDataCursor cursor(catalogue.Quarry.Directory());
  cursor.SetTableName("VIDEOS");
  cursor.SetExclusive(true);
  request.NoBackups = true;
  cursor.RestructureTable(request);
  catalogue.Sqlite.Exec("CREATE VIRTUAL TABLE VIDEOS_FTS USING fts5(TITLE, content='VIDEOS', content_rowid='VIDEOID')");
  catalogue.Sqlite.Exec("INSERT INTO VIDEOS_FTS(VIDEOS_FTS) VALUES('rebuild')");
}

// A TEXTSEARCH over the titles, with its FTS5 twin.
TBenchStatement TitleSearch(const std::string& name, const std::string& words, const std::string& also = {}) {
  const std::string more = also.empty() ? std::string() : " AND " + also;
  return {name, "SELECT VIDEOID FROM VIDEOS WHERE TEXTSEARCH(\"" + words + "\" IN TITLE)" + more,
          "SELECT VIDEOID FROM VIDEOS WHERE VIDEOID IN (SELECT rowid FROM VIDEOS_FTS WHERE VIDEOS_FTS MATCH '" + words +
              "')" + more};
}

std::string Search(const std::function<void(TSearchCriteria&)>& adjust) {
  TSearchCriteria criteria;
  criteria.toYear = "2030";
  adjust(criteria);
  return JoinStatementLines(BuildSearchStatementLines(criteria));
}

std::string AsciiUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// The statements the application sends come first in Statements(); this many of them.
constexpr std::size_t kApplicationStatements = 16;

std::vector<TBenchStatement> Statements(const twins::TPicks& p) {
  const int director = std::stoi(p.DirectorId), cast = std::stoi(p.CastId), partner = std::stoi(p.PartnerCastId);
  return {
      {"earliest year", "SELECT YEAR FROM VIDEOS ORDER BY YEAR"},
      {"latest year", "SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC"},
      {"cast member names", "SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER"},
      {"director names", "SELECT DIRECTOR FROM DIRECTORS ORDER BY DIRECTOR"},
      {"cast member by name", "SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = \"" + p.CastName + "\""},
      {"director by name", "SELECT DIRECTORID FROM DIRECTORS WHERE DIRECTOR = \"" + p.DirectorName + "\""},
      {"search D (all)", Search([](TSearchCriteria&) {})},
      {"search A (director)", Search([&](TSearchCriteria& c) {
         c.allDirectors = false;
         c.directorChosen = true;
         c.directorId = director;
       })},
      {"search B (cast member)", Search([&](TSearchCriteria& c) {
         c.allCastMembers = false;
         c.castChosen = true;
         c.castMemberId = cast;
       })},
      {"search B (any cast member)", Search([](TSearchCriteria& c) { c.allCastMembers = false; })},
      {"search C (both)", Search([&](TSearchCriteria& c) {
         c.allDirectors = false;
         c.directorChosen = true;
         c.directorId = director;
         c.allCastMembers = false;
         c.castChosen = true;
         c.castMemberId = partner;
       })},
      {"search D years+ratings", Search([](TSearchCriteria& c) {
         c.allYears = false;
         c.fromYear = "1960";
         c.toYear = "1980";
         c.ratings = {true, true, false, true, true, true};
       })},
      {"cast ids of a video", "SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = " + p.BusyVideoId},
      {"cast name by id", "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = " + p.CastId},
      {"director ids of a video", "SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = " + p.BusyVideoId},
      {"director name by id", "SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = " + p.DirectorId},
      // Conditions the filter optimiser answers from indexes.
      {"filter: OR of equalities", "SELECT VIDEOID FROM VIDEOS_CASTMEMBERS WHERE CASTMEMBERID = " + p.CastId +
                                       " OR CASTMEMBERID = " + p.PartnerCastId},
      {"filter: IN list", "SELECT VIDEOID FROM VIDEOS_CASTMEMBERS WHERE CASTMEMBERID IN (" + p.CastId + ", " +
                              p.PartnerCastId + ", " + p.DirectorId + ")"},
      {"filter: COUNT of IN list",
       "SELECT COUNT(*) FROM VIDEOS_CASTMEMBERS WHERE CASTMEMBERID IN (" + p.CastId + ", " + p.PartnerCastId + ")"},
      {"filter: range < and >", "SELECT TITLE FROM VIDEOS WHERE YEAR > \"" + p.MiddleYear + "\" AND YEAR < \"" +
                                    std::to_string(std::stoi(p.MiddleYear) + 3) + "\""},
      {"filter: LIKE prefix", "SELECT VIDEOID FROM VIDEOS WHERE TITLE LIKE \"The M%\""},
      {"filter: UPPER on a name",
       "SELECT CASTMEMBERID FROM CASTMEMBERS WHERE UPPER(CASTMEMBER) = \"" + AsciiUpper(p.CastName) + "\""},
      {"filter: two indexes", "SELECT VIDEOID FROM VIDEOS WHERE YEAR = \"" + p.MiddleYear + "\" AND TITLE >= \"M\""},
      {"filter: OR of ranges", "SELECT VIDEOID FROM VIDEOS WHERE YEAR < \"1935\" OR YEAR > \"2015\""},
      TitleSearch("filter: TEXTSEARCH a word", "house"),
      TitleSearch("filter: TEXTSEARCH two words", "love story"),
      TitleSearch("filter: TEXTSEARCH a prefix", "wom*"),
      TitleSearch("filter: TEXTSEARCH and range", "house", "YEAR BETWEEN \"1950\" AND \"1959\""),
      TitleSearch("filter: TEXTSEARCH and year", "lov*", "YEAR = \"" + p.MiddleYear + "\""),
      // Not sent by the application; shapes that show where the engine spends its time.
      {"other: IS NULL scan", "SELECT V.VIDEOID FROM VIDEOS V WHERE V.LENGTH IS NULL"},
      {"other: GROUP BY HAVING",
       "SELECT VIDEOID, COUNT(*) FROM VIDEOS_CASTMEMBERS GROUP BY VIDEOID HAVING COUNT(*) > 5"},
      {"other: LEFT JOIN IS NULL",
       "SELECT V.VIDEOID FROM VIDEOS V LEFT JOIN VIDEOS_CASTMEMBERS L ON V.VIDEOID = L.VIDEOID WHERE L.VIDEOID IS "
       "NULL"},
      {"other: NOT IN sub-select", "SELECT VIDEOID FROM VIDEOS WHERE YEAR = \"" + p.MiddleYear +
                                       "\" AND VIDEOID NOT IN (SELECT VIDEOID FROM VIDEOS_CASTMEMBERS)"},
      {"other: IN sub-select director",
       "SELECT V.TITLE FROM VIDEOS V WHERE V.VIDEOID IN (SELECT VIDEOID FROM "
       "VIDEOS_DIRECTORS WHERE DIRECTORID = " +
           p.DirectorId + ") ORDER BY V.TITLE"},
      {"other: IN sub-select cast",
       "SELECT V.TITLE, V.YEAR FROM VIDEOS V WHERE V.VIDEOID IN (SELECT VIDEOID FROM "
       "VIDEOS_CASTMEMBERS WHERE CASTMEMBERID = " +
           p.CastId + ") ORDER BY V.TITLE"},
      {"other: IN sub-select + years",
       "SELECT V.TITLE FROM VIDEOS V WHERE V.YEAR BETWEEN \"1930\" AND \"2030\" AND "
       "V.VIDEOID IN (SELECT VIDEOID FROM VIDEOS_CASTMEMBERS WHERE CASTMEMBERID = " +
           p.CastId + ")"},
      {"other: IN sub-select names",
       "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID IN (SELECT CASTMEMBERID "
       "FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = " +
           p.BusyVideoId + ") ORDER BY CASTMEMBER"},
      {"other: IN two sub-selects",
       "SELECT TITLE FROM VIDEOS WHERE VIDEOID IN (SELECT VIDEOID FROM VIDEOS_DIRECTORS "
       "WHERE DIRECTORID IN (SELECT DIRECTORID FROM DIRECTORS WHERE DIRECTOR = \"" +
           p.DirectorName + "\"))"},
      {"other: IN wide sub-select", "SELECT VIDEOID FROM VIDEOS WHERE YEAR = \"" + p.MiddleYear +
                                        "\" AND VIDEOID IN (SELECT VIDEOID FROM VIDEOS_CASTMEMBERS)"},
  };
}

// Median seconds of one run of fn: at least 3 runs, more until about half a second is spent.
// The thread's processor time in seconds: on a machine other work keeps busy it varies
// less than the elapsed time (PELLOMAR_BENCH_CPU).
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double MedianSeconds(const std::function<std::size_t()>& fn, std::size_t& rows) {
  static const bool processorTime = std::getenv("PELLOMAR_BENCH_CPU") != nullptr;
  std::vector<double> times;
  const auto budget = std::chrono::milliseconds(500);
  const auto started = Clock::now();
  while (times.size() < 3 || (Clock::now() - started < budget && times.size() < 1000)) {
    const auto t0 = Clock::now();
    const double cpu0 = processorTime ? ThreadSeconds() : 0;
    rows = fn();
    times.push_back(processorTime ? ThreadSeconds() - cpu0 : std::chrono::duration<double>(Clock::now() - t0).count());
  }
  std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> picked(argv + 1, argv + argc);
  std::string folder = twins::SharedCatalogueFolder();
  if (folder.empty()) folder = twins::OwnCatalogueFolder();
  std::printf("catalogue: %s\n", folder.c_str());
  try {
    twins::TCatalogueTwins catalogue(folder);
    std::printf("load: Quarry %.2f s, SQLite %.2f s\n\n", catalogue.QuarryLoadSeconds, catalogue.SqliteLoadSeconds);
    const twins::TPicks picks = twins::PickFacts(catalogue.Sqlite);
    IndexTitleWords(catalogue);
    catalogue.Sqlite.CopyTo(catalogue.Quarry.Folder() + "/bench.sqlite3");
    twins::TSqliteDatabase sqliteFile(catalogue.Quarry.Folder() + "/bench.sqlite3");
    std::printf("%-28s %8s %10s %10s %10s %7s %7s\n", "statement", "rows", "Quarry ms", "SQLite ms", "file ms", "ratio",
                "file");
    const std::vector<TBenchStatement> statements = Statements(picks);
    double logMemory = 0, logFile = 0;
    std::size_t applicationTimed = 0;
    for (std::size_t n = 0; n < statements.size(); ++n) {
      const TBenchStatement& statement = statements[n];
      if (!picked.empty() && std::none_of(picked.begin(), picked.end(), [&](const std::string& part) {
            return statement.Name.find(part) != std::string::npos;
          }))
        continue;
      if (std::getenv("PELLOMAR_BENCH_SHOW")) std::printf("%s\n", statement.Sql.c_str());
      std::size_t quarryRows = 0, sqliteRows = 0, fileRows = 0;
      double quarrySeconds = -1;
      // For profiling: PELLOMAR_BENCH_PROFILE=n runs the Quarry side n more times first.
      if (const char* profile = std::getenv("PELLOMAR_BENCH_PROFILE"))
        for (long i = std::atol(profile); i > 0; --i) catalogue.Quarry.Query(statement.Sql);
      std::string failure;
      try {
        quarrySeconds = MedianSeconds([&] { return catalogue.Quarry.Query(statement.Sql).Rows.size(); }, quarryRows);
      } catch (const std::exception& error) {
        failure = error.what();
      }
      const std::string& sqliteSql = statement.SqliteSql.empty() ? statement.Sql : statement.SqliteSql;
      const double sqliteSeconds =
          MedianSeconds([&] { return catalogue.Sqlite.Query(sqliteSql).Rows.size(); }, sqliteRows);
      const double fileSeconds = MedianSeconds([&] { return sqliteFile.Query(sqliteSql).Rows.size(); }, fileRows);
      if (!failure.empty()) {
        std::printf("%-28s %8zu %10s %10.3f %10.3f %7s %7s  Quarry failed: %s\n", statement.Name.c_str(), sqliteRows,
                    "-", sqliteSeconds * 1e3, fileSeconds * 1e3, "-", "-", failure.c_str());
        continue;
      }
      if (n < kApplicationStatements) {
        logMemory += std::log(quarrySeconds / sqliteSeconds);
        logFile += std::log(quarrySeconds / fileSeconds);
        ++applicationTimed;
      }
      std::printf("%-28s %8zu %10.3f %10.3f %10.3f %7.2f %7.2f%s\n", statement.Name.c_str(), quarryRows,
                  quarrySeconds * 1e3, sqliteSeconds * 1e3, fileSeconds * 1e3, quarrySeconds / sqliteSeconds,
                  quarrySeconds / fileSeconds,
                  quarryRows == sqliteRows && quarryRows == fileRows ? "" : "  (row counts differ)");
    }
    if (applicationTimed > 0) {
      const double count = static_cast<double>(applicationTimed);
      std::printf("\ngeometric mean of the ratios over %zu application statements: %.2f (in memory), %.2f (file)\n",
                  applicationTimed, std::exp(logMemory / count), std::exp(logFile / count));
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "sql_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}
