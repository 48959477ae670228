// TTableRecords: record-level access to one TDataTable by record number, for the engine's
// own work and its tests: insert, update, delete, read and find records. Changes go through
// a TDataCursor opened on the table (the one change path, with every index, "Sys Deleted",
// the text index and the count kept, each change under the table's lock protocol); reads
// run under read lock B (or whatever outer lock the caller holds).
//
// Record images are whole data-file records (record_buffer.h); field values from offset 9 are
// the caller's, the status, own number and identifier are the table's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/table/table.h"

namespace quarry {

class TDataCursor;

using TRecordImage = std::vector<std::uint8_t>;

class TTableRecords {
 public:
  explicit TTableRecords(TDataTable& table);
  ~TTableRecords();
  TTableRecords(const TTableRecords&) = delete;
  TTableRecords& operator=(const TTableRecords&) = delete;

  // A zeroed image of the table's record size.
  TRecordImage NewImage() const;
  // Inserts the record; returns its record number. QUARRY_OSEACCES for read-only tables, QUARRY_KEYVIOL when a
  // unique key exists (nothing changed then).
  std::int32_t Insert(const TRecordImage& image);
  // Replaces the field values of an active record (its identifier stays). A record locked by
  // another session or process gives QUARRY_RECLOCKFAILED after the retries; QUARRY_KEYORRECDELETED when the slot is deleted.
  void Update(std::int32_t recordNo, const TRecordImage& image);
  void Delete(std::int32_t recordNo);
  // A copy of the record image; QUARRY_FILECORRUPT for a number beyond the table.
  TRecordImage Read(std::int32_t recordNo);
  // The record number whose primary key equals the one built from image; 0 when none.
  std::int32_t FindPrimary(const TRecordImage& image);
  // Active records (the index file's count).
  std::int32_t RecordCount();
  // Walks every index against the data: empty when all agree, else what disagrees.
  std::string Verify();

 private:
  // Positions the cursor on an active record (QUARRY_KEYORRECDELETED when it is not one).
  void Seek(std::int32_t recordNo);

  TDataTable& table_;
  std::unique_ptr<TDataCursor> cursor_;
};

}  // namespace quarry
