// TQuarryQuery: a dataset over the result of an SQL statement.
//
// The SQL lines make the statement text (joined by CR LF; with ParamCheck the ":name" marks
// become parameters). A query is unprepared, prepared (an engine TQueryStatement holds the
// parsed statement) or open (the statement ran and its result cursor is read). Opening
// prepares when needed; closing keeps it prepared; any change of the SQL lines or of the
// database name closes and unprepares it.
//
// The result cursor belongs to the statement. A canned result (RequestLive false, or a result
// the engine could not make live) is read-only: ReadOnly() becomes true and field writes fail
// with "Field %s cannot be modified.".
//
// With a DataSource, parameters not set by hand take the master's field of the same name, and
// the query is closed and reopened whenever the master moves.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/quarry_dataset.h"
#include "dbaccess/quarry_params.h"

namespace quarry {

class TQueryStatement;
class TQuarryQuery;

// The link from a master data source to a query: tells the query when the master moves,
// opens or closes. Detaches itself when destroyed.
class TQuarryQueryDataLink {
 public:
  explicit TQuarryQueryDataLink(TQuarryQuery& query);
  ~TQuarryQueryDataLink();
  TQuarryQueryDataLink(const TQuarryQueryDataLink&) = delete;
  TQuarryQueryDataLink& operator=(const TQuarryQueryDataLink&) = delete;

  TQuarryDataSet* DataSet() const { return source_; }
  void SetDataSet(TQuarryDataSet* source);

 private:
  TQuarryQuery& query_;
  TQuarryDataSet* source_ = nullptr;
  std::function<void()> notify_;
};

class TQuarryQuery : public TQuarryDBDataSet {
 public:
  using TProgressEvent = std::function<void(TQuarryQuery&, int percent, bool& abort)>;

  explicit TQuarryQuery(TQuarryOwner* owner = nullptr, std::string componentName = "");
  ~TQuarryQuery() override;

  std::string EngineVersion() const;
  void SetEngineVersion(std::string_view) {}

  // ---- SQL lines (every change closes and unprepares) ----
  const std::vector<std::string>& SQL() const { return lines_; }
  void SetSQL(std::vector<std::string> lines);
  void AddSQL(std::string_view line);
  void SetSQLLine(int index, std::string_view line);
  void ClearSQL();
  // The lines as one text (CR LF between lines).
  std::string SQLText() const;
  // The text handed to the engine (parameters marked with "?").
  const std::string& StatementText() const { return statementText_; }

  bool ParamCheck() const { return paramCheck_; }
  void SetParamCheck(bool on);
  TQuarryParams& Params() { return params_; }
  TQuarryParam& ParamByName(std::string_view name) { return params_.ParamByName(name); }

  bool RequestLive() const { return requestLive_; }
  void SetRequestLive(bool on);
  std::int32_t MaxRowCount() const { return maxRowCount_; }
  void SetMaxRowCount(std::int32_t count);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool on);
  TQuarryDataSet* DataSource() const { return link_.DataSet(); }
  // "Circular data links are not allowed." when the source follows this query.
  void SetDataSource(TQuarryDataSet* source);
  void SetOnQueryProgress(TProgressEvent handler) { onProgress_ = std::move(handler); }

  // ---- preparing and running ----
  bool Prepared() const { return statement_ != nullptr; }
  void SetPrepared(bool on) { on ? Prepare() : Unprepare(); }
  // "Cannot perform this operation on an open dataset"; "No SQL statement available".
  void Prepare();
  void Unprepare();
  // Runs a statement that returns no rows (or ignores them).
  void ExecSQL();
  std::int32_t RowsAffected() const { return rowsAffected_; }
  double ExecutionTime() const { return executionTime_; }

  void SetDatabaseName(std::string_view name) override;

 protected:
  TDataCursor* CreateCursor() override;
  bool OwnsCursor() const override { return false; }
  void AfterCursorOpen() override { SetCanModify(!readOnly_); }
  void CloseByDatabase() override;
  TQuarryDataSet* LinkSource() const override { return link_.DataSet(); }

 private:
  friend class TQuarryQueryDataLink;
  void SQLChanged();
  TDataCursor* Execute();
  // The master moved, opened or closed: reopen with its new values.
  void SourceChanged();

  std::vector<std::string> lines_;
  std::string statementText_;
  bool paramCheck_ = true;
  TQuarryParams params_;
  bool requestLive_ = false;
  std::int32_t maxRowCount_ = -1;
  bool readOnly_ = false;      // as reported: set by hand, or a result that cannot change
  bool userReadOnly_ = false;  // as set by hand
  TQuarryQueryDataLink link_{*this};
  TProgressEvent onProgress_;
  std::unique_ptr<TQueryStatement> statement_;
  std::int32_t rowsAffected_ = 0;
  double executionTime_ = 0.0;
  bool reopening_ = false;
};

}  // namespace quarry
