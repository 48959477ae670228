// TQuarrySessionList: the process-wide list of access-layer sessions, the default session
// "Default", the one lock that serialises every engine call, and the engine's global session.
//
// The list is created on first use (normally at program start) and lives until process end.
// The first session added is the default one; the list itself creates it, so it is always
// there. Other sessions add themselves when created and leave when destroyed; they are owned
// by whoever created them, never by the list.
//
// Engine lock: one recursive mutex for the whole process. Sessions take it through their
// lock depth (TQuarrySession::Lock); while it is held, CurrentEngineSession() is the engine
// session that engine calls act on. The list's own vector has a separate mutex, held only
// for the moment of a lookup, so finding a session never waits for an engine call.
#pragma once

#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace quarry {

class TDataSession;
class TQuarrySession;

class TQuarrySessionList {
 public:
  // The process's list, created (with its default session) on first call.
  static TQuarrySessionList& Process();

  ~TQuarrySessionList();
  TQuarrySessionList(const TQuarrySessionList&) = delete;
  TQuarrySessionList& operator=(const TQuarrySessionList&) = delete;

  // The lock that serialises engine calls.
  std::recursive_mutex& EngineLock() { return engineLock_; }

  // The session named so (trimmed, case ignored); an empty name gives the default session;
  // null when there is none.
  TQuarrySession* Find(std::string_view name) const;
  // The same, failing with "Session name %s is not valid.".
  TQuarrySession& Get(std::string_view name) const;
  TQuarrySession& DefaultSession() const { return *defaultSession_; }
  // Every session, in creation order (a snapshot).
  std::vector<TQuarrySession*> Sessions() const;

  // The lowest free number for an automatic session name, marked taken; and its release.
  int TakeAutoNumber();
  void ReleaseAutoNumber(int number);

  // The engine's single global session (the default session's), created on first call; and
  // its release at the default session's deactivation.
  TDataSession& GlobalEngineSession();
  void ReleaseGlobalEngineSession();
  // The engine session engine calls act on; set while a session holds the engine lock.
  TDataSession* CurrentEngineSession() const { return current_; }
  void SetCurrentEngineSession(TDataSession* session) { current_ = session; }

  // Deactivates every session; the default session is freed with the list.
  void DeactivateAll();

 private:
  friend class TQuarrySession;
  TQuarrySessionList();
  void Add(TQuarrySession* session);
  void Remove(TQuarrySession* session);

  std::recursive_mutex engineLock_;
  mutable std::mutex listLock_;  // guards sessions_ and autoNumbers_
  std::vector<TQuarrySession*> sessions_;
  std::vector<bool> autoNumbers_;
  std::unique_ptr<TDataSession> globalEngineSession_;
  TDataSession* current_ = nullptr;  // guarded by engineLock_
  std::unique_ptr<TQuarrySession> defaultSession_;
};

// The process's list (TQuarrySessionList::Process()) and its default session.
inline TQuarrySessionList& Sessions() { return TQuarrySessionList::Process(); }
TQuarrySession& DefaultSession();

}  // namespace quarry
