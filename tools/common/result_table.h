// TResultTable: the rows of one statement's result as texts, and the two ways the shell
// prints them: an aligned table for people and RFC 4180 CSV for programs.
//
// A value is a UTF-8 text or absent (NULL). Columns flagged numeric are right-aligned in the
// table. CSV output writes a header row of the column names, then one record per row; NULL is
// an empty field, an empty text a quoted empty field, and a field holding a comma, a double
// quote or a line end is quoted with its quotes doubled. Records end with CR LF.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace quarry::tools {

using TResultValue = std::optional<std::string>;

struct TResultColumn {
  std::string Name;
  bool Numeric = false;
};

struct TResultTable {
  std::vector<TResultColumn> Columns;
  std::vector<std::vector<TResultValue>> Rows;
};

// One CSV field as written (quoted when needed).
std::string CsvField(const TResultValue& value);
void PrintCsv(std::ostream& out, const TResultTable& table);
// The two halves of PrintCsv, for printing rows as they are read.
void PrintCsvHeader(std::ostream& out, const std::vector<TResultColumn>& columns);
void PrintCsvRow(std::ostream& out, const std::vector<TResultValue>& row);

// Header, a rule of dashes, the rows, then "(1 row)" or "(N rows)". Columns are as wide as
// their widest text counted in characters; NULL prints as nothing. Line ends inside a value
// print as blanks so that each row stays on one line.
void PrintAligned(std::ostream& out, const TResultTable& table);

// Number of characters (code points) of a UTF-8 text.
std::size_t DisplayWidth(std::string_view text);

}  // namespace quarry::tools
