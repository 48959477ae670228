// TMemoryFile: contents in a block of memory (see memory_file.h).
#include "engine/storage/files/memory_file.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/platform/environment.h"
#include "engine/platform/os_error.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {

namespace {

// No table file may outgrow the lock map, so neither may a memory file.
constexpr int64_t kMaxMemoryFileSize = static_cast<int64_t>(kLockableLimit);

int64_t RoundUpToStep(int64_t size) {
  return (size + kMemoryFileBlockStep - 1) / kMemoryFileBlockStep * kMemoryFileBlockStep;
}

}  // namespace

TMemoryFile::TMemoryFile(std::string file_name) : TAbstractFile(std::move(file_name)) {}

int32_t TMemoryFile::Create() {
  std::lock_guard<std::recursive_mutex> guard(section_);
  Resize(0);
  return AddOpen();
}

int64_t TMemoryFile::Read(int32_t open_number, void* buffer, int64_t count) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  TFileOpenRecord* open = OpenRecord(open_number);
  if (open == nullptr || count < 0) {
    SetLastOsError(open == nullptr ? kOsErrorInvalidHandle : kOsErrorInvalidParameter);
    return -MapOsError();
  }
  if (open->position >= size_) return 0;
  const int64_t n = std::min(count, size_ - open->position);
  if (n > 0) std::memcpy(buffer, block_.data() + open->position, static_cast<size_t>(n));
  open->position += n;
  return n;
}

int64_t TMemoryFile::Write(int32_t open_number, const void* buffer, int64_t count) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  TFileOpenRecord* open = OpenRecord(open_number);
  if (open == nullptr || count < 0) {
    SetLastOsError(open == nullptr ? kOsErrorInvalidHandle : kOsErrorInvalidParameter);
    return -MapOsError();
  }
  if (count == 0) {
    if (!Resize(open->position)) return -QUARRY_OSEINVMEM;
    return 0;
  }
  if (count > kMaxMemoryFileSize - open->position) {
    SetLastOsError(kOsErrorFileTooLarge);
    return -QUARRY_OSEINVMEM;
  }
  const int64_t end = open->position + count;
  if (end > size_ && !Resize(end)) return -QUARRY_OSEINVMEM;
  std::memcpy(block_.data() + open->position, buffer, static_cast<size_t>(count));
  open->position = end;
  return count;
}

int64_t TMemoryFile::AllocatedLength() const {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return static_cast<int64_t>(block_.size());
}

bool TMemoryFile::Resize(int64_t new_size) {
  if (new_size > kMaxMemoryFileSize) {
    SetLastOsError(kOsErrorFileTooLarge);
    return false;
  }
  if (new_size == 0) {
    std::vector<uint8_t>().swap(block_);
    size_ = 0;
    return true;
  }
  const int64_t needed = RoundUpToStep(new_size);
  const auto allocated = static_cast<int64_t>(block_.size());
  try {
    if (needed > allocated) {
      // Grow by at least half again so that appends do not copy the block each time.
      const int64_t target =
          std::min(RoundUpToStep(std::max(needed, allocated + allocated / 2)), RoundUpToStep(kMaxMemoryFileSize));
      block_.resize(static_cast<size_t>(target), 0);
    } else if (new_size < size_ && needed < allocated) {
      // Only a truncation gives memory back; growth keeps its headroom.
      block_.resize(static_cast<size_t>(needed));
      block_.shrink_to_fit();
    }
  } catch (const std::bad_alloc&) {
    SetLastOsError(kOsErrorNotEnoughMemory);
    return false;
  }
  // Bytes beyond the size stay zero, so a later extension reads zeros.
  if (new_size < size_) {
    std::fill(block_.begin() + new_size, block_.end(), uint8_t{0});
  }
  size_ = new_size;
  return true;
}

}  // namespace quarry
