// Planning a table for a CSV file: which fields it gets, of which types and sizes, and which
// indexes; and turning one CSV text into a value of a field's type.
//
// The header names the fields, in order. A column given a type (an SQL type name such as
// INTEGER, SMALLINT, FLOAT, DECIMAL(10,2), CHAR(20), DATE, BOOLEAN) gets that type; any other
// column is a string as long as its longest value in bytes (at least 1, at most 250; longer
// values are cut when stored, never inside a UTF-8 character). An empty field is NULL.
//
// Nothing here touches a table: planning reads the records only, so a faulty file or option
// is reported before anything is created.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/storage/data/field_definition.h"
#include "engine/values/exp_token.h"
#include "tools/common/csv_reader.h"

namespace quarry::tools {

// A wrong option (a type for no such column, a type name that is not one).
class ECsvLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TCsvLoadOptions {
  std::string Table;
  std::vector<std::pair<std::string, std::string>> Types;  // column, SQL type text
  std::string Primary;                                     // column of the primary index; empty: none
  std::vector<std::string> Indexes;                        // one secondary index per column, named after it
  std::string Password;                                    // non-empty: the table is created encrypted with it
};

struct TCsvTablePlan {
  std::vector<TFieldDefinition> Fields;  // numbered from 1 in header order
  int PrimaryField = 0;                  // field number; 0: no primary index
  std::vector<int> IndexFields;          // field numbers of the secondary indexes
};

// Field definition for an SQL type text; ECsvLoadError when it names no type.
TFieldDefinition FieldFromTypeText(const std::string& name, const std::string& typeText);

// records[0] is the header. Raises ECsvError for a record whose field count differs from
// the header's and ECsvLoadError for options naming no column of the header.
TCsvTablePlan PlanCsvTable(const std::vector<TCsvRecord>& records, const TCsvLoadOptions& options);

// Converts a non-empty CSV text into value (typed as field). Returns false with a reason
// when the text is no value of the field's type or out of its range. Strings are not cut
// here; storing them does that.
bool ConvertCsvValue(const TFieldDefinition& field, std::string_view text, TExpToken& value, std::string& reason);

// The SQL name of a field's type as the user would write it (CHAR(20), INTEGER, ...).
std::string TypeText(const TFieldDefinition& field);

}  // namespace quarry::tools
