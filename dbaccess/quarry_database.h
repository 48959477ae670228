// TQuarryDatabase: a named directory of tables as the access layer sees it. While connected
// it holds the engine's directory handle (TDataDirectory) opened through its session's engine
// session; the datasets open on it are listed so that closing the database closes them.
//
// A database is attached to the session named by SessionName (empty: the default session)
// from its first connection until it is destroyed or its session goes away. Temporary
// databases are made and owned by a session (OpenDatabase) for datasets whose database name
// matches no database of the session; their name may be empty or a path.
//
// Directory, DatabaseName and SessionName change only while disconnected. Path separators
// ("\" or "/") are normalised to "/" when assigned.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/access_component.h"

namespace quarry {

class TDataDirectory;
class TQuarryDBDataSet;
class TQuarrySession;

class TQuarryDatabase : public TQuarryComponent {
 public:
  using TNotifyEvent = std::function<void(TQuarryDatabase&)>;

  explicit TQuarryDatabase(TQuarryOwner* owner = nullptr, std::string componentName = "");
  ~TQuarryDatabase() override;

  std::string EngineVersion() const;
  void SetEngineVersion(std::string_view) {}

  bool Connected() const { return directory_ != nullptr; }
  void SetConnected(bool connected) { connected ? Open() : Close(); }
  void Open();
  // Closes every dataset on the database (last opened first) and gives the directory back.
  void Close();

  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(std::string_view name);
  const std::string& Directory() const { return directoryPath_; }
  void SetDirectory(std::string_view directory);
  const std::string& RemoteDatabase() const { return remoteDatabase_; }
  void SetRemoteDatabase(std::string_view name);
  bool HandleShared() const { return handleShared_; }
  void SetHandleShared(bool shared);
  bool KeepConnection() const { return keepConnection_; }
  void SetKeepConnection(bool keep) { keepConnection_ = keep; }
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(std::string_view name);
  void SetBeforeConnect(TNotifyEvent handler) { beforeConnect_ = std::move(handler); }

  bool Temporary() const { return temporary_; }
  // The session it is attached to (null until the first connection).
  TQuarrySession* Session() const { return session_; }
  // The engine directory; fails with "Cannot perform this operation on a closed database."
  // when not connected.
  TDataDirectory& Handle() const;
  int ReferenceCount() const { return refCount_; }
  const std::vector<TQuarryDBDataSet*>& DataSets() const { return dataSets_; }

  // ---- transactions on the engine directory ----
  bool InTransaction() const;
  void StartTransaction();
  void Commit(bool flush = false);
  void Rollback();

  // After loading stored properties: connect when Connected was stored true, else only
  // attach to the session.
  void Loaded(bool storedConnected);

  void OwnerSessionNamed(const std::string& sessionName) override;

 private:
  friend class TQuarrySession;
  friend class TQuarryDBDataSet;
  void RequireDisconnected() const;
  void AttachToSession();
  void DetachFromSession();
  void AddDataSet(TQuarryDBDataSet& dataSet);
  void RemoveDataSet(TQuarryDBDataSet& dataSet);
  // Whether the name names a path rather than a database (":" or a separator in it).
  static bool IsPathName(std::string_view name);

  std::string databaseName_;
  std::string directoryPath_;
  std::string remoteDatabase_;
  bool handleShared_ = false;
  bool keepConnection_ = true;
  std::string sessionName_;
  TNotifyEvent beforeConnect_;

  TQuarrySession* session_ = nullptr;
  TDataDirectory* directory_ = nullptr;  // present exactly while connected
  bool temporary_ = false;
  bool borrowed_ = false;  // directory_ belongs to another database
  bool closing_ = false;   // Close is running: dataset closes leave the count alone
  int refCount_ = 0;
  std::vector<TQuarryDBDataSet*> dataSets_;
};

}  // namespace quarry
