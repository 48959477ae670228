// Key ordering (see key_compare.h).
#include "engine/storage/index/key_compare.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace quarry {

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

int Bytes(const std::uint8_t* a, const std::uint8_t* b, int n) {
  return n <= 0 ? 0 : Sign(std::memcmp(a, b, static_cast<std::size_t>(n)));
}

std::string_view TextAt(const std::uint8_t* p, int size) {
  return {reinterpret_cast<const char*>(p), FieldTextLength(p, static_cast<std::size_t>(size))};
}

// Layout of a full-text key: flag, field number (2), word (61), identifier (4).
constexpr int TextHeadBytes = 3;
constexpr int TextWordBytes = 61;
constexpr int TextKeyLength = TextHeadBytes + TextWordBytes + 4;

}  // namespace

TKeyComparator TKeyComparator::Bytewise(int keyLength, bool descending) {
  TKeyComparator c;
  c.mode_ = TMode::Bytewise;
  c.keyLength_ = keyLength;
  c.descending_ = descending;
  return c;
}

TKeyComparator TKeyComparator::ByFields(int keyLength, std::vector<TKeyFieldLayout> fields, bool descending,
                                        bool ignoreCase, std::shared_ptr<const TCollation> collation) {
  TKeyComparator c;
  c.keyLength_ = keyLength;
  c.descending_ = descending;
  c.ignoreCase_ = ignoreCase;
  c.fields_ = std::move(fields);
  c.collation_ = std::move(collation);
  c.mode_ = (c.collation_ == nullptr || c.collation_->IsBinary()) ? TMode::Bytewise : TMode::Fields;
  return c;
}

TKeyComparator TKeyComparator::FullText(std::shared_ptr<const TCollation> collation) {
  TKeyComparator c;
  c.mode_ = TMode::FullText;
  c.keyLength_ = TextKeyLength;
  c.collation_ = std::move(collation);
  return c;
}

int TKeyComparator::Compare(const std::uint8_t* a, const std::uint8_t* b) const {
  switch (mode_) {
  case TMode::Bytewise: {
    const int r = Bytes(a, b, keyLength_);
    return descending_ ? -r : r;
  }
  case TMode::Fields: return CompareFields(a, b);
  case TMode::FullText: return CompareFullText(a, b);
  }
  return 0;
}

int TKeyComparator::CompareFields(const std::uint8_t* a, const std::uint8_t* b) const {
  int end = 0;
  for (const TKeyFieldLayout& f : fields_) {
    int r = Bytes(a + f.Offset, b + f.Offset, 1);
    if (r == 0) {
      // The value never reaches past the key's end, even for a short stored key.
      const int size = std::min(f.Size, keyLength_ - f.Offset - 1);
      if (f.IsString) {
        r = collation_->Compare(TextAt(a + f.Offset + 1, size), TextAt(b + f.Offset + 1, size), ignoreCase_);
      } else {
        r = Bytes(a + f.Offset + 1, b + f.Offset + 1, size);
      }
    }
    if (r != 0) return (descending_ || f.Descending) ? -r : r;
    end = std::max(end, f.Offset + 1 + f.Size);
  }
  const int r = Bytes(a + end, b + end, keyLength_ - end);
  return descending_ ? -r : r;
}

int TKeyComparator::CompareFullText(const std::uint8_t* a, const std::uint8_t* b) const {
  int r = Bytes(a, b, TextHeadBytes);
  if (r != 0) return r;
  const std::uint8_t* wa = a + TextHeadBytes;
  const std::uint8_t* wb = b + TextHeadBytes;
  if (collation_ == nullptr || collation_->IsBinary()) {
    r = Bytes(wa, wb, TextWordBytes);
  } else {
    r = collation_->Compare(TextAt(wa, TextWordBytes), TextAt(wb, TextWordBytes), false);
  }
  if (r != 0) return r;
  return Bytes(a + TextHeadBytes + TextWordBytes, b + TextHeadBytes + TextWordBytes, 4);
}

}  // namespace quarry
