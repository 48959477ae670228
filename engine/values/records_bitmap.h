// TRecordsBitmap: one bit per record slot of a table, the unit in which filters, ranges and
// the set of active records are combined, counted and walked.
//
// Layout: an array of 32-bit words; bit (n - 1) stands for record number n (bit 0 of word 0
// is record 1). Size() is the number of record slots covered; the words cover Size()
// rounded up to 32. Bits beyond Size() may be set (Invert sets them) and are never
// consulted: Test, CountSet, FindNext and FindPrior look only at records 1..Size().
// Storage grows in steps of 256 bytes and never shrinks.
//
// TRecordsBitmapStack is the process-wide pool of spare bitmaps (capacity 64, one mutex held
// per take or return). A bitmap itself belongs to one cursor and is not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace quarry {

class TRecordsBitmap {
 public:
  TRecordsBitmap() = default;
  explicit TRecordsBitmap(std::int32_t size) { SetSize(size); }

  // Covers records 1..size. Words that remain keep their bits; new words are cleared.
  void SetSize(std::int32_t size);
  std::int32_t Size() const { return size_; }

  // Record numbers outside 1..Size() test false and are ignored by Include/Exclude.
  bool Test(std::int32_t recordNo) const {
    return recordNo >= 1 && recordNo <= size_ && ((words_[WordOf(recordNo)] >> BitOf(recordNo)) & 1u) != 0;
  }
  void Include(std::int32_t recordNo) {
    if (recordNo >= 1 && recordNo <= size_) words_[WordOf(recordNo)] |= 1u << BitOf(recordNo);
  }
  void Exclude(std::int32_t recordNo) {
    if (recordNo >= 1 && recordNo <= size_) words_[WordOf(recordNo)] &= ~(1u << BitOf(recordNo));
  }
  void ClearAll();
  void SetAll();
  // Size and bits of other.
  void Assign(const TRecordsBitmap& other);
  // Word-wise with other; words other lacks count as zero.
  void AndWith(const TRecordsBitmap& other);
  void OrWith(const TRecordsBitmap& other);
  void Invert();

  // Bits set among records 1..Size().
  std::int32_t CountSet() const;
  // Bits set among records 1..recordNo - 1 (a record's place among the set records, less 1).
  std::int32_t CountSetBelow(std::int32_t recordNo) const;
  // The record `steps` set bits after `position` (position itself not counted; 0 starts
  // before record 1), adding the steps taken to counter; 0 when there are not that many.
  std::int32_t FindNext(std::int32_t position, std::int32_t steps = 1, std::int32_t* counter = nullptr) const;
  // The record `steps` set bits before `position` (Size() + 1 starts after the last record);
  // 0 when there are not that many.
  std::int32_t FindPrior(std::int32_t position, std::int32_t steps = 1, std::int32_t* counter = nullptr) const;
  // The first / last set record, 0 when none.
  std::int32_t First() const { return FindNext(0); }
  std::int32_t Last() const { return FindPrior(size_ + 1); }
  // The n-th set record (1-based), 0 when fewer are set.
  std::int32_t Nth(std::int32_t n) const;

  bool operator==(const TRecordsBitmap& other) const;

 private:
  static std::size_t WordOf(std::int32_t recordNo) { return static_cast<std::size_t>(recordNo - 1) >> 5; }
  static unsigned BitOf(std::int32_t recordNo) { return static_cast<unsigned>(recordNo - 1) & 31u; }
  std::size_t UsedWords() const { return (static_cast<std::size_t>(size_) + 31) >> 5; }
  // Mask of the valid bits of the last used word.
  std::uint32_t LastWordMask() const;

  std::vector<std::uint32_t> words_;
  std::int32_t size_ = 0;
};

// Process-wide pool of spare bitmaps.
class TRecordsBitmapStack {
 public:
  static constexpr std::size_t kCapacity = 64;
  static TRecordsBitmapStack& Instance();
  // A pooled bitmap with every bit cleared, or a new one.
  std::unique_ptr<TRecordsBitmap> Take();
  // Pools the bitmap, or frees it when the pool is full; null is ignored.
  void Return(std::unique_ptr<TRecordsBitmap> bitmap);
  std::size_t FreeCount();

 private:
  std::mutex lock_;  // guards free_
  std::vector<std::unique_ptr<TRecordsBitmap>> free_;
};

}  // namespace quarry
