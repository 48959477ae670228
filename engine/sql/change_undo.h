// TChangeUndo: what a data-changing statement running inside the user's transaction has done
// so far, so that a statement failing part-way can be taken back without touching what the
// transaction did before it.
//
// A statement of its own transaction needs none of this (a failure rolls its transaction
// back); in the user's transaction the changes live in the tables' caches with everything
// else the transaction did, so they are taken back row by row through the target's cursor,
// newest first: an inserted record is deleted, an updated one gets its former image back, a
// deleted one is inserted again with its former identifier (which lands in its former slot,
// since slots are reused newest first). BLOB values are kept as bytes where the change let go
// of their blocks: every BLOB of a deleted record, and the BLOB columns an UPDATE sets.
// Auto-increment values the statement issued stay issued.
//
// One case cannot be taken back: deletions from a table with an auto-increment field that
// never reuses its slots (one without primary index). A record inserted again there would
// need a new slot while its identifier stays marked deleted in the old one, so the deleted
// records stay deleted in the transaction, which the user may still roll back.
//
// Taking back runs while the statement's error passes on; it never raises. Should a step of
// it fail (say a page of the table cannot be read any more), the rest is still tried and the
// transaction keeps what could not be taken back.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quarry {

class TDataCursor;

class TChangeUndo {
 public:
  // target: the cursor that makes the statement's changes (open for writing).
  explicit TChangeUndo(TDataCursor& target);

  // The fields whose BLOBs an UPDATE rewrites (field numbers of the target).
  void SetUpdatedBlobFields(std::vector<int> fieldNumbers) { updatedBlobs_ = std::move(fieldNumbers); }

  // Call after the change: the record inserted. Before the change: the record about to be
  // updated or deleted (the image as read, RecordSize() bytes).
  void Inserted(std::int32_t recordNo);
  void Updating(std::int32_t recordNo, const std::uint8_t* image);
  void Deleting(std::int32_t recordNo, const std::uint8_t* image);

  // Forgets everything recorded (the rows were committed).
  void Clear();
  bool Empty() const { return entries_.empty(); }
  // False when a recorded change cannot be taken back (see above).
  bool Complete() const { return complete_; }
  // Takes every recorded change back, newest first.
  void Undo() noexcept;

 private:
  enum class TKind : std::uint8_t { Inserted, Updated, Deleted };
  struct TBlobValue {
    int FieldNo = 0;
    std::optional<std::vector<std::uint8_t>> Bytes;  // empty optional: NULL
  };
  struct TEntry {
    TKind Kind = TKind::Inserted;
    std::int32_t RecordNo = 0;
    std::vector<std::uint8_t> Image;
    std::vector<TBlobValue> Blobs;
  };

  TDataCursor& target_;
  std::vector<int> updatedBlobs_;
  std::vector<int> allBlobs_;
  bool deletionsReturn_ = true;  // a deleted record can be inserted again as it was
  bool complete_ = true;
  std::vector<TEntry> entries_;

  void Remember(TKind kind, std::int32_t recordNo, const std::uint8_t* image, const std::vector<int>& blobFields);
  void UndoOne(const TEntry& entry, std::vector<std::uint8_t>& buffer);
  // Writes a kept BLOB value into a record buffer's field (through an open BLOB).
  void WriteBlob(std::uint8_t* buffer, const TBlobValue& value);
};

}  // namespace quarry
