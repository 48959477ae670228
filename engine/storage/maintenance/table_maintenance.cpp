// TTableMaintenance: deleting, renaming and emptying tables, adding and removing indexes, and
// restructuring (see table_maintenance.h).
#include "engine/storage/maintenance/table_maintenance.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <set>
#include <vector>

#include "engine/platform/locale_services.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/data/value_text.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/files/file_handler.h"
#include "engine/storage/files/file_names.h"
#include "engine/storage/index/btree.h"
#include "engine/storage/index/collation.h"
#include "engine/storage/index/index_key.h"
#include "engine/storage/maintenance/record_conversion.h"
#include "engine/storage/maintenance/structure_check.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"
#include "engine/values/date_time_text.h"
#include "engine/values/expression_collation.h"
#include "engine/values/value_compare.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

using TKey = std::vector<std::uint8_t>;
using TImage = std::vector<std::uint8_t>;

constexpr std::string_view kTableExtensions[] = {kDataExtension, kIndexExtension, kBlobExtension};
constexpr std::string_view kBackupExtensions[] = {kDataBackupExtension, kIndexBackupExtension, kBlobBackupExtension};

TKey DeletedKey(std::uint8_t status, std::int32_t identifier) {
  TKey key(DeletedKeyLength);
  BuildDeletedKey(status, identifier, key.data());
  return key;
}

// ---------------------------------------------------------------- callbacks

// Reports a growing percentage in steps of at least `step`, and 100 once at the end.
class TProgressMeter {
 public:
  TProgressMeter(const TProgressHandler& handler, int step) : handler_(handler), step_(std::max(1, step)) {}
  void Report(std::int64_t done, std::int64_t total) {
    if (!handler_ || total <= 0) return;
    const int percent = static_cast<int>(std::min<std::int64_t>(100, done * 100 / total));
    if (percent >= 100 || percent - last_ < step_) return;
    last_ = percent;
    handler_(percent);
  }
  void Finish() {
    if (handler_) handler_(100);
  }

 private:
  const TProgressHandler& handler_;
  int step_;
  int last_ = 0;
};

// Asks the event handler about one record, remembering a do-not-ask-again answer.
class TEventAsker {
 public:
  explicit TEventAsker(const TRestructureEventHandler& handler) : handler_(handler) {}
  // True to carry on with the copy.
  bool Ask(TRestructureEventKind kind, const std::string& text) {
    if (!handler_ || silenced_) return lastAnswer_;
    bool doNotAskAgain = false;
    bool carryOn = true;
    handler_(kind, text, doNotAskAgain, carryOn);
    lastAnswer_ = carryOn;
    silenced_ = doNotAskAgain;
    return carryOn;
  }

 private:
  const TRestructureEventHandler& handler_;
  bool silenced_ = false;
  bool lastAnswer_ = true;
};

// ---------------------------------------------------------------- records and keys

// The slots of the indexes built from record fields.
std::vector<int> FieldIndexSlots(const TIndexFile& index) {
  std::vector<int> slots;
  if (index.Definition(PrimarySlot).Defined()) slots.push_back(PrimarySlot);
  for (int slot = 1; slot <= index.SecondaryCount(); ++slot) {
    if (index.Definition(slot).Defined()) slots.push_back(slot);
  }
  return slots;
}

// What maintaining the full-text index of one table needs.
struct TTextContext {
  bool Active = false;
  TTextParameters Parameters;
  std::shared_ptr<const TCollation> Collation;

  static TTextContext For(TDataTable& table) {
    TTextContext text;
    TIndexFile& index = table.Index();
    text.Active = index.Definition(TextSlot).FieldCount > 0;
    if (text.Active) {
      text.Parameters = ReadTextParameters(index);
      text.Collation = CollationFor(table.Data().LanguageId(), table.Data().SortId(), table.Name());
    }
    return text;
  }
};

// Inserts (or deletes) the full-text keys of one record.
void ChangeTextWords(TDataTable& table, const TTextContext& text, const std::uint8_t* record, std::int32_t recordNo,
                     bool insert) {
  if (!text.Active) return;
  TIndexFile& index = table.Index();
  const TIndexDefinition& definition = index.Definition(TextSlot);
  const std::int32_t identifier = RecordIdentifier(record);
  TKey key(TextKeyLength);
  for (int i = 0; i < definition.FieldCount; ++i) {
    const TFieldDefinition* field = table.Data().FieldByNumber(definition.FieldNumbers[i]);
    if (field == nullptr || field->DataType != TFieldType::String || IsFieldNull(record, *field)) continue;
    for (const std::string& word : ExtractWords(GetFieldString(record, *field), text.Parameters, *text.Collation)) {
      BuildTextKey(field->FieldNo, word, identifier, key.data());
      TIndexPath path;
      if (insert) {
        index.InsertKey(TextSlot, path, key.data(), recordNo);
      } else {
        index.DeleteKey(TextSlot, path, key.data());
      }
    }
  }
}

// A copy of record recordNo; empty when the slot is deleted.
TImage ReadActiveRecord(TDataTable& table, std::int32_t recordNo) {
  TPinnedRecord record = table.Data().GetRecord(nullptr, recordNo, TReadDirection::Forward, true);
  if (!record) RaiseEngineError(QUARRY_FILECORRUPT, {.table = table.Name()});
  if (RecordStatus(record.Data()) != RecordActive) return {};
  return TImage(record.Data(), record.Data() + table.Data().RecordSize());
}

// Deletes an active record: its keys leave every field index except those in `skipSlots`
// (and the full-text index unless skipText), its "Sys Deleted" key takes the deleted form,
// its slot goes on the free chain and the record count drops.
void RemoveRecord(TDataTable& table, std::int32_t recordNo, const std::set<int>& skipSlots, bool skipText,
                  const TTextContext& text) {
  TDataFile& data = table.Data();
  TIndexFile& index = table.Index();
  TPinnedRecord slot = data.GetRecord(nullptr, recordNo);
  if (!slot || RecordStatus(slot.Data()) != RecordActive) RaiseEngineError(QUARRY_FILECORRUPT, {.table = table.Name()});
  for (const int s : FieldIndexSlots(index)) {
    if (skipSlots.count(s) != 0) continue;
    TIndexPath path;
    index.DeleteKey(s, path, index.KeyBuilder(s).Build(slot.Data()).data());
  }
  if (!skipText) ChangeTextWords(table, text, slot.Data(), recordNo, false);
  const std::int32_t identifier = RecordIdentifier(slot.Data());
  TIndexPath path;
  index.DeleteKey(DeletedSlot, path, DeletedKey(RecordActive, identifier).data());
  index.InsertKey(DeletedSlot, path, DeletedKey(RecordDeleted, identifier).data(), recordNo);
  data.FreeRecord(slot.get());
  slot.Reset();
  index.DecrementRecordCount();
}

// Why a copied record was refused before anything changed.
struct TRefusal {
  TRestructureEventKind Kind = TRestructureEventKind::OtherFailure;
  std::string Text;
};

// Inserts a copied record keeping its identifier, into a table this process holds
// exclusively. Returns false (with the reason) when a check refuses it; nothing has changed
// then. Failures of the files raise.
bool InsertCopiedRecord(TDataTable& table, const TImage& image, const TTextContext& text, TRefusal& refusal) {
  TDataFile& data = table.Data();
  TIndexFile& index = table.Index();
  const std::int32_t identifier = RecordIdentifier(image.data());
  const std::vector<int> slots = FieldIndexSlots(index);
  std::vector<TKey> keys;
  try {
    std::string field;
    const TEngineErrorCode invalid = CheckRecordValidity(data, image.data(), field);
    if (invalid != 0) {
      refusal = {TRestructureEventKind::ValidityCheck, field};
      return false;
    }
    TIndexPath path;
    if (index.FindKey(DeletedSlot, path, DeletedKey(RecordActive, identifier).data())) {
      refusal = {TRestructureEventKind::DuplicateKey, DeletedIndexName};
      return false;
    }
    for (const int slot : slots) {
      keys.push_back(index.KeyBuilder(slot).Build(image.data()));
      if (index.Definition(slot).Unique && index.FindKey(slot, path, keys.back().data())) {
        refusal = {TRestructureEventKind::DuplicateKey, index.Definition(slot).Name};
        return false;
      }
    }
  } catch (const EQuarryEngineError& e) {
    // A check that fails without having changed anything concerns this record only.
    refusal = {TRestructureEventKind::OtherFailure, e.what()};
    return false;
  }
  if (identifier > data.LastAutoIncValue()) data.SetLastAutoIncValue(identifier);
  const std::int32_t recordNo = data.NewRecordNumber();
  for (std::size_t i = 0; i < slots.size(); ++i) {
    TIndexPath path;
    index.InsertKey(slots[i], path, keys[i].data(), recordNo);
  }
  const bool reused = recordNo != data.NextRecordNo();
  TPinnedRecord slot = data.AllocateRecord(nullptr);
  if (!slot) RaiseEngineError(QUARRY_FILECORRUPT, {.table = table.Name()});
  TIndexPath path;
  if (reused) index.DeleteKey(DeletedSlot, path, DeletedKey(RecordDeleted, RecordIdentifier(slot.Data())).data());
  index.InsertKey(DeletedSlot, path, DeletedKey(RecordActive, identifier).data(), recordNo);
  std::memcpy(slot.Data() + AutoIncOffset, image.data() + AutoIncOffset, image.size() - AutoIncOffset);
  data.MarkDirty(slot.get());
  slot.Reset();
  index.IncrementRecordCount();
  ChangeTextWords(table, text, image.data(), recordNo, true);
  return true;
}

// ---------------------------------------------------------------- files

bool FileExists(TFileList& list, const std::string& name, bool inMemory) { return list.Exists(name, inMemory); }

void DeleteFileIfPresent(TFileList& list, const std::string& name, bool inMemory) {
  if (!FileExists(list, name, inMemory)) return;
  TFileHandler file(name, inMemory, &list);
  file.Delete();
}

void RenameFile(TFileList& list, const std::string& from, const std::string& to, bool inMemory) {
  TFileHandler file(from, inMemory, &list);
  file.Rename(to);
}

// Moves a file, copying it when a rename cannot (another file system).
void MoveFile(TFileList& list, const std::string& from, const std::string& to, bool inMemory) {
  try {
    RenameFile(list, from, to, inMemory);
    return;
  } catch (const EQuarryEngineError&) {
    if (FileExists(list, to, inMemory) || !FileExists(list, from, inMemory)) throw;
  }
  TFileHandler source(from, inMemory, &list);
  source.Open();
  try {
    source.CopyTo(to, inMemory);
  } catch (...) {
    source.Close();
    try {
      DeleteFileIfPresent(list, to, inMemory);
    } catch (...) {}
    throw;
  }
  source.Close();
  source.Delete();
}

// Runs a step and swallows its failure (clean-up after an error already being reported).
template <typename F>
void Quietly(F&& step) {
  try {
    step();
  } catch (...) {}
}

// An open table of a directory, closed when the scope ends.
class TOpenTable {
 public:
  TOpenTable(TDataDirectory& directory, std::string_view name, bool inMemory)
      : directory_(directory), table_(&directory.OpenTable(name, inMemory, true, false)) {}
  ~TOpenTable() {
    if (table_ != nullptr) Quietly([&] { directory_.CloseTable(*table_); });
  }
  TOpenTable(const TOpenTable&) = delete;
  TOpenTable& operator=(const TOpenTable&) = delete;
  TDataTable& operator*() const { return *table_; }
  TDataTable* operator->() const { return table_; }
  // Closes now (raising what closing raises).
  void Close() {
    TDataTable* table = table_;
    table_ = nullptr;
    if (table != nullptr) directory_.CloseTable(*table);
  }
  // Forgets the table's cached changes and closes it.
  void Abandon() {
    if (table_ == nullptr) return;
    Quietly([&] { table_->DiscardBuffers(); });
    Quietly([&] { table_->AbandonChange(); });
    Quietly([&] { Close(); });
  }

 private:
  TDataDirectory& directory_;
  TDataTable* table_;
};

}  // namespace

// ================================================================ TTableMaintenance

TTableMaintenance::TTableMaintenance(TDataDirectory& directory, std::string tableName, bool inMemory)
    : directory_(directory), tableName_(TrimText(tableName)), inMemory_(inMemory || directory.InMemory()) {}

void TTableMaintenance::Raise(std::uint16_t code, std::string_view field, std::string_view index) const {
  RaiseEngineError(code, {.database = directory_.DatabaseName(),
                          .table = tableName_,
                          .field = std::string(field),
                          .index = std::string(index)});
}

void TTableMaintenance::RequireClosed() const {
  const TDataTable* table = directory_.FindTable(tableName_, inMemory_);
  if (table != nullptr && (table->UseCount() > 0 || table->InTransaction())) Raise(QUARRY_OSEACCES);
}

void TTableMaintenance::RequireExclusiveWritable(TDataTable& table) const {
  if (!table.Exclusive()) Raise(QUARRY_NEEDEXCLACCESS);
  if (table.ReadOnly()) Raise(QUARRY_OSEACCES);
}

// ---------------------------------------------------------------- whole files

void TTableMaintenance::DeleteTable() {
  RequireClosed();
  directory_.DeleteTable(tableName_, inMemory_);
}

void TTableMaintenance::RenameTable(std::string_view newName, bool toBackup) {
  RequireClosed();
  TFileList& list = directory_.Session().Files();
  const std::string target = TrimText(newName);
  const bool withPath = target.find(kPathDelimiter) != std::string::npos;
  // Tables kept open between uses under either name would hold files that move now.
  directory_.DropKept(tableName_, inMemory_);
  if (!toBackup && !withPath) directory_.DropKept(target, inMemory_);
  std::vector<std::pair<std::string, std::string>> moves;
  for (std::size_t i = 0; i < std::size(kTableExtensions); ++i) {
    const std::string from = directory_.FileNameOf(tableName_, kTableExtensions[i]);
    if (!FileExists(list, from, inMemory_)) {
      if (i == 0) Raise(QUARRY_OSENOENT);
      continue;
    }
    std::string to;
    if (toBackup) {
      to = directory_.FileNameOf(tableName_, kBackupExtensions[i]);
    } else if (withPath) {
      to = TableFileName("", target, kTableExtensions[i]);
    } else {
      to = directory_.FileNameOf(target, kTableExtensions[i]);
    }
    // A rename must never replace another table's file.
    if (!toBackup && FileExists(list, to, inMemory_)) Raise(QUARRY_TABLEEXISTS);
    moves.emplace_back(from, to);
  }
  // An older backup set gives way to the new one.
  if (toBackup) {
    for (std::string_view extension : kBackupExtensions) {
      DeleteFileIfPresent(list, directory_.FileNameOf(tableName_, extension), inMemory_);
    }
  }
  std::size_t done = 0;
  try {
    for (; done < moves.size(); ++done) RenameFile(list, moves[done].first, moves[done].second, inMemory_);
  } catch (...) {
    while (done > 0) {
      --done;
      Quietly([&] { RenameFile(list, moves[done].second, moves[done].first, inMemory_); });
    }
    throw;
  }
}

void TTableMaintenance::EmptyTable(TDataTable& table) {
  RequireExclusiveWritable(table);
  TIndexFile& index = table.Index();
  const bool keepParameters = index.Definition(TextSlot).TextParameters != 0;
  TTextParameters parameters;
  if (keepParameters) parameters = ReadTextParameters(index);
  directory_.EmptyTable(table);
  if (keepParameters) WriteTextParameters(index, parameters);
  table.Flush(true, false, true);
}

// ---------------------------------------------------------------- indexes

int TTableMaintenance::AddIndex(TDataTable& table, TIndexDefinition definition) {
  if (!definition.Temporary) RequireExclusiveWritable(table);
  TDataFile& data = table.Data();
  TIndexFile& index = table.Index();
  // A temporary unique index may still delete records: those changes need the write lock.
  std::optional<TWriteLockGuard> writeLock;
  if (!table.Exclusive() && !table.ReadOnly()) writeLock.emplace(table);
  const int slot = index.AddSecondaryIndex(definition, data.Fields());
  const TTextContext text = TTextContext::For(table);
  const bool unique = index.Definition(slot).Unique;
  TProgressMeter meter(progress_, directory_.Session().Settings().ProgressSteps);
  try {
    const std::int32_t slots = data.NextRecordNo() - 1;
    TKey key;
    for (std::int32_t n = 1; n <= slots; ++n) {
      const TImage record = ReadActiveRecord(table, n);
      if (!record.empty()) {
        key = index.KeyBuilder(slot).Build(record.data());
        TIndexPath path;
        if (unique && index.FindKey(slot, path, key.data())) {
          if (table.ReadOnly()) Raise(QUARRY_OSEACCES, {}, index.Definition(slot).Name);
          RemoveRecord(table, n, {slot}, false, text);
        } else {
          index.InsertKey(slot, path, key.data(), n);
        }
      }
      meter.Report(n, slots);
    }
    table.Flush(true, false, false);
  } catch (...) {
    // Without its keys the new index would lie about the table: take it away again.
    Quietly([&] {
      index.RemoveIndex(slot);
      table.Flush(true, false, false);
    });
    throw;
  }
  meter.Finish();
  return slot;
}

void TTableMaintenance::DeleteIndex(TDataTable& table, std::string_view name) {
  RequireExclusiveWritable(table);
  const int slot = table.Index().FindIndex(name);
  if (slot < 0) Raise(QUARRY_INVALIDINDEXNAME, {}, name);
  DeleteIndexSlot(table, slot);
}

void TTableMaintenance::DeleteIndexSlot(TDataTable& table, int slot) {
  RequireExclusiveWritable(table);
  TIndexFile& index = table.Index();
  if (slot < 0 || slot > index.SecondaryCount() || !index.Definition(slot).Defined()) {
    Raise(QUARRY_INVALIDINDEXNAME, {}, std::to_string(slot));
  }
  index.RemoveIndex(slot);
  if (slot == PrimarySlot) {
    // No primary index from now on: the table appends every new record.
    index.DefinePrimaryIndex(TIndexDefinition{}, table.Data().Fields());
    index.ReportSlotReuse(table.Data());
  }
  table.Flush(true, false, false);
}

// ---------------------------------------------------------------- restructure

namespace {

// The highest identifier of an active record (0 for none): the last active key of
// "Sys Deleted", whose keys order by status, then identifier.
std::int32_t HighestIdentifier(TIndexFile& index) {
  TBTree tree = index.Tree(DeletedSlot);
  TIndexPath path;
  tree.Find(DeletedKey(RecordDeleted, std::numeric_limits<std::int32_t>::min()).data(), path);
  const bool found = tree.OnEntry(path) ? tree.Prior(path) : tree.Last(path);
  if (!found) return 0;
  TKey key(DeletedKeyLength);
  tree.EntryAt(path, key.data());
  return key[0] == RecordActive ? DecodeInt32Key(key.data() + 1) : 0;
}

// Stores the descriptive field attributes and the table attributes of the request.
void StoreAttributes(TDataTable& table, const TRestructureRequest& r) {
  TDataFile& data = table.Data();
  for (int i = 0; i < data.FieldCount(); ++i) {
    TFieldDefinition field = r.Table.Fields[static_cast<std::size_t>(i)];
    field.FieldNo = static_cast<std::uint16_t>(i + 1);
    data.UpdateFieldInfo(i + 1, field);
  }
  // Never below an identifier the table holds: the next insert would repeat it.
  const std::int32_t lastAutoInc = r.LastAutoIncValue == -1
                                       ? data.LastAutoIncValue()
                                       : std::max(r.LastAutoIncValue, HighestIdentifier(table.Index()));
  data.UpdateTableInfo(r.Table.Password, r.Table.Description, r.Table.UserMajor, r.Table.UserMinor, lastAutoInc);
}

// A name for the temporary table that no table of the directory has.
std::string TemporaryTableName(TDataSession& session, TDataDirectory& directory, bool inMemory) {
  std::string path = session.TemporaryFileName(kDataExtension, inMemory);
  const std::size_t slash = path.rfind(kPathDelimiter);
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  name.resize(name.size() - kDataExtension.size());
  const std::string base = name;
  for (int n = 1; n < 10000 && directory.TableExists(name, inMemory); ++n) name = base + "_" + std::to_string(n);
  return name;
}

// Puts the rebuilt table's files in place of the old ones. The old files first become the
// backup set; when the new files cannot all be moved in, they are taken out again and the
// backups renamed back, so that the table is never left without its files.
void SwapFiles(TFileList& list, TDataDirectory& directory, const std::string& table, TDataDirectory& tempDirectory,
               const std::string& temp, bool inMemory, bool keepBackups) {
  const std::size_t kinds = std::size(kTableExtensions);
  auto current = [&](std::size_t i) { return directory.FileNameOf(table, kTableExtensions[i]); };
  auto backup = [&](std::size_t i) { return directory.FileNameOf(table, kBackupExtensions[i]); };
  for (std::size_t i = 0; i < kinds; ++i) DeleteFileIfPresent(list, backup(i), inMemory);
  std::vector<std::size_t> backedUp;
  auto restoreBackups = [&] {
    for (auto it = backedUp.rbegin(); it != backedUp.rend(); ++it) {
      Quietly([&] { RenameFile(list, backup(*it), current(*it), inMemory); });
    }
  };
  try {
    for (std::size_t i = 0; i < kinds; ++i) {
      if (!FileExists(list, current(i), inMemory)) continue;
      RenameFile(list, current(i), backup(i), inMemory);
      backedUp.push_back(i);
    }
  } catch (...) {
    restoreBackups();
    throw;
  }
  std::vector<std::size_t> moved;
  try {
    for (std::size_t i = 0; i < kinds; ++i) {
      const std::string from = tempDirectory.FileNameOf(temp, kTableExtensions[i]);
      if (!FileExists(list, from, inMemory)) continue;
      MoveFile(list, from, current(i), inMemory);
      moved.push_back(i);
    }
  } catch (...) {
    for (std::size_t i : moved) Quietly([&] { DeleteFileIfPresent(list, current(i), inMemory); });
    restoreBackups();
    throw;
  }
  if (!keepBackups) {
    for (std::size_t i : backedUp) Quietly([&] { DeleteFileIfPresent(list, backup(i), inMemory); });
  }
}

// Blocks of copied BLOB values held in the cache before they are written out.
constexpr int kCopyBlocksHeld = 4096;

// Copies a BLOB value into the target's BLOB file when the file itself cannot travel (other
// block size or scrambling). False when the old value cannot be read (a damaged chain).
bool CopyBlobValue(TDataTable& source, const TFieldDefinition& from, const std::uint8_t* oldRecord, TDataTable& target,
                   const TFieldDefinition& to, std::uint8_t* newRecord, std::vector<TBlobReference>& written) {
  const TBlobReference old = GetFieldBlob(oldRecord, from);
  if (source.Blob() == nullptr || target.Blob() == nullptr) return false;
  std::vector<std::uint8_t> content;
  try {
    source.Blob()->ReadBlob(old.FirstBlock, old.ChangeNumber, content);
  } catch (const EQuarryEngineError&) {
    return false;
  }
  TBlobReference copy;
  if (!content.empty()) {
    copy.ChangeNumber = target.Data().NextBlobChangeNumber();
    copy.FirstBlock =
        target.Blob()->WriteBlob(0, 0, copy.ChangeNumber, content.data(), static_cast<std::int64_t>(content.size()));
    written.push_back(copy);
  }
  SetFieldBlob(newRecord, to, copy);
  return true;
}

// Copies every record of `source` into `target`, converting field by field. False when the
// event handler stopped the copy.
bool CopyRecords(TDataTable& source, TDataTable& target, const std::vector<int>& destination, bool blobsCarried,
                 const TRestructureRequest& r, TProgressMeter& meter) {
  TDataFile& oldData = source.Data();
  TDataFile& newData = target.Data();
  const std::vector<TFieldDefinition>& oldFields = oldData.Fields();
  const std::vector<TFieldDefinition>& newFields = newData.Fields();
  const TTextContext text = TTextContext::For(target);
  TEventAsker asker(r.OnEvent);
  std::vector<TBlobReference> written;
  const std::int32_t slots = oldData.NextRecordNo() - 1;
  for (std::int32_t n = 1; n <= slots; ++n) {
    const TImage from = ReadActiveRecord(source, n);
    if (!from.empty()) {
      TImage record = NewRecordWithDefaults(newData);
      SetRecordIdentifier(record.data(), RecordIdentifier(from.data()));
      bool keep = true;
      for (std::size_t i = 0; i < oldFields.size() && keep; ++i) {
        const TFieldDefinition& field = oldFields[i];
        if (field.Computed) continue;
        if (destination[i] < 0) {
          if (!asker.Ask(TRestructureEventKind::FieldDropped, field.Name)) return false;
          continue;
        }
        const TFieldDefinition& to = newFields[static_cast<std::size_t>(destination[i])];
        const bool blobValue = field.IsBlob() && to.IsBlob() && !blobsCarried && !IsFieldNull(from.data(), field);
        const bool converted = blobValue ? CopyBlobValue(source, field, from.data(), target, to, record.data(), written)
                                         : ConvertField(field, from.data(), to, record.data(), newData);
        if (!converted) {
          if (!asker.Ask(TRestructureEventKind::CannotConvert, to.Name)) return false;
          keep = false;
        }
      }
      TRefusal refusal;
      const bool inserted = keep && InsertCopiedRecord(target, record, text, refusal);
      if (!inserted) {
        // The values copied for a record that stays out give their blocks back.
        for (const TBlobReference& blob : written) target.Blob()->FreeChain(blob.FirstBlock, blob.ChangeNumber);
      }
      written.clear();
      if (keep && !inserted && !asker.Ask(refusal.Kind, refusal.Text)) return false;
      if (target.Blob() != nullptr && target.Blob()->CachedBlocks() > kCopyBlocksHeld) target.Blob()->FlushBlocks();
    }
    meter.Report(n, slots);
  }
  return true;
}

TRestructureOutcome RebuildData(TDataDirectory& directory, const std::string& tableName, bool inMemory, TOpenTable& old,
                                const TRestructureRequest& r) {
  TDataSession& session = directory.Session();
  TFileList& list = session.Files();
  TDataTable& source = *old;
  TDataFile& oldData = source.Data();
  TProgressMeter meter(r.OnProgress, session.Settings().ProgressSteps);

  // The new structure numbers its fields by position; destination[old position] is the new
  // position of each old field's values (-1: dropped).
  TTableDefinition definition = r.Table;
  definition.LastAutoInc = 0;  // set once the records are in
  std::vector<int> destination(static_cast<std::size_t>(oldData.FieldCount()), -1);
  for (std::size_t j = 0; j < definition.Fields.size(); ++j) {
    const int from = definition.Fields[j].FieldNo;
    if (from >= 1 && from <= oldData.FieldCount())
      destination[static_cast<std::size_t>(from - 1)] = static_cast<int>(j);
    definition.Fields[j].FieldNo = static_cast<std::uint16_t>(j + 1);
  }
  // BLOB references stay valid when the new table takes the whole BLOB file with it, which
  // needs the same block size and the same scrambling.
  const bool newHasBlobs = std::any_of(definition.Fields.begin(), definition.Fields.end(),
                                       [](const TFieldDefinition& f) { return f.IsBlob(); });
  const std::int32_t newBlockSize = definition.BlobBlockSize == 0 ? DefaultBlobBlockSize : definition.BlobBlockSize;
  const bool blobsCarried = source.HasBlobFile() && newHasBlobs && newBlockSize == oldData.BlobBlockSize() &&
                            definition.Encrypted == oldData.Encrypted() &&
                            (!definition.Encrypted || definition.Password == oldData.Password());

  TDataDirectory& tempDirectory =
      inMemory ? session.OpenDirectory("Memory", "") : session.OpenDirectory("", session.PrivateDirectory());
  struct TDirectoryUse {
    TDataSession& Session;
    TDataDirectory& Directory;
    ~TDirectoryUse() {
      Quietly([&] { Session.CloseDirectory(Directory); });
    }
  } tempUse{session, tempDirectory};

  const std::string temp = TemporaryTableName(session, tempDirectory, inMemory);
  try {
    tempDirectory.CreateTable(temp, inMemory, definition);
    bool completed = false;
    {
      TOpenTable target(tempDirectory, temp, inMemory);
      try {
        TIndexFile& index = target->Index();
        if (r.TextParameters) {
          WriteTextParameters(index, *r.TextParameters);
        } else if (source.Index().Definition(TextSlot).TextParameters != 0) {
          WriteTextParameters(index, ReadTextParameters(source.Index()));
        }
        completed = CopyRecords(source, *target, destination, blobsCarried, r, meter);
        if (completed) {
          // Never below an identifier the new table holds: the next insert would repeat it.
          const std::int32_t lastAutoInc =
              std::max(r.LastAutoIncValue == -1 ? oldData.LastAutoIncValue() : r.LastAutoIncValue,
                       target->Data().LastAutoIncValue());
          target->Data().UpdateTableInfo(definition.Password, definition.Description, r.Table.UserMajor,
                                         r.Table.UserMinor, lastAutoInc);
          // References keep their change numbers when the BLOB file travels; new ones must
          // not repeat them.
          if (blobsCarried) target->Data().SetLastBlobChangeNumber(oldData.LastBlobChangeNumber());
          target->Flush(true, false, false);
          target.Close();
        }
      } catch (...) {
        target.Abandon();
        throw;
      }
      if (!completed) target.Abandon();
    }
    if (!completed) {
      Quietly([&] { tempDirectory.DeleteTable(temp, inMemory); });
      return TRestructureOutcome::Stopped;
    }
    if (blobsCarried) {
      const std::string blobName = tempDirectory.FileNameOf(temp, kBlobExtension);
      DeleteFileIfPresent(list, blobName, inMemory);
      source.Blob()->CopyTo(blobName, inMemory);
    }
    old.Close();
    SwapFiles(list, directory, tableName, tempDirectory, temp, inMemory, !r.NoBackups && !inMemory);
  } catch (...) {
    Quietly([&] { tempDirectory.DeleteTable(temp, inMemory); });
    throw;
  }
  meter.Finish();
  return TRestructureOutcome::DataRebuilt;
}

// What an index rebuild changed: the rebuilt indexes, and the records a new unique index
// refused (still in the data file and in the indexes that were not rebuilt).
struct TIndexRebuild {
  std::set<int> Marked;
  bool TextMarked = false;
  std::vector<std::int32_t> Refused;
};

// Applies the requested index definitions to the index file and builds every index that
// changed. Only the index file changes. False when the event handler stopped it (the caller
// restores the index file).
bool RebuildIndexFile(TDataTable& table, const TRestructureRequest& r, const TTextParameters& newParameters,
                      TProgressMeter& meter, TIndexRebuild& rebuild) {
  TDataFile& data = table.Data();
  TIndexFile& index = table.Index();
  const std::vector<TFieldDefinition> fields = data.Fields();
  std::set<int>& marked = rebuild.Marked;
  bool& textMarked = rebuild.TextMarked;

  const TIndexDefinition wantPrimary = r.Table.Primary.FieldCount == 0 ? TIndexDefinition{} : r.Table.Primary;
  const TIndexDefinition havePrimary =
      index.Definition(PrimarySlot).Defined() ? index.Definition(PrimarySlot) : TIndexDefinition{};
  if (!SameIndex(wantPrimary, havePrimary)) {
    if (index.Definition(PrimarySlot).Defined()) index.RemoveIndex(PrimarySlot);
    index.DefinePrimaryIndex(wantPrimary, fields);
    if (wantPrimary.FieldCount > 0) marked.insert(PrimarySlot);
    index.ReportSlotReuse(data);
  }
  // Secondary slots keep their order: from the first one that differs, the rest are
  // removed and defined again.
  const int have = index.SecondaryCount();
  const int want = static_cast<int>(r.Table.Secondaries.size());
  int same = 0;
  while (same < have && same < want &&
         SameIndex(r.Table.Secondaries[static_cast<std::size_t>(same)], index.Definition(same + 1))) {
    ++same;
  }
  for (int s = have; s > same; --s) index.RemoveIndex(s);
  for (int j = same; j < want; ++j)
    marked.insert(index.AddSecondaryIndex(r.Table.Secondaries[static_cast<std::size_t>(j)], fields));

  const auto collation = CollationFor(data.LanguageId(), data.SortId(), table.Name());
  const bool textFieldsDiffer = !SameTextIndexFields(r.Table.Text, index.Definition(TextSlot));
  const bool parametersDiffer = !SameTextParameters(ReadTextParameters(index), newParameters, *collation);
  if (textFieldsDiffer || parametersDiffer) {
    if (r.Table.Text.FieldCount > 0) {
      index.DefineTextIndex(r.Table.Text, fields);
      textMarked = true;
    } else if (index.Definition(TextSlot).FieldCount > 0) {
      index.RemoveIndex(TextSlot);
    }
    if (parametersDiffer) WriteTextParameters(index, newParameters);
  }

  const TTextContext text = TTextContext::For(table);
  TEventAsker asker(r.OnEvent);
  std::vector<std::int32_t>& doomed = rebuild.Refused;
  const std::int32_t slots = data.NextRecordNo() - 1;
  std::vector<TKey> keys;
  for (std::int32_t n = 1; n <= slots; ++n) {
    const TImage record = ReadActiveRecord(table, n);
    if (!record.empty()) {
      keys.clear();
      std::optional<std::string> duplicate;
      for (const int slot : marked) {
        keys.push_back(index.KeyBuilder(slot).Build(record.data()));
        TIndexPath path;
        if (index.Definition(slot).Unique && index.FindKey(slot, path, keys.back().data())) {
          duplicate = index.Definition(slot).Name;
          break;
        }
      }
      if (duplicate) {
        if (!asker.Ask(TRestructureEventKind::DuplicateKey, *duplicate)) return false;
        doomed.push_back(n);
      } else {
        std::size_t k = 0;
        for (const int slot : marked) {
          TIndexPath path;
          index.InsertKey(slot, path, keys[k++].data(), n);
        }
        if (textMarked) ChangeTextWords(table, text, record.data(), n, true);
      }
    }
    meter.Report(n, slots);
  }
  return true;
}

// Copies the saved index file (and the saved data file, when there is one) back over the
// table's and reloads them. A copy stays on disk when putting it back fails.
void RestoreFiles(TDataTable& table, TFileList& list, const std::string& indexCopy, const std::string& dataCopy,
                  bool inMemory) {
  Quietly([&] { table.DiscardBuffers(); });
  if (!dataCopy.empty()) {
    try {
      // Reopening drops the field definitions and header held in memory along with the file.
      table.Data().CopyFrom(dataCopy, inMemory);
      table.Data().Close();
      table.Data().Open();
      DeleteFileIfPresent(list, dataCopy, inMemory);
    } catch (...) {}
  }
  try {
    table.Index().CopyFrom(indexCopy, inMemory);
    table.AbandonChange();
    DeleteFileIfPresent(list, indexCopy, inMemory);
  } catch (...) {}
}

TRestructureOutcome RebuildIndexes(TDataDirectory& directory, const std::string& tableName, bool inMemory,
                                   TOpenTable& open, const TRestructureRequest& r,
                                   const TTextParameters& newParameters) {
  TDataTable& table = *open;
  TFileList& list = directory.Session().Files();
  const std::string backup = directory.FileNameOf(tableName, kIndexBackupExtension);
  TProgressMeter meter(r.OnProgress, directory.Session().Settings().ProgressSteps);
  table.Flush(true, false, false);
  DeleteFileIfPresent(list, backup, inMemory);
  table.Index().CopyTo(backup, inMemory);
  bool completed = false;
  std::string dataCopy;
  try {
    TIndexRebuild rebuild;
    completed = RebuildIndexFile(table, r, newParameters, meter, rebuild);
    if (completed) {
      // Refused records leave the data file too: keep a copy of it until the change is done,
      // so that a failure can put both files back as they were.
      if (!rebuild.Refused.empty()) {
        const std::string copy = directory.Session().TemporaryFileName(kDataExtension, inMemory);
        try {
          table.Data().CopyTo(copy, inMemory);
        } catch (...) {
          Quietly([&] { DeleteFileIfPresent(list, copy, inMemory); });
          throw;
        }
        dataCopy = copy;
        const TTextContext text = TTextContext::For(table);
        for (const std::int32_t n : rebuild.Refused) RemoveRecord(table, n, rebuild.Marked, rebuild.TextMarked, text);
      }
      StoreAttributes(table, r);
      table.Flush(true, false, false);
    }
  } catch (...) {
    RestoreFiles(table, list, backup, dataCopy, inMemory);
    throw;
  }
  if (!completed) {
    RestoreFiles(table, list, backup, dataCopy, inMemory);
    return TRestructureOutcome::Stopped;
  }
  if (!dataCopy.empty()) Quietly([&] { DeleteFileIfPresent(list, dataCopy, inMemory); });
  if (r.NoBackups) Quietly([&] { DeleteFileIfPresent(list, backup, inMemory); });
  open.Close();
  meter.Finish();
  return TRestructureOutcome::IndexesRebuilt;
}

}  // namespace

TRestructureOutcome TTableMaintenance::RestructureTable(const TRestructureRequest& request, bool cursorOpen,
                                                        bool exclusive, bool readOnly) {
  if (cursorOpen) Raise(QUARRY_TABLEOPEN);
  if (!exclusive) Raise(QUARRY_NEEDEXCLACCESS);
  if (readOnly) Raise(QUARRY_OSEACCES);
  const TRestructureRequest r = CheckedStructure(request, tableName_, directory_.DatabaseName());

  TOpenTable table(directory_, tableName_, inMemory_);
  if (table->ReadOnly()) Raise(QUARRY_OSEACCES);
  TDataFile& data = table->Data();
  TIndexFile& index = table->Index();
  // Opened here without a cursor: an encrypted table needs its password given to the session.
  if (data.Encrypted() && !directory_.Session().HasPassword(data.Password())) Raise(QUARRY_NOTSUFFTABLERIGHTS);

  // What has to be rebuilt.
  const auto blockSize = [](std::int32_t size) { return size == 0 ? DefaultBlobBlockSize : size; };
  bool dataRebuild =
      r.Table.Encrypted != data.Encrypted() || (r.Table.Encrypted && r.Table.Password != data.Password()) ||
      blockSize(r.Table.BlobBlockSize) != data.BlobBlockSize() || r.Table.LanguageId != data.LanguageId() ||
      r.Table.SortId != data.SortId() || static_cast<int>(r.Table.Fields.size()) != data.FieldCount();
  for (int i = 0; !dataRebuild && i < data.FieldCount(); ++i) {
    dataRebuild =
        StorageDiffers(data.Fields()[static_cast<std::size_t>(i)], r.Table.Fields[static_cast<std::size_t>(i)], i + 1);
  }
  if (dataRebuild) return RebuildData(directory_, tableName_, inMemory_, table, r);

  const auto collation = CollationFor(data.LanguageId(), data.SortId(), tableName_);
  const TTextParameters oldParameters = ReadTextParameters(index);
  const TTextParameters newParameters = r.TextParameters.value_or(oldParameters);
  bool indexRebuild =
      static_cast<int>(r.Table.Secondaries.size()) != index.SecondaryCount() ||
      !SameIndex(r.Table.Primary.FieldCount == 0 ? TIndexDefinition{} : r.Table.Primary,
                 index.Definition(PrimarySlot).Defined() ? index.Definition(PrimarySlot) : TIndexDefinition{}) ||
      !SameTextIndexFields(r.Table.Text, index.Definition(TextSlot)) ||
      !SameTextParameters(oldParameters, newParameters, *collation);
  for (int s = 1; !indexRebuild && s <= index.SecondaryCount(); ++s) {
    indexRebuild = !SameIndex(r.Table.Secondaries[static_cast<std::size_t>(s - 1)], index.Definition(s));
  }
  if (indexRebuild) return RebuildIndexes(directory_, tableName_, inMemory_, table, r, newParameters);

  StoreAttributes(*table, r);
  table->Flush(true, false, false);
  TProgressMeter(r.OnProgress, 1).Finish();
  table.Close();
  return TRestructureOutcome::AttributesOnly;
}

}  // namespace quarry
