// TDataCursor: BLOB access. A BLOB is read whole into a TBlobBuffer when it is opened, read
// and changed there, and written back as a chain of blocks (blob_file.h) only when its
// record is posted; deleting a record frees its chains. While open, the first-block slot of
// the record buffer holds the buffer's handle, -(index in blobs_ + 1), which never reaches
// the data file.
#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/cursor/data_cursor_impl.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/table.h"
#include "engine/values/byte_image.h"

namespace quarry {

namespace {

constexpr int MaxOpenBlobs = 128;
constexpr std::int64_t MaxBlobSize = INT32_MAX;

std::int32_t SlotValue(const std::uint8_t* record, const TFieldDefinition& field) {
  return bytes::Load<std::int32_t>(FieldData(record, field));
}

void SetSlotValue(std::uint8_t* record, const TFieldDefinition& field, std::int32_t value) {
  bytes::Store<std::int32_t>(FieldData(record, field), value);
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
  const std::int32_t slot = SlotValue(record, field);
  if (slot >= 0) return nullptr;
  const std::int64_t index = -static_cast<std::int64_t>(slot) - 1;
  if (index >= static_cast<std::int64_t>(blobs_.size())) return nullptr;
  TBlobBuffer* buffer = blobs_[static_cast<std::size_t>(index)].get();
  // A handle names a buffer of this field opened through a buffer of this record; anything
  // else (a damaged reference read from the file, say) is no handle.
  if (buffer == nullptr || buffer->FieldNo != presentedSource_[static_cast<std::size_t>(field.FieldNo - 1)] ||
      buffer->RecordNo != RecordLink(record)) {
    return nullptr;
  }
  return buffer;
}

int TDataCursor::OpenBlobCount() const {
  return static_cast<int>(std::count_if(blobs_.begin(), blobs_.end(), [](const auto& b) { return b != nullptr; }));
}

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
  if (OpenBlobCount() >= MaxOpenBlobs) return QUARRY_OPENBLOBLIMIT;

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
  auto freeSlot = std::find(blobs_.begin(), blobs_.end(), nullptr);
  if (freeSlot == blobs_.end()) freeSlot = blobs_.insert(blobs_.end(), nullptr);
  const std::int32_t handle = -static_cast<std::int32_t>(freeSlot - blobs_.begin()) - 1;
  if (size != nullptr) *size = static_cast<std::int64_t>(buffer->Content.size());
  *freeSlot = std::move(buffer);
  SetSlotValue(record, *field, handle);
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
  blobs_[static_cast<std::size_t>(-static_cast<std::int64_t>(SlotValue(record, *field)) - 1)].reset();
  SetFieldBlob(record, *field, stored);
  while (!blobs_.empty() && blobs_.back() == nullptr) blobs_.pop_back();
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
    const std::int64_t index = -static_cast<std::int64_t>(slot) - 1;
    const TBlobBuffer* blob =
        index < static_cast<std::int64_t>(blobs_.size()) ? blobs_[static_cast<std::size_t>(index)].get() : nullptr;
    if (blob == nullptr || blob->FieldNo != tableField.FieldNo || blob->RecordNo != RecordLink(record)) {
      Raise(QUARRY_INVALIDBLOBHANDLE, tableField.Name);
    }
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

// ---------------------------------------------------------------------------------------
// Posting and deleting

std::vector<TDataCursor::TBlobPost> TDataCursor::PostBlobs(std::uint8_t* record, const std::uint8_t* stored,
                                                           std::int32_t givenRecordNo) {
  std::vector<TBlobPost> posts;
  if (Data().BlobFieldCount() == 0) return posts;
  TBlobFile* file = table_->Blob();
  if (file == nullptr) Raise(QUARRY_MEMOCORRUPT);
  std::vector<std::uint8_t> copied;
  for (const TFieldDefinition& field : fields_) {
    if (!field.IsBlob() || field.Computed) continue;
    TBlobReference old;
    if (stored != nullptr && !IsFieldNull(stored, field)) old = GetFieldBlob(stored, field);
    const std::int32_t slot = SlotValue(record, field);
    const std::vector<std::uint8_t>* content = nullptr;
    TBlobBuffer* buffer = nullptr;
    if (slot < 0) {
      const std::int64_t index = -static_cast<std::int64_t>(slot) - 1;
      if (index < static_cast<std::int64_t>(blobs_.size())) buffer = blobs_[static_cast<std::size_t>(index)].get();
      if (buffer == nullptr || buffer->FieldNo != field.FieldNo || buffer->RecordNo != givenRecordNo) {
        Raise(QUARRY_INVALIDBLOBHANDLE, field.Name);
      }
      const bool unchanged = !buffer->Modified && stored != nullptr && buffer->FirstBlock == old.FirstBlock &&
                             buffer->ChangeNumber == old.ChangeNumber;
      if (unchanged) {
        SetFieldBlob(record, field, old);
        continue;
      }
      content = &buffer->Content;
    } else if (IsFieldNull(record, field) || slot == 0) {
      content = nullptr;
    } else {
      const TBlobReference given = GetFieldBlob(record, field);
      const bool same =
          stored != nullptr && given.FirstBlock == old.FirstBlock && given.ChangeNumber == old.ChangeNumber;
      if (same) continue;
      if (referencesAsGiven_) {
        file->FreeChain(old.FirstBlock, old.ChangeNumber);
        continue;
      }
      // A reference to another record's chain: the record gets its own copy, so that no two
      // records ever share blocks.
      file->ReadBlob(given.FirstBlock, given.ChangeNumber, copied);
      content = &copied;
    }
    TBlobReference written;
    if (content == nullptr || content->empty()) {
      file->FreeChain(old.FirstBlock, old.ChangeNumber);
    } else {
      written.ChangeNumber = Data().NextBlobChangeNumber();
      written.FirstBlock = file->WriteBlob(old.FirstBlock, old.ChangeNumber, written.ChangeNumber, content->data(),
                                           static_cast<std::int64_t>(content->size()));
    }
    SetFieldBlob(record, field, written);
    if (buffer != nullptr) posts.push_back({buffer, written.FirstBlock, written.ChangeNumber});
  }
  return posts;
}

void TDataCursor::CommitBlobPosts(const std::vector<TBlobPost>& posts, std::int32_t recordNo) {
  for (const TBlobPost& post : posts) {
    post.Buffer->RecordNo = recordNo;
    post.Buffer->FirstBlock = post.FirstBlock;
    post.Buffer->ChangeNumber = post.ChangeNumber;
    post.Buffer->Modified = false;
  }
}

void TDataCursor::FreeBlobs(const std::uint8_t* stored) {
  if (Data().BlobFieldCount() == 0 || table_->Blob() == nullptr) return;
  for (const TFieldDefinition& field : fields_) {
    if (!field.IsBlob() || field.Computed || IsFieldNull(stored, field)) continue;
    const TBlobReference reference = GetFieldBlob(stored, field);
    if (reference.FirstBlock > 0) table_->Blob()->FreeChain(reference.FirstBlock, reference.ChangeNumber);
  }
}

}  // namespace quarry
