// TDataDirectory: the tables a session has open in one database, table files as a whole
// (create, delete, rename, empty) and transactions (see directory.h).
#include "engine/storage/table/directory.h"

#include <algorithm>

#include "engine/platform/locale_services.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/errors/first_error.h"
#include "engine/storage/files/file_names.h"
#include "engine/storage/index/collation.h"
#include "engine/storage/index/index_file.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"

namespace quarry {

TDataDirectory::TDataDirectory(TDataSession& session, std::string path, bool inMemory)
    : session_(session), path_(inMemory ? std::string() : std::move(path)), inMemory_(inMemory) {}

TDataDirectory::~TDataDirectory() {
  try {
    CloseAll();
  } catch (...) {}
}

std::string TDataDirectory::FileNameOf(std::string_view table, std::string_view extension) const {
  return TableFileName(path_, TrimText(table), extension);
}

std::vector<std::unique_ptr<TDataTable>>::iterator TDataDirectory::Find(std::string_view name, bool inMemory) {
  const std::string wanted = TrimText(name);
  return std::find_if(tables_.begin(), tables_.end(), [&](const auto& t) {
    return t->InMemory() == inMemory && SameTextIgnoringCase(t->Name(), wanted);
  });
}

TDataTable* TDataDirectory::FindTable(std::string_view name, bool inMemory) const {
  auto* self = const_cast<TDataDirectory*>(this);
  auto it = self->Find(name, inMemory || inMemory_);
  return it == self->tables_.end() || (*it)->Kept() ? nullptr : it->get();
}

bool TDataDirectory::Keeps(std::string_view name, bool inMemory) const {
  auto* self = const_cast<TDataDirectory*>(this);
  auto it = self->Find(name, inMemory || inMemory_);
  return it != self->tables_.end() && (*it)->Kept();
}

TDataTable& TDataDirectory::OpenTable(std::string_view name, bool inMemory, bool exclusive, bool readOnly) {
  inMemory = inMemory || inMemory_;
  auto it = Find(name, inMemory);
  if (it != tables_.end() && (*it)->Kept() && !TakeUpKept(**it, exclusive, readOnly)) it = tables_.end();
  TDataTable* table = nullptr;
  if (it != tables_.end()) {
    table = it->get();
    if (table->UseCount() > 0 && (table->Exclusive() || exclusive)) {
      RaiseEngineError(QUARRY_OSEACCES, {.database = DatabaseName(), .table = table->Name()});
    }
    if (!table->Opened()) table->OpenFiles(exclusive, readOnly);
  } else {
    auto fresh = std::make_unique<TDataTable>(*this, TrimText(name), inMemory);
    fresh->OpenFiles(exclusive, readOnly);
    tables_.push_back(std::move(fresh));
    table = tables_.back().get();
  }
  if (inTransaction_ && !table->InTransaction() && !table->ReadOnly()) {
    try {
      table->BeginTransaction();
    } catch (...) {
      if (table->UseCount() == 0) Destroy(*table);
      throw;
    }
  }
  table->AddUse();
  return *table;
}

bool TDataDirectory::TakeUpKept(TDataTable& table, bool exclusive, bool readOnly) {
  session_.ForgetKept(table);
  bool resumed = false;
  try {
    resumed = table.Resume(exclusive, readOnly);
  } catch (...) {
    // Whatever the kept files say, a fresh open reports it properly.
  }
  if (!resumed) Destroy(table);
  return resumed;
}

void TDataDirectory::Destroy(TDataTable& table) {
  auto it = std::find_if(tables_.begin(), tables_.end(), [&](const auto& t) { return t.get() == &table; });
  if (it == tables_.end()) return;
  std::unique_ptr<TDataTable> doomed = std::move(*it);
  tables_.erase(it);
  session_.ForgetKept(*doomed);
  TFirstError errors;
  if (doomed->Kept()) errors.Run([&] { doomed->CloseFiles(); });
  if (doomed->Opened()) {
    errors.Run([&] { doomed->RollbackTransaction(); });
    if (doomed->Exclusive() && !doomed->ReadOnly()) errors.Run([&] { doomed->Flush(false, false, true); });
    errors.Run([&] { doomed->ReleaseAllLocks(); });
    errors.Run([&] { doomed->CloseFiles(); });
  }
  errors.Rethrow();
}

void TDataDirectory::CloseTable(TDataTable& table) {
  if (table.ReleaseUse() > 0) return;
  // A table in the directory's transaction stays until commit or rollback.
  if (inTransaction_ && table.InTransaction()) return;
  Release(table);
}

void TDataDirectory::Release(TDataTable& table) {
  bool kept = false;
  if (session_.Settings().KeptTables > 0 && table.Keepable()) {
    try {
      kept = table.Park();
    } catch (...) {
      Destroy(table);
      throw;
    }
  }
  if (!kept) {
    Destroy(table);
    return;
  }
  // The session's bound may close the least recently kept table, this one included.
  session_.NoteKept(table);
}

void TDataDirectory::CloseKept(TDataTable& table) {
  if (table.Kept()) Destroy(table);
}

void TDataDirectory::DropKept(std::string_view name, bool inMemory) {
  auto it = Find(name, inMemory || inMemory_);
  if (it != tables_.end() && (*it)->Kept()) Destroy(**it);
}

int TDataDirectory::KeptCount() const {
  return static_cast<int>(std::count_if(tables_.begin(), tables_.end(), [](const auto& t) { return t->Kept(); }));
}

void TDataDirectory::CloseUnusedTables() {
  std::vector<TDataTable*> unused;
  for (const auto& t : tables_) {
    if (t->UseCount() <= 0 && !t->Kept()) unused.push_back(t.get());
  }
  TFirstError errors;
  for (TDataTable* t : unused) errors.Run([&] { Release(*t); });
  errors.Rethrow();
}

void TDataDirectory::CloseAll() {
  inTransaction_ = false;
  TFirstError errors;
  while (!tables_.empty()) errors.Run([&] { Destroy(*tables_.back()); });
  errors.Rethrow();
}

bool TDataDirectory::TableExists(std::string_view name, bool inMemory) const {
  inMemory = inMemory || inMemory_;
  return session_.Files().Exists(FileNameOf(name, kDataExtension), inMemory);
}

void TDataDirectory::CreateTable(std::string_view name, bool inMemory, const TTableDefinition& definition) {
  inMemory = inMemory || inMemory_;
  const std::string table = TrimText(name);
  DropKept(table, inMemory);
  if (Find(table, inMemory) != tables_.end()) {
    RaiseEngineError(QUARRY_OSEACCES, {.database = DatabaseName(), .table = table});
  }
  if (TableExists(table, inMemory)) {
    RaiseEngineError(QUARRY_TABLEEXISTS, {.database = DatabaseName(), .table = table});
  }
  TFileList& list = session_.Files();
  TDataFile data(FileNameOf(table, kDataExtension), inMemory, &list);
  TIndexFile index(FileNameOf(table, kIndexExtension), inMemory, &list);
  data.SetTableName(table);
  data.CreateFile(definition.LanguageId, definition.SortId, definition.Fields, definition.BlobBlockSize,
                  definition.Description, definition.Password, definition.Encrypted, definition.UserMajor,
                  definition.UserMinor);
  if (definition.LastAutoInc != 0) data.SetLastAutoIncValue(definition.LastAutoInc);
  data.FlushTable(session_.Settings().ForceBufferFlush, false);
  index.CreateFile(definition.Encrypted);
  const std::vector<TFieldDefinition>& fields = data.Fields();
  index.DefinePrimaryIndex(definition.Primary, fields);
  for (const TIndexDefinition& secondary : definition.Secondaries) index.AddSecondaryIndex(secondary, fields);
  if (definition.Text.FieldCount > 0) index.DefineTextIndex(definition.Text, fields);
  index.FlushPages();
  index.WriteHeader(true);
  if (data.BlobFieldCount() > 0) {
    TBlobFile blob(FileNameOf(table, kBlobExtension), inMemory, &list);
    blob.SetTableName(table);
    blob.SetBlockSize(data.BlobBlockSize());
    blob.SetEncrypted(definition.Encrypted);
    blob.CreateFile();
    blob.Close();
  }
  index.Close();
  data.Close();
}

void TDataDirectory::DeleteTable(std::string_view name, bool inMemory) {
  inMemory = inMemory || inMemory_;
  const std::string table = TrimText(name);
  auto it = Find(table, inMemory);
  if (it != tables_.end()) {
    if ((*it)->UseCount() > 0 || (*it)->InTransaction()) {
      RaiseEngineError(QUARRY_OSEACCES, {.database = DatabaseName(), .table = table});
    }
    Destroy(**it);
  }
  TFileList& list = session_.Files();
  TFileHandler data(FileNameOf(table, kDataExtension), inMemory, &list);
  data.Delete();
  for (std::string_view extension : {kIndexExtension, kBlobExtension}) {
    TFileHandler other(FileNameOf(table, extension), inMemory, &list);
    if (other.Exists()) other.Delete();
  }
}

void TDataDirectory::RenameTable(std::string_view name, bool inMemory, std::string_view newName) {
  inMemory = inMemory || inMemory_;
  const std::string table = TrimText(name);
  auto it = Find(table, inMemory);
  if (it != tables_.end()) {
    if ((*it)->UseCount() > 0 || (*it)->InTransaction()) {
      RaiseEngineError(QUARRY_OSEACCES, {.database = DatabaseName(), .table = table});
    }
    Destroy(**it);
  }
  DropKept(newName, inMemory);
  TFileList& list = session_.Files();
  for (std::string_view extension : {kDataExtension, kIndexExtension, kBlobExtension}) {
    TFileHandler file(FileNameOf(table, extension), inMemory, &list);
    if (extension != kDataExtension && !file.Exists()) continue;
    file.Rename(FileNameOf(newName, extension));
  }
}

void TDataDirectory::EmptyTable(TDataTable& table) {
  if (!table.Exclusive() && !table.InMemory()) {
    RaiseEngineError(QUARRY_NEEDEXCLACCESS, {.database = DatabaseName(), .table = table.Name()});
  }
  table.Empty();
}

// ---------------------------------------------------------------------------------------
// Transactions

void TDataDirectory::StartTransaction() {
  if (inTransaction_) return;
  for (const auto& table : tables_) {
    // A kept table is not open: it joins when a use takes it up again (OpenTable).
    if (table->Kept() || table->ReadOnly()) continue;
    try {
      table->BeginTransaction();
    } catch (...) {
      TFirstError ignored;
      for (const auto& t : tables_) ignored.Run([&] { t->RollbackTransaction(); });
      throw;
    }
  }
  inTransaction_ = true;
}

void TDataDirectory::Commit(bool endTransaction, bool flush) {
  if (!inTransaction_) return;
  std::vector<TDataTable*> tables;
  for (const auto& t : tables_) {
    if (t->InTransaction()) tables.push_back(t.get());
  }
  // Write locks from the last table to the first; a refusal gives back those already taken
  // and leaves the transaction running.
  std::vector<TDataTable*> locked;
  try {
    for (auto it = tables.rbegin(); it != tables.rend(); ++it) {
      (*it)->CommitLock();
      locked.push_back(*it);
    }
  } catch (...) {
    TFirstError ignored;
    for (TDataTable* t : locked) ignored.Run([&] { t->ReleaseWriteLock(); });
    throw;
  }
  TFirstError errors;
  for (TDataTable* t : tables) errors.Run([&] { t->CommitWrite(flush, endTransaction); });
  for (TDataTable* t : tables) errors.Run([&] { t->CommitFinish(endTransaction); });
  if (endTransaction) inTransaction_ = false;
  errors.Run([&] { CloseUnusedTables(); });
  errors.Rethrow();
}

void TDataDirectory::Rollback() {
  if (!inTransaction_) return;
  TFirstError errors;
  for (const auto& t : tables_) errors.Run([&] { t->RollbackTransaction(); });
  inTransaction_ = false;
  errors.Run([&] { CloseUnusedTables(); });
  errors.Rethrow();
}

}  // namespace quarry
