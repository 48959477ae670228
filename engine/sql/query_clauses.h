// The clause objects of a parsed SQL query block: source tables, result columns, ORDER BY
// and GROUP BY items, the columns and values of INSERT/UPDATE, and the column and index
// definitions of CREATE/ALTER TABLE and CREATE INDEX.
//
// Every clause object belongs to one TDataQuery (query_statement.h / data_query.h), which
// owns it through a unique_ptr; `Query` is a plain back reference. Expression trees held
// here are owned by the clause object. Parsing fills the fields marked "parsed"; the
// executor of the statement may attach its own per-object state through `Execution`.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/values/field_types.h"
#include "engine/values/token_stack.h"

namespace quarry {

class TDataCursor;
class TDataDirectory;
class TDataQuery;

// Per-object state an executor keeps on a query or clause object (open cursors, result
// layout, filter handles). Owned by the object; freed with it or by Unprepare.
class TExecutionState {
 public:
  virtual ~TExecutionState() = default;
};

// Statement kinds, with the numbers the engine uses for them.
enum class TStatementKind : uint8_t {
  None = 0,
  Select = 1,
  Insert = 2,
  Update = 3,
  Delete = 4,
  CreateTable = 5,
  AlterTable = 6,
  DropTable = 7,
  CreateIndex = 8,
  DropIndex = 9,
  StartTransaction = 10,
  Rollback = 11,
  Commit = 12,
};

// "SELECT", "CREATE TABLE", ... ("" for None): the statement's name in messages.
const char* StatementName(TStatementKind kind);

// Aggregate of a result column.
enum class TAggregateKind : uint8_t { None = 0, Sum = 1, RunSum = 2, Min = 3, Max = 4, Avg = 5, Count = 6 };

// What an ALTER TABLE action does to a column or to the primary key (None in CREATE TABLE).
enum class TAlterAction : uint8_t { None = 0, Add = 1, Drop = 2, Redefine = 3 };

// Index key compression codes as the index file stores them.
namespace compression {
inline constexpr uint8_t None = 0;
inline constexpr uint8_t DupByte = 1;
inline constexpr uint8_t TrailByte = 2;
inline constexpr uint8_t Full = 3;
}  // namespace compression

class TSourceTable {
 public:
  explicit TSourceTable(TDataQuery& query) : Query(&query) {}

  TDataQuery* Query;
  std::string TableName;     // parsed: file-name part, no path, no extension
  std::string DatabasePath;  // parsed: the path part of a name written with a path, or the
                             // first name of database\table; empty otherwise
  bool InMemory = false;     // parsed: MEMORY written (the in-memory database)
  // The statement's database unless the table names its own (DatabasePath or InMemory);
  // then null until the executor opens that database.
  TDataDirectory* Database = nullptr;
  std::string CorrelationName;  // parsed: the alias, defaulting to TableName
  bool AliasGiven = false;      // parsed
  int Position = 0;             // parsed: 1-based place in the FROM list

  // Execution: the open cursor on the table (owned by the executor's state).
  TDataCursor* Cursor = nullptr;
  std::unique_ptr<TExecutionState> Execution;
};

class TResultField {
 public:
  explicit TResultField(TDataQuery& query) : Query(&query) {}

  TDataQuery* Query;
  TExpTree Expression;                // parsed
  std::string SourceColumnName;       // plain column (or aggregate of one): the column name
  std::string SourceCorrelationName;  // ... and its qualifier, empty when unqualified
  std::string ResultName;             // the alias, or the column name of a plain column
  bool AliasGiven = false;
  bool Computed = false;  // an expression that is no plain column (nor aggregate of one)
  TAggregateKind Aggregate = TAggregateKind::None;
  std::string ExpressionText;  // the source text of the expression

  std::unique_ptr<TExecutionState> Execution;
};

class TOrderByField {
 public:
  explicit TOrderByField(TDataQuery& query) : Query(&query) {}

  TDataQuery* Query;
  std::string ColumnName;       // empty when written as a number
  std::string CorrelationName;  // empty when unqualified
  int ColumnNumber = 0;         // as written when ColumnName is empty (may be 0 or too large;
                                // preparation checks the range)
  bool Descending = false;
  int ResultColumn = 0;  // execution: the 1-based result column it names, 0 until resolved
};

class TGroupByField {
 public:
  explicit TGroupByField(TDataQuery& query) : Query(&query) {}

  TDataQuery* Query;
  std::string ColumnName;
  std::string CorrelationName;
  int ColumnNumber = 0;
  int ResultColumn = 0;  // execution: as for TOrderByField
};

// A target column of INSERT or UPDATE.
class TUpdateField {
 public:
  explicit TUpdateField(TDataQuery& query) : Query(&query) {}

  TDataQuery* Query;
  TExpTree Column;   // a column node; ColumnName "*" for INSERT without a column list
  std::string Text;  // its source text
  std::string ColumnName;
  std::string CorrelationName;
};

// A value of INSERT ... VALUES or of UPDATE ... SET.
class TUpdateValue {
 public:
  explicit TUpdateValue(TDataQuery& query) : Query(&query) {}

  TDataQuery* Query;
  TExpTree Value;
  std::string Text;
};

// A column of CREATE TABLE, or one column action of ALTER TABLE.
class TCreateField {
 public:
  explicit TCreateField(TDataQuery& query) : Query(&query) {}

  TDataQuery* Query;
  std::string ColumnName;
  std::string NewName;  // REDEFINE with a new name; empty otherwise
  // The data type node read by ParseDataType and completed by FinishDataType; null for DROP
  // and for a REDEFINE that keeps the type.
  TExpTree DataType;
  std::string Description;
  bool DescriptionGiven = false;
  bool NotNull = false;
  std::string DefaultText;  // constants stored as their text
  bool DefaultGiven = false;
  std::string MinimumText;
  bool MinimumGiven = false;
  std::string MaximumText;
  bool MaximumGiven = false;
  TCharCase CharCase = TCharCase::Unchanged;  // field_types.h
  bool CharCaseGiven = false;
  TAlterAction Action = TAlterAction::None;
  int AtPosition = 0;  // AT n (1-based); 0 when not given
};

// An index of CREATE INDEX, the primary key of CREATE TABLE, or a primary-key action of
// ALTER TABLE.
class TCreateIndex {
 public:
  explicit TCreateIndex(TDataQuery& query) : Query(&query) {}

  TDataQuery* Query;
  std::string IndexName;          // CONSTRAINT name for a primary key; may be empty there
  std::vector<TExpTree> Columns;  // plain column nodes
  bool Unique = false;
  bool Descending = false;
  bool NoCase = false;
  bool Primary = false;
  uint8_t Compression = compression::None;
  TAlterAction Action = TAlterAction::None;  // ALTER TABLE: what is done to the primary key

  // The column names in written order.
  std::vector<std::string> ColumnNames() const;
};

}  // namespace quarry
