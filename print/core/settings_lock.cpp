// The lock file of the report settings file (settings_lock.h).
#include "print/core/settings_lock.h"

#include "engine/platform/os_error.h"
#include "print/core/gpr_error.h"

#include <filesystem>
#include <system_error>

namespace gpr {

namespace {

bool IsBusy(int32_t osError) {
  return osError == quarry::kOsErrorSharingViolation || osError == quarry::kOsErrorLockViolation;
}

// One attempt: the open lock file, or nullptr with busy set when another program holds it.
std::unique_ptr<quarry::TOsFile> TryLock(quarry::TEnvironment& environment, const std::string& name, TgprLockMode mode,
                                         const TgprMakeDirectories& makeDirectories, bool& busy) {
  quarry::TOpenOptions options;
  options.read_only = mode == TgprLockMode::Load;
  options.exclusive = mode == TgprLockMode::Save;
  busy = false;
  if (auto file = environment.OpenFile(name, options)) return file;
  int32_t error = quarry::LastOsError();
  if (IsBusy(error)) {
    busy = true;
    return nullptr;
  }
  if (error != quarry::kOsErrorFileNotFound && error != quarry::kOsErrorPathNotFound) {
    throw eGprIntError("Locking file: " + Quoted(name) + "\rUnexpected I/O Error=" + std::to_string(error));
  }
  if (error == quarry::kOsErrorPathNotFound) {
    std::string message;
    makeDirectories(DirectoryOf(name), message);
  }
  options.read_only = false;
  options.create = true;
  if (auto file = environment.OpenFile(name, options)) return file;
  error = quarry::LastOsError();
  if (IsBusy(error)) {
    busy = true;
    return nullptr;
  }
  throw eGprSUError("Unable to create file " + Quoted(name) + " . I/O Error:" + std::to_string(error));
}

}  // namespace

bool MakeDirectoriesOnDisk(const std::string& directory, std::string& systemMessage) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    systemMessage = error.message();
    return false;
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::optional<TgprSettingsLock> TgprSettingsLock::Acquire(quarry::TEnvironment& environment,
                                                          const std::string& lockFileName, TgprLockMode mode,
                                                          const TgprLockTiming& timing, TgprFileMgrHost& host,
                                                          const TgprMakeDirectories& makeDirectories) {
  const uint32_t retryMs = mode == TgprLockMode::Load ? timing.LoadRetryMs : timing.SaveRetryMs;
  for (;;) {
    const uint64_t start = environment.TickCount();
    for (;;) {
      bool busy = false;
      if (auto file = TryLock(environment, lockFileName, mode, makeDirectories, busy)) {
        return TgprSettingsLock(std::move(file));
      }
      if (environment.TickCount() - start >= timing.WaitMs) break;
      host.ProcessMessages();
      environment.Sleep(retryMs);
    }
    if (!host.AskRetry("ReportSettings Lock File " + Quoted(lockFileName) + " is busy.\r Do you want to retry?")) {
      return std::nullopt;
    }
  }
}

}  // namespace gpr
