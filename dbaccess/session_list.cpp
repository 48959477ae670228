// The process-wide session list, its default session and the engine's global session
// (see session_list.h).
#include "dbaccess/session_list.h"

#include <algorithm>

#include "dbaccess/access_messages.h"
#include "dbaccess/name_compare.h"
#include "dbaccess/quarry_session.h"
#include "engine/storage/files/file_list.h"
#include "engine/storage/table/session.h"

namespace quarry {

TQuarrySessionList& TQuarrySessionList::Process() {
  // The process's file list must outlive the engine sessions this list frees at exit.
  static TFileList& files = TFileList::Process();
  (void)files;
  static TQuarrySessionList list;
  return list;
}

TQuarrySession& DefaultSession() { return Sessions().DefaultSession(); }

TQuarrySessionList::TQuarrySessionList() {
  defaultSession_.reset(new TQuarrySession(TQuarrySession::TDefaultTag{}, *this));
}

TQuarrySessionList::~TQuarrySessionList() {
  DeactivateAll();
  defaultSession_.reset();
}

void TQuarrySessionList::Add(TQuarrySession* session) {
  std::lock_guard guard(listLock_);
  sessions_.push_back(session);
}

void TQuarrySessionList::Remove(TQuarrySession* session) {
  std::lock_guard guard(listLock_);
  sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), session), sessions_.end());
}

TQuarrySession* TQuarrySessionList::Find(std::string_view name) const {
  if (TrimmedView(name).empty()) return defaultSession_.get();
  std::lock_guard guard(listLock_);
  for (TQuarrySession* session : sessions_) {
    if (SameName(session->SessionName(), name)) return session;
  }
  return nullptr;
}

TQuarrySession& TQuarrySessionList::Get(std::string_view name) const {
  TQuarrySession* session = Find(name);
  if (session == nullptr) msg::Raise(msg::SessionNameInvalid, name);
  return *session;
}

std::vector<TQuarrySession*> TQuarrySessionList::Sessions() const {
  std::lock_guard guard(listLock_);
  return sessions_;
}

int TQuarrySessionList::TakeAutoNumber() {
  std::lock_guard guard(listLock_);
  auto free = std::find(autoNumbers_.begin(), autoNumbers_.end(), false);
  int number = static_cast<int>(free - autoNumbers_.begin());
  if (free == autoNumbers_.end()) {
    autoNumbers_.push_back(true);
  } else {
    *free = true;
  }
  return number;
}

void TQuarrySessionList::ReleaseAutoNumber(int number) {
  std::lock_guard guard(listLock_);
  if (number >= 0 && number < static_cast<int>(autoNumbers_.size())) autoNumbers_[number] = false;
}

TDataSession& TQuarrySessionList::GlobalEngineSession() {
  std::lock_guard guard(engineLock_);
  if (!globalEngineSession_) globalEngineSession_ = std::make_unique<TDataSession>();
  return *globalEngineSession_;
}

void TQuarrySessionList::ReleaseGlobalEngineSession() {
  std::lock_guard guard(engineLock_);
  if (current_ == globalEngineSession_.get()) current_ = nullptr;
  globalEngineSession_.reset();
}

void TQuarrySessionList::DeactivateAll() {
  // Other sessions first: the default one's engine session is what they fall back to.
  for (TQuarrySession* session : Sessions()) {
    if (session != defaultSession_.get()) session->SetActive(false);
  }
  if (defaultSession_) defaultSession_->SetActive(false);
}

}  // namespace quarry
