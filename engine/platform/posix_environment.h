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
};

}  // namespace quarry
