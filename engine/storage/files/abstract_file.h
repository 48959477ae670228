// TAbstractFile: one named file of the process, on disk or in memory, shared by every
// open of that name.
//
// The file list (file_list.h) keeps one object per distinct name and kind; every open of
// the name gets an open number and its own position. File operations return a count, an
// open number, 0, or a negated engine error code (engine_error.h); they never throw. The
// handler (file_handler.h) turns negative results into exceptions.
//
// Invariants: open_count_ == opens_.size(); open numbers are unique while the object
// lives (last_open_number_ only grows); locked_regions_ never holds two overlapping
// ranges. Every member below is guarded by section_, which each operation takes; callers
// that pair a Seek with a Read or Write hold it across the pair with Acquire/Release.
// Lock order: the file list's section first, then a file's section, never the reverse.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/platform/environment.h"

namespace quarry {

// Seek origins.
inline constexpr int kSeekFromStart = 0;
inline constexpr int kSeekFromCurrent = 1;
inline constexpr int kSeekFromEnd = 2;

struct TFileOpenRecord {
  int32_t open_number = 0;
  int64_t position = 0;
};

struct TLockedRegion {
  uint64_t first = 0;  // first byte
  uint64_t last = 0;   // last byte
  uint64_t length = 0;
};

class TAbstractFile {
 public:
  explicit TAbstractFile(std::string file_name);
  virtual ~TAbstractFile();
  TAbstractFile(const TAbstractFile&) = delete;
  TAbstractFile& operator=(const TAbstractFile&) = delete;

  // Index of the open in opens_, or -1.
  virtual int FindOpen(int32_t open_number) const;
  // Size in bytes, or a negated code.
  virtual int64_t Size();
  // Create: make the file empty (creating it) and add an open. Open: add an open. Both
  // give the new open number or a negated code.
  virtual int32_t Create();
  virtual int32_t Open();
  // Removes the open; 0, or a negated code for an unknown open number.
  virtual int32_t Close(int32_t open_number);
  virtual int32_t Rename(const std::string& new_name);
  virtual int32_t Delete();
  // At the open's position, which advances; bytes transferred or a negated code. A write
  // of 0 bytes sets the end of the file at the position.
  virtual int64_t Read(int32_t open_number, void* buffer, int64_t count);
  virtual int64_t Write(int32_t open_number, const void* buffer, int64_t count);
  virtual int32_t Flush();
  // The new position, or a negated code. Origins: kSeekFrom...; from the end the position
  // becomes size - offset.
  virtual int64_t Seek(int32_t open_number, int origin, int64_t offset);
  // Non-blocking, exclusive; false when an overlapping range is held (by anyone).
  virtual bool LockRegion(uint64_t offset, uint64_t length);
  // False unless a lock of exactly this offset and length is held.
  virtual bool UnlockRegion(uint64_t offset, uint64_t length);

  // The identity of the file behind an open object; false when it has none (memory files,
  // or a disk file not open).
  virtual bool Identity(TFileIdentity& /*identity*/) { return false; }

  // The file's critical section (re-entrant).
  void Acquire() { section_.lock(); }
  void Release() { section_.unlock(); }

  virtual bool InMemory() const = 0;
  std::string FileName() const;
  bool Exclusive() const;
  void SetExclusive(bool exclusive);
  bool ReadOnly() const;
  bool ReadOnlyAttribute() const;
  bool Temporary() const;
  void SetTemporary(bool temporary);
  int32_t OpenCount() const;

 protected:
  // Adds an open record at position 0 and returns its number (section_ held).
  int32_t AddOpen();
  // Position of an open, or nullptr (section_ held).
  TFileOpenRecord* OpenRecord(int32_t open_number);

  mutable std::recursive_mutex section_;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool read_only_attribute_ = false;
  bool temporary_ = false;
  std::string file_name_;
  int64_t size_ = 0;  // kept by memory files only
  std::vector<TLockedRegion> locked_regions_;
  int32_t open_count_ = 0;
  std::vector<TFileOpenRecord> opens_;
  int32_t last_open_number_ = 0;
};

}  // namespace quarry
