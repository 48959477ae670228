// TFileHandler: one table file's handle, raising engine errors (see file_handler.h).
#include "engine/storage/files/file_handler.h"

#include "engine/platform/os_error.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {

TFileHandler::TFileHandler(std::string file_name, bool in_memory, TFileList* list)
    : list_(list != nullptr ? list : &TFileList::Process()), in_memory_(in_memory), file_name_(std::move(file_name)) {}

TFileHandler::~TFileHandler() { Close(); }

void TFileHandler::RaiseFileError(int64_t code) const {
  if (code < 0) code = -code;
  RaiseEngineError(static_cast<TEngineErrorCode>(code), TEngineErrorContext{.table = file_name_});
}

void TFileHandler::RequireOpen() const {
  if (!open_ || file_ == nullptr) {
    SetLastOsError(kOsErrorInvalidHandle);
    RaiseFileError(QUARRY_OSEBADF);
  }
}

void TFileHandler::Open() {
  if (open_) return;
  TAbstractFile* file = nullptr;
  bool read_only = false;
  bool read_only_attribute = false;
  const int32_t result =
      list_->Open(file_name_, in_memory_, temporary_, exclusive_, file, read_only, read_only_attribute);
  if (result < 0) {
    // The open looks the name up itself; only a failure asks whether the file is there at
    // all, so that a missing file (or a folder of that name) reads as not found.
    const int32_t os_error = LastOsError();
    if (!list_->Exists(file_name_, in_memory_)) {
      SetLastOsError(kOsErrorFileNotFound);
      RaiseFileError(QUARRY_OSENOENT);
    }
    SetLastOsError(os_error);
    RaiseFileError(result);
  }
  file_ = file;
  open_number_ = result;
  read_only_ = read_only;
  read_only_attribute_ = read_only_attribute;
  open_ = true;
}

void TFileHandler::Close() {
  if (open_ && file_ != nullptr) {
    // Closing cannot fail in a way the caller could mend; the handle is gone either way.
    (void)list_->Close(file_, in_memory_, open_number_);
  }
  file_ = nullptr;
  open_number_ = 0;
  open_ = false;
  parked_.reset();
}

bool TFileHandler::Park() {
  if (!open_ || file_ == nullptr) return false;
  parked_ = list_->Park(file_, in_memory_, open_number_);
  file_ = nullptr;
  open_number_ = 0;
  open_ = false;
  return parked_ != nullptr;
}

bool TFileHandler::Resume() {
  if (open_ || !parked_) return false;
  TAbstractFile* file = nullptr;
  bool read_only = false;
  bool read_only_attribute = false;
  const int32_t result =
      list_->Resume(file_name_, std::move(parked_), exclusive_, file, read_only, read_only_attribute);
  parked_.reset();
  if (result < 0) return false;
  file_ = file;
  open_number_ = result;
  read_only_ = read_only;
  read_only_attribute_ = read_only_attribute;
  open_ = true;
  return true;
}

void TFileHandler::Create() {
  TAbstractFile* file = nullptr;
  const int32_t result = list_->Create(file_name_, in_memory_, temporary_, file);
  if (result < 0) RaiseFileError(result);
  file_ = file;
  open_number_ = result;
  exclusive_ = true;
  read_only_ = false;
  read_only_attribute_ = false;
  open_ = true;
}

void TFileHandler::Delete() {
  const int32_t result = list_->Delete(file_name_, in_memory_);
  if (result < 0) RaiseFileError(result);
}

void TFileHandler::Rename(const std::string& new_name) {
  const int32_t result = list_->Rename(file_name_, in_memory_, new_name);
  if (result < 0) RaiseFileError(result);
  file_name_ = new_name;
}

void TFileHandler::CopyTo(const std::string& destination, bool destination_in_memory, int progress_step,
                          const TProgressCallback& progress) {
  RequireOpen();
  const int32_t result =
      list_->CopyTo(file_, open_number_, progress_step, progress, destination, destination_in_memory);
  if (result < 0) RaiseFileError(result);
}

void TFileHandler::CopyFrom(const std::string& source, bool source_in_memory, int progress_step,
                            const TProgressCallback& progress) {
  RequireOpen();
  const int32_t result = list_->CopyFrom(file_, open_number_, progress_step, progress, source, source_in_memory);
  if (result < 0) RaiseFileError(result);
}

int64_t TFileHandler::Read(void* buffer, int64_t count, bool tolerate_short) {
  RequireOpen();
  const int64_t n = file_->Read(open_number_, buffer, count);
  // A failed read is a read that delivered nothing; the OS error travels with the error.
  if (n < 0) RaiseFileError(QUARRY_READERR);
  if (n < count && !tolerate_short) RaiseFileError(QUARRY_READERR);
  return n;
}

void TFileHandler::Write(const void* buffer, int64_t count) {
  RequireOpen();
  const int64_t n = file_->Write(open_number_, buffer, count);
  // Refusals that say more than "short write": a read-only open, a memory file that
  // would grow beyond its limit or beyond the memory there is.
  if (n == -QUARRY_OSEACCES || n == -QUARRY_OSEINVMEM || n == -QUARRY_OSENOMEM) RaiseFileError(n);
  if (n < 0 || n != count) RaiseFileError(QUARRY_WRITEERR);
}

void TFileHandler::Flush() {
  RequireOpen();
  if (file_->Flush() < 0) RaiseFileError(QUARRY_WRITEERR);
}

int64_t TFileHandler::Seek(int origin, int64_t offset) {
  RequireOpen();
  const int64_t position = file_->Seek(open_number_, origin, offset);
  if (position < 0) RaiseFileError(position);
  return position;
}

int64_t TFileHandler::Size() {
  if (!open_) {
    SetLastOsError(kOsErrorInvalidHandle);
    RaiseFileError(QUARRY_OSEBADF);
  }
  const int64_t size = file_->Size();
  if (size < 0) RaiseFileError(size);
  return size;
}

bool TFileHandler::Exists() { return list_->Exists(file_name_, in_memory_); }

bool TFileHandler::LockRegion(uint64_t offset, uint64_t length, bool lock) {
  if (!open_ || file_ == nullptr) return false;
  return lock ? file_->LockRegion(offset, length) : file_->UnlockRegion(offset, length);
}

int64_t TFileHandler::ReadAt(int64_t offset, void* buffer, int64_t count, bool tolerate_short) {
  RequireOpen();
  TFileSection section(*this);
  Seek(kSeekFromStart, offset);
  return Read(buffer, count, tolerate_short);
}

void TFileHandler::WriteAt(int64_t offset, const void* buffer, int64_t count) {
  RequireOpen();
  TFileSection section(*this);
  Seek(kSeekFromStart, offset);
  Write(buffer, count);
}

void TFileHandler::Acquire() {
  RequireOpen();
  file_->Acquire();
}

void TFileHandler::Release() {
  if (file_ != nullptr) file_->Release();
}

}  // namespace quarry
