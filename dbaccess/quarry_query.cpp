// TQuarryQuery: statement text and parameters, prepare and unprepare, execution and the
// master link (see quarry_query.h).
#include "dbaccess/quarry_query.h"

#include "dbaccess/access_messages.h"
#include "dbaccess/quarry_session.h"
#include "engine/sql/query_statement.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {

TQuarryQueryDataLink::TQuarryQueryDataLink(TQuarryQuery& query) : query_(query) {
  notify_ = [this] { query_.SourceChanged(); };
}

TQuarryQueryDataLink::~TQuarryQueryDataLink() { SetDataSet(nullptr); }

void TQuarryQueryDataLink::SetDataSet(TQuarryDataSet* source) {
  if (source_ != nullptr) source_->RemoveLink(&notify_);
  source_ = source;
  if (source_ != nullptr) source_->AddLink(&notify_);
}

TQuarryQuery::TQuarryQuery(TQuarryOwner* owner, std::string componentName)
    : TQuarryDBDataSet(owner, std::move(componentName)) {}

TQuarryQuery::~TQuarryQuery() {
  link_.SetDataSet(nullptr);
  try {
    Close();
    Unprepare();
  } catch (...) {}
}

std::string TQuarryQuery::EngineVersion() const { return QuarryEngineVersion; }

// ---- SQL lines ----

void TQuarryQuery::SetSQL(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  SQLChanged();
}

void TQuarryQuery::AddSQL(std::string_view line) {
  lines_.emplace_back(line);
  SQLChanged();
}

void TQuarryQuery::SetSQLLine(int index, std::string_view line) {
  if (index < 0 || index >= static_cast<int>(lines_.size())) msg::Raise(msg::FieldIndexRange);
  lines_[static_cast<std::size_t>(index)] = std::string(line);
  SQLChanged();
}

void TQuarryQuery::ClearSQL() {
  lines_.clear();
  SQLChanged();
}

std::string TQuarryQuery::SQLText() const {
  std::string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines_[i];
  }
  return text;
}

void TQuarryQuery::SetParamCheck(bool on) {
  paramCheck_ = on;
  SQLChanged();
}

void TQuarryQuery::SQLChanged() {
  Close();
  Unprepare();
  std::string text = SQLText();
  if (paramCheck_) {
    TQuarryParams old = params_;
    params_.Clear();
    for (std::string& name : ScanParameters(text, statementText_)) params_.Add(std::move(name));
    params_.AssignValues(old);
  } else {
    statementText_ = std::move(text);
  }
}

void TQuarryQuery::SetRequestLive(bool on) {
  if (on == requestLive_) return;
  Close();
  Unprepare();
  requestLive_ = on;
}

void TQuarryQuery::SetMaxRowCount(std::int32_t count) {
  // Whether a live result is possible was settled when the statement was prepared, and a
  // row limit rules it out: a live request prepares again when a limit comes or goes.
  if (statement_ && requestLive_ && (count >= 0) != (maxRowCount_ >= 0)) {
    Close();
    Unprepare();
  }
  maxRowCount_ = count;
  if (statement_) {
    TSessionLock lock(LockSession());
    statement_->SetMaxRowCount(count);
  }
}

void TQuarryQuery::SetReadOnly(bool on) {
  if (Active()) msg::Raise(msg::DataSetOpen);
  userReadOnly_ = readOnly_ = on;
}

void TQuarryQuery::SetDatabaseName(std::string_view name) {
  if (Active() || Prepared()) {
    // The database use is open while the query is open; a prepared query lets it go.
    if (Active()) msg::Raise(msg::DatabaseOpen);
    Unprepare();
  }
  TQuarryDBDataSet::SetDatabaseName(name);
}

void TQuarryQuery::SetDataSource(TQuarryDataSet* source) {
  if (source == link_.DataSet()) return;
  CheckLinkCycle(source);
  link_.SetDataSet(source);
}

// ---- preparing ----

void TQuarryQuery::Prepare() {
  if (Active()) msg::Raise(msg::DataSetOpen);
  if (statement_) return;
  if (statementText_.size() < 2) msg::Raise(msg::NoSqlStatement);
  SetDatabaseFlag(duPrepared, true);
  try {
    TSessionLock lock(LockSession());
    auto statement = std::make_unique<TQueryStatement>(&Directory());
    statement->SetLiveRequest(requestLive_);
    statement->SetMaxRowCount(maxRowCount_);
    statement->SetPasswordCallback(this, [](void* self, TQueryStatement&) {
      return static_cast<TQuarryQuery*>(self)->DBSession().PasswordRequest();
    });
    if (onProgress_) {
      statement->SetProgressHandler(this, [](void* self, TQueryStatement&, int percent, bool& abort) {
        auto* query = static_cast<TQuarryQuery*>(self);
        if (query->onProgress_) query->onProgress_(*query, percent, abort);
      });
    }
    statement->Prepare(statementText_);
    statement_ = std::move(statement);
  } catch (...) {
    SetDatabaseFlag(duPrepared, false);
    throw;
  }
}

void TQuarryQuery::Unprepare() {
  if (Active()) msg::Raise(msg::DataSetOpen);
  if (statement_) {
    TSessionLock lock(LockSession());
    statement_.reset();
  }
  SetDatabaseFlag(duPrepared, false);
}

// ---- running ----

TDataCursor* TQuarryQuery::Execute() {
  if (lines_.empty()) msg::Raise(msg::NoSqlStatement);
  Prepare();
  TQuarryDataSet* source = link_.DataSet();
  if (source != nullptr && source->Active()) {
    for (int i = 0; i < params_.Count(); ++i) {
      TQuarryParam& param = params_.Items(i);
      if (param.Bound()) continue;
      if (TQuarryField* field = source->FindField(param.Name())) param.AssignFromField(*field);
    }
  }
  TQuarryParams::TBinding binding = params_.Bind();
  TSessionLock lock(LockSession());
  TDataCursor* cursor = nullptr;
  try {
    cursor = statement_->Execute(static_cast<int>(binding.Descriptors.size()), binding.Descriptors.data(),
                                 binding.Data.data(), binding.Data.size());
  } catch (const std::exception& error) {
    rowsAffected_ = 0;
    if (ErrorCodeOf(error) == QUARRY_SQLPARSE) {
      statement_.reset();
      SetDatabaseFlag(duPrepared, false);
    }
    throw;
  }
  rowsAffected_ = statement_->RowsAffected();
  executionTime_ = statement_->ExecutionTime();
  return cursor;
}

TDataCursor* TQuarryQuery::CreateCursor() {
  TDataCursor* cursor = Execute();
  if (cursor == nullptr) return nullptr;
  readOnly_ = userReadOnly_ || !requestLive_ || !statement_->LiveResult() || cursor->ReadOnly();
  return cursor;
}

void TQuarryQuery::ExecSQL() {
  if (Active()) msg::Raise(msg::DataSetOpen);
  SetDatabaseUse(true);
  try {
    Execute();
  } catch (...) {
    SetDatabaseUse(false);
    throw;
  }
  SetDatabaseUse(false);
}

void TQuarryQuery::CloseByDatabase() {
  Close();
  Unprepare();
}

void TQuarryQuery::SourceChanged() {
  TQuarryDataSet* source = link_.DataSet();
  if (reopening_ || source == nullptr) return;
  if (source->State() == TDataSetState::dsSetKey) return;
  if (!Active()) return;
  reopening_ = true;
  struct TReset {
    bool& flag;
    ~TReset() { flag = false; }
  } reset{reopening_};
  Close();
  if (source->Active()) Open();
}

}  // namespace quarry
