// The quarry shell: SQL over a directory of tables from the command line.
//
//   quarry DIR                       statements from standard input, each ending with ";"
//                                    at the end of a line
//   quarry DIR -c "SQL"              one statement (or a script of several)
//   quarry DIR --load-csv TABLE FILE [--type COLUMN=TYPE]... [--primary COLUMN] [--index COLUMN]...
//                                    creates TABLE from a CSV file and prints the row count
// Options: --csv (header and rows as RFC 4180 CSV, NULL an empty field), --time (execution
// time after each statement), --plan (after each statement, how it read its tables: the
// filters installed on each table with their level, estimated records and indexes, the
// index range and the per-row tests), --password TEXT (known to the session for encrypted tables;
// --load-csv creates its table encrypted with it).
//
// Results go to out, errors to err; the return value is the exit status: 0 when everything
// ran, 1 when a statement or the load failed, 2 for a usage error.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quarry::tools {

// args: the command-line arguments after the program name.
int RunQuarryShell(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace quarry::tools
