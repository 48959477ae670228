// TFileList: the process-wide list of open files, one TAbstractFile per name and kind.
//
// Names match trimmed and ignoring case; a memory file never matches a disk file. Disk
// names are resolved in their directory without regard to case, so a table "Videos" finds
// "VIDEOS.DAT". Operations return an open number, 0, true/false, or a negated engine error
// code; the handler (file_handler.h) raises.
//
// Invariant: files_ holds no two objects of the same kind whose names match; a disk file
// object is in the list only while open; a memory file stays until deleted (or until it
// was temporary and its last open closed). Guarded by section_, held for each whole
// operation (copies included); file sections are taken inside it, never the reverse.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/platform/environment.h"
#include "engine/storage/files/abstract_file.h"

namespace quarry {

// Called with the percentage done (0..100) during copies.
using TProgressCallback = std::function<void(int percent)>;

inline constexpr int64_t kFileCopyChunk = 65536;

class TFileList {
 public:
  explicit TFileList(TEnvironment& environment);
  ~TFileList();  // frees every file object it still holds
  TFileList(const TFileList&) = delete;
  TFileList& operator=(const TFileList&) = delete;

  // The process's list (over DefaultEnvironment()), or the one a TScopedFileList installed.
  static TFileList& Process();

  bool Exists(const std::string& name, bool in_memory);
  // The new open number, or a negated code. file receives the shared object.
  int32_t Create(const std::string& name, bool in_memory, bool temporary, TAbstractFile*& file);
  int32_t Open(const std::string& name, bool in_memory, bool temporary, bool exclusive, TAbstractFile*& file,
               bool& read_only, bool& read_only_attribute);
  // 0, or a negated code.
  int32_t Close(TAbstractFile* file, bool in_memory, int32_t open_number);
  // Keeping a file open between uses. Park ends an open like Close; when it was the last
  // open of a disk file that is not temporary, it hands the OS handle back with its share
  // mode given up (so it keeps out no other open, delete or rename, here or elsewhere) and
  // the object leaves the list as at its last close. nullptr when the open was simply closed.
  std::unique_ptr<TOsFile> Park(TAbstractFile* file, bool in_memory, int32_t open_number);
  // Opens name again on a handle Park gave back. The handle serves only while the name
  // still leads to the very file it holds, with the same read-only attribute, and the share
  // mode asked for can be had; otherwise it is closed and a negated code returned, and the
  // caller opens afresh (which reports whatever is wrong). When this process already has
  // the file open, the handle is dropped and the open joins that object.
  int32_t Resume(const std::string& name, std::unique_ptr<TOsFile> handle, bool exclusive, TAbstractFile*& file,
                 bool& read_only, bool& read_only_attribute);
  int32_t Rename(const std::string& name, bool in_memory, const std::string& new_name);
  int32_t Delete(const std::string& name, bool in_memory);
  // Whole-file copies from position 0 in 65,536-byte chunks; progress reported every
  // progress_step percent. 0, or a negated code.
  int32_t CopyTo(TAbstractFile* source, int32_t source_open_number, int progress_step,
                 const TProgressCallback& progress, const std::string& destination_name, bool destination_in_memory);
  int32_t CopyFrom(TAbstractFile* destination, int32_t destination_open_number, int progress_step,
                   const TProgressCallback& progress, const std::string& source_name, bool source_in_memory);

  TEnvironment& Environment() { return environment_; }
  // Objects currently held (for tests and diagnostics).
  size_t FileCount() const;

 private:
  TAbstractFile* Find(const std::string& name, bool in_memory) const;
  void Remove(TAbstractFile* file);
  std::unique_ptr<TAbstractFile> MakeFile(const std::string& name, bool in_memory);
  // Copies from_file (from position 0) to to_file (at position 0); 0 or a negated code.
  int32_t CopyData(TAbstractFile* from_file, int32_t from_open, TAbstractFile* to_file, int32_t to_open,
                   int progress_step, const TProgressCallback& progress);

  TEnvironment& environment_;
  mutable std::recursive_mutex section_;
  std::vector<std::unique_ptr<TAbstractFile>> files_;
};

// Makes TFileList::Process() return another list while it lives (tests: a list over a
// fault-injecting environment). Not thread-safe; install before any engine use.
class TScopedFileList {
 public:
  explicit TScopedFileList(TFileList& list);
  ~TScopedFileList();
  TScopedFileList(const TScopedFileList&) = delete;
  TScopedFileList& operator=(const TScopedFileList&) = delete;

 private:
  TFileList* previous_;
};

}  // namespace quarry
