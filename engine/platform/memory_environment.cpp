// The in-memory environment (see memory_environment.h).
#include "engine/platform/memory_environment.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <thread>

#include "engine/platform/os_error.h"

namespace quarry {

struct TMemoryEnvironment::TNode {
  std::vector<char> data;
  std::vector<char> synced;  // contents at the last flush
  bool read_only = false;
  int64_t modified_unix = 0;
  int shared_holders = 0;
  bool exclusive_holder = false;
  struct TLock {
    const void* owner;
    uint64_t offset;
    uint64_t length;
  };
  std::vector<TLock> locks;
};

namespace {

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// An open of a memory file: its own handle on the shared node.
class TMemoryOsFile final : public TOsFile {
 public:
  using TNode = TMemoryEnvironment::TNode;

  TMemoryOsFile(std::mutex& mutex, std::shared_ptr<TNode> node, bool read_only, bool exclusive, int64_t now)
      : mutex_(mutex), node_(std::move(node)), read_only_(read_only), exclusive_(exclusive), now_(now) {}

  ~TMemoryOsFile() override {
    std::lock_guard<std::mutex> guard(mutex_);
    DropShare();
    auto& locks = node_->locks;
    locks.erase(std::remove_if(locks.begin(), locks.end(), [this](const auto& l) { return l.owner == this; }),
                locks.end());
  }

  int64_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto& data = node_->data;
    if (offset >= data.size()) return 0;
    const size_t n = std::min<uint64_t>(count, data.size() - offset);
    std::memcpy(buffer, data.data() + offset, n);
    return static_cast<int64_t>(n);
  }

  int64_t WriteAt(uint64_t offset, const void* buffer, size_t count) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (read_only_) {
      SetLastOsError(kOsErrorInvalidHandle);
      return -1;
    }
    if (offset + count > kLockableLimit * 2) {
      SetLastOsError(kOsErrorFileTooLarge);
      return -1;
    }
    auto& data = node_->data;
    if (offset + count > data.size()) data.resize(offset + count, 0);
    std::memcpy(data.data() + offset, buffer, count);
    node_->modified_unix = now_;
    return static_cast<int64_t>(count);
  }

  bool SetSize(uint64_t size) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (read_only_ || size > kLockableLimit * 2) {
      SetLastOsError(read_only_ ? kOsErrorInvalidHandle : kOsErrorFileTooLarge);
      return false;
    }
    node_->data.resize(size, 0);
    return true;
  }

  bool Flush() override {
    std::lock_guard<std::mutex> guard(mutex_);
    node_->synced = node_->data;
    return true;
  }

  int64_t Size() override {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int64_t>(node_->data.size());
  }

  bool LockRange(uint64_t offset, uint64_t length) override {
    if (length == 0 || offset >= kLockableLimit || length > kLockableLimit - offset) {
      SetLastOsError(kOsErrorInvalidParameter);
      return false;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& lock : node_->locks) {
      if (offset < lock.offset + lock.length && lock.offset < offset + length) {
        SetLastOsError(kOsErrorAccessDenied);
        return false;
      }
    }
    node_->locks.push_back({this, offset, length});
    return true;
  }

  bool UnlockRange(uint64_t offset, uint64_t length) override {
    std::lock_guard<std::mutex> guard(mutex_);
    auto& locks = node_->locks;
    for (auto it = locks.begin(); it != locks.end(); ++it) {
      if (it->owner == this && it->offset == offset && it->length == length) {
        locks.erase(it);
        return true;
      }
    }
    SetLastOsError(kOsErrorAccessDenied);
    return false;
  }

  bool ReadOnly() const override { return read_only_; }

  bool ReleaseShareMode() override {
    std::lock_guard<std::mutex> guard(mutex_);
    DropShare();
    return true;
  }

  bool TakeShareMode(bool exclusive) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (holds_share_) return exclusive == exclusive_;
    if (node_->exclusive_holder || (exclusive && node_->shared_holders > 0)) {
      SetLastOsError(kOsErrorSharingViolation);
      return false;
    }
    exclusive_ = exclusive;
    if (exclusive_) {
      node_->exclusive_holder = true;
    } else {
      ++node_->shared_holders;
    }
    holds_share_ = true;
    return true;
  }

  // A node lives as long as some handle holds it, so its address is its identity.
  bool Identity(TFileIdentity& identity) override {
    identity = {0, reinterpret_cast<uintptr_t>(node_.get())};
    return true;
  }

 private:
  // mutex_ held.
  void DropShare() {
    if (!holds_share_) return;
    if (exclusive_) {
      node_->exclusive_holder = false;
    } else {
      --node_->shared_holders;
    }
    holds_share_ = false;
  }

  std::mutex& mutex_;
  std::shared_ptr<TNode> node_;
  const bool read_only_;
  bool exclusive_;
  bool holds_share_ = true;
  const int64_t now_;
};

}  // namespace

TMemoryEnvironment::TMemoryEnvironment() { directories_.insert("/"); }

TMemoryEnvironment::~TMemoryEnvironment() = default;

std::unique_ptr<TOsFile> TMemoryEnvironment::OpenFile(const std::string& path, const TOpenOptions& options) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (directories_.count(WithoutTrailingSlash(path)) != 0) {
    SetLastOsError(kOsErrorAccessDenied);
    return nullptr;
  }
  auto found = files_.find(path);
  std::shared_ptr<TNode> node;
  if (found != files_.end()) {
    node = found->second;
  } else if (!options.create) {
    SetLastOsError(kOsErrorFileNotFound);
    return nullptr;
  } else {
    const std::string parent = ParentOf(path);
    const bool parent_exists =
        directories_.count(parent) != 0 ||
        std::any_of(files_.begin(), files_.end(), [&](const auto& f) { return ParentOf(f.first) == parent; });
    if (!parent_exists) {
      SetLastOsError(kOsErrorPathNotFound);
      return nullptr;
    }
    node = std::make_shared<TNode>();
  }
  if (!options.read_only && node->read_only) {
    SetLastOsError(kOsErrorAccessDenied);
    return nullptr;
  }
  const bool conflict = node->exclusive_holder || (options.exclusive && node->shared_holders > 0);
  if (conflict) {
    SetLastOsError(kOsErrorSharingViolation);
    return nullptr;
  }
  if (options.exclusive) {
    node->exclusive_holder = true;
  } else {
    ++node->shared_holders;
  }
  if (options.create) {
    node->data.clear();
    node->modified_unix = clock_unix_;
    files_[path] = node;
  }
  if (options.delete_on_close) files_.erase(path);
  return std::make_unique<TMemoryOsFile>(mutex_, node, options.read_only, options.exclusive, clock_unix_);
}

bool TMemoryEnvironment::DeleteFile(const std::string& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto found = files_.find(path);
  if (found == files_.end()) {
    SetLastOsError(directories_.count(WithoutTrailingSlash(path)) != 0 ? kOsErrorAccessDenied : kOsErrorFileNotFound);
    return false;
  }
  if (found->second->exclusive_holder || found->second->shared_holders > 0) {
    SetLastOsError(kOsErrorSharingViolation);
    return false;
  }
  files_.erase(found);
  return true;
}

bool TMemoryEnvironment::RenameFile(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto found = files_.find(from);
  if (found == files_.end()) {
    SetLastOsError(kOsErrorFileNotFound);
    return false;
  }
  if (found->second->exclusive_holder || found->second->shared_holders > 0) {
    SetLastOsError(kOsErrorSharingViolation);
    return false;
  }
  if (files_.count(to) != 0 || directories_.count(WithoutTrailingSlash(to)) != 0) {
    SetLastOsError(kOsErrorAlreadyExists);
    return false;
  }
  auto node = found->second;
  files_.erase(found);
  files_[to] = node;
  return true;
}

bool TMemoryEnvironment::GetFileInfo(const std::string& path, TFileInfo& info) {
  std::lock_guard<std::mutex> guard(mutex_);
  const std::string trimmed = WithoutTrailingSlash(path);
  if (directories_.count(trimmed) != 0 ||
      std::any_of(files_.begin(), files_.end(), [&](const auto& f) { return ParentOf(f.first) == trimmed; })) {
    info = TFileInfo{};
    info.is_directory = true;
    return true;
  }
  auto found = files_.find(path);
  if (found == files_.end()) {
    SetLastOsError(kOsErrorFileNotFound);
    return false;
  }
  info.is_directory = false;
  info.read_only = found->second->read_only;
  info.size = found->second->data.size();
  info.modified_unix = found->second->modified_unix;
  info.identity = {0, reinterpret_cast<uintptr_t>(found->second.get())};
  return true;
}

bool TMemoryEnvironment::ListDirectory(const std::string& directory, std::vector<std::string>& names) {
  std::lock_guard<std::mutex> guard(mutex_);
  const std::string wanted = WithoutTrailingSlash(directory == "." ? current_directory_ : directory);
  names.clear();
  bool exists = directories_.count(wanted) != 0;
  for (const auto& [path, node] : files_) {
    if (ParentOf(path) == wanted) {
      names.push_back(path.substr(path.find_last_of('/') + 1));
      exists = true;
    }
  }
  for (const std::string& dir : directories_) {
    if (dir != wanted && ParentOf(dir) == wanted) names.push_back(dir.substr(dir.find_last_of('/') + 1));
  }
  if (!exists) SetLastOsError(kOsErrorPathNotFound);
  return exists;
}

std::string TMemoryEnvironment::CurrentDirectory() {
  std::lock_guard<std::mutex> guard(mutex_);
  return current_directory_;
}

std::string TMemoryEnvironment::TemporaryDirectory() { return "/tmp"; }
std::string TMemoryEnvironment::ComputerName() { return "QUARRYMEMORY"; }

uint32_t TMemoryEnvironment::ThreadId() {
  return static_cast<uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()) & 0x7FFFFFFF) | 1u;
}

TLocalTime TMemoryEnvironment::LocalTime() {
  int64_t now;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    now = clock_unix_;
  }
  TLocalTime local;
  ToLocalTime(now, local);
  return local;
}

bool TMemoryEnvironment::ToLocalTime(int64_t unix_seconds, TLocalTime& local) {
  // The memory environment's local time is UTC, so tests do not depend on the host's zone.
  const time_t seconds = static_cast<time_t>(unix_seconds);
  struct tm parts {};
  if (gmtime_r(&seconds, &parts) == nullptr) {
    SetLastOsError(kOsErrorInvalidParameter);
    return false;
  }
  local =
      TLocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, 0};
  return true;
}

uint64_t TMemoryEnvironment::TickCount() {
  std::lock_guard<std::mutex> guard(mutex_);
  return ticks_;
}

void TMemoryEnvironment::Sleep(uint32_t milliseconds) {
  std::lock_guard<std::mutex> guard(mutex_);
  const uint64_t before = ticks_;
  ticks_ += milliseconds;
  clock_unix_ += static_cast<int64_t>(ticks_ / 1000 - before / 1000);
}

void TMemoryEnvironment::MakeDirectory(const std::string& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  directories_.insert(WithoutTrailingSlash(path));
}

void TMemoryEnvironment::SetReadOnly(const std::string& path, bool read_only) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto found = files_.find(path);
  if (found != files_.end()) found->second->read_only = read_only;
}

void TMemoryEnvironment::SetCurrentDirectory(const std::string& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  current_directory_ = WithoutTrailingSlash(path);
}

void TMemoryEnvironment::DropUnsyncedData() {
  std::lock_guard<std::mutex> guard(mutex_);
  for (auto& [path, node] : files_) node->data = node->synced;
}

std::string TMemoryEnvironment::Contents(const std::string& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto found = files_.find(path);
  return found == files_.end() ? std::string() : std::string(found->second->data.begin(), found->second->data.end());
}

}  // namespace quarry
