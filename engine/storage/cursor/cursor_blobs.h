// TCursorBlobs: the BLOB buffers a cursor has open, and the writing of BLOB values when a
// record is posted. A BLOB is read whole into a TBlobBuffer when it is opened, read and
// changed there, and written back as a chain of blocks (blob_file.h) only when its record
// is posted; deleting a record frees its chains. While open, the first-block slot of the
// record buffer holds the buffer's handle, -(index + 1), which never reaches the data file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/blob/blob_file.h"
#include "engine/storage/data/field_definition.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {

class TDataTable;

// Most BLOBs one cursor may hold open.
constexpr int MaxOpenBlobs = 128;

class TCursorBlobs {
 public:
  // What a post wrote for an open buffer, applied to it once the change succeeded.
  struct TPost {
    TBlobBuffer* Buffer;
    std::int32_t FirstBlock;
    std::int32_t ChangeNumber;
  };

  // The slot value (first-block bytes) of a BLOB field in a record image.
  static std::int32_t SlotValue(const std::uint8_t* record, const TFieldDefinition& field);
  static void SetSlotValue(std::uint8_t* record, const TFieldDefinition& field, std::int32_t value);

  // The open buffer a slot value names when it is a handle of a buffer of table field
  // tableFieldNo opened through a record with number recordNo; null otherwise (a stored
  // reference, a handle that is gone, or a damaged reference that looks like a handle).
  TBlobBuffer* Find(std::int32_t slot, int tableFieldNo, std::int32_t recordNo) const;
  // Takes a new buffer and returns its handle (a negative slot value).
  std::int32_t Add(std::unique_ptr<TBlobBuffer> buffer);
  // Drops the buffer of a handle.
  void Remove(std::int32_t handle);
  int OpenCount() const;
  void Clear() { buffers_.clear(); }

  // Under the write lock, before the record image is stored: gives every BLOB field of
  // record a real reference, writing changed values with a new change number and freeing
  // the chains of stored (the slot's old image, null for an insert) that are no longer used.
  // givenRecordNo: the record number the caller's buffer carried (its handles' record).
  // referencesAsGiven keeps a reference to another record's chain (the engine's own record
  // path) instead of giving the record its own copy.
  // Errors carry where (database and table) with the field's name.
  std::vector<TPost> Post(TDataTable& table, const std::vector<TFieldDefinition>& fields, std::uint8_t* record,
                          const std::uint8_t* stored, std::int32_t givenRecordNo, bool referencesAsGiven,
                          const TEngineErrorContext& where);
  // After the change succeeded: the open buffers now stand for what was written to record
  // recordNo.
  static void Commit(const std::vector<TPost>& posts, std::int32_t recordNo);
  // Frees the chains of a deleted record's image.
  static void Free(TDataTable& table, const std::vector<TFieldDefinition>& fields, const std::uint8_t* stored);

 private:
  std::vector<std::unique_ptr<TBlobBuffer>> buffers_;
};

}  // namespace quarry
