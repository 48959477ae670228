// TQuarryBlobStream: a byte stream over one BLOB field of a dataset's active record, read and
// written through the cursor's BLOB operations on the dataset's record buffer.
//
// Reading needs an open dataset; opening for read retries once after refreshing the dataset
// when the record was changed by another user (QUARRY_KEYORRECDELETED). Writing needs edit or insert state
// ("Table is not in edit or insert mode.") and a field that may be changed ("Field %s cannot
// be modified."), and starts by truncating the BLOB to nothing. A field that is not a BLOB
// raises QUARRY_NOTABLOB. Engine codes: end of BLOB reads nothing and is no error, an invalid offset
// reads nothing, any other code is raised as EQuarryEngineError.
//
// What a stream writes stays in the cursor's BLOB buffer (the record buffer holds its
// handle) until the dataset posts the record; a stream that wrote nothing gives its buffer
// back when it goes.
#pragma once

#include <cstdint>
#include <string>

#include "dbaccess/quarry_dataset.h"

namespace quarry {

enum class TBlobStreamMode { bmRead, bmWrite, bmReadWrite };
enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TQuarryBlobStream {
 public:
  TQuarryBlobStream(TQuarryField& field, TBlobStreamMode mode);
  ~TQuarryBlobStream();
  TQuarryBlobStream(const TQuarryBlobStream&) = delete;
  TQuarryBlobStream& operator=(const TQuarryBlobStream&) = delete;

  // Bytes read into buffer (0 at the end).
  std::int32_t Read(void* buffer, std::int32_t count);
  // Bytes written (0 in read mode).
  std::int32_t Write(const void* buffer, std::int32_t count);
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin);
  std::int64_t Size() const;
  std::int64_t Position() const { return position_; }
  // Cuts the BLOB at the position.
  void Truncate();
  // The whole value.
  std::string ReadAll();

 private:
  static TDataCursor& CursorOf(TQuarryField& field);
  TEngineErrorCode Open();
  [[noreturn]] void Raise(TEngineErrorCode code) const;
  std::uint8_t* Record() const;

  TQuarryField& field_;
  TQuarryDataSet& dataSet_;
  TDataCursor& cursor_;
  int fieldNo_;  // the cursor's field number
  TBlobStreamMode mode_;
  std::int64_t position_ = 0;
  bool modified_ = false;
};

}  // namespace quarry
