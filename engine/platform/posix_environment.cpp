// The POSIX environment (see posix_environment.h for the share-mode and lock scheme).
#include "engine/platform/posix_environment.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/platform/os_error.h"

namespace quarry {

namespace {

// The byte whose lock carries an open's share mode.
constexpr off_t kShareModeByte = static_cast<off_t>(kLockableLimit);

bool SetOfdLock(int fd, short type, uint64_t offset, uint64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;
  for (;;) {
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// Takes the share-mode lock of an open (a conflict is the sharing violation).
bool TakeShareLock(int fd, bool exclusive) {
  if (SetOfdLock(fd, exclusive ? F_WRLCK : F_RDLCK, kShareModeByte, 1)) return true;
  if (errno == EAGAIN || errno == EACCES) {
    SetLastOsError(kOsErrorSharingViolation);
  } else {
    SetLastOsErrorFromErrno(errno);
  }
  return false;
}

// True when some open file description (other than fd's) holds a lock on the share byte.
bool ShareByteHeld(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kShareModeByte;
  lock.l_len = 1;
  lock.l_pid = 0;
  if (fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

// An open file: one descriptor, its open-file-description locks, and the table of ranges
// held through it.
class TPosixFile final : public TOsFile {
 public:
  // identity: what fstat said at the open (an open file's device and inode never change).
  TPosixFile(int fd, bool read_only, TFileIdentity identity) : fd_(fd), read_only_(read_only), identity_(identity) {}
  ~TPosixFile() override { ::close(fd_); }

  int64_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
    auto* bytes = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
      const ssize_t n = ::pread(fd_, bytes + done, count - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        SetLastOsErrorFromErrno(errno);
        return -1;
      }
      if (n == 0) break;  // end of file
      done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
  }

  int64_t WriteAt(uint64_t offset, const void* buffer, size_t count) override {
    const auto* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
      const ssize_t n = ::pwrite(fd_, bytes + done, count - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        SetLastOsErrorFromErrno(errno);
        return done == 0 ? -1 : static_cast<int64_t>(done);
      }
      if (n == 0) {
        SetLastOsError(kOsErrorDiskFull);
        break;
      }
      done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
  }

  bool SetSize(uint64_t size) override {
    while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
      if (errno != EINTR) {
        SetLastOsErrorFromErrno(errno);
        return false;
      }
    }
    return true;
  }

  bool Flush() override {
    if (::fdatasync(fd_) != 0) {
      SetLastOsErrorFromErrno(errno);
      return false;
    }
    return true;
  }

  int64_t Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      SetLastOsErrorFromErrno(errno);
      return -1;
    }
    return static_cast<int64_t>(st.st_size);
  }

  bool LockRange(uint64_t offset, uint64_t length) override {
    if (!ValidRange(offset, length)) return false;
    std::lock_guard<std::mutex> guard(mutex_);
    if (OverlapsHeld(offset, length)) {
      SetLastOsError(kOsErrorAccessDenied);
      return false;
    }
    // A descriptor opened for reading only cannot carry a write lock; a read lock still
    // keeps out every writer.
    if (!SetOfdLock(fd_, read_only_ ? F_RDLCK : F_WRLCK, offset, length)) {
      SetLastOsErrorFromErrno(errno);
      return false;
    }
    held_.emplace(offset, length);
    return true;
  }

  bool UnlockRange(uint64_t offset, uint64_t length) override {
    if (!ValidRange(offset, length)) return false;
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = held_.find(offset);
    if (it == held_.end() || it->second != length) {
      SetLastOsError(kOsErrorAccessDenied);  // not a held lock
      return false;
    }
    if (!SetOfdLock(fd_, F_UNLCK, offset, length)) {
      SetLastOsErrorFromErrno(errno);
      return false;
    }
    held_.erase(it);
    return true;
  }

  bool ReadOnly() const override { return read_only_; }

  bool ReleaseShareMode() override {
    if (SetOfdLock(fd_, F_UNLCK, kShareModeByte, 1)) return true;
    SetLastOsErrorFromErrno(errno);
    return false;
  }

  // A descriptor opened for reading only holds a read lock even when exclusive (see OpenFile).
  bool TakeShareMode(bool exclusive) override { return TakeShareLock(fd_, exclusive && !read_only_); }

  bool Identity(TFileIdentity& identity) override {
    identity = identity_;
    return true;
  }

 private:
  // Whether the range meets one held through this object. Held ranges never overlap, so
  // only the two around the offset can meet it.
  bool OverlapsHeld(uint64_t offset, uint64_t length) const {
    auto it = held_.lower_bound(offset);
    if (it != held_.end() && it->first < offset + length) return true;
    if (it == held_.begin()) return false;
    --it;
    return offset < it->first + it->second;
  }

  // Ranges must be non-empty (a zero length would mean "to infinity" to the OS) and stay
  // below the share-mode byte.
  static bool ValidRange(uint64_t offset, uint64_t length) {
    if (length == 0 || offset >= kLockableLimit || length > kLockableLimit - offset) {
      SetLastOsError(kOsErrorInvalidParameter);
      return false;
    }
    return true;
  }

  const int fd_;
  const bool read_only_;
  const TFileIdentity identity_;
  std::mutex mutex_;  // guards held_
  // Ranges locked through this object, offset to length. A transaction keeps one record
  // lock per changed record to its end: looked up by offset, not searched.
  std::map<uint64_t, uint64_t> held_;
};

// Refuses (sharing violation) when some open holds the file; used before delete and rename.
// A file we cannot open for reading is not checked.
bool CheckNotInUse(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      SetLastOsErrorFromErrno(errno);
      return false;
    }
    return true;
  }
  struct stat st {};
  const bool directory = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  const bool held = !directory && ShareByteHeld(fd);
  ::close(fd);
  if (directory) {
    SetLastOsError(kOsErrorAccessDenied);
    return false;
  }
  if (held) {
    SetLastOsError(kOsErrorSharingViolation);
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<TOsFile> TPosixEnvironment::OpenFile(const std::string& path, const TOpenOptions& options) {
  int flags = (options.read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC;
  if (options.create) flags |= O_CREAT;  // no O_TRUNC: the share mode is checked first
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetLastOsErrorFromErrno(errno);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    SetLastOsErrorFromErrno(errno);
    ::close(fd);
    return nullptr;
  }
  auto file = std::make_unique<TPosixFile>(
      fd, options.read_only, TFileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)});
  if (S_ISDIR(st.st_mode)) {
    SetLastOsError(kOsErrorAccessDenied);
    return nullptr;
  }
  if (!TakeShareLock(fd, options.exclusive && !options.read_only)) return nullptr;
  if (options.create && !file->SetSize(0)) return nullptr;
  if (options.delete_on_close && ::unlink(path.c_str()) != 0) {
    SetLastOsErrorFromErrno(errno);
    return nullptr;
  }
  if (options.sequential) (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return file;
}

bool TPosixEnvironment::DeleteFile(const std::string& path) {
  if (!CheckNotInUse(path)) return false;
  if (::unlink(path.c_str()) != 0) {
    SetLastOsErrorFromErrno(errno);
    return false;
  }
  return true;
}

bool TPosixEnvironment::RenameFile(const std::string& from, const std::string& to) {
  if (!CheckNotInUse(from)) return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) {
    SetLastOsErrorFromErrno(errno);
    return false;
  }
  // The file system cannot refuse replacement itself: check, then rename.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    SetLastOsError(kOsErrorAlreadyExists);
    return false;
  }
  if (::rename(from.c_str(), to.c_str()) != 0) {
    SetLastOsErrorFromErrno(errno);
    return false;
  }
  return true;
}

bool TPosixEnvironment::GetFileInfo(const std::string& path, TFileInfo& info) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    SetLastOsErrorFromErrno(errno);
    return false;
  }
  info.is_directory = S_ISDIR(st.st_mode);
  info.size = static_cast<uint64_t>(st.st_size);
  info.modified_unix = static_cast<int64_t>(st.st_mtim.tv_sec);
  info.identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  // The "read-only attribute": this user may not write the file. A superuser may write
  // anything, so for them a file without any write permission bit counts as read-only.
  info.read_only = !WritableByUs(path, st) || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  return true;
}

bool TPosixEnvironment::WritableByUs(const std::string& path, const struct stat& st) {
  // Whether access() allows writing depends on the inode's owner, mode and ACL; a kept table
  // asks about its files before each statement, so the answer is remembered for the file as
  // it was. Owner and mode are compared as they are; an ACL change moves the change time
  // (whose clock may be coarse, hence owner and mode besides).
  TAccessMemo now;
  now.device = static_cast<uint64_t>(st.st_dev);
  now.inode = static_cast<uint64_t>(st.st_ino);
  now.changed_seconds = static_cast<int64_t>(st.st_ctim.tv_sec);
  now.changed_nanoseconds = static_cast<int64_t>(st.st_ctim.tv_nsec);
  now.mode = static_cast<uint32_t>(st.st_mode);
  now.owner = static_cast<uint32_t>(st.st_uid);
  now.group = static_cast<uint32_t>(st.st_gid);
  {
    std::lock_guard<std::mutex> guard(accessMemoMutex_);
    const auto found = accessMemo_.find(path);
    if (found != accessMemo_.end() && found->second.SameFileState(now)) return found->second.writable;
  }
  now.writable = ::access(path.c_str(), W_OK) == 0;
  std::lock_guard<std::mutex> guard(accessMemoMutex_);
  // A bound, not a cache policy: the names of the open tables fit many times over.
  constexpr std::size_t kMemoLimit = 256;
  if (accessMemo_.size() >= kMemoLimit) accessMemo_.clear();
  accessMemo_[path] = now;
  return now.writable;
}

bool TPosixEnvironment::ListDirectory(const std::string& directory, std::vector<std::string>& names) {
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) {
    SetLastOsErrorFromErrno(errno);
    return false;
  }
  names.clear();
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return true;
}

std::string TPosixEnvironment::CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) {
      SetLastOsErrorFromErrno(errno);
      return {};
    }
    buffer.resize(buffer.size() * 2);
  }
  std::string result = buffer.data();
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::string TPosixEnvironment::TemporaryDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string result = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::string TPosixEnvironment::ComputerName() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) {
    SetLastOsErrorFromErrno(errno);
    return {};
  }
  std::string name = buffer;
  if (name.size() > 15) name.resize(15);
  return name;
}

uint32_t TPosixEnvironment::ThreadId() { return static_cast<uint32_t>(::gettid()); }

TLocalTime TPosixEnvironment::LocalTime() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  TLocalTime local;
  ToLocalTime(now.tv_sec, local);
  local.millisecond = static_cast<int>(now.tv_nsec / 1000000);
  return local;
}

bool TPosixEnvironment::ToLocalTime(int64_t unix_seconds, TLocalTime& local) {
  const time_t seconds = static_cast<time_t>(unix_seconds);
  struct tm parts {};
  if (::localtime_r(&seconds, &parts) == nullptr) {
    SetLastOsErrorFromErrno(errno == 0 ? EOVERFLOW : errno);
    return false;
  }
  local.year = parts.tm_year + 1900;
  local.month = parts.tm_mon + 1;
  local.day = parts.tm_mday;
  local.hour = parts.tm_hour;
  local.minute = parts.tm_min;
  local.second = parts.tm_sec;
  local.millisecond = 0;
  return true;
}

uint64_t TPosixEnvironment::TickCount() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void TPosixEnvironment::Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace quarry
