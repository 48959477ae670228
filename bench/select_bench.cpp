// Timing of the application's SELECT statements over the film catalogue (a plain timing
// program): the catalogue's CSV files are loaded into in-memory tables with the indexes a
// real catalogue has, then each statement is prepared, executed and read to its last row a
// number of times; the median time of a run is printed per statement.
//
// Usage: select_bench [catalogue folder] [runs] [text]. The folder defaults to
// PELLOMAR_CATALOGUE or ../shared/catalogue; with text only the statements containing it run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/sql/catalogue_tables.h"
#include "engine/sql/select_test_support.h"

using namespace quarry;

namespace {

double Milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : catalogue_testing::CatalogueFolder();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 11;
  const std::string only = argc > 3 ? argv[3] : "";
  if (folder.empty()) {
    std::printf("no catalogue folder\n");
    return 0;
  }
  select_testing::TSelectFixture fixture;
  const auto loadStart = std::chrono::steady_clock::now();
  catalogue_testing::LoadCatalogue(*fixture.Database, catalogue_testing::ReadCatalogue(folder));
  std::printf("load: %.0f ms\n", Milliseconds(loadStart));

  const std::vector<std::string> statements = {
      "SELECT YEAR FROM VIDEOS ORDER BY YEAR",
      "SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC",
      "SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER",
      "SELECT DIRECTOR FROM DIRECTORS ORDER BY DIRECTOR",
      "SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = \"John Wayne\"",
      "SELECT DIRECTORID FROM DIRECTORS WHERE DIRECTOR = \"John Ford\"",
      "SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = 17",
      "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = 2",
      "SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = 17",
      "SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = 2",
      // The search in its four join cases (A director, B cast member, C both, D neither).
      "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH\r\n, D.VIDEOID\r\n"
      "FROM VIDEOS V, VIDEOS_DIRECTORS D\r\n WHERE (V.VIDEOID = D.VIDEOID)\r\n AND (D.DIRECTORID = 2)\r\n"
      " AND \r\n (V.YEAR BETWEEN \"1900\" AND \"2023\")\r\n ORDER BY V.TITLE",
      "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH\r\n, C.VIDEOID\r\n"
      "FROM VIDEOS V, VIDEOS_CASTMEMBERS C\r\n WHERE (V.VIDEOID = C.VIDEOID) \r\n AND (C.CASTMEMBERID = 12)\r\n"
      " AND \r\n (V.YEAR BETWEEN \"1930\" AND \"1990\")\r\n AND (\r\n(V.INDUSTRYRATING = \"G\")\r\n OR "
      "\r\n (V.INDUSTRYRATING = \"PG\")\r\n)\r\n ORDER BY V.TITLE",
      "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH\r\n, C.VIDEOID, D.VIDEOID \r\n"
      "FROM VIDEOS V, VIDEOS_CASTMEMBERS C, VIDEOS_DIRECTORS D\r\n WHERE (V.VIDEOID = C.VIDEOID) AND "
      "(V.VIDEOID = D.VIDEOID) \r\n AND (C.CASTMEMBERID = 12)\r\n ORDER BY V.TITLE",
      "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH\r\nFROM VIDEOS V\r\n WHERE \r\n"
      " (V.YEAR BETWEEN \"1990\" AND \"1999\")\r\n AND (\r\n(V.INDUSTRYRATING = \"G\")\r\n OR \r\n"
      " (V.INDUSTRYRATING = \"PG\")\r\n)\r\n ORDER BY V.TITLE",
      "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH\r\nFROM VIDEOS V\r\n ORDER BY V.TITLE",
  };
  for (const std::string& sql : statements) {
    if (!only.empty() && sql.find(only) == std::string::npos) continue;
    std::vector<double> times;
    std::size_t rows = 0;
    for (int run = 0; run < runs; ++run) {
      const auto start = std::chrono::steady_clock::now();
      rows = fixture.RunSql(sql).Rows.size();
      times.push_back(Milliseconds(start));
    }
    std::sort(times.begin(), times.end());
    std::string oneLine = sql.substr(0, 90);
    std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
    std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
    std::printf("%9.2f ms %6zu rows  %s\n", times[times.size() / 2], rows, oneLine.c_str());
  }
  return 0;
}
