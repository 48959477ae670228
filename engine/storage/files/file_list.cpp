// TFileList: the process's open files, one object per name and kind (see file_list.h).
#include "engine/storage/files/file_list.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "engine/platform/locale_services.h"
#include "engine/platform/os_error.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/files/file_names.h"
#include "engine/storage/files/memory_file.h"
#include "engine/storage/files/physical_file.h"

namespace quarry {

namespace {

std::atomic<TFileList*> g_installed_list{nullptr};

int32_t Refuse(int32_t os_error) {
  SetLastOsError(os_error);
  return -MapOsError();
}

}  // namespace

TFileList::TFileList(TEnvironment& environment) : environment_(environment) {}

TFileList::~TFileList() {
  std::lock_guard<std::recursive_mutex> guard(section_);
  files_.clear();
}

TFileList& TFileList::Process() {
  if (TFileList* installed = g_installed_list.load()) return *installed;
  static TFileList list(DefaultEnvironment());
  return list;
}

TAbstractFile* TFileList::Find(const std::string& name, bool in_memory) const {
  const std::string wanted = TrimText(name);
  for (const auto& file : files_) {
    if (file->InMemory() == in_memory && SameTextIgnoringCase(TrimText(file->FileName()), wanted)) {
      return file.get();
    }
  }
  return nullptr;
}

void TFileList::Remove(TAbstractFile* file) {
  files_.erase(std::remove_if(files_.begin(), files_.end(), [file](const auto& f) { return f.get() == file; }),
               files_.end());
}

std::unique_ptr<TAbstractFile> TFileList::MakeFile(const std::string& name, bool in_memory) {
  if (in_memory) return std::make_unique<TMemoryFile>(TrimText(name));
  return std::make_unique<TPhysicalFile>(environment_, TrimText(name));
}

bool TFileList::Exists(const std::string& name, bool in_memory) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  if (Find(name, in_memory) != nullptr) return true;
  if (in_memory) return false;
  TFileInfo info;
  std::string found;
  return environment_.FindIgnoringCase(TrimText(name), found, info) && !info.is_directory;
}

int32_t TFileList::Create(const std::string& name, bool in_memory, bool temporary, TAbstractFile*& file) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  file = nullptr;
  TAbstractFile* existing = Find(name, in_memory);
  if (existing != nullptr && existing->OpenCount() > 0) return Refuse(kOsErrorSharingViolation);
  if (existing != nullptr) {
    existing->SetExclusive(true);
    existing->SetTemporary(temporary);
    const int32_t result = existing->Create();
    if (result >= 0) file = existing;
    return result;
  }
  std::unique_ptr<TAbstractFile> created = MakeFile(name, in_memory);
  created->SetExclusive(true);
  created->SetTemporary(temporary);
  const int32_t result = created->Create();
  if (result < 0) return result;
  file = created.get();
  files_.push_back(std::move(created));
  return result;
}

int32_t TFileList::Open(const std::string& name, bool in_memory, bool temporary, bool exclusive, TAbstractFile*& file,
                        bool& read_only, bool& read_only_attribute) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  file = nullptr;
  TAbstractFile* target = Find(name, in_memory);
  std::unique_ptr<TAbstractFile> created;
  if (target != nullptr && target->OpenCount() > 0) {
    if (target->Exclusive() || exclusive) return Refuse(kOsErrorSharingViolation);
  } else if (target != nullptr) {
    target->SetExclusive(exclusive);
    target->SetTemporary(temporary);
  } else {
    if (in_memory) return Refuse(kOsErrorFileNotFound);
    created = MakeFile(name, false);
    created->SetExclusive(exclusive);
    created->SetTemporary(temporary);
    target = created.get();
  }
  const int32_t result = target->Open();
  if (result < 0) return result;  // a new object dies with `created`
  if (created) files_.push_back(std::move(created));
  file = target;
  read_only = target->ReadOnly();
  read_only_attribute = target->ReadOnlyAttribute();
  return result;
}

int32_t TFileList::Close(TAbstractFile* file, bool in_memory, int32_t open_number) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  const bool known = std::any_of(files_.begin(), files_.end(), [file](const auto& f) { return f.get() == file; });
  if (!known) return Refuse(kOsErrorFileNotFound);
  const int32_t result = file->Close(open_number);
  if (result < 0) return result;
  if (file->OpenCount() == 0) {
    // A non-temporary memory file keeps its contents for the next open; everything else
    // leaves the list with its last close.
    if (!in_memory || file->Temporary()) Remove(file);
  }
  return 0;
}

std::unique_ptr<TOsFile> TFileList::Park(TAbstractFile* file, bool in_memory, int32_t open_number) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  const bool known = std::any_of(files_.begin(), files_.end(), [file](const auto& f) { return f.get() == file; });
  if (known && !in_memory && !file->InMemory() && !file->Temporary()) {
    std::unique_ptr<TOsFile> handle = static_cast<TPhysicalFile*>(file)->Detach(open_number);
    if (handle) {
      Remove(file);
      return handle;
    }
  }
  (void)Close(file, in_memory, open_number);
  return nullptr;
}

int32_t TFileList::Resume(const std::string& name, std::unique_ptr<TOsFile> handle, bool exclusive,
                          TAbstractFile*& file, bool& read_only, bool& read_only_attribute) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  file = nullptr;
  TFileIdentity kept;
  if (!handle || !handle->Identity(kept)) return Refuse(kOsErrorInvalidHandle);
  TAbstractFile* target = Find(name, false);
  if (target != nullptr) {
    // Open in this process already (a disk object is listed only while open): join it when
    // it is the same file and the share modes agree.
    TFileIdentity current;
    if (target->Exclusive() || exclusive) return Refuse(kOsErrorSharingViolation);
    if (!target->Identity(current) || !(current == kept)) return Refuse(kOsErrorFileNotFound);
    const int32_t result = target->Open();
    if (result < 0) return result;
    file = target;
    read_only = target->ReadOnly();
    read_only_attribute = target->ReadOnlyAttribute();
    return result;
  }
  std::string path;
  TFileInfo info;
  if (!environment_.FindIgnoringCase(TrimText(name), path, info)) return -MapOsError();
  if (info.is_directory || !(info.identity == kept)) return Refuse(kOsErrorFileNotFound);
  // A fresh open reads only what carries the read-only attribute, and writes everything
  // else; a handle that differs would not be what a fresh open gives.
  if (handle->ReadOnly() != info.read_only) return Refuse(kOsErrorAccessDenied);
  if (!handle->TakeShareMode(exclusive)) return -MapOsError();
  auto adopted = std::make_unique<TPhysicalFile>(environment_, TrimText(name));
  adopted->SetExclusive(exclusive);
  adopted->SetTemporary(false);
  const int32_t result = adopted->Adopt(std::move(handle), info.read_only, info.read_only);
  if (result < 0) return result;
  file = adopted.get();
  files_.push_back(std::move(adopted));
  read_only = info.read_only;
  read_only_attribute = info.read_only;
  return result;
}

int32_t TFileList::Rename(const std::string& name, bool in_memory, const std::string& new_name) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  TAbstractFile* file = Find(name, in_memory);
  if (file != nullptr && file->OpenCount() > 0) return Refuse(kOsErrorSharingViolation);
  if (in_memory) {
    if (file == nullptr) return Refuse(kOsErrorFileNotFound);
    // Two memory files of one name could never be told apart.
    TAbstractFile* clash = Find(new_name, true);
    if (clash != nullptr && clash != file) return Refuse(kOsErrorAlreadyExists);
    return file->Rename(TrimText(new_name));
  }
  if (file != nullptr) return file->Rename(TrimText(new_name));
  TPhysicalFile physical(environment_, TrimText(name));
  return physical.Rename(TrimText(new_name));
}

int32_t TFileList::Delete(const std::string& name, bool in_memory) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  TAbstractFile* file = Find(name, in_memory);
  if (file != nullptr && file->OpenCount() > 0) return Refuse(kOsErrorSharingViolation);
  if (file != nullptr) {
    const int32_t result = file->Delete();
    if (result < 0) return result;
    Remove(file);
    return 0;
  }
  if (in_memory) return Refuse(kOsErrorFileNotFound);
  TPhysicalFile physical(environment_, TrimText(name));
  return physical.Delete();
}

int32_t TFileList::CopyTo(TAbstractFile* source, int32_t source_open_number, int progress_step,
                          const TProgressCallback& progress, const std::string& destination_name,
                          bool destination_in_memory) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  TAbstractFile* destination = nullptr;
  const int32_t destination_open = Create(destination_name, destination_in_memory, false, destination);
  if (destination_open < 0) return destination_open;
  const int32_t result = CopyData(source, source_open_number, destination, destination_open, progress_step, progress);
  const int32_t closed = Close(destination, destination_in_memory, destination_open);
  return result < 0 ? result : closed;
}

int32_t TFileList::CopyFrom(TAbstractFile* destination, int32_t destination_open_number, int progress_step,
                            const TProgressCallback& progress, const std::string& source_name, bool source_in_memory) {
  std::lock_guard<std::recursive_mutex> guard(section_);
  TAbstractFile* source = nullptr;
  bool read_only = false;
  bool read_only_attribute = false;
  const int32_t source_open = Open(source_name, source_in_memory, false, true, source, read_only, read_only_attribute);
  if (source_open < 0) return source_open;
  const int32_t result = CopyData(source, source_open, destination, destination_open_number, progress_step, progress);
  const int32_t closed = Close(source, source_in_memory, source_open);
  return result < 0 ? result : closed;
}

int32_t TFileList::CopyData(TAbstractFile* from_file, int32_t from_open, TAbstractFile* to_file, int32_t to_open,
                            int progress_step, const TProgressCallback& progress) {
  int64_t result = from_file->Seek(from_open, kSeekFromStart, 0);
  if (result >= 0) result = to_file->Seek(to_open, kSeekFromStart, 0);
  if (result < 0) return static_cast<int32_t>(result);
  const int64_t total = from_file->Size();
  if (total < 0) return static_cast<int32_t>(total);

  std::vector<uint8_t> chunk(static_cast<size_t>(kFileCopyChunk));
  int64_t copied = 0;
  int last_reported = 0;
  int64_t read = 0;
  do {
    read = from_file->Read(from_open, chunk.data(), kFileCopyChunk);
    if (read < 0) return static_cast<int32_t>(read);
    if (read > 0) {
      const int64_t written = to_file->Write(to_open, chunk.data(), read);
      if (written < 0) return static_cast<int32_t>(written);
      if (written != read) {
        SetLastOsError(kOsErrorDiskFull);
        return -QUARRY_WRITEERR;
      }
    }
    copied += read;
    const int percent =
        total == 0 ? 100
                   : static_cast<int>(std::lround(static_cast<double>(copied) * 100.0 / static_cast<double>(total)));
    if (percent >= last_reported + progress_step) {
      if (progress) progress(percent);
      last_reported = percent;
    }
  } while (read == kFileCopyChunk);
  // A destination that was longer than the source must not keep its old tail.
  const int64_t truncated = to_file->Write(to_open, chunk.data(), 0);
  return truncated < 0 ? static_cast<int32_t>(truncated) : 0;
}

size_t TFileList::FileCount() const {
  std::lock_guard<std::recursive_mutex> guard(section_);
  return files_.size();
}

TScopedFileList::TScopedFileList(TFileList& list) : previous_(g_installed_list.exchange(&list)) {}

TScopedFileList::~TScopedFileList() { g_installed_list.store(previous_); }

}  // namespace quarry
