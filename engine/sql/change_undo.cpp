// Taking back a failed statement's changes inside the user's transaction; see change_undo.h.
#include "engine/sql/change_undo.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/table.h"

namespace quarry {

TChangeUndo::TChangeUndo(TDataCursor& target) : target_(target) {
  bool autoInc = false;
  for (const TFieldDefinition& field : target_.TableFields()) {
    if (field.IsBlob()) allBlobs_.push_back(field.FieldNo);
    autoInc = autoInc || field.IsAutoInc();
  }
  deletionsReturn_ = !autoInc || target_.Table().Data().SlotReuse();
}

void TChangeUndo::Clear() {
  entries_.clear();
  complete_ = true;
}

void TChangeUndo::Inserted(std::int32_t recordNo) { Remember(TKind::Inserted, recordNo, nullptr, {}); }

void TChangeUndo::Updating(std::int32_t recordNo, const std::uint8_t* image) {
  Remember(TKind::Updated, recordNo, image, updatedBlobs_);
}

void TChangeUndo::Deleting(std::int32_t recordNo, const std::uint8_t* image) {
  if (!deletionsReturn_) {
    complete_ = false;
    return;
  }
  Remember(TKind::Deleted, recordNo, image, allBlobs_);
}

void TChangeUndo::Remember(TKind kind, std::int32_t recordNo, const std::uint8_t* image,
                           const std::vector<int>& blobFields) {
  TEntry entry;
  entry.Kind = kind;
  entry.RecordNo = recordNo;
  if (image != nullptr) {
    entry.Image.assign(image, image + target_.RecordSize());
    for (const int fieldNo : blobFields) {
      const TFieldDefinition& field = target_.TableFields()[static_cast<std::size_t>(fieldNo - 1)];
      TBlobValue value;
      value.FieldNo = fieldNo;
      if (!IsFieldNull(image, field)) {
        value.Bytes.emplace();
        target_.ReadTableBlobValue(field, image, *value.Bytes);
      }
      entry.Blobs.push_back(std::move(value));
    }
  }
  entries_.push_back(std::move(entry));
}

void TChangeUndo::WriteBlob(std::uint8_t* buffer, const TBlobValue& value) {
  const TFieldDefinition& field = target_.TableFields()[static_cast<std::size_t>(value.FieldNo - 1)];
  if (!value.Bytes || value.Bytes->empty()) {
    SetFieldNull(buffer, field);
    return;
  }
  const std::int64_t size = static_cast<std::int64_t>(value.Bytes->size());
  TEngineErrorCode code = target_.OpenBlob(value.FieldNo, buffer, true);
  if (code == QUARRY_NONE) code = target_.TruncateBlob(value.FieldNo, buffer, 0);
  if (code == QUARRY_NONE) code = target_.WriteBlob(value.FieldNo, buffer, 0, size, value.Bytes->data());
  if (code != QUARRY_NONE) RaiseEngineError(code, {.table = target_.TableName(), .field = field.Name});
}

void TChangeUndo::UndoOne(const TEntry& entry, std::vector<std::uint8_t>& buffer) {
  const std::size_t recordSize = static_cast<std::size_t>(target_.RecordSize());
  switch (entry.Kind) {
  case TKind::Inserted:
    if (target_.GotoRecordNo(entry.RecordNo) == QUARRY_NONE) target_.DeleteRecord(nullptr, false);
    return;
  case TKind::Updated: {
    if (target_.GotoRecordNo(entry.RecordNo) != QUARRY_NONE) return;
    if (target_.GetCurrentRecord(buffer.data(), true) != QUARRY_NONE) return;
    const std::vector<std::uint8_t> current(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(recordSize));
    // The identifier and every field as they were; a BLOB whose blocks the update let go is
    // written again over the record's present one.
    std::memcpy(buffer.data() + AutoIncOffset, entry.Image.data() + AutoIncOffset, recordSize - AutoIncOffset);
    try {
      for (const TBlobValue& value : entry.Blobs) {
        const TFieldDefinition& field = target_.TableFields()[static_cast<std::size_t>(value.FieldNo - 1)];
        std::memcpy(buffer.data() + field.Offset, current.data() + field.Offset,
                    static_cast<std::size_t>(field.ValueSize) + 1);
        WriteBlob(buffer.data(), value);
      }
      target_.UpdateRecord(buffer.data(), true, false);
    } catch (...) {
      target_.CloseBlobs(buffer.data());
      target_.UnlockRecord();
      throw;
    }
    target_.CloseBlobs(buffer.data());
    return;
  }
  case TKind::Deleted: {
    std::fill(buffer.begin(), buffer.end(), 0);
    std::memcpy(buffer.data(), entry.Image.data(), recordSize);
    try {
      for (const TBlobValue& value : entry.Blobs) {
        SetFieldNull(buffer.data(), target_.TableFields()[static_cast<std::size_t>(value.FieldNo - 1)]);
        WriteBlob(buffer.data(), value);
      }
      target_.InsertRecord(buffer.data(), false);
    } catch (...) {
      target_.CloseBlobs(buffer.data());
      throw;
    }
    target_.CloseBlobs(buffer.data());
    return;
  }
  }
}

void TChangeUndo::Undo() noexcept {
  if (!target_.IsOpen() || !complete_) {
    entries_.clear();
    return;
  }
  const bool keep = target_.KeepSuppliedIdentifiers();
  // A record inserted again takes back its own identifier.
  target_.SetKeepSuppliedIdentifiers(true);
  try {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(target_.RecordBufferSize()), 0);
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
      try {
        UndoOne(*it, buffer);
      } catch (...) {
        // The rest is still taken back.
      }
    }
  } catch (...) {
    // No buffer for the records: nothing could be taken back.
  }
  target_.SetKeepSuppliedIdentifiers(keep);
  entries_.clear();
}

}  // namespace quarry
