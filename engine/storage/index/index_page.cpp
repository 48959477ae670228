// Packing, unpacking and entry bookkeeping of index pages (layout in index_page.h).
#include "engine/storage/index/index_page.h"

#include <algorithm>
#include <bit>
#include <cassert>

namespace quarry {

namespace {

void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutI32(std::uint8_t* p, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint16_t GetU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::int32_t GetI32(const std::uint8_t* p) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
  return static_cast<std::int32_t>(v);
}

constexpr int MaxSharedPrefix = 254;
constexpr int MaxTrailingZeros = 255;

// Number of zero bytes at the end of [begin, end), at most MaxTrailingZeros.
int TrailingZeros(const std::uint8_t* key, int begin, int end) {
  int t = 0;
  while (end - t > begin && key[end - t - 1] == 0 && t < MaxTrailingZeros) ++t;
  return t;
}

}  // namespace

TPage::TPage(const TPageFormat& format, std::int32_t pageNo, std::uint8_t slot) { Reset(format, pageNo, slot); }

void TPage::Reset(const TPageFormat& format, std::int32_t pageNo, std::uint8_t slot) {
  format_ = format;
  PageNo = pageNo;
  Slot = slot;
  Type = TPageType::RootLeaf;
  Prev = Next = 0;
  Dirty = false;
  Pins = 0;
  Free = false;
  MruPrev = MruNext = nullptr;
  count_ = 0;
  used_ = 0;
  entries_.clear();
}

int TPage::Capacity() const {
  if (IsBranch()) return format_.BranchCapacity();
  if (Compressed()) return 0;
  return format_.LeafCapacity();
}

bool TPage::Overflows() const {
  if (Compressed()) return used_ > IndexPageEntryBytes;
  return count_ > Capacity();
}

int TPage::PlainEntrySize() const { return IsBranch() ? format_.BranchEntrySize() : format_.KeyLength + 4; }

bool TPage::SuffixKept(int d) const {
  if (format_.Unique) return false;
  if (format_.Compression == TKeyCompression::Both) return format_.KeyLength - d >= 5;
  return true;
}

int TPage::EntrySize(int i) const {
  const int k = format_.KeyLength;
  const std::uint8_t* e = At(i);
  const int d = e[k + 8];
  const int t = e[k + 9];
  switch (format_.Compression) {
  case TKeyCompression::Duplicates: return 1 + (k - d) + 4;
  case TKeyCompression::Trailing: return 1 + (k - t) + 4;
  case TKeyCompression::Both: return 2 + (k - d - t) + 4;
  case TKeyCompression::None: break;
  }
  return k + 4;
}

int TPage::CompressEntry(int i) {
  const int k = format_.KeyLength;
  std::uint8_t* e = At(i);
  int d = 0;
  if (i > 0 && format_.Compression != TKeyCompression::Trailing) {
    const std::uint8_t* prev = At(i - 1);
    const int limit = std::min(k, MaxSharedPrefix);
    while (d < limit && prev[d] == e[d]) ++d;
  }
  int t = 0;
  if (format_.Compression == TKeyCompression::Trailing) {
    t = TrailingZeros(e, 0, format_.Unique ? k : k - 4);
  } else if (format_.Compression == TKeyCompression::Both) {
    t = TrailingZeros(e, d, SuffixKept(d) ? k - 4 : k);
  }
  e[k + 8] = static_cast<std::uint8_t>(d);
  e[k + 9] = static_cast<std::uint8_t>(t);
  return EntrySize(i);
}

void TPage::RecompressRange(int from, int to) {
  if (!Compressed()) {
    used_ = count_ * PlainEntrySize();
    return;
  }
  from = std::max(from, 0);
  to = std::min(to, count_ - 1);
  for (int i = from; i <= to; ++i) {
    used_ -= EntrySize(i);
    used_ += CompressEntry(i);
  }
}

void TPage::RecomputeUsed() {
  if (!Compressed()) {
    used_ = count_ * PlainEntrySize();
    return;
  }
  used_ = 0;
  for (int i = 0; i < count_; ++i) used_ += CompressEntry(i);
}

void TPage::SetKey(int i, const std::uint8_t* key) {
  std::memcpy(At(i), key, format_.KeyLength);
  if (Compressed()) RecompressRange(i, i + 1);
}

void TPage::Insert(int i, const std::uint8_t* key, std::int32_t value, std::int32_t keyCount) {
  assert(i >= 0 && i <= count_);
  const std::size_t stride = format_.Stride();
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(i * stride), stride, 0);
  ++count_;
  std::uint8_t* e = At(i);
  std::memcpy(e, key, format_.KeyLength);
  StoreInt(e + format_.KeyLength, value);
  StoreInt(e + format_.KeyLength + 4, keyCount);
  if (Compressed()) {
    // Count the new entry uncompressed; the recompression replaces that by its real size and
    // recomputes its successor, whose predecessor changed.
    e[format_.KeyLength + 8] = 0;
    e[format_.KeyLength + 9] = 0;
    used_ += EntrySize(i);
    RecompressRange(i, i + 1);
  } else {
    used_ += PlainEntrySize();
  }
}

void TPage::Remove(int i) {
  assert(i >= 0 && i < count_);
  if (Compressed()) used_ -= EntrySize(i);
  const std::size_t stride = format_.Stride();
  auto first = entries_.begin() + static_cast<std::ptrdiff_t>(i * stride);
  entries_.erase(first, first + static_cast<std::ptrdiff_t>(stride));
  --count_;
  if (Compressed()) {
    RecompressRange(i, i);
  } else {
    used_ -= PlainEntrySize();
  }
}

void TPage::MoveTailTo(int from, TPage& dest) {
  assert(from >= 0 && from <= count_);
  const std::size_t stride = format_.Stride();
  auto first = entries_.begin() + static_cast<std::ptrdiff_t>(from * stride);
  dest.entries_.insert(dest.entries_.end(), first, entries_.end());
  dest.count_ += count_ - from;
  entries_.erase(first, entries_.end());
  count_ = from;
  RecomputeUsed();
  dest.RecomputeUsed();
}

void TPage::MoveHeadTo(int n, TPage& dest) {
  assert(n >= 0 && n <= count_);
  const std::size_t stride = format_.Stride();
  auto last = entries_.begin() + static_cast<std::ptrdiff_t>(n * stride);
  dest.entries_.insert(dest.entries_.end(), entries_.begin(), last);
  dest.count_ += n;
  entries_.erase(entries_.begin(), last);
  count_ -= n;
  RecomputeUsed();
  dest.RecomputeUsed();
}

void TPage::MoveTailToFront(int from, TPage& dest) {
  assert(from >= 0 && from <= count_);
  const std::size_t stride = format_.Stride();
  auto first = entries_.begin() + static_cast<std::ptrdiff_t>(from * stride);
  dest.entries_.insert(dest.entries_.begin(), first, entries_.end());
  dest.count_ += count_ - from;
  entries_.erase(first, entries_.end());
  count_ = from;
  RecomputeUsed();
  dest.RecomputeUsed();
}

void TPage::Clear() {
  entries_.clear();
  count_ = 0;
  used_ = 0;
}

std::int64_t TPage::SubtreeCount() const {
  if (IsLeaf()) return count_;
  std::int64_t n = 0;
  for (int i = 0; i < count_; ++i) n += KeyCount(i);
  return n;
}

void TPage::Pack(std::uint8_t* out) const {
  std::memset(out, 0, IndexPageSize);
  out[0] = static_cast<std::uint8_t>(Type);
  PutI32(out + IndexPagePrevOffset, Prev);
  PutI32(out + IndexPageNextOffset, Next);
  if (Free) return;
  PutU16(out + 1, static_cast<std::uint16_t>(count_));
  PutU16(out + 11, static_cast<std::uint16_t>(used_));
  const int k = format_.KeyLength;
  std::uint8_t* p = out + IndexPageHeaderSize;
  if (IsBranch() || !Compressed()) {
    // A plain entry is the first bytes of its unpacked form (key, then one or two int32s);
    // on a little-endian host they copy as they are.
    const int size = PlainEntrySize();
    for (int i = 0; i < count_; ++i) {
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, Key(i), static_cast<std::size_t>(size));
      } else {
        std::memcpy(p, Key(i), k);
        PutI32(p + k, Value(i));
        if (size == k + 8) PutI32(p + k + 4, KeyCount(i));
      }
      p += size;
    }
    return;
  }
  for (int i = 0; i < count_; ++i) {
    const std::uint8_t* key = Key(i);
    const int d = key[k + 8];
    const int t = key[k + 9];
    switch (format_.Compression) {
    case TKeyCompression::None:
      std::memcpy(p, key, k);
      p += k;
      break;
    case TKeyCompression::Duplicates:
      *p++ = static_cast<std::uint8_t>(d);
      std::memcpy(p, key + d, k - d);
      p += k - d;
      break;
    case TKeyCompression::Trailing:
    case TKeyCompression::Both: {
      const bool both = format_.Compression == TKeyCompression::Both;
      const int start = both ? d : 0;
      if (both) *p++ = static_cast<std::uint8_t>(d);
      *p++ = static_cast<std::uint8_t>(t);
      if (SuffixKept(start)) {
        const int body = k - 4 - start - t;
        std::memcpy(p, key + start, body);
        std::memcpy(p + body, key + k - 4, 4);
        p += body + 4;
      } else {
        std::memcpy(p, key + start, k - start - t);
        p += k - start - t;
      }
      break;
    }
    }
    PutI32(p, Value(i));
    p += 4;
  }
}

bool TPage::Unpack(const std::uint8_t* in) {
  const std::uint8_t type = in[0];
  if (type > static_cast<std::uint8_t>(TPageType::RootLeaf)) return false;
  Type = static_cast<TPageType>(type);
  const int count = GetU16(in + 1);
  Prev = GetI32(in + IndexPagePrevOffset);
  Next = GetI32(in + IndexPageNextOffset);
  const int used = GetU16(in + 11);
  Free = false;
  Clear();
  const int k = format_.KeyLength;
  if (k <= 0 || k > MaxIndexKeyLength) return false;
  if (!Compressed()) {
    if (count > Capacity() || used > IndexPageEntryBytes) return false;
  }
  entries_.assign(static_cast<std::size_t>(count) * format_.Stride(), 0);
  count_ = count;
  const std::uint8_t* p = in + IndexPageHeaderSize;
  const std::uint8_t* end = in + IndexPageSize;
  if (IsBranch() || !Compressed()) {
    const int size = PlainEntrySize();
    for (int i = 0; i < count; ++i) {
      std::uint8_t* e = At(i);
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(e, p, static_cast<std::size_t>(size));
      } else {
        std::memcpy(e, p, k);
        StoreInt(e + k, GetI32(p + k));
        if (size == k + 8) StoreInt(e + k + 4, GetI32(p + k + 4));
      }
      p += size;
    }
    used_ = count * size;
    return true;
  }
  for (int i = 0; i < count; ++i) {
    std::uint8_t* e = At(i);
    int d = 0;
    int t = 0;
    switch (format_.Compression) {
    case TKeyCompression::None:
      if (end - p < k + 4) return false;
      std::memcpy(e, p, k);
      p += k;
      break;
    case TKeyCompression::Duplicates:
      if (end - p < 1) return false;
      d = *p++;
      if (d > k || (i == 0 && d != 0) || end - p < k - d + 4) return false;
      std::memcpy(e, At(i - (i > 0 ? 1 : 0)), d);
      std::memcpy(e + d, p, k - d);
      p += k - d;
      break;
    case TKeyCompression::Trailing:
    case TKeyCompression::Both: {
      const bool both = format_.Compression == TKeyCompression::Both;
      if (end - p < (both ? 2 : 1)) return false;
      if (both) d = *p++;
      t = *p++;
      if (d > k || (i == 0 && d != 0)) return false;
      if (d > 0) std::memcpy(e, At(i - 1), d);
      const bool kept = SuffixKept(d);
      const int body = k - d - t - (kept ? 4 : 0);
      if (body < 0 || end - p < body + (kept ? 4 : 0) + 4) return false;
      std::memcpy(e + d, p, body);
      p += body;
      if (kept) {
        std::memcpy(e + k - 4, p, 4);
        p += 4;
      }
      break;
    }
    }
    StoreInt(e + k, GetI32(p));
    p += 4;
    e[k + 8] = static_cast<std::uint8_t>(d);
    e[k + 9] = static_cast<std::uint8_t>(t);
  }
  if (!Compressed()) {
    RecomputeUsed();
    return true;
  }
  // The stored d and t bytes are kept as read: the packed size they give is what the page
  // uses, and later changes adjust it entry by entry.
  used_ = static_cast<int>(p - (in + IndexPageHeaderSize));
  return used_ == used && used_ <= IndexPageEntryBytes;
}

}  // namespace quarry
