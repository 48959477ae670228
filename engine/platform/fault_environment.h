// A fault-injecting environment for tests: wraps another environment and makes a chosen
// call fail, so tests can prove that every failure surfaces as an engine error and that
// what was reported written is still there afterwards.
//
// Faults are counted per kind of operation from the moment they are armed: FailNth(kWrite,
// 3) lets two further writes through and fails the third. A write fault either fails the
// call outright or writes only the first half of the bytes (a short write); a sticky fault
// keeps failing every later call of that kind until Clear(). Failed calls record the
// chosen OS error (default kOsErrorIoDevice) as the thread's last error.
//
// Thread-safety: arming and counting are guarded by one mutex; the environment must
// outlive every file it opened.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "engine/platform/environment.h"
#include "engine/platform/os_error.h"

namespace quarry {

enum class TFaultOperation { kRead, kWrite, kFlush, kLock, kOpen, kSetSize };
inline constexpr int kFaultOperationCount = 6;

enum class TFaultEffect {
  kError,       // the call fails and transfers nothing
  kShortWrite,  // writes: only the first half of the bytes reach the file
};

class TFaultInjectingEnvironment : public TEnvironment {
 public:
  explicit TFaultInjectingEnvironment(TEnvironment& base);

  // Arms a fault: the nth call of this kind from now fails (n >= 1).
  void FailNth(TFaultOperation operation, int n, TFaultEffect effect = TFaultEffect::kError, bool sticky = false,
               int32_t os_error = kOsErrorIoDevice);
  // Disarms every fault (counters keep running).
  void Clear();
  // Calls of this kind seen since construction (failed ones included).
  int64_t Count(TFaultOperation operation) const;
  // Faults that have fired since construction.
  int64_t FaultsFired() const;

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

  // Called by the wrapped files: counts the call and tells whether it must fail (and how).
  // Sets the thread's last OS error when it does.
  bool ShouldFail(TFaultOperation operation, TFaultEffect* effect = nullptr);

 private:
  struct TFault {
    bool armed = false;
    int64_t fire_at = 0;  // value of the counter at which the fault fires
    TFaultEffect effect = TFaultEffect::kError;
    bool sticky = false;
    int32_t os_error = kOsErrorIoDevice;
  };

  TEnvironment& base_;
  mutable std::mutex mutex_;  // guards counts_, faults_, fired_
  std::array<int64_t, kFaultOperationCount> counts_{};
  std::array<TFault, kFaultOperationCount> faults_{};
  int64_t fired_ = 0;
};

}  // namespace quarry
