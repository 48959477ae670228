// TQuarryBlobStream: a byte stream over one BLOB field of a dataset's active record.
//
// Reading needs an open dataset with a record; writing needs edit or insert state ("Table is
// not in edit or insert mode.") and a field that may be changed ("Field %s cannot be
// modified."), and starts by truncating the BLOB. Engine codes: end of BLOB is no error,
// an invalid offset reads nothing, any other code is raised as EQuarryEngineError.
//
// This build's cursor keeps no BLOB data yet: opening a stream on a BLOB field raises
// QUARRY_INVALIDBLOBHANDLE (10030), on any other field QUARRY_NOTABLOB (10753), after the
// access checks above.
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
  std::int32_t Write(const void* buffer, std::int32_t count);
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin);
  std::int64_t Size() const { return static_cast<std::int64_t>(data_.size()); }
  std::int64_t Position() const { return position_; }
  void Truncate();

 private:
  TQuarryField& field_;
  TBlobStreamMode mode_;
  std::string data_;
  std::int64_t position_ = 0;
  bool modified_ = false;
};

}  // namespace quarry
