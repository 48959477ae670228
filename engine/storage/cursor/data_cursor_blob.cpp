// TDataCursor: the BLOB operations on record buffers. The open buffers and the handles in the
// records' first-block slots are kept by TCursorBlobs (cursor_blobs.h), which also writes
// the values when a record is posted.
#include <algorithm>
#include <cstring>

#include "engine/storage/cursor/cursor_blobs.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/cursor/data_cursor_impl.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/table.h"

namespace quarry {

namespace {

constexpr std::int64_t MaxBlobSize = INT32_MAX;

std::int32_t SlotValue(const std::uint8_t* record, const TFieldDefinition& field) {
  return TCursorBlobs::SlotValue(record, field);
}

// The field's flag says whether the BLOB has a value; the slot keeps the handle meanwhile.
void SetHasValue(std::uint8_t* record, const TFieldDefinition& field, bool hasValue) {
  record[field.Offset] = hasValue ? 1 : 0;
}

}  // namespace

const TFieldDefinition* TDataCursor::BlobField(int fieldNo, TEngineErrorCode& code) const {
  code = QUARRY_NONE;
  if (fieldNo < 1 || fieldNo > FieldCount()) {
    code = QUARRY_NOTABLOB;
    return nullptr;
  }
  const TFieldDefinition& field = presented_[static_cast<std::size_t>(fieldNo - 1)];
  if (!field.IsBlob() || field.Computed) {
    code = QUARRY_NOTABLOB;
    return nullptr;
  }
  return &field;
}

TBlobBuffer* TDataCursor::FindBlob(const TFieldDefinition& field, const std::uint8_t* record) const {
  // A handle names a buffer of this field opened through a buffer of this record; anything
  // else (a damaged reference read from the file, say) is no handle.
  return blobs_.Find(SlotValue(record, field), presentedSource_[static_cast<std::size_t>(field.FieldNo - 1)],
                     RecordLink(record));
}

int TDataCursor::OpenBlobCount() const { return blobs_.OpenCount(); }

TEngineErrorCode TDataCursor::OpenBlob(int fieldNo, std::uint8_t* record, bool forWrite, std::int64_t* size) {
  RequireOpen();
  if (size != nullptr) *size = 0;
  TEngineErrorCode code = QUARRY_NONE;
  const TFieldDefinition* field = BlobField(fieldNo, code);
  if (field == nullptr) return code;
  if (forWrite && ReadOnly()) return QUARRY_OSEACCES;
  if (TBlobBuffer* open = FindBlob(*field, record)) {
    ++open->OpenCount;
    open->Writable = open->Writable || forWrite;
    if (size != nullptr) *size = static_cast<std::int64_t>(open->Content.size());
    return QUARRY_NONE;
  }
  if (SlotValue(record, *field) < 0) return QUARRY_INVALIDBLOBHANDLE;  // a handle that is gone
  if (blobs_.OpenCount() >= MaxOpenBlobs) return QUARRY_OPENBLOBLIMIT;

  auto buffer = std::make_unique<TBlobBuffer>();
  buffer->Owner = this;
  buffer->FieldNo = presentedSource_[static_cast<std::size_t>(fieldNo - 1)];
  buffer->RecordNo = RecordLink(record);
  buffer->Writable = forWrite;
  buffer->OpenCount = 1;
  if (!IsFieldNull(record, *field)) {
    const TBlobReference reference = GetFieldBlob(record, *field);
    buffer->FirstBlock = reference.FirstBlock;
    buffer->ChangeNumber = reference.ChangeNumber;
  }
  if (buffer->FirstBlock != 0) {
    if (table_->Blob() == nullptr) return QUARRY_MEMOCORRUPT;
    try {
      ReadStoredBlob({buffer->FirstBlock, buffer->ChangeNumber}, buffer->Content);
    } catch (const EQuarryEngineError& e) {
      return e.Code();
    }
  }
  if (size != nullptr) *size = static_cast<std::int64_t>(buffer->Content.size());
  TCursorBlobs::SetSlotValue(record, *field, blobs_.Add(std::move(buffer)));
  return QUARRY_NONE;
}

TBlobBuffer* TDataCursor::OpenBlobOf(int fieldNo, const std::uint8_t* record, TEngineErrorCode& code,
                                     const TFieldDefinition** field) const {
  RequireOpen();
  const TFieldDefinition* blobField = BlobField(fieldNo, code);
  if (blobField == nullptr) return nullptr;
  if (field != nullptr) *field = blobField;
  TBlobBuffer* blob = FindBlob(*blobField, record);
  if (blob == nullptr) code = QUARRY_INVALIDBLOBHANDLE;
  return blob;
}

TEngineErrorCode TDataCursor::ReadBlob(int fieldNo, const std::uint8_t* record, std::int64_t offset, std::int64_t count,
                                       std::uint8_t* buffer, std::int64_t& read) {
  read = 0;
  TEngineErrorCode code = QUARRY_NONE;
  TBlobBuffer* blob = OpenBlobOf(fieldNo, record, code);
  if (blob == nullptr) return code;
  if (offset < 0 || count < 0) return QUARRY_INVALIDBLOBOFFSET;
  const auto size = static_cast<std::int64_t>(blob->Content.size());
  if (offset >= size) return count == 0 ? QUARRY_NONE : QUARRY_ENDOFBLOB;
  read = std::min(count, size - offset);
  std::memcpy(buffer, blob->Content.data() + offset, static_cast<std::size_t>(read));
  return QUARRY_NONE;
}

TEngineErrorCode TDataCursor::WriteBlob(int fieldNo, std::uint8_t* record, std::int64_t offset, std::int64_t count,
                                        const std::uint8_t* data) {
  TEngineErrorCode code = QUARRY_NONE;
  const TFieldDefinition* field = nullptr;
  TBlobBuffer* blob = OpenBlobOf(fieldNo, record, code, &field);
  if (blob == nullptr) return code;
  if (!blob->Writable) return QUARRY_OSEACCES;
  if (offset < 0 || count < 0) return QUARRY_INVALIDBLOBOFFSET;
  if (offset > MaxBlobSize - count) return QUARRY_INVALIDBLOBLEN;
  if (count == 0) return QUARRY_NONE;
  const std::size_t end = static_cast<std::size_t>(offset + count);
  if (blob->Content.size() < end) blob->Content.resize(end, 0);
  std::memcpy(blob->Content.data() + offset, data, static_cast<std::size_t>(count));
  blob->Modified = true;
  SetHasValue(record, *field, !blob->Content.empty());
  return QUARRY_NONE;
}

TEngineErrorCode TDataCursor::TruncateBlob(int fieldNo, std::uint8_t* record, std::int64_t newSize) {
  TEngineErrorCode code = QUARRY_NONE;
  const TFieldDefinition* field = nullptr;
  TBlobBuffer* blob = OpenBlobOf(fieldNo, record, code, &field);
  if (blob == nullptr) return code;
  if (!blob->Writable) return QUARRY_OSEACCES;
  if (newSize < 0) return QUARRY_INVALIDBLOBOFFSET;
  if (newSize > MaxBlobSize) return QUARRY_INVALIDBLOBLEN;
  if (static_cast<std::size_t>(newSize) != blob->Content.size()) {
    blob->Content.resize(static_cast<std::size_t>(newSize), 0);
    blob->Modified = true;
  }
  SetHasValue(record, *field, newSize != 0);
  return QUARRY_NONE;
}

TEngineErrorCode TDataCursor::BlobSize(int fieldNo, const std::uint8_t* record, std::int64_t& size) {
  size = 0;
  TEngineErrorCode code = QUARRY_NONE;
  TBlobBuffer* blob = OpenBlobOf(fieldNo, record, code);
  if (blob == nullptr) return code;
  size = static_cast<std::int64_t>(blob->Content.size());
  return QUARRY_NONE;
}

TEngineErrorCode TDataCursor::CloseBlob(int fieldNo, std::uint8_t* record) {
  TEngineErrorCode code = QUARRY_NONE;
  const TFieldDefinition* field = nullptr;
  TBlobBuffer* blob = OpenBlobOf(fieldNo, record, code, &field);
  if (blob == nullptr) return code;
  if (--blob->OpenCount > 0) return QUARRY_NONE;
  const TBlobReference stored{blob->FirstBlock, blob->ChangeNumber};
  blobs_.Remove(SlotValue(record, *field));
  SetFieldBlob(record, *field, stored);
  return QUARRY_NONE;
}

void TDataCursor::CloseBlobs(std::uint8_t* record) {
  if (table_ == nullptr) return;
  for (int fieldNo = 1; fieldNo <= FieldCount(); ++fieldNo) {
    TEngineErrorCode code = QUARRY_NONE;
    const TFieldDefinition* field = BlobField(fieldNo, code);
    TBlobBuffer* blob = field != nullptr ? FindBlob(*field, record) : nullptr;
    if (blob == nullptr) continue;
    blob->OpenCount = 1;
    CloseBlob(fieldNo, record);
  }
}

void TDataCursor::ReadBlobValue(int fieldNo, const std::uint8_t* record, std::vector<std::uint8_t>& value) {
  RequireOpen();
  value.clear();
  TEngineErrorCode code = QUARRY_NONE;
  const TFieldDefinition* field = BlobField(fieldNo, code);
  if (field == nullptr) Raise(code, GetFieldDefinition(fieldNo).Name);
  ReadTableBlobValue(fields_[static_cast<std::size_t>(presentedSource_[static_cast<std::size_t>(fieldNo - 1)] - 1)],
                     record, value);
}

void TDataCursor::ReadTableBlobValue(const TFieldDefinition& tableField, const std::uint8_t* record,
                                     std::vector<std::uint8_t>& value, bool lock) {
  RequireOpen();
  value.clear();
  if (!tableField.IsBlob()) Raise(QUARRY_NOTABLOB, tableField.Name);
  const std::int32_t slot = SlotValue(record, tableField);
  if (slot < 0) {
    const TBlobBuffer* blob = blobs_.Find(slot, tableField.FieldNo, RecordLink(record));
    if (blob == nullptr) Raise(QUARRY_INVALIDBLOBHANDLE, tableField.Name);
    value = blob->Content;
    return;
  }
  if (IsFieldNull(record, tableField) || slot == 0) return;
  const TBlobReference reference = GetFieldBlob(record, tableField);
  if (table_->Blob() == nullptr) Raise(QUARRY_MEMOCORRUPT);
  if (lock) {
    ReadStoredBlob(reference, value);
  } else {
    table_->Blob()->ReadBlob(reference.FirstBlock, reference.ChangeNumber, value);
  }
}

void TDataCursor::ReadStoredBlob(TBlobReference reference, std::vector<std::uint8_t>& value) {
  TBlobFile& file = *table_->Blob();
  if (Session().Settings().StrictChangeDetection) {
    TReadLockGuard lock(*table_);
    file.ReadBlob(reference.FirstBlock, reference.ChangeNumber, value);
    return;
  }
  // Like record reads: no lock, but a read that has to go to the file first looks for other
  // users' changes. Blocks still cached from before another user's change show up as a
  // chain that does not fit; the read is then tried once more after the check.
  if (!file.IsCached(reference.FirstBlock)) CheckForChanges();
  try {
    file.ReadBlob(reference.FirstBlock, reference.ChangeNumber, value);
  } catch (const EQuarryEngineError& e) {
    const TEngineErrorCode code = e.Code();
    const bool chainMismatch = code == QUARRY_KEYORRECDELETED || code == QUARRY_MEMOCORRUPT || code == QUARRY_ENDOFBLOB;
    if (!chainMismatch || !CheckForChanges()) throw;
    file.ReadBlob(reference.FirstBlock, reference.ChangeNumber, value);
  }
}

std::function<bool(const TFieldDefinition&, const std::uint8_t*, std::string&)> TDataCursor::BlobValueReader() {
  return [this](const TFieldDefinition& field, const std::uint8_t* record, std::string& contents) {
    std::vector<std::uint8_t> value;
    try {
      ReadTableBlobValue(field, record, value, false);
    } catch (const EQuarryEngineError&) {
      return false;
    }
    contents.assign(value.begin(), value.end());
    return true;
  };
}

}  // namespace quarry
