// TCursorBlobs: a cursor's open BLOB buffers and the posting of BLOB values (see
// cursor_blobs.h).
#include "engine/storage/cursor/cursor_blobs.h"

#include <algorithm>

#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/table.h"
#include "engine/values/byte_image.h"

namespace quarry {

namespace {

[[noreturn]] void RaiseFor(TEngineErrorCode code, const TEngineErrorContext& where, std::string_view field = {}) {
  TEngineErrorContext context = where;
  context.field = std::string(field);
  RaiseEngineError(code, context);
}

}  // namespace

std::int32_t TCursorBlobs::SlotValue(const std::uint8_t* record, const TFieldDefinition& field) {
  return bytes::Load<std::int32_t>(FieldData(record, field));
}

void TCursorBlobs::SetSlotValue(std::uint8_t* record, const TFieldDefinition& field, std::int32_t value) {
  bytes::Store<std::int32_t>(FieldData(record, field), value);
}

TBlobBuffer* TCursorBlobs::Find(std::int32_t slot, int tableFieldNo, std::int32_t recordNo) const {
  if (slot >= 0) return nullptr;
  const std::int64_t index = -static_cast<std::int64_t>(slot) - 1;
  if (index >= static_cast<std::int64_t>(buffers_.size())) return nullptr;
  TBlobBuffer* buffer = buffers_[static_cast<std::size_t>(index)].get();
  if (buffer == nullptr || buffer->FieldNo != tableFieldNo || buffer->RecordNo != recordNo) return nullptr;
  return buffer;
}

std::int32_t TCursorBlobs::Add(std::unique_ptr<TBlobBuffer> buffer) {
  auto freeSlot = std::find(buffers_.begin(), buffers_.end(), nullptr);
  if (freeSlot == buffers_.end()) freeSlot = buffers_.insert(buffers_.end(), nullptr);
  const std::int32_t handle = -static_cast<std::int32_t>(freeSlot - buffers_.begin()) - 1;
  *freeSlot = std::move(buffer);
  return handle;
}

void TCursorBlobs::Remove(std::int32_t handle) {
  buffers_[static_cast<std::size_t>(-static_cast<std::int64_t>(handle) - 1)].reset();
  while (!buffers_.empty() && buffers_.back() == nullptr) buffers_.pop_back();
}

int TCursorBlobs::OpenCount() const {
  return static_cast<int>(std::count_if(buffers_.begin(), buffers_.end(), [](const auto& b) { return b != nullptr; }));
}

std::vector<TCursorBlobs::TPost> TCursorBlobs::Post(TDataTable& table, const std::vector<TFieldDefinition>& fields,
                                                    std::uint8_t* record, const std::uint8_t* stored,
                                                    std::int32_t givenRecordNo, bool referencesAsGiven,
                                                    const TEngineErrorContext& where) {
  std::vector<TPost> posts;
  TDataFile& data = table.Data();
  if (data.BlobFieldCount() == 0) return posts;
  TBlobFile* file = table.Blob();
  if (file == nullptr) RaiseFor(QUARRY_MEMOCORRUPT, where);
  std::vector<std::uint8_t> copied;
  for (const TFieldDefinition& field : fields) {
    if (!field.IsBlob() || field.Computed) continue;
    TBlobReference old;
    if (stored != nullptr && !IsFieldNull(stored, field)) old = GetFieldBlob(stored, field);
    const std::int32_t slot = SlotValue(record, field);
    const std::vector<std::uint8_t>* content = nullptr;
    TBlobBuffer* buffer = nullptr;
    if (slot < 0) {
      buffer = Find(slot, field.FieldNo, givenRecordNo);
      if (buffer == nullptr) RaiseFor(QUARRY_INVALIDBLOBHANDLE, where, field.Name);
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
      if (referencesAsGiven) {
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
      written.ChangeNumber = data.NextBlobChangeNumber();
      written.FirstBlock = file->WriteBlob(old.FirstBlock, old.ChangeNumber, written.ChangeNumber, content->data(),
                                           static_cast<std::int64_t>(content->size()));
    }
    SetFieldBlob(record, field, written);
    if (buffer != nullptr) posts.push_back({buffer, written.FirstBlock, written.ChangeNumber});
  }
  return posts;
}

void TCursorBlobs::Commit(const std::vector<TPost>& posts, std::int32_t recordNo) {
  for (const TPost& post : posts) {
    post.Buffer->RecordNo = recordNo;
    post.Buffer->FirstBlock = post.FirstBlock;
    post.Buffer->ChangeNumber = post.ChangeNumber;
    post.Buffer->Modified = false;
  }
}

void TCursorBlobs::Free(TDataTable& table, const std::vector<TFieldDefinition>& fields, const std::uint8_t* stored) {
  if (table.Data().BlobFieldCount() == 0 || table.Blob() == nullptr) return;
  for (const TFieldDefinition& field : fields) {
    if (!field.IsBlob() || field.Computed || IsFieldNull(stored, field)) continue;
    const TBlobReference reference = GetFieldBlob(stored, field);
    if (reference.FirstBlock > 0) table.Blob()->FreeChain(reference.FirstBlock, reference.ChangeNumber);
  }
}

}  // namespace quarry
