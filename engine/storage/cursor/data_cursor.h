// TDataCursor: the engine's handle on one open table. Every read and change of table data by
// the dataset layer and the SQL engine goes through a cursor: navigation in an index order or
// in record-number (natural) order, key searches, ranges, filters, bookmarks, record counts
// and positions, field access, and inserts, updates and deletes that keep every index, the
// record count and the filter bitmaps consistent under the table's locks.
//
// Ownership: a cursor belongs to one session's directory (it must not outlive it) and shares
// that directory's TDataTable with every other cursor of the session on the same table.
// Other sessions and processes meet it only through the table files' byte-range locks and
// header change counters; the cursor notices their changes at the start of every navigation
// or search (see CheckChanges in the .cpp) and repositions on its bookmark.
//
// Record buffers passed in and out are RecordBufferSize() bytes: the stored record image
// (record_buffer.h) followed by the values of computed fields, if any.
//
// Result codes: navigation, searches and bookmarks return 0 or an engine code (8705 BOF,
// 8706 EOF, 8709 no current record, 8710 not found) instead of raising when they merely run
// out of records; everything else raises EQuarryEngineError.
//
// Position model: the cursor is before the first record (Bof), after the last (Eof), on a
// record, or — both flags set — nowhere (empty set). In index order the position is a path in
// the current index (kept across calls; never holds a page pinned); in natural order it is a
// record number walked through the visible-records bitmap.
//
// Threads: one thread at a time (that of the session).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/blob/blob_file.h"
#include "engine/storage/cursor/cursor_filter.h"
#include "engine/storage/data/data_file.h"
#include "engine/storage/data/field_definition.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/index/btree.h"
#include "engine/storage/index/index_definition.h"
#include "engine/storage/index/text_index.h"
#include "engine/storage/table/directory.h"
#include "engine/values/records_bitmap.h"

namespace quarry {

class TDataSession;
class TDataTable;

// Slot number meaning "no index": natural (record-number) order.
constexpr int NaturalOrderSlot = 255;
// Most filters one cursor may hold.
constexpr int MaxCursorFilters = 64;
// Longest key (and so index bookmark) of any index.
constexpr int MaxKeyLength = 522;

// Asked for a table's password when the session does not know it. Return true with a password
// to try (the cursor adds it to the session's password list and checks again); false declines
// the open (10498). The user value of the callback is whatever the function captures.
using TPasswordCallback = std::function<bool(const std::string& tableName, std::string& password)>;

// A bookmark: the full key of the current record in the current index, or the 4-byte record
// number in natural order. Only meaningful to the cursor (and index) that made it.
using TBookmark = std::vector<std::uint8_t>;

// The table information kept in the data file's header.
struct TTableInfo {
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
  std::int32_t BlobBlockSize = 0;
  std::string Description;
  bool Encrypted = false;
  std::string Password;
  std::uint16_t UserMajor = 0;
  std::uint16_t UserMinor = 0;
  std::int32_t LastAutoInc = 0;
  double LastUpdate = 0.0;  // local time of the last header write, days since 1899-12-30
  std::int32_t FieldCount = 0;
  std::int32_t RecordSize = 0;
};

// Everything CreateTable is given. Names and sizes are checked and normalised by
// CreateTable before anything is written.
struct TCreateTableDefinition {
  std::vector<TFieldDefinition> Fields;  // FieldNo 1..n, any order; offsets are assigned
  TIndexDefinition Primary;              // no fields: a table without primary index
  std::vector<TIndexDefinition> Secondaries;
  TIndexDefinition Text;  // no fields: no text index
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
  std::int32_t BlobBlockSize = 512;
  std::string Description;
  bool Encrypted = false;
  std::string Password;
  std::int32_t LastAutoInc = 0;
  std::uint16_t UserMajor = 0;
  std::uint16_t UserMinor = 0;
  bool AllowComputedFields = false;  // result tables of the SQL engine
};

class TDataCursor : public TRecordReader {
 public:
  // The cursor works on tables of `directory` (which must outlive it).
  explicit TDataCursor(TDataDirectory& directory);
  // Closes the cursor (errors on the way are swallowed; call Close to see them).
  ~TDataCursor() override;
  TDataCursor(const TDataCursor&) = delete;
  TDataCursor& operator=(const TDataCursor&) = delete;

  // ---- options (10031 on an open cursor) ----
  // The name is stored without path and without a ".DAT" extension.
  void SetTableName(std::string_view name);
  void SetExclusive(bool exclusive);
  void SetReadOnly(bool readOnly);
  void SetInMemory(bool inMemory);
  void SetPasswordCallback(TPasswordCallback callback);
  // Engine work cursors (restructuring, SQL temporaries): LockRecord does nothing for them.
  void SetInternal(bool internal);
  const std::string& TableName() const { return tableName_; }
  bool Exclusive() const { return exclusive_; }
  // The option, or a table whose files could only be opened read-only.
  bool ReadOnly() const;
  bool InMemory() const { return inMemory_; }
  bool Internal() const { return internal_; }
  // The table's language and sort identifiers (0 while closed).
  std::uint16_t LanguageId() const;
  std::uint16_t SortId() const;

  // ---- life cycle ----
  // Opens the table: shared table object from the directory (11013 when exclusivity
  // conflicts), full header verification on the first open in the process, the password
  // (10498 when declined), field definitions, primary index (natural order without one),
  // positioned before the first record. A table whose files open read-only makes the cursor
  // read-only.
  void Open();
  // Opens the cursor on a table object its directory already holds open (the engine's own
  // record path over a table in use): no header checks, no password; natural order. Record
  // images posted through it keep the BLOB references they carry (they move with their
  // BLOB file); other cursors give a record that refers to another's chain its own copy.
  void OpenOn(TDataTable& table);
  // Closes; closing a closed cursor does nothing. Releases this cursor's record lock.
  void Close();
  bool IsOpen() const { return table_ != nullptr; }
  // Takes the read lock (rereading the headers) and repositions on the current bookmark.
  void Refresh();

  // ---- what the cursor works on ----
  TDataDirectory& Directory() const { return directory_; }
  TDataSession& Session() const;
  // The shared table object; only while open.
  TDataTable& Table() const;

  // ---- table information ----
  // Read from the data file's header; for a closed cursor straight from the file.
  TTableInfo TableInfo();
  bool TableExists();

  // ---- fields ----
  // The fields the cursor presents: the table's own, or the view laid over them with
  // ReplaceFieldDefinitions. Field numbers of GetFieldDefinition, GetField and PutField are
  // presented numbers (1..FieldCount()).
  int FieldCount() const { return static_cast<int>(presented_.size()); }
  const std::vector<TFieldDefinition>& Fields() const { return presented_; }
  // 9985 with the number as text when outside 1..FieldCount().
  const TFieldDefinition& GetFieldDefinition(int fieldNo) const;
  // By name, trimmed and ignoring case; 9985 with the name when there is none.
  const TFieldDefinition& GetFieldDefinition(std::string_view name) const;
  // The table's stored fields, whatever view is presented: indexes, validity checks,
  // defaults and expression filters work on these.
  const std::vector<TFieldDefinition>& TableFields() const { return fields_; }
  // The table field a presented field shows (0 for a computed field); 9985 for a bad number.
  int TableFieldNo(int fieldNo) const;
  // Size of the stored record, and of the cursor's record buffers (stored record plus the
  // computed fields, if any).
  int RecordSize() const { return recordSize_; }
  int RecordBufferSize() const { return bufferSize_; }
  // Presents other field definitions over the open table, in the order given and numbered
  // 1..n: a field not flagged Computed is a view of the table field with the same offset,
  // type and storage size (under any name; 10000 when there is no such table field); a
  // Computed field gets an offset after the stored record, each the next free offset
  // advancing by storage size + 1. Reopening the cursor presents the table's fields again.
  // The calculator, when set, fills the computed fields of a record image; it runs after
  // every PutField and whenever a record is read into a caller's buffer.
  void ReplaceFieldDefinitions(std::vector<TFieldDefinition> fields);
  void SetComputedFieldCalculator(std::function<void(std::uint8_t* record)> calculator);
  bool HasComputedFields() const { return hasComputed_; }

  // ---- indexes ----
  // Primary (when defined) plus secondary indexes.
  int IndexCount() const;
  // The definition in a slot (0 primary, 1..30 secondary, 31 "Sys Deleted", 32 "Sys Text");
  // 9985 for any other slot.
  const TIndexDefinition& GetIndexDefinition(int slot) const;
  // Selects an index by name (primary: empty), ignoring case; 10022 for an unknown name.
  // Selecting the current index does nothing; otherwise the range is cancelled, bitmaps
  // recomputed and the cursor moved to the first record.
  void SetIndex(std::string_view name);
  // Selects by slot number, including 31 ("Sys Deleted") and 255 (natural order). 10022 for a
  // slot that holds no index.
  void SetIndexSlot(int slot);
  // The same choice without reading anything: the cursor is left before the first record,
  // for callers that set a range or go Home next.
  void ChooseIndexSlot(int slot);
  // Current slot (255 in natural order); the primary slot of a table without primary index
  // also navigates in natural order.
  int IndexSlot() const { return slot_; }
  // Key-only reading, for read-only walks that want only fields an index key holds: Next,
  // Prior and the moves that settle on a record fill the buffer from the index key without
  // reading the record; every other field reads as NULL. Refused (false) unless
  // KeyHoldsFields is true for the current index and the cursor has no calculated fields;
  // choosing another index turns it off.
  bool SetKeysOnly(bool on);
  bool KeysOnly() const { return keysOnly_; }
  // True when the keys of the index in this slot hold the values of these fields (numbers
  // from 1) whole: each is a key field of a type whose key decodes back to the stored value
  // (strings, integers of every width, dates, times, booleans), not case-folded and not
  // stored inverted.
  bool KeyHoldsFields(int slot, const std::vector<int>& fieldNumbers) const;
  bool NaturalOrder() const { return natural_; }
  // Definition of the current index (an empty definition in natural order).
  const TIndexDefinition& IndexDefinition() const;
  int KeyLength() const;

  // ---- navigation (result codes, never raising for running out of records) ----
  TEngineErrorCode First();
  TEngineErrorCode Last();
  // Moves one on / back; at Bof Next acts as First, at Eof Prior as Last. On success the
  // record is copied into buffer (may be null), otherwise the buffer is zeroed.
  TEngineErrorCode Next(std::uint8_t* buffer);
  TEngineErrorCode Prior(std::uint8_t* buffer);
  // Before the first record / after the last.
  void Home();
  void End();
  // Copies the current record into buffer (may be null). 8705/8706 off the ends, 8709 when
  // the set is empty. With lock: pessimistic locking locks the record, and either protocol
  // compares the table's image with the one this cursor last read (8708 raised when they
  // differ, the lock given back). Without lock the read counts as a fresh read.
  TEngineErrorCode GetCurrentRecord(std::uint8_t* buffer, bool lock = false);
  // Reads up to count records following the current one into consecutive buffers; count
  // receives how many were read. Returns 0, or the code that stopped it (8706 at the end).
  TEngineErrorCode ReadBlock(std::uint8_t* buffer, int& count);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  // The current record's number (0 when none).
  std::int32_t CurrentRecordNo() const { return bof_ || eof_ ? 0 : recordNo_; }
  // The current record's image as last read (valid while positioned; RecordSize() bytes,
  // not RecordBufferSize()); null when there is no current record.
  const std::uint8_t* CurrentRecord() const;

  // ---- counts and positions ----
  // Index order without filters: range size from the branch counts; with filters: visible
  // records; natural order: the table's active records (visible ones when filtered).
  std::int32_t RecordCount();
  // 1-based position of the current record relative to the range start; 0 when none.
  std::int32_t GetRecNo();
  // Positions on the n-th visible record; false (position unchanged) when there is none.
  bool SetRecNo(std::int32_t n);

  // ---- bookmarks ----
  TBookmark GetBookmark();
  int BookmarkSize() const;
  // Moves to the bookmarked record: 8710 when it is gone (with nearest the cursor stays on
  // the next record instead and returns 0, or 8706 when there is none).
  TEngineErrorCode GotoBookmark(const TBookmark& bookmark, bool nearest = false);
  // -1, 0, 1: key order in an index, record-number order in natural order.
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) const;

  // ---- searching ----
  // Key from the record image: fieldCount leading key fields given (0 = all), followed by
  // partialLength characters of a string field (0 = none; when given, fieldCount counts the
  // whole fields before it literally, so 0 searches the first field by its first characters). Positions on the first key not
  // smaller (padded as a range start) and reports whether it matched over the given part;
  // for all fields of a unique index the search is exact and, without nearest, the position
  // does not change when it fails. Running past the last key leaves the cursor on the last
  // record. The found record is copied into buffer (may be null).
  bool FindKey(const std::uint8_t* record, int fieldCount, int partialLength, bool nearest, std::uint8_t* buffer);
  // The same with a ready key of KeyLength() bytes (keyLength: bytes given, for partial).
  bool FindRawKey(const std::uint8_t* key, int keyLength, bool nearest, std::uint8_t* buffer);
  // Positions on the record current in other (same table): by its key in this index, by its
  // record number in natural order. 8710 when there is no such key or other has no record.
  TEngineErrorCode SyncTo(TDataCursor& other);
  // Positions on a record number (natural order or not); 8710 when the record is not visible.
  TEngineErrorCode GotoRecordNo(std::int32_t recordNo);

  // ---- ranges (index order only; in natural order they are ignored) ----
  // Keys built from the records over the first startFieldCount / endFieldCount key fields
  // (0 = all), the start padded lowest, the end highest. Moves to the first record.
  void SetRange(const std::uint8_t* startRecord, int startFieldCount, const std::uint8_t* endRecord, int endFieldCount);
  void CancelRange();
  bool RangeActive() const { return rangeActive_; }

  // ---- filters ----
  // Parsed with code 10051 and the context "filter expression", checked to be boolean; the
  // filter is active. 9482 when 64 filters exist. The returned handle stays valid until the
  // filter is removed or the cursor closed.
  TFilter* AddFilter(std::string_view expression, const TFilterOptions& options = {});
  // A parsed (not yet checked) expression tree; checked here against the cursor's fields.
  TFilter* AddFilter(TExpTree expression, const TFilterOptions& options = {});
  // A tree already type-checked against TableFields() (columns carry their table field
  // numbers) and boolean, such as a statement's WHERE condition; installed without a
  // second check.
  TFilter* AddResolvedFilter(TExpTree checked, const TFilterOptions& options = {});
  // A record callback; dataset is the (not owned) object that installs it.
  TFilter* AddFilter(TFilterCallback callback, const void* dataset, const TFilterOptions& options = {});
  // Null means every filter. 10050 for a filter that is not this cursor's. Each recomputes
  // the visible records and moves to the first record.
  void RemoveFilter(TFilter* filter = nullptr);
  void ActivateFilter(TFilter* filter = nullptr);
  void DeactivateFilter(TFilter* filter = nullptr);
  // Replaces the expression of an active expression filter (10050 otherwise).
  void SetFilterExpression(TFilter* filter, TExpTree expression);
  int FilterCount() const { return static_cast<int>(filters_.size()); }
  TFilter* FilterAt(int i) const { return filters_.at(static_cast<std::size_t>(i)).get(); }
  bool FiltersActive() const { return filterActive_; }
  // Visible records when filtered (valid while FiltersActive()).
  const TRecordsBitmap& VisibleRecords() const { return visible_; }

  // ---- text search ----
  // TEXTSEARCH over a column text: true unless a non-stop search word has no match.
  bool TextSearch(int fieldNo, std::string_view searchText, std::string_view columnText);
  // TEXTOCCURS: the summed occurrences of the matching column words.
  std::int32_t TextOccurs(int fieldNo, std::string_view searchText, std::string_view columnText);
  // Intersects candidates with the records the text index finds for every search word
  // (clears them when only stop words remain). 12292 without a text index on fieldNo.
  void TextIndexSearch(TRecordsBitmap& candidates, int fieldNo, std::string_view searchText);
  // The table's text parameters (loaded on first use).
  const TTextParameters& TextParameters();
  void SetTextParameters(const TTextParameters& parameters);

  // ---- record access ----
  // Copies the field's value bytes (storage form; strings zero-terminated) into value (may
  // be null); isNull tells whether it is null. 9985 for a bad field number.
  void GetField(int fieldNo, const std::uint8_t* record, bool& isNull, std::uint8_t* value) const;
  // Stores a value in storage form (strings: zero-terminated text, cut to the declared size,
  // case mapped); null value makes the field null. Computed fields are recalculated after.
  void PutField(int fieldNo, std::uint8_t* record, const std::uint8_t* value);
  // Zeroes the buffer and stores every field's default.
  void InitRecord(std::uint8_t* buffer);

  // ---- BLOBs (result codes: 10753 not a BLOB field, 10030 no BLOB open in the field's
  // slot, 9494 more than 128 open, 8708/8963/8711 from reading the chain, 9998 a negative
  // offset or size, 10029 a size beyond 2 GB, 11013 writing a BLOB opened for reading) ----
  // Opens the BLOB of a field in a record buffer: a BLOB already open through this buffer is
  // shared (its open count grows); otherwise the whole value is read into a new buffer and
  // the record's reference is replaced by the buffer's handle. size receives the size.
  TEngineErrorCode OpenBlob(int fieldNo, std::uint8_t* record, bool forWrite, std::int64_t* size = nullptr);
  // Copies up to count bytes from offset; read receives how many. A read starting at or
  // past the end returns 8711.
  TEngineErrorCode ReadBlob(int fieldNo, const std::uint8_t* record, std::int64_t offset, std::int64_t count,
                            std::uint8_t* buffer, std::int64_t& read);
  // Writes at offset, growing the value as needed; the field has a value exactly when the
  // size is not 0.
  TEngineErrorCode WriteBlob(int fieldNo, std::uint8_t* record, std::int64_t offset, std::int64_t count,
                             const std::uint8_t* data);
  TEngineErrorCode TruncateBlob(int fieldNo, std::uint8_t* record, std::int64_t newSize);
  TEngineErrorCode BlobSize(int fieldNo, const std::uint8_t* record, std::int64_t& size);
  // Open count - 1; at 0 the buffer goes (unposted changes with it) and the record gets its
  // stored reference back.
  TEngineErrorCode CloseBlob(int fieldNo, std::uint8_t* record);
  // Closes every BLOB open through the record buffer whatever its open count (after a post
  // or a cancel), giving the record its references back.
  void CloseBlobs(std::uint8_t* record);
  int OpenBlobCount() const;
  // The whole value of a BLOB field of a record image (an open BLOB's content as it stands
  // now). Raises the BLOB errors; a null field gives an empty value.
  void ReadBlobValue(int fieldNo, const std::uint8_t* record, std::vector<std::uint8_t>& value);
  // The same for one of TableFields() (expressions and SELECT read records by table field).
  // Without lock the read relies on the caller's lock or on the blocks' change numbers
  // (filters read while a navigation step is under way).
  void ReadTableBlobValue(const TFieldDefinition& tableField, const std::uint8_t* record,
                          std::vector<std::uint8_t>& value, bool lock = true);
  // A reader of BLOB values for expressions over this cursor's records; a value that cannot
  // be read counts as NULL.
  std::function<bool(const TFieldDefinition&, const std::uint8_t*, std::string&)> BlobValueReader();

  // ---- changes ----
  // Checks required/minimum/maximum (9732/9730/9731), unique keys (9729) before any change,
  // then inserts under the write and record locks. The new record's header (status, number,
  // identifier) is written back into buffer. With reposition the cursor moves onto it.
  void InsertRecord(std::uint8_t* buffer, bool reposition = true);
  // Replaces the current record's fields with buffer's (identifier too with the keep
  // switch). 8708 when the record changed since it was read (optimistic locking remembers
  // that until CancelEdit).
  void UpdateRecord(const std::uint8_t* buffer, bool unlock = true, bool reposition = true);
  // Deletes the current record; buffer (may be null) is the caller's copy, compared unless
  // the cursor is exclusive. The cursor moves to the neighbouring record.
  void DeleteRecord(const std::uint8_t* buffer = nullptr, bool reposition = true);
  // Pessimistic: gives back the edit's record lock. Optimistic: forgets a failed update.
  void CancelEdit();
  // 0 = the current record. 10258 when another cursor of this process or another process
  // holds it (after the retries).
  void LockRecord(std::int32_t recordNo = 0);
  void UnlockRecord(std::int32_t recordNo = 0);
  // The record this cursor holds locked (0 = none).
  std::int32_t LockedRecordNo() const { return lockedRecord_; }
  // Inserts take the identifier from the buffer's auto-increment field. Only takes effect on
  // an open cursor whose table has an auto-increment field.
  void SetKeepSuppliedIdentifiers(bool keep);
  bool KeepSuppliedIdentifiers() const { return keepIdentifiers_; }

  // ---- table-level operations ----
  // Validates the definition (codes 10015, 15878, 9492, 9487, 9498, 10038, 10000, 10006,
  // 10022, 10027, 10023, 12292, 10026), then creates the table named by SetTableName (and
  // SetInMemory); 13060 when it exists. The cursor must be closed (10031).
  void CreateTable(TCreateTableDefinition definition);

  // ---- table maintenance ----
  // Work on the table as a whole (table_maintenance.h does it).
  // On a closed cursor: 11013 while any cursor of the session has the table open.
  void DeleteTable();
  // A new name without a path stays in the table's directory; toBackup renames the files to
  // the backup extensions under the same name.
  void RenameTable(std::string_view newName, bool toBackup = false);
  // On the open cursor, which must be exclusive (10253) and writable (11013), except for a
  // temporary index. Each moves the cursor to the first record; DeleteIndex selects the
  // primary index (natural order when there is none left).
  void EmptyTable();
  // A unique index over equal keys deletes the later records. progress: percentages.
  void AddIndex(const TIndexDefinition& definition, const std::function<void(int percent)>& progress = {});
  // By name (primary: empty; 10022 when unknown) or by slot.
  void DeleteIndex(std::string_view name);
  void DeleteIndexSlot(int slot);
  // On a closed cursor set up exclusive and writable (10031 when open, 10253, 11013). The
  // request (restructure_request.h) carries the new structure and the event and progress
  // callbacks. False when the event handler stopped it; the table is then as it was.
  bool RestructureTable(const struct TRestructureRequest& request);

  // ---- checks ----
  // Walks the data and every index: empty when they agree with each other and the record
  // count, otherwise what disagrees.
  std::string Verify();

  // ---- TRecordReader (data-file read-ahead hooks) ----
  bool CheckForChanges() override;
  int ConsecutiveRecords(std::int32_t recordNo, bool forward, int limit) override;

  // ---- filter expressions ----
  // TEXTSEARCH/TEXTOCCURS of a filter on the record being evaluated: searches the words in
  // the column (a resolved column node). False when the column is not a string field of this
  // cursor or no record is being evaluated; otherwise sets found and occurrences.
  bool TextSearch(const TExpToken& column, const std::string& words, bool& found, std::int32_t& occurrences);

 private:
  friend class TFilter;
  struct TImpl;
  struct TOperation;
  // Thrown inside an operation when a record read found the table changed by another user
  // (the caches were dropped): the operation resynchronises and starts again.
  struct TRestart {};
  class TChangeLock;

  // ---- helpers (data_cursor.cpp) ----
  TDataFile& Data() const;
  TIndexFile& Index() const;
  void RequireOpen() const;
  void RequireClosed() const;
  [[noreturn]] void Raise(TEngineErrorCode code, std::string_view field = {}, std::string_view index = {},
                          std::string_view message = {}) const;
  void LoadDefinitions();
  void ApplySlot(int slot);
  // Runs a navigation step with the change check first and restarts after a mid-way change.
  template <typename TStep>
  auto RunOperation(TStep step) -> decltype(step());
  void TakeSnapshot();
  bool SnapshotStale() const;
  void CheckChanges();
  // Brings positions, bitmaps and the current record up to date after other users' changes.
  void Resync();
  void InvalidateBitmaps();
  void EnsureBitmaps();
  void BuildActive();
  void RebuildVisible();
  const TRecordsBitmap& NaturalSet();
  void SetEmpty();
  void SetBof();
  void SetEof();
  // Positions on the first visible entry at or after (before) path_, within the range.
  TEngineErrorCode SettleForward(bool on);
  TEngineErrorCode SettleBackward(bool on);
  TEngineErrorCode FirstStep();
  TEngineErrorCode LastStep();
  TEngineErrorCode NextStep();
  TEngineErrorCode PriorStep();
  TEngineErrorCode PositionOnRecord(std::int32_t recordNo, bool nearest);
  // Index order: repositions on key (first visible key not smaller; the last record when
  // none follows). Returns whether the landing key equals key.
  bool PositionOnKey(const std::uint8_t* key, bool exact);
  void Reposition();
  // Reads record recordNo into current_ (TRestart when the table changed under the read).
  void LoadCurrent(std::int32_t recordNo, TReadDirection direction);
  // The current record rebuilt from its key in the current index (key-only reading).
  void LoadFromKey(std::int32_t recordNo, const std::uint8_t* key);
  TEngineErrorCode Deliver(TEngineErrorCode code, std::uint8_t* buffer);
  void CopyOut(const std::uint8_t* image, std::uint8_t* buffer);
  bool InRange(const std::uint8_t* key) const;
  int CompareKeys(const std::uint8_t* a, const std::uint8_t* b) const;
  // Fills key bytes from `from` on as the lowest (or highest) possible continuation.
  void PadKey(std::uint8_t* key, int from, bool high) const;
  int GivenKeyBytes(const std::uint8_t* key, int fieldCount, int partialLength) const;
  std::int64_t RangeFirstOrdinal();
  std::int64_t RangeLastOrdinal();
  bool Visible(std::int32_t recordNo) const;
  bool IndexOrderCounts() const { return !natural_ && !filterActive_; }

  // ---- BLOBs (data_cursor_blob.cpp) ----
  struct TBlobPost {
    TBlobBuffer* Buffer;
    std::int32_t FirstBlock;
    std::int32_t ChangeNumber;
  };
  // The open buffer whose handle the field's slot holds (null when none).
  TBlobBuffer* FindBlob(const TFieldDefinition& field, const std::uint8_t* record) const;
  const TFieldDefinition* BlobField(int fieldNo, TEngineErrorCode& code) const;
  // The open BLOB of a field in a record buffer (null with the code when there is none).
  TBlobBuffer* OpenBlobOf(int fieldNo, const std::uint8_t* record, TEngineErrorCode& code,
                          const TFieldDefinition** field = nullptr) const;
  // Under the write lock, before the record image is stored: gives every BLOB field of
  // record a real reference, writing changed values with a new change number and freeing
  // the chains of stored (the slot's old image, null for an insert) that are no longer used.
  // givenRecordNo: the record number the caller's buffer carried (its handles' record).
  std::vector<TBlobPost> PostBlobs(std::uint8_t* record, const std::uint8_t* stored, std::int32_t givenRecordNo);
  // After the change succeeded: the open buffers now stand for what was written to record
  // recordNo.
  static void CommitBlobPosts(const std::vector<TBlobPost>& posts, std::int32_t recordNo);
  void FreeBlobs(const std::uint8_t* stored);
  // Reads a stored BLOB for the caller (see the .cpp for the change checks on the way).
  void ReadStoredBlob(TBlobReference reference, std::vector<std::uint8_t>& value);

  // ---- changes (data_cursor_edit.cpp) ----
  void RequireWritable() const;
  void ValidateRecord(const std::uint8_t* buffer) const;
  std::vector<int> KeySlots() const;
  void TextKeys(const std::uint8_t* record, std::int32_t identifier, std::vector<std::vector<std::uint8_t>>& keys);
  void RecordAdded(std::int32_t recordNo, const std::uint8_t* record);
  void RecordRemoved(std::int32_t recordNo);
  std::int32_t ResolveRecordNo(std::int32_t recordNo) const;
  bool LockedByOtherCursor(std::int32_t recordNo) const;
  void ReleaseLock();
  void AfterChange(bool othersChanged);
  void DefaultValue(const TFieldDefinition& field, std::uint8_t* record) const;
  // The installed filter expression engine; QUARRY_NOTINITIALIZED when there is none.
  const TFilterExpressionEngine& FilterEngine() const;
  void FilterCheck(TExpTree& tree);
  TFilter* InsertFilter(std::unique_ptr<TFilter> filter);
  std::vector<std::unique_ptr<TFilter>>::iterator FindFilter(TFilter* filter);
  void FiltersChanged();

  // Options.
  TDataDirectory& directory_;
  std::string tableName_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool inMemory_ = false;
  bool internal_ = false;
  TPasswordCallback passwordCallback_;

  // Open state.
  TDataTable* table_ = nullptr;
  std::vector<TFieldDefinition> fields_;     // the table's
  std::vector<TFieldDefinition> presented_;  // what Fields() shows: fields_ or a view
  std::vector<int> presentedSource_;         // table field number of each presented field
  int recordSize_ = 0;
  int bufferSize_ = 0;
  bool hasDefaults_ = false;
  bool hasChecks_ = false;
  bool hasComputed_ = false;
  bool hasAutoInc_ = false;
  std::function<void(std::uint8_t*)> calculator_;

  // Order and position.
  int slot_ = NaturalOrderSlot;
  bool natural_ = true;
  int keyLength_ = 0;
  bool scanning_ = false;  // a bitmap build reads records in record-number order
  bool readAhead_ = true;  // off while a search jumps to a record (no direction of travel)
  TIndexPath path_;
  std::int32_t recordNo_ = 0;
  bool bof_ = true;
  bool eof_ = true;
  std::vector<std::uint8_t> current_;     // the current record's image
  std::vector<std::uint8_t> seen_;        // the stored image as the caller last read it (buffer size)
  std::vector<std::uint8_t> currentKey_;  // its key in the current index
  std::vector<std::uint8_t> scratchKey_;
  std::vector<std::uint8_t> readAheadKey_;  // ConsecutiveRecords' key image
  bool keysOnly_ = false;
  std::vector<std::uint8_t> keyValue_;  // a string value decoded from a key

  // Range.
  bool rangeActive_ = false;
  std::vector<std::uint8_t> rangeStart_;
  std::vector<std::uint8_t> rangeEnd_;

  // Filters and bitmaps (active_: slots holding records; visible_: what navigation shows
  // when filters are active).
  std::vector<std::unique_ptr<TFilter>> filters_;
  bool filterActive_ = false;
  bool activeValid_ = false;
  bool visibleValid_ = false;
  TRecordsBitmap visible_;
  TRecordsBitmap active_;
  TRecordsBitmap inRange_;
  std::int32_t visibleCount_ = 0;

  // Change snapshot.
  std::int32_t dataCounter_ = 0;
  std::int32_t indexCounter_ = 0;
  std::int32_t blobCounter_ = 0;

  // Editing.
  std::int32_t lockedRecord_ = 0;
  bool updateFailed_ = false;
  bool keepIdentifiers_ = false;

  // Text search; evaluating_ is the record a filter expression is being evaluated on.
  const std::uint8_t* evaluating_ = nullptr;
  std::unique_ptr<TTextParameters> textParameters_;
  bool textParametersChanged_ = false;

  bool referencesAsGiven_ = false;  // opened with OpenOn
  // Open BLOBs; a buffer's handle is -(index + 1).
  std::vector<std::unique_ptr<TBlobBuffer>> blobs_;

  std::unique_ptr<TImpl> impl_;
};

}  // namespace quarry
