// TChangeExecutor: what the executors of INSERT, UPDATE and DELETE share.
//
// A data-changing statement may hold SELECT query blocks of its own: the SELECT of INSERT ...
// SELECT and the sub-selects of IN in its conditions. They are prepared and run by a SELECT
// executor inside this one, before the statement's own rows; from preparation on, this
// executor answers the expression engine's questions for the statement (sub-select results
// and LASTAUTOINC tables through the SELECT executor, text search over its own sources).
//
// No result cursor; RowsAffected is the number of rows the last execution changed.
#pragma once

#include <cstdint>
#include <string>

#include "engine/sql/expression_evaluator.h"
#include "engine/sql/select_executor.h"

namespace quarry {

class TChangeExecutor : public TStatementExecutor, public TExpressionOwner {
 public:
  explicit TChangeExecutor(TQueryStatement& statement);
  ~TChangeExecutor() override;

  TDataCursor* ResultCursor() override { return nullptr; }
  std::int32_t RowsAffected() const override { return Rows; }

  int SubSelectColumns(TDataQuery* query, TExpToken& columnType) override;
  TSubSelectMatch SubSelectContains(TDataQuery* query, const TExpToken& value) override;
  TSourceTable* RegisterAutoIncTable(const std::string& tableName) override;
  int32_t LastAutoIncValue(TSourceTable* table, const std::string& tableName) override;
  bool TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences) override;

 protected:
  TQueryStatement& Statement;
  TDataQuery& Query;
  std::int32_t Rows = 0;

  // Prepares the statement's SELECT blocks; call first in Prepare.
  void PrepareSelects();
  // Runs them (and opens the LASTAUTOINC tables); call first in Execute.
  void RunSelects();
  // The SELECT block of INSERT ... SELECT once run (null otherwise).
  class TSelectQuery* InsertSelect() const;
  // Text search over the statement's own sources; false when the column is not one of theirs.
  virtual bool SearchOwnSources(const TExpToken& /*column*/, const std::string& /*words*/, bool& /*found*/,
                                int32_t& /*occurrences*/) {
    return false;
  }
  // The context in which values are evaluated: the hooks, and the query's collation.
  TEvalContext ValueContext(uint16_t language, uint16_t sort);

 private:
  TSelectExecutor Selects;
};

}  // namespace quarry
