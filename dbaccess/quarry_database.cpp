// TQuarryDatabase: connecting through the session, the datasets open on it, and transactions
// on its engine directory (see quarry_database.h).
#include "dbaccess/quarry_database.h"

#include <algorithm>

#include "dbaccess/access_messages.h"
#include "dbaccess/name_compare.h"
#include "dbaccess/quarry_dataset.h"
#include "dbaccess/quarry_session.h"
#include "dbaccess/session_list.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"

namespace quarry {

TQuarryDatabase::TQuarryDatabase(TQuarryOwner* owner, std::string componentName)
    : TQuarryComponent(owner, std::move(componentName)) {
  // Known to the default session from the start, so datasets naming it find it.
  Sessions().DefaultSession().Attach(*this);
}

TQuarryDatabase::~TQuarryDatabase() {
  try {
    Close();
  } catch (...) {
    // Destruction goes on; the engine directory was given back or is gone with its session.
  }
  for (TQuarryDBDataSet* dataSet : std::vector<TQuarryDBDataSet*>(dataSets_)) dataSet->database_ = nullptr;
  DetachFromSession();
}

std::string TQuarryDatabase::EngineVersion() const { return QuarryEngineVersion; }

bool TQuarryDatabase::IsPathName(std::string_view name) { return name.find_first_of(":\\/") != std::string_view::npos; }

void TQuarryDatabase::RequireDisconnected() const {
  if (Connected()) msg::Raise(msg::DatabaseOpen);
}

void TQuarryDatabase::SetDatabaseName(std::string_view name) {
  RequireDisconnected();
  if (!temporary_ && IsPathName(name)) msg::Raise(msg::DatabaseNameInvalid, name);
  databaseName_ = NormalisePath(name);
}

void TQuarryDatabase::SetDirectory(std::string_view directory) {
  RequireDisconnected();
  directoryPath_ = NormalisePath(directory);
}

void TQuarryDatabase::SetRemoteDatabase(std::string_view name) {
  RequireDisconnected();
  remoteDatabase_ = NormalisePath(name);
}

void TQuarryDatabase::SetHandleShared(bool shared) {
  RequireDisconnected();
  handleShared_ = shared;
}

void TQuarryDatabase::SetSessionName(std::string_view name) {
  RequireDisconnected();
  if (name == sessionName_) return;
  DetachFromSession();
  sessionName_ = std::string(name);
}

void TQuarryDatabase::OwnerSessionNamed(const std::string& sessionName) {
  if (!Connected()) SetSessionName(sessionName);
}

void TQuarryDatabase::AttachToSession() {
  TQuarrySession& session = Sessions().Get(sessionName_);
  if (session_ == &session) return;
  DetachFromSession();
  session.Attach(*this);
}

void TQuarryDatabase::DetachFromSession() {
  if (session_ != nullptr) session_->Detach(*this);
  session_ = nullptr;
}

void TQuarryDatabase::Loaded(bool storedConnected) {
  if (storedConnected) {
    Open();
  } else {
    AttachToSession();
  }
}

void TQuarryDatabase::Open() {
  if (Connected()) return;
  if (beforeConnect_) beforeConnect_(*this);
  if (TrimmedView(databaseName_).empty() && !temporary_) msg::Raise(msg::DatabaseNameMissing);
  AttachToSession();
  TQuarrySession& session = *session_;
  for (TQuarryDatabase* other : std::vector<TQuarryDatabase*>(session.databases_)) {
    if (other == this || !SameName(other->databaseName_, databaseName_)) continue;
    if (other->temporary_ && other->refCount_ == 0) {
      session.FreeTemporary(*other);
    } else {
      msg::Raise(msg::DatabaseNameExists, databaseName_);
    }
  }
  session.SetActive(true);

  if (handleShared_) {
    for (TQuarryDatabase* other : session.databases_) {
      if (other != this && other->handleShared_ && other->Connected() &&
          SameName(other->databaseName_, databaseName_)) {
        directory_ = other->directory_;
        borrowed_ = true;
        return;
      }
    }
  }

  TSessionLock lock(session);
  const bool remote = session.SessionType() == TSessionType::stRemote;
  std::string engineName = remote ? remoteDatabase_ : (IsPathName(databaseName_) ? "" : databaseName_);
  directory_ = &session.EngineSession().OpenDirectory(engineName, remote ? "" : directoryPath_);
  borrowed_ = false;
}

void TQuarryDatabase::Close() {
  if (!Connected()) {
    refCount_ = 0;
    return;
  }
  closing_ = true;
  struct TReset {
    bool& flag;
    ~TReset() { flag = false; }
  } reset{closing_};
  // Last opened first.
  for (int guard = static_cast<int>(dataSets_.size()); guard > 0 && !dataSets_.empty(); --guard) {
    TQuarryDBDataSet* dataSet = dataSets_.back();
    dataSet->CloseByDatabase();
    RemoveDataSet(*dataSet);
  }
  if (!borrowed_ && session_ != nullptr) {
    // Databases that borrowed this handle cannot keep it once it is given back.
    for (TQuarryDatabase* other : std::vector<TQuarryDatabase*>(session_->databases_)) {
      if (other != this && other->borrowed_ && other->directory_ == directory_) other->Close();
    }
    TSessionLock lock(*session_);
    session_->EngineSession().CloseDirectory(*directory_);
  }
  directory_ = nullptr;
  borrowed_ = false;
  refCount_ = 0;
}

TDataDirectory& TQuarryDatabase::Handle() const {
  if (!Connected()) msg::Raise(msg::DatabaseClosed);
  return *directory_;
}

void TQuarryDatabase::AddDataSet(TQuarryDBDataSet& dataSet) {
  if (std::find(dataSets_.begin(), dataSets_.end(), &dataSet) == dataSets_.end()) {
    dataSets_.push_back(&dataSet);
  }
}

void TQuarryDatabase::RemoveDataSet(TQuarryDBDataSet& dataSet) {
  dataSets_.erase(std::remove(dataSets_.begin(), dataSets_.end(), &dataSet), dataSets_.end());
}

// ---- transactions ----

bool TQuarryDatabase::InTransaction() const { return Connected() && directory_->InTransaction(); }

void TQuarryDatabase::StartTransaction() {
  if (!Connected()) msg::Raise(msg::DatabaseClosed);
  if (directory_->InTransaction()) msg::Raise(msg::TransactionActive, databaseName_);
  TSessionLock lock(*session_);
  directory_->StartTransaction();
}

void TQuarryDatabase::Commit(bool flush) {
  if (!InTransaction()) msg::Raise(msg::NoTransaction, databaseName_);
  TSessionLock lock(*session_);
  directory_->Commit(true, flush);
}

void TQuarryDatabase::Rollback() {
  if (!InTransaction()) msg::Raise(msg::NoTransaction, databaseName_);
  TSessionLock lock(*session_);
  directory_->Rollback();
}

}  // namespace quarry
