// TQuarryTable: opening a table, index selection, key buffers, ranges, master-detail and
// table creation (see quarry_table.h).
#include "dbaccess/quarry_table.h"

#include <algorithm>

#include "dbaccess/access_messages.h"
#include "dbaccess/name_compare.h"
#include "dbaccess/quarry_session.h"

namespace quarry {

namespace {

// The engine type and subtype for a dataset field type.
void EngineTypeOf(TDataFieldType type, TFieldType& engine, std::uint8_t& sub) {
  sub = subtype::None;
  switch (type) {
  case TDataFieldType::ftString: engine = TFieldType::String; break;
  case TDataFieldType::ftFixedChar:
    engine = TFieldType::String;
    sub = subtype::FixedLength;
    break;
  case TDataFieldType::ftDate: engine = TFieldType::Date; break;
  case TDataFieldType::ftMemo:
    engine = TFieldType::Blob;
    sub = subtype::Memo;
    break;
  case TDataFieldType::ftBlob:
    engine = TFieldType::Blob;
    sub = subtype::Binary;
    break;
  case TDataFieldType::ftFmtMemo:
    engine = TFieldType::Blob;
    sub = subtype::FormattedMemo;
    break;
  case TDataFieldType::ftGraphic:
    engine = TFieldType::Blob;
    sub = subtype::Graphic;
    break;
  case TDataFieldType::ftTypedBinary:
    engine = TFieldType::Blob;
    sub = subtype::TypedBinary;
    break;
  case TDataFieldType::ftBoolean: engine = TFieldType::Boolean; break;
  case TDataFieldType::ftSmallint: engine = TFieldType::SmallInt; break;
  case TDataFieldType::ftInteger: engine = TFieldType::Integer; break;
  case TDataFieldType::ftAutoInc:
    engine = TFieldType::Integer;
    sub = subtype::AutoInc;
    break;
  case TDataFieldType::ftFloat: engine = TFieldType::Float; break;
  case TDataFieldType::ftCurrency:
    engine = TFieldType::Float;
    sub = subtype::Money;
    break;
  case TDataFieldType::ftBCD: engine = TFieldType::Bcd; break;
  case TDataFieldType::ftBytes: engine = TFieldType::Bytes; break;
  case TDataFieldType::ftTime: engine = TFieldType::Time; break;
  case TDataFieldType::ftDateTime: engine = TFieldType::TimeStamp; break;
  case TDataFieldType::ftWord: engine = TFieldType::Word; break;
  case TDataFieldType::ftVarBytes: engine = TFieldType::VarBytes; break;
  case TDataFieldType::ftLargeint: engine = TFieldType::LargeInt; break;
  default: engine = TFieldType::Null; break;
  }
}

// The definition in an index slot, or null when the slot holds none.
const TIndexDefinition* DefinedIndex(TDataCursor& cursor, int slot) {
  try {
    return &cursor.GetIndexDefinition(slot);
  } catch (const EQuarryEngineError&) {
    return nullptr;
  }
}

}  // namespace

TQuarryTable::TQuarryTable(TQuarryOwner* owner, std::string componentName)
    : TQuarryDBDataSet(owner, std::move(componentName)) {
  masterLink_ = [this] { MasterChanged(); };
}

TQuarryTable::~TQuarryTable() {
  if (master_ != nullptr) master_->RemoveLink(&masterLink_);
  try {
    Close();
  } catch (...) {}
}

std::string TQuarryTable::EngineVersion() const { return QuarryEngineVersion; }

void TQuarryTable::RequireClosed() const {
  if (Active()) msg::Raise(msg::DataSetOpen);
}

void TQuarryTable::SetTableName(std::string_view name) {
  RequireClosed();
  tableName_ = std::string(name);
}

void TQuarryTable::SetExclusive(bool on) {
  RequireClosed();
  exclusive_ = on;
}

void TQuarryTable::SetReadOnly(bool on) {
  RequireClosed();
  readOnly_ = on;
}

bool TQuarryTable::Exists() {
  if (TrimmedView(tableName_).empty()) msg::Raise(msg::TableNameMissing);
  SetDatabaseFlag(duPrepared, true);
  struct TRelease {
    TQuarryTable& table;
    bool wasActive;
    ~TRelease() {
      try {
        table.SetDatabaseFlag(duPrepared, false);
      } catch (...) {}
    }
  } release{*this, Active()};
  TSessionLock lock(LockSession());
  return Directory().TableExists(TrimmedView(tableName_), SameName(DatabaseName(), "Memory"));
}

// ---- opening ----

TDataCursor* TQuarryTable::CreateCursor() {
  if (TrimmedView(tableName_).empty()) msg::Raise(msg::TableNameMissing);
  auto cursor = std::make_unique<TDataCursor>(Directory());
  cursor->SetTableName(TrimmedView(tableName_));
  cursor->SetExclusive(exclusive_);
  cursor->SetReadOnly(readOnly_);
  cursor->SetInMemory(SameName(DatabaseName(), "Memory"));
  cursor->SetPasswordCallback(PasswordCallback());
  cursor->Open();
  readOnly_ = cursor->ReadOnly();
  SelectIndex(*cursor);
  for (TKeyBuffer& key : keys_) {
    key.Modified = false;
    key.FieldCount = 0;
    key.Record.assign(static_cast<std::size_t>(cursor->RecordBufferSize()), 0);
  }
  rangeApplied_ = false;
  OwnedCursor() = std::move(cursor);
  return OwnedCursor().get();
}

void TQuarryTable::DestroyCursor() {
  DropLookupCursor();
  for (TKeyBuffer& key : keys_) key = TKeyBuffer{};
  rangeApplied_ = false;
  TQuarryDBDataSet::DestroyCursor();
}

void TQuarryTable::SelectIndex(TDataCursor& cursor) {
  if (!TrimmedView(indexName_).empty()) {
    cursor.SetIndex(TrimmedView(indexName_));
    return;
  }
  if (TrimmedView(indexFieldNames_).empty()) {
    // The primary order: the primary index, or record order in a table without one.
    bool hasPrimary = false;
    try {
      hasPrimary = cursor.GetIndexDefinition(PrimarySlot).FieldCount > 0;
    } catch (const EQuarryEngineError&) {}
    if (hasPrimary) {
      cursor.SetIndex("");
    } else if (cursor.IndexSlot() != NaturalOrderSlot) {
      cursor.SetIndexSlot(NaturalOrderSlot);
    }
    return;
  }
  std::vector<std::string> wanted = SplitNameList(indexFieldNames_);
  for (int slot = 0; slot <= MaxSecondaryIndexes; ++slot) {
    const TIndexDefinition* def = DefinedIndex(cursor, slot);
    if (def == nullptr) continue;
    if (def->FieldCount < wanted.size()) continue;
    bool fits = true;
    for (std::size_t i = 0; i < wanted.size() && fits; ++i) {
      const TFieldDefinition& field = cursor.GetFieldDefinition(static_cast<int>(def->FieldNumbers[i]));
      fits = SameName(field.Name, wanted[i]);
    }
    if (fits) {
      cursor.SetIndexSlot(slot);
      return;
    }
  }
  RaiseEngineError(QUARRY_INVALIDINDEXNAME,
                   {.database = DatabaseName(), .table = tableName_, .index = indexFieldNames_});
}

// ---- indexes ----

void TQuarryTable::SetIndexName(std::string_view name) {
  indexName_ = std::string(name);
  indexFieldNames_.clear();
  if (Active()) SwitchIndex();
}

void TQuarryTable::SetIndexFieldNames(std::string_view names) {
  indexFieldNames_ = std::string(names);
  indexName_.clear();
  if (Active()) SwitchIndex();
}

void TQuarryTable::SwitchIndex() {
  RequireBrowse();
  {
    TSessionLock lock(LockSession());
    SelectIndex(*Cursor());
    DropLookupCursor();
    for (TKeyBuffer& key : keys_) {
      key.Modified = false;
      key.FieldCount = 0;
      std::fill(key.Record.begin(), key.Record.end(), 0);
    }
    rangeApplied_ = false;
  }
  if (master_ != nullptr && !masterFields_.empty() && master_->Active()) {
    MasterChanged();
  } else {
    Resync();
  }
}

std::vector<TQuarryIndexDef> TQuarryTable::IndexDefs() {
  if (!Active()) return createIndexes_;
  std::vector<TQuarryIndexDef> out;
  TSessionLock lock(LockSession());
  TDataCursor& cursor = *Cursor();
  for (int slot = 0; slot <= MaxSecondaryIndexes; ++slot) {
    const TIndexDefinition* def = DefinedIndex(cursor, slot);
    if (def == nullptr) continue;
    if (def->FieldCount == 0) continue;
    TQuarryIndexDef index;
    index.Name = def->Name;
    for (int i = 0; i < def->FieldCount; ++i) {
      if (i > 0) index.Fields += ";";
      index.Fields += cursor.GetFieldDefinition(static_cast<int>(def->FieldNumbers[i])).Name;
    }
    index.Primary = slot == PrimarySlot;
    index.Unique = def->Unique;
    index.Descending = def->Descending;
    index.CaseInsensitive = def->CaseInsensitive;
    out.push_back(index);
  }
  return out;
}

std::vector<int> TQuarryTable::IndexFields() {
  std::vector<int> out;
  if (!Active() || Cursor()->NaturalOrder()) return out;
  const TIndexDefinition& def = Cursor()->IndexDefinition();
  for (int i = 0; i < def.FieldCount; ++i) {
    bool found = false;
    for (int f = 0; f < FieldCount(); ++f) {
      if (Fields(f).FieldNo() == def.FieldNumbers[i]) {
        out.push_back(f);
        found = true;
        break;
      }
    }
    if (!found) {
      msg::Raise(msg::IndexFieldMissing, Cursor()->GetFieldDefinition(static_cast<int>(def.FieldNumbers[i])).Name);
    }
  }
  return out;
}

TDataCursor* TQuarryTable::GetLookupCursor(const std::vector<int>& fields, bool caseInsensitive) {
  // A second cursor cannot share an exclusive table.
  if (exclusive_ || fields.empty()) return nullptr;
  TDataCursor& main = *Cursor();
  int fitting = -1;
  for (int slot = 0; slot <= MaxSecondaryIndexes && fitting < 0; ++slot) {
    const TIndexDefinition* def = DefinedIndex(main, slot);
    if (def == nullptr) continue;
    if (def->FieldCount < fields.size()) continue;
    bool fits = true;
    bool anyString = false;
    for (std::size_t i = 0; i < fields.size() && fits; ++i) {
      const TFieldDefinition& field = EngineField(fields[i]);
      fits = def->FieldNumbers[i] == field.FieldNo;
      anyString = anyString || field.DataType == TFieldType::String;
    }
    if (fits && (!anyString || def->CaseInsensitive == caseInsensitive)) fitting = slot;
  }
  if (fitting < 0) return nullptr;
  if (lookupCursor_ && lookupCursor_->IndexSlot() == fitting) return lookupCursor_.get();
  DropLookupCursor();
  auto cursor = std::make_unique<TDataCursor>(Directory());
  cursor->SetTableName(TrimmedView(tableName_));
  cursor->SetInMemory(SameName(DatabaseName(), "Memory"));
  cursor->SetReadOnly(true);
  cursor->SetPasswordCallback(PasswordCallback());
  cursor->Open();
  cursor->SetIndexSlot(fitting);
  lookupCursor_ = std::move(cursor);
  return lookupCursor_.get();
}

void TQuarryTable::DropLookupCursor() {
  if (lookupCursor_) {
    lookupCursor_->Close();
    lookupCursor_.reset();
  }
}

// ---- key buffers ----

std::uint8_t* TQuarryTable::KeyRecord() {
  TKeyBuffer& key = keys_[keyIndex_];
  return key.Record.empty() ? nullptr : key.Record.data();
}

void TQuarryTable::KeyFieldWritten(TQuarryField& field) {
  std::vector<int> indexFields = IndexFields();
  auto at = std::find(indexFields.begin(), indexFields.end(), field.Index());
  if (at == indexFields.end()) msg::Raise(msg::FieldNotInIndex, field.FieldName());
  TKeyBuffer& key = keys_[keyIndex_];
  key.Modified = true;
  key.FieldCount = std::max(key.FieldCount, static_cast<int>(at - indexFields.begin()) + 1);
}

void TQuarryTable::BeginKey(TKeyIndex which, bool clear) {
  RequireBrowse();
  TKeyBuffer& key = keys_[which];
  if (clear) {
    std::fill(key.Record.begin(), key.Record.end(), 0);
    key.FieldCount = 0;
    key.Modified = false;
  }
  keyIndex_ = which;
  keyReturnState_ = State();
  SetState(TDataSetState::dsSetKey);
}

void TQuarryTable::EndKey() {
  if (State() == TDataSetState::dsSetKey) SetState(TDataSetState::dsBrowse);
}

int TQuarryTable::KeyFieldCount() const { return keys_[keyIndex_].FieldCount; }

void TQuarryTable::SetKeyFieldCount(int count) {
  std::size_t fields = Active() ? const_cast<TQuarryTable*>(this)->IndexFields().size() : 0;
  if (count < 0 || static_cast<std::size_t>(count) > fields) msg::Raise(msg::FieldIndexRange);
  keys_[keyIndex_].FieldCount = count;
}

void TQuarryTable::SetKey() { BeginKey(kiLookup, true); }
void TQuarryTable::EditKey() { BeginKey(kiLookup, false); }
void TQuarryTable::SetRangeStart() { BeginKey(kiRangeStart, true); }
void TQuarryTable::SetRangeEnd() { BeginKey(kiRangeEnd, true); }
void TQuarryTable::EditRangeStart() { BeginKey(kiRangeStart, false); }
void TQuarryTable::EditRangeEnd() { BeginKey(kiRangeEnd, false); }

void TQuarryTable::FillKey(TKeyBuffer& buffer, const std::vector<TDataValue>& values) {
  std::vector<int> indexFields = IndexFields();
  if (values.size() > indexFields.size()) msg::Raise(msg::FieldIndexRange);
  std::fill(buffer.Record.begin(), buffer.Record.end(), 0);
  TSessionLock lock(LockSession());
  for (std::size_t i = 0; i < values.size(); ++i) EncodeInto(buffer.Record.data(), indexFields[i], values[i]);
  buffer.FieldCount = static_cast<int>(values.size());
  buffer.Modified = true;
}

bool TQuarryTable::SearchKey(bool nearest) {
  EndKey();
  RequireBrowse();
  TKeyBuffer& key = keys_[kiLookup];
  const int all = static_cast<int>(IndexFields().size());
  bool found = false;
  TBookmark target;
  {
    TSessionLock lock(LockSession());
    std::vector<std::uint8_t> buffer(key.Record.size());
    const int given = key.FieldCount >= all ? 0 : key.FieldCount;
    found = Cursor()->FindKey(key.Record.data(), given, 0, nearest, buffer.data());
    if (found || nearest) target = Cursor()->GetBookmark();
  }
  if (target.empty()) {
    // Not found: the cursor moved; put it back on the dataset's record.
    TBookmark current = GetBookmark();
    if (!current.empty()) {
      TSessionLock lock(LockSession());
      Cursor()->GotoBookmark(current, true);
    }
    return false;
  }
  GotoBookmark(target);
  return found;
}

bool TQuarryTable::GotoKey() { return SearchKey(false); }
void TQuarryTable::GotoNearest() { SearchKey(true); }

bool TQuarryTable::FindKey(const std::vector<TDataValue>& values) {
  RequireBrowse();
  FillKey(keys_[kiLookup], values);
  return SearchKey(false);
}

void TQuarryTable::FindNearest(const std::vector<TDataValue>& values) {
  RequireBrowse();
  FillKey(keys_[kiLookup], values);
  SearchKey(true);
}

void TQuarryTable::ApplyRange() {
  EndKey();
  RequireBrowse();
  TKeyBuffer& start = keys_[kiRangeStart];
  TKeyBuffer& end = keys_[kiRangeEnd];
  TKeyBuffer& lastStart = keys_[kiCurRangeStart];
  TKeyBuffer& lastEnd = keys_[kiCurRangeEnd];
  if (rangeApplied_ && start.FieldCount == lastStart.FieldCount && end.FieldCount == lastEnd.FieldCount &&
      start.Record == lastStart.Record && end.Record == lastEnd.Record) {
    return;
  }
  {
    TSessionLock lock(LockSession());
    // An unmodified buffer leaves that end open (no key: lowest / highest).
    const int all = static_cast<int>(IndexFields().size());
    auto count = [all](const TKeyBuffer& key) { return key.FieldCount >= all ? 0 : key.FieldCount; };
    if (!start.Modified && !end.Modified) {
      Cursor()->CancelRange();
    } else {
      Cursor()->SetRange(start.Modified ? start.Record.data() : nullptr, start.Modified ? count(start) : 0,
                         end.Modified ? end.Record.data() : nullptr, end.Modified ? count(end) : 0);
    }
    lastStart = start;
    lastEnd = end;
    rangeApplied_ = true;
    DropLookupCursor();
  }
  Resync();
}

void TQuarryTable::CancelRange() {
  EndKey();
  RequireBrowse();
  if (!rangeApplied_) return;
  {
    TSessionLock lock(LockSession());
    Cursor()->CancelRange();
    for (TKeyIndex which : {kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd}) {
      TKeyBuffer& key = keys_[which];
      key.Modified = false;
      key.FieldCount = 0;
      std::fill(key.Record.begin(), key.Record.end(), 0);
    }
    rangeApplied_ = false;
  }
  Resync();
}

void TQuarryTable::SetRange(const std::vector<TDataValue>& start, const std::vector<TDataValue>& end) {
  RequireBrowse();
  FillKey(keys_[kiRangeStart], start);
  FillKey(keys_[kiRangeEnd], end);
  ApplyRange();
}

// ---- master-detail ----

void TQuarryTable::SetMasterSource(TQuarryDataSet* master) {
  if (master == master_) return;
  CheckLinkCycle(master);
  if (master_ != nullptr) master_->RemoveLink(&masterLink_);
  master_ = master;
  if (master_ != nullptr) master_->AddLink(&masterLink_);
  if (Active()) MasterChanged();
}

void TQuarryTable::SetMasterFields(std::string_view fields) {
  masterFields_ = std::string(fields);
  if (Active()) MasterChanged();
}

void TQuarryTable::MasterChanged() {
  if (!Active() || master_ == nullptr || TrimmedView(masterFields_).empty()) return;
  if (master_->State() == TDataSetState::dsSetKey) return;
  if (!master_->Active()) return;
  std::vector<TDataValue> values;
  for (const std::string& name : SplitNameList(masterFields_)) values.push_back(master_->FieldByName(name).Value());
  if (State() == TDataSetState::dsEdit || State() == TDataSetState::dsInsert) Cancel();
  FillKey(keys_[kiRangeStart], values);
  FillKey(keys_[kiRangeEnd], values);
  ApplyRange();
}

void TQuarryTable::InitNewRecord() {
  if (master_ == nullptr || !master_->Active() || TrimmedView(masterFields_).empty()) return;
  std::vector<std::string> names = SplitNameList(masterFields_);
  std::vector<int> indexFields = IndexFields();
  for (std::size_t i = 0; i < names.size() && i < indexFields.size(); ++i) {
    Fields(indexFields[i]).SetValue(master_->FieldByName(names[i]).Value());
  }
}

// ---- creation ----

TIndexDefinition TQuarryTable::EngineIndex(const TQuarryIndexDef& def,
                                           const std::vector<TFieldDefinition>& fields) const {
  TIndexDefinition index;
  index.Name = def.Name.substr(0, MaxIndexNameLength);
  index.Unique = def.Unique || def.Primary;
  index.Descending = def.Descending;
  index.CaseInsensitive = def.CaseInsensitive;
  std::vector<std::string> names = SplitNameList(def.Fields);
  if (names.size() > MaxKeyFields) names.resize(MaxKeyFields);
  for (const std::string& name : names) {
    auto at =
        std::find_if(fields.begin(), fields.end(), [&](const TFieldDefinition& f) { return SameName(f.Name, name); });
    if (at == fields.end()) msg::Raise(msg::FieldNotFound, name);
    index.FieldDescending[index.FieldCount] = def.Descending;
    index.FieldNumbers[index.FieldCount] = at->FieldNo;
    ++index.FieldCount;
  }
  return index;
}

void TQuarryTable::CreateTable() {
  RequireClosed();
  if (TrimmedView(tableName_).empty()) msg::Raise(msg::TableNameMissing);
  TCreateTableDefinition definition;
  std::uint16_t number = 0;
  for (const TQuarryFieldDef& def : createFields_) {
    TFieldDefinition field;
    field.FieldNo = ++number;
    field.Name = def.Name;
    EngineTypeOf(def.DataType, field.DataType, field.SubType);
    if (field.DataType == TFieldType::Null) msg::Raise(msg::FieldReadOnly, def.Name);
    if (def.DataType == TDataFieldType::ftBCD) {
      field.Scale = static_cast<std::uint8_t>(def.Size);
    } else {
      field.Size = static_cast<std::uint8_t>(std::clamp(def.Size, 0, 255));
    }
    field.Required = def.Required;
    definition.Fields.push_back(field);
  }
  for (const TQuarryIndexDef& def : createIndexes_) {
    TIndexDefinition index = EngineIndex(def, definition.Fields);
    if (def.Primary) {
      index.Name.clear();
      definition.Primary = index;
    } else {
      definition.Secondaries.push_back(index);
    }
  }
  SetDatabaseFlag(duPrepared, true);
  struct TRelease {
    TQuarryTable& table;
    ~TRelease() {
      try {
        table.SetDatabaseFlag(duPrepared, false);
      } catch (...) {}
    }
  } release{*this};
  TSessionLock lock(LockSession());
  TDataCursor cursor(Directory());
  cursor.SetTableName(TrimmedView(tableName_));
  cursor.SetInMemory(SameName(DatabaseName(), "Memory"));
  cursor.CreateTable(std::move(definition));
}

}  // namespace quarry
