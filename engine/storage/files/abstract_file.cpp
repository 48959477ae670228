// TAbstractFile: opens, positions and the region-list locks shared by both kinds of file.
#include "engine/storage/files/abstract_file.h"

#include "engine/platform/os_error.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {

TAbstractFile::TAbstractFile(std::string file_name) : file_name_(std::move(file_name)) {}

TAbstractFile::~TAbstractFile() = default;

int TAbstractFile::FindOpen(int32_t open_number) const {
  std::lock_guard<std::recursive_mutex> guard(section_);
  for (size_t i = 0; i < opens_.size(); ++i) {
    if (opens_[i].open_number == open_number) return static_cast<int>(i);
  }
  return -1;
}

int64_t TAbstractFile::Size() {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return size_;
}

int32_t TAbstractFile::Create() {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return AddOpen();
}

int32_t TAbstractFile::Open() {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return AddOpen();
}

int32_t TAbstractFile::Close(int32_t open_number) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  const int index = FindOpen(open_number);
  if (index < 0) {
    SetLastOsError(kOsErrorInvalidHandle);
    return -QUARRY_OSEBADF;
  }
  opens_.erase(opens_.begin() + index);
  --open_count_;
  return 0;
}

int32_t TAbstractFile::Rename(const std::string& new_name) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  file_name_ = new_name;
  return 0;
}

int32_t TAbstractFile::Delete() { return 0; }

int64_t TAbstractFile::Read(int32_t, void*, int64_t) {
  SetLastOsError(kOsErrorInvalidHandle);
  return -QUARRY_OSEBADF;
}

int64_t TAbstractFile::Write(int32_t, const void*, int64_t) {
  SetLastOsError(kOsErrorInvalidHandle);
  return -QUARRY_OSEBADF;
}

int32_t TAbstractFile::Flush() { return 0; }

int64_t TAbstractFile::Seek(int32_t open_number, int origin, int64_t offset) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  TFileOpenRecord* open = OpenRecord(open_number);
  if (open == nullptr) {
    SetLastOsError(kOsErrorInvalidHandle);
    return -QUARRY_OSEBADF;
  }
  int64_t position = 0;
  bool overflow = false;
  switch (origin) {
  case kSeekFromStart: position = offset; break;
  case kSeekFromCurrent: overflow = __builtin_add_overflow(open->position, offset, &position); break;
  case kSeekFromEnd: {
    const int64_t size = Size();
    if (size < 0) return size;
    overflow = __builtin_sub_overflow(size, offset, &position);
    break;
  }
  default: SetLastOsError(kOsErrorInvalidParameter); return -MapOsError();
  }
  if (overflow || position < 0) {
    SetLastOsError(kOsErrorNegativeSeek);
    return -MapOsError();
  }
  open->position = position;
  return position;
}

bool TAbstractFile::LockRegion(uint64_t offset, uint64_t length) {
  if (length == 0 || offset > UINT64_MAX - (length - 1)) return false;
  const uint64_t last = offset + length - 1;
  std::lock_guard<std::recursive_mutex> guard(section_);
  for (const TLockedRegion& region : locked_regions_) {
    const bool listed_starts_inside = region.first >= offset && region.first <= last;
    const bool new_starts_inside = offset >= region.first && offset <= region.last;
    if (listed_starts_inside || new_starts_inside) return false;
  }
  locked_regions_.push_back({offset, last, length});
  return true;
}

bool TAbstractFile::UnlockRegion(uint64_t offset, uint64_t length) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  for (auto it = locked_regions_.begin(); it != locked_regions_.end(); ++it) {
    if (it->first == offset && it->length == length) {
      locked_regions_.erase(it);
      return true;
    }
  }
  return false;
}

std::string TAbstractFile::FileName() const {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return file_name_;
}

bool TAbstractFile::Exclusive() const {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return exclusive_;
}

void TAbstractFile::SetExclusive(bool exclusive) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  exclusive_ = exclusive;
}

bool TAbstractFile::ReadOnly() const {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return read_only_;
}

bool TAbstractFile::ReadOnlyAttribute() const {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return read_only_attribute_;
}

bool TAbstractFile::Temporary() const {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return temporary_;
}

void TAbstractFile::SetTemporary(bool temporary) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  temporary_ = temporary;
}

int32_t TAbstractFile::OpenCount() const {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return open_count_;
}

int32_t TAbstractFile::AddOpen() {
  opens_.push_back({++last_open_number_, 0});
  ++open_count_;
  return last_open_number_;
}

TFileOpenRecord* TAbstractFile::OpenRecord(int32_t open_number) {
  const int index = FindOpen(open_number);
  return index < 0 ? nullptr : &opens_[static_cast<size_t>(index)];
}

}  // namespace quarry
