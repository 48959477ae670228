// TQuarryDataSet and TQuarryDBDataSet: opening, fields, navigation, filters, locate and
// lookup, bookmarks and editing over an engine cursor (see quarry_dataset.h).
#include "dbaccess/quarry_dataset.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <set>

#include "dbaccess/access_messages.h"
#include "dbaccess/field_values.h"
#include "dbaccess/name_compare.h"
#include "dbaccess/quarry_database.h"
#include "dbaccess/quarry_session.h"
#include "dbaccess/record_search.h"
#include "dbaccess/session_list.h"
#include "dbaccess/vector_row_source.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/values/bcd.h"
#include "engine/values/date_time_text.h"

namespace quarry {

// ---- TQuarryField ----

TQuarryField::TQuarryField(TQuarryDataSet& dataSet, TQuarryFieldDef def, int index)
    : dataSet_(dataSet), def_(std::move(def)), index_(index) {}

const TFieldDefinition& TQuarryField::Engine() const {
  return dataSet_.cursor_->Fields()[static_cast<std::size_t>(dataSet_.engineIndex_[index_])];
}

bool IsBlobType(TDataFieldType type) {
  switch (type) {
  case TDataFieldType::ftMemo:
  case TDataFieldType::ftBlob:
  case TDataFieldType::ftFmtMemo:
  case TDataFieldType::ftGraphic:
  case TDataFieldType::ftTypedBinary: return true;
  default: return false;
  }
}

bool TQuarryField::IsBlob() const { return IsBlobType(def_.DataType); }

TDataValue TQuarryField::Value() const { return dataSet_.ReadField(index_); }
bool TQuarryField::IsNull() const { return dataSet_.FieldIsNull(index_); }
std::string TQuarryField::AsString() const {
  TDataValue value = Value();
  if (auto* text = std::get_if<std::string>(&value)) return std::move(*text);
  return ValueText(value);
}
std::int64_t TQuarryField::AsLargeInt() const { return ValueInt(Value()); }
std::int32_t TQuarryField::AsInteger() const {
  TDataValue value = Value();
  if (auto* s = std::get_if<std::string>(&value)) return ParseIntegerText(*s);
  return static_cast<std::int32_t>(ValueInt(value));
}
double TQuarryField::AsFloat() const { return ValueFloat(Value()); }
bool TQuarryField::AsBoolean() const { return IsNull() ? false : ValueBool(Value()); }

void TQuarryField::SetValue(const TDataValue& value) { dataSet_.WriteField(index_, value); }
void TQuarryField::SetAsString(std::string_view text) { SetValue(std::string(text)); }
void TQuarryField::SetAsInteger(std::int64_t value) { SetValue(value); }
void TQuarryField::SetAsFloat(double value) { SetValue(value); }
void TQuarryField::SetAsBoolean(bool value) { SetValue(value); }
void TQuarryField::Clear() { SetValue(std::monostate{}); }

// ---- TQuarryDataSet: activation ----

TQuarryDataSet::TQuarryDataSet(TQuarryOwner* owner, std::string componentName)
    : TQuarryComponent(owner, std::move(componentName)) {}

TQuarryDataSet::~TQuarryDataSet() = default;

TQuarrySession& TQuarryDataSet::Session() { return LockSession(); }

void TQuarryDataSet::RequireActive() const {
  if (!Active()) msg::Raise(msg::DataSetClosed);
}

void TQuarryDataSet::Open() {
  if (Active()) return;
  SetDatabaseUse(true);
  try {
    TSessionLock lock(LockSession());
    cursor_ = CreateCursor();
    if (cursor_ == nullptr) msg::Raise(msg::NoTableHandle);
    canModify_ = !cursor_->ReadOnly();
    BindFields();
    AfterCursorOpen();
    record_.assign(static_cast<std::size_t>(cursor_->RecordBufferSize()), 0);
    state_ = TDataSetState::dsBrowse;
    InstallFilters();
    cursor_->Home();
    TEngineErrorCode code = CheckCode(cursor_->Next(record_.data()));
    TakeRecord(code == QUARRY_NONE);
    bof_ = true;
    eof_ = !hasRecord_;
  } catch (...) {
    try {
      TSessionLock lock(LockSession());
      RemoveFilters();
      fields_.clear();
      DestroyCursor();
    } catch (...) {}
    state_ = TDataSetState::dsInactive;
    hasRecord_ = false;
    SetDatabaseUse(false);
    throw;
  }
  OpenedHook();
  if (afterOpen_) afterOpen_(*this);
  if (afterScroll_) afterScroll_(*this);
  NotifyLinks();
}

void TQuarryDataSet::Close() {
  if (!Active()) return;
  {
    TSessionLock lock(LockSession());
    if (state_ == TDataSetState::dsEdit && cursor_ != nullptr) cursor_->CancelEdit();
    state_ = TDataSetState::dsBrowse;
    RemoveFilters();
    DropLookupCursor();
    editCopy_.clear();
    fields_.clear();
    fieldDefs_.clear();
    engineIndex_.clear();
    record_.clear();
    bookmark_.clear();
    DestroyCursor();
  }
  state_ = TDataSetState::dsInactive;
  hasRecord_ = false;
  bof_ = eof_ = true;
  SetDatabaseUse(false);
  NotifyLinks();
}

void TQuarryDataSet::DestroyCursor() {
  if (OwnsCursor() && ownedCursor_) {
    ownedCursor_->Close();
    ownedCursor_.reset();
  }
  cursor_ = nullptr;
}

void TQuarryDataSet::BindFields() {
  fieldDefs_.clear();
  fields_.clear();
  engineIndex_.clear();
  std::vector<std::string> taken;
  auto isTaken = [&](const std::string& name) {
    return std::any_of(taken.begin(), taken.end(), [&](const std::string& t) { return SameName(t, name); });
  };
  const auto& engineFields = cursor_->Fields();
  for (std::size_t i = 0; i < engineFields.size(); ++i) {
    const TFieldDefinition& e = engineFields[i];
    TDataFieldType type = MapEngineFieldType(static_cast<std::uint8_t>(e.DataType), e.SubType);
    if (type == TDataFieldType::ftUnknown) continue;
    // The SQL engine's own bookkeeping columns (AVG counters) are not the user's.
    if (e.Internal) continue;
    TQuarryFieldDef def;
    def.Name = e.Name;
    for (int n = 1; isTaken(def.Name); ++n) def.Name = e.Name + "_" + std::to_string(n);
    taken.push_back(def.Name);
    def.DataType = type;
    switch (type) {
    case TDataFieldType::ftString:
    case TDataFieldType::ftFixedChar:
    case TDataFieldType::ftBytes:
    case TDataFieldType::ftVarBytes: def.Size = e.Size; break;
    case TDataFieldType::ftBCD:
      def.Size = e.Scale;
      def.Precision = 32;
      break;
    default: break;
    }
    def.Required = e.Required;
    def.FieldNo = e.FieldNo;
    engineIndex_.push_back(static_cast<int>(i));
    fieldDefs_.push_back(def);
  }
  for (std::size_t i = 0; i < fieldDefs_.size(); ++i) {
    fields_.push_back(std::make_unique<TQuarryField>(*this, fieldDefs_[i], static_cast<int>(i)));
    // A computed column of a live result is calculated from the record, never written.
    if (fields_.back()->Engine().Computed) fields_.back()->SetReadOnly(true);
  }
  if (autoDisplayLabels_) ApplyDisplayLabels();
  ApplyFieldOrigins();
}

void TQuarryDataSet::ApplyDisplayLabels() {
  for (auto& field : fields_) {
    const std::string& text = field->Engine().Description;
    if (!text.empty()) field->SetDisplayLabel(text);
  }
}

void TQuarryDataSet::ApplyFieldOrigins() {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    fields_[i]->def_.Origin = fields_[i]->Engine().Origin;
    fieldDefs_[i].Origin = fields_[i]->def_.Origin;
  }
}

// ---- fields ----

TQuarryField& TQuarryDataSet::Fields(int index) {
  if (index < 0 || index >= FieldCount()) msg::Raise(msg::FieldIndexRange);
  return *fields_[static_cast<std::size_t>(index)];
}

TQuarryField* TQuarryDataSet::FindField(std::string_view name) {
  for (auto& field : fields_) {
    if (SameName(field->FieldName(), name)) return field.get();
  }
  return nullptr;
}

TQuarryField& TQuarryDataSet::FieldByName(std::string_view name) {
  TQuarryField* field = FindField(name);
  if (field == nullptr) msg::Raise(msg::FieldNotFound, name);
  return *field;
}

std::vector<TQuarryFieldDef> TQuarryDataSet::FieldDefList() const {
  std::vector<TQuarryFieldDef> out;
  for (const auto& field : fields_) out.push_back(field->Def());
  return out;
}

std::vector<int> TQuarryDataSet::FieldIndexes(std::string_view names) {
  std::vector<int> out;
  for (const std::string& name : SplitNameList(names)) out.push_back(FieldByName(name).Index());
  return out;
}

TDataValue TQuarryDataSet::ReadField(int index) const {
  if (!Active()) msg::Raise(msg::DataSetClosed);
  if (state_ == TDataSetState::dsSetKey) {
    const std::uint8_t* key = const_cast<TQuarryDataSet*>(this)->KeyRecord();
    if (key != nullptr) return DecodeFieldValue(key, EngineField(index));
  }
  if (!hasRecord_ && state_ != TDataSetState::dsInsert && state_ != TDataSetState::dsFilter) {
    return std::monostate{};
  }
  const TFieldDefinition& def = cursor_->Fields()[static_cast<std::size_t>(engineIndex_[index])];
  if (def.IsBlob() && !def.Computed) {
    // The value of a BLOB field is its whole content (a memo's text), read through the cursor.
    if (IsFieldNull(record_.data(), def)) return std::monostate{};
    std::vector<std::uint8_t> value;
    cursor_->ReadBlobValue(def.FieldNo, record_.data(), value);
    if (value.empty()) return std::monostate{};
    return std::string(value.begin(), value.end());
  }
  return DecodeFieldValue(record_.data(), def);
}

bool TQuarryDataSet::FieldIsNull(int index) const {
  if (Active() && state_ == TDataSetState::dsBrowse && hasRecord_) {
    const TFieldDefinition& def = cursor_->Fields()[static_cast<std::size_t>(engineIndex_[index])];
    if (!def.Computed && (def.DataType == TFieldType::String || def.DataType == TFieldType::Integer))
      return !def.IsAutoInc() && IsFieldNull(record_.data(), def);
  }
  return IsNullValue(ReadField(index));
}

void TQuarryDataSet::AppendFieldText(int index, std::string& out) const {
  if (index >= 0 && index < static_cast<int>(fields_.size()) && Active() && state_ == TDataSetState::dsBrowse &&
      hasRecord_) {
    const TFieldDefinition& def = cursor_->Fields()[static_cast<std::size_t>(engineIndex_[index])];
    if (!def.Computed && def.DataType == TFieldType::String) {
      if (IsFieldNull(record_.data(), def)) return;
      // As GetFieldString reads it: up to the terminator, never past the storage size.
      const char* text = reinterpret_cast<const char*>(FieldData(record_.data(), def));
      out.append(text, strnlen(text, def.ValueSize));
      return;
    }
  }
  out += const_cast<TQuarryDataSet*>(this)->Fields(index).AsString();
}

void TQuarryDataSet::WriteField(int index, const TDataValue& value) {
  TQuarryField& field = Fields(index);
  if (state_ == TDataSetState::dsSetKey) {
    std::uint8_t* key = KeyRecord();
    if (key != nullptr) {
      KeyFieldWritten(field);
      TSessionLock lock(LockSession());
      EncodeInto(key, index, value);
      return;
    }
  }
  if (field.ReadOnly() || !canModify_) msg::Raise(msg::FieldReadOnly, field.FieldName());
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) msg::Raise(msg::NotEditing);
  const TFieldDefinition& def = field.Engine();
  TSessionLock lock(LockSession());
  (void)def;
  EncodeInto(record_.data(), index, value);
}

const TFieldDefinition& TQuarryDataSet::EngineField(int index) const {
  return cursor_->Fields()[static_cast<std::size_t>(engineIndex_[static_cast<std::size_t>(index)])];
}

TDataValue TQuarryDataSet::DecodeFrom(const std::uint8_t* record, int index) const {
  return DecodeFieldValue(record, EngineField(index));
}

void TQuarryDataSet::EncodeInto(std::uint8_t* record, int index, const TDataValue& value) {
  const TFieldDefinition& def = EngineField(index);
  // An empty text is no value for a field that is not a string.
  if (IsNullValue(value) || (std::holds_alternative<std::string>(value) && def.DataType != TFieldType::String &&
                             std::get<std::string>(value).empty())) {
    cursor_->PutField(def.FieldNo, record, nullptr);
    return;
  }
  std::vector<std::uint8_t> scratch(record_.size() + 16, 0);
  EncodeFieldValue(scratch.data(), def, value);
  cursor_->PutField(def.FieldNo, record, FieldData(scratch.data(), def));
}

void TQuarryDataSet::CheckLinkCycle(TQuarryDataSet* source) const {
  // Bounded by the number of datasets a chain can pass before it must repeat.
  const TQuarryDataSet* at = source;
  for (int step = 0; at != nullptr && step < 4096; ++step) {
    if (at == this) msg::Raise(msg::CircularLink);
    at = at->LinkSource();
  }
}

// ---- navigation ----

TEngineErrorCode TQuarryDataSet::CheckCode(TEngineErrorCode code) { return CheckCursorCode(code); }

void TQuarryDataSet::TakeRecord(bool found) {
  hasRecord_ = found;
  if (found) {
    bookmark_ = cursor_->GetBookmark();
  } else {
    bookmark_.clear();
    std::fill(record_.begin(), record_.end(), 0);
  }
}

void TQuarryDataSet::ResyncCursor() {
  if (hasRecord_) {
    if (cursor_->GotoBookmark(bookmark_, true) == QUARRY_NONE) return;
  }
  cursor_->Home();
}

void TQuarryDataSet::RequireBrowse() {
  RequireActive();
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) Post();
}

void TQuarryDataSet::Scroll(const std::function<void()>& move) {
  RequireBrowse();
  if (beforeScroll_) beforeScroll_(*this);
  {
    TSessionLock lock(LockSession());
    move();
  }
  if (afterScroll_) afterScroll_(*this);
  NotifyLinks();
}

void TQuarryDataSet::First() {
  Scroll([this] {
    cursor_->Home();
    TakeRecord(CheckCode(cursor_->Next(record_.data())) == QUARRY_NONE);
    bof_ = true;
    eof_ = !hasRecord_;
  });
}

void TQuarryDataSet::Last() {
  Scroll([this] {
    cursor_->End();
    TakeRecord(CheckCode(cursor_->Prior(record_.data())) == QUARRY_NONE);
    eof_ = true;
    bof_ = !hasRecord_;
  });
}

int TQuarryDataSet::MoveBy(int distance) {
  RequireBrowse();
  if (distance == 0) return 0;
  if ((distance > 0 && eof_) || (distance < 0 && bof_)) return 0;
  int moved = 0;
  Scroll([&] {
    std::vector<std::uint8_t>& next = scratch_;
    next.resize(record_.size());
    const bool forward = distance > 0;
    for (int left = forward ? distance : -distance; left > 0; --left) {
      TEngineErrorCode code = CheckCode(forward ? cursor_->Next(next.data()) : cursor_->Prior(next.data()));
      if (code != QUARRY_NONE) {
        (forward ? eof_ : bof_) = true;
        ResyncCursor();
        break;
      }
      record_.swap(next);
      TakeRecord(true);
      bof_ = eof_ = false;
      moved += forward ? 1 : -1;
    }
  });
  return moved;
}

void TQuarryDataSet::Next() { MoveBy(1); }
void TQuarryDataSet::Prior() { MoveBy(-1); }

std::int32_t TQuarryDataSet::RecordCount() {
  RequireActive();
  TSessionLock lock(LockSession());
  return cursor_->RecordCount();
}

std::int32_t TQuarryDataSet::RecNo() {
  RequireActive();
  if (!hasRecord_) return 0;
  TSessionLock lock(LockSession());
  return cursor_->GetRecNo();
}

void TQuarryDataSet::SetRecNo(std::int32_t recNo) {
  Scroll([&] {
    if (!cursor_->SetRecNo(recNo)) return;
    TakeRecord(CheckCode(cursor_->GetCurrentRecord(record_.data())) == QUARRY_NONE);
    bof_ = eof_ = false;
  });
}

void TQuarryDataSet::Refresh() {
  RequireBrowse();
  TSessionLock lock(LockSession());
  cursor_->Refresh();
  TEngineErrorCode code = CheckCode(cursor_->GetCurrentRecord(record_.data()));
  if (code != QUARRY_NONE) {
    cursor_->Home();
    TakeRecord(CheckCode(cursor_->Next(record_.data())) == QUARRY_NONE);
    bof_ = true;
    eof_ = !hasRecord_;
  } else {
    TakeRecord(true);
  }
}

// ---- bookmarks ----

TBookmark TQuarryDataSet::GetBookmark() { return hasRecord_ ? bookmark_ : TBookmark(); }

void TQuarryDataSet::GotoBookmark(const TBookmark& bookmark) {
  Scroll([&] {
    TEngineErrorCode code = cursor_->GotoBookmark(bookmark);
    if (code != QUARRY_NONE) {
      ResyncCursor();
      RaiseEngineError(code);
    }
    TakeRecord(CheckCode(cursor_->GetCurrentRecord(record_.data())) == QUARRY_NONE);
    bof_ = eof_ = false;
  });
}

bool TQuarryDataSet::BookmarkValid(const TBookmark& bookmark) {
  RequireActive();
  if (bookmark.empty()) return false;
  TSessionLock lock(LockSession());
  bool valid = cursor_->GotoBookmark(bookmark) == QUARRY_NONE;
  ResyncCursor();
  return valid;
}

int TQuarryDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? 1 : -1);
  RequireActive();
  TSessionLock lock(LockSession());
  return cursor_->CompareBookmarks(a, b);
}

// ---- filters ----

void TQuarryDataSet::RemoveFilters() {
  if (cursor_ == nullptr) return;
  if (textFilter_ != nullptr) cursor_->RemoveFilter(textFilter_);
  if (recordFilter_ != nullptr) cursor_->RemoveFilter(recordFilter_);
  textFilter_ = recordFilter_ = nullptr;
}

void TQuarryDataSet::InstallFilters() {
  RemoveFilters();
  if (!filterText_.empty()) {
    TFilterOptions options;
    options.CaseInsensitive = filterOptions_.CaseInsensitive;
    options.PartialCompare = !filterOptions_.NoPartialCompare;
    textFilter_ = cursor_->AddFilter(filterText_, options);
    if (!filtered_) cursor_->DeactivateFilter(textFilter_);
  }
  if (onFilterRecord_) {
    recordFilter_ = cursor_->AddFilter(
        [this](TDataCursor&, const std::uint8_t* record) {
          // The handler reads the candidate through the fields, in filter state.
          std::vector<std::uint8_t> saved(record, record + record_.size());
          saved.swap(record_);
          TDataSetState savedState = state_;
          state_ = TDataSetState::dsFilter;
          bool accept = true;
          try {
            onFilterRecord_(*this, accept);
          } catch (...) {
            state_ = savedState;
            record_.swap(saved);
            throw;
          }
          state_ = savedState;
          record_.swap(saved);
          return accept;
        },
        this);
    if (!filtered_) cursor_->DeactivateFilter(recordFilter_);
  }
}

void TQuarryDataSet::SetFilter(std::string_view text) {
  filterText_ = std::string(text);
  if (!Active()) return;
  {
    TSessionLock lock(LockSession());
    InstallFilters();
  }
  First();
}

void TQuarryDataSet::SetFiltered(bool on) {
  filtered_ = on;
  if (!Active()) return;
  {
    TSessionLock lock(LockSession());
    for (TFilter* filter : {textFilter_, recordFilter_}) {
      if (filter == nullptr) continue;
      on ? cursor_->ActivateFilter(filter) : cursor_->DeactivateFilter(filter);
    }
  }
  First();
}

void TQuarryDataSet::SetFilterOptions(TFilterSettings options) {
  filterOptions_ = options;
  if (Active() && !filterText_.empty()) SetFilter(filterText_);
}

void TQuarryDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  onFilterRecord_ = std::move(handler);
  if (!Active()) return;
  {
    TSessionLock lock(LockSession());
    InstallFilters();
  }
  First();
}

// Moves with the filters in force even when not filtered: 0 first, 1 last, 2 next, 3 prior.
bool TQuarryDataSet::FindMove(int move) {
  bool ok = false;
  Scroll([&] {
    const bool switchOn = !filtered_;
    auto setFilters = [&](bool on) {
      for (TFilter* filter : {textFilter_, recordFilter_}) {
        if (filter != nullptr) on ? cursor_->ActivateFilter(filter) : cursor_->DeactivateFilter(filter);
      }
    };
    TBookmark from = hasRecord_ ? bookmark_ : TBookmark();
    std::vector<std::uint8_t> buffer(record_.size());
    TBookmark found;
    if (switchOn) setFilters(true);
    try {
      TEngineErrorCode code = QUARRY_EOF;
      if (move == 0 || ((move == 2) && from.empty())) {
        cursor_->Home();
        code = CheckCode(cursor_->Next(buffer.data()));
      } else if (move == 1 || ((move == 3) && from.empty())) {
        cursor_->End();
        code = CheckCode(cursor_->Prior(buffer.data()));
      } else if (cursor_->GotoBookmark(from, true) == QUARRY_NONE &&
                 std::equal(from.begin(), from.end(), cursor_->GetBookmark().begin(), cursor_->GetBookmark().end())) {
        code = CheckCode(move == 2 ? cursor_->Next(buffer.data()) : cursor_->Prior(buffer.data()));
      } else if (move == 2) {
        // The current record is filtered out; the nearest visible one lies after it.
        code = CheckCode(cursor_->GetCurrentRecord(buffer.data()));
      } else {
        code = CheckCode(cursor_->Prior(buffer.data()));
      }
      if (code == QUARRY_NONE) found = cursor_->GetBookmark();
    } catch (...) {
      if (switchOn) setFilters(false);
      ResyncCursor();
      throw;
    }
    if (switchOn) setFilters(false);
    ok = !found.empty() && cursor_->GotoBookmark(found) == QUARRY_NONE;
    if (ok) {
      TakeRecord(CheckCode(cursor_->GetCurrentRecord(record_.data())) == QUARRY_NONE);
      bof_ = eof_ = false;
    } else {
      ResyncCursor();
    }
  });
  return ok;
}

bool TQuarryDataSet::FindFirst() { return FindMove(0); }
bool TQuarryDataSet::FindLast() { return FindMove(1); }
bool TQuarryDataSet::FindNext() { return FindMove(2); }
bool TQuarryDataSet::FindPrior() { return FindMove(3); }

// ---- locate and lookup ----

TRecordSearch TQuarryDataSet::RecordSearch() {
  return TRecordSearch(*cursor_, engineIndex_, record_.size(),
                       [this](const std::vector<int>& fields, bool caseInsensitive) {
                         return GetLookupCursor(fields, caseInsensitive);
                       });
}

bool TQuarryDataSet::Locate(std::string_view keyFields, const std::vector<TDataValue>& values, TLocateOptions options) {
  RequireBrowse();
  std::vector<int> fields = FieldIndexes(keyFields);
  if (fields.size() != values.size()) msg::Raise(msg::FieldIndexRange);
  TBookmark found;
  bool ok = false;
  {
    TSessionLock lock(LockSession());
    ok = RecordSearch().Find(fields, values, options, found);
    if (!ok) ResyncCursor();
  }
  if (!ok) return false;
  Scroll([&] {
    if (cursor_->GotoBookmark(found) != QUARRY_NONE) {
      ok = false;
      ResyncCursor();
      return;
    }
    TakeRecord(CheckCode(cursor_->GetCurrentRecord(record_.data())) == QUARRY_NONE);
    bof_ = eof_ = false;
  });
  return ok;
}

std::vector<TDataValue> TQuarryDataSet::Lookup(std::string_view keyFields, const std::vector<TDataValue>& values,
                                               std::string_view resultFields) {
  RequireBrowse();
  std::vector<int> fields = FieldIndexes(keyFields);
  std::vector<int> results = FieldIndexes(resultFields);
  if (fields.size() != values.size()) msg::Raise(msg::FieldIndexRange);
  TSessionLock lock(LockSession());
  TBookmark found;
  bool ok = RecordSearch().Find(fields, values, {}, found);
  std::vector<TDataValue> out;
  if (ok && cursor_->GotoBookmark(found) == QUARRY_NONE) {
    std::vector<std::uint8_t> buffer(record_.size());
    if (cursor_->GetCurrentRecord(buffer.data()) == QUARRY_NONE) {
      for (int index : results) {
        out.push_back(
            DecodeFieldValue(buffer.data(), cursor_->Fields()[static_cast<std::size_t>(engineIndex_[index])]));
      }
    }
  }
  ResyncCursor();
  return out;
}

// ---- editing ----

void TQuarryDataSet::Edit() {
  RequireActive();
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) return;
  if (!canModify_) msg::Raise(msg::ReadOnlyDataSet);
  if (!hasRecord_) {
    Insert();
    return;
  }
  TSessionLock lock(LockSession());
  editCopy_ = record_;
  CheckCode(cursor_->GetCurrentRecord(record_.data(), true));
  state_ = TDataSetState::dsEdit;
}

void TQuarryDataSet::Insert() {
  RequireBrowse();
  if (!canModify_) msg::Raise(msg::ReadOnlyDataSet);
  TSessionLock lock(LockSession());
  editCopy_ = record_;
  if (!(copyOnAppend_ && hasRecord_)) cursor_->InitRecord(record_.data());
  state_ = TDataSetState::dsInsert;
  InitNewRecord();
}

void TQuarryDataSet::Post() {
  RequireActive();
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
  TSessionLock lock(LockSession());
  if (state_ == TDataSetState::dsEdit) {
    cursor_->UpdateRecord(record_.data(), true, true);
  } else {
    cursor_->InsertRecord(record_.data(), true);
  }
  cursor_->CloseBlobs(record_.data());  // what blob streams wrote is in the table now
  state_ = TDataSetState::dsBrowse;
  editCopy_.clear();
  TakeRecord(CheckCode(cursor_->GetCurrentRecord(record_.data())) == QUARRY_NONE);
  bof_ = eof_ = false;
  if (!hasRecord_) {
    cursor_->Home();
    TakeRecord(CheckCode(cursor_->Next(record_.data())) == QUARRY_NONE);
    bof_ = true;
    eof_ = !hasRecord_;
  }
}

void TQuarryDataSet::Cancel() {
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
  TSessionLock lock(LockSession());
  if (state_ == TDataSetState::dsEdit) cursor_->CancelEdit();
  cursor_->CloseBlobs(record_.data());  // unposted blob stream writes are dropped
  if (!editCopy_.empty()) record_ = editCopy_;
  editCopy_.clear();
  state_ = TDataSetState::dsBrowse;
  ResyncCursor();
}

void TQuarryDataSet::Delete() {
  RequireActive();
  if (!canModify_) msg::Raise(msg::ReadOnlyDataSet);
  if (state_ == TDataSetState::dsInsert) {
    Cancel();
    return;
  }
  if (!hasRecord_) msg::Raise("Cannot perform this operation on an empty dataset");
  if (state_ == TDataSetState::dsEdit) {
    TSessionLock lock(LockSession());
    cursor_->CancelEdit();
    state_ = TDataSetState::dsBrowse;
  }
  Scroll([this] {
    cursor_->DeleteRecord(record_.data(), true);
    TEngineErrorCode code = CheckCode(cursor_->GetCurrentRecord(record_.data()));
    if (code != QUARRY_NONE) {
      cursor_->End();
      code = CheckCode(cursor_->Prior(record_.data()));
    }
    TakeRecord(code == QUARRY_NONE);
    bof_ = !hasRecord_;
    eof_ = !hasRecord_;
  });
}

// ---- links ----

void TQuarryDataSet::AddLink(std::function<void()>* link) { links_.push_back(link); }

void TQuarryDataSet::RemoveLink(std::function<void()>* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

void TQuarryDataSet::NotifyLinks() {
  for (std::function<void()>* link : std::vector<std::function<void()>*>(links_)) (*link)();
}

// ---- TQuarryDBDataSet ----

TQuarryDBDataSet::TQuarryDBDataSet(TQuarryOwner* owner, std::string componentName)
    : TQuarryDataSet(owner, std::move(componentName)) {}

TQuarryDBDataSet::~TQuarryDBDataSet() {
  if (database_ != nullptr) database_->RemoveDataSet(*this);
}

void TQuarryDBDataSet::SetDatabaseName(std::string_view name) {
  if (database_ != nullptr) msg::Raise(msg::DatabaseOpen);
  databaseName_ = NormalisePath(name);
}

void TQuarryDBDataSet::SetSessionName(std::string_view name) {
  if (database_ != nullptr) msg::Raise(msg::DatabaseOpen);
  sessionName_ = std::string(name);
}

void TQuarryDBDataSet::OwnerSessionNamed(const std::string& sessionName) {
  if (database_ == nullptr) sessionName_ = sessionName;
}

TQuarrySession& TQuarryDBDataSet::DBSession() { return Sessions().Get(sessionName_); }

void TQuarryDBDataSet::SetDatabaseFlag(int flag, bool on) {
  if (on) {
    if (database_ != nullptr) {
      databaseFlags_ |= flag;
      return;
    }
    TQuarryDatabase& database = DBSession().OpenDatabase(databaseName_, Owner());
    databaseFlags_ |= flag;
    database_ = &database;
    database.AddDataSet(*this);
    return;
  }
  databaseFlags_ &= ~flag;
  if (database_ == nullptr || databaseFlags_ != 0) return;
  TQuarryDatabase* database = database_;
  database_ = nullptr;
  database->RemoveDataSet(*this);
  if (database->Session() != nullptr) database->Session()->CloseDatabase(*database);
}

TDataDirectory& TQuarryDBDataSet::Directory() {
  if (database_ == nullptr) msg::Raise(msg::DatabaseClosed);
  return database_->Handle();
}

TPasswordCallback TQuarryDBDataSet::PasswordCallback() {
  return [this](const std::string&, std::string&) { return DBSession().PasswordRequest(); };
}

}  // namespace quarry
