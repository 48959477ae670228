// TDataTable: one table as one session's directory holds it, shared by every cursor of that
// session that opens the table. It owns the three file objects (data, index and, for tables
// with BLOB fields, BLOB file), takes the byte-range locks of the lock map (lock_map.h) on
// them, notices other users' changes through the header change counters and drops stale
// caches, writes buffers back (Flush) and carries the table's part of transactions.
//
// Lock state and its rules:
//  - read lock A (around statements) and read lock B (around single operations) each hold a
//    random read slot of the index file (and of the BLOB file); taking either while the other,
//    the write lock or the table lock is held does nothing;
//  - the write lock holds the table-write byte (unless the table lock already does), the
//    index write region and the BLOB write region, taken in that order;
//  - the table lock holds the table-write byte; record unlocks asked for while it is held are
//    deferred until UnlockTable;
//  - exclusive tables take no file locks, tables whose files carry the read-only attribute
//    take none at all (and are read-only);
//  - record locks are held once per table object; which cursor of the object holds each is
//    kept beside them (RecordHolder), because the file lock cannot tell two cursors of one
//    table object apart. A record's holder is set while its file lock is held or deferred,
//    and also where file locks do not apply;
//  - an attempt that fails part-way (say the index write region after the table-write byte)
//    gives back what it had taken before raising, so a failure never leaves a lock behind.
// Read slots are chosen at random (std::minstd_rand seeded per table object), so that
// readers of many processes rarely meet on one slot.
// A change runs: WriteLock (which brings the caches up to date), the change in the caches,
// Flush, ReleaseWriteLock.
//
// Kept between uses: when the last use of a shared disk table ends outside transactions, the
// directory may park it instead of closing it (Park): every lock is released, the caches
// trimmed, and the files stay open with their share mode given up, so that an idle kept
// table keeps no other open, delete, rename or restructure out. The next use of the same
// name takes it up again (Resume) only when each file is still the same file and the
// headers' change counters and record layout are unchanged; otherwise the directory closes
// it and opens afresh. Headers, definitions and cached pages and records of an unchanged
// table stay valid, since every change anyone makes moves a header's counter.
//
// Not thread-safe: used by the thread of its session. Other sessions and processes meet it
// only through the file locks.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>

#include "engine/storage/blob/blob_file.h"
#include "engine/storage/data/data_file.h"
#include "engine/storage/files/file_handler.h"
#include "engine/storage/index/index_file.h"

namespace quarry {

class TDataDirectory;
class TDataSession;

class TDataTable {
 public:
  TDataTable(TDataDirectory& directory, std::string name, bool inMemory);
  ~TDataTable();
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;

  // ---- life cycle (the directory calls these) ----
  // Opens data, index (creating an empty one when missing) and BLOB file.
  void OpenFiles(bool exclusive, bool readOnly);
  // Releases every lock and closes the files (changes must have been flushed), kept ones too.
  void CloseFiles();
  // Whether Park may keep this table: a disk table opened shared, no longer used, outside
  // transactions, without temporary indexes.
  bool Keepable() const;
  // Releases every lock, trims the caches and parks the files. True when the table is
  // kept; false when it is not keepable or a file could not be kept (every file is closed
  // then). Raises what releasing the locks raises.
  bool Park();
  // Takes a kept table up again for a use asking exclusive / readOnly. True when it serves
  // as it is; false when the use asks another mode or the files changed (see above): the
  // caller then closes it (CloseFiles) and opens afresh.
  bool Resume(bool exclusive, bool readOnly);
  bool Kept() const { return kept_; }
  // Whether a cursor ran the full header verification since the files were opened; a table
  // taken up again keeps it (nothing changed, or it would have been opened afresh).
  bool HeadersVerified() const { return headersVerified_; }
  void SetHeadersVerified() { headersVerified_ = true; }
  // True once after Resume, when no lock was taken since: Resume compared the headers in
  // memory with the files under the share mode, as a read lock's change check would, so the
  // first cursor to open the table may take that check as its own. A later change by
  // another user is the next lock's to find, as it would be after any lock's release.
  bool TakeResumeCheck() {
    const bool fresh = resumeChecked_;
    resumeChecked_ = false;
    return fresh;
  }
  int UseCount() const { return useCount_; }
  void AddUse() { ++useCount_; }
  int ReleaseUse() { return --useCount_; }

  // ---- locks ----
  // Takes record recordNo's lock, retrying LockRetryCount times LockWaitTime ms apart
  // (QUARRY_RECLOCKFAILED when it stays refused). True when the change check on the way dropped the caches,
  // so that the caller re-reads its record.
  bool LockRecord(std::int32_t recordNo);
  void UnlockRecord(std::int32_t recordNo);
  bool RecordLocked(std::int32_t recordNo) const { return locked_.count(recordNo) != 0; }
  // Which of this object's cursors (an opaque token, null for none) holds record recordNo's
  // lock. Set and cleared by the cursor around LockRecord / UnlockRecord.
  void SetRecordHolder(std::int32_t recordNo, const void* holder);
  void ClearRecordHolder(std::int32_t recordNo);
  const void* RecordHolder(std::int32_t recordNo) const;
  void LockTable();
  void UnlockTable();
  // Both return whether the change check dropped the caches. QUARRY_LOCKTIMEOUT when no slot is had.
  bool ReadLockA();
  void ReleaseReadLockA();
  bool ReadLockB();
  void ReleaseReadLockB();
  // QUARRY_LOCKTIMEOUT when a lock is not had after the retries.
  void WriteLock();
  void ReleaseWriteLock();
  // Rereads the headers; drops the caches of files another user changed. True when it did.
  bool CheckForChanges();
  // Releases every record lock, read lock, the write lock and the table lock.
  void ReleaseAllLocks();

  // ---- buffers ----
  // Writes what changed (in a transaction: only touches the headers). forceHeader writes the
  // headers even when unchanged, which is how a change becomes visible to other users.
  void Flush(bool forceHeader, bool forceOsFlush, bool trimCaches);
  // Drops every cached record and page without writing.
  void DiscardBuffers();
  // After a change failed half-way (outside transactions): drops the cached changes and
  // rereads the headers, so that nothing of the failed change is written later.
  void AbandonChange();
  void Empty();

  // ---- transaction steps (the directory drives them) ----
  void BeginTransaction();
  // Takes the write lock for the commit.
  void CommitLock();
  // Writes everything (OS flush when asked or ForceBufferFlush), trims with the end flag.
  void CommitWrite(bool flush, bool trim);
  // With endTransaction: releases write and table lock and leaves the transaction; without:
  // performs the deferred unlocks and releases only the write lock.
  void CommitFinish(bool endTransaction);
  void RollbackTransaction();

  // ---- state ----
  const std::string& Name() const { return name_; }
  bool InMemory() const { return inMemory_; }
  bool Opened() const { return opened_; }
  bool Exclusive() const { return exclusive_; }
  bool ReadOnly() const { return readOnly_; }
  bool ReadOnlyAttribute() const { return readOnlyAttribute_; }
  bool IndexMissing() const { return indexMissing_; }
  bool InTransaction() const { return inTransaction_; }
  bool HoldsReadLockA() const { return readLockA_; }
  bool HoldsReadLockB() const { return readLockB_; }
  bool HoldsWriteLock() const { return writeLock_; }
  bool HoldsTableLock() const { return tableLock_; }
  // Some file was written since the last check; cleared by the caller.
  bool TableModified() const { return modified_; }
  void ClearTableModified() { modified_ = false; }
  bool HasBlobFile() const { return blob_ != nullptr; }
  int ReadSlotA() const { return slotA_; }
  int ReadSlotB() const { return slotB_; }
  const std::set<std::int32_t>& LockedRecords() const { return locked_; }
  const std::set<std::int32_t>& DeferredUnlocks() const { return deferred_; }

  // ---- the files ----
  TDataFile& Data() { return *data_; }
  TIndexFile& Index() { return *index_; }
  TBlobFile* Blob() { return blob_.get(); }
  TDataDirectory& Directory() const { return directory_; }
  TDataSession& Session() const;

 private:
  // Raises code naming this table and its database.
  [[noreturn]] void Raise(std::uint16_t code) const;
  bool FileLocksApply() const { return !readOnlyAttribute_ && !exclusive_; }
  // Takes a random read slot on the index (and BLOB) file; false when none was had.
  bool TakeReadSlots(int& indexSlot, int& blobSlot);
  void ReleaseReadSlots(int& indexSlot, int& blobSlot);
  bool AcquireReadLock(bool& held, int& indexSlot, int& blobSlot);
  void ReleaseReadLock(bool& held, int& indexSlot, int& blobSlot);
  bool LockWithRetries(TFileHandler& file, std::uint64_t offset, std::uint64_t length);
  void PerformDeferredUnlocks();
  // Drops the caches and takes the headers from the files.
  void ReloadFromFiles();
  void SetTableLockHeld(bool held);
  void ApplySettings();

  TDataDirectory& directory_;
  std::string name_;
  bool inMemory_;
  std::unique_ptr<TDataFile> data_;
  std::unique_ptr<TIndexFile> index_;
  std::unique_ptr<TBlobFile> blob_;
  int useCount_ = 0;
  bool opened_ = false;
  bool kept_ = false;  // parked between uses (opened_ false meanwhile)
  bool headersVerified_ = false;
  bool resumeChecked_ = false;  // see TakeResumeCheck
  bool readOnlyAsked_ = false;  // the read-only request the files were opened with
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool readOnlyAttribute_ = false;
  bool indexMissing_ = false;
  // Lock state. slotA_/slotB_ and blobSlotA_/blobSlotB_ are 0 while no slot is held.
  bool readLockA_ = false;
  int slotA_ = 0;
  int blobSlotA_ = 0;
  bool readLockB_ = false;
  int slotB_ = 0;
  int blobSlotB_ = 0;
  bool writeLock_ = false;
  bool writeByteTaken_ = false;  // the write lock took the table-write byte itself
  bool writeRegionsTaken_ = false;
  bool tableLock_ = false;
  bool tableByteTaken_ = false;
  bool inTransaction_ = false;
  bool modified_ = false;
  // Records locked by this table object, and those whose unlock waits for UnlockTable.
  std::set<std::int32_t> locked_;
  std::set<std::int32_t> deferred_;
  // The cursor holding each record lock taken through a cursor (see RecordHolder).
  std::map<std::int32_t, const void*> holders_;
  std::minstd_rand random_;
};

// Holds read lock B for a scope, when the table's lock state lets the scope take it (an outer
// read, write or table lock already covers the scope otherwise).
class TReadLockGuard {
 public:
  explicit TReadLockGuard(TDataTable& table)
      : table_(table),
        taken_(!table.HoldsReadLockA() && !table.HoldsReadLockB() && !table.HoldsWriteLock() &&
               !table.HoldsTableLock()) {
    if (taken_) refreshed_ = table_.ReadLockB();
  }
  ~TReadLockGuard() {
    if (!taken_) return;
    try {
      table_.ReleaseReadLockB();
    } catch (...) {
      // A failed unlock cannot be reported from here; closing the table releases the slot.
    }
  }
  TReadLockGuard(const TReadLockGuard&) = delete;
  TReadLockGuard& operator=(const TReadLockGuard&) = delete;
  // True when taking the lock dropped stale caches.
  bool Refreshed() const { return refreshed_; }

 private:
  TDataTable& table_;
  bool taken_;
  bool refreshed_ = false;
};

// Holds the write lock for a scope (when it was not held already).
class TWriteLockGuard {
 public:
  explicit TWriteLockGuard(TDataTable& table) : table_(table), taken_(!table.HoldsWriteLock()) {
    if (taken_) table_.WriteLock();
  }
  ~TWriteLockGuard() {
    if (!taken_) return;
    try {
      table_.ReleaseWriteLock();
    } catch (...) {}
  }
  TWriteLockGuard(const TWriteLockGuard&) = delete;
  TWriteLockGuard& operator=(const TWriteLockGuard&) = delete;

 private:
  TDataTable& table_;
  bool taken_;
};

}  // namespace quarry
