// TQuarryBlobStream: access checks and positioning (see quarry_blob_stream.h).
#include "dbaccess/quarry_blob_stream.h"

#include <algorithm>
#include <cstring>

#include "dbaccess/access_messages.h"
#include "engine/storage/engine_error.h"

namespace quarry {

TQuarryBlobStream::TQuarryBlobStream(TQuarryField& field, TBlobStreamMode mode) : field_(field), mode_(mode) {
  TQuarryDataSet& dataSet = field.dataSet_;
  if (!dataSet.Active()) msg::Raise(msg::DataSetClosed);
  if (mode != TBlobStreamMode::bmRead) {
    if (dataSet.State() != TDataSetState::dsEdit && dataSet.State() != TDataSetState::dsInsert) {
      msg::Raise(msg::NotEditing);
    }
    if (field.ReadOnly() || !dataSet.CanModify()) msg::Raise(msg::FieldReadOnly, field.FieldName());
  }
  if (!field.IsBlob()) {
    RaiseEngineError(QUARRY_NOTABLOB, "", "", "", "", field.FieldName(), "", "");
  }
  RaiseEngineError(QUARRY_INVALIDBLOBHANDLE, "", "", "", "", field.FieldName(), "", "");
}

TQuarryBlobStream::~TQuarryBlobStream() = default;

std::int32_t TQuarryBlobStream::Read(void* buffer, std::int32_t count) {
  if (count <= 0 || position_ >= Size()) return 0;
  std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(count, Size() - position_));
  std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int32_t TQuarryBlobStream::Write(const void* buffer, std::int32_t count) {
  if (mode_ == TBlobStreamMode::bmRead || count <= 0) return 0;
  if (static_cast<std::int64_t>(data_.size()) < position_ + count) data_.resize(static_cast<std::size_t>(position_ + count));
  std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ += count;
  modified_ = true;
  return count;
}

std::int64_t TQuarryBlobStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? position_ : Size();
  position_ = std::max<std::int64_t>(0, base + offset);
  return position_;
}

void TQuarryBlobStream::Truncate() {
  if (mode_ == TBlobStreamMode::bmRead) return;
  data_.resize(static_cast<std::size_t>(std::min<std::int64_t>(position_, Size())));
  modified_ = true;
}

}  // namespace quarry
