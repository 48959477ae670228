// Chooses the executor of a prepared statement by its master query's kind.
#include "engine/sql/statement_execution.h"

#include <string>

#include "engine/sql/definition_executor.h"
#include "engine/sql/delete_executor.h"
#include "engine/sql/expression_error.h"
#include "engine/sql/insert_executor.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/select_executor.h"
#include "engine/sql/transaction_executor.h"
#include "engine/sql/update_executor.h"

namespace quarry {

std::unique_ptr<TStatementExecutor> MakeStatementExecutor(TQueryStatement& statement) {
  switch (statement.Kind()) {
  case TStatementKind::Select: return std::make_unique<TSelectExecutor>(statement);
  case TStatementKind::Insert: return std::make_unique<TInsertExecutor>(statement);
  case TStatementKind::Update: return std::make_unique<TUpdateExecutor>(statement);
  case TStatementKind::Delete: return std::make_unique<TDeleteExecutor>(statement);
  case TStatementKind::StartTransaction:
  case TStatementKind::Rollback:
  case TStatementKind::Commit: return std::make_unique<TTransactionExecutor>(statement);
  default: break;
  }
  if (auto definition = MakeDefinitionExecutor(statement)) return definition;
  // Other kinds are not run here: say which one was asked for.
  const std::string name = StatementName(statement.Kind());
  RaiseSqlError((name.empty() ? std::string("Empty") : name) + " statements are not supported");
}

}  // namespace quarry
