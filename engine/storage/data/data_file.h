// TDataFile: the table data file (".DAT") of one open table in this process.
//
// It owns the header image and the field definitions, reads, caches and writes records for
// every cursor of the process that has the table open, hands out record slots (reusing
// deleted ones through the free chain), issues auto-increment values and BLOB change
// numbers, checks a file's header on open and sorts a table's records in place.
// The byte layouts are in data_header.h (header), field_definition.h (definitions) and
// record_buffer.h (records).
//
// Concurrency: TDataFile has no lock of its own; every call runs while the caller holds the
// table's engine-level mutual exclusion and the file locks the operation needs. Each
// seek-plus-transfer pair runs inside the file's section (TFileHandler::ReadAt/WriteAt).
//
// Invariants (between calls):
//  - Header().NextRecordNo - 1 slots exist in the file or in the cache (new slots are
//    created dirty, so a flush always writes them);
//  - every cached record's number lies in 1 .. NextRecordNo - 1;
//  - the file on disk matches the last header written: when a write-back fails, the file is
//    cut back to that header's record count and the in-memory state returns to it, so the
//    table reopens with every record of the last successful flush.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/data/data_header.h"
#include "engine/storage/data/field_definition.h"
#include "engine/storage/data/record_cache.h"
#include "engine/storage/data/value_text.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/files/file_handler.h"

namespace quarry {

// The session settings the data file follows.
struct TDataFileSettings {
  int RecordBufferBytes = 16384;  // record cache limit in bytes
  int RecordBufferCount = 8192;   // record cache limit in records
  bool ForceBufferFlush = false;  // ask the OS to flush its buffers after each write
  bool StrictChangeDetection = false;
  // A new temporary file name without extension (the session's temporary name); empty
  // gives a unique name in the temporary directory.
  std::function<std::string()> TemporaryName;
};

// What a record fetch asks of the cursor that reads (cursors implement it).
class TRecordReader {
 public:
  virtual ~TRecordReader() = default;
  // The change check before a disk read: true when another process changed the table and
  // the caches were dropped; the fetch then returns no record and the caller starts again.
  virtual bool CheckForChanges() { return false; }
  // Read-ahead in the reader's current order: how many records, starting with recordNo, have
  // consecutive record numbers going forward (recordNo, +1, ...) or backward (recordNo, -1,
  // ...), at most limit; -1 when the reader follows the natural order.
  virtual int ConsecutiveRecords(std::int32_t recordNo, bool forward, int limit) {
    (void)recordNo;
    (void)forward;
    (void)limit;
    return -1;
  }
};

enum class TReadDirection { Forward, Backward };

class TDataFile;

// A cached record pinned for a caller; unpins when destroyed. Move-only. It must be released
// before its TDataFile is destroyed; a record dropped from the cache while pinned (discard,
// rollback, sort) stays readable through the pin until it is released.
class TPinnedRecord {
 public:
  TPinnedRecord() = default;
  TPinnedRecord(TDataFile* file, TRecord* record) : file_(file), record_(record) {}
  TPinnedRecord(TPinnedRecord&& other) noexcept { *this = std::move(other); }
  TPinnedRecord& operator=(TPinnedRecord&& other) noexcept;
  TPinnedRecord(const TPinnedRecord&) = delete;
  TPinnedRecord& operator=(const TPinnedRecord&) = delete;
  ~TPinnedRecord() { Reset(); }

  explicit operator bool() const { return record_ != nullptr; }
  TRecord* operator->() const { return record_; }
  TRecord* get() const { return record_; }
  std::uint8_t* Data() const { return record_->Data.data(); }
  // Unpins now.
  void Reset();

 private:
  TDataFile* file_ = nullptr;
  TRecord* record_ = nullptr;
};

// Options of SortRecords.
struct TSortOptions {
  // Key fields: copies of the table's definitions, with Descending set as wanted.
  std::vector<TFieldDefinition> KeyFields;
  bool CaseInsensitive = false;
  std::int64_t RowLimit = -1;  // negative: none
  bool Distinct = false;
  // Grouping. Accumulate(groupRow, record, start): with start, groupRow is a fresh copy of
  // the group's first record; otherwise record (same key) is added into groupRow.
  std::function<void(std::uint8_t* groupRow, const std::uint8_t* record, bool start)> Accumulate;
  std::function<void(std::uint8_t* groupRow)> Finalise;
  std::function<bool(const std::uint8_t* groupRow)> Keep;
  // Told the number of output rows when the table was cut (the index file's active count).
  std::function<void(std::int64_t activeRecords)> SetActiveRecordCount;
};

class TDataFile : public TFileHandler {
 public:
  explicit TDataFile(std::string fileName = {}, bool inMemory = false, TFileList* list = nullptr);
  ~TDataFile() override;

  // ---- settings and hooks supplied by the table layer ----
  void SetSettings(TDataFileSettings settings);
  const TDataFileSettings& Settings() const { return settings_; }
  // The index file reports whether deleted slots may be reused (off for tables created
  // without a primary index).
  void SetSlotReuse(bool reuse) { slotReuse_ = reuse; }
  bool SlotReuse() const { return slotReuse_; }
  // Set while this table object holds the table lock (transactions): the cache then grows
  // instead of writing dirty records.
  void SetHoldsTableLock(bool holds) { holdsTableLock_ = holds; }
  // Replaces the check of minimum/maximum/default texts done by VerifyHeader.
  void SetValueTextValidator(TValueTextValidator validator) { valueValidator_ = std::move(validator); }
  // The table name used in error messages (the file name when empty).
  void SetTableName(std::string name) { tableName_ = std::move(name); }

  // ---- life cycle ----
  // Builds the header and definitions in memory and creates the (empty) file; nothing else
  // is written until the first flush. Raises QUARRY_BLOBLIMIT for a 129th BLOB field, QUARRY_RECTOOBIG for a record
  // over 65,535 bytes, QUARRY_FLDLIMIT for more than 1,024 fields.
  void CreateFile(std::uint16_t languageId, std::uint16_t sortId, std::vector<TFieldDefinition> fields,
                  std::int32_t blobBlockSize, std::string_view description, std::string_view password, bool encrypted,
                  std::uint16_t userMajor = 0, std::uint16_t userMinor = 0);
  // Opens the file and loads header and definitions (QUARRY_HEADERCORRUPT for a short or absurd header).
  void Open() override;
  // Releases cached records and definitions (dirty records must have been flushed).
  void Close() override;

  // ---- header ----
  void VerifyHeader();
  // Walks every record slot: active records carry their own number, and the free chain
  // from the header's first free slot visits exactly the deleted slots, without a loop.
  // Raises QUARRY_FILECORRUPT on any mismatch. For tests and table checks; reads the whole file.
  void VerifyRecords();
  void CheckVersion();
  void ReadHeader();
  bool HeaderChanged();
  // Reads the header without taking it: true when its change counter and record layout
  // are the ones in memory.
  bool HeaderMatchesFile();
  bool WriteHeader(bool force = false);
  void TouchHeader();
  void WriteFieldDefinitions();
  void Empty();

  // ---- records ----
  // The pinned record, read from disk (with read-ahead) when not cached. recordNo equal to
  // the next record number appends a new slot. An empty result means the reader's change
  // check dropped the caches: start again.
  TPinnedRecord GetRecord(TRecordReader* reader, std::int32_t recordNo,
                          TReadDirection direction = TReadDirection::Forward, bool readAhead = false);
  void MarkDirty(TRecord* record) { record->Dirty = true; }
  void UnpinRecord(TRecord* record) { cache_.Unpin(record); }

  std::int32_t NewRecordNumber() const;
  // Takes the slot NewRecordNumber names: a reused slot leaves the free chain, its image
  // cleared to an active record; returns it pinned and dirty.
  TPinnedRecord AllocateRecord(TRecordReader* reader = nullptr);
  // Marks the record deleted and pushes its slot on the free chain.
  void FreeRecord(TRecord* record);
  // Writes count record images (RecordSize() bytes each, back to back) after the last
  // record in one write, past the cache, and makes them part of the table: for filling a
  // table no one else reads meanwhile (a query result). Their status and link are set here;
  // the images are scrambled in place when the table is encrypted.
  void AppendRecords(std::uint8_t* images, std::int32_t count);

  // Writes dirty unpinned records in runs of consecutive numbers.
  void FlushRecords();
  void DiscardRecords();
  void TrimCache();
  // Lets the cache hold up to `records` records until the next TrimCache (a statement that
  // reads the table under its read lock, whose records stay valid while no one else writes).
  void WidenCache(int records);
  // Flush of the whole table: writes changed definitions, dirty records and then the header
  // when modified (the header last, as it is what makes new records part of the table);
  // asks the OS to flush its buffers when anything was written and forceOsFlush or
  // ForceBufferFlush; optionally trims the cache. Returns whether anything was written.
  // (Flush(), inherited, is the OS flush alone.)
  bool FlushTable(bool forceOsFlush = false, bool trim = false);

  // ---- numbers ----
  std::int32_t NextAutoIncValue();
  void SetLastAutoIncValue(std::int32_t value);
  std::int32_t NextBlobChangeNumber();
  // A table that takes over another's BLOB file continues its change numbers.
  void SetLastBlobChangeNumber(std::int32_t value);
  std::int64_t PhysicalRecordCount() const { return std::int64_t{header_.NextRecordNo} - 1; }

  // ---- header fields ----
  const TDataHeader& Header() const { return header_; }
  int RecordSize() const { return header_.RecordSize; }
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  int BlobFieldCount() const { return header_.BlobFieldCount; }
  std::int32_t BlobBlockSize() const {
    return header_.BlobBlockSize == 0 ? DefaultBlobBlockSize : header_.BlobBlockSize;
  }
  std::int32_t ChangeCounter() const { return header_.ChangeCounter; }
  std::int32_t FirstFree() const { return header_.FirstFree; }
  std::int32_t NextRecordNo() const { return header_.NextRecordNo; }
  std::int32_t LastAutoIncValue() const { return header_.LastAutoInc; }
  std::int32_t LastBlobChangeNumber() const { return header_.LastBlobChange; }
  std::uint16_t LanguageId() const { return header_.LanguageId; }
  std::uint16_t SortId() const { return header_.SortId; }
  std::uint16_t UserMajorVersion() const { return header_.UserMajor; }
  std::uint16_t UserMinorVersion() const { return header_.UserMinor; }
  bool Encrypted() const { return header_.Encrypted; }
  std::string Description() const;
  std::string Password() const;
  bool HeaderModified() const { return headerModified_; }
  bool FieldDefinitionsChanged() const { return definitionsChanged_; }
  // Set by every write of the header (the table layer clears it when it has noted the change).
  bool TableModified() const { return tableModified_; }
  void ClearTableModified() { tableModified_ = false; }
  int RecordsPerRead() const { return recordsPerRead_; }
  int CacheCapacity() const { return cacheCapacity_; }

  // ---- field definitions ----
  const std::vector<TFieldDefinition>& Fields() const { return fields_; }
  // By number (1-based) or by name (trimmed, case-insensitive); null when there is none.
  const TFieldDefinition* FieldByNumber(int fieldNo) const;
  const TFieldDefinition* FieldByName(std::string_view name) const;
  void UpdateFieldInfo(int fieldNo, const TFieldDefinition& definition);
  void UpdateTableInfo(std::string_view password, std::string_view description, std::uint16_t userMajor,
                       std::uint16_t userMinor, std::int32_t lastAutoInc);

  // Stores a string value by the field's rules with the table's locale for its case.
  void SetString(std::uint8_t* record, const TFieldDefinition& field, std::string_view text) const;

  // ---- sorting ----
  void SortRecords(const TSortOptions& options);

  // ---- statistics ----
  std::int64_t CacheHits() const { return cache_.Hits(); }
  std::int64_t DiskReads() const { return diskReads_; }
  std::int64_t RunWrites() const { return runWrites_; }
  // Number of run files the last SortRecords wrote (0 when it sorted in memory).
  int LastSortRuns() const { return lastSortRuns_; }
  const TRecordCache& Cache() const { return cache_; }

 private:
  friend class TPinnedRecord;
  friend class TRecordSorter;

  [[noreturn]] void Raise(TEngineErrorCode code) const;
  std::int64_t RecordOffset(std::int32_t recordNo) const {
    return header_.RecordsOffset() + std::int64_t{recordNo - 1} * header_.RecordSize;
  }
  void SetupAfterLoad();
  void ScrambleRecord(std::uint8_t* data) const;
  TRecord* NewCacheSlot(std::int32_t recordNo);
  void MakeRoom();
  void ReadBatch(TRecordReader* reader, std::int32_t recordNo, TReadDirection direction, bool readAhead);
  // Writes the given records (sorted, consecutive runs coalesced); clears their dirty flags
  // only when everything was written.
  void WriteRecords(const std::vector<TRecord*>& records);
  void WriteHeaderImage();
  // Returns the file and this object to the last header written after a failed write.
  void RecoverFromFailedWrite();
  std::string TemporaryFileName();

  TDataFileSettings settings_;
  TDataHeader header_;
  TDataHeader diskHeader_;  // as last read from or written to the file
  bool diskHeaderValid_ = false;
  std::vector<TFieldDefinition> fields_;
  std::vector<std::uint8_t> rawDefinitions_;  // unscrambled definition images as on disk
  TRecordCache cache_;
  std::vector<std::uint8_t> readBuffer_;
  std::vector<std::uint8_t> writeBuffer_;
  int recordsPerRead_ = 1;
  int cacheCapacity_ = 1;
  std::int64_t diskReads_ = 0;
  std::int64_t runWrites_ = 0;
  int lastSortRuns_ = 0;
  bool headerModified_ = false;
  bool definitionsChanged_ = false;
  bool tableModified_ = false;
  bool slotReuse_ = true;
  bool holdsTableLock_ = false;
  // Record numbers of a batch read in progress (write-back skips them).
  std::int32_t batchFirst_ = 0;
  std::int32_t batchLast_ = -1;
  TValueTextValidator valueValidator_;
  std::string tableName_;
};

}  // namespace quarry
