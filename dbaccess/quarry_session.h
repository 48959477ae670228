// TQuarrySession: an access-layer session. It owns one engine session (TDataSession) while
// active, passes its settings and table passwords down to it, keeps the databases attached
// to it (and owns the temporary ones it makes for datasets that name no known database), and
// answers the engine's password requests.
//
// Activation creates and configures the engine session (the default session uses the
// engine's global one); deactivation frees temporary databases, disconnects the others and
// releases the engine session. Every call that reaches the engine runs under Lock(), which is
// re-entrant: the first level takes the process-wide engine lock and makes this session's
// engine session current (activating the session when needed); deeper levels only count.
//
// Used on one thread at a time (the engine lock serialises engine calls between threads).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/access_component.h"
#include "engine/storage/table/session.h"

namespace quarry {

class TQuarryDatabase;
class TQuarrySessionList;

enum class TSessionType { stLocal, stRemote };
enum class TRemoteType { rtLAN, rtInternet };

inline constexpr const char* QuarryEngineVersion = "3.24";

class TQuarrySession : public TQuarryComponent {
 public:
  using TNotifyEvent = std::function<void(TQuarrySession&)>;
  // continueRequest starts false; set it true to have the engine try the passwords again.
  using TPasswordEvent = std::function<void(TQuarrySession&, bool& continueRequest)>;
  // What the application installs to ask the user (normally the password dialog); answers
  // whether the user closed it with OK.
  using TPasswordPrompt = std::function<bool(TQuarrySession&)>;

  // A session in the process list. Fails with "This auto-session already exists." when the
  // owner already holds a session with an automatic name.
  explicit TQuarrySession(TQuarryOwner* owner = nullptr, std::string componentName = "");
  ~TQuarrySession() override;

  // ---- activation ----
  bool Active() const { return engine_ != nullptr; }
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  bool IsDefault() const { return isDefault_; }

  // ---- settings ----
  std::string EngineVersion() const { return QuarryEngineVersion; }
  void SetEngineVersion(std::string_view) {}
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(std::string_view name);
  bool AutoSessionName() const { return autoSessionName_; }
  void SetAutoSessionName(bool on);
  bool ForceBufferFlush() const { return settings_.ForceBufferFlush; }
  void SetForceBufferFlush(bool on);
  bool KeepConnections() const { return keepConnections_; }
  void SetKeepConnections(bool on) { keepConnections_ = on; }
  std::uint8_t LockRetryCount() const { return static_cast<std::uint8_t>(settings_.LockRetryCount); }
  void SetLockRetryCount(std::uint8_t count);
  std::uint16_t LockWaitTime() const { return static_cast<std::uint16_t>(settings_.LockWaitTime); }
  void SetLockWaitTime(std::uint16_t ms);
  TLockProtocol LockProtocol() const { return settings_.LockProtocol; }
  void SetLockProtocol(TLockProtocol protocol);
  const std::string& PrivateDir() const { return privateDir_; }
  void SetPrivateDir(std::string_view directory);
  std::uint16_t ProgressSteps() const { return static_cast<std::uint16_t>(settings_.ProgressSteps); }
  // Values above 100 are ignored.
  void SetProgressSteps(std::uint16_t steps);
  bool StrictChangeDetection() const { return settings_.StrictChangeDetection; }
  void SetStrictChangeDetection(bool on);

  // Session type and remote settings change only while inactive.
  TSessionType SessionType() const { return sessionType_; }
  void SetSessionType(TSessionType type);
  TRemoteType RemoteType() const { return remoteType_; }
  void SetRemoteType(TRemoteType type);
  const std::string& RemoteHost() const { return remoteHost_; }
  void SetRemoteHost(std::string_view host);
  const std::string& RemoteAddress() const { return remoteAddress_; }
  void SetRemoteAddress(std::string_view address);
  int RemotePort() const { return remotePort_; }
  void SetRemotePort(int port);
  const std::string& RemoteService() const { return remoteService_; }
  void SetRemoteService(std::string_view service);
  bool RemoteTrace() const { return remoteTrace_; }
  void SetRemoteTrace(bool on);
  const std::string& RemoteUser() const { return remoteUser_; }
  void SetRemoteUser(std::string_view user);
  const std::string& RemotePassword() const { return remotePassword_; }
  void SetRemotePassword(std::string_view password);

  void SetOnPassword(TPasswordEvent handler) { onPassword_ = std::move(handler); }
  void SetOnStartup(TNotifyEvent handler) { onStartup_ = std::move(handler); }
  // The process-wide prompt used when a session has no OnPassword handler (none: decline).
  static void SetPasswordPrompt(TPasswordPrompt prompt);

  // ---- passwords (each cut to 255 characters) ----
  void AddPassword(std::string_view password);
  void RemovePassword(std::string_view password);
  void RemoveAllPasswords();

  // ---- databases ----
  // A database of this session named so: first among those of `owner` that share their
  // handle, then among all; null when none.
  TQuarryDatabase* FindDatabase(std::string_view name, const TQuarryOwner* owner = nullptr) const;
  // The database named so, a temporary one made when there is none, connected and with its
  // reference count raised. A temporary database made here is freed again if connecting fails.
  TQuarryDatabase& OpenDatabase(std::string_view name, const TQuarryOwner* owner = nullptr);
  // Lowers the reference count; at zero a database that does not keep its connection is
  // freed (temporary) or disconnected.
  void CloseDatabase(TQuarryDatabase& database);
  // Attached databases in attachment order (temporary ones included).
  const std::vector<TQuarryDatabase*>& Databases() const { return databases_; }

  // ---- the engine ----
  // Re-entrant engine lock (see the file comment); pair every Lock with Unlock.
  void Lock();
  void Unlock();
  int LockDepth() const { return lockDepth_; }
  // The engine session; activates the session when needed.
  TDataSession& EngineSession();
  // The engine's question when a table's password is unknown: true to try again.
  bool PasswordRequest();

 private:
  friend class TQuarryDatabase;
  friend class TQuarrySessionList;
  struct TDefaultTag {};
  TQuarrySession(TDefaultTag, TQuarrySessionList& list);

  void Activate();
  void Deactivate();
  void ConfigureEngine(TDataSession& engine) const;
  // Runs f on the engine session under the lock when active.
  template <typename F>
  void WithEngine(F f);
  void RequireInactive() const;
  void Attach(TQuarryDatabase& database);
  void Detach(TQuarryDatabase& database);
  void FreeTemporary(TQuarryDatabase& database);

  TQuarrySessionList& list_;
  bool isDefault_ = false;
  std::string sessionName_;
  bool autoSessionName_ = false;
  int autoNumber_ = -1;
  bool keepConnections_ = true;
  std::string privateDir_;
  TSessionSettings settings_;  // what activation copies into the engine session
  TSessionType sessionType_ = TSessionType::stLocal;
  TRemoteType remoteType_ = TRemoteType::rtLAN;
  std::string remoteHost_;
  std::string remoteAddress_ = "127.0.0.1";
  int remotePort_ = 12005;
  std::string remoteService_;
  bool remoteTrace_ = false;
  std::string remoteUser_;
  std::string remotePassword_;
  TNotifyEvent onStartup_;
  TPasswordEvent onPassword_;

  TDataSession* engine_ = nullptr;                             // present exactly while active
  std::unique_ptr<TDataSession> ownEngine_;                    // a non-default session's engine session
  std::vector<TQuarryDatabase*> databases_;                    // attached, in order
  std::vector<std::unique_ptr<TQuarryDatabase>> temporaries_;  // owned temporary databases
  int lockDepth_ = 0;
  TDataSession* previousCurrent_ = nullptr;
  bool activating_ = false;
};

// Holds a session's engine lock for a scope.
class TSessionLock {
 public:
  explicit TSessionLock(TQuarrySession& session) : session_(session) { session_.Lock(); }
  ~TSessionLock() { session_.Unlock(); }
  TSessionLock(const TSessionLock&) = delete;
  TSessionLock& operator=(const TSessionLock&) = delete;

 private:
  TQuarrySession& session_;
};

}  // namespace quarry
