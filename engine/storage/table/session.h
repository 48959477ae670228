// TDataSession: one engine session. It holds the settings the access layer copies in, the
// table passwords, the default and private directories, and the directories (databases) the
// session has open; it also names temporary files.
//
// The session owns its directories, which own their tables (directory.h, table.h). A session
// is used by one thread at a time (the access layer serialises every engine call); nothing
// here takes a lock of its own. Sharing with other sessions and processes happens only
// through the byte-range locks the tables take on their files (lock_map.h).
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/platform/environment.h"
#include "engine/storage/files/file_list.h"

namespace quarry {

class TDataDirectory;
class TDataTable;

enum class TLockProtocol { lpPessimistic, lpOptimistic };

// The settings of a session, with their defaults.
struct TSessionSettings {
  int ProgressSteps = 20;              // percentage step of progress callbacks
  bool ForceBufferFlush = false;       // ask the OS to flush its buffers after each write
  bool StrictChangeDetection = false;  // check for other users' changes at every operation
  int LockRetryCount = 15;             // further attempts after a failed record lock
  int LockWaitTime = 100;              // milliseconds between record-lock attempts
  TLockProtocol LockProtocol = TLockProtocol::lpPessimistic;
  int RecordBufferBytes = 16384;  // record cache limit; also sets the index page cache
  int RecordBufferCount = 8192;
  int ThirdBufferBytes = 16384;  // copied in by the access layer; nothing consults it
  int BlobBufferBytes = 32768;   // BLOB block cache limits
  int BlobBufferCount = 8192;
  // Tables kept open between uses (least recently used closed first); 0 keeps none. Three
  // files a table: 16 hold several times the tables one statement or window uses at once,
  // at 48 file handles.
  int KeptTables = 16;
};

class TDataSession {
 public:
  // list: the file list the session's tables use (TFileList::Process() when null).
  explicit TDataSession(TFileList* list = nullptr);
  ~TDataSession();
  TDataSession(const TDataSession&) = delete;
  TDataSession& operator=(const TDataSession&) = delete;

  // ---- settings ----
  TSessionSettings& Settings() { return settings_; }
  const TSessionSettings& Settings() const { return settings_; }
  // The PrivateDir value as set (the system's temporary directory until set).
  const std::string& PrivateDir() const { return privateDir_; }
  void SetPrivateDir(std::string directory) { privateDir_ = std::move(directory); }
  // Where temporary tables go: PrivateDir, or the default directory when it is empty; with a
  // trailing delimiter.
  std::string PrivateDirectory() const;
  // The process's current directory when the session was created, with a trailing delimiter.
  const std::string& DefaultDirectory() const { return defaultDirectory_; }

  // ---- passwords (exact, case-sensitive texts) ----
  void AddPassword(std::string_view password);  // ignored when empty or present
  void RemovePassword(std::string_view password);
  void RemoveAllPasswords() { passwords_.clear(); }
  bool HasPassword(std::string_view password) const;

  // ---- directories ----
  // The directory for a database: "Memory" (any case) is the in-memory database; otherwise
  // path, or the default directory when path is empty. An open directory with the same path
  // (trimmed, case ignored) is reused and its use count raised.
  TDataDirectory& OpenDirectory(std::string_view databaseName, std::string_view path);
  // Lowers the use count; at 0 the directory closes its tables and is freed.
  void CloseDirectory(TDataDirectory& directory);
  int DirectoryCount() const { return static_cast<int>(directories_.size()); }

  // ---- temporary files ----
  // PrivateDirectory() + the first five digits of the thread id + the first number from 0
  // that no file of that kind (disk or memory) has, + extension.
  std::string TemporaryFileName(std::string_view extension, bool inMemory) const;

  // ---- tables kept between uses (directory.h) ----
  // A directory kept a table: it becomes the most recently kept, and the least recently
  // kept ones beyond KeptTables are closed (which may be this one).
  void NoteKept(TDataTable& table);
  // The table is no longer kept (taken up again or closed).
  void ForgetKept(TDataTable& table);
  int KeptCount() const { return static_cast<int>(kept_.size()); }

  TFileList& Files() const { return *list_; }
  TEnvironment& Environment() const { return list_->Environment(); }

 private:
  TFileList* list_;
  TSessionSettings settings_;
  std::string privateDir_;
  std::string defaultDirectory_;
  std::vector<std::string> passwords_;
  // Kept tables of every directory, most recently kept first.
  std::list<TDataTable*> kept_;
  std::vector<std::unique_ptr<TDataDirectory>> directories_;
};

}  // namespace quarry
