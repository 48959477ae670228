// Chooses the executor of a prepared statement by its master query's kind.
#include "engine/sql/statement_execution.h"

#include <string>

#include "engine/sql/expression_error.h"
#include "engine/sql/query_statement.h"

namespace quarry {

std::unique_ptr<TStatementExecutor> MakeStatementExecutor(TQueryStatement& statement) {
  // No kind can be run yet: say which one was asked for.
  const std::string name = StatementName(statement.Kind());
  RaiseExpressionError(kSqlErrorCode, "",
                       (name.empty() ? std::string("Empty") : name) + " statements are not supported");
}

} // namespace quarry
