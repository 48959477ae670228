// TFileHandler: the engine's handle on one table file (data, index or BLOB file derive
// from it). It turns the file layer's negated codes into EQuarryEngineError, with the
// file's full path as the table name.
//
// A handler is closed, or open with exactly one open number on the shared TAbstractFile;
// reopening an open handler does nothing; the destructor closes it. Reads and writes work
// at the handler's own position; ReadAt/WriteAt seek and transfer under the file's section.
// A handler is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/storage/files/abstract_file.h"
#include "engine/storage/files/file_list.h"

namespace quarry {

class TFileHandler {
 public:
  // list: the file list to work through; nullptr means TFileList::Process().
  explicit TFileHandler(std::string file_name = {}, bool in_memory = false, TFileList* list = nullptr);
  virtual ~TFileHandler();
  TFileHandler(const TFileHandler&) = delete;
  TFileHandler& operator=(const TFileHandler&) = delete;

  virtual void Open();
  // Closes the open, or drops a parked handle.
  virtual void Close();
  // Keeping the file between uses (file_list.h): Park ends the open but keeps the OS handle,
  // its share mode given up, when the file list can (the last open of a disk file that is
  // not temporary); otherwise it closes. True when the handle was kept. Whatever the derived
  // class holds in memory (header, caches) stays as it is.
  bool Park();
  // Opens again on the parked handle. False when it no longer serves (the name leads to
  // another file, the read-only attribute changed, the share mode is refused): the handle is
  // dropped, the handler stays closed, and the caller opens afresh.
  bool Resume();
  bool Parked() const { return parked_ != nullptr; }
  virtual void Create();
  virtual void Delete();
  virtual void Rename(const std::string& new_name);
  virtual void CopyTo(const std::string& destination, bool destination_in_memory, int progress_step = 20,
                      const TProgressCallback& progress = {});
  virtual void CopyFrom(const std::string& source, bool source_in_memory, int progress_step = 20,
                        const TProgressCallback& progress = {});
  // Bytes read. A short read raises QUARRY_READERR unless tolerate_short.
  virtual int64_t Read(void* buffer, int64_t count, bool tolerate_short = false);
  // A count of 0 truncates the file at the position; a short or failed write raises
  // QUARRY_WRITEERR; a write to a read-only open raises QUARRY_OSEACCES.
  virtual void Write(const void* buffer, int64_t count);
  // Failure raises QUARRY_WRITEERR.
  virtual void Flush();

  // Origins kSeekFrom...; the new position.
  int64_t Seek(int origin, int64_t offset);
  // Size of the file; the position stays.
  int64_t Size();
  bool Exists();
  // Locks (lock = true) or unlocks a byte range; false when refused (never raises).
  bool LockRegion(uint64_t offset, uint64_t length, bool lock);
  bool UnlockRegion(uint64_t offset, uint64_t length) { return LockRegion(offset, length, false); }

  // Seek and transfer as one step under the file's section.
  int64_t ReadAt(int64_t offset, void* buffer, int64_t count, bool tolerate_short = false);
  void WriteAt(int64_t offset, const void* buffer, int64_t count);

  // The shared file's section; every caller that seeks and then reads or writes on its
  // own holds it across the pair. Needs an open handler. Never call Open, Close, Create,
  // Delete, Rename or the copies while holding it: they take the file list's section,
  // which comes first in the lock order.
  void Acquire();
  void Release();

  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string file_name) { file_name_ = std::move(file_name); }
  bool InMemory() const { return in_memory_; }
  void SetInMemory(bool in_memory) { in_memory_ = in_memory; }
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive) { exclusive_ = exclusive; }
  bool Temporary() const { return temporary_; }
  void SetTemporary(bool temporary) { temporary_ = temporary; }
  bool ReadOnly() const { return read_only_; }
  bool ReadOnlyAttribute() const { return read_only_attribute_; }
  bool IsOpen() const { return open_; }
  int32_t OpenNumber() const { return open_number_; }
  TAbstractFile* File() const { return file_; }
  TFileList& List() const { return *list_; }

 protected:
  // Raises the engine error for a negated code (or code), naming this file.
  [[noreturn]] void RaiseFileError(int64_t code) const;
  // Raises QUARRY_OSEBADF (invalid handle) unless the handler is open.
  void RequireOpen() const;

 private:
  TFileList* list_;
  bool in_memory_;
  TAbstractFile* file_ = nullptr;  // shared, owned by the list
  std::string file_name_;
  int32_t open_number_ = 0;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool read_only_attribute_ = false;
  bool open_ = false;
  bool temporary_ = false;
  std::unique_ptr<TOsFile> parked_;  // the kept OS handle while parked
};

// Holds a handler's file section for a scope.
class TFileSection {
 public:
  explicit TFileSection(TFileHandler& handler) : handler_(handler) { handler_.Acquire(); }
  ~TFileSection() { handler_.Release(); }
  TFileSection(const TFileSection&) = delete;
  TFileSection& operator=(const TFileSection&) = delete;

 private:
  TFileHandler& handler_;
};

}  // namespace quarry
