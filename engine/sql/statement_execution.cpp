// Chooses the executor of a prepared statement by its master query's kind.
#include "engine/sql/statement_execution.h"

#include <string>

#include "engine/sql/definition_executor.h"
#include "engine/sql/expression_error.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/select_executor.h"

namespace quarry {

std::unique_ptr<TStatementExecutor> MakeStatementExecutor(TQueryStatement& statement) {
  if (statement.Kind() == TStatementKind::Select) return std::make_unique<TSelectExecutor>(statement);
  if (auto definition = MakeDefinitionExecutor(statement)) return definition;
  // Other kinds are not run here: say which one was asked for.
  const std::string name = StatementName(statement.Kind());
  RaiseSqlError((name.empty() ? std::string("Empty") : name) + " statements are not supported");
}

}  // namespace quarry
