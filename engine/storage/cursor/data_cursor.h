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
// Result codes: navigation, searches and bookmarks return 0 or an engine code (QUARRY_BOF,
// QUARRY_EOF, QUARRY_NOCURRREC no current record, QUARRY_RECNOTFOUND not found) instead of raising when they merely run
// out of records; everything else raises EQuarryEngineError.
//
// Position model: the cursor is before the first record (Bof), after the last (Eof), on a
// record, or — both flags set — nowhere (empty set). In index order the position is a path in
// the current index (kept across calls; never holds a page pinned); in natural order it is a
// record number walked through the visible-records bitmap.
//
// Collaborators, each with one job: TCursorWalk (cursor_walk.h) keeps the place in the order
// and the current record; TVisibleSet (visible_set.h) the range and the bitmaps of the
// records navigation shows; TCursorBlobs (cursor_blobs.h) the open BLOB buffers; the filters
// are TFilter objects (cursor_filter.h); record locks are held by the shared TDataTable,
// which also knows which of its cursors holds each. The cursor's .cpp files share only these
// and the inline helpers of data_cursor_impl.h.
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
#include "engine/storage/cursor/change_snapshot.h"
#include "engine/storage/cursor/cursor_blobs.h"
#include "engine/storage/cursor/cursor_filter.h"
#include "engine/storage/cursor/cursor_walk.h"
#include "engine/storage/cursor/read_restart.h"
#include "engine/storage/cursor/visible_set.h"
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

// Most filters one cursor may hold.
constexpr int MaxCursorFilters = 64;

// Asked for a table's password when the session does not know it. Return true with a password
// to try (the cursor adds it to the session's password list and checks again); false declines
// the open (QUARRY_NOTSUFFTABLERIGHTS). The user value of the callback is whatever the function captures.
using TPasswordCallback = std::function<bool(const std::string& tableName, std::string& password)>;

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

  // ---- options (QUARRY_TABLEOPEN on an open cursor) ----
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
  // Opens the table: shared table object from the directory (QUARRY_OSEACCES when exclusivity
  // conflicts), full header verification on the first open in the process, the password
  // (QUARRY_NOTSUFFTABLERIGHTS when declined), field definitions, primary index (natural order without one),
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
  // Takes the table's change counters as they stand now as seen, after a change of this
  // session's own that moved them without changing anything this cursor shows (a commit of
  // the session's transaction, whose table locks kept other users out): the cursor goes on
  // without resynchronising.
  void TakeChangeSnapshot();

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
  // QUARRY_OUTOFRANGE with the number as text when outside 1..FieldCount().
  const TFieldDefinition& GetFieldDefinition(int fieldNo) const;
  // By name, trimmed and ignoring case; QUARRY_OUTOFRANGE with the name when there is none.
  const TFieldDefinition& GetFieldDefinition(std::string_view name) const;
  // The table's stored fields, whatever view is presented: indexes, validity checks,
  // defaults and expression filters work on these.
  const std::vector<TFieldDefinition>& TableFields() const { return fields_; }
  // The table field a presented field shows (0 for a computed field); QUARRY_OUTOFRANGE for a bad number.
  int TableFieldNo(int fieldNo) const;
  // Size of the stored record, and of the cursor's record buffers (stored record plus the
  // computed fields, if any).
  int RecordSize() const { return recordSize_; }
  int RecordBufferSize() const { return bufferSize_; }
  // Presents other field definitions over the open table, in the order given and numbered
  // 1..n: a field not flagged Computed is a view of the table field with the same offset,
  // type and storage size (under any name; QUARRY_INVALIDFLDTYPE when there is no such table field); a
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
  // QUARRY_OUTOFRANGE for any other slot.
  const TIndexDefinition& GetIndexDefinition(int slot) const;
  // Selects an index by name (primary: empty), ignoring case; QUARRY_INVALIDINDEXNAME for an unknown name.
  // Selecting the current index does nothing; otherwise the range is cancelled, bitmaps
  // recomputed and the cursor moved to the first record.
  void SetIndex(std::string_view name);
  // Selects by slot number, including 31 ("Sys Deleted") and 255 (natural order). QUARRY_INVALIDINDEXNAME for a
  // slot that holds no index.
  void SetIndexSlot(int slot);
  // The same choice without reading anything: the cursor is left before the first record,
  // for callers that set a range or go Home next.
  void ChooseIndexSlot(int slot);
  // Current slot (255 in natural order); the primary slot of a table without primary index
  // also navigates in natural order.
  int IndexSlot() const { return walk_.Slot(); }
  // Key-only reading, for read-only walks that want only fields an index key holds: Next,
  // Prior and the moves that settle on a record fill the buffer from the index key without
  // reading the record; every other field reads as NULL. Refused (false) unless
  // KeyHoldsFields is true for the current index and the cursor has no calculated fields;
  // choosing another index turns it off.
  bool SetKeysOnly(bool on);
  bool KeysOnly() const { return walk_.KeysOnly(); }
  // True when the keys of the index in this slot hold the values of these fields (numbers
  // from 1) whole: each is a key field of a type whose key decodes back to the stored value
  // (strings, integers of every width, dates, times, booleans), not case-folded and not
  // stored inverted.
  bool KeyHoldsFields(int slot, const std::vector<int>& fieldNumbers) const;
  bool NaturalOrder() const { return walk_.Natural(); }
  // Presents the current order back to front, for readers that want an index's order
  // reversed (SQL results read through an index against its direction): First and Last,
  // Next and Prior, Home and End, Bof and Eof, record positions and bookmark order swap;
  // key searches and ranges keep the index's own sense. Choosing an order turns it off.
  void SetReversed(bool reversed) { reversed_ = reversed; }
  bool Reversed() const { return reversed_; }
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
  // Copies the current record into buffer (may be null). QUARRY_BOF/QUARRY_EOF off the ends, QUARRY_NOCURRREC when
  // the set is empty. With lock: pessimistic locking locks the record, and either protocol
  // compares the table's image with the one this cursor last read (QUARRY_KEYORRECDELETED raised when they
  // differ, the lock given back). Without lock the read counts as a fresh read.
  TEngineErrorCode GetCurrentRecord(std::uint8_t* buffer, bool lock = false);
  // Reads up to count records following the current one into consecutive buffers; count
  // receives how many were read. Returns 0, or the code that stopped it (QUARRY_EOF at the end).
  TEngineErrorCode ReadBlock(std::uint8_t* buffer, int& count);
  bool Bof() const { return reversed_ ? walk_.Eof() : walk_.Bof(); }
  bool Eof() const { return reversed_ ? walk_.Bof() : walk_.Eof(); }
  // The current record's number (0 when none).
  std::int32_t CurrentRecordNo() const { return walk_.Bof() || walk_.Eof() ? 0 : walk_.RecordNo(); }
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
  // Moves to the bookmarked record: QUARRY_RECNOTFOUND when it is gone (with nearest the cursor stays on
  // the next record instead and returns 0, or QUARRY_EOF when there is none).
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
  // record number in natural order. QUARRY_RECNOTFOUND when there is no such key or other has no record.
  TEngineErrorCode SyncTo(TDataCursor& other);
  // Positions on a record number (natural order or not); QUARRY_RECNOTFOUND when the record is not visible.
  TEngineErrorCode GotoRecordNo(std::int32_t recordNo);

  // ---- ranges (index order only; in natural order they are ignored) ----
  // Keys built from the records over the first startFieldCount / endFieldCount key fields
  // (0 = all), the start padded lowest, the end highest. Moves to the first record.
  void SetRange(const std::uint8_t* startRecord, int startFieldCount, const std::uint8_t* endRecord, int endFieldCount);
  // The same with ends that may leave the given values out: an excluded start begins after
  // every key holding the start's given fields, an excluded end stops before every key
  // holding the end's (their padding is turned round). Only where RangeCanExclude is true.
  void SetRange(const std::uint8_t* startRecord, int startFieldCount, bool startExcluded, const std::uint8_t* endRecord,
                int endFieldCount, bool endExcluded);
  // Whether a range end over the first fieldCount key fields of the current index can leave
  // their values out: key bytes follow them (further fields, or the record identifier of a
  // non-unique index) whose lowest and highest padding sorts below and above every stored
  // key with those values.
  bool RangeCanExclude(int fieldCount) const;
  void CancelRange();
  bool RangeActive() const { return visible_.RangeActive(); }

  // ---- filters ----
  // Parsed with code QUARRY_INVALIDFILTER and the context "filter expression", checked to be boolean; the
  // filter is active. QUARRY_INTERNALLIMIT when 64 filters exist. The returned handle stays valid until the
  // filter is removed or the cursor closed.
  TFilter* AddFilter(std::string_view expression, const TFilterOptions& options = {});
  // A parsed (not yet checked) expression tree; checked here against the cursor's fields.
  TFilter* AddFilter(TExpTree expression, const TFilterOptions& options = {});
  // A tree already type-checked against TableFields() (columns carry their table field
  // numbers) and boolean, such as a statement's WHERE condition; installed without a
  // second check.
  TFilter* AddResolvedFilter(TExpTree checked, const TFilterOptions& options = {});
  // The same for engine callers that place the cursor themselves (SQL execution): the
  // cursor is left before the first record and the bitmaps are built at the next use.
  TFilter* InstallResolvedFilter(TExpTree checked, const TFilterOptions& options = {});
  // Removes such a filter, leaving the cursor before the first record.
  void UninstallFilter(TFilter* filter);
  // Builds the filters' bitmaps over the whole table and cancels the range, so that the
  // ranges the caller sets next only narrow them; leaves the cursor before the first record.
  void PrepareFilters();
  // Keys and records filtering has read (index walks and record tests of rebuilds).
  const TFilterStatistics& FilterStatistics() const { return visible_.Statistics(); }
  void ResetFilterStatistics() { visible_.ResetStatistics(); }
  // A record callback; dataset is the (not owned) object that installs it.
  TFilter* AddFilter(TFilterCallback callback, const void* dataset, const TFilterOptions& options = {});
  // Null means every filter. QUARRY_NOSUCHFILTER for a filter that is not this cursor's. Each recomputes
  // the visible records and moves to the first record.
  void RemoveFilter(TFilter* filter = nullptr);
  void ActivateFilter(TFilter* filter = nullptr);
  void DeactivateFilter(TFilter* filter = nullptr);
  // Replaces the expression of an active expression filter (QUARRY_NOSUCHFILTER otherwise).
  void SetFilterExpression(TFilter* filter, TExpTree expression);
  int FilterCount() const { return static_cast<int>(filters_.size()); }
  TFilter* FilterAt(int i) const { return filters_.at(static_cast<std::size_t>(i)).get(); }
  bool FiltersActive() const { return visible_.FiltersActive(); }
  // Visible records when filtered (valid while FiltersActive()).
  const TRecordsBitmap& VisibleRecords() { return visible_.Records(); }

  // ---- text search ----
  // TEXTSEARCH over a column text: true unless a non-stop search word has no match.
  bool TextSearch(int fieldNo, std::string_view searchText, std::string_view columnText);
  // TEXTOCCURS: the summed occurrences of the matching column words.
  std::int32_t TextOccurs(int fieldNo, std::string_view searchText, std::string_view columnText);
  // Intersects candidates with the records the text index finds for every search word
  // (clears them when only stop words remain). QUARRY_SEARCHCOLREQD without a text index on fieldNo.
  void TextIndexSearch(TRecordsBitmap& candidates, int fieldNo, std::string_view searchText);
  // The table's text parameters (loaded on first use).
  const TTextParameters& TextParameters();
  void SetTextParameters(const TTextParameters& parameters);

  // ---- record access ----
  // Copies the field's value bytes (storage form; strings zero-terminated) into value (may
  // be null); isNull tells whether it is null. QUARRY_OUTOFRANGE for a bad field number.
  void GetField(int fieldNo, const std::uint8_t* record, bool& isNull, std::uint8_t* value) const;
  // Stores a value in storage form (strings: zero-terminated text, cut to the declared size,
  // case mapped); null value makes the field null. Computed fields are recalculated after.
  void PutField(int fieldNo, std::uint8_t* record, const std::uint8_t* value);
  // Zeroes the buffer and stores every field's default.
  void InitRecord(std::uint8_t* buffer);

  // ---- BLOBs (result codes: QUARRY_NOTABLOB not a BLOB field, QUARRY_INVALIDBLOBHANDLE no BLOB open in the field's
  // slot, QUARRY_OPENBLOBLIMIT more than 128 open, QUARRY_KEYORRECDELETED/QUARRY_MEMOCORRUPT/QUARRY_ENDOFBLOB from reading the chain, QUARRY_INVALIDBLOBOFFSET a negative
  // offset or size, QUARRY_INVALIDBLOBLEN a size beyond 2 GB, QUARRY_OSEACCES writing a BLOB opened for reading) ----
  // Opens the BLOB of a field in a record buffer: a BLOB already open through this buffer is
  // shared (its open count grows); otherwise the whole value is read into a new buffer and
  // the record's reference is replaced by the buffer's handle. size receives the size.
  TEngineErrorCode OpenBlob(int fieldNo, std::uint8_t* record, bool forWrite, std::int64_t* size = nullptr);
  // Copies up to count bytes from offset; read receives how many. A read starting at or
  // past the end returns QUARRY_ENDOFBLOB.
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
  // Checks required/minimum/maximum (QUARRY_REQDERR/QUARRY_MINVALERR/QUARRY_MAXVALERR), unique keys (QUARRY_KEYVIOL) before any change,
  // then inserts under the write and record locks. The new record's header (status, number,
  // identifier) is written back into buffer. With reposition the cursor moves onto it.
  void InsertRecord(std::uint8_t* buffer, bool reposition = true);
  // Replaces the current record's fields with buffer's (identifier too with the keep
  // switch). QUARRY_KEYORRECDELETED when the record changed since it was read (optimistic locking remembers
  // that until CancelEdit).
  void UpdateRecord(const std::uint8_t* buffer, bool unlock = true, bool reposition = true);
  // Deletes the current record; buffer (may be null) is the caller's copy, compared unless
  // the cursor is exclusive. The cursor moves to the neighbouring record.
  void DeleteRecord(const std::uint8_t* buffer = nullptr, bool reposition = true);
  // Pessimistic: gives back the edit's record lock. Optimistic: forgets a failed update.
  void CancelEdit();
  // 0 = the current record. QUARRY_RECLOCKFAILED when another cursor of this process or another process
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
  // Validates the definition (codes QUARRY_INVALIDPASSWORD, QUARRY_CANNOTLOADLDDRV, QUARRY_FLDLIMIT, QUARRY_INDEXLIMIT, QUARRY_BLOBLIMIT, QUARRY_INVALIDFIELDNAME, QUARRY_INVALIDFLDTYPE, QUARRY_INVALIDVCHKSTRUCT,
  // QUARRY_INVALIDINDEXNAME, QUARRY_INDEXEXISTS, QUARRY_INVALIDIDXDESC, QUARRY_SEARCHCOLREQD, QUARRY_INVALIDKEY), then creates the table named by SetTableName (and
  // SetInMemory); QUARRY_TABLEEXISTS when it exists. The cursor must be closed (QUARRY_TABLEOPEN).
  void CreateTable(TCreateTableDefinition definition);

  // ---- table maintenance ----
  // Work on the table as a whole (table_maintenance.h does it).
  // On a closed cursor: QUARRY_OSEACCES while any cursor of the session has the table open.
  void DeleteTable();
  // A new name without a path stays in the table's directory; toBackup renames the files to
  // the backup extensions under the same name.
  void RenameTable(std::string_view newName, bool toBackup = false);
  // On the open cursor, which must be exclusive (QUARRY_NEEDEXCLACCESS) and writable (QUARRY_OSEACCES), except for a
  // temporary index. Each moves the cursor to the first record; DeleteIndex selects the
  // primary index (natural order when there is none left).
  void EmptyTable();
  // A unique index over equal keys deletes the later records. progress: percentages.
  void AddIndex(const TIndexDefinition& definition, const std::function<void(int percent)>& progress = {});
  // By name (primary: empty; QUARRY_INVALIDINDEXNAME when unknown) or by slot.
  void DeleteIndex(std::string_view name);
  void DeleteIndexSlot(int slot);
  // On a closed cursor set up exclusive and writable (QUARRY_TABLEOPEN when open, QUARRY_NEEDEXCLACCESS, QUARRY_OSEACCES). The
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
  class TChangeLock;

  // ---- shared by the cursor's files (inline in data_cursor_impl.h) ----
  TDataFile& Data() const;
  TIndexFile& Index() const;
  void RequireOpen() const;
  void RequireClosed() const;
  void RequireWritable() const;
  [[noreturn]] void Raise(TEngineErrorCode code, std::string_view field = {}, std::string_view index = {},
                          std::string_view message = {}) const;
  // Runs a navigation step with the change check first and restarts after a mid-way change.
  template <typename TStep>
  auto RunOperation(TStep step) -> decltype(step());
  // Brings positions, bitmaps and the current record up to date after other users' changes.
  void Resync();
  void CopyOut(const std::uint8_t* image, std::uint8_t* buffer) const;

  // ---- data_cursor.cpp ----
  // Points the cursor and its collaborators at a table (null: none).
  void Attach(TDataTable* table);
  void LoadDefinitions();
  void ApplySlot(int slot);
  TEngineErrorCode Deliver(TEngineErrorCode code, std::uint8_t* buffer);
  // Moves to the first record of the presented order (the walk's last when reversed).
  TEngineErrorCode MoveToFront();
  // A result code of the walk in the presented order (QUARRY_BOF and QUARRY_EOF swap when
  // reversed).
  TEngineErrorCode Presented(TEngineErrorCode code) const;
  // The installed filter expression engine; QUARRY_NOTINITIALIZED when there is none.
  const TFilterExpressionEngine& FilterEngine() const;
  void FilterCheck(TExpTree& tree);
  TFilter* InsertFilter(std::unique_ptr<TFilter> filter);
  std::vector<std::unique_ptr<TFilter>>::iterator FindFilter(TFilter* filter);
  void FiltersChanged();

  // ---- data_cursor_blob.cpp ----
  // The open buffer whose handle the field's slot holds (null when none).
  TBlobBuffer* FindBlob(const TFieldDefinition& field, const std::uint8_t* record) const;
  const TFieldDefinition* BlobField(int fieldNo, TEngineErrorCode& code) const;
  // The open BLOB of a field in a record buffer (null with the code when there is none).
  TBlobBuffer* OpenBlobOf(int fieldNo, const std::uint8_t* record, TEngineErrorCode& code,
                          const TFieldDefinition** field = nullptr) const;
  // Reads a stored BLOB for the caller (see the .cpp for the change checks on the way).
  void ReadStoredBlob(TBlobReference reference, std::vector<std::uint8_t>& value);

  // ---- data_cursor_edit.cpp ----
  void ValidateRecord(const std::uint8_t* buffer) const;
  std::vector<int> KeySlots() const;
  void TextKeys(const std::uint8_t* record, std::int32_t identifier, std::vector<std::vector<std::uint8_t>>& keys);
  std::int32_t ResolveRecordNo(std::int32_t recordNo) const;
  bool LockedByOtherCursor(std::int32_t recordNo) const;
  void ReleaseLock();
  void AfterChange(bool othersChanged);
  void DefaultValue(const TFieldDefinition& field, std::uint8_t* record) const;
  // Where errors of BLOB posts happened (this cursor's database and table).
  TEngineErrorContext ErrorPlace() const;

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

  // Filters (in order; TVisibleSet keeps their bitmaps current).
  std::vector<std::unique_ptr<TFilter>> filters_;
  // What navigation shows, and where the cursor is in it.
  TVisibleSet visible_{filters_, calculator_};
  TCursorWalk walk_{*this, visible_, calculator_};
  // The header change counters as the cursor last synchronised.
  TChangeSnapshot snapshot_;

  // Editing.
  std::int32_t lockedRecord_ = 0;
  bool updateFailed_ = false;
  bool keepIdentifiers_ = false;

  bool reversed_ = false;  // the order is presented back to front

  // Text search; evaluating_ is the record a filter expression is being evaluated on.
  const std::uint8_t* evaluating_ = nullptr;
  std::unique_ptr<TTextParameters> textParameters_;
  bool textParametersChanged_ = false;

  bool referencesAsGiven_ = false;  // opened with OpenOn
  TCursorBlobs blobs_;

  std::unique_ptr<TImpl> impl_;
};

}  // namespace quarry
