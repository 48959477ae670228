// TPhysicalFile: a file on disk, reached through the environment.
//
// One OS handle per file per process, whatever the number of opens; every open has its
// own position and reads and writes at it (positioned I/O, so opens never disturb each
// other). The first open reads the file's attributes and chooses the access and share
// mode; a read/write open that the OS refuses degrades to read-only. Byte-range locks are
// the OS locks of the shared handle, so two cursors of this process exclude each other
// exactly as two processes do.
// Invariant: handle_ is set exactly while open_count_ > 0. Guarded by section_.
#pragma once

#include <memory>

#include "engine/platform/environment.h"
#include "engine/storage/files/abstract_file.h"

namespace quarry {

class TPhysicalFile : public TAbstractFile {
 public:
  TPhysicalFile(TEnvironment& environment, std::string file_name);
  ~TPhysicalFile() override;

  int64_t Size() override;
  int32_t Create() override;
  int32_t Open() override;
  int32_t Close(int32_t open_number) override;
  int32_t Rename(const std::string& new_name) override;
  int32_t Delete() override;
  int64_t Read(int32_t open_number, void* buffer, int64_t count) override;
  int64_t Write(int32_t open_number, const void* buffer, int64_t count) override;
  int32_t Flush() override;
  int64_t Seek(int32_t open_number, int origin, int64_t offset) override;
  bool LockRegion(uint64_t offset, uint64_t length) override;
  bool UnlockRegion(uint64_t offset, uint64_t length) override;
  bool InMemory() const override { return false; }
  bool Identity(TFileIdentity& identity) override;

  // Ends the last open like Close, but hands the OS handle out, its share mode given up,
  // instead of closing it. nullptr (and nothing changed) unless open_number is the only
  // open, or when the share mode cannot be given up.
  std::unique_ptr<TOsFile> Detach(int32_t open_number);
  // The first open of this object, on a handle Detach gave out (its share mode taken again
  // by the caller); the read-only flags are what a fresh open would have found. The new
  // open number.
  int32_t Adopt(std::unique_ptr<TOsFile> handle, bool read_only, bool read_only_attribute);

 private:
  TEnvironment& environment_;
  std::unique_ptr<TOsFile> handle_;
};

}  // namespace quarry
