// TQuarrySession: activation, settings passed to the engine session, passwords, the
// databases of the session and the re-entrant engine lock (see quarry_session.h).
#include "dbaccess/quarry_session.h"

#include <algorithm>

#include "dbaccess/access_messages.h"
#include "dbaccess/name_compare.h"
#include "dbaccess/quarry_database.h"
#include "dbaccess/session_list.h"
#include "engine/sql/sql_filter_engine.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {

namespace {

std::mutex promptLock;
TQuarrySession::TPasswordPrompt& Prompt() {
  static TQuarrySession::TPasswordPrompt prompt;
  return prompt;
}

constexpr std::size_t MaxPasswordLength = 255;

bool HoldsAutoSession(const TQuarryOwner* owner, const TQuarrySession* except) {
  if (owner == nullptr) return false;
  for (TQuarryComponent* component : owner->Components()) {
    auto* session = dynamic_cast<TQuarrySession*>(component);
    if (session != nullptr && session != except && session->AutoSessionName()) return true;
  }
  return false;
}

}  // namespace

TQuarrySession::TQuarrySession(TQuarryOwner* owner, std::string componentName)
    : TQuarryComponent(owner, std::move(componentName)), list_(TQuarrySessionList::Process()) {
  if (HoldsAutoSession(owner, this)) msg::Raise(msg::AutoSessionExists);
  list_.Add(this);
}

TQuarrySession::TQuarrySession(TDefaultTag, TQuarrySessionList& list)
    : TQuarryComponent(nullptr, "Session"), list_(list), isDefault_(true), sessionName_("Default") {
  list_.Add(this);
}

TQuarrySession::~TQuarrySession() {
  try {
    SetActive(false);
  } catch (...) {
    // Going away regardless; the engine session is released below.
  }
  temporaries_.clear();
  // Databases that outlive their session lose it: closed, and (unless this was the default
  // session, which every empty session name means) their session name cleared.
  for (TQuarryDatabase* database : std::vector<TQuarryDatabase*>(databases_)) {
    try {
      database->Close();
    } catch (...) {}
    database->session_ = nullptr;
    if (!isDefault_) database->sessionName_.clear();
  }
  databases_.clear();
  ownEngine_.reset();
  if (autoNumber_ >= 0) list_.ReleaseAutoNumber(autoNumber_);
  list_.Remove(this);
}

// ---- activation ----

void TQuarrySession::SetActive(bool active) {
  if (active == Active()) return;
  active ? Activate() : Deactivate();
}

void TQuarrySession::Activate() {
  std::lock_guard guard(list_.EngineLock());
  if (Active() || activating_) return;
  activating_ = true;
  struct TReset {
    bool& flag;
    ~TReset() { flag = false; }
  } reset{activating_};
  if (onStartup_) onStartup_(*this);
  if (TrimmedView(sessionName_).empty()) msg::Raise(msg::SessionNameMissing);
  if (!isDefault_) list_.DefaultSession().SetActive(true);

  // Datasets of the session filter their cursors with expressions.
  UseSqlFilterEngine();
  TDataSession* engine = nullptr;
  try {
    if (isDefault_) {
      engine = &list_.GlobalEngineSession();
    } else {
      ownEngine_ = std::make_unique<TDataSession>();
      engine = ownEngine_.get();
    }
    ConfigureEngine(*engine);
    if (sessionType_ == TSessionType::stRemote) {
      // This build has no client for a database server.
      RaiseEngineError(QUARRY_REMOTECONNECT, {.user = remoteUser_, .message = remoteAddress_});
    }
  } catch (...) {
    if (isDefault_) {
      list_.ReleaseGlobalEngineSession();
    } else {
      ownEngine_.reset();
    }
    throw;
  }
  engine_ = engine;
}

void TQuarrySession::ConfigureEngine(TDataSession& engine) const {
  engine.SetPrivateDir(privateDir_);
  TSessionSettings& s = engine.Settings();
  s.StrictChangeDetection = settings_.StrictChangeDetection;
  s.ForceBufferFlush = settings_.ForceBufferFlush;
  s.LockRetryCount = settings_.LockRetryCount;
  s.LockWaitTime = settings_.LockWaitTime;
  s.LockProtocol = settings_.LockProtocol;
  s.ProgressSteps = settings_.ProgressSteps;
  s.RecordBufferBytes = settings_.RecordBufferBytes;
  s.RecordBufferCount = settings_.RecordBufferCount;
  s.ThirdBufferBytes = settings_.ThirdBufferBytes;
  s.BlobBufferBytes = settings_.BlobBufferBytes;
  s.BlobBufferCount = settings_.BlobBufferCount;
}

void TQuarrySession::Deactivate() {
  std::lock_guard guard(list_.EngineLock());
  if (!Active()) return;
  list_.SetCurrentEngineSession(engine_);
  for (auto it = databases_.rbegin(); it != databases_.rend();) {
    TQuarryDatabase* database = *it;
    ++it;
    if (database->Temporary()) {
      // Erasing shifts the vector: restart from the (new) end.
      FreeTemporary(*database);
      it = databases_.rbegin();
    } else {
      database->Close();
    }
  }
  if (isDefault_) {
    list_.ReleaseGlobalEngineSession();
  } else {
    ownEngine_.reset();
  }
  engine_ = nullptr;
  // Engine calls fall back to the default session's engine session.
  TQuarrySession& fallback = list_.DefaultSession();
  list_.SetCurrentEngineSession(&fallback == this ? nullptr : fallback.engine_);
}

// ---- the engine lock ----

void TQuarrySession::Lock() {
  list_.EngineLock().lock();
  if (lockDepth_ == 0) {
    try {
      if (!Active()) Activate();
    } catch (...) {
      list_.EngineLock().unlock();
      throw;
    }
    previousCurrent_ = list_.CurrentEngineSession();
    list_.SetCurrentEngineSession(engine_);
  }
  ++lockDepth_;
}

void TQuarrySession::Unlock() {
  if (lockDepth_ <= 0) return;
  if (--lockDepth_ == 0) list_.SetCurrentEngineSession(previousCurrent_);
  list_.EngineLock().unlock();
}

TDataSession& TQuarrySession::EngineSession() {
  if (!Active()) Activate();
  return *engine_;
}

template <typename F>
void TQuarrySession::WithEngine(F f) {
  if (!Active()) return;
  TSessionLock lock(*this);
  f(*engine_);
}

// ---- settings ----

void TQuarrySession::RequireInactive() const {
  if (Active()) msg::Raise(msg::SessionActive);
}

void TQuarrySession::SetSessionName(std::string_view name) {
  if (autoSessionName_) msg::Raise(msg::AutoSessionActive);
  if (name == sessionName_) return;
  // Databases find their session by name: an active session keeps it.
  RequireInactive();
  if (!TrimmedView(name).empty()) {
    TQuarrySession* other = list_.Find(name);
    if (other != nullptr && other != this) msg::Raise(msg::SessionNameExists, name);
  }
  sessionName_ = std::string(name);
}

void TQuarrySession::SetAutoSessionName(bool on) {
  if (on == autoSessionName_) return;
  RequireInactive();
  if (on) {
    if (Owner() != nullptr) {
      for (TQuarryComponent* component : Owner()->Components()) {
        if (component != this && dynamic_cast<TQuarrySession*>(component) != nullptr) {
          msg::Raise(msg::AutoSessionOnly);
        }
      }
    }
    int number = list_.TakeAutoNumber();
    std::string name = Name() + "_" + std::to_string(number + 1);
    autoNumber_ = number;
    autoSessionName_ = true;
    sessionName_ = name;
    if (Owner() != nullptr) {
      for (TQuarryComponent* component : Owner()->Components()) {
        if (component != this) component->OwnerSessionNamed(name);
      }
    }
  } else {
    list_.ReleaseAutoNumber(autoNumber_);
    autoNumber_ = -1;
    autoSessionName_ = false;
  }
}

void TQuarrySession::SetForceBufferFlush(bool on) {
  settings_.ForceBufferFlush = on;
  WithEngine([on](TDataSession& e) { e.Settings().ForceBufferFlush = on; });
}

void TQuarrySession::SetLockRetryCount(std::uint8_t count) {
  settings_.LockRetryCount = count;
  WithEngine([count](TDataSession& e) { e.Settings().LockRetryCount = count; });
}

void TQuarrySession::SetLockWaitTime(std::uint16_t ms) {
  settings_.LockWaitTime = ms;
  WithEngine([ms](TDataSession& e) { e.Settings().LockWaitTime = ms; });
}

void TQuarrySession::SetLockProtocol(TLockProtocol protocol) {
  settings_.LockProtocol = protocol;
  WithEngine([protocol](TDataSession& e) { e.Settings().LockProtocol = protocol; });
}

void TQuarrySession::SetPrivateDir(std::string_view directory) {
  privateDir_ = NormalisePath(directory);
  WithEngine([this](TDataSession& e) { e.SetPrivateDir(privateDir_); });
}

void TQuarrySession::SetProgressSteps(std::uint16_t steps) {
  if (steps > 100) return;
  settings_.ProgressSteps = steps;
  WithEngine([steps](TDataSession& e) { e.Settings().ProgressSteps = steps; });
}

void TQuarrySession::SetStrictChangeDetection(bool on) {
  settings_.StrictChangeDetection = on;
  WithEngine([on](TDataSession& e) { e.Settings().StrictChangeDetection = on; });
}

void TQuarrySession::SetSessionType(TSessionType type) {
  RequireInactive();
  sessionType_ = type;
}
void TQuarrySession::SetRemoteType(TRemoteType type) {
  RequireInactive();
  remoteType_ = type;
}
void TQuarrySession::SetRemoteHost(std::string_view host) {
  RequireInactive();
  remoteHost_ = host;
}
void TQuarrySession::SetRemoteAddress(std::string_view address) {
  RequireInactive();
  remoteAddress_ = address;
}
void TQuarrySession::SetRemotePort(int port) {
  RequireInactive();
  remotePort_ = port;
}
void TQuarrySession::SetRemoteService(std::string_view service) {
  RequireInactive();
  remoteService_ = service;
}
void TQuarrySession::SetRemoteTrace(bool on) {
  RequireInactive();
  remoteTrace_ = on;
}
void TQuarrySession::SetRemoteUser(std::string_view user) {
  RequireInactive();
  remoteUser_ = user;
}
void TQuarrySession::SetRemotePassword(std::string_view password) {
  RequireInactive();
  remotePassword_ = password;
}

// ---- passwords ----

void TQuarrySession::SetPasswordPrompt(TPasswordPrompt prompt) {
  std::lock_guard guard(promptLock);
  Prompt() = std::move(prompt);
}

void TQuarrySession::AddPassword(std::string_view password) {
  TSessionLock lock(*this);
  engine_->AddPassword(password.substr(0, MaxPasswordLength));
}

void TQuarrySession::RemovePassword(std::string_view password) {
  TSessionLock lock(*this);
  engine_->RemovePassword(password.substr(0, MaxPasswordLength));
}

void TQuarrySession::RemoveAllPasswords() {
  TSessionLock lock(*this);
  engine_->RemoveAllPasswords();
}

bool TQuarrySession::PasswordRequest() {
  if (onPassword_) {
    bool continueRequest = false;
    onPassword_(*this, continueRequest);
    return continueRequest;
  }
  TPasswordPrompt prompt;
  {
    std::lock_guard guard(promptLock);
    prompt = Prompt();
  }
  return prompt ? prompt(*this) : false;
}

// ---- databases ----

TQuarryDatabase* TQuarrySession::FindDatabase(std::string_view name, const TQuarryOwner* owner) const {
  std::string wanted = NormalisePath(name);
  if (owner != nullptr) {
    for (TQuarryDatabase* database : databases_) {
      if (database->Owner() == owner && database->HandleShared() && SameName(database->DatabaseName(), wanted)) {
        return database;
      }
    }
  }
  for (TQuarryDatabase* database : databases_) {
    if (SameName(database->DatabaseName(), wanted)) return database;
  }
  return nullptr;
}

TQuarryDatabase& TQuarrySession::OpenDatabase(std::string_view name, const TQuarryOwner* owner) {
  TQuarryDatabase* database = FindDatabase(name, owner);
  if (database == nullptr) {
    auto made = std::make_unique<TQuarryDatabase>(nullptr, "");
    made->temporary_ = true;
    made->databaseName_ = NormalisePath(name);
    made->sessionName_ = sessionName_;
    if (sessionType_ == TSessionType::stRemote) {
      made->remoteDatabase_ = made->databaseName_;
    } else if (!SameName(name, "Memory")) {
      made->directoryPath_ = made->databaseName_;
    }
    made->keepConnection_ = keepConnections_;
    database = made.get();
    temporaries_.push_back(std::move(made));
    Attach(*database);
    try {
      database->Open();
    } catch (...) {
      FreeTemporary(*database);
      throw;
    }
  } else {
    database->Open();
  }
  ++database->refCount_;
  return *database;
}

void TQuarrySession::CloseDatabase(TQuarryDatabase& database) {
  if (database.closing_) return;
  if (database.refCount_ > 0) --database.refCount_;
  if (database.refCount_ > 0 || database.KeepConnection()) return;
  if (database.Temporary()) {
    FreeTemporary(database);
  } else {
    database.Close();
  }
}

void TQuarrySession::Attach(TQuarryDatabase& database) {
  if (database.session_ != nullptr && database.session_ != this) database.session_->Detach(database);
  if (std::find(databases_.begin(), databases_.end(), &database) == databases_.end()) {
    databases_.push_back(&database);
  }
  database.session_ = this;
}

void TQuarrySession::Detach(TQuarryDatabase& database) {
  databases_.erase(std::remove(databases_.begin(), databases_.end(), &database), databases_.end());
  if (database.session_ == this) database.session_ = nullptr;
}

void TQuarrySession::FreeTemporary(TQuarryDatabase& database) {
  auto it = std::find_if(temporaries_.begin(), temporaries_.end(),
                         [&](const auto& owned) { return owned.get() == &database; });
  if (it == temporaries_.end()) return;
  std::unique_ptr<TQuarryDatabase> owned = std::move(*it);
  temporaries_.erase(it);
  owned->Close();
  Detach(*owned);
}

}  // namespace quarry
