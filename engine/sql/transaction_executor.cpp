// START TRANSACTION, COMMIT and ROLLBACK; see transaction_executor.h.
#include "engine/sql/transaction_executor.h"

#include "engine/sql/expression_error.h"
#include "engine/sql/query_statement.h"
#include "engine/storage/table/directory.h"

namespace quarry {

namespace {

[[noreturn]] void RaiseTransactionError(const TDataDirectory& database, const std::string& stem) {
  const std::string name = database.DatabaseName();
  RaiseEngineError(kSqlErrorCode, {.database = name, .message = CutUtf8(stem + name + "'", kMaxMessageLength)});
}

}  // namespace

void TTransactionExecutor::Execute() {
  TDataDirectory* database = Statement.Database();
  if (database == nullptr) RaiseSqlError("No database for the statement");
  switch (Statement.Kind()) {
  case TStatementKind::StartTransaction:
    if (database->InTransaction()) RaiseTransactionError(*database, "Transaction already in progress for database '");
    database->StartTransaction();
    return;
  case TStatementKind::Rollback:
    if (!database->InTransaction()) RaiseTransactionError(*database, "Transaction not in progress for database '");
    database->Rollback();
    return;
  case TStatementKind::Commit:
    if (!database->InTransaction()) RaiseTransactionError(*database, "Transaction not in progress for database '");
    database->Commit(true, Statement.Master()->CommitFlush);
    return;
  default: return;
  }
}

}  // namespace quarry
