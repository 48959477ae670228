// The result table of a canned SELECT; see result_table.h.
#include "engine/sql/result_table.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "engine/storage/files/file_names.h"

#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"

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
  PendingRows = 0;
  if (Table != nullptr) {
    // A fill that did not finish: its rows are not wanted.
    Table->DiscardBuffers();
    ReleaseTable();
  }
  if (Directory != nullptr && IsTemporary && !Name.empty() && Directory->TableExists(Name, IsInMemory))
    Directory->DeleteTable(Name, IsInMemory);
  if (Directory != nullptr && OwnsDirectory) Session.CloseDirectory(*Directory);
  Directory = nullptr;
  OwnsDirectory = false;
  MemoryDirectory.reset();
  MayMoveToDisk = false;
  Name.clear();
}

std::string TResultTable::UniqueName(bool inMemory) const {
  if (inMemory) {
    // Memory tables are seen by this process only: a process-wide number makes the name
    // unique among all sessions and threads; the check skips a user's table of that name.
    static std::atomic<uint64_t> counter{0};
    for (;;) {
      std::string name = "QRESM" + std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
      if (!Directory->TableExists(name, true) && Directory->FindTable(name, true) == nullptr) return name;
    }
  }
  // Disk tables may be seen by other processes sharing the private directory: part of the
  // thread id, and the first number free there.
  const long long id = std::llabs(static_cast<long long>(static_cast<int32_t>(Session.Environment().ThreadId())));
  const std::string prefix = "QRES" + std::to_string(id % 100000) + "_";
  for (uint32_t n = 0;; ++n) {
    std::string name = prefix + std::to_string(n);
    if (!Directory->TableExists(name, false) && Directory->FindTable(name, false) == nullptr) return name;
  }
}

void TResultTable::Create(const std::vector<TFieldDefinition>& fields, uint16_t languageId, uint16_t sortId,
                          TDataDirectory* directory, const std::string& name, bool inMemory,
                          const std::string& password) {
  Drop();
  StoredBytes = 0;
  PendingRows = 0;
  if (directory == nullptr) {
    // A temporary table starts in memory; unless memory was asked for, it may move to disk.
    IsTemporary = true;
    IsInMemory = true;
    MayMoveToDisk = !inMemory;
    // A directory object of our own over the in-memory tables: the session's in-memory
    // database may be in a transaction, whose rollback must not touch the result.
    MemoryDirectory = std::make_unique<TDataDirectory>(Session, "", true);
    Directory = MemoryDirectory.get();
    OwnsDirectory = false;
    Name = UniqueName(true);
  } else {
    IsTemporary = false;
    IsInMemory = inMemory;
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
  Password = password;
  {
    TDataCursor creator(*Directory);
    creator.SetTableName(Name);
    creator.SetInMemory(IsInMemory);
    creator.CreateTable(std::move(definition));
  }
  // Shared, not exclusive: the result cursor opens the same table object when the fill is
  // done and finds the records still in its cache.
  Table = &Directory->OpenTable(Name, IsInMemory, false, false);
  FieldList = Table->Data().Fields();
  Size = Table->Data().RecordSize();
  Table->Data().SetHoldsTableLock(true);
  constexpr int kBlockBytes = 64 * 1024;
  BlockRows = std::max(1, kBlockBytes / std::max(1, Size));
  Pending.clear();  // grows with the rows: most results are a few rows
}

void TResultTable::WritePending() {
  if (PendingRows == 0) return;
  const int32_t rows = PendingRows;
  PendingRows = 0;
  Table->Data().AppendRecords(Pending.data(), rows);
}

void TResultTable::MoveToDisk() {
  TFileList& list = Session.Files();
  TDataDirectory& memory = *Directory;
  const std::string memoryName = Name;
  // Everything filled so far goes into the memory files, which are then copied whole.
  WritePending();
  Table->Data().SetHoldsTableLock(false);
  Table->Flush(true, false, false);
  ReleaseTable();

  TDataDirectory& disk = Session.OpenDirectory("", Session.PrivateDirectory());
  Directory = &disk;
  OwnsDirectory = true;
  std::string diskName;
  try {
    diskName = UniqueName(false);
  } catch (...) {
    Directory = &memory;
    OwnsDirectory = false;
    Session.CloseDirectory(disk);
    throw;
  }
  std::vector<std::string> copied;
  try {
    for (std::string_view extension : {kDataExtension, kIndexExtension, kBlobExtension}) {
      TFileHandler source(memory.FileNameOf(memoryName, extension), true, &list);
      if (!source.Exists()) continue;
      source.Open();
      const std::string target = disk.FileNameOf(diskName, extension);
      copied.push_back(target);
      source.CopyTo(target, false);
    }
  } catch (...) {
    for (const std::string& target : copied) {
      try {
        TFileHandler file(target, false, &list);
        if (file.Exists()) file.Delete();
      } catch (...) {}
    }
    Directory = &memory;
    OwnsDirectory = false;
    Session.CloseDirectory(disk);
    throw;
  }
  // The disk table is the result now; the memory one goes.
  Name = diskName;
  IsInMemory = false;
  MayMoveToDisk = false;
  try {
    memory.DeleteTable(memoryName, true);
  } catch (...) {}
  MemoryDirectory.reset();
  Table = &Directory->OpenTable(Name, false, false, false);
  Table->Data().SetHoldsTableLock(true);
}

bool TResultTable::PastMemoryLimit(int64_t bytes) {
  StoredBytes += bytes;
  return MayMoveToDisk && StoredBytes >= MemoryLimit;
}

void TResultTable::Append(const uint8_t* record) {
  TDataFile& data = Table->Data();
  if (data.FirstFree() == 0) {
    // The usual case, a table without deleted slots: the row joins the pending block.
    if (PendingRows == BlockRows) WritePending();
    const std::size_t need = static_cast<std::size_t>(PendingRows + 1) * static_cast<std::size_t>(Size);
    if (need > Pending.size())
      Pending.resize(std::min(static_cast<std::size_t>(BlockRows) * static_cast<std::size_t>(Size), 2 * need));
    uint8_t* target = Pending.data() + static_cast<std::size_t>(PendingRows) * static_cast<std::size_t>(Size);
    std::memcpy(target + RecordHeaderSize, record + RecordHeaderSize,
                static_cast<std::size_t>(Size - RecordHeaderSize));
    SetRecordIdentifier(target, data.NextRecordNo() + PendingRows);
    ++PendingRows;
    Table->Index().IncrementRecordCount();
    if (PastMemoryLimit(Size)) MoveToDisk();
    return;
  }
  WritePending();
  TPinnedRecord slot = data.AllocateRecord(nullptr);
  if (!slot) RaiseEngineError(QUARRY_FILECORRUPT, {.table = Name});
  uint8_t* target = slot.Data();
  const int32_t recordNo = RecordLink(target);
  std::memcpy(target + RecordHeaderSize, record + RecordHeaderSize, static_cast<std::size_t>(Size - RecordHeaderSize));
  SetRecordIdentifier(target, recordNo);
  data.MarkDirty(slot.get());
  Table->Index().IncrementRecordCount();
  if (PastMemoryLimit(Size)) {
    slot.Reset();
    MoveToDisk();
  }
}

TBlobReference TResultTable::StoreBlob(const std::vector<uint8_t>& value) {
  TBlobReference reference;
  TBlobFile* blob = Table->Blob();
  if (value.empty() || blob == nullptr) return reference;
  // Counted now, checked with the row that holds the value (Append): the move copies the
  // BLOB file too, so the reference stays good.
  StoredBytes += static_cast<int64_t>(value.size());
  reference.ChangeNumber = Table->Data().NextBlobChangeNumber();
  reference.FirstBlock =
      blob->WriteBlob(0, 0, reference.ChangeNumber, value.data(), static_cast<int64_t>(value.size()));
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
  WritePending();
  TDataFile& data = Table->Data();
  const int32_t last = data.NextRecordNo() - 1;
  for (int32_t r = 1; r <= last; ++r) {
    TPinnedRecord record = data.GetRecord(nullptr, r, TReadDirection::Forward, true);
    if (!record) RaiseEngineError(QUARRY_FILECORRUPT, {.table = Name});
    if (RecordStatus(record.Data()) == RecordActive) visit(record.Data());
  }
}

void TResultTable::Sort(TSortOptions options) {
  if (Table->Data().NextRecordNo() == 1 && PendingRows > 0) {
    // A result that never filled a block: its rows go to the record cache, where the sort
    // works in memory without reading them back from the file.
    const int32_t rows = PendingRows;
    PendingRows = 0;
    TDataFile& data = Table->Data();
    for (int32_t i = 0; i < rows; ++i) {
      TPinnedRecord slot = data.AllocateRecord(nullptr);
      if (!slot) RaiseEngineError(QUARRY_FILECORRUPT, {.table = Name});
      uint8_t* target = slot.Data();
      const uint8_t* row = Pending.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(Size);
      std::memcpy(target + RecordHeaderSize, row + RecordHeaderSize, static_cast<std::size_t>(Size - RecordHeaderSize));
      SetRecordIdentifier(target, RecordLink(target));
      data.MarkDirty(slot.get());
    }
  }
  WritePending();
  TIndexFile& index = Table->Index();
  options.SetActiveRecordCount = [&index](int64_t rows) { index.SetRecordCount(static_cast<int32_t>(rows)); };
  Table->Data().SortRecords(options);
}

TDataCursor& TResultTable::Finish() {
  WritePending();
  Table->Data().SetHoldsTableLock(false);
  Table->Flush(true, false, false);
  ResultCursor = std::make_unique<TDataCursor>(*Directory);
  ResultCursor->SetTableName(Name);
  ResultCursor->SetInMemory(IsInMemory);
  ResultCursor->SetInternal(true);
  if (!Password.empty()) {
    // The table was made with the statement's password: its cursor knows it.
    ResultCursor->SetPasswordCallback([password = Password](const std::string&, std::string& given) {
      given = password;
      return true;
    });
  }
  ResultCursor->Open();
  ResultCursor->SetIndexSlot(NaturalOrderSlot);
  ReleaseTable();
  // Nobody else knows a temporary table: holding its table lock spares every read the
  // check for other users' changes.
  if (IsTemporary) ResultCursor->Table().LockTable();
  return *ResultCursor;
}

}  // namespace quarry
