// What the executors of INSERT, UPDATE and DELETE share; see change_executor.h.
#include "engine/sql/change_executor.h"

#include "engine/sql/query_statement.h"
#include "engine/sql/select_query.h"

namespace quarry {

TChangeExecutor::TChangeExecutor(TQueryStatement& statement)
    : Statement(statement), Query(*statement.Master()), Selects(statement) {}

TChangeExecutor::~TChangeExecutor() { Statement.SetExecutionHooks(nullptr); }

void TChangeExecutor::PrepareSelects() {
  Selects.Prepare();
  Statement.SetExecutionHooks(this);
}

void TChangeExecutor::RunSelects() { Selects.Execute(); }

TSelectQuery* TChangeExecutor::InsertSelect() const {
  return Query.InsertSelect != nullptr ? dynamic_cast<TSelectQuery*>(Query.InsertSelect->Execution.get()) : nullptr;
}

TEvalContext TChangeExecutor::ValueContext(uint16_t language, uint16_t sort) {
  TEvalContext context;
  context.Owner = this;
  context.Collation.Language = language;
  context.Collation.Sort = sort;
  return context;
}

int TChangeExecutor::SubSelectColumns(TDataQuery* query, TExpToken& columnType) {
  return Selects.SubSelectColumns(query, columnType);
}

TSubSelectMatch TChangeExecutor::SubSelectContains(TDataQuery* query, const TExpToken& value) {
  return Selects.SubSelectContains(query, value);
}

TSourceTable* TChangeExecutor::RegisterAutoIncTable(const std::string& tableName) {
  return Selects.RegisterAutoIncTable(tableName);
}

int32_t TChangeExecutor::LastAutoIncValue(TSourceTable* table, const std::string& tableName) {
  return Selects.LastAutoIncValue(table, tableName);
}

bool TChangeExecutor::TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences) {
  return SearchOwnSources(column, words, found, occurrences) || Selects.TextSearch(column, words, found, occurrences);
}

}  // namespace quarry
