// Loading a CSV file into a new table through the cursor.
//
// The whole file is read, checked and converted before the table is created: a malformed
// line, a field count that differs from the header's, or a value that is no value of its
// column's type stops the load with the line's number and nothing is created. A failure
// while inserting (a duplicate primary key, a full disk) deletes the half-built table before
// the error goes on. Every row goes in through TDataCursor::InsertRecord, so indexes and
// counts are those of any other insert.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/storage/table/directory.h"
#include "tools/common/csv_table_plan.h"

namespace quarry::tools {

// Creates options.Table in directory from csvText and returns the number of rows loaded.
// Raises ECsvError (bad line, with its number), ECsvLoadError (bad option) or the engine's
// error (the table exists, a key violation: then with the line in ECsvError).
std::int64_t LoadCsvText(TDataDirectory& directory, const TCsvLoadOptions& options, std::string_view csvText);

// The same from a file; ECsvLoadError when it cannot be read.
std::int64_t LoadCsvFile(TDataDirectory& directory, const TCsvLoadOptions& options, const std::string& path);

// The whole content of a file; ECsvLoadError when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace quarry::tools
