// The catalogue's tables; see catalogue_schema.h.
#include "tools/common/catalogue_schema.h"

#include "tools/common/csv_loader.h"

namespace quarry::tools {

namespace {

TCatalogueTable Table(std::string table, std::vector<std::pair<std::string, std::string>> types, std::string primary,
                      std::vector<std::string> indexes, const std::string& password) {
  TCatalogueTable result;
  result.CsvName = table + ".csv";
  for (char& c : result.CsvName) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  result.Options.Table = std::move(table);
  result.Options.Types = std::move(types);
  result.Options.Primary = std::move(primary);
  result.Options.Indexes = std::move(indexes);
  result.Options.Password = password;
  return result;
}

}  // namespace

std::vector<TCatalogueTable> CatalogueTables(const std::string& password) {
  return {
      Table("VIDEOS",
            {{"VIDEOID", "INTEGER"},
             {"TITLE", "CHAR(80)"},
             {"YEAR", "CHAR(10)"},
             {"INDUSTRYRATING", "CHAR(9)"},
             {"LENGTH", "CHAR(9)"}},
            "VIDEOID", {"TITLE", "YEAR"}, password),
      Table("CASTMEMBERS", {{"CASTMEMBERID", "INTEGER"}}, "CASTMEMBERID", {"CASTMEMBER"}, password),
      Table("DIRECTORS", {{"DIRECTORID", "INTEGER"}}, "DIRECTORID", {"DIRECTOR"}, password),
      Table("VIDEOS_CASTMEMBERS", {{"VIDEOID", "INTEGER"}, {"CASTMEMBERID", "INTEGER"}}, "",
            {"VIDEOID", "CASTMEMBERID"}, password),
      Table("VIDEOS_DIRECTORS", {{"VIDEOID", "INTEGER"}, {"DIRECTORID", "INTEGER"}}, "", {"VIDEOID", "DIRECTORID"},
            password),
  };
}

std::vector<TCatalogueTableCount> LoadCatalogue(TDataDirectory& directory, const std::string& sourceDir,
                                                const std::string& password) {
  std::string folder = sourceDir;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  std::vector<TCatalogueTableCount> counts;
  try {
    for (const auto& table : CatalogueTables(password)) {
      const std::int64_t rows = LoadCsvFile(directory, table.Options, folder + table.CsvName);
      counts.push_back({table.Options.Table, rows});
    }
  } catch (...) {
    for (const auto& done : counts) {
      try {
        directory.DeleteTable(done.Table, directory.InMemory());
      } catch (const std::exception&) {
        // The load's own error is the one to report.
      }
    }
    throw;
  }
  return counts;
}

}  // namespace quarry::tools
