// TResultTable: the table a canned SELECT result is written to, and the cursor on it.
//
// A temporary result table gets a process-unique name in the in-memory database, so that
// short results and lookups never touch the disk; one that grows past kMemoryResultBytes is
// moved once to a disk table in the session's private directory, so that memory stays
// bounded. It is deleted when the result goes away (also after an error); a named one (INTO)
// is made in the database given and kept. Each execution makes the table afresh.
//
// Filling: rows go straight into the table's data file while this object holds the table
// (no other user knows its name): they gather in a block of about 64 KB that is written
// after the last record in one write when full, and before anything reads the table (a
// sort, a walk, the move to disk, the finish); the record cache is not involved. The table's
// index file holds no keys for these rows (a result table has no indexes and is read in
// record order); only its active-record count is kept.
//
// Finish flushes the table, releases it and opens the result cursor, which stays owned by
// this object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"

namespace quarry {

class TResultTable {
 public:
  // The size of records up to which a temporary result stays in memory. Filling and sorting
  // keep a result's records in the record cache anyway; this caps the second, in-memory copy
  // of the file at a size every desktop machine affords many times over (the application's
  // largest list, every video, is under 2 MB) while a runaway join goes to disk.
  static constexpr int64_t kMemoryResultBytes = 32 << 20;

  explicit TResultTable(TDataSession& session);
  ~TResultTable();
  TResultTable(const TResultTable&) = delete;
  TResultTable& operator=(const TResultTable&) = delete;

  // Drops any previous table and creates a new one with these fields. directory: where a
  // named table goes (null: a temporary table in the private directory, or in memory when
  // inMemory). Opens it for filling.
  void Create(const std::vector<TFieldDefinition>& fields, uint16_t languageId, uint16_t sortId,
              TDataDirectory* directory, const std::string& name, bool inMemory, const std::string& password);

  // The fields as laid out (offsets assigned).
  const std::vector<TFieldDefinition>& Fields() const { return FieldList; }
  int RecordSize() const { return Size; }

  // ---- filling ----
  // Appends a record image of RecordSize() bytes (its header bytes are set here).
  void Append(const uint8_t* record);
  // BLOB values of the rows being filled: stores a value in the table's BLOB file (the
  // reference to put into the row; empty gives null), and reads one back whole.
  TBlobReference StoreBlob(const std::vector<uint8_t>& value);
  void ReadBlob(const uint8_t* record, const TFieldDefinition& field, std::vector<uint8_t>& value);
  int64_t Rows() const;
  // Calls visit for every record in order (the fill must be in progress).
  void ForEach(const std::function<void(const uint8_t* record)>& visit);
  // Sorts in place (SortRecords) and sets the row count to what the sort kept.
  void Sort(TSortOptions options);

  // ---- result ----
  // Ends the fill and opens the cursor (positioned before the first record).
  TDataCursor& Finish();
  TDataCursor* Cursor() const { return ResultCursor.get(); }
  bool Temporary() const { return IsTemporary; }
  // Where the table is now (a temporary one starts in memory and may move to disk).
  bool InMemory() const { return IsInMemory; }
  const std::string& TableName() const { return Name; }
  // Lowers the memory bound (tests; 0 or less restores kMemoryResultBytes).
  void SetMemoryLimit(int64_t bytes) { MemoryLimit = bytes > 0 ? bytes : kMemoryResultBytes; }

 private:
  TDataSession& Session;
  TDataDirectory* Directory = nullptr;
  bool OwnsDirectory = false;                       // opened through the session (closed there)
  std::unique_ptr<TDataDirectory> MemoryDirectory;  // where a temporary result starts
  std::string Name;
  bool IsInMemory = false;
  bool IsTemporary = true;
  bool MayMoveToDisk = false;  // a temporary table that is in memory by our choice
  int64_t MemoryLimit = kMemoryResultBytes;
  int64_t StoredBytes = 0;       // records and BLOB values stored so far
  std::vector<uint8_t> Pending;  // appended rows not written yet, back to back
  int32_t PendingRows = 0;
  int32_t BlockRows = 1;  // rows written together
  std::vector<TFieldDefinition> FieldList;
  int Size = 0;
  std::string Password;         // ENCRYPTED WITH: the result cursor opens the table with it
  TDataTable* Table = nullptr;  // held while filling
  std::unique_ptr<TDataCursor> ResultCursor;

  // Closes the cursor, deletes a temporary table and lets go of the directory.
  void Drop();
  void ReleaseTable();
  // A unique temporary table name in Directory.
  std::string UniqueName(bool inMemory) const;
  // Moves a filling in-memory table to a disk table of the private directory.
  void MoveToDisk();
  // Counts bytes stored; true when a temporary table in memory has grown past its bound.
  bool PastMemoryLimit(int64_t bytes);
  // Writes the pending rows to the table.
  void WritePending();
};

}  // namespace quarry
