// The engine's one door to the operating system.
//
// Storage code never calls the OS itself: it is handed a TEnvironment and works through
// it (files, byte-range locks, share modes, directory facts, clock, host facts). The
// POSIX implementation (posix_environment.h) serves the program; tests swap in the
// fault-injecting one (fault_environment.h) to prove that a failed read, write, flush or
// lock surfaces as an engine error and never as a corrupt table, or the in-memory one
// (memory_environment.h) to simulate a crash or to run lock-retry loops on a virtual clock.
//
// Failure convention: calls return false / nullptr / -1 and record the classified OS
// error of the calling thread (os_error.h); they never throw for OS failures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarry {

// Highest byte offset + 1 that a byte-range lock may reach. Share modes are kept with a
// lock on this very byte, beyond every range the engine locks.
inline constexpr uint64_t kLockableLimit = 0x100000000ULL;  // 2^32

// How a file is opened. A shared open admits other shared opens (in this and other
// processes); an exclusive one admits none; a conflict fails with kOsErrorSharingViolation.
struct TOpenOptions {
  bool read_only = false;        // read access only (else read and write)
  bool exclusive = false;        // no other open of the file may coexist
  bool create = false;           // create, or replace the contents of an existing file
  bool sequential = true;        // hint: mostly sequential access
  bool delete_on_close = false;  // the name disappears; the data lives until closed
};

// What tells one file from another while both exist (device and inode on POSIX). A file
// created later, even under an old name, never has the identity of a file that some handle
// still holds open.
struct TFileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const TFileIdentity&) const = default;
};

// An open OS file: one handle, positioned reads and writes, byte-range locks.
//
// Locks are exclusive and non-blocking, on ranges that must lie below kLockableLimit and
// have a non-zero length. They conflict with overlapping locks of other processes, of other
// TOsFile objects of this process, and of this very object (a second lock of an overlapping
// range through the same object fails, as two cursors sharing one handle must exclude each
// other). Unlock needs the exact offset and length of a held lock. Closing the file (or the
// process dying) releases every lock it holds.
//
// Thread-safety: the object guards its own lock table; reads and writes at distinct
// offsets may run from several threads.
class TOsFile {
 public:
  virtual ~TOsFile() = default;
  TOsFile(const TOsFile&) = delete;
  TOsFile& operator=(const TOsFile&) = delete;

  // Bytes read (fewer than count only at end of file), or -1.
  virtual int64_t ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
  // Bytes written (fewer than count means the device refused the rest), or -1.
  virtual int64_t WriteAt(uint64_t offset, const void* buffer, size_t count) = 0;
  // Truncates or extends (with zero bytes) the file to size.
  virtual bool SetSize(uint64_t size) = 0;
  // Asks the OS to write its buffers of this file to the device.
  virtual bool Flush() = 0;
  // Current size, or -1.
  virtual int64_t Size() = 0;
  virtual bool LockRange(uint64_t offset, uint64_t length) = 0;
  virtual bool UnlockRange(uint64_t offset, uint64_t length) = 0;
  virtual bool ReadOnly() const = 0;

  // Share mode of a handle kept between uses. ReleaseShareMode gives the open's share mode
  // up: the handle still reads and writes, but keeps out no other open, delete or rename.
  // TakeShareMode takes it again (shared, or exclusive), failing with
  // kOsErrorSharingViolation on a conflict. A file that cannot do this answers false to
  // both, and is then never kept.
  virtual bool ReleaseShareMode() { return false; }
  virtual bool TakeShareMode(bool /*exclusive*/) { return false; }
  // The identity of the file this handle has open, whatever its name is now.
  virtual bool Identity(TFileIdentity& /*identity*/) { return false; }

 protected:
  TOsFile() = default;
};

// Local calendar time.
struct TLocalTime {
  int year = 0;    // e.g. 2024
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59 (60 for a leap second)
  int millisecond = 0;
};

// What the OS knows about a name.
struct TFileInfo {
  bool is_directory = false;
  bool read_only = false;  // this user may not write it (the "read-only attribute")
  uint64_t size = 0;
  int64_t modified_unix = 0;  // last write, seconds since 1970-01-01 UTC
  TFileIdentity identity;
};

class TEnvironment {
 public:
  virtual ~TEnvironment() = default;

  // Files. OpenFile gives nullptr on failure; a share-mode conflict is
  // kOsErrorSharingViolation, a missing file kOsErrorFileNotFound.
  virtual std::unique_ptr<TOsFile> OpenFile(const std::string& path, const TOpenOptions& options) = 0;
  // Delete and rename refuse (kOsErrorSharingViolation) while any process has the file
  // open; rename refuses an existing destination (kOsErrorAlreadyExists).
  virtual bool DeleteFile(const std::string& path) = 0;
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  virtual bool GetFileInfo(const std::string& path, TFileInfo& info) = 0;
  // Names (not paths) of the entries of a directory, without "." and "..".
  virtual bool ListDirectory(const std::string& directory, std::vector<std::string>& names) = 0;
  // The path of an existing entry whose last component equals that of path ignoring
  // case (an exact match preferred); path itself when there is none.
  virtual std::string ResolveIgnoringCase(const std::string& path);
  // ResolveIgnoringCase and GetFileInfo in one step: an exact name costs a single look-up.
  // False (with the missing file's error as the last OS error) when nothing matches.
  bool FindIgnoringCase(const std::string& path, std::string& found, TFileInfo& info);

  // Host facts.
  virtual std::string CurrentDirectory() = 0;    // no trailing "/"
  virtual std::string TemporaryDirectory() = 0;  // $TMPDIR or /tmp, no trailing "/"
  virtual std::string ComputerName() = 0;        // at most 15 characters
  virtual uint32_t ThreadId() = 0;
  virtual TLocalTime LocalTime() = 0;  // now
  virtual bool ToLocalTime(int64_t unix_seconds, TLocalTime& local) = 0;
  virtual uint64_t TickCount() = 0;  // milliseconds, monotonic
  virtual void Sleep(uint32_t milliseconds) = 0;
};

// The process's POSIX environment (lives until process exit).
TEnvironment& DefaultEnvironment();

}  // namespace quarry
