// TTableRecords: record changes and reads over a table with its indexes (see table_records.h).
#include "engine/storage/table_records.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "engine/storage/btree.h"
#include "engine/storage/directory.h"
#include "engine/storage/engine_error.h"
#include "engine/storage/index_key.h"
#include "engine/storage/record_buffer.h"

namespace quarry {

namespace {

using TKey = std::vector<std::uint8_t>;

TKey DeletedKey(std::uint8_t status, std::int32_t identifier) {
  TKey key(DeletedKeyLength);
  BuildDeletedKey(status, identifier, key.data());
  return key;
}

// Holds a record lock for a scope unless the table object held it already.
class TRecordLockScope {
 public:
  TRecordLockScope(TDataTable& table, std::int32_t recordNo)
      : table_(table), recordNo_(recordNo), taken_(!table.RecordLocked(recordNo)) {
    if (taken_) table_.LockRecord(recordNo_);
  }
  ~TRecordLockScope() {
    if (!taken_) return;
    try {
      table_.UnlockRecord(recordNo_);
    } catch (...) {
    }
  }
  TRecordLockScope(const TRecordLockScope&) = delete;
  TRecordLockScope& operator=(const TRecordLockScope&) = delete;

 private:
  TDataTable& table_;
  std::int32_t recordNo_;
  bool taken_;
};

// Abandons the table's cached changes when the change in progress fails after it began to
// change the caches.
class TChangeScope {
 public:
  explicit TChangeScope(TDataTable& table) : table_(table), exceptions_(std::uncaught_exceptions()) {}
  ~TChangeScope() {
    if (std::uncaught_exceptions() <= exceptions_) return;
    try {
      table_.AbandonChange();
    } catch (...) {
    }
  }
  TChangeScope(const TChangeScope&) = delete;
  TChangeScope& operator=(const TChangeScope&) = delete;

 private:
  TDataTable& table_;
  int exceptions_;
};

}  // namespace

void TTableRecords::RequireWritable() const {
  if (table_.ReadOnly()) {
    RaiseEngineError(QUARRY_OSEACCES, {.database = table_.Directory().DatabaseName(), .table = table_.Name()});
  }
}

std::vector<int> TTableRecords::KeySlots() {
  TIndexFile& index = table_.Index();
  std::vector<int> slots;
  if (index.Definition(PrimarySlot).Defined()) slots.push_back(PrimarySlot);
  for (int slot = 1; slot <= index.SecondaryCount(); ++slot) {
    if (index.Definition(slot).Defined()) slots.push_back(slot);
  }
  return slots;
}

TRecordImage TTableRecords::NewImage() const { return TRecordImage(static_cast<std::size_t>(table_.Data().RecordSize()), 0); }

std::int32_t TTableRecords::Insert(const TRecordImage& image) {
  RequireWritable();
  TWriteLockGuard writeLock(table_);
  TDataFile& data = table_.Data();
  TIndexFile& index = table_.Index();
  if (image.size() != static_cast<std::size_t>(data.RecordSize())) RaiseEngineError(QUARRY_FILECORRUPT, {.table = table_.Name()});
  const std::int32_t recordNo = data.NewRecordNumber();
  TRecordLockScope recordLock(table_, recordNo);

  TRecordImage record = image;
  const std::int32_t last = data.LastAutoIncValue();
  const std::int32_t identifier = last == INT32_MAX ? 1 : last + 1;
  SetRecordIdentifier(record.data(), identifier);
  const std::vector<int> slots = KeySlots();
  std::vector<TKey> keys;
  for (const int slot : slots) {
    keys.push_back(index.KeyBuilder(slot).Build(record.data()));
    TIndexPath path;
    if (index.Definition(slot).Unique && index.FindKey(slot, path, keys.back().data())) {
      RaiseEngineError(QUARRY_KEYVIOL, {.table = table_.Name(), .index = index.Definition(slot).Name});
    }
  }
  TChangeScope change(table_);
  data.NextAutoIncValue();
  for (std::size_t i = 0; i < slots.size(); ++i) {
    TIndexPath path;
    index.InsertKey(slots[i], path, keys[i].data(), recordNo);
  }
  const bool reused = recordNo != data.NextRecordNo();
  TPinnedRecord slot = data.AllocateRecord(nullptr);
  if (!slot) RaiseEngineError(QUARRY_FILECORRUPT, {.table = table_.Name()});
  TIndexPath path;
  if (reused) index.DeleteKey(DeletedSlot, path, DeletedKey(RecordDeleted, RecordIdentifier(slot.Data())).data());
  index.InsertKey(DeletedSlot, path, DeletedKey(RecordActive, identifier).data(), recordNo);
  std::memcpy(slot.Data() + AutoIncOffset, record.data() + AutoIncOffset, record.size() - AutoIncOffset);
  data.MarkDirty(slot.get());
  slot.Reset();
  index.IncrementRecordCount();
  table_.Flush(true, false, false);
  return recordNo;
}

void TTableRecords::Update(std::int32_t recordNo, const TRecordImage& image) {
  RequireWritable();
  TWriteLockGuard writeLock(table_);
  TRecordLockScope recordLock(table_, recordNo);
  TDataFile& data = table_.Data();
  TIndexFile& index = table_.Index();
  // Declared before the pinned record: the pin must be gone when the caches are dropped.
  TChangeScope change(table_);
  TPinnedRecord slot = data.GetRecord(nullptr, recordNo);
  if (!slot || RecordStatus(slot.Data()) != RecordActive) {
    RaiseEngineError(QUARRY_KEYORRECDELETED, {.table = table_.Name()});
  }
  TRecordImage updated(slot.Data(), slot.Data() + data.RecordSize());
  std::memcpy(updated.data() + FirstFieldOffset, image.data() + FirstFieldOffset, updated.size() - FirstFieldOffset);

  const std::vector<int> slots = KeySlots();
  std::vector<std::pair<TKey, TKey>> changed(slots.size());
  for (std::size_t i = 0; i < slots.size(); ++i) {
    changed[i].first = index.KeyBuilder(slots[i]).Build(slot.Data());
    changed[i].second = index.KeyBuilder(slots[i]).Build(updated.data());
    if (changed[i].first == changed[i].second) continue;
    TIndexPath path;
    if (index.Definition(slots[i]).Unique && index.FindKey(slots[i], path, changed[i].second.data())) {
      RaiseEngineError(QUARRY_KEYVIOL, {.table = table_.Name(), .index = index.Definition(slots[i]).Name});
    }
  }
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (changed[i].first == changed[i].second) continue;
    TIndexPath path;
    index.DeleteKey(slots[i], path, changed[i].first.data());
    index.InsertKey(slots[i], path, changed[i].second.data(), recordNo);
  }
  std::memcpy(slot.Data(), updated.data(), updated.size());
  data.MarkDirty(slot.get());
  slot.Reset();
  table_.Flush(true, false, false);
}

void TTableRecords::Delete(std::int32_t recordNo) {
  RequireWritable();
  TWriteLockGuard writeLock(table_);
  TRecordLockScope recordLock(table_, recordNo);
  TDataFile& data = table_.Data();
  TIndexFile& index = table_.Index();
  // Declared before the pinned record: the pin must be gone when the caches are dropped.
  TChangeScope change(table_);
  TPinnedRecord slot = data.GetRecord(nullptr, recordNo);
  if (!slot || RecordStatus(slot.Data()) != RecordActive) {
    RaiseEngineError(QUARRY_KEYORRECDELETED, {.table = table_.Name()});
  }
  for (const int s : KeySlots()) {
    TIndexPath path;
    index.DeleteKey(s, path, index.KeyBuilder(s).Build(slot.Data()).data());
  }
  const std::int32_t identifier = RecordIdentifier(slot.Data());
  TIndexPath path;
  index.DeleteKey(DeletedSlot, path, DeletedKey(RecordActive, identifier).data());
  index.InsertKey(DeletedSlot, path, DeletedKey(RecordDeleted, identifier).data(), recordNo);
  data.FreeRecord(slot.get());
  slot.Reset();
  index.DecrementRecordCount();
  table_.Flush(true, false, false);
}

TRecordImage TTableRecords::Read(std::int32_t recordNo) {
  TReadLockGuard readLock(table_);
  TPinnedRecord slot = table_.Data().GetRecord(nullptr, recordNo);
  if (!slot) RaiseEngineError(QUARRY_FILECORRUPT, {.table = table_.Name()});
  return TRecordImage(slot.Data(), slot.Data() + table_.Data().RecordSize());
}

std::int32_t TTableRecords::FindPrimary(const TRecordImage& image) {
  TReadLockGuard readLock(table_);
  TIndexFile& index = table_.Index();
  const TKey key = index.KeyBuilder(PrimarySlot).Build(image.data());
  TIndexPath path;
  if (!index.FindKey(PrimarySlot, path, key.data())) return 0;
  return index.Tree(PrimarySlot).EntryAt(path, nullptr);
}

std::int32_t TTableRecords::RecordCount() {
  TReadLockGuard readLock(table_);
  return table_.Index().RecordCount();
}

std::string TTableRecords::Verify() {
  TReadLockGuard readLock(table_);
  TDataFile& data = table_.Data();
  TIndexFile& index = table_.Index();
  const std::int32_t slotsInFile = data.NextRecordNo() - 1;
  std::int32_t active = 0;
  for (std::int32_t n = 1; n <= slotsInFile; ++n) {
    TPinnedRecord r = data.GetRecord(nullptr, n, TReadDirection::Forward, true);
    if (!r) return "record " + std::to_string(n) + " could not be read";
    if (RecordStatus(r.Data()) == RecordActive) ++active;
  }
  if (active != index.RecordCount()) {
    return "index count " + std::to_string(index.RecordCount()) + " but " + std::to_string(active) + " active records";
  }
  std::vector<int> slots = KeySlots();
  for (const int slot : slots) {
    TBTree tree = index.Tree(slot);
    const std::int64_t keys = tree.Verify();
    if (keys != active) return "index " + std::to_string(slot) + " holds " + std::to_string(keys) + " keys";
    TIndexPath path;
    TKey key(static_cast<std::size_t>(index.Definition(slot).KeyLength));
    for (bool on = tree.First(path); on; on = tree.Next(path)) {
      const std::int32_t recordNo = tree.EntryAt(path, key.data());
      if (recordNo < 1 || recordNo > slotsInFile) return "index " + std::to_string(slot) + " points outside the data";
      TPinnedRecord r = data.GetRecord(nullptr, recordNo);
      if (RecordStatus(r.Data()) != RecordActive) return "index " + std::to_string(slot) + " points at a deleted record";
      if (index.KeyBuilder(slot).Build(r.Data()) != key) {
        return "index " + std::to_string(slot) + " key differs from record " + std::to_string(recordNo);
      }
    }
  }
  TBTree deleted = index.Tree(DeletedSlot);
  if (deleted.Verify() != slotsInFile) return "\"Sys Deleted\" does not cover every slot";
  return {};
}

}  // namespace quarry
