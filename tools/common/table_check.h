// Checking the tables of a folder for damage, for quarry --verify: each table is opened
// read-only and its data file walked against its indexes (the cursor's Verify: the record
// count, every index's keys and order, "Sys Deleted", the text index), then every BLOB value
// is read back from the BLOB file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarry {
class TDataDirectory;
}

namespace quarry::tools {

// What checking one table found.
struct TTableCheck {
  enum class TOutcome {
    Clean,       // data, indexes and BLOBs agree
    Damaged,     // Finding says what disagrees, or why the table cannot be read
    NotChecked,  // the table could not be opened for another reason (Finding: the error)
  };
  TOutcome Outcome = TOutcome::Clean;
  std::string Finding;
  std::int64_t Records = 0;
};

// The tables of a folder: every file with the data extension (in any case), by name.
std::vector<std::string> TablesInFolder(const std::string& folder);

// Checks one table of the directory. Never raises for what it finds: an error while
// opening or reading is damage, except a missing table, a missing password and a table held
// exclusively elsewhere, which leave it unchecked.
TTableCheck CheckTable(TDataDirectory& directory, const std::string& table);

}  // namespace quarry::tools
