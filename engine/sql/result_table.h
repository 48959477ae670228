// TResultTable: the table a canned SELECT result is written to, and the cursor on it.
//
// A temporary result table gets a unique name in the session's private directory (or the
// in-memory database) and is deleted when the result goes away; a named one (INTO) is made
// in the database given and kept. Each execution makes the table afresh.
//
// Filling: rows go straight into the table's data file while this object holds the table
// (no other user knows its name); the record cache grows instead of writing each row, so a result costs one
// write of its records when it is finished (or none, when a sort writes them). The table's
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

#include "engine/storage/data_cursor.h"
#include "engine/storage/record_buffer.h"

namespace quarry {

class TResultTable {
public:
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

private:
  TDataSession& Session;
  TDataDirectory* Directory = nullptr;
  bool OwnsDirectory = false;
  std::string Name;
  bool InMemory = false;
  bool IsTemporary = true;
  std::vector<TFieldDefinition> FieldList;
  int Size = 0;
  TDataTable* Table = nullptr;       // held while filling
  std::unique_ptr<TDataCursor> ResultCursor;

  // Closes the cursor, deletes a temporary table and lets go of the directory.
  void Drop();
  void ReleaseTable();
};

} // namespace quarry
