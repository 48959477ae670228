// TDataCursor: field access, record checks, inserts, updates and deletes with every index
// kept, record locks, and Verify (see data_cursor.h).
//
// A change runs: validity checks, write lock (which brings the caches up to date), record
// lock, unique-key checks — all before anything changes —, then the keys, the record and the
// count in the caches, Flush (which makes the change visible through the header counters),
// record unlock, write lock released. A failure after the first change drops the cached
// changes (TChangeScope), so nothing half-done is ever written.
#include <algorithm>
#include <cstring>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/cursor/data_cursor_impl.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/data/value_text.h"
#include "engine/storage/files/file_names.h"
#include "engine/storage/index/index_key.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"
#include "engine/values/date_time_text.h"
#include "engine/values/value_compare.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

using TKey = std::vector<std::uint8_t>;

TKey DeletedKey(std::uint8_t status, std::int32_t identifier) {
  TKey key(DeletedKeyLength);
  BuildDeletedKey(status, identifier, key.data());
  return key;
}

// Abandons the table's cached changes when the change in progress fails after it began to
// change the caches.
class TChangeScope {
 public:
  explicit TChangeScope(TDataTable& table) : table_(table), exceptions_(std::uncaught_exceptions()) {}
  ~TChangeScope() {
    if (std::uncaught_exceptions() <= exceptions_) return;
    try {
      table_.AbandonChange();
    } catch (...) {}
  }
  TChangeScope(const TChangeScope&) = delete;
  TChangeScope& operator=(const TChangeScope&) = delete;

 private:
  TDataTable& table_;
  int exceptions_;
};

// The value type a field's values are compared as.
std::uint8_t NodeTypeOf(const TFieldDefinition& field) {
  switch (field.DataType) {
  case TFieldType::Cardinal: return vt::LargeInt;
  case TFieldType::Extended: return vt::Float;
  default: return static_cast<std::uint8_t>(field.DataType);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Values of fields

TExpTree FieldValueNode(const TFieldDefinition& field, const std::uint8_t* record) {
  TExpTree node = NewToken();
  const std::uint8_t type = NodeTypeOf(field);
  if (field.DataType == TFieldType::String) {
    node->SetType(type, field.SubType, field.ValueSize);
  } else {
    node->SetType(type, field.SubType, FixedSizeOfType(type) > 0 ? FixedSizeOfType(type) : field.ValueSize,
                  field.Scale);
  }
  if (IsFieldNull(record, field)) {
    SetNullValue(*node);
    return node;
  }
  switch (field.DataType) {
  case TFieldType::String: node->PutString(GetFieldString(record, field)); break;
  case TFieldType::Cardinal: node->Put<std::int64_t>(GetFieldCardinal(record, field)); break;
  case TFieldType::Extended: node->Put<double>(GetFieldFloat(record, field)); break;
  case TFieldType::Boolean: node->Put<std::uint16_t>(GetFieldBoolean(record, field) ? 1 : 0); break;
  default:
    std::memcpy(node->Value.data(), FieldData(record, field),
                std::min<std::size_t>(field.ValueSize, node->Value.size()));
    break;
  }
  node->IsNull = false;
  return node;
}

TExpTree ValueTextNode(const TFieldDefinition& field, const std::string& text, TEnvironment& environment) {
  const std::uint8_t type = NodeTypeOf(field);
  TExpTree target = NewToken();
  const int size = field.DataType == TFieldType::String
                       ? field.ValueSize
                       : (FixedSizeOfType(type) > 0 ? FixedSizeOfType(type) : field.ValueSize);
  target->SetType(type, field.SubType, size, field.Scale);
  if (!ConvertValueText(text, environment.LocalTime(), *target)) return nullptr;
  return target;
}

void TDataCursor::GetField(int fieldNo, const std::uint8_t* record, bool& isNull, std::uint8_t* value) const {
  const TFieldDefinition& field = GetFieldDefinition(fieldNo);
  isNull = IsFieldNull(record, field);
  if (value == nullptr) return;
  if (isNull) {
    std::memset(value, 0, field.ValueSize);
  } else {
    std::memcpy(value, FieldData(record, field), field.ValueSize);
  }
}

void TDataCursor::PutField(int fieldNo, std::uint8_t* record, const std::uint8_t* value) {
  RequireOpen();
  const TFieldDefinition& field = GetFieldDefinition(fieldNo);
  if (value == nullptr) {
    SetFieldNull(record, field);
  } else {
    switch (field.DataType) {
    case TFieldType::String: {
      const std::size_t length = FieldTextLength(value, field.ValueSize);
      Data().SetString(record, field, std::string_view(reinterpret_cast<const char*>(value), length));
      break;
    }
    case TFieldType::Blob:
      // BLOB contents go through the BLOB operations; a raw block reference from outside
      // could point anywhere in the BLOB file.
      Raise(QUARRY_INVALIDBLOBHANDLE, field.Name);
    default: SetFieldData(record, field, value); break;
    }
  }
  if (hasComputed_ && calculator_ && !field.Computed) calculator_(record);
}

void TDataCursor::DefaultValue(const TFieldDefinition& field, std::uint8_t* record) const {
  TExpTree value = ValueTextNode(field, field.DefaultValue, Session().Environment());
  if (!value || value->IsNull) return;
  switch (field.DataType) {
  case TFieldType::String: Data().SetString(record, field, value->GetString()); break;
  case TFieldType::Boolean: SetFieldBoolean(record, field, ValueAsBoolean(*value)); break;
  case TFieldType::Cardinal: SetFieldCardinal(record, field, static_cast<std::uint32_t>(ValueAsInt64(*value))); break;
  case TFieldType::Extended: SetFieldFloat(record, field, ValueAsDouble(*value)); break;
  case TFieldType::Blob: break;
  default: SetFieldData(record, field, value->Value.data()); break;
  }
}

void TDataCursor::InitRecord(std::uint8_t* buffer) {
  RequireOpen();
  std::memset(buffer, 0, static_cast<std::size_t>(bufferSize_));
  if (hasDefaults_) {
    for (const TFieldDefinition& f : fields_) {
      if (!f.DefaultValue.empty() && f.TakesRecordSpace()) DefaultValue(f, buffer);
    }
  }
  if (hasComputed_ && calculator_) calculator_(buffer);
}

void TDataCursor::ValidateRecord(const std::uint8_t* buffer) const {
  if (!hasChecks_) return;
  for (const TFieldDefinition& f : fields_) {
    if (f.Required && f.TakesRecordSpace() && IsFieldNull(buffer, f)) Raise(QUARRY_REQDERR, f.Name);
  }
  const TExpressionCollation collation{LanguageId(), SortId()};
  for (const TImpl::TFieldCheck& check : impl_->checks) {
    const TFieldDefinition& f = fields_[static_cast<std::size_t>(check.FieldNo - 1)];
    if (!f.IsAutoInc() && IsFieldNull(buffer, f)) continue;
    TExpTree value = FieldValueNode(f, buffer);
    if (check.Min && CompareByOperator(op::Less, *value, *check.Min, collation)) Raise(QUARRY_MINVALERR, f.Name);
    if (check.Max && CompareByOperator(op::Greater, *value, *check.Max, collation)) Raise(QUARRY_MAXVALERR, f.Name);
  }
}

// ---------------------------------------------------------------------------------------
// Keys of a record

std::vector<int> TDataCursor::KeySlots() const {
  std::vector<int> slots;
  if (Index().Definition(PrimarySlot).Defined()) slots.push_back(PrimarySlot);
  for (int slot = 1; slot <= Index().SecondaryCount(); ++slot) {
    if (Index().Definition(slot).Defined()) slots.push_back(slot);
  }
  return slots;
}

void TDataCursor::TextKeys(const std::uint8_t* record, std::int32_t identifier, std::vector<TKey>& keys) {
  keys.clear();
  const TIndexDefinition& text = Index().Definition(TextSlot);
  if (!text.Defined()) return;
  const TTextParameters& parameters = TextParameters();
  const TCollation& collation = impl_->Collation(*this);
  for (int i = 0; i < text.FieldCount; ++i) {
    const int fieldNo = text.FieldNumbers[static_cast<std::size_t>(i)];
    if (fieldNo < 1 || fieldNo > static_cast<int>(Data().Fields().size())) continue;
    const TFieldDefinition& f = Data().Fields()[static_cast<std::size_t>(fieldNo - 1)];
    if (f.DataType != TFieldType::String || IsFieldNull(record, f)) continue;
    for (const std::string& word : ExtractWords(GetFieldString(record, f), parameters, collation)) {
      TKey key(TextKeyLength);
      BuildTextKey(static_cast<std::uint16_t>(fieldNo), word, identifier, key.data());
      keys.push_back(std::move(key));
    }
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
}

// ---------------------------------------------------------------------------------------
// After a change

void TDataCursor::AfterChange(bool othersChanged) {
  if (othersChanged) visible_.InvalidateAll();
  snapshot_.Take(*table_);
}

// ---------------------------------------------------------------------------------------
// Record locks

std::int32_t TDataCursor::ResolveRecordNo(std::int32_t recordNo) const {
  if (recordNo != 0) return recordNo;
  if (walk_.Bof() || walk_.Eof()) Raise(QUARRY_NOCURRREC);
  return walk_.RecordNo();
}

bool TDataCursor::LockedByOtherCursor(std::int32_t recordNo) const {
  const void* holder = table_->RecordHolder(recordNo);
  return holder != nullptr && holder != this;
}

void TDataCursor::LockRecord(std::int32_t recordNo) {
  RequireOpen();
  const std::int32_t n = ResolveRecordNo(recordNo);
  if (exclusive_ || internal_ || table_->Exclusive() || lockedRecord_ == n) return;
  if (LockedByOtherCursor(n)) Raise(QUARRY_RECLOCKFAILED);
  ReleaseLock();
  const bool refreshed = table_->LockRecord(n);
  table_->SetRecordHolder(n, this);
  lockedRecord_ = n;
  if (refreshed || snapshot_.Stale(*table_)) Resync();
}

void TDataCursor::UnlockRecord(std::int32_t recordNo) {
  RequireOpen();
  if (recordNo == 0 || recordNo == lockedRecord_) ReleaseLock();
}

void TDataCursor::ReleaseLock() {
  if (lockedRecord_ == 0) return;
  const std::int32_t n = lockedRecord_;
  lockedRecord_ = 0;
  if (table_ == nullptr) return;
  table_->ClearRecordHolder(n);
  table_->UnlockRecord(n);
}

void TDataCursor::SetKeepSuppliedIdentifiers(bool keep) {
  if (table_ == nullptr || !hasAutoInc_) return;
  keepIdentifiers_ = keep;
}

TEngineErrorContext TDataCursor::ErrorPlace() const {
  return {.database = directory_.DatabaseName(), .table = tableName_};
}

// Holds a record lock for one change unless the cursor holds it already; can hand the lock
// over to the cursor (an update that keeps the record locked).
class TDataCursor::TChangeLock {
 public:
  TChangeLock(TDataCursor& cursor, std::int32_t recordNo) : cursor_(cursor), recordNo_(recordNo) {
    TDataTable& table = *cursor.table_;
    if (cursor.lockedRecord_ == recordNo || cursor.exclusive_ || cursor.internal_ || table.Exclusive()) return;
    if (cursor.LockedByOtherCursor(recordNo)) cursor.Raise(QUARRY_RECLOCKFAILED);
    if (table.RecordLocked(recordNo)) return;  // the table object holds it for other work
    table.LockRecord(recordNo);
    table.SetRecordHolder(recordNo, &cursor);
    taken_ = true;
  }
  ~TChangeLock() {
    if (!taken_) return;
    cursor_.table_->ClearRecordHolder(recordNo_);
    try {
      cursor_.table_->UnlockRecord(recordNo_);
    } catch (...) {}
  }
  // The cursor keeps the lock after the change.
  void HandOver() {
    if (!taken_) return;
    taken_ = false;
    cursor_.ReleaseLock();
    cursor_.lockedRecord_ = recordNo_;
  }
  TChangeLock(const TChangeLock&) = delete;
  TChangeLock& operator=(const TChangeLock&) = delete;

 private:
  TDataCursor& cursor_;
  std::int32_t recordNo_;
  bool taken_ = false;
};

// ---------------------------------------------------------------------------------------
// Current record with lock

TEngineErrorCode TDataCursor::GetCurrentRecord(std::uint8_t* buffer, bool lock) {
  RequireOpen();
  TEngineErrorCode code = RunOperation([&]() -> TEngineErrorCode {
    if (walk_.Bof() && walk_.Eof()) return QUARRY_NOCURRREC;
    if (walk_.Bof()) return Presented(QUARRY_BOF);
    if (walk_.Eof()) return Presented(QUARRY_EOF);
    return QUARRY_NONE;
  });
  if (code != QUARRY_NONE) {
    if (buffer != nullptr) std::memset(buffer, 0, static_cast<std::size_t>(bufferSize_));
    return code;
  }
  if (!lock) {
    std::memcpy(walk_.Seen().data(), walk_.Current().data(), static_cast<std::size_t>(recordSize_));
    CopyOut(walk_.Current().data(), buffer);
    return QUARRY_NONE;
  }
  const std::vector<std::uint8_t> seen = walk_.Seen();
  const std::int32_t n = walk_.RecordNo();
  const bool pessimistic = Session().Settings().LockProtocol == TLockProtocol::lpPessimistic;
  if (pessimistic) LockRecord(n);
  bool same = false;
  {
    TReadLockGuard readLock(*table_);
    TPinnedRecord pinned = Data().GetRecord(nullptr, n);
    same = pinned && RecordStatus(pinned.Data()) == RecordActive &&
           std::memcmp(pinned.Data(), seen.data(), static_cast<std::size_t>(recordSize_)) == 0;
    if (same) std::memcpy(walk_.Current().data(), pinned.Data(), static_cast<std::size_t>(recordSize_));
  }
  if (!same) {
    if (pessimistic) ReleaseLock();
    Raise(QUARRY_KEYORRECDELETED);
  }
  if (calculator_) calculator_(walk_.Current().data());
  CopyOut(walk_.Current().data(), buffer);
  return QUARRY_NONE;
}

void TDataCursor::CancelEdit() {
  RequireOpen();
  if (Session().Settings().LockProtocol == TLockProtocol::lpPessimistic) ReleaseLock();
  updateFailed_ = false;
}

// ---------------------------------------------------------------------------------------
// Insert, update, delete

void TDataCursor::InsertRecord(std::uint8_t* buffer, bool reposition) {
  RequireOpen();
  RequireWritable();
  ValidateRecord(buffer);
  TDataFile& data = Data();
  TIndexFile& index = Index();
  std::vector<std::uint8_t> record(buffer, buffer + recordSize_);
  std::int32_t recordNo = 0;
  bool othersChanged = false;
  std::vector<TCursorBlobs::TPost> blobPosts;
  {
    TWriteLockGuard writeLock(*table_);
    othersChanged = snapshot_.Stale(*table_);
    recordNo = data.NewRecordNumber();
    TChangeLock recordLock(*this, recordNo);

    const bool keep = keepIdentifiers_ && hasAutoInc_;
    const std::int32_t last = data.LastAutoIncValue();
    const std::int32_t identifier = keep ? RecordIdentifier(record.data()) : (last == INT32_MAX ? 1 : last + 1);
    SetRecordStatus(record.data(), RecordActive);
    SetRecordLink(record.data(), recordNo);
    SetRecordIdentifier(record.data(), identifier);

    const std::vector<int> slots = KeySlots();
    std::vector<TKey> keys;
    keys.reserve(slots.size());
    for (const int slot : slots) {
      keys.push_back(index.KeyBuilder(slot).Build(record.data()));
      TIndexPath path;
      if (index.Definition(slot).Unique && index.FindKey(slot, path, keys.back().data())) {
        Raise(QUARRY_KEYVIOL, {}, index.Definition(slot).Name);
      }
    }
    if (keep) {
      TIndexPath path;
      if (index.FindKey(DeletedSlot, path, DeletedKey(RecordActive, identifier).data()))
        Raise(QUARRY_KEYVIOL, {}, DeletedIndexName);
    }
    std::vector<TKey> textKeys;
    TextKeys(record.data(), identifier, textKeys);

    TChangeScope change(*table_);
    blobPosts =
        blobs_.Post(*table_, fields_, record.data(), nullptr, RecordLink(buffer), referencesAsGiven_, ErrorPlace());
    if (keep) {
      if (identifier > last) data.SetLastAutoIncValue(identifier);
    } else {
      data.NextAutoIncValue();
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
      TIndexPath path;
      index.InsertKey(slots[i], path, keys[i].data(), recordNo);
    }
    for (const TKey& key : textKeys) {
      TIndexPath path;
      index.InsertKey(TextSlot, path, key.data(), recordNo);
    }
    const bool reused = recordNo != data.NextRecordNo();
    TPinnedRecord slot = data.AllocateRecord(nullptr);
    if (!slot) Raise(QUARRY_FILECORRUPT);
    TIndexPath path;
    if (reused) index.DeleteKey(DeletedSlot, path, DeletedKey(RecordDeleted, RecordIdentifier(slot.Data())).data());
    index.InsertKey(DeletedSlot, path, DeletedKey(RecordActive, identifier).data(), recordNo);
    std::memcpy(slot.Data() + AutoIncOffset, record.data() + AutoIncOffset,
                static_cast<std::size_t>(recordSize_ - AutoIncOffset));
    data.MarkDirty(slot.get());
    slot.Reset();
    index.IncrementRecordCount();
    table_->Flush(true, false, false);
  }
  TCursorBlobs::Commit(blobPosts, recordNo);
  std::memcpy(buffer, record.data(), RecordHeaderSize);
  visible_.RecordAdded(recordNo, record.data(), walk_.Natural(), walk_.Slot());
  AfterChange(othersChanged);
  try {
    if (reposition) {
      if (walk_.Natural()) {
        if (walk_.PositionOnRecord(recordNo, false) != QUARRY_NONE) walk_.Reposition();
      } else if (walk_.Slot() <= MaxSecondaryIndexes) {
        TKey key = Index().KeyBuilder(walk_.Slot()).Build(record.data());
        if (!walk_.PositionOnKey(key.data(), true)) walk_.PositionOnKey(key.data(), false);
      }
    } else if (!walk_.Bof() && !walk_.Eof()) {
      walk_.Reposition();
    }
  } catch (const TReadRestart&) {
    Resync();
  }
}

void TDataCursor::UpdateRecord(const std::uint8_t* buffer, bool unlock, bool reposition) {
  RequireOpen();
  RequireWritable();
  if (walk_.Bof() || walk_.Eof()) Raise(QUARRY_NOCURRREC);
  const bool optimistic = Session().Settings().LockProtocol == TLockProtocol::lpOptimistic;
  if (updateFailed_) Raise(QUARRY_KEYORRECDELETED);
  ValidateRecord(buffer);
  TDataFile& data = Data();
  TIndexFile& index = Index();
  const std::int32_t recordNo = walk_.RecordNo();
  // The image the edit started from: the record as the caller last read it.
  const std::vector<std::uint8_t> before = walk_.Seen();
  std::vector<std::uint8_t> updated;
  bool othersChanged = false;
  std::vector<TCursorBlobs::TPost> blobPosts;
  {
    TWriteLockGuard writeLock(*table_);
    othersChanged = snapshot_.Stale(*table_);
    TChangeLock recordLock(*this, recordNo);
    // Declared before the pinned record: the pin must be gone when the caches are dropped.
    TChangeScope change(*table_);
    TPinnedRecord slot = data.GetRecord(nullptr, recordNo);
    if (!slot || RecordStatus(slot.Data()) != RecordActive ||
        std::memcmp(slot.Data(), before.data(), static_cast<std::size_t>(recordSize_)) != 0) {
      if (optimistic) updateFailed_ = true;
      slot.Reset();
      Raise(QUARRY_KEYORRECDELETED);
    }
    updated.assign(slot.Data(), slot.Data() + recordSize_);
    std::memcpy(updated.data() + FirstFieldOffset, buffer + FirstFieldOffset,
                static_cast<std::size_t>(recordSize_ - FirstFieldOffset));
    const std::int32_t oldIdentifier = RecordIdentifier(slot.Data());
    const std::int32_t newIdentifier = keepIdentifiers_ && hasAutoInc_ ? RecordIdentifier(buffer) : oldIdentifier;
    SetRecordIdentifier(updated.data(), newIdentifier);

    const std::vector<int> slots = KeySlots();
    std::vector<std::pair<TKey, TKey>> keys(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
      keys[i].first = index.KeyBuilder(slots[i]).Build(slot.Data());
      keys[i].second = index.KeyBuilder(slots[i]).Build(updated.data());
      if (keys[i].first == keys[i].second) continue;
      TIndexPath path;
      if (index.Definition(slots[i]).Unique && index.FindKey(slots[i], path, keys[i].second.data())) {
        slot.Reset();
        Raise(QUARRY_KEYVIOL, {}, index.Definition(slots[i]).Name);
      }
    }
    if (newIdentifier != oldIdentifier) {
      TIndexPath path;
      if (index.FindKey(DeletedSlot, path, DeletedKey(RecordActive, newIdentifier).data())) {
        slot.Reset();
        Raise(QUARRY_KEYVIOL, {}, DeletedIndexName);
      }
    }
    std::vector<TKey> oldText;
    std::vector<TKey> newText;
    TextKeys(slot.Data(), oldIdentifier, oldText);
    TextKeys(updated.data(), newIdentifier, newText);
    blobPosts = blobs_.Post(*table_, fields_, updated.data(), slot.Data(), RecordLink(buffer), referencesAsGiven_,
                            ErrorPlace());

    for (std::size_t i = 0; i < slots.size(); ++i) {
      if (keys[i].first == keys[i].second) continue;
      TIndexPath path;
      index.DeleteKey(slots[i], path, keys[i].first.data());
      index.InsertKey(slots[i], path, keys[i].second.data(), recordNo);
    }
    for (const TKey& key : oldText) {
      if (std::binary_search(newText.begin(), newText.end(), key)) continue;
      TIndexPath path;
      index.DeleteKey(TextSlot, path, key.data());
    }
    for (const TKey& key : newText) {
      if (std::binary_search(oldText.begin(), oldText.end(), key)) continue;
      TIndexPath path;
      index.InsertKey(TextSlot, path, key.data(), recordNo);
    }
    if (newIdentifier != oldIdentifier) {
      TIndexPath path;
      index.DeleteKey(DeletedSlot, path, DeletedKey(RecordActive, oldIdentifier).data());
      index.InsertKey(DeletedSlot, path, DeletedKey(RecordActive, newIdentifier).data(), recordNo);
      if (newIdentifier > data.LastAutoIncValue()) data.SetLastAutoIncValue(newIdentifier);
    }
    std::memcpy(slot.Data(), updated.data(), updated.size());
    data.MarkDirty(slot.get());
    slot.Reset();
    table_->Flush(true, false, false);
    if (!unlock && !optimistic) recordLock.HandOver();
  }
  TCursorBlobs::Commit(blobPosts, recordNo);
  if (unlock || optimistic) ReleaseLock();
  updateFailed_ = false;
  visible_.RecordRemoved(recordNo);
  visible_.RecordAdded(recordNo, updated.data(), walk_.Natural(), walk_.Slot());
  AfterChange(othersChanged);
  try {
    if (walk_.Natural()) {
      walk_.Reposition();
    } else if (walk_.Slot() <= MaxSecondaryIndexes) {
      // Without reposition the cursor stays where the record's old key was.
      if (reposition) {
        TKey key = Index().KeyBuilder(walk_.Slot()).Build(updated.data());
        if (!walk_.PositionOnKey(key.data(), true)) walk_.PositionOnKey(key.data(), false);
      } else {
        walk_.Reposition();
      }
    } else {
      walk_.Reposition();
    }
  } catch (const TReadRestart&) {
    Resync();
  }
}

void TDataCursor::DeleteRecord(const std::uint8_t* buffer, bool reposition) {
  (void)reposition;  // a delete always lands on the neighbouring record
  RequireOpen();
  RequireWritable();
  if (walk_.Bof() || walk_.Eof()) Raise(QUARRY_NOCURRREC);
  TDataFile& data = Data();
  TIndexFile& index = Index();
  const std::int32_t recordNo = walk_.RecordNo();
  const std::vector<std::uint8_t> seen =
      buffer != nullptr ? std::vector<std::uint8_t>(buffer, buffer + recordSize_) : walk_.Seen();
  bool othersChanged = false;
  {
    TWriteLockGuard writeLock(*table_);
    othersChanged = snapshot_.Stale(*table_);
    if (LockedByOtherCursor(recordNo)) Raise(QUARRY_RECLOCKFAILED);
    TChangeScope change(*table_);
    TPinnedRecord slot = data.GetRecord(nullptr, recordNo);
    if (!slot || RecordStatus(slot.Data()) != RecordActive ||
        (!exclusive_ && std::memcmp(slot.Data(), seen.data(), static_cast<std::size_t>(recordSize_)) != 0)) {
      slot.Reset();
      Raise(QUARRY_KEYORRECDELETED);
    }
    TChangeLock recordLock(*this, recordNo);
    const std::int32_t identifier = RecordIdentifier(slot.Data());
    std::vector<TKey> textKeys;
    TextKeys(slot.Data(), identifier, textKeys);
    for (const int s : KeySlots()) {
      TIndexPath path;
      index.DeleteKey(s, path, index.KeyBuilder(s).Build(slot.Data()).data());
    }
    for (const TKey& key : textKeys) {
      TIndexPath path;
      index.DeleteKey(TextSlot, path, key.data());
    }
    TIndexPath path;
    index.DeleteKey(DeletedSlot, path, DeletedKey(RecordActive, identifier).data());
    index.InsertKey(DeletedSlot, path, DeletedKey(RecordDeleted, identifier).data(), recordNo);
    TCursorBlobs::Free(*table_, fields_, slot.Data());
    data.FreeRecord(slot.get());
    slot.Reset();
    index.DecrementRecordCount();
    table_->Flush(true, false, false);
  }
  if (lockedRecord_ == recordNo) ReleaseLock();
  visible_.RecordRemoved(recordNo);
  AfterChange(othersChanged);
  try {
    walk_.Reposition();
  } catch (const TReadRestart&) {
    Resync();
  }
}

// ---------------------------------------------------------------------------------------
// Verify

std::string TDataCursor::Verify() {
  RequireOpen();
  TReadLockGuard readLock(*table_);
  TDataFile& data = Data();
  TIndexFile& index = Index();
  const std::int32_t slotsInFile = data.NextRecordNo() - 1;
  std::int32_t active = 0;
  std::vector<TKey> expectedText;
  std::vector<TKey> textKeys;
  const bool hasText = index.Definition(TextSlot).Defined();
  for (std::int32_t n = 1; n <= slotsInFile; ++n) {
    TPinnedRecord r = data.GetRecord(nullptr, n, TReadDirection::Forward, true);
    if (!r) return "record " + std::to_string(n) + " could not be read";
    if (RecordStatus(r.Data()) != RecordActive) continue;
    ++active;
    if (RecordLink(r.Data()) != n)
      return "record " + std::to_string(n) + " carries number " + std::to_string(RecordLink(r.Data()));
    if (hasText) {
      TextKeys(r.Data(), RecordIdentifier(r.Data()), textKeys);
      expectedText.insert(expectedText.end(), textKeys.begin(), textKeys.end());
    }
  }
  if (active != index.RecordCount()) {
    return "index count " + std::to_string(index.RecordCount()) + " but " + std::to_string(active) + " active records";
  }
  try {
    for (const int slot : KeySlots()) {
      TBTree tree = index.Tree(static_cast<std::uint8_t>(slot));
      const std::int64_t keys = tree.Verify();
      if (keys != active) return "index " + std::to_string(slot) + " holds " + std::to_string(keys) + " keys";
      TIndexPath path;
      TKey key(static_cast<std::size_t>(index.Definition(slot).KeyLength));
      for (bool on = tree.First(path); on; on = tree.Next(path)) {
        const std::int32_t recordNo = tree.EntryAt(path, key.data());
        if (recordNo < 1 || recordNo > slotsInFile) return "index " + std::to_string(slot) + " points outside the data";
        TPinnedRecord r = data.GetRecord(nullptr, recordNo);
        if (RecordStatus(r.Data()) != RecordActive)
          return "index " + std::to_string(slot) + " points at a deleted record";
        if (index.KeyBuilder(slot).Build(r.Data()) != key) {
          return "index " + std::to_string(slot) + " key differs from record " + std::to_string(recordNo);
        }
      }
    }
    TBTree deleted = index.Tree(DeletedSlot);
    if (deleted.Verify() != slotsInFile) return "\"Sys Deleted\" does not cover every slot";
    TIndexPath path;
    std::uint8_t key[DeletedKeyLength];
    for (bool on = deleted.First(path); on; on = deleted.Next(path)) {
      const std::int32_t recordNo = deleted.EntryAt(path, key);
      if (recordNo < 1 || recordNo > slotsInFile) return "\"Sys Deleted\" points outside the data";
      TPinnedRecord r = data.GetRecord(nullptr, recordNo);
      if (std::memcmp(DeletedKey(RecordStatus(r.Data()), RecordIdentifier(r.Data())).data(), key, DeletedKeyLength) !=
          0) {
        return "\"Sys Deleted\" key differs from record " + std::to_string(recordNo);
      }
    }
    if (hasText) {
      TBTree text = index.Tree(TextSlot);
      const std::int64_t keys = text.Verify();
      std::sort(expectedText.begin(), expectedText.end());
      if (keys != static_cast<std::int64_t>(expectedText.size())) {
        return "\"Sys Text\" holds " + std::to_string(keys) + " keys, the records give " +
               std::to_string(expectedText.size());
      }
      for (const TKey& k : expectedText) {
        TIndexPath p;
        if (!index.FindKey(TextSlot, p, k.data())) return "\"Sys Text\" lacks a word of the records";
      }
    }
  } catch (const EQuarryEngineError& e) {
    return std::string("index check failed: ") + e.what();
  }
  if (visible_.FiltersActive() && visible_.VisibleValid() && !snapshot_.Stale(*table_)) {
    const TRecordsBitmap kept = visible_.Records();
    const std::int32_t keptCount = visible_.Count();
    try {
      visible_.Rebuild(walk_.Natural(), walk_.Slot());
    } catch (const TReadRestart&) {
      return {};
    }
    if (!(kept == visible_.Records()) || keptCount != visible_.Count())
      return "visible records differ from the filters";
  }
  return {};
}

}  // namespace quarry
