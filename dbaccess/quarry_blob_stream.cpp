// TQuarryBlobStream: the dataset side of the cursor's BLOB operations (see
// quarry_blob_stream.h).
#include "dbaccess/quarry_blob_stream.h"

#include <algorithm>
#include <cstring>

#include "dbaccess/access_messages.h"
#include "dbaccess/quarry_session.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {

TDataCursor& TQuarryBlobStream::CursorOf(TQuarryField& field) {
  TQuarryDataSet& dataSet = field.dataSet_;
  if (!dataSet.Active() || dataSet.Cursor() == nullptr) msg::Raise(msg::DataSetClosed);
  return *dataSet.Cursor();
}

TQuarryBlobStream::TQuarryBlobStream(TQuarryField& field, TBlobStreamMode mode)
    : field_(field), dataSet_(field.dataSet_), cursor_(CursorOf(field)), fieldNo_(0), mode_(mode) {
  if (mode != TBlobStreamMode::bmRead) {
    if (dataSet_.State() != TDataSetState::dsEdit && dataSet_.State() != TDataSetState::dsInsert) {
      msg::Raise(msg::NotEditing);
    }
    if (field.ReadOnly() || !dataSet_.CanModify()) msg::Raise(msg::FieldReadOnly, field.FieldName());
  }
  if (!field.IsBlob()) Raise(QUARRY_NOTABLOB);
  fieldNo_ = field.Engine().FieldNo;
  TEngineErrorCode code = Open();
  if (code == QUARRY_KEYORRECDELETED && mode == TBlobStreamMode::bmRead &&
      dataSet_.State() == TDataSetState::dsBrowse) {
    // Someone rewrote the record since it was read: read it again, once.
    dataSet_.Refresh();
    code = Open();
  }
  if (code != QUARRY_NONE) Raise(code);
  if (mode != TBlobStreamMode::bmRead) {
    code = cursor_.TruncateBlob(fieldNo_, Record(), 0);
    if (code != QUARRY_NONE) {
      cursor_.CloseBlob(fieldNo_, Record());
      Raise(code);
    }
    modified_ = true;
  }
}

TQuarryBlobStream::~TQuarryBlobStream() {
  // A written value waits in the cursor for the post; otherwise the buffer goes.
  const TDataSetState state = dataSet_.State();
  if (!modified_ || state == TDataSetState::dsFilter || state == TDataSetState::dsNewValue) {
    if (dataSet_.Active() && dataSet_.Cursor() == &cursor_) cursor_.CloseBlob(fieldNo_, Record());
  }
}

std::uint8_t* TQuarryBlobStream::Record() const { return dataSet_.record_.data(); }

TEngineErrorCode TQuarryBlobStream::Open() {
  TSessionLock lock(dataSet_.LockSession());
  return cursor_.OpenBlob(fieldNo_, Record(), mode_ != TBlobStreamMode::bmRead);
}

void TQuarryBlobStream::Raise(TEngineErrorCode code) const {
  RaiseEngineError(code, {.table = cursor_.TableName(), .field = field_.FieldName()});
}

std::int64_t TQuarryBlobStream::Size() const {
  std::int64_t size = 0;
  const TEngineErrorCode code = cursor_.BlobSize(fieldNo_, Record(), size);
  if (code != QUARRY_NONE) Raise(code);
  return size;
}

std::int32_t TQuarryBlobStream::Read(void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  std::int64_t read = 0;
  const TEngineErrorCode code =
      cursor_.ReadBlob(fieldNo_, Record(), position_, count, static_cast<std::uint8_t*>(buffer), read);
  if (code == QUARRY_ENDOFBLOB || code == QUARRY_INVALIDBLOBOFFSET) return 0;
  if (code != QUARRY_NONE) Raise(code);
  position_ += read;
  return static_cast<std::int32_t>(read);
}

std::int32_t TQuarryBlobStream::Write(const void* buffer, std::int32_t count) {
  if (mode_ == TBlobStreamMode::bmRead || count <= 0) return 0;
  const TEngineErrorCode code =
      cursor_.WriteBlob(fieldNo_, Record(), position_, count, static_cast<const std::uint8_t*>(buffer));
  if (code != QUARRY_NONE) Raise(code);
  position_ += count;
  modified_ = true;
  return count;
}

std::int64_t TQuarryBlobStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                            : origin == TSeekOrigin::soCurrent ? position_
                                                               : Size();
  position_ = std::max<std::int64_t>(0, base + offset);
  return position_;
}

void TQuarryBlobStream::Truncate() {
  if (mode_ == TBlobStreamMode::bmRead) return;
  const TEngineErrorCode code = cursor_.TruncateBlob(fieldNo_, Record(), std::min(position_, Size()));
  if (code != QUARRY_NONE) Raise(code);
  modified_ = true;
}

std::string TQuarryBlobStream::ReadAll() {
  std::string value(static_cast<std::size_t>(Size()), '\0');
  Seek(0, TSeekOrigin::soBeginning);
  const std::int32_t read = Read(value.data(), static_cast<std::int32_t>(value.size()));
  value.resize(static_cast<std::size_t>(read));
  return value;
}

}  // namespace quarry
