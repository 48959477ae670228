// TTransactionExecutor: START TRANSACTION, COMMIT [WORK] [FLUSH] and ROLLBACK [WORK] on the
// statement's database.
//
// START TRANSACTION refuses a database already in a transaction ("Transaction already in
// progress for database '...'"); COMMIT and ROLLBACK refuse one that is not ("Transaction not
// in progress for database '...'"). COMMIT ends the transaction, asking the operating system
// to write its buffers when FLUSH is given. Rows affected: 0 (a script's sum of rows goes
// back to its value at START TRANSACTION on ROLLBACK; the statement sees to that).
#pragma once

#include "engine/sql/statement_execution.h"

namespace quarry {

class TQueryStatement;

class TTransactionExecutor : public TStatementExecutor {
 public:
  explicit TTransactionExecutor(TQueryStatement& statement) : Statement(statement) {}

  void Prepare() override {}
  void Execute() override;
  TDataCursor* ResultCursor() override { return nullptr; }
  std::int32_t RowsAffected() const override { return 0; }

 private:
  TQueryStatement& Statement;
};

}  // namespace quarry
