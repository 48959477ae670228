// TgprSettingsLock: the lock that serialises the programs sharing one report settings file,
// and TgprFileMgrHost, the few things the file manager asks of the program's user interface.
//
// The lock is the lock file (the settings file's name with the extension ".~LK") held open: a
// load holds it shared, so loads run side by side, and a save holds it exclusively, so a save
// excludes every other load and save, in this process and in others (the environment's share
// modes are open-file-description locks). A busy lock file is tried again every 100 ms for a
// load and every 25 ms for a save, letting the program handle its messages between tries; after
// 10 seconds the user is asked whether to retry ("ReportSettings Lock File "<name>" is
// busy.\r Do you want to retry?"), and Retry waits another 10 seconds.
//
// The lock file is created when it is missing (and its directory with it) and is left in place
// when the lock is released: deleting it while another program may be opening it would let
// that program lock a file no longer in the directory while a third one locks a new file of the
// same name, and both would think they hold the lock.
#pragma once

#include "engine/platform/environment.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace gpr {

// What the file manager asks of the user interface. The defaults suit a program without
// windows: no messages to process, no sound, and a busy lock is given up.
class TgprFileMgrHost {
 public:
  virtual ~TgprFileMgrHost() = default;
  // Handles the program's pending window messages while it waits for a lock.
  virtual void ProcessMessages() {}
  // Asks the busy-lock question (a warning with Abort and Retry); true for Retry.
  virtual bool AskRetry(const std::string& /*message*/) { return false; }
  virtual void Beep() {}
  // Shows an error the file manager reports before it gives up (a warning with OK).
  virtual void ShowError(const std::string& /*message*/) {}
  // Shows or hides the hourglass (while saving).
  virtual void SetBusyCursor(bool /*on*/) {}
};

// Waits and attempts; injectable so that tests need not wait for the real periods.
struct TgprLockTiming {
  uint32_t LoadRetryMs = 100;
  uint32_t SaveRetryMs = 25;
  uint32_t WaitMs = 10000;     // before the busy question
  int OpenAttempts = 10;       // opening the settings file
  uint32_t OpenRetryMs = 500;  // between those attempts
};

// Makes a directory and its missing parents; false with the system's message on failure.
using TgprMakeDirectories = std::function<bool(const std::string& directory, std::string& systemMessage)>;
// The default: std::filesystem::create_directories.
bool MakeDirectoriesOnDisk(const std::string& directory, std::string& systemMessage);

enum class TgprLockMode { Load, Save };

class TgprSettingsLock {
 public:
  // Takes the lock on lockFileName, waiting as described above. Empty when the user chose
  // Abort. Throws eGprSUError "GridPrinter! Setup Error: Unable to create file "<name>" . I/O
  // Error:<code>" when the lock file cannot be created, and eGprIntError "GridPrinter!
  // Internal Error: Locking file: "<name>"\rUnexpected I/O Error=<code>" for any other failure.
  static std::optional<TgprSettingsLock> Acquire(quarry::TEnvironment& environment, const std::string& lockFileName,
                                                 TgprLockMode mode, const TgprLockTiming& timing, TgprFileMgrHost& host,
                                                 const TgprMakeDirectories& makeDirectories);

  TgprSettingsLock(TgprSettingsLock&&) = default;
  TgprSettingsLock& operator=(TgprSettingsLock&&) = default;
  ~TgprSettingsLock() = default;  // closing the file releases the lock

 private:
  explicit TgprSettingsLock(std::unique_ptr<quarry::TOsFile> file) : file_(std::move(file)) {}
  std::unique_ptr<quarry::TOsFile> file_;
};

// The directory part of a path ("" when it has none).
std::string DirectoryOf(const std::string& path);

}  // namespace gpr
