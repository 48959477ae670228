// The quarry shell: SQL over a directory of tables from the command line.
//
//   quarry DIR                       statements from standard input, each ending with ";"
//                                    (a statement ends on a line whose last character is a ";"
//                                    outside strings and comments; one line may hold several)
//   quarry DIR -c "SQL"              one statement, or several separated by ";"
//   quarry DIR --load-csv TABLE FILE [--type COLUMN=TYPE]... [--primary COLUMN] [--index COLUMN]...
//                                    creates TABLE from a CSV file and prints the row count
//   quarry DIR --verify [TABLE]...   checks the tables named (every table of DIR when none is):
//                                    the data file against its indexes and the BLOB file; one
//                                    line per table, "ok (N records)" or "damaged: ..."
// Options: --csv (header and rows as RFC 4180 CSV, NULL an empty field), --time (execution
// time after each statement), --plan (after each statement, how it read its tables: the
// filters installed on each table with their level, estimated records and indexes, the
// index range and the per-row tests), --password TEXT (known to the session for encrypted tables;
// --load-csv creates its table encrypted with it).
//
// Each statement runs on its own, in order, and prints its result: a SELECT its rows, an
// INSERT, UPDATE or DELETE "N rows affected" ("1 row affected"), the others nothing. Under
// --csv the rows affected, the time and the plan go to err, so that out stays CSV.
//
// Results go to out, errors to err; the return value is the exit status: 0 when everything
// ran (and, for --verify, every table is clean), 1 when a statement or the load failed (-c
// stops at the first statement that fails; standard input goes on with the next one) or a
// table is damaged or cannot be checked, 2 for a usage error.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quarry::tools {

// args: the command-line arguments after the program name.
int RunQuarryShell(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace quarry::tools
