// The POSIX environment: TEnvironment over open/pread/pwrite/ftruncate/fdatasync and
// open-file-description locks.
//
// Share modes: every open holds an open-file-description lock on the byte at
// kLockableLimit (2^32): a read lock for a shared open, a write lock for an exclusive one,
// so a conflicting open anywhere (this process or another, also over network file systems)
// fails with kOsErrorSharingViolation. A file opened for reading only cannot carry a write
// lock; its exclusive opens and its byte-range locks use read locks instead, which still
// keep out every writer (who always needs a write lock).
//
// Byte-range locks: an open-file-description write lock per range (conflicts with other
// processes and other opens of this process) plus a table of the ranges this object holds
// (conflicts through the same handle). Locks die with the descriptor, so a process that
// dies leaves none behind.
#pragma once

#include <sys/stat.h>

#include <map>
#include <mutex>
#include <string>

#include "engine/platform/environment.h"

namespace quarry {

class TPosixEnvironment : public TEnvironment {
 public:
  std::unique_ptr<TOsFile> OpenFile(const std::string& path, const TOpenOptions& options) override;
  bool DeleteFile(const std::string& path) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  bool GetFileInfo(const std::string& path, TFileInfo& info) override;
  bool ListDirectory(const std::string& directory, std::vector<std::string>& names) override;

  std::string CurrentDirectory() override;
  std::string TemporaryDirectory() override;
  std::string ComputerName() override;
  uint32_t ThreadId() override;
  TLocalTime LocalTime() override;
  bool ToLocalTime(int64_t unix_seconds, TLocalTime& local) override;
  uint64_t TickCount() override;
  void Sleep(uint32_t milliseconds) override;

 private:
  // The write permission access() gave for a file, and the state of the file it was given for.
  struct TAccessMemo {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t changed_seconds = 0;
    int64_t changed_nanoseconds = 0;
    uint32_t mode = 0;
    uint32_t owner = 0;
    uint32_t group = 0;
    bool writable = false;
    bool SameFileState(const TAccessMemo& other) const {
      return device == other.device && inode == other.inode && changed_seconds == other.changed_seconds &&
             changed_nanoseconds == other.changed_nanoseconds && mode == other.mode && owner == other.owner &&
             group == other.group;
    }
  };
  bool WritableByUs(const std::string& path, const struct stat& st);

  std::mutex accessMemoMutex_;
  std::map<std::string, TAccessMemo> accessMemo_;
};

}  // namespace quarry
