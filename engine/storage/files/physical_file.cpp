// TPhysicalFile: a disk file behind one OS handle shared by all its opens.
#include "engine/storage/files/physical_file.h"

#include "engine/platform/os_error.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {

TPhysicalFile::TPhysicalFile(TEnvironment& environment, std::string file_name)
    : TAbstractFile(std::move(file_name)), environment_(environment) {}

TPhysicalFile::~TPhysicalFile() = default;

int64_t TPhysicalFile::Size() {
  std::lock_guard<std::recursive_mutex> guard(section_);
  if (handle_) {
    const int64_t size = handle_->Size();
    return size < 0 ? -MapOsError() : size;
  }
  TFileInfo info;
  if (!environment_.GetFileInfo(environment_.ResolveIgnoringCase(file_name_), info)) return -MapOsError();
  return static_cast<int64_t>(info.size);
}

int32_t TPhysicalFile::Create() {
  std::lock_guard<std::recursive_mutex> guard(section_);
  if (handle_) {
    SetLastOsError(kOsErrorSharingViolation);
    return -QUARRY_OSEACCES;
  }
  TOpenOptions options;
  options.read_only = false;
  options.exclusive = true;
  options.create = true;
  options.sequential = true;
  // An existing file whose name differs only in case is the one replaced.
  handle_ = environment_.OpenFile(environment_.ResolveIgnoringCase(file_name_), options);
  if (!handle_) return -MapOsError();
  read_only_ = false;
  read_only_attribute_ = false;
  return AddOpen();
}

int32_t TPhysicalFile::Open() {
  std::lock_guard<std::recursive_mutex> guard(section_);
  if (open_count_ == 0) {
    std::string path;
    TFileInfo info;
    if (!environment_.FindIgnoringCase(file_name_, path, info)) return -MapOsError();
    if (info.is_directory) {
      SetLastOsError(kOsErrorAccessDenied);
      return -MapOsError();
    }
    read_only_ = info.read_only;
    read_only_attribute_ = info.read_only;

    TOpenOptions options;
    options.read_only = read_only_;
    options.exclusive = exclusive_;
    options.sequential = true;
    options.delete_on_close = temporary_;
    handle_ = environment_.OpenFile(path, options);
    // A read/write open the OS refuses falls back to reading only, but a share-mode
    // conflict stays a conflict: reading only must not slip past another open.
    if (!handle_ && !read_only_ && LastOsError() != kOsErrorSharingViolation) {
      const int32_t first_error = LastOsError();
      options.read_only = true;
      handle_ = environment_.OpenFile(path, options);
      if (handle_) {
        read_only_ = true;
      } else if (LastOsError() != kOsErrorSharingViolation) {
        SetLastOsError(first_error);
      }
    }
    if (!handle_) return -MapOsError();
  }
  return AddOpen();
}

int32_t TPhysicalFile::Close(int32_t open_number) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  const int32_t result = TAbstractFile::Close(open_number);
  if (result == 0 && open_count_ == 0) handle_.reset();
  return result;
}

bool TPhysicalFile::Identity(TFileIdentity& identity) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return handle_ && handle_->Identity(identity);
}

std::unique_ptr<TOsFile> TPhysicalFile::Detach(int32_t open_number) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  if (!handle_ || open_count_ != 1 || FindOpen(open_number) < 0) return nullptr;
  if (!handle_->ReleaseShareMode()) return nullptr;
  TAbstractFile::Close(open_number);
  return std::move(handle_);
}

int32_t TPhysicalFile::Adopt(std::unique_ptr<TOsFile> handle, bool read_only, bool read_only_attribute) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  if (handle_ || !handle) {
    SetLastOsError(kOsErrorInvalidHandle);
    return -MapOsError();
  }
  handle_ = std::move(handle);
  read_only_ = read_only;
  read_only_attribute_ = read_only_attribute;
  return AddOpen();
}

int32_t TPhysicalFile::Rename(const std::string& new_name) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  if (handle_) {
    SetLastOsError(kOsErrorSharingViolation);
    return -QUARRY_OSEACCES;
  }
  if (!environment_.RenameFile(environment_.ResolveIgnoringCase(file_name_), new_name)) return -MapOsError();
  file_name_ = new_name;
  return 0;
}

int32_t TPhysicalFile::Delete() {
  std::lock_guard<std::recursive_mutex> guard(section_);
  if (handle_) {
    SetLastOsError(kOsErrorSharingViolation);
    return -QUARRY_OSEACCES;
  }
  if (!environment_.DeleteFile(environment_.ResolveIgnoringCase(file_name_))) return -MapOsError();
  return 0;
}

int64_t TPhysicalFile::Read(int32_t open_number, void* buffer, int64_t count) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  TFileOpenRecord* open = OpenRecord(open_number);
  if (open == nullptr || !handle_ || count < 0) {
    SetLastOsError(count < 0 ? kOsErrorInvalidParameter : kOsErrorInvalidHandle);
    return -MapOsError();
  }
  const int64_t n = handle_->ReadAt(static_cast<uint64_t>(open->position), buffer, static_cast<size_t>(count));
  if (n < 0) return -MapOsError();
  open->position += n;
  return n;
}

int64_t TPhysicalFile::Write(int32_t open_number, const void* buffer, int64_t count) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  TFileOpenRecord* open = OpenRecord(open_number);
  if (open == nullptr || !handle_ || count < 0) {
    SetLastOsError(count < 0 ? kOsErrorInvalidParameter : kOsErrorInvalidHandle);
    return -MapOsError();
  }
  if (read_only_) {
    SetLastOsError(kOsErrorAccessDenied);
    return -MapOsError();
  }
  if (count == 0) {
    if (!handle_->SetSize(static_cast<uint64_t>(open->position))) return -MapOsError();
    return 0;
  }
  const int64_t n = handle_->WriteAt(static_cast<uint64_t>(open->position), buffer, static_cast<size_t>(count));
  if (n < 0) return -MapOsError();
  open->position += n;
  return n;
}

int32_t TPhysicalFile::Flush() {
  std::lock_guard<std::recursive_mutex> guard(section_);
  if (!handle_) {
    SetLastOsError(kOsErrorInvalidHandle);
    return -MapOsError();
  }
  if (read_only_) return 0;  // nothing of ours to write
  return handle_->Flush() ? 0 : -MapOsError();
}

int64_t TPhysicalFile::Seek(int32_t open_number, int origin, int64_t offset) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  if (!handle_) {
    SetLastOsError(kOsErrorInvalidHandle);
    return -MapOsError();
  }
  return TAbstractFile::Seek(open_number, origin, offset);
}

bool TPhysicalFile::LockRegion(uint64_t offset, uint64_t length) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return handle_ && handle_->LockRange(offset, length);
}

bool TPhysicalFile::UnlockRegion(uint64_t offset, uint64_t length) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return handle_ && handle_->UnlockRange(offset, length);
}

}  // namespace quarry
