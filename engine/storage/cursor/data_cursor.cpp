// TDataCursor: options, life cycle, field and index definitions, the choice of order, and
// navigation, positions, bookmarks, searches, ranges and filters, each run as an operation
// (RunOperation, data_cursor_impl.h) over the walk and the visible set (see data_cursor.h).
// Record changes and locks are in data_cursor_edit.cpp, BLOB operations in
// data_cursor_blob.cpp, CreateTable and table information in data_cursor_create.cpp, text
// search in data_cursor_text.cpp.
//
// Other users' changes are noticed by comparing the snapshot of the three header change
// counters with the table object's counters at the start of every operation.
#include "engine/storage/cursor/data_cursor.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/platform/locale_services.h"
#include "engine/storage/cursor/data_cursor_impl.h"
#include "engine/storage/cursor/filter_expression_engine.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/files/file_names.h"
#include "engine/storage/index/index_key.h"
#include "engine/storage/maintenance/table_maintenance.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"

namespace quarry {

namespace {

// Password callback answers tried before an open gives up.
constexpr int kPasswordAttempts = 64;

std::string TrimmedTableName(std::string_view name) {
  std::string text = TrimText(name);
  // Without path: after the last separator of either kind.
  const std::size_t slash = text.find_last_of("/\\");
  if (slash != std::string::npos) text.erase(0, slash + 1);
  if (text.size() >= 4 && UpperAsciiText(std::string_view(text).substr(text.size() - 4)) == kDataExtension) {
    text.resize(text.size() - 4);
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

TDataCursor::TDataCursor(TDataDirectory& directory) : directory_(directory), impl_(std::make_unique<TImpl>()) {
  visible_.SetTextParameters([this]() -> const TTextParameters* {
    // Parameters changed through this cursor are not the ones the indexed words were cut by.
    return textParametersChanged_ ? nullptr : &TextParameters();
  });
}

TDataCursor::~TDataCursor() {
  try {
    Close();
  } catch (...) {
    // Destruction cannot report; Close releases the table whatever fails on the way.
  }
}

// ---------------------------------------------------------------------------------------
// Options

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

// ---------------------------------------------------------------------------------------
// Life cycle

void TDataCursor::Open() {
  if (table_ != nullptr) return;
  if (tableName_.empty()) RaiseEngineError(QUARRY_OSENOENT, {.database = directory_.DatabaseName()});
  // The table object is shared by the session's cursors: read-only is this cursor's own
  // restriction, so the files are opened for writing whenever they can be.
  TDataTable& table = directory_.OpenTable(tableName_, inMemory_, exclusive_, false);
  Attach(&table);
  referencesAsGiven_ = false;
  try {
    {
      // A table just taken up again from the kept ones was checked against its files then.
      std::optional<TReadLockGuard> lock;
      if (!table.TakeResumeCheck() || !table.HeadersVerified()) lock.emplace(table);
      if (!table.HeadersVerified()) {
        Data().VerifyHeader();
        Index().VerifyHeader(Data().Fields());
        if (table.Blob() != nullptr) table.Blob()->VerifyHeader();
        table.SetHeadersVerified();
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
    snapshot_.Take(table);
    walk_.SetBof();
  } catch (...) {
    Attach(nullptr);
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
  Attach(&table);
  referencesAsGiven_ = true;
  try {
    LoadDefinitions();
    ApplySlot(NaturalOrderSlot);
    snapshot_.Take(table);
  } catch (...) {
    Attach(nullptr);
    directory_.CloseTable(table);
    throw;
  }
}

void TDataCursor::Close() {
  if (table_ == nullptr) return;
  TFirstError errors;
  errors.Run([&] { UnlockRecord(0); });
  filters_.clear();
  visible_.Clear();
  if (textParametersChanged_ && textParameters_ && !ReadOnly()) {
    errors.Run([&] {
      TWriteLockGuard lock(*table_);
      WriteTextParameters(Index(), *textParameters_);
      table_->Flush(true, false, false);
    });
  }
  textParameters_.reset();
  textParametersChanged_ = false;
  blobs_.Clear();
  updateFailed_ = false;
  keepIdentifiers_ = false;
  TDataTable& table = *table_;
  Attach(nullptr);
  walk_.SetBof();
  errors.Run([&] { directory_.CloseTable(table); });
  errors.Rethrow();
}

void TDataCursor::Refresh() {
  RequireOpen();
  TReadLockGuard lock(*table_);
  Resync();
}

void TDataCursor::TakeChangeSnapshot() {
  RequireOpen();
  snapshot_.Take(*table_);
}

void TDataCursor::Attach(TDataTable* table) {
  table_ = table;
  visible_.Attach(table, this);
  walk_.Attach(table);
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
  walk_.SetRecordShape(recordSize_, bufferSize_, true);
  visible_.SetRecordShape(recordSize_, bufferSize_, &fields_);
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
  walk_.SetRecordShape(recordSize_, bufferSize_, false);
  visible_.SetRecordShape(recordSize_, bufferSize_);
  impl_->Bind(*this);
}

// What depends on the field definitions: the names filters resolve, the converted checks.
void TDataCursor::TImpl::Bind(TDataCursor& cursor) {
  collation.reset();
  // Filter texts name the presented fields first (a view's names), then the table's own;
  // either way a column reads its table field.
  std::vector<TFieldDefinition> names;
  for (int i = 0; i < cursor.FieldCount(); ++i) {
    const int tableFieldNo = cursor.presentedSource_[static_cast<std::size_t>(i)];
    if (tableFieldNo == 0) continue;
    const TFieldDefinition& shown = cursor.fields_[static_cast<std::size_t>(tableFieldNo - 1)];
    if (shown.Name == cursor.presented_[static_cast<std::size_t>(i)].Name) continue;
    TFieldDefinition alias = shown;
    alias.Name = cursor.presented_[static_cast<std::size_t>(i)].Name;
    names.push_back(std::move(alias));
  }
  names.insert(names.end(), cursor.fields_.begin(), cursor.fields_.end());
  filterColumns.Fields = std::move(names);
  filterColumns.TableName = cursor.TableName();
  checks.clear();
  TEnvironment& environment = cursor.Session().Environment();
  for (const TFieldDefinition& f : cursor.TableFields()) {
    if (f.MinValue.empty() && f.MaxValue.empty()) continue;
    TFieldCheck check;
    check.FieldNo = f.FieldNo;
    if (!f.MinValue.empty()) check.Min = ValueTextNode(f, f.MinValue, environment);
    if (!f.MaxValue.empty()) check.Max = ValueTextNode(f, f.MaxValue, environment);
    if (check.Min || check.Max) checks.push_back(std::move(check));
  }
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
    if (SameTextIgnoringCase(f.Name, wanted)) return f;
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
  if (table_ == nullptr || walk_.Natural()) return none;
  return Index().Definition(walk_.Slot());
}

int TDataCursor::KeyLength() const { return walk_.Natural() ? 0 : walk_.KeyLength(); }

void TDataCursor::SetIndex(std::string_view name) {
  RequireOpen();
  const int slot = Index().FindIndex(name);
  if (slot < 0) Raise(QUARRY_INVALIDINDEXNAME, {}, name);
  if (slot == walk_.Slot()) return;
  SetIndexSlot(slot);
}

void TDataCursor::SetIndexSlot(int slot) {
  ChooseIndexSlot(slot);
  // Choosing an index is mostly followed by a range or a search: the first record is read
  // alone, and a walk that follows reads ahead from its next record.
  TSearchScope positioning(walk_.ReadAhead());
  MoveToFront();
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
  reversed_ = false;
  walk_.Choose(slot);
}

// ---------------------------------------------------------------------------------------
// Change detection and read-ahead (the data file's questions)

bool TDataCursor::CheckForChanges() {
  // Called by the data file before it reads from disk. Under a lock of ours the caches were
  // brought up to date when the lock was taken.
  if (table_ == nullptr || table_->HoldsWriteLock() || table_->HoldsTableLock() || table_->HoldsReadLockA() ||
      table_->HoldsReadLockB()) {
    return false;
  }
  return table_->CheckForChanges();
}

int TDataCursor::ConsecutiveRecords(std::int32_t recordNo, bool forward, int limit) {
  return walk_.ConsecutiveRecords(recordNo, forward, limit);
}

// ---------------------------------------------------------------------------------------
// Key-only reading

bool TDataCursor::KeyHoldsFields(int slot, const std::vector<int>& fieldNumbers) const {
  if (table_ == nullptr || slot < 0 || slot > MaxSecondaryIndexes) return false;
  const TIndexDefinition& index = Index().Definition(slot);
  if (!index.Defined() || index.CaseInsensitive) return false;
  const std::vector<TFieldDefinition>& fields = Data().Fields();
  for (int i = 0; i < index.FieldCount; ++i) {
    const int number = index.FieldNumbers[static_cast<std::size_t>(i)];
    if (index.FieldDescending[static_cast<std::size_t>(i)] || number < 1 || number > static_cast<int>(fields.size()) ||
        !KeyDecodesField(fields[static_cast<std::size_t>(number - 1)]))
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
    walk_.SetKeysOnly(false);
    return true;
  }
  if (walk_.Natural() || calculator_ || !KeyHoldsFields(walk_.Slot(), {})) return false;
  walk_.SetKeysOnly(true);
  return true;
}

// ---------------------------------------------------------------------------------------
// Records delivered

const std::uint8_t* TDataCursor::CurrentRecord() const {
  return walk_.Bof() || walk_.Eof() || table_ == nullptr ? nullptr : walk_.Current().data();
}

TEngineErrorCode TDataCursor::Deliver(TEngineErrorCode code, std::uint8_t* buffer) {
  if (buffer != nullptr) {
    if (code == QUARRY_NONE) {
      CopyOut(walk_.Current().data(), buffer);
    } else {
      std::memset(buffer, 0, static_cast<std::size_t>(bufferSize_));
    }
  }
  return code;
}

// ---------------------------------------------------------------------------------------
// Navigation

TEngineErrorCode TDataCursor::Presented(TEngineErrorCode code) const {
  if (!reversed_) return code;
  if (code == QUARRY_BOF) return QUARRY_EOF;
  if (code == QUARRY_EOF) return QUARRY_BOF;
  return code;
}

TEngineErrorCode TDataCursor::MoveToFront() {
  return RunOperation([&] { return reversed_ ? walk_.Last() : walk_.First(); });
}

TEngineErrorCode TDataCursor::First() { return Presented(MoveToFront()); }

TEngineErrorCode TDataCursor::Last() {
  return Presented(RunOperation([&] { return reversed_ ? walk_.First() : walk_.Last(); }));
}

TEngineErrorCode TDataCursor::Next(std::uint8_t* buffer) {
  return Deliver(Presented(RunOperation([&] { return reversed_ ? walk_.Prior() : walk_.Next(); })), buffer);
}

TEngineErrorCode TDataCursor::Prior(std::uint8_t* buffer) {
  return Deliver(Presented(RunOperation([&] { return reversed_ ? walk_.Next() : walk_.Prior(); })), buffer);
}

void TDataCursor::Home() {
  RequireOpen();
  if (reversed_) walk_.SetEof();
  else walk_.SetBof();
}

void TDataCursor::End() {
  RequireOpen();
  if (reversed_) walk_.SetBof();
  else walk_.SetEof();
}

TEngineErrorCode TDataCursor::ReadBlock(std::uint8_t* buffer, int& count) {
  const int wanted = count;
  count = 0;
  if (wanted <= 0) return QUARRY_NONE;
  return RunOperation([&] {
    while (count < wanted) {
      const TEngineErrorCode code = Presented(reversed_ ? walk_.Prior() : walk_.Next());
      if (code != QUARRY_NONE) return code;
      CopyOut(walk_.Current().data(), buffer + static_cast<std::ptrdiff_t>(count) * bufferSize_);
      ++count;
    }
    return QUARRY_NONE;
  });
}

// ---------------------------------------------------------------------------------------
// Counts and positions

std::int32_t TDataCursor::RecordCount() {
  return RunOperation([&] { return walk_.RecordCount(); });
}

std::int32_t TDataCursor::GetRecNo() {
  return RunOperation([&]() -> std::int32_t {
    const std::int32_t n = walk_.RecNo();
    return reversed_ && n > 0 ? walk_.RecordCount() - n + 1 : n;
  });
}

bool TDataCursor::SetRecNo(std::int32_t n) {
  TSearchScope search(walk_.ReadAhead());
  return RunOperation([&] {
    if (!reversed_) return walk_.SeekRecNo(n);
    const std::int32_t count = walk_.RecordCount();
    return n >= 1 && n <= count && walk_.SeekRecNo(count - n + 1);
  });
}

// ---------------------------------------------------------------------------------------
// Bookmarks

int TDataCursor::BookmarkSize() const { return walk_.BookmarkSize(); }

TBookmark TDataCursor::GetBookmark() {
  RequireOpen();
  return walk_.Bookmark();
}

TEngineErrorCode TDataCursor::GotoBookmark(const TBookmark& bookmark, bool nearest) {
  TSearchScope search(walk_.ReadAhead());
  return RunOperation([&] { return walk_.GotoBookmark(bookmark, nearest); });
}

int TDataCursor::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
  RequireOpen();
  const int order = walk_.CompareBookmarks(a, b);
  return reversed_ ? -order : order;
}

// ---------------------------------------------------------------------------------------
// Searching

bool TDataCursor::FindKey(const std::uint8_t* record, int fieldCount, int partialLength, bool nearest,
                          std::uint8_t* buffer) {
  RequireOpen();
  const int slot = walk_.Slot();
  if (walk_.Natural() || slot > MaxSecondaryIndexes) return false;
  const std::uint8_t* key = walk_.BuildKey(record);
  const int given = walk_.GivenKeyBytes(key, fieldCount, partialLength);
  const int keyFields = Index().Definition(slot).FieldCount;
  const bool exact =
      partialLength <= 0 && (fieldCount <= 0 || fieldCount >= keyFields) && Index().Definition(slot).Unique;
  return FindRawKey(key, exact ? walk_.KeyLength() : given, nearest, buffer);
}

bool TDataCursor::FindRawKey(const std::uint8_t* key, int keyLength, bool nearest, std::uint8_t* buffer) {
  TSearchScope search(walk_.ReadAhead());
  const bool found = RunOperation([&] { return walk_.FindKey(key, keyLength, nearest); });
  if (buffer != nullptr && !walk_.Bof() && !walk_.Eof()) CopyOut(walk_.Current().data(), buffer);
  return found;
}

TEngineErrorCode TDataCursor::SyncTo(TDataCursor& other) {
  TSearchScope search(walk_.ReadAhead());
  return RunOperation([&]() -> TEngineErrorCode {
    const std::uint8_t* record = other.CurrentRecord();
    if (record == nullptr || other.table_ == nullptr) return QUARRY_RECNOTFOUND;
    if (walk_.Natural()) return walk_.PositionOnRecord(other.walk_.RecordNo(), false);
    if (walk_.Slot() > MaxSecondaryIndexes) return QUARRY_RECNOTFOUND;
    return walk_.PositionOnKey(walk_.BuildKey(record), true) ? QUARRY_NONE : QUARRY_RECNOTFOUND;
  });
}

TEngineErrorCode TDataCursor::GotoRecordNo(std::int32_t recordNo) {
  TSearchScope search(walk_.ReadAhead());
  return RunOperation([&] { return walk_.PositionOnRecord(recordNo, false); });
}

// ---------------------------------------------------------------------------------------
// Ranges

void TDataCursor::SetRange(const std::uint8_t* startRecord, int startFieldCount, const std::uint8_t* endRecord,
                           int endFieldCount) {
  SetRange(startRecord, startFieldCount, false, endRecord, endFieldCount, false);
}

void TDataCursor::SetRange(const std::uint8_t* startRecord, int startFieldCount, bool startExcluded,
                           const std::uint8_t* endRecord, int endFieldCount, bool endExcluded) {
  RequireOpen();
  const int slot = walk_.Slot();
  if (!walk_.Natural() && slot <= MaxSecondaryIndexes) {
    const TKeyBuilder& builder = Index().KeyBuilder(slot);
    std::uint8_t* start = visible_.RangeStart();
    std::uint8_t* end = visible_.RangeEnd();
    builder.Build(startRecord, start);
    walk_.PadKey(start, walk_.GivenKeyBytes(start, startFieldCount, 0), startExcluded);
    builder.Build(endRecord, end);
    walk_.PadKey(end, walk_.GivenKeyBytes(end, endFieldCount, 0), !endExcluded);
    visible_.ActivateRange();
  }
  visible_.InvalidateVisible();
  MoveToFront();
}

bool TDataCursor::RangeCanExclude(int fieldCount) const {
  const int slot = walk_.Slot();
  if (!IsOpen() || walk_.Natural() || slot > MaxSecondaryIndexes || fieldCount < 1) return false;
  const std::vector<TKeyFieldLayout>& layout = Index().KeyBuilder(slot).Layout();
  if (fieldCount > static_cast<int>(layout.size())) return false;
  const TKeyFieldLayout& last = layout[static_cast<std::size_t>(fieldCount - 1)];
  if (last.Offset + 1 + last.Size >= walk_.KeyLength()) return false;
  // Strings of tables with a language compare by the locale, where padding bytes need not
  // sort lowest or highest.
  if (LanguageId() != 0)
    for (std::size_t i = static_cast<std::size_t>(fieldCount); i < layout.size(); ++i)
      if (layout[i].IsString) return false;
  return true;
}

void TDataCursor::CancelRange() {
  RequireOpen();
  visible_.CancelRange();
  MoveToFront();
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
  visible_.Analyse(*handle);
  FiltersChanged();
  return handle;
}

TFilter* TDataCursor::InstallResolvedFilter(TExpTree checked, const TFilterOptions& options) {
  RequireOpen();
  if (FilterCount() >= MaxCursorFilters) Raise(QUARRY_INTERNALLIMIT);
  if (!checked) Raise(QUARRY_INVALIDFILTER);
  auto filter = std::make_unique<TFilter>(*this, std::move(checked), options);
  TFilter* handle = filter.get();
  auto at = std::find_if(filters_.begin(), filters_.end(), [](const auto& f) { return f->GoesLast(); });
  filters_.insert(at, std::move(filter));
  visible_.Analyse(*handle);
  visible_.SetFiltersActive(true);
  visible_.InvalidateFilters();
  walk_.SetBof();
  return handle;
}

void TDataCursor::UninstallFilter(TFilter* filter) {
  RequireOpen();
  filters_.erase(FindFilter(filter));
  visible_.SetFiltersActive(std::any_of(filters_.begin(), filters_.end(), [](const auto& f) { return f->Active(); }));
  visible_.InvalidateFilters();
  walk_.SetBof();
}

void TDataCursor::PrepareFilters() {
  RequireOpen();
  if (!visible_.FiltersActive()) return;
  // Built without the range, the bitmaps stay valid while the caller moves its ranges.
  if (visible_.RangeActive()) visible_.CancelRange();
  RunOperation([&] {
    visible_.BuildFiltersWhole(walk_.Natural(), walk_.Slot());
    return QUARRY_NONE;
  });
  walk_.SetBof();
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
  visible_.SetFiltersActive(std::any_of(filters_.begin(), filters_.end(), [](const auto& f) { return f->Active(); }));
  visible_.InvalidateFilters();
  MoveToFront();
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
