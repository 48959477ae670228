// The hand-off between a parsed SQL statement and the code that runs it.
//
// TQueryStatement parses its text into queries, then asks MakeStatementExecutor for the
// executor of its master query's kind, prepares it once and executes it as often as the
// caller asks. Each statement kind has its own executor (SELECT, data-changing and
// data-definition statements).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quarry {

class TDataCursor;
class TQueryStatement;

// The executor of one prepared statement; the statement owns it from Prepare to Unprepare.
class TStatementExecutor {
 public:
  virtual ~TStatementExecutor() = default;
  virtual void Prepare() = 0;               // once, after parsing
  virtual void Execute() = 0;               // every execute
  virtual TDataCursor* ResultCursor() = 0;  // the result of a SELECT, else nullptr
  virtual std::int32_t RowsAffected() const = 0;
  // How the last execution read its tables (empty when the statement reads none).
  virtual std::string PlanText() const { return {}; }
};

// Makes the executor for the statement's master query kind; raises for kinds not run yet.
std::unique_ptr<TStatementExecutor> MakeStatementExecutor(TQueryStatement& statement);

}  // namespace quarry
