// TDataCursor: life cycle, definitions, order, navigation, positions, bookmarks, searches,
// ranges, filters and the change check (see data_cursor.h). Record changes and locks are in
// data_cursor_edit.cpp, CreateTable and table information in data_cursor_create.cpp, text
// search in data_cursor_text.cpp.
//
// How a position is kept: in index order path_ is a path in the current index and
// currentKey_ the key of the current record; every tree change (ours or another cursor's)
// makes path_ stale, so after a change the cursor finds currentKey_ again (Reposition).
// Other users' changes are noticed by comparing the snapshot of the three header change
// counters with the table object's counters at the start of every operation (RunOperation).
#include "engine/storage/cursor/data_cursor.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/cursor/data_cursor_impl.h"
#include "engine/storage/cursor/filter_expression_engine.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/files/file_names.h"
#include "engine/storage/maintenance/table_maintenance.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"

namespace quarry {

namespace {

// Password callback answers tried before an open gives up.
constexpr int kPasswordAttempts = 64;

std::string TrimmedTableName(std::string_view name) {
  std::string text(name);
  const auto notBlank = [](unsigned char c) { return c > ' '; };
  text.erase(text.begin(), std::find_if(text.begin(), text.end(), notBlank));
  text.erase(std::find_if(text.rbegin(), text.rend(), notBlank).base(), text.end());
  // Without path: after the last separator of either kind.
  const std::size_t slash = text.find_last_of("/\\");
  if (slash != std::string::npos) text.erase(0, slash + 1);
  if (text.size() >= 4) {
    std::string tail = text.substr(text.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (tail == kDataExtension) text.resize(text.size() - 4);
  }
  return text;
}

// Turns read-ahead off for a search: it lands on one record, with no direction of travel
// whose following records would be wanted next.
class TSearchScope {
 public:
  explicit TSearchScope(bool& readAhead) : readAhead_(readAhead), saved_(readAhead) { readAhead_ = false; }
  ~TSearchScope() { readAhead_ = saved_; }
  TSearchScope(const TSearchScope&) = delete;
  TSearchScope& operator=(const TSearchScope&) = delete;

 private:
  bool& readAhead_;
  bool saved_;
};

}  // namespace

TDataCursor::TDataCursor(TDataDirectory& directory) : directory_(directory), impl_(std::make_unique<TImpl>()) {}

TDataCursor::~TDataCursor() {
  try {
    Close();
  } catch (...) {
    // Destruction cannot report; Close releases the table whatever fails on the way.
  }
}

// ---------------------------------------------------------------------------------------
// Options

void TDataCursor::RequireClosed() const {
  if (table_ != nullptr) Raise(QUARRY_TABLEOPEN);
}

void TDataCursor::RequireOpen() const {
  if (table_ == nullptr)
    RaiseEngineError(QUARRY_NOTINITIALIZED, {.database = directory_.DatabaseName(), .table = tableName_});
}

void TDataCursor::SetTableName(std::string_view name) {
  RequireClosed();
  tableName_ = TrimmedTableName(name);
}

void TDataCursor::SetExclusive(bool exclusive) {
  RequireClosed();
  exclusive_ = exclusive;
}

void TDataCursor::SetReadOnly(bool readOnly) {
  RequireClosed();
  readOnly_ = readOnly;
}

void TDataCursor::SetInMemory(bool inMemory) {
  RequireClosed();
  inMemory_ = inMemory;
}

void TDataCursor::SetPasswordCallback(TPasswordCallback callback) {
  RequireClosed();
  passwordCallback_ = std::move(callback);
}

void TDataCursor::SetInternal(bool internal) {
  RequireClosed();
  internal_ = internal;
}

bool TDataCursor::ReadOnly() const { return readOnly_ || (table_ != nullptr && table_->ReadOnly()); }

std::uint16_t TDataCursor::LanguageId() const { return table_ ? Data().LanguageId() : 0; }
std::uint16_t TDataCursor::SortId() const { return table_ ? Data().SortId() : 0; }

TDataSession& TDataCursor::Session() const { return directory_.Session(); }

TDataTable& TDataCursor::Table() const {
  RequireOpen();
  return *table_;
}

TDataFile& TDataCursor::Data() const { return table_->Data(); }
TIndexFile& TDataCursor::Index() const { return table_->Index(); }

void TDataCursor::Raise(TEngineErrorCode code, std::string_view field, std::string_view index,
                        std::string_view message) const {
  RaiseEngineError(code, {.database = directory_.DatabaseName(),
                          .table = tableName_,
                          .field = std::string(field),
                          .index = std::string(index),
                          .message = std::string(message)});
}

// ---------------------------------------------------------------------------------------
// Life cycle

void TDataCursor::Open() {
  if (table_ != nullptr) return;
  if (tableName_.empty()) RaiseEngineError(QUARRY_OSENOENT, {.database = directory_.DatabaseName()});
  // The table object is shared by the session's cursors: read-only is this cursor's own
  // restriction, so the files are opened for writing whenever they can be.
  TDataTable& table = directory_.OpenTable(tableName_, inMemory_, exclusive_, false);
  table_ = &table;
  referencesAsGiven_ = false;
  try {
    {
      TReadLockGuard lock(table);
      if (table.UseCount() == 1) {
        Data().VerifyHeader();
        Index().VerifyHeader(Data().Fields());
        if (table.Blob() != nullptr) table.Blob()->VerifyHeader();
      } else {
        Data().CheckVersion();
        Index().CheckVersion();
        if (table.Blob() != nullptr) table.Blob()->CheckVersion();
      }
    }
    if (Data().Encrypted()) {
      const std::string password = Data().Password();
      for (int attempt = 0; !Session().HasPassword(password); ++attempt) {
        std::string given;
        if (attempt >= kPasswordAttempts || !passwordCallback_ || !passwordCallback_(tableName_, given)) {
          Raise(QUARRY_NOTSUFFTABLERIGHTS);
        }
        Session().AddPassword(given);
      }
    }
    LoadDefinitions();
    ApplySlot(Index().Definition(PrimarySlot).Defined() ? PrimarySlot : NaturalOrderSlot);
    TakeSnapshot();
    SetBof();
  } catch (...) {
    table_ = nullptr;
    fields_.clear();
    try {
      directory_.CloseTable(table);
    } catch (...) {}
    throw;
  }
}

void TDataCursor::OpenOn(TDataTable& table) {
  if (table_ != nullptr) Raise(QUARRY_TABLEOPEN);
  tableName_ = table.Name();
  inMemory_ = table.InMemory();
  table.AddUse();
  table_ = &table;
  referencesAsGiven_ = true;
  try {
    LoadDefinitions();
    ApplySlot(NaturalOrderSlot);
    TakeSnapshot();
  } catch (...) {
    table_ = nullptr;
    directory_.CloseTable(table);
    throw;
  }
}

void TDataCursor::Close() {
  if (table_ == nullptr) return;
  TFirstError errors;
  errors.Run([&] { ReleaseLock(); });
  filters_.clear();
  filterActive_ = false;
  visible_.SetSize(0);
  active_.SetSize(0);
  inRange_.SetSize(0);
  activeValid_ = visibleValid_ = false;
  rangeActive_ = false;
  if (textParametersChanged_ && textParameters_ && !ReadOnly()) {
    errors.Run([&] {
      TWriteLockGuard lock(*table_);
      WriteTextParameters(Index(), *textParameters_);
      table_->Flush(true, false, false);
    });
  }
  textParameters_.reset();
  textParametersChanged_ = false;
  blobs_.clear();
  updateFailed_ = false;
  keepIdentifiers_ = false;
  TDataTable& table = *table_;
  table_ = nullptr;
  SetBof();
  errors.Run([&] { directory_.CloseTable(table); });
  errors.Rethrow();
}

void TDataCursor::Refresh() {
  RequireOpen();
  TReadLockGuard lock(*table_);
  Resync();
}

void TDataCursor::LoadDefinitions() {
  fields_ = Data().Fields();
  recordSize_ = Data().RecordSize();
  bufferSize_ = recordSize_;
  hasDefaults_ = hasChecks_ = hasComputed_ = hasAutoInc_ = false;
  for (const TFieldDefinition& f : fields_) {
    hasDefaults_ = hasDefaults_ || !f.DefaultValue.empty();
    hasChecks_ = hasChecks_ || f.Required || !f.MinValue.empty() || !f.MaxValue.empty();
    hasComputed_ = hasComputed_ || f.Computed;
    hasAutoInc_ = hasAutoInc_ || f.IsAutoInc();
  }
  presented_ = fields_;
  presentedSource_.clear();
  for (const TFieldDefinition& f : fields_) presentedSource_.push_back(f.FieldNo);
  // A calculator belongs to the view it was set with.
  calculator_ = nullptr;
  current_.assign(static_cast<std::size_t>(bufferSize_), 0);
  seen_.assign(static_cast<std::size_t>(recordSize_), 0);
  impl_->Bind(*this);
}

void TDataCursor::ReplaceFieldDefinitions(std::vector<TFieldDefinition> fields) {
  RequireOpen();
  std::vector<int> sources;
  sources.reserve(fields.size());
  int next = recordSize_;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TFieldDefinition& f = fields[i];
    f.FieldNo = static_cast<std::uint16_t>(i + 1);
    if (f.Computed) {
      if (f.ValueSize == 0) f.ValueSize = static_cast<std::uint8_t>(StorageSizeOf(f.DataType, f.Size));
      f.Offset = static_cast<std::uint16_t>(next);
      next += f.ValueSize + 1;
      sources.push_back(0);
      continue;
    }
    const auto shown = std::find_if(fields_.begin(), fields_.end(), [&](const TFieldDefinition& t) {
      return !t.Computed && t.Offset == f.Offset && t.DataType == f.DataType && t.ValueSize == f.ValueSize;
    });
    if (shown == fields_.end()) Raise(QUARRY_INVALIDFLDTYPE, f.Name);
    sources.push_back(shown->FieldNo);
  }
  presented_ = std::move(fields);
  presentedSource_ = std::move(sources);
  bufferSize_ = next;
  hasComputed_ = next > recordSize_;
  current_.resize(static_cast<std::size_t>(bufferSize_), 0);
  impl_->Bind(*this);
}

void TDataCursor::SetComputedFieldCalculator(std::function<void(std::uint8_t* record)> calculator) {
  calculator_ = std::move(calculator);
}

// ---------------------------------------------------------------------------------------
// Fields and indexes

const TFieldDefinition& TDataCursor::GetFieldDefinition(int fieldNo) const {
  if (fieldNo < 1 || fieldNo > FieldCount()) Raise(QUARRY_OUTOFRANGE, std::to_string(fieldNo));
  return presented_[static_cast<std::size_t>(fieldNo - 1)];
}

int TDataCursor::TableFieldNo(int fieldNo) const {
  if (fieldNo < 1 || fieldNo > FieldCount()) Raise(QUARRY_OUTOFRANGE, std::to_string(fieldNo));
  return presentedSource_[static_cast<std::size_t>(fieldNo - 1)];
}

const TFieldDefinition& TDataCursor::GetFieldDefinition(std::string_view name) const {
  const std::string wanted = TrimText(name);
  for (const TFieldDefinition& f : presented_) {
    if (f.Name.size() != wanted.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < wanted.size() && same; ++i) {
      same = std::toupper(static_cast<unsigned char>(f.Name[i])) == std::toupper(static_cast<unsigned char>(wanted[i]));
    }
    if (same) return f;
  }
  Raise(QUARRY_OUTOFRANGE, std::string(name));
}

int TDataCursor::IndexCount() const {
  RequireOpen();
  return (Index().Definition(PrimarySlot).Defined() ? 1 : 0) + Index().SecondaryCount();
}

const TIndexDefinition& TDataCursor::GetIndexDefinition(int slot) const {
  RequireOpen();
  if (slot < 0 || slot >= IndexSlotCount) Raise(QUARRY_OUTOFRANGE, std::to_string(slot));
  return Index().Definition(slot);
}

const TIndexDefinition& TDataCursor::IndexDefinition() const {
  static const TIndexDefinition none;
  if (table_ == nullptr || natural_) return none;
  return Index().Definition(slot_);
}

int TDataCursor::KeyLength() const { return natural_ ? 0 : keyLength_; }

void TDataCursor::SetIndex(std::string_view name) {
  RequireOpen();
  const int slot = Index().FindIndex(name);
  if (slot < 0) Raise(QUARRY_INVALIDINDEXNAME, {}, name);
  if (slot == slot_) return;
  SetIndexSlot(slot);
}

void TDataCursor::SetIndexSlot(int slot) {
  ChooseIndexSlot(slot);
  // Choosing an index is mostly followed by a range or a search: the first record is read
  // alone, and a walk that follows reads ahead from its next record.
  TSearchScope positioning(readAhead_);
  RunOperation([&] { return FirstStep(); });
}

void TDataCursor::ChooseIndexSlot(int slot) {
  RequireOpen();
  if (slot != NaturalOrderSlot) {
    const bool known = slot == PrimarySlot || (slot >= 1 && slot <= Index().SecondaryCount()) || slot == DeletedSlot ||
                       slot == TextSlot;
    if (!known || (slot != PrimarySlot && !Index().Definition(slot).Defined())) {
      Raise(QUARRY_INVALIDINDEXNAME, {}, std::to_string(slot));
    }
  }
  ApplySlot(slot);
}

void TDataCursor::ApplySlot(int slot) {
  slot_ = slot;
  natural_ = slot == NaturalOrderSlot || (slot == PrimarySlot && !Index().Definition(PrimarySlot).Defined());
  keyLength_ = natural_ ? 0 : Index().Definition(slot).KeyLength;
  const std::size_t keyBytes = static_cast<std::size_t>(std::max(keyLength_, 4));
  currentKey_.assign(keyBytes, 0);
  scratchKey_.assign(keyBytes, 0);
  rangeStart_.assign(keyBytes, 0);
  rangeEnd_.assign(keyBytes, 0xFF);
  rangeActive_ = false;
  visibleValid_ = false;
  keysOnly_ = false;
  path_ = TIndexPath{};
  SetBof();
}

// ---------------------------------------------------------------------------------------
// Change detection

void TDataCursor::TakeSnapshot() {
  dataCounter_ = Data().ChangeCounter();
  indexCounter_ = Index().Header().ChangeCounter;
  blobCounter_ = table_->Blob() != nullptr ? table_->Blob()->ChangeCounter() : 0;
}

bool TDataCursor::SnapshotStale() const {
  return dataCounter_ != Data().ChangeCounter() || indexCounter_ != Index().Header().ChangeCounter ||
         blobCounter_ != (table_->Blob() != nullptr ? table_->Blob()->ChangeCounter() : 0);
}

void TDataCursor::CheckChanges() {
  if (SnapshotStale()) Resync();
}

bool TDataCursor::CheckForChanges() {
  // Called by the data file before it reads from disk. Under a lock of ours the caches were
  // brought up to date when the lock was taken.
  if (table_ == nullptr || table_->HoldsWriteLock() || table_->HoldsTableLock() || table_->HoldsReadLockA() ||
      table_->HoldsReadLockB()) {
    return false;
  }
  return table_->CheckForChanges();
}

void TDataCursor::Resync() {
  // The image the caller last read stays what edits are checked against when the cursor
  // lands on the same record again.
  const std::int32_t wasOn = bof_ || eof_ ? 0 : recordNo_;
  const std::vector<std::uint8_t> seen = wasOn != 0 ? seen_ : std::vector<std::uint8_t>();
  for (int attempt = 0; attempt < kRestartAttempts; ++attempt) {
    try {
      TakeSnapshot();
      activeValid_ = false;
      visibleValid_ = false;
      if (filterActive_) RebuildVisible();
      if (bof_ || eof_) {
        path_ = TIndexPath{};
        return;
      }
      Reposition();
      if (wasOn != 0 && !bof_ && !eof_ && recordNo_ == wasOn) seen_ = seen;
      return;
    } catch (const TRestart&) {}
  }
  SetBof();
}

void TDataCursor::InvalidateBitmaps() { visibleValid_ = false; }

// ---------------------------------------------------------------------------------------
// Bitmaps

void TDataCursor::BuildActive() {
  const std::int64_t slots = Data().PhysicalRecordCount();
  active_.SetSize(static_cast<std::int32_t>(slots));
  if (Index().RecordCount() == slots) {
    active_.SetAll();
  } else {
    // "Sys Deleted" keys start with the status byte: the active records come first.
    active_.ClearAll();
    TBTree tree = Index().Tree(DeletedSlot);
    TIndexPath path;
    std::uint8_t key[DeletedKeyLength];
    for (bool on = tree.First(path); on; on = tree.Next(path)) {
      const std::int32_t recordNo = tree.EntryAt(path, key);
      if (key[0] != RecordActive) break;
      active_.Include(recordNo);
    }
  }
  activeValid_ = true;
}

const TRecordsBitmap& TDataCursor::NaturalSet() {
  if (filterActive_) {
    if (!visibleValid_) RebuildVisible();
    return visible_;
  }
  if (!activeValid_) BuildActive();
  return active_;
}

void TDataCursor::RebuildVisible() {
  if (!activeValid_) BuildActive();
  visible_.Assign(active_);
  if (!natural_ && rangeActive_ && slot_ <= MaxSecondaryIndexes) {
    inRange_.SetSize(active_.Size());
    inRange_.ClearAll();
    TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
    TIndexPath path;
    for (bool on = (tree.Find(rangeStart_.data(), path), tree.OnEntry(path)); on; on = tree.Next(path)) {
      const std::int32_t recordNo = tree.EntryAt(path, scratchKey_.data());
      if (CompareKeys(scratchKey_.data(), rangeEnd_.data()) > 0) break;
      inRange_.Include(recordNo);
    }
    visible_.AndWith(inRange_);
  }
  std::vector<std::uint8_t>& record = impl_->Scratch(bufferSize_);
  scanning_ = true;
  try {
    for (const auto& filter : filters_) {
      if (!filter->Active()) continue;
      TRecordsBitmap& bits = filter->Bitmap();
      bits.Assign(visible_);
      for (std::int32_t n = visible_.First(); n != 0; n = visible_.FindNext(n)) {
        if (n > Data().NextRecordNo() - 1) throw TRestart{};
        TPinnedRecord pinned = Data().GetRecord(this, n, TReadDirection::Forward, true);
        if (!pinned) throw TRestart{};
        std::memcpy(record.data(), pinned.Data(), static_cast<std::size_t>(recordSize_));
        pinned.Reset();
        if (calculator_) calculator_(record.data());
        if (!filter->Accepts(record.data())) bits.Exclude(n);
      }
      visible_.AndWith(bits);
    }
  } catch (...) {
    scanning_ = false;
    throw;
  }
  scanning_ = false;
  visibleCount_ = visible_.CountSet();
  visibleValid_ = true;
}

bool TDataCursor::Visible(std::int32_t recordNo) const { return !filterActive_ || visible_.Test(recordNo); }

// ---------------------------------------------------------------------------------------
// Keys

int TDataCursor::CompareKeys(const std::uint8_t* a, const std::uint8_t* b) const {
  return Index().Comparator(slot_).Compare(a, b);
}

bool TDataCursor::InRange(const std::uint8_t* key) const {
  return !rangeActive_ || (CompareKeys(key, rangeStart_.data()) >= 0 && CompareKeys(key, rangeEnd_.data()) <= 0);
}

void TDataCursor::PadKey(std::uint8_t* key, int from, bool high) const {
  if (from >= keyLength_) return;
  const TIndexDefinition& index = Index().Definition(slot_);
  const bool binary = Data().LanguageId() == 0;
  const auto fill = [&](int begin, int end, bool descending) {
    const std::uint8_t value = high != descending ? 0xFF : 0x00;
    for (int i = std::max(begin, from); i < end && i < keyLength_; ++i) key[i] = value;
  };
  int end = 0;
  if (slot_ <= MaxSecondaryIndexes) {
    for (const TKeyFieldLayout& f : Index().KeyBuilder(slot_).Layout()) {
      // Descending fields of byte-ordered keys are stored inverted, so bytes keep their
      // order there; the field-wise comparison negates them instead.
      fill(f.Offset, f.Offset + 1 + f.Size, index.Descending || (!binary && f.Descending));
      end = std::max(end, f.Offset + 1 + f.Size);
    }
  }
  fill(end, keyLength_, index.Descending);
}

int TDataCursor::GivenKeyBytes(const std::uint8_t* key, int fieldCount, int partialLength) const {
  if (slot_ > MaxSecondaryIndexes) return keyLength_;
  const std::vector<TKeyFieldLayout>& layout = Index().KeyBuilder(slot_).Layout();
  const int count = static_cast<int>(layout.size());
  // With a partial string the field count is literal: 0 means the partial field is the first.
  const int given =
      partialLength > 0 ? std::clamp(fieldCount, 0, count) : (fieldCount <= 0 ? count : std::min(fieldCount, count));
  int end = given > 0 ? layout[static_cast<std::size_t>(given - 1)].Offset + 1 +
                            layout[static_cast<std::size_t>(given - 1)].Size
                      : 0;
  if (partialLength > 0 && given < count && layout[static_cast<std::size_t>(given)].IsString) {
    const TKeyFieldLayout& f = layout[static_cast<std::size_t>(given)];
    const TIndexDefinition& index = Index().Definition(slot_);
    // Byte-ordered keys hold descending fields inverted.
    const std::uint8_t flip = (f.Descending && !index.Descending && Data().LanguageId() == 0) ? 0xFF : 0x00;
    const std::uint8_t* text = key + f.Offset + 1;
    int bytes = 0;
    for (int chars = 0; chars < partialLength && bytes < f.Size && (text[bytes] ^ flip) != 0; ++chars) {
      ++bytes;
      while (bytes < f.Size && ((text[bytes] ^ flip) & 0xC0) == 0x80) ++bytes;
    }
    end = f.Offset + 1 + bytes;
  }
  return std::min(end, keyLength_);
}

// ---------------------------------------------------------------------------------------
// Position primitives

void TDataCursor::SetEmpty() {
  bof_ = eof_ = true;
  recordNo_ = 0;
}

void TDataCursor::SetBof() {
  bof_ = true;
  eof_ = false;
  recordNo_ = 0;
}

void TDataCursor::SetEof() {
  bof_ = false;
  eof_ = true;
  recordNo_ = 0;
}

const std::uint8_t* TDataCursor::CurrentRecord() const {
  return bof_ || eof_ || table_ == nullptr ? nullptr : current_.data();
}

void TDataCursor::LoadCurrent(std::int32_t recordNo, TReadDirection direction) {
  // A record number at or beyond the end means the index was read before another user grew
  // the table (or is damaged): reading it would create a slot.
  if (recordNo < 1 || recordNo >= Data().NextRecordNo()) {
    CheckForChanges();
    throw TRestart{};
  }
  recordNo_ = recordNo;  // read-ahead asks ConsecutiveRecords about this record
  TPinnedRecord pinned = Data().GetRecord(this, recordNo, direction, readAhead_);
  if (!pinned) throw TRestart{};
  if (RecordStatus(pinned.Data()) != RecordActive && slot_ != DeletedSlot) {
    pinned.Reset();
    CheckForChanges();
    throw TRestart{};
  }
  std::memcpy(current_.data(), pinned.Data(), static_cast<std::size_t>(recordSize_));
  std::memcpy(seen_.data(), pinned.Data(), static_cast<std::size_t>(recordSize_));
  pinned.Reset();
  if (calculator_) calculator_(current_.data());
  bof_ = eof_ = false;
}

int TDataCursor::ConsecutiveRecords(std::int32_t recordNo, bool forward, int limit) {
  if (natural_ || scanning_ || table_ == nullptr || recordNo != recordNo_) return -1;
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  TIndexPath path = path_;
  if (!tree.OnEntry(path) || tree.EntryAt(path, nullptr) != recordNo) return 1;
  int count = 1;
  std::int32_t expected = recordNo;
  // Records beyond the cursor's range are not wanted: a lookup of one key reads one record.
  std::vector<std::uint8_t>& key = readAheadKey_;
  key.resize(scratchKey_.size());
  while (count < limit && (forward ? tree.Next(path) : tree.Prior(path))) {
    expected += forward ? 1 : -1;
    if (tree.EntryAt(path, rangeActive_ ? key.data() : nullptr) != expected) break;
    if (rangeActive_ &&
        (forward ? CompareKeys(key.data(), rangeEnd_.data()) > 0 : CompareKeys(key.data(), rangeStart_.data()) < 0))
      break;
    ++count;
  }
  return count;
}

namespace {

bool KeyDecodes(const TFieldDefinition& field) {
  switch (field.DataType) {
  case TFieldType::String:
  case TFieldType::Integer:
  case TFieldType::Date:
  case TFieldType::Time:
  case TFieldType::SmallInt:
  case TFieldType::Word:
  case TFieldType::Boolean:
  case TFieldType::LargeInt: return true;
  default: return false;
  }
}

std::uint64_t LoadBigEndian(const std::uint8_t* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | in[i];
  return value;
}

}  // namespace

bool TDataCursor::KeyHoldsFields(int slot, const std::vector<int>& fieldNumbers) const {
  if (table_ == nullptr || slot < 0 || slot > MaxSecondaryIndexes) return false;
  const TIndexDefinition& index = Index().Definition(slot);
  if (!index.Defined() || index.CaseInsensitive) return false;
  const std::vector<TFieldDefinition>& fields = Data().Fields();
  for (int i = 0; i < index.FieldCount; ++i) {
    const int number = index.FieldNumbers[static_cast<std::size_t>(i)];
    if (index.FieldDescending[static_cast<std::size_t>(i)] || number < 1 || number > static_cast<int>(fields.size()) ||
        !KeyDecodes(fields[static_cast<std::size_t>(number - 1)]))
      return false;
  }
  for (int wanted : fieldNumbers) {
    bool inKey = false;
    for (int i = 0; i < index.FieldCount && !inKey; ++i)
      inKey = index.FieldNumbers[static_cast<std::size_t>(i)] == wanted;
    if (!inKey) return false;
  }
  return true;
}

bool TDataCursor::SetKeysOnly(bool on) {
  if (!on) {
    keysOnly_ = false;
    return true;
  }
  if (natural_ || calculator_ || !KeyHoldsFields(slot_, {})) return false;
  keysOnly_ = true;
  return true;
}

void TDataCursor::LoadFromKey(std::int32_t recordNo, const std::uint8_t* key) {
  std::uint8_t* record = current_.data();
  // A zero-filled image has every field NULL (flag 0, value zero).
  std::fill(current_.begin(), current_.end(), 0);
  SetRecordStatus(record, RecordActive);
  SetRecordLink(record, recordNo);
  const std::vector<TFieldDefinition>& fields = Data().Fields();
  const TIndexDefinition& index = Index().Definition(slot_);
  const std::vector<TKeyFieldLayout>& layout = Index().KeyBuilder(slot_).Layout();
  for (int i = 0; i < index.FieldCount; ++i) {
    const TFieldDefinition& f = fields[static_cast<std::size_t>(index.FieldNumbers[static_cast<std::size_t>(i)] - 1)];
    const TKeyFieldLayout& at = layout[static_cast<std::size_t>(i)];
    const std::uint8_t* flag = key + at.Offset;
    const std::uint8_t* value = flag + 1;
    if (*flag == 0) continue;
    switch (f.DataType) {
    case TFieldType::String: {
      // The key holds the text zero-padded to the storage size, as the record does.
      keyValue_.assign(static_cast<std::size_t>(f.ValueSize), 0);
      const std::size_t length = strnlen(reinterpret_cast<const char*>(value), static_cast<std::size_t>(at.Size));
      std::memcpy(keyValue_.data(), value, std::min(length, keyValue_.size()));
      SetFieldData(record, f, keyValue_.data());
      break;
    }
    case TFieldType::Integer:
    case TFieldType::Date:
    case TFieldType::Time:
      SetFieldInteger(record, f,
                      static_cast<std::int32_t>(static_cast<std::uint32_t>(LoadBigEndian(value, 4)) ^ 0x80000000u));
      break;
    case TFieldType::SmallInt:
      SetFieldSmallInt(record, f,
                       static_cast<std::int16_t>(static_cast<std::uint16_t>(LoadBigEndian(value, 2)) ^ 0x8000u));
      break;
    case TFieldType::Word:
    case TFieldType::Boolean: SetFieldWord(record, f, static_cast<std::uint16_t>(LoadBigEndian(value, 2))); break;
    case TFieldType::LargeInt:
      SetFieldLargeInt(record, f, static_cast<std::int64_t>(LoadBigEndian(value, 8) ^ 0x8000000000000000ULL));
      break;
    default: break;
    }
  }
  if (!index.Unique) SetRecordIdentifier(record, DecodeInt32Key(key + keyLength_ - 4));
  std::memcpy(seen_.data(), record, std::min(seen_.size(), current_.size()));
  recordNo_ = recordNo;
  bof_ = eof_ = false;
}

TEngineErrorCode TDataCursor::SettleForward(bool on) {
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  while (on) {
    const std::int32_t recordNo = tree.EntryAt(path_, scratchKey_.data());
    if (rangeActive_ && CompareKeys(scratchKey_.data(), rangeEnd_.data()) > 0) break;
    if (Visible(recordNo)) {
      if (keysOnly_) LoadFromKey(recordNo, scratchKey_.data());
      else LoadCurrent(recordNo, TReadDirection::Forward);
      currentKey_.swap(scratchKey_);
      return QUARRY_NONE;
    }
    on = tree.Next(path_);
  }
  return QUARRY_EOF;
}

TEngineErrorCode TDataCursor::SettleBackward(bool on) {
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  while (on) {
    const std::int32_t recordNo = tree.EntryAt(path_, scratchKey_.data());
    if (rangeActive_ && CompareKeys(scratchKey_.data(), rangeStart_.data()) < 0) break;
    if (Visible(recordNo)) {
      if (keysOnly_) LoadFromKey(recordNo, scratchKey_.data());
      else LoadCurrent(recordNo, TReadDirection::Backward);
      currentKey_.swap(scratchKey_);
      return QUARRY_NONE;
    }
    on = tree.Prior(path_);
  }
  return QUARRY_BOF;
}

TEngineErrorCode TDataCursor::FirstStep() {
  if (natural_) {
    const std::int32_t n = NaturalSet().First();
    if (n == 0) {
      SetEmpty();
      return QUARRY_EOF;
    }
    LoadCurrent(n, TReadDirection::Forward);
    return QUARRY_NONE;
  }
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  bool on;
  if (rangeActive_) {
    tree.Find(rangeStart_.data(), path_);
    on = tree.OnEntry(path_);
  } else {
    on = tree.First(path_);
  }
  if (SettleForward(on) != QUARRY_NONE) {
    SetEmpty();
    return QUARRY_EOF;
  }
  return QUARRY_NONE;
}

TEngineErrorCode TDataCursor::LastStep() {
  if (natural_) {
    const std::int32_t n = NaturalSet().Last();
    if (n == 0) {
      SetEmpty();
      return QUARRY_EOF;
    }
    LoadCurrent(n, TReadDirection::Backward);
    return QUARRY_NONE;
  }
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  bool on;
  if (rangeActive_) {
    tree.Find(rangeEnd_.data(), path_);
    if (!tree.OnEntry(path_)) {
      on = tree.Last(path_);
    } else {
      tree.EntryAt(path_, scratchKey_.data());
      on = CompareKeys(scratchKey_.data(), rangeEnd_.data()) > 0 ? tree.Prior(path_) : true;
    }
  } else {
    on = tree.Last(path_);
  }
  if (SettleBackward(on) != QUARRY_NONE) {
    SetEmpty();
    return QUARRY_EOF;
  }
  return QUARRY_NONE;
}

TEngineErrorCode TDataCursor::NextStep() {
  if (bof_) return FirstStep();
  if (eof_) return QUARRY_EOF;
  if (natural_) {
    const std::int32_t n = NaturalSet().FindNext(recordNo_);
    if (n == 0) {
      SetEof();
      return QUARRY_EOF;
    }
    LoadCurrent(n, TReadDirection::Forward);
    return QUARRY_NONE;
  }
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  if (SettleForward(tree.Next(path_)) != QUARRY_NONE) {
    SetEof();
    return QUARRY_EOF;
  }
  return QUARRY_NONE;
}

TEngineErrorCode TDataCursor::PriorStep() {
  if (eof_) {
    const TEngineErrorCode code = LastStep();
    return code == QUARRY_NONE ? code : QUARRY_BOF;
  }
  if (bof_) return QUARRY_BOF;
  if (natural_) {
    const std::int32_t n = NaturalSet().FindPrior(recordNo_);
    if (n == 0) {
      SetBof();
      return QUARRY_BOF;
    }
    LoadCurrent(n, TReadDirection::Backward);
    return QUARRY_NONE;
  }
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  if (SettleBackward(tree.Prior(path_)) != QUARRY_NONE) {
    SetBof();
    return QUARRY_BOF;
  }
  return QUARRY_NONE;
}

void TDataCursor::Reposition() {
  if (natural_) {
    const TRecordsBitmap& set = NaturalSet();
    std::int32_t n = set.Test(recordNo_) ? recordNo_ : set.FindNext(recordNo_);
    if (n == 0) n = set.FindPrior(recordNo_);
    if (n == 0) {
      SetEmpty();
      return;
    }
    LoadCurrent(n, TReadDirection::Forward);
    return;
  }
  PositionOnKey(currentKey_.data(), false);
}

bool TDataCursor::PositionOnKey(const std::uint8_t* key, bool exact) {
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  const std::uint8_t* target = key;
  if (rangeActive_ && CompareKeys(key, rangeStart_.data()) < 0) target = rangeStart_.data();
  TIndexPath path;
  tree.Find(target, path);
  bool on = tree.OnEntry(path);
  if (exact) {
    if (!on) return false;
    const std::int32_t recordNo = tree.EntryAt(path, scratchKey_.data());
    if (CompareKeys(scratchKey_.data(), key) != 0 || !InRange(scratchKey_.data()) || !Visible(recordNo)) return false;
    path_ = path;
    LoadCurrent(recordNo, TReadDirection::Forward);
    currentKey_.swap(scratchKey_);
    return true;
  }
  // Keep the key: currentKey_ may be what we are looking for and settling overwrites it.
  std::vector<std::uint8_t>& wanted = impl_->KeyCopy(key, keyLength_);
  path_ = path;
  if (SettleForward(on) != QUARRY_NONE) {
    LastStep();
    return false;
  }
  return std::memcmp(currentKey_.data(), wanted.data(), static_cast<std::size_t>(keyLength_)) == 0;
}

TEngineErrorCode TDataCursor::PositionOnRecord(std::int32_t recordNo, bool nearest) {
  if (natural_ && !filterActive_ && !activeValid_ && recordNo >= 1 && recordNo < Data().NextRecordNo()) {
    // Without filters a record is visible when its slot is active: no bitmap needed.
    bool active = false;
    {
      TPinnedRecord pinned = Data().GetRecord(this, recordNo);
      if (!pinned) throw TRestart{};
      active = RecordStatus(pinned.Data()) == RecordActive;
    }
    if (active) {
      LoadCurrent(recordNo, TReadDirection::Forward);
      return QUARRY_NONE;
    }
  }
  if (natural_) {
    const TRecordsBitmap& set = NaturalSet();
    if (set.Test(recordNo)) {
      LoadCurrent(recordNo, TReadDirection::Forward);
      return QUARRY_NONE;
    }
    if (!nearest) return QUARRY_RECNOTFOUND;
    const std::int32_t n = set.FindNext(std::max(recordNo, 0));
    if (n == 0) {
      if (LastStep() != QUARRY_NONE) return QUARRY_EOF;
      return QUARRY_NONE;
    }
    LoadCurrent(n, TReadDirection::Forward);
    return QUARRY_NONE;
  }
  if (recordNo < 1 || recordNo >= Data().NextRecordNo() || slot_ > MaxSecondaryIndexes) return QUARRY_RECNOTFOUND;
  std::vector<std::uint8_t>& record = impl_->Scratch(bufferSize_);
  {
    TPinnedRecord pinned = Data().GetRecord(this, recordNo);
    if (!pinned) throw TRestart{};
    if (RecordStatus(pinned.Data()) != RecordActive) return QUARRY_RECNOTFOUND;
    std::memcpy(record.data(), pinned.Data(), static_cast<std::size_t>(recordSize_));
  }
  std::uint8_t* key = TImpl::Sized(impl_->builtKey, keyLength_);
  Index().KeyBuilder(slot_).Build(record.data(), key);
  return PositionOnKey(key, true) ? QUARRY_NONE : QUARRY_RECNOTFOUND;
}

TEngineErrorCode TDataCursor::Deliver(TEngineErrorCode code, std::uint8_t* buffer) {
  if (buffer != nullptr) {
    if (code == QUARRY_NONE) {
      CopyOut(current_.data(), buffer);
    } else {
      std::memset(buffer, 0, static_cast<std::size_t>(bufferSize_));
    }
  }
  return code;
}

void TDataCursor::CopyOut(const std::uint8_t* image, std::uint8_t* buffer) {
  if (buffer != nullptr && buffer != image) std::memcpy(buffer, image, static_cast<std::size_t>(bufferSize_));
}

// ---------------------------------------------------------------------------------------
// Navigation

TEngineErrorCode TDataCursor::First() {
  return RunOperation([&] { return FirstStep(); });
}

TEngineErrorCode TDataCursor::Last() {
  return RunOperation([&] { return LastStep(); });
}

TEngineErrorCode TDataCursor::Next(std::uint8_t* buffer) {
  return Deliver(RunOperation([&] { return NextStep(); }), buffer);
}

TEngineErrorCode TDataCursor::Prior(std::uint8_t* buffer) {
  return Deliver(RunOperation([&] { return PriorStep(); }), buffer);
}

void TDataCursor::Home() {
  RequireOpen();
  SetBof();
}

void TDataCursor::End() {
  RequireOpen();
  SetEof();
}

TEngineErrorCode TDataCursor::ReadBlock(std::uint8_t* buffer, int& count) {
  const int wanted = count;
  count = 0;
  if (wanted <= 0) return QUARRY_NONE;
  return RunOperation([&] {
    while (count < wanted) {
      const TEngineErrorCode code = NextStep();
      if (code != QUARRY_NONE) return code;
      CopyOut(current_.data(), buffer + static_cast<std::ptrdiff_t>(count) * bufferSize_);
      ++count;
    }
    return QUARRY_NONE;
  });
}

// ---------------------------------------------------------------------------------------
// Counts and positions

std::int64_t TDataCursor::RangeFirstOrdinal() {
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  if (rangeActive_) return tree.OrdinalNotSmaller(rangeStart_.data());
  return tree.KeyCount() > 0 ? 1 : 0;
}

std::int64_t TDataCursor::RangeLastOrdinal() {
  TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
  if (rangeActive_) return tree.OrdinalNotGreater(rangeEnd_.data());
  return tree.KeyCount();
}

std::int32_t TDataCursor::RecordCount() {
  return RunOperation([&]() -> std::int32_t {
    if (filterActive_) return visibleCount_;
    if (natural_) return Index().RecordCount();
    const std::int64_t first = RangeFirstOrdinal();
    const std::int64_t last = RangeLastOrdinal();
    if (first == 0 || last == 0 || last < first) return 0;
    return static_cast<std::int32_t>(last - first + 1);
  });
}

std::int32_t TDataCursor::GetRecNo() {
  return RunOperation([&]() -> std::int32_t {
    if (bof_ || eof_) return 0;
    if (natural_) return NaturalSet().CountSetBelow(recordNo_) + 1;
    TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
    if (!filterActive_) return static_cast<std::int32_t>(tree.Ordinal(path_) - RangeFirstOrdinal() + 1);
    // Filtered index order: count the visible entries from the range start.
    TIndexPath path;
    bool on = rangeActive_ ? (tree.Find(rangeStart_.data(), path), tree.OnEntry(path)) : tree.First(path);
    std::int32_t position = 0;
    for (; on; on = tree.Next(path)) {
      const std::int32_t recordNo = tree.EntryAt(path, scratchKey_.data());
      if (visible_.Test(recordNo)) ++position;
      if (recordNo == recordNo_ && CompareKeys(scratchKey_.data(), currentKey_.data()) == 0) return position;
    }
    return 0;
  });
}

bool TDataCursor::SetRecNo(std::int32_t n) {
  TSearchScope search(readAhead_);
  return RunOperation([&]() -> bool {
    if (n < 1) return false;
    if (natural_) {
      const std::int32_t recordNo = NaturalSet().Nth(n);
      if (recordNo == 0) return false;
      LoadCurrent(recordNo, TReadDirection::Forward);
      return true;
    }
    TBTree tree = Index().Tree(static_cast<std::uint8_t>(slot_));
    TIndexPath path;
    if (!filterActive_) {
      const std::int64_t first = RangeFirstOrdinal();
      const std::int64_t last = RangeLastOrdinal();
      if (first == 0 || first + n - 1 > last || !tree.Seek(first + n - 1, path)) return false;
    } else {
      if (n > visibleCount_) return false;
      bool on = rangeActive_ ? (tree.Find(rangeStart_.data(), path), tree.OnEntry(path)) : tree.First(path);
      std::int32_t seen = 0;
      for (; on; on = tree.Next(path)) {
        if (visible_.Test(tree.EntryAt(path, nullptr)) && ++seen == n) break;
      }
      if (!on) return false;
    }
    path_ = path;
    const std::int32_t recordNo = tree.EntryAt(path_, scratchKey_.data());
    LoadCurrent(recordNo, TReadDirection::Forward);
    currentKey_.swap(scratchKey_);
    return true;
  });
}

// ---------------------------------------------------------------------------------------
// Bookmarks

int TDataCursor::BookmarkSize() const { return natural_ ? 4 : keyLength_; }

TBookmark TDataCursor::GetBookmark() {
  RequireOpen();
  if (bof_ || eof_) return {};
  if (natural_) {
    TBookmark bookmark(4);
    std::memcpy(bookmark.data(), &recordNo_, 4);
    return bookmark;
  }
  return TBookmark(currentKey_.begin(), currentKey_.begin() + keyLength_);
}

TEngineErrorCode TDataCursor::GotoBookmark(const TBookmark& bookmark, bool nearest) {
  TSearchScope search(readAhead_);
  return RunOperation([&]() -> TEngineErrorCode {
    if (static_cast<int>(bookmark.size()) != BookmarkSize()) return QUARRY_RECNOTFOUND;
    if (natural_) {
      std::int32_t recordNo = 0;
      std::memcpy(&recordNo, bookmark.data(), 4);
      return PositionOnRecord(recordNo, nearest);
    }
    if (PositionOnKey(bookmark.data(), true)) return QUARRY_NONE;
    if (!nearest) return QUARRY_RECNOTFOUND;
    PositionOnKey(bookmark.data(), false);
    return bof_ || eof_ ? QUARRY_EOF : QUARRY_NONE;
  });
}

int TDataCursor::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
  RequireOpen();
  const int size = BookmarkSize();
  const bool aValid = static_cast<int>(a.size()) == size;
  const bool bValid = static_cast<int>(b.size()) == size;
  if (!aValid || !bValid) return aValid == bValid ? 0 : (aValid ? 1 : -1);
  if (natural_) {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::memcpy(&x, a.data(), 4);
    std::memcpy(&y, b.data(), 4);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  return CompareKeys(a.data(), b.data());
}

// ---------------------------------------------------------------------------------------
// Searching

bool TDataCursor::FindKey(const std::uint8_t* record, int fieldCount, int partialLength, bool nearest,
                          std::uint8_t* buffer) {
  RequireOpen();
  if (natural_ || slot_ > MaxSecondaryIndexes) return false;
  std::uint8_t* key = TImpl::Sized(impl_->builtKey, keyLength_);
  Index().KeyBuilder(slot_).Build(record, key);
  const int given = GivenKeyBytes(key, fieldCount, partialLength);
  const int keyFields = Index().Definition(slot_).FieldCount;
  const bool exact =
      partialLength <= 0 && (fieldCount <= 0 || fieldCount >= keyFields) && Index().Definition(slot_).Unique;
  return FindRawKey(key, exact ? keyLength_ : given, nearest, buffer);
}

bool TDataCursor::FindRawKey(const std::uint8_t* key, int keyLength, bool nearest, std::uint8_t* buffer) {
  TSearchScope search(readAhead_);
  const bool found = RunOperation([&]() -> bool {
    if (natural_ || keyLength_ == 0) return false;
    const int given = std::clamp(keyLength, 0, keyLength_);
    std::uint8_t* search = TImpl::Sized(impl_->searchKey, keyLength_);
    std::memmove(search, key, static_cast<std::size_t>(given));
    std::memset(search + given, 0, static_cast<std::size_t>(keyLength_ - given));
    if (given == keyLength_ && Index().Definition(slot_).Unique) {
      if (PositionOnKey(search, true)) return true;
      if (nearest) PositionOnKey(search, false);
      return false;
    }
    PadKey(search, given, false);
    PositionOnKey(search, false);
    if (bof_ || eof_) return false;
    return std::memcmp(currentKey_.data(), search, static_cast<std::size_t>(given)) == 0;
  });
  if (buffer != nullptr && !bof_ && !eof_) CopyOut(current_.data(), buffer);
  return found;
}

TEngineErrorCode TDataCursor::SyncTo(TDataCursor& other) {
  TSearchScope search(readAhead_);
  return RunOperation([&]() -> TEngineErrorCode {
    const std::uint8_t* record = other.CurrentRecord();
    if (record == nullptr || other.table_ == nullptr) return QUARRY_RECNOTFOUND;
    if (natural_) return PositionOnRecord(other.recordNo_, false);
    if (slot_ > MaxSecondaryIndexes) return QUARRY_RECNOTFOUND;
    std::uint8_t* key = TImpl::Sized(impl_->builtKey, keyLength_);
    Index().KeyBuilder(slot_).Build(record, key);
    return PositionOnKey(key, true) ? QUARRY_NONE : QUARRY_RECNOTFOUND;
  });
}

TEngineErrorCode TDataCursor::GotoRecordNo(std::int32_t recordNo) {
  TSearchScope search(readAhead_);
  return RunOperation([&] { return PositionOnRecord(recordNo, false); });
}

// ---------------------------------------------------------------------------------------
// Ranges

void TDataCursor::SetRange(const std::uint8_t* startRecord, int startFieldCount, const std::uint8_t* endRecord,
                           int endFieldCount) {
  RequireOpen();
  if (!natural_ && slot_ <= MaxSecondaryIndexes) {
    const TKeyBuilder& builder = Index().KeyBuilder(slot_);
    builder.Build(startRecord, rangeStart_.data());
    PadKey(rangeStart_.data(), GivenKeyBytes(rangeStart_.data(), startFieldCount, 0), false);
    builder.Build(endRecord, rangeEnd_.data());
    PadKey(rangeEnd_.data(), GivenKeyBytes(rangeEnd_.data(), endFieldCount, 0), true);
    rangeActive_ = true;
  }
  visibleValid_ = false;
  RunOperation([&] { return FirstStep(); });
}

void TDataCursor::CancelRange() {
  RequireOpen();
  std::fill(rangeStart_.begin(), rangeStart_.end(), 0x00);
  std::fill(rangeEnd_.begin(), rangeEnd_.end(), 0xFF);
  rangeActive_ = false;
  visibleValid_ = false;
  RunOperation([&] { return FirstStep(); });
}

// ---------------------------------------------------------------------------------------
// Filters

const TFilterExpressionEngine& TDataCursor::FilterEngine() const {
  const TFilterExpressionEngine* engine = InstalledFilterExpressionEngine();
  if (engine == nullptr) Raise(QUARRY_NOTINITIALIZED, {}, {}, "no expression engine is installed for filters");
  return *engine;
}

void TDataCursor::FilterCheck(TExpTree& tree) {
  FilterEngine().Check(tree, impl_->FilterColumns(), *this);
  if (!tree || tree->DataType != vt::Boolean) {
    Raise(QUARRY_INVALIDFILTER, {}, {}, "filter expression must be a boolean expression");
  }
}

TFilter* TDataCursor::AddFilter(std::string_view expression, const TFilterOptions& options) {
  RequireOpen();
  if (FilterCount() >= MaxCursorFilters) Raise(QUARRY_INTERNALLIMIT);
  return AddFilter(FilterEngine().Parse(expression, *this), options);
}

TFilter* TDataCursor::AddFilter(TExpTree expression, const TFilterOptions& options) {
  RequireOpen();
  if (FilterCount() >= MaxCursorFilters) Raise(QUARRY_INTERNALLIMIT);
  if (!expression) Raise(QUARRY_INVALIDFILTER);
  FilterCheck(expression);
  return InsertFilter(std::make_unique<TFilter>(*this, std::move(expression), options));
}

TFilter* TDataCursor::AddResolvedFilter(TExpTree checked, const TFilterOptions& options) {
  RequireOpen();
  if (FilterCount() >= MaxCursorFilters) Raise(QUARRY_INTERNALLIMIT);
  if (!checked) Raise(QUARRY_INVALIDFILTER);
  return InsertFilter(std::make_unique<TFilter>(*this, std::move(checked), options));
}

TFilter* TDataCursor::AddFilter(TFilterCallback callback, const void* dataset, const TFilterOptions& options) {
  RequireOpen();
  if (FilterCount() >= MaxCursorFilters) Raise(QUARRY_INTERNALLIMIT);
  if (!callback) Raise(QUARRY_INVALIDFILTER);
  return InsertFilter(std::make_unique<TFilter>(*this, std::move(callback), dataset, options));
}

TFilter* TDataCursor::InsertFilter(std::unique_ptr<TFilter> filter) {
  TFilter* handle = filter.get();
  auto at = filters_.end();
  if (!filter->IsCallback() && !filter->GoesLast()) {
    at = std::find_if(filters_.begin(), filters_.end(), [](const auto& f) { return f->GoesLast(); });
  }
  filters_.insert(at, std::move(filter));
  FiltersChanged();
  return handle;
}

std::vector<std::unique_ptr<TFilter>>::iterator TDataCursor::FindFilter(TFilter* filter) {
  auto it = std::find_if(filters_.begin(), filters_.end(), [&](const auto& f) { return f.get() == filter; });
  if (it == filters_.end()) Raise(QUARRY_NOSUCHFILTER);
  return it;
}

void TDataCursor::RemoveFilter(TFilter* filter) {
  RequireOpen();
  if (filter == nullptr) {
    filters_.clear();
  } else {
    filters_.erase(FindFilter(filter));
  }
  FiltersChanged();
}

void TDataCursor::ActivateFilter(TFilter* filter) {
  RequireOpen();
  if (filter == nullptr) {
    for (auto& f : filters_) f->SetActive(true);
  } else {
    (*FindFilter(filter))->SetActive(true);
  }
  FiltersChanged();
}

void TDataCursor::DeactivateFilter(TFilter* filter) {
  RequireOpen();
  if (filter == nullptr) {
    for (auto& f : filters_) f->SetActive(false);
  } else {
    (*FindFilter(filter))->SetActive(false);
  }
  FiltersChanged();
}

void TDataCursor::SetFilterExpression(TFilter* filter, TExpTree expression) {
  RequireOpen();
  TFilter& f = **FindFilter(filter);
  if (f.IsCallback() || !f.Active()) Raise(QUARRY_NOSUCHFILTER);
  if (!expression) Raise(QUARRY_INVALIDFILTER);
  FilterCheck(expression);
  f.SetExpression(std::move(expression));
  FiltersChanged();
}

void TDataCursor::FiltersChanged() {
  filterActive_ = std::any_of(filters_.begin(), filters_.end(), [](const auto& f) { return f->Active(); });
  visibleValid_ = false;
  RunOperation([&] { return FirstStep(); });
}

// ---------------------------------------------------------------------------------------
// Table maintenance: forwards to TTableMaintenance

void TDataCursor::DeleteTable() {
  RequireClosed();
  TTableMaintenance(directory_, tableName_, inMemory_).DeleteTable();
}

void TDataCursor::RenameTable(std::string_view newName, bool toBackup) {
  RequireClosed();
  TTableMaintenance(directory_, tableName_, inMemory_).RenameTable(newName, toBackup);
}

void TDataCursor::EmptyTable() {
  RequireOpen();
  if (readOnly_) Raise(QUARRY_OSEACCES);
  TTableMaintenance(directory_, tableName_, inMemory_).EmptyTable(*table_);
  First();
}

void TDataCursor::AddIndex(const TIndexDefinition& definition, const std::function<void(int percent)>& progress) {
  RequireOpen();
  if (readOnly_ && !definition.Temporary) Raise(QUARRY_OSEACCES);
  TTableMaintenance maintenance(directory_, tableName_, inMemory_);
  maintenance.SetProgressHandler(progress);
  maintenance.AddIndex(*table_, definition);
  First();
}

void TDataCursor::DeleteIndex(std::string_view name) {
  RequireOpen();
  if (readOnly_) Raise(QUARRY_OSEACCES);
  TTableMaintenance(directory_, tableName_, inMemory_).DeleteIndex(*table_, name);
  SetIndexSlot(PrimarySlot);
}

void TDataCursor::DeleteIndexSlot(int slot) {
  RequireOpen();
  if (readOnly_) Raise(QUARRY_OSEACCES);
  TTableMaintenance(directory_, tableName_, inMemory_).DeleteIndexSlot(*table_, slot);
  SetIndexSlot(PrimarySlot);
}

bool TDataCursor::RestructureTable(const TRestructureRequest& request) {
  return TTableMaintenance(directory_, tableName_, inMemory_)
             .RestructureTable(request, IsOpen(), exclusive_, readOnly_) != TRestructureOutcome::Stopped;
}

}  // namespace quarry
