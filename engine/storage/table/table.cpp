// TDataTable: opening a table's files, the lock protocol, change detection, flushing and the
// table's part of transactions (see table.h and lock_map.h).
#include "engine/storage/table/table.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "engine/storage/errors/engine_error.h"
#include "engine/storage/files/file_names.h"
#include "engine/storage/index/collation.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/lock_map.h"
#include "engine/storage/table/session.h"
#include "engine/values/byte_image.h"

namespace quarry {

// Index pages per slot an idle table keeps between statements (256 KB): enough for the
// upper levels and the leaves a lookup statement visits on a catalogue-sized table.
constexpr int kKeptIndexPages = 64;

// ---------------------------------------------------------------------------------------
// Life cycle

TDataTable::TDataTable(TDataDirectory& directory, std::string name, bool inMemory)
    : directory_(directory), name_(std::move(name)), inMemory_(inMemory) {
  // The system's entropy source is asked once per thread (opening it costs more than a
  // small lookup); each table object then draws its own seed from that generator.
  thread_local std::mt19937 seeds{std::random_device{}()};
  random_.seed(seeds() ^ static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
}

TDataTable::~TDataTable() {
  try {
    CloseFiles();
  } catch (...) {
    // A destructor never reports; the files are closed as far as possible.
  }
}

TDataSession& TDataTable::Session() const { return directory_.Session(); }

void TDataTable::Raise(std::uint16_t code) const {
  TEngineErrorContext context;
  context.database = directory_.DatabaseName();
  context.table = name_;
  RaiseEngineError(code, context);
}

void TDataTable::ApplySettings() {
  const TSessionSettings& s = Session().Settings();
  TDataFileSettings dataSettings;
  dataSettings.RecordBufferBytes = s.RecordBufferBytes;
  dataSettings.RecordBufferCount = s.RecordBufferCount;
  dataSettings.ForceBufferFlush = s.ForceBufferFlush;
  dataSettings.StrictChangeDetection = s.StrictChangeDetection;
  TDataSession* session = &Session();
  const bool inMemory = inMemory_;
  // The data file appends ".TMP" itself; the name is chosen free with that extension.
  dataSettings.TemporaryName = [session, inMemory] {
    std::string name = session->TemporaryFileName(".TMP", inMemory);
    name.resize(name.size() - 4);
    return name;
  };
  data_->SetSettings(std::move(dataSettings));
  data_->SetHoldsTableLock(tableLock_);
  TIndexFileSettings indexSettings;
  indexSettings.RecordBufferBytes = s.RecordBufferBytes;
  indexSettings.TableLockHeld = tableLock_;
  index_->SetSettings(indexSettings);
  if (blob_) blob_->SetCacheLimits(s.BlobBufferBytes, s.BlobBufferCount);
}

void TDataTable::OpenFiles(bool exclusive, bool readOnly) {
  if (opened_) return;
  CloseFiles();  // kept files, if any, give way
  headersVerified_ = false;
  readOnlyAsked_ = readOnly;
  TFileList& list = Session().Files();
  data_ = std::make_unique<TDataFile>(directory_.FileNameOf(name_, kDataExtension), inMemory_, &list);
  index_ = std::make_unique<TIndexFile>(directory_.FileNameOf(name_, kIndexExtension), inMemory_, &list);
  blob_.reset();
  exclusive_ = exclusive;
  indexMissing_ = false;
  try {
    data_->SetTableName(name_);
    data_->SetExclusive(exclusive);
    ApplySettings();
    data_->Open();

    index_->SetEncrypted(data_->Encrypted());
    index_->SetExclusive(exclusive);
    try {
      index_->Open();
    } catch (const EQuarryEngineError& error) {
      if (error.Code() != QUARRY_OSENOENT) throw;
      // A lost index file is replaced by an empty one; the records are not indexed again.
      index_->CreateFile(data_->Encrypted());
      index_->Close();
      indexMissing_ = true;
      index_->Open();
    }
    index_->BindTable(data_->Fields(), CollationFor(data_->LanguageId(), data_->SortId(), name_));
    index_->ReportSlotReuse(*data_);

    if (data_->BlobFieldCount() > 0) {
      blob_ = std::make_unique<TBlobFile>(directory_.FileNameOf(name_, kBlobExtension), inMemory_, &list);
      blob_->SetTableName(name_);
      blob_->SetBlockSize(data_->BlobBlockSize());
      blob_->SetEncrypted(data_->Encrypted());
      blob_->SetCacheLimits(Session().Settings().BlobBufferBytes, Session().Settings().BlobBufferCount);
      blob_->SetExclusive(exclusive);
      blob_->Open();
    }
  } catch (...) {
    if (blob_) blob_->Close();
    index_->Close();
    data_->Close();
    blob_.reset();
    index_.reset();
    data_.reset();
    throw;
  }
  readOnlyAttribute_ =
      data_->ReadOnlyAttribute() || index_->ReadOnlyAttribute() || (blob_ && blob_->ReadOnlyAttribute());
  readOnly_ = readOnly || readOnlyAttribute_ || data_->ReadOnly() || index_->ReadOnly() || (blob_ && blob_->ReadOnly());
  opened_ = true;
}

void TDataTable::CloseFiles() {
  if (!opened_ && !kept_) return;
  // Locks first, while the handles that hold them are still open; the files close whatever
  // the unlocks say (closing the last handle releases the OS locks anyway).
  try {
    ReleaseAllLocks();
  } catch (...) {}
  if (blob_) blob_->Close();
  if (index_) index_->Close();
  if (data_) data_->Close();
  kept_ = false;
  blob_.reset();
  index_.reset();
  data_.reset();
  opened_ = false;
  inTransaction_ = false;
  locked_.clear();
  deferred_.clear();
  holders_.clear();
}

bool TDataTable::Keepable() const {
  if (!opened_ || useCount_ > 0 || inTransaction_ || inMemory_ || exclusive_) return false;
  if (data_->Temporary() || index_->Temporary()) return false;
  // Temporary indexes belong to one use and go away with the files' close.
  for (int slot = 1; slot <= index_->SecondaryCount(); ++slot) {
    if (index_->Definition(slot).Temporary) return false;
  }
  return true;
}

bool TDataTable::Park() {
  if (!Keepable()) return false;
  ReleaseAllLocks();
  // An idle table keeps its cached records and some index pages, which spare the next use
  // its reads (Resume takes them up only when no one changed the files meanwhile); BLOB
  // blocks are read again when asked for (nothing dirty is left outside a transaction).
  index_->TrimCache(kKeptIndexPages);
  if (blob_) blob_->DiscardBlocks();
  opened_ = false;
  kept_ = true;
  const bool parked = data_->Park() && index_->Park() && (!blob_ || blob_->Park());
  if (!parked) CloseFiles();
  return parked;
}

bool TDataTable::Resume(bool exclusive, bool readOnly) {
  if (!kept_ || exclusive != exclusive_ || readOnly != readOnlyAsked_) return false;
  if (!data_->Resume() || !index_->Resume() || (blob_ && !blob_->Resume())) return false;
  const bool attribute =
      data_->ReadOnlyAttribute() || index_->ReadOnlyAttribute() || (blob_ && blob_->ReadOnlyAttribute());
  const bool anyReadOnly =
      readOnly || attribute || data_->ReadOnly() || index_->ReadOnly() || (blob_ && blob_->ReadOnly());
  if (attribute != readOnlyAttribute_ || anyReadOnly != readOnly_) return false;
  // The share mode is held again, so no exclusive change (restructure, new index, emptying)
  // is under way; whatever anyone changed since the park moved a counter.
  if (!data_->HeaderMatchesFile() || index_->StoredChangeCounter() != index_->Header().ChangeCounter ||
      (blob_ && blob_->StoredChangeCounter() != blob_->ChangeCounter())) {
    return false;
  }
  kept_ = false;
  opened_ = true;
  resumeChecked_ = true;
  // The session's settings may have changed while the table was idle.
  ApplySettings();
  return true;
}

// ---------------------------------------------------------------------------------------
// Locks

bool TDataTable::LockWithRetries(TFileHandler& file, std::uint64_t offset, std::uint64_t length) {
  return RetryLock(Session().Environment(), FileLockRetries, FileLockWaitMs,
                   [&] { return file.LockRegion(offset, length, true); });
}

bool TDataTable::TakeReadSlots(int& indexSlot, int& blobSlot) {
  std::uniform_int_distribution<int> pick(1, ReadSlotCount);
  int slot = 0;
  // A new random slot for every attempt: a refusal means another reader has this one, or a
  // writer holds the region.
  const bool gotIndex = RetryLock(Session().Environment(), FileLockRetries, FileLockWaitMs, [&] {
    slot = pick(random_);
    return index_->LockRegion(ReadSlotOffset(slot), 1, true);
  });
  if (!gotIndex) return false;
  indexSlot = slot;
  if (blob_) {
    const bool gotBlob = RetryLock(Session().Environment(), FileLockRetries, FileLockWaitMs, [&] {
      slot = pick(random_);
      return blob_->LockRegion(ReadSlotOffset(slot), 1, true);
    });
    if (!gotBlob) {
      // Nothing half-held is left behind.
      index_->UnlockRegion(ReadSlotOffset(indexSlot), 1);
      indexSlot = 0;
      return false;
    }
    blobSlot = slot;
  }
  return true;
}

void TDataTable::ReleaseReadSlots(int& indexSlot, int& blobSlot) {
  bool ok = true;
  if (indexSlot != 0) {
    ok = index_->UnlockRegion(ReadSlotOffset(indexSlot), 1) && ok;
    indexSlot = 0;
  }
  if (blobSlot != 0 && blob_) {
    ok = blob_->UnlockRegion(ReadSlotOffset(blobSlot), 1) && ok;
  }
  blobSlot = 0;
  if (!ok) Raise(QUARRY_UNLOCKFAILED);
}

bool TDataTable::AcquireReadLock(bool& held, int& indexSlot, int& blobSlot) {
  if (readLockA_ || readLockB_ || writeLock_ || tableLock_) return false;
  if (FileLocksApply() && !TakeReadSlots(indexSlot, blobSlot)) Raise(QUARRY_LOCKTIMEOUT);
  held = true;
  try {
    return CheckForChanges();
  } catch (...) {
    // A failed check leaves no lock behind.
    held = false;
    try {
      ReleaseReadSlots(indexSlot, blobSlot);
    } catch (...) {}
    throw;
  }
}

void TDataTable::ReleaseReadLock(bool& held, int& indexSlot, int& blobSlot) {
  if (!held) return;
  held = false;
  ReleaseReadSlots(indexSlot, blobSlot);
}

// Lock A is held for a whole statement's walk: its index descents may keep the pages they
// read and its records may fill the cache up to kStatementRecords (no other writer can change
// them meanwhile); releasing it trims the index caches back to what is worth keeping for the
// next statement, which finds them valid unless the change counters moved. The record cache
// stays small enough that a scan of the whole table, which evicts as it goes, does not pay
// for a large cache it cannot use; a lookup's few hundred scattered records fit.
constexpr int kStatementIndexPages = 256;
constexpr int kStatementRecords = 1024;

bool TDataTable::ReadLockA() {
  const bool refreshed = AcquireReadLock(readLockA_, slotA_, blobSlotA_);
  if (readLockA_) {
    index_->WidenCache(kStatementIndexPages);
    data_->WidenCache(std::min(kStatementRecords, Session().Settings().RecordBufferCount));
  }
  return refreshed;
}

void TDataTable::ReleaseReadLockA() {
  const bool held = readLockA_;
  ReleaseReadLock(readLockA_, slotA_, blobSlotA_);
  if (held && index_) index_->TrimCache(kKeptIndexPages);
}
bool TDataTable::ReadLockB() { return AcquireReadLock(readLockB_, slotB_, blobSlotB_); }
void TDataTable::ReleaseReadLockB() { ReleaseReadLock(readLockB_, slotB_, blobSlotB_); }

void TDataTable::WriteLock() {
  if (writeLock_ || !FileLocksApply()) return;
  const bool takeByte = !tableLock_;
  if (takeByte && !LockWithRetries(*data_, TableWriteByte, 1)) Raise(QUARRY_LOCKTIMEOUT);
  if (!LockWithRetries(*index_, WriteRegionOffset, WriteRegionLength)) {
    if (takeByte) data_->UnlockRegion(TableWriteByte, 1);
    Raise(QUARRY_LOCKTIMEOUT);
  }
  if (blob_ && !LockWithRetries(*blob_, WriteRegionOffset, WriteRegionLength)) {
    index_->UnlockRegion(WriteRegionOffset, WriteRegionLength);
    if (takeByte) data_->UnlockRegion(TableWriteByte, 1);
    Raise(QUARRY_LOCKTIMEOUT);
  }
  writeLock_ = true;
  writeByteTaken_ = takeByte;
  writeRegionsTaken_ = true;
  if (!tableLock_) {
    try {
      CheckForChanges();
    } catch (...) {
      try {
        ReleaseWriteLock();
      } catch (...) {}
      throw;
    }
  }
}

void TDataTable::ReleaseWriteLock() {
  if (!writeLock_) return;
  bool ok = true;
  if (writeRegionsTaken_) {
    if (blob_) ok = blob_->UnlockRegion(WriteRegionOffset, WriteRegionLength) && ok;
    ok = index_->UnlockRegion(WriteRegionOffset, WriteRegionLength) && ok;
  }
  if (writeByteTaken_) ok = data_->UnlockRegion(TableWriteByte, 1) && ok;
  writeLock_ = false;
  writeByteTaken_ = false;
  writeRegionsTaken_ = false;
  if (!ok) Raise(QUARRY_LOCKTIMEOUT);
}

void TDataTable::SetTableLockHeld(bool held) {
  tableLock_ = held;
  if (data_) data_->SetHoldsTableLock(held);
  if (index_) {
    TIndexFileSettings settings;
    settings.RecordBufferBytes = Session().Settings().RecordBufferBytes;
    settings.TableLockHeld = held;
    index_->SetSettings(settings);
  }
}

void TDataTable::LockTable() {
  if (tableLock_ || readOnlyAttribute_) return;
  if (inMemory_ || exclusive_) {
    SetTableLockHeld(true);
    return;
  }
  // The write lock may hold the byte already; the table lock then takes it over.
  if (writeLock_ && writeByteTaken_) {
    writeByteTaken_ = false;
  } else if (!LockWithRetries(*data_, TableWriteByte, 1)) {
    Raise(QUARRY_LOCKTIMEOUT);
  }
  tableByteTaken_ = true;
  SetTableLockHeld(true);
  try {
    CheckForChanges();
  } catch (...) {
    try {
      UnlockTable();
    } catch (...) {}
    throw;
  }
}

void TDataTable::UnlockTable() {
  if (!tableLock_) return;
  if (tableByteTaken_) {
    if (writeLock_) {
      // The write lock still needs the byte: it keeps it.
      writeByteTaken_ = true;
    } else if (!data_->UnlockRegion(TableWriteByte, 1)) {
      Raise(QUARRY_LOCKTIMEOUT);
    }
  }
  tableByteTaken_ = false;
  SetTableLockHeld(false);
  PerformDeferredUnlocks();
}

void TDataTable::PerformDeferredUnlocks() {
  const std::set<std::int32_t> pending = std::move(deferred_);
  deferred_.clear();
  const bool tableLock = tableLock_;
  tableLock_ = false;  // so that UnlockRecord unlocks instead of deferring again
  try {
    for (const std::int32_t recordNo : pending) UnlockRecord(recordNo);
  } catch (...) {
    tableLock_ = tableLock;
    throw;
  }
  tableLock_ = tableLock;
}

bool TDataTable::LockRecord(std::int32_t recordNo) {
  if (!FileLocksApply()) return false;
  if (tableLock_ && locked_.count(recordNo) != 0) return false;
  if (inMemory_) {
    locked_.insert(recordNo);
    deferred_.erase(recordNo);
    return false;
  }
  const TSessionSettings& s = Session().Settings();
  // With strict change detection the caller already holds read lock B around its operation.
  const bool useReadLock = !s.StrictChangeDetection;
  bool refreshed = false;
  bool got = false;
  const int retries = s.LockRetryCount < 0 ? 0 : s.LockRetryCount;
  for (int attempt = 0;; ++attempt) {
    const bool tookB = useReadLock && !readLockA_ && !readLockB_ && !writeLock_ && !tableLock_;
    if (useReadLock && ReadLockB()) refreshed = true;
    got = data_->LockRegion(RecordLockOffset(recordNo), 1, true);
    if (tookB) ReleaseReadLockB();
    if (got || attempt >= retries) break;
    Session().Environment().Sleep(static_cast<std::uint32_t>(s.LockWaitTime < 0 ? 0 : s.LockWaitTime));
  }
  if (!got) Raise(QUARRY_RECLOCKFAILED);
  locked_.insert(recordNo);
  deferred_.erase(recordNo);
  return refreshed;
}

void TDataTable::UnlockRecord(std::int32_t recordNo) {
  if (tableLock_) {
    if (locked_.count(recordNo) != 0) deferred_.insert(recordNo);
    return;
  }
  auto it = locked_.find(recordNo);
  if (it == locked_.end()) return;
  locked_.erase(it);
  if (!inMemory_ && !data_->UnlockRegion(RecordLockOffset(recordNo), 1)) Raise(QUARRY_UNLOCKFAILED);
}

void TDataTable::SetRecordHolder(std::int32_t recordNo, const void* holder) { holders_[recordNo] = holder; }

void TDataTable::ClearRecordHolder(std::int32_t recordNo) { holders_.erase(recordNo); }

const void* TDataTable::RecordHolder(std::int32_t recordNo) const {
  const auto it = holders_.find(recordNo);
  return it == holders_.end() ? nullptr : it->second;
}

void TDataTable::ReleaseAllLocks() {
  if (!opened_) return;
  bool failed = false;
  auto attempt = [&failed](auto&& step) {
    try {
      step();
    } catch (...) {
      failed = true;
    }
  };
  attempt([&] { ReleaseWriteLock(); });
  attempt([&] { ReleaseReadLockA(); });
  attempt([&] { ReleaseReadLockB(); });
  attempt([&] { UnlockTable(); });
  const std::set<std::int32_t> records = locked_;
  for (const std::int32_t recordNo : records) attempt([&] { UnlockRecord(recordNo); });
  deferred_.clear();
  if (failed) Raise(QUARRY_UNLOCKFAILED);
}

// ---------------------------------------------------------------------------------------
// Change detection and buffers

bool TDataTable::CheckForChanges() {
  resumeChecked_ = false;
  bool changed = false;
  if (index_->HeaderChanged()) {
    // Index pages are gone already; records may have changed with them.
    data_->ReadHeader();
    data_->DiscardRecords();
    changed = true;
  } else if (data_->HeaderChanged()) {
    data_->DiscardRecords();
    changed = true;
  }
  if (blob_ && blob_->HeaderChanged()) changed = true;
  if (changed) index_->ReportSlotReuse(*data_);
  return changed;
}

void TDataTable::Flush(bool forceHeader, bool forceOsFlush, bool trimCaches) {
  if (readOnly_) return;
  if (inTransaction_) {
    // Written at commit; the counters already move so that the commit's header writes differ
    // from what other users saw before.
    data_->TouchHeader();
    index_->TouchHeader();
    if (blob_) blob_->TouchHeader();
    return;
  }
  const bool osFlush = forceOsFlush || Session().Settings().ForceBufferFlush;
  if (forceHeader && !data_->HeaderModified()) data_->TouchHeader();
  bool wrote = data_->FlushTable(osFlush, trimCaches);

  const std::int32_t indexCounter = index_->Header().ChangeCounter;
  if (forceHeader) index_->TouchHeader();
  index_->FlushPages();
  const bool indexWrote = index_->Header().ChangeCounter != indexCounter;
  if (osFlush && (indexWrote || wrote)) index_->TFileHandler::Flush();
  if (trimCaches) index_->TrimCache();
  wrote = wrote || indexWrote;

  if (blob_) {
    // Written blocks always move the header's counter, so that other users see them.
    blob_->FlushBlocks();
    const bool blobWrote = blob_->WriteHeader(forceHeader);
    if (osFlush && blobWrote) blob_->TFileHandler::Flush();
    if (trimCaches) blob_->TrimCache();
    wrote = wrote || blobWrote;
  }
  if (wrote) modified_ = true;
}

void TDataTable::DiscardBuffers() {
  data_->DiscardRecords();
  index_->DiscardPages();
  if (blob_) blob_->DiscardBlocks();
}

void TDataTable::ReloadFromFiles() {
  data_->DiscardRecords();
  data_->ReadHeader();
  // Moving the counter in memory makes the reread replace the header (and drop every page)
  // even when nothing of it reached the file.
  index_->TouchHeader();
  index_->HeaderChanged();
  index_->ReportSlotReuse(*data_);
  if (blob_) blob_->Reload();
}

void TDataTable::AbandonChange() {
  if (inTransaction_ || readOnly_) return;
  ReloadFromFiles();
}

void TDataTable::Empty() {
  if (readOnly_) Raise(QUARRY_OSEACCES);
  data_->Empty();
  index_->Empty();
  index_->FlushPages();
  if (blob_) blob_->Empty();
  modified_ = true;
}

// ---------------------------------------------------------------------------------------
// Transactions

void TDataTable::BeginTransaction() {
  if (inTransaction_ || readOnly_) return;
  if (exclusive_) Flush(false, false, false);
  index_->FlushPages();
  inTransaction_ = true;
  try {
    LockTable();
  } catch (...) {
    inTransaction_ = false;
    throw;
  }
}

void TDataTable::CommitLock() { WriteLock(); }

void TDataTable::CommitWrite(bool flush, bool trim) {
  if (!inTransaction_) return;
  const bool osFlush = flush || Session().Settings().ForceBufferFlush;
  bool wrote = data_->FlushTable(osFlush, trim);
  const std::int32_t indexCounter = index_->Header().ChangeCounter;
  index_->FlushPages();
  const bool indexWrote = index_->Header().ChangeCounter != indexCounter;
  if (osFlush && (wrote || indexWrote)) index_->TFileHandler::Flush();
  if (trim) index_->TrimCache();
  bool blobWrote = false;
  if (blob_) {
    blob_->FlushBlocks();
    blobWrote = blob_->WriteHeader(false);
    if (blobWrote && osFlush) blob_->TFileHandler::Flush();
    if (trim) blob_->TrimCache();
  }
  if (wrote || indexWrote || blobWrote) modified_ = true;
}

void TDataTable::CommitFinish(bool endTransaction) {
  if (endTransaction) {
    inTransaction_ = false;
    ReleaseWriteLock();
    UnlockTable();
  } else {
    PerformDeferredUnlocks();
    ReleaseWriteLock();
  }
}

void TDataTable::RollbackTransaction() {
  if (!inTransaction_) return;
  inTransaction_ = false;
  ReloadFromFiles();
  ReleaseWriteLock();
  UnlockTable();
}

}  // namespace quarry
