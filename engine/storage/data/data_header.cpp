// Encoding and decoding of the data file header image.
#include "engine/storage/data/data_header.h"

#include <cstring>

#include "engine/values/byte_image.h"

namespace quarry {

void TDataHeader::Encode(std::uint8_t* out) const {
  std::memset(out, 0, DataHeaderSize);
  bytes::Store<std::int32_t>(out + 0, ChangeCounter);
  bytes::Store<std::int32_t>(out + 4, BlobBlockSize);
  out[8] = Version;
  bytes::Store<std::int32_t>(out + 9, FirstFree);
  bytes::Store<std::int32_t>(out + 13, NextRecordNo);
  bytes::Store<std::int32_t>(out + 17, LastAutoInc);
  bytes::Store<std::uint16_t>(out + 21, RecordSize);
  bytes::Store<std::uint16_t>(out + 23, FieldCount);
  bytes::Store<std::uint16_t>(out + 25, BlobFieldCount);
  bytes::Store<double>(out + 27, LastWriteTime);
  std::memcpy(out + 35, Description.data(), Description.size());
  out[86] = Encrypted ? 1 : 0;
  std::memcpy(out + 87, Password.data(), Password.size());
  bytes::Store<std::uint16_t>(out + 103, LanguageId);
  bytes::Store<std::uint16_t>(out + 105, SortId);
  bytes::Store<std::uint16_t>(out + 107, UserMajor);
  bytes::Store<std::uint16_t>(out + 109, UserMinor);
  out[111] = Modified ? 1 : 0;
  bytes::Store<std::int32_t>(out + 112, LastBlobChange);
  bytes::Store<std::int32_t>(out + 116, EngineVersion);
  bytes::Store<std::int32_t>(out + 120, Reserved120);
  std::memcpy(out + 124, Reserved124.data(), Reserved124.size());
}

TDataHeader TDataHeader::Decode(const std::uint8_t* in) {
  TDataHeader h;
  h.ChangeCounter = bytes::Load<std::int32_t>(in + 0);
  h.BlobBlockSize = bytes::Load<std::int32_t>(in + 4);
  h.Version = in[8];
  h.FirstFree = bytes::Load<std::int32_t>(in + 9);
  h.NextRecordNo = bytes::Load<std::int32_t>(in + 13);
  h.LastAutoInc = bytes::Load<std::int32_t>(in + 17);
  h.RecordSize = bytes::Load<std::uint16_t>(in + 21);
  h.FieldCount = bytes::Load<std::uint16_t>(in + 23);
  h.BlobFieldCount = bytes::Load<std::uint16_t>(in + 25);
  h.LastWriteTime = bytes::Load<double>(in + 27);
  std::memcpy(h.Description.data(), in + 35, h.Description.size());
  h.Encrypted = in[86] != 0;
  std::memcpy(h.Password.data(), in + 87, h.Password.size());
  h.LanguageId = bytes::Load<std::uint16_t>(in + 103);
  h.SortId = bytes::Load<std::uint16_t>(in + 105);
  h.UserMajor = bytes::Load<std::uint16_t>(in + 107);
  h.UserMinor = bytes::Load<std::uint16_t>(in + 109);
  h.Modified = in[111] != 0;
  h.LastBlobChange = bytes::Load<std::int32_t>(in + 112);
  h.EngineVersion = bytes::Load<std::int32_t>(in + 116);
  h.Reserved120 = bytes::Load<std::int32_t>(in + 120);
  std::memcpy(h.Reserved124.data(), in + 124, h.Reserved124.size());
  return h;
}

}  // namespace quarry
