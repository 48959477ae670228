// TRecordsBitmap and its pool (see records_bitmap.h).
#include "engine/values/records_bitmap.h"

#include <algorithm>
#include <bit>

namespace quarry {

namespace {

// Storage grows in 256-byte steps: 64 words.
constexpr std::size_t kGrowWords = 64;

}  // namespace

std::uint32_t TRecordsBitmap::LastWordMask() const {
  const unsigned used = static_cast<unsigned>(size_) & 31u;
  return used == 0 ? 0xFFFFFFFFu : (1u << used) - 1u;
}

void TRecordsBitmap::SetSize(std::int32_t size) {
  if (size < 0) size = 0;
  if (size == size_) return;
  const std::size_t words = (static_cast<std::size_t>(size) + 31) >> 5;
  const std::size_t oldWords = UsedWords();
  if (words > words_.size()) {
    const std::size_t capacity = (words + kGrowWords - 1) / kGrowWords * kGrowWords;
    words_.resize(capacity, 0);
  }
  // Words that come into use start cleared; so do the bits of the old last word beyond
  // the old size when the bitmap grows (Invert may have set them).
  if (words > oldWords)
    std::fill(words_.begin() + static_cast<std::ptrdiff_t>(oldWords),
              words_.begin() + static_cast<std::ptrdiff_t>(words), 0u);
  if (size > size_ && oldWords > 0) words_[oldWords - 1] &= LastWordMask();
  size_ = size;
}

void TRecordsBitmap::ClearAll() { std::fill(words_.begin(), words_.end(), 0u); }

void TRecordsBitmap::SetAll() {
  std::fill(words_.begin(), words_.begin() + static_cast<std::ptrdiff_t>(UsedWords()), 0xFFFFFFFFu);
}

void TRecordsBitmap::Assign(const TRecordsBitmap& other) {
  if (words_.size() < other.UsedWords()) words_.resize(other.words_.size(), 0);
  std::copy(other.words_.begin(), other.words_.begin() + static_cast<std::ptrdiff_t>(other.UsedWords()),
            words_.begin());
  std::fill(words_.begin() + static_cast<std::ptrdiff_t>(other.UsedWords()), words_.end(), 0u);
  size_ = other.size_;
}

// Word i of other, without the bits beyond other's size (they may be set and mean nothing).
static std::uint32_t MeaningfulWord(const std::vector<std::uint32_t>& words, std::size_t i, std::size_t used,
                                    std::uint32_t lastMask) {
  return i + 1 == used ? words[i] & lastMask : words[i];
}

void TRecordsBitmap::AndWith(const TRecordsBitmap& other) {
  const std::size_t n = UsedWords();
  const std::size_t otherUsed = other.UsedWords();
  const std::size_t common = std::min(n, otherUsed);
  const std::uint32_t mask = other.LastWordMask();
  for (std::size_t i = 0; i < common; ++i) words_[i] &= MeaningfulWord(other.words_, i, otherUsed, mask);
  for (std::size_t i = common; i < n; ++i) words_[i] = 0;
}

void TRecordsBitmap::OrWith(const TRecordsBitmap& other) {
  const std::size_t otherUsed = other.UsedWords();
  const std::size_t common = std::min(UsedWords(), otherUsed);
  const std::uint32_t mask = other.LastWordMask();
  for (std::size_t i = 0; i < common; ++i) words_[i] |= MeaningfulWord(other.words_, i, otherUsed, mask);
}

void TRecordsBitmap::Invert() {
  for (std::size_t i = 0, n = UsedWords(); i < n; ++i) words_[i] = ~words_[i];
}

std::int32_t TRecordsBitmap::CountSet() const { return CountSetBelow(size_ + 1); }

std::int32_t TRecordsBitmap::CountSetBelow(std::int32_t recordNo) const {
  if (recordNo <= 1) return 0;
  if (recordNo > size_ + 1) recordNo = size_ + 1;
  const std::size_t bits = static_cast<std::size_t>(recordNo - 1);
  const std::size_t whole = bits >> 5;
  std::int32_t count = 0;
  for (std::size_t i = 0; i < whole; ++i) {
    const std::uint32_t w = words_[i];
    if (w == 0) continue;
    count += w == 0xFFFFFFFFu ? 32 : std::popcount(w);
  }
  const unsigned rest = static_cast<unsigned>(bits & 31u);
  if (rest != 0) count += std::popcount(words_[whole] & ((1u << rest) - 1u));
  return count;
}

std::int32_t TRecordsBitmap::FindNext(std::int32_t position, std::int32_t steps, std::int32_t* counter) const {
  if (steps <= 0) return position;
  if (position < 0) position = 0;
  std::int32_t taken = 0;
  std::int32_t n = position + 1;  // next record to look at
  while (n <= size_) {
    const std::size_t wi = WordOf(n);
    std::uint32_t w = words_[wi] >> BitOf(n);
    if (BitOf(n) == 0 && w == 0) {  // a whole empty word
      n += 32;
      continue;
    }
    if (BitOf(n) == 0 && w == 0xFFFFFFFFu && n + 31 <= size_ && steps - taken > 32) {  // a whole full word
      taken += 32;
      n += 32;
      continue;
    }
    while (w != 0) {
      const int skip = std::countr_zero(w);
      n += skip;
      if (n > size_) break;
      ++taken;
      if (taken == steps) {
        if (counter) *counter += taken;
        return n;
      }
      ++n;
      w >>= skip;
      w >>= 1;
    }
    // Continue at the start of the next word.
    n = static_cast<std::int32_t>((wi + 1) << 5) + 1;
  }
  return 0;
}

std::int32_t TRecordsBitmap::FindPrior(std::int32_t position, std::int32_t steps, std::int32_t* counter) const {
  if (steps <= 0) return position;
  if (position > size_ + 1) position = size_ + 1;
  std::int32_t taken = 0;
  std::int32_t n = position - 1;
  while (n >= 1) {
    const std::size_t wi = WordOf(n);
    const unsigned bit = BitOf(n);
    // Bits of this word at or below n.
    std::uint32_t w = words_[wi] & (bit == 31 ? 0xFFFFFFFFu : ((1u << (bit + 1)) - 1u));
    if (bit == 31 && w == 0) {
      n -= 32;
      continue;
    }
    if (bit == 31 && w == 0xFFFFFFFFu && steps - taken > 32) {
      taken += 32;
      n -= 32;
      continue;
    }
    while (w != 0) {
      const int top = 31 - std::countl_zero(w);
      const std::int32_t record = static_cast<std::int32_t>(wi << 5) + top + 1;
      ++taken;
      if (taken == steps) {
        if (counter) *counter += taken;
        return record;
      }
      w &= ~(1u << top);
    }
    n = static_cast<std::int32_t>(wi << 5);  // last record of the previous word
  }
  return 0;
}

std::int32_t TRecordsBitmap::Nth(std::int32_t n) const { return n <= 0 ? 0 : FindNext(0, n); }

bool TRecordsBitmap::operator==(const TRecordsBitmap& other) const {
  if (size_ != other.size_) return false;
  const std::size_t n = UsedWords();
  if (n == 0) return true;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (words_[i] != other.words_[i]) return false;
  }
  return (words_[n - 1] & LastWordMask()) == (other.words_[n - 1] & LastWordMask());
}

TRecordsBitmapStack& TRecordsBitmapStack::Instance() {
  static TRecordsBitmapStack stack;
  return stack;
}

std::unique_ptr<TRecordsBitmap> TRecordsBitmapStack::Take() {
  std::unique_ptr<TRecordsBitmap> bitmap;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!free_.empty()) {
      bitmap = std::move(free_.back());
      free_.pop_back();
    }
  }
  if (!bitmap) return std::make_unique<TRecordsBitmap>();
  bitmap->ClearAll();
  return bitmap;
}

void TRecordsBitmapStack::Return(std::unique_ptr<TRecordsBitmap> bitmap) {
  if (!bitmap) return;
  std::lock_guard<std::mutex> guard(lock_);
  if (free_.size() < kCapacity) free_.push_back(std::move(bitmap));
}

std::size_t TRecordsBitmapStack::FreeCount() {
  std::lock_guard<std::mutex> guard(lock_);
  return free_.size();
}

}  // namespace quarry
