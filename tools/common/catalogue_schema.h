// The catalogue's five tables as the program reads them, and building them from the five CSV
// files of a catalogue folder (videos.csv, castmembers.csv, directors.csv,
// videos_castmembers.csv, videos_directors.csv).
//
// | table              | columns                                                        | indexes |
// |--------------------|----------------------------------------------------------------|---------|
// | VIDEOS             | VIDEOID INTEGER, TITLE CHAR(80), YEAR CHAR(10), INDUSTRYRATING CHAR(9), LENGTH CHAR(9) | primary VIDEOID; TITLE; YEAR |
// | CASTMEMBERS        | CASTMEMBERID INTEGER, CASTMEMBER CHAR(longest name)             | primary CASTMEMBERID; CASTMEMBER |
// | DIRECTORS          | DIRECTORID INTEGER, DIRECTOR CHAR(longest name)                 | primary DIRECTORID; DIRECTOR |
// | VIDEOS_CASTMEMBERS | VIDEOID INTEGER, CASTMEMBERID INTEGER                           | VIDEOID; CASTMEMBERID |
// | VIDEOS_DIRECTORS   | VIDEOID INTEGER, DIRECTORID INTEGER                             | VIDEOID; DIRECTORID |
//
// Link tables have no primary index: nothing in the catalogue forbids a repeated link.
// Titles longer than 80 bytes are cut (never inside a UTF-8 character).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/table/directory.h"
#include "tools/common/csv_table_plan.h"

namespace quarry::tools {

// The password the program gives its session before it opens the catalogue.
inline constexpr const char* kCataloguePassword = "kqpwzra5";

struct TCatalogueTable {
  std::string CsvName;      // file name inside the source folder
  TCsvLoadOptions Options;  // table name, types, indexes, password
};

// The five tables in load order; password empty for unencrypted tables.
std::vector<TCatalogueTable> CatalogueTables(const std::string& password);

struct TCatalogueTableCount {
  std::string Table;
  std::int64_t Rows = 0;
};

// Loads the five CSV files of sourceDir into new tables of directory (none of them may exist
// there). A failure leaves none of the five behind.
std::vector<TCatalogueTableCount> LoadCatalogue(TDataDirectory& directory, const std::string& sourceDir,
                                                const std::string& password);

}  // namespace quarry::tools
