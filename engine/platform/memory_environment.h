// An in-memory environment for tests: files live in a map, nothing touches the disk, and
// the clock is virtual.
//
// It behaves like the POSIX environment where the engine can tell: share modes, byte-range
// locks that conflict between any two opens (each TOsFile stands for its own handle, so two
// opens act like two processes), delete and rename refused while a file is open. On top of
// that it can simulate a crash: each file remembers the contents it had at its last Flush,
// and DropUnsyncedData() throws away everything written since (names themselves are
// durable at once). Sleep advances the tick counter instead of waiting, so lock-retry loops
// run instantly.
//
// Paths are plain strings; a directory exists when it is "/" , was made with
// MakeDirectory, or holds a file. Thread-safety: one mutex guards the whole file system;
// the environment must outlive every file it opened.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/platform/environment.h"

namespace quarry {

class TMemoryEnvironment : public TEnvironment {
 public:
  TMemoryEnvironment();
  ~TMemoryEnvironment() override;

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

  // Test controls.
  void MakeDirectory(const std::string& path);
  void SetReadOnly(const std::string& path, bool read_only);  // the "read-only attribute"
  void SetCurrentDirectory(const std::string& path);
  // Every file falls back to its contents at its last flush (a crash).
  void DropUnsyncedData();
  // Contents of a file as written so far; empty when it does not exist.
  std::string Contents(const std::string& path);

  struct TNode;  // one file's data, share holders and locks

 private:
  std::mutex mutex_;  // guards everything below and every TNode
  std::map<std::string, std::shared_ptr<TNode>> files_;
  std::set<std::string> directories_;
  std::string current_directory_ = "/";
  uint64_t ticks_ = 0;
  int64_t clock_unix_ = 1700000000;  // advances with Sleep
};

}  // namespace quarry
