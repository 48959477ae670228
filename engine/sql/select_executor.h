// TSelectExecutor: runs a prepared SELECT statement: every query block of the statement (the
// master, its UNION parts and the sub-selects of IN), and hands back the master's result
// cursor. It also answers the expression engine's questions about sub-selects (how many
// columns, does a result hold a value) for the statement.
//
// Order: preparation runs the most recently created query first and the master last, so a
// sub-select is prepared before the condition that uses it is checked; execution runs the
// nested queries first (most recent first), then the master with its chain of UNION parts,
// combined from the last part backwards, then the master's ORDER BY and TOP.
#pragma once

#include <cstdint>

#include "engine/sql/auto_inc_tables.h"
#include "engine/sql/expression_owner.h"
#include "engine/sql/statement_execution.h"

namespace quarry {

class TDataQuery;
class TQueryStatement;
class TSelectQuery;

class TSelectExecutor : public TStatementExecutor, public TExpressionOwner {
 public:
  explicit TSelectExecutor(TQueryStatement& statement);
  ~TSelectExecutor() override;

  void Prepare() override;
  void Execute() override;
  TDataCursor* ResultCursor() override;
  std::int32_t RowsAffected() const override { return Rows; }
  // Each executed query block's plan, the master first.
  std::string PlanText() const override;

  // TExpressionOwner: sub-selects.
  int SubSelectColumns(TDataQuery* query, TExpToken& columnType) override;
  TSubSelectMatch SubSelectContains(TDataQuery* query, const TExpToken& value) override;
  // LASTAUTOINC / IDENT_CURRENT.
  TSourceTable* RegisterAutoIncTable(const std::string& tableName) override;
  int32_t LastAutoIncValue(TSourceTable* table, const std::string& tableName) override;
  // The rest goes to the statement.
  bool TextSearch(const TExpToken& column, const std::string& words, bool& found, std::int32_t& occurrences) override;

 private:
  TQueryStatement& Statement;
  std::int32_t Rows = 0;
  TAutoIncTables AutoIncTables;

  static TSelectQuery* StateOf(TDataQuery* query);
  // Fills query and, behind it, its UNION parts, combined from the last part backwards.
  void FillWithUnions(TDataQuery& query);
  void CheckUnion(TDataQuery& master, TDataQuery& part);
};

}  // namespace quarry
