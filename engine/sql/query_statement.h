// TQueryStatement: one SQL text made into statement objects, and the interface the query
// dataset drives it through: prepare, bind parameters, execute, read the result.
//
// Life of a statement:
//   TQueryStatement s(database);        // the TDataDirectory it runs against
//   s.SetMaxRowCount(n); s.SetLiveRequest(live); callbacks ...
//   s.Prepare(text);                    // parse the first statement, make and prepare its executor
//   s.Execute(count, descriptors, data);// bind, run, then every further statement of a script
//   s.ResultCursor(), s.RowsAffected(), s.ExecutionTime()
//   s.Unprepare();                      // or Prepare again, or destroy
//
// Parse(text) parses without preparing (no table is touched): the tree can be inspected
// and the first statement's text range is known. Every parse error raises the engine error
// QUARRY_SQLPARSE with the statement or expression message; a failed Parse or Prepare leaves the
// statement unprepared.
//
// Ownership: the statement owns its queries (in creation order, the master among them), the
// queries own their clause objects and trees, and the executor lives from Prepare to
// Unprepare. The result cursor belongs to the executor. One thread uses a statement at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/data_query.h"
#include "engine/sql/expression_owner.h"
#include "engine/sql/expression_parser.h"
#include "engine/sql/query_clauses.h"

namespace quarry {

class TDataCursor;
class TDataDirectory;
class TStatementExecutor;

// Where one parameter's value lies in the caller's data block. At Offset lies a byte, 1 when
// the parameter has a value and 0 for NULL, followed by the value in the record encoding;
// a memo or BLOB parameter holds there a 32-bit length followed by a pointer to the bytes.
struct TParameterDescriptor {
  uint8_t DataType = 0;
  uint8_t SubType = 0;
  int32_t Size = 0;  // value size in bytes (strings: capacity including the terminator)
  uint8_t Scale = 0;
  uint32_t Offset = 0;
};

class TQueryStatement : public TExpressionOwner {
 public:
  // Receives a percentage done; setting abort ends the running statement normally.
  using TProgressHandler = void (*)(void* userData, TQueryStatement& statement, int percent, bool& abort);
  // Asked when an encrypted table's password is not known to the session; may add
  // passwords to the session; true means try again.
  using TPasswordCallback = bool (*)(void* userData, TQueryStatement& statement);

  explicit TQueryStatement(TDataDirectory* database);
  ~TQueryStatement() override;
  TQueryStatement(const TQueryStatement&) = delete;
  TQueryStatement& operator=(const TQueryStatement&) = delete;

  // ---- settings ----
  // Rows after which a SELECT stops (-1: no limit); passed on to a parsed master query.
  void SetMaxRowCount(int32_t count);
  int32_t MaxRowCount() const { return MaxRows; }
  void SetLiveRequest(bool live) { Live = live; }
  bool LiveRequest() const { return Live; }
  void SetProgressHandler(void* userData, TProgressHandler handler);
  void SetPasswordCallback(void* userData, TPasswordCallback callback);

  // ---- preparing ----
  // Parses the first statement of text into the master query (errors raised from here).
  void Parse(std::string_view text);
  // Parse, then make the executor for the master query's kind and prepare it.
  void Prepare(std::string_view text);
  // Frees the executor, every query, clause object and tree; the statement is empty again.
  void Unprepare();
  bool Prepared() const { return Executor != nullptr; }

  // ---- executing ----
  // Binds parameters (one descriptor per `?` of the whole text, in order of appearance; the
  // following statements of a script take the next ones), runs the master statement and
  // then every further statement of the text. Returns the result cursor of the last one
  // (SELECT), else null.
  // dataSize is the size of the data block; a slot that does not lie inside it raises.
  TDataCursor* Execute(int parameterCount = 0, const TParameterDescriptor* descriptors = nullptr,
                       const uint8_t* data = nullptr, std::size_t dataSize = 0);
  TDataCursor* ResultCursor() const;
  // The result cursor is the source table's own cursor (a live result), whose changes
  // reach the table; false for a canned result.
  bool LiveResult() const { return MasterQuery != nullptr && MasterQuery->LiveResult; }
  int32_t RowsAffected() const { return Rows; }
  double ExecutionTime() const { return Seconds; }
  // How the last execution read its tables: per table the filters installed (level,
  // estimated records, indexes), the index range, the join and the per-row tests.
  std::string PlanText() const;

  // ---- for executors ----
  TDataDirectory* Database() const { return Db; }
  TDataQuery* Master() const { return MasterQuery; }
  // Every query of the current statement in creation order (the master first).
  const std::vector<std::unique_ptr<TDataQuery>>& Queries() const { return QueryList; }
  // The `?` nodes of the current statement in order of appearance (owned by their trees).
  const std::vector<TExpToken*>& Parameters() const { return ParameterList; }
  TStatementKind Kind() const { return MasterQuery ? MasterQuery->Kind : TStatementKind::None; }
  // Calls the progress handler (if any); true when it asked to abort.
  bool ReportProgress(int percent);
  bool WantsProgress() const { return ProgressHandler != nullptr; }
  // Calls the password callback; false (give up) without one.
  bool AskPassword();
  bool HasPasswordCallback() const { return PasswordCallback != nullptr; }
  // An executor that answers the execution hooks of the expression engine (sub-select
  // results, LASTAUTOINC tables, text search); the statement forwards them. Not owned.
  void SetExecutionHooks(TExpressionOwner* hooks) { Hooks = hooks; }
  // The whole text given to Parse or Prepare.
  const std::string& Text() const { return Parser.Source(); }

  // Makes the executor of a parsed statement; MakeStatementExecutor unless replaced
  // (tests run the statement machinery with executors of their own).
  using TExecutorFactory = std::unique_ptr<TStatementExecutor> (*)(TQueryStatement& statement);
  void SetExecutorFactory(TExecutorFactory factory);

  // ---- for the parser ----
  TExpressionParser& ExpressionParser() { return Parser; }
  // Sub-selects nest at most this deep (each level recurses through the whole grammar).
  static constexpr int kMaxSubSelectDepth = 32;
  // A new, empty query registered with the statement.
  TDataQuery& NewQuery();

  // TExpressionOwner
  void AddParameter(TExpToken* node) override;
  TDataQuery* ParseSubSelect(TExpressionParser& parser) override;
  int SubSelectColumns(TDataQuery* query, TExpToken& columnType) override;
  TSubSelectMatch SubSelectContains(TDataQuery* query, const TExpToken& value) override;
  TSourceTable* RegisterAutoIncTable(const std::string& tableName) override;
  int32_t LastAutoIncValue(TSourceTable* table, const std::string& tableName) override;
  bool TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences) override;

 private:
  TDataDirectory* Db;
  TExpressionParser Parser;
  std::vector<std::unique_ptr<TDataQuery>> QueryList;
  TDataQuery* MasterQuery = nullptr;
  std::vector<TExpToken*> ParameterList;
  std::unique_ptr<TStatementExecutor> Executor;
  TExpressionOwner* Hooks = nullptr;
  TExecutorFactory Factory;
  int SubSelectDepth = 0;

  bool Live = false;
  int32_t MaxRows = -1;
  int32_t Rows = 0;
  double Seconds = 0.0;

  void* ProgressData = nullptr;
  TProgressHandler ProgressHandler = nullptr;
  void* PasswordData = nullptr;
  TPasswordCallback PasswordCallback = nullptr;

  // Frees the queries and the executor, keeps the text and scan position.
  void ClearQueries();
  // Parses the statement at the current token into a fresh master query.
  void ParseCurrentStatement();
  // Makes and prepares the executor of the parsed master query.
  void PrepareExecutor();
  // Copies the caller's values into the parameter nodes, from parameter `first` on;
  // returns the number bound.
  int BindParameters(int first, int parameterCount, const TParameterDescriptor* descriptors, const uint8_t* data,
                     std::size_t dataSize);
};

}  // namespace quarry
