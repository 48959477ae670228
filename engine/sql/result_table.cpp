// The result table of a canned SELECT; see result_table.h.
#include "engine/sql/result_table.h"

#include <cstring>
#include <cstdlib>

#include "engine/storage/record_buffer.h"
#include "engine/storage/session.h"
#include "engine/storage/table.h"

namespace quarry {

TResultTable::TResultTable(TDataSession& session) : Session(session) {}

TResultTable::~TResultTable() {
  try {
    Drop();
  } catch (...) {
    // A temporary table that cannot be removed now is left to the private directory.
  }
}

void TResultTable::ReleaseTable() {
  if (Table == nullptr) return;
  TDataTable* table = Table;
  Table = nullptr;
  table->Data().SetHoldsTableLock(false);
  Directory->CloseTable(*table);
}

void TResultTable::Drop() {
  ResultCursor.reset();
  if (Table != nullptr) {
    // A fill that did not finish: its rows are not wanted.
    Table->DiscardBuffers();
    ReleaseTable();
  }
  if (Directory != nullptr && IsTemporary && !Name.empty() && Directory->TableExists(Name, InMemory))
    Directory->DeleteTable(Name, InMemory);
  if (Directory != nullptr && OwnsDirectory) Session.CloseDirectory(*Directory);
  Directory = nullptr;
  OwnsDirectory = false;
  Name.clear();
}

void TResultTable::Create(const std::vector<TFieldDefinition>& fields, uint16_t languageId, uint16_t sortId,
                          TDataDirectory* directory, const std::string& name, bool inMemory,
                          const std::string& password) {
  Drop();
  InMemory = inMemory;
  if (directory == nullptr) {
    IsTemporary = true;
    Directory = inMemory ? &Session.OpenDirectory("Memory", "") : &Session.OpenDirectory("", Session.PrivateDirectory());
    OwnsDirectory = true;
    // Unique among the tables of that directory: a prefix, part of the thread id, a number.
    const long long id = std::llabs(static_cast<long long>(static_cast<int32_t>(Session.Environment().ThreadId())));
    const std::string prefix = "QRES" + std::to_string(id % 100000) + "_";
    for (uint32_t n = 0;; ++n) {
      Name = prefix + std::to_string(n);
      if (!Directory->TableExists(Name, inMemory) && Directory->FindTable(Name, inMemory) == nullptr) break;
    }
  } else {
    IsTemporary = false;
    Directory = directory;
    Name = name;
    if (Directory->TableExists(Name, inMemory)) Directory->DeleteTable(Name, inMemory);
  }

  TCreateTableDefinition definition;
  definition.Fields = fields;
  definition.LanguageId = languageId;
  definition.SortId = sortId;
  definition.Encrypted = !password.empty();
  definition.Password = password;
  {
    TDataCursor creator(*Directory);
    creator.SetTableName(Name);
    creator.SetInMemory(inMemory);
    creator.CreateTable(std::move(definition));
  }
  // Shared, not exclusive: the result cursor opens the same table object when the fill is
  // done and finds the records still in its cache.
  Table = &Directory->OpenTable(Name, inMemory, false, false);
  FieldList = Table->Data().Fields();
  Size = Table->Data().RecordSize();
  Table->Data().SetHoldsTableLock(true);
}

void TResultTable::Append(const uint8_t* record) {
  TDataFile& data = Table->Data();
  TPinnedRecord slot = data.AllocateRecord(nullptr);
  if (!slot) RaiseEngineError(QUARRY_FILECORRUPT, {.table = Name});
  uint8_t* target = slot.Data();
  const int32_t recordNo = RecordLink(target);
  std::memcpy(target + RecordHeaderSize, record + RecordHeaderSize, static_cast<std::size_t>(Size - RecordHeaderSize));
  SetRecordIdentifier(target, recordNo);
  data.MarkDirty(slot.get());
  Table->Index().IncrementRecordCount();
}

TBlobReference TResultTable::StoreBlob(const std::vector<uint8_t>& value) {
  TBlobReference reference;
  TBlobFile* blob = Table->Blob();
  if (value.empty() || blob == nullptr) return reference;
  reference.ChangeNumber = Table->Data().NextBlobChangeNumber();
  reference.FirstBlock = blob->WriteBlob(0, 0, reference.ChangeNumber, value.data(), static_cast<int64_t>(value.size()));
  // Written blocks stay in the cache until written out; a big result writes as it goes.
  if (blob->CachedBlocks() > 4096) blob->FlushBlocks();
  return reference;
}

void TResultTable::ReadBlob(const uint8_t* record, const TFieldDefinition& field, std::vector<uint8_t>& value) {
  value.clear();
  if (IsFieldNull(record, field) || Table->Blob() == nullptr) return;
  const TBlobReference reference = GetFieldBlob(record, field);
  Table->Blob()->ReadBlob(reference.FirstBlock, reference.ChangeNumber, value);
}

int64_t TResultTable::Rows() const {
  if (Table != nullptr) return Table->Index().RecordCount();
  return ResultCursor ? ResultCursor->RecordCount() : 0;
}

void TResultTable::ForEach(const std::function<void(const uint8_t* record)>& visit) {
  TDataFile& data = Table->Data();
  const int32_t last = data.NextRecordNo() - 1;
  for (int32_t r = 1; r <= last; ++r) {
    TPinnedRecord record = data.GetRecord(nullptr, r, TReadDirection::Forward, true);
    if (!record) RaiseEngineError(QUARRY_FILECORRUPT, {.table = Name});
    if (RecordStatus(record.Data()) == RecordActive) visit(record.Data());
  }
}

void TResultTable::Sort(TSortOptions options) {
  TIndexFile& index = Table->Index();
  options.SetActiveRecordCount = [&index](int64_t rows) { index.SetRecordCount(static_cast<int32_t>(rows)); };
  Table->Data().SortRecords(options);
}

TDataCursor& TResultTable::Finish() {
  Table->Data().SetHoldsTableLock(false);
  Table->Flush(true, false, false);
  ResultCursor = std::make_unique<TDataCursor>(*Directory);
  ResultCursor->SetTableName(Name);
  ResultCursor->SetInMemory(InMemory);
  ResultCursor->SetInternal(true);
  ResultCursor->Open();
  ResultCursor->SetIndexSlot(NaturalOrderSlot);
  ReleaseTable();
  // Nobody else knows a temporary table: holding its table lock spares every read the
  // check for other users' changes.
  if (IsTemporary) ResultCursor->Table().LockTable();
  return *ResultCursor;
}

} // namespace quarry
