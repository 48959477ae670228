// The fixed texts of the access layer's own errors (sessions, databases, datasets), and the
// helper that raises them. Each is raised as EDataSetError, the database error of this layer;
// engine failures keep their own exception (EQuarryEngineError) and text.
//
// Each "%s" in a text is replaced, in order, by an argument given (a name, a field, a
// parameter, a count).
#pragma once

#include <string>
#include <string_view>

#include "dbaccess/dataset_error.h"

namespace quarry::msg {

// Databases and sessions.
inline constexpr const char* DatabaseClosed = "Cannot perform this operation on a closed database.";
inline constexpr const char* DatabaseOpen = "Cannot perform this operation on an open database.";
inline constexpr const char* DatabaseNameMissing = "Database name is missing.";
inline constexpr const char* DatabaseNameInvalid = "Database name %s is not valid.";
inline constexpr const char* DatabaseNameExists = "Database name %s already exists.";
inline constexpr const char* SessionNameInvalid = "Session name %s is not valid.";
inline constexpr const char* SessionNameExists = "Session name %s already exists.";
inline constexpr const char* SessionNameMissing = "Session name is missing.";
inline constexpr const char* SessionActive = "Cannot perform this operation on an active session.";
inline constexpr const char* AutoSessionActive = "Cannot perform this operation on the active auto-session.";
inline constexpr const char* AutoSessionExists = "This auto-session already exists.";
inline constexpr const char* AutoSessionOnly = "The active auto-session can be the only active session.";
inline constexpr const char* NoTransaction = "Database %s has no active transaction.";
inline constexpr const char* TransactionActive = "Database %s already has an active transaction.";

// Datasets.
inline constexpr const char* NoTableHandle = "Error creating table handle.";
inline constexpr const char* DataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* DataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* NoSqlStatement = "No SQL statement available";
inline constexpr const char* NoParameterValue = "No value for parameter '%s'";
inline constexpr const char* NotEditing = "Table is not in edit or insert mode.";
inline constexpr const char* FieldNotInIndex = "Field %s is not in the current index.";
inline constexpr const char* FieldReadOnly = "Field %s cannot be modified.";
inline constexpr const char* FieldIndexRange = "Field index out of range.";
inline constexpr const char* IndexFieldMissing = "Cannot access index field %s.";
inline constexpr const char* FieldNotFound = "Field '%s' not found";
inline constexpr const char* CircularLink = "Circular data links are not allowed.";
inline constexpr const char* TableNameMissing = "Missing table name.";
inline constexpr const char* ParameterNotFound = "Parameter '%s' not found";
inline constexpr const char* NotBrowsing = "Dataset not in edit or insert mode";
inline constexpr const char* ReadOnlyDataSet = "Cannot modify a read-only dataset";
inline constexpr const char* InvalidInteger = "'%s' is not a valid integer value";
inline constexpr const char* InvalidFloat = "'%s' is not a valid floating point value";

// In-memory result sets and their row sources.
inline constexpr const char* NoDataProvider = "Missing data provider or data packet";
inline constexpr const char* TooManyRecords = "Too many records";
inline constexpr const char* ResultSetTooLarge = "Result set too large";
inline constexpr const char* RecordPositionRange = "Record position out of range.";
inline constexpr const char* NoCurrentRecord = "No current record";
inline constexpr const char* RowValueCount = "Row has %s values for %s fields";
inline constexpr const char* RowReadFailed = "Read failed at row %s";
inline constexpr const char* IndexNameMissing = "An index needs a name";
inline constexpr const char* IndexExists = "Index '%s' already exists";
inline constexpr const char* IndexNotFound = "Index '%s' not found";
inline constexpr const char* IndexWithoutFields = "Index '%s' has no fields";

// The text with its first "%s" replaced by arg (and the second by second).
std::string Format(std::string_view text, std::string_view arg);
std::string Format(std::string_view text, std::string_view arg, std::string_view second);

[[noreturn]] void Raise(std::string_view text);
[[noreturn]] void Raise(std::string_view text, std::string_view arg);
[[noreturn]] void Raise(std::string_view text, std::string_view arg, std::string_view second);

}  // namespace quarry::msg
