// The search as the main window runs it, through the access layer: the full-catalogue search
// query (database through the session, prepare, open) copied into the in-memory result set,
// which is then sorted by title and by year descending. Prints the median time of each step
// beside the statement's own execution time as the engine measured it.
//
// The catalogue is the shared one (PELLOMAR_SHARED_CATALOGUE, else ../shared/catalogue), else
// the program's own catalogue/ (PELLOMAR_SOURCE_DIR, else the current directory). It is loaded
// into password-protected tables in a temporary directory, which is removed at the end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "dbaccess/client_data_set.h"
#include "dbaccess/dataset_row_source.h"
#include "dbaccess/quarry_database.h"
#include "dbaccess/quarry_query.h"
#include "dbaccess/quarry_session.h"
#include "dbaccess/session_list.h"
#include "tools/common/catalogue_schema.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::string CatalogueFolder() {
  std::vector<std::string> candidates;
  if (const char* dir = std::getenv("PELLOMAR_SHARED_CATALOGUE")) candidates.emplace_back(dir);
  candidates.emplace_back("../shared/catalogue");
  candidates.emplace_back("../../shared/catalogue");
  candidates.emplace_back(std::string(std::getenv("PELLOMAR_SOURCE_DIR") ? std::getenv("PELLOMAR_SOURCE_DIR") : ".") +
                          "/catalogue");
  for (const std::string& dir : candidates) {
    std::error_code ec;
    if (fs::exists(fs::path(dir) / "videos.csv", ec)) return dir;
  }
  return {};
}

double Median(std::vector<double> times) {
  std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
  return times[times.size() / 2];
}

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

}  // namespace

int main() {
  using namespace quarry;
  const std::string folder = CatalogueFolder();
  if (folder.empty()) {
    std::fprintf(stderr, "dataset_bench: no catalogue folder found\n");
    return 1;
  }
  const fs::path tables = fs::temp_directory_path() / ("pellomar-dataset-bench-" + std::to_string(::getpid()));
  fs::create_directories(tables);
  int status = 0;
  try {
    TQuarryDatabase video;
    video.SetDatabaseName("Video");
    video.SetDirectory(tables.string() + "/");
    video.SetBeforeConnect([](TQuarryDatabase&) { DefaultSession().AddPassword(tools::kCataloguePassword); });
    video.Open();
    DefaultSession().SetPrivateDir(tables.string() + "/");
    const auto loadStart = Clock::now();
    std::int64_t videos = 0;
    {
      TSessionLock lock(DefaultSession());
      for (const auto& count : tools::LoadCatalogue(video.Handle(), folder, tools::kCataloguePassword)) {
        if (count.Table == "VIDEOS") videos = count.Rows;
      }
    }
    std::printf("catalogue: %s (%lld videos), loaded in %.2f s\n", folder.c_str(), static_cast<long long>(videos),
                Seconds(loadStart));

    TQuarryQuery search;
    search.SetDatabaseName("Video");
    search.SetParamCheck(false);
    TClientDataSet cds;
    cds.SetFieldDefs({{"VideoID", TResultFieldKind::Integer, 0},
                      {"Title", TResultFieldKind::String, 80},
                      {"IndustryRating", TResultFieldKind::String, 9},
                      {"Length", TResultFieldKind::String, 9},
                      {"Year", TResultFieldKind::String, 10}});
    cds.AddIndex({"ByTitle", "Title", "", "", true, false});
    cds.AddIndex({"ByYearDesc", "Year", "", "", false, true});

    std::vector<double> open, engine, fill, byTitle, byYear;
    int rows = 0;
    const int runs = 7;
    for (int run = 0; run < runs; ++run) {
      cds.Close();
      cds.SetIndexName("");
      search.Close();
      search.SetSQL({"SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH", "FROM VIDEOS V",
                     " ORDER BY V.TITLE"});
      auto t = Clock::now();
      search.Prepare();
      search.Open();
      open.push_back(Seconds(t));
      engine.push_back(search.ExecutionTime());
      TDataSetRowSource source(search);
      cds.SetSource(&source);
      t = Clock::now();
      cds.Open();
      fill.push_back(Seconds(t));
      rows = cds.RecordCount();
      t = Clock::now();
      cds.SetIndexName("ByTitle");
      byTitle.push_back(Seconds(t));
      t = Clock::now();
      cds.SetIndexName("ByYearDesc");
      byYear.push_back(Seconds(t));
      cds.SetSource(nullptr);
    }
    std::printf("full-catalogue search, %d rows, median of %d runs:\n", rows, runs);
    std::printf("  %-40s %9.1f ms\n", "prepare + open the query (wall)", Median(open) * 1e3);
    std::printf("  %-40s %9.1f ms\n", "  of which the statement's own time", Median(engine) * 1e3);
    std::printf("  %-40s %9.1f ms\n", "fill the in-memory result set", Median(fill) * 1e3);
    std::printf("  %-40s %9.1f ms\n", "sort by title", Median(byTitle) * 1e3);
    std::printf("  %-40s %9.1f ms\n", "sort by year descending", Median(byYear) * 1e3);
    search.Close();
    search.Unprepare();
    video.Close();
    Sessions().DeactivateAll();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "dataset_bench: %s\n", error.what());
    status = 1;
  }
  std::error_code ec;
  fs::remove_all(tables, ec);
  return status;
}
