// The record cache of a data file: cached record images kept in a list sorted by record
// number (binary search) and threaded on a most-recently-used chain, with pin counts, dirty
// flags and a pool of spare record objects.
//
// The cache only keeps records; reading and writing them is TDataFile's job, which decides when
// to evict, flush or grow (it knows the file, the session limits and the locks).
//
// Invariants (checked by CheckInvariants in debug builds and tests):
//  - the sorted list holds each cached record once, in strictly increasing record numbers;
//  - the MRU chain holds exactly the records of the sorted list, head = most recently used;
//  - a pinned record (pin count > 0) is never evicted or reused; a record discarded while
//    pinned lives on, detached, until its last pin is released;
//  - at most MaxSpareRecords spare objects are kept in the pool.
// Not thread-safe: the table layer's mutual exclusion guards the whole cache.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace quarry {

class TRecordCache;

// One cached record.
struct TRecord {
  std::int32_t RecordNo = 0;       // set by the cache; never changed while cached
  std::vector<std::uint8_t> Data;  // record size bytes
  bool Dirty = false;
  int PinCount = 0;
  // Sorting only: the record's sort key and the run it came from.
  std::vector<std::uint8_t> SortKey;
  int Run = 0;

 private:
  friend class TRecordCache;
  TRecord* MruPrev = nullptr;
  TRecord* MruNext = nullptr;
  bool Detached = false;
  bool Leaving = false;       // chosen for eviction, during EvictOldest only
  std::size_t SlabIndex = 0;  // position in the owning slab
};

class TRecordCache {
 public:
  static constexpr int MaxSpareRecords = 64;

  explicit TRecordCache(int recordSize = 0) : recordSize_(recordSize) {}
  TRecordCache(const TRecordCache&) = delete;
  TRecordCache& operator=(const TRecordCache&) = delete;

  // Changes the size of record images; only while the cache is empty.
  void SetRecordSize(int recordSize);
  int RecordSize() const { return recordSize_; }

  // The cached record with this number, or null. A hit becomes the most recently used.
  // The four most recently used records are checked before the binary search.
  TRecord* Find(std::int32_t recordNo);
  // True when the number is cached (no change to the MRU order).
  bool Contains(std::int32_t recordNo) const;

  // Adds a record with this number (not cached yet) as the most recently used, its image
  // zero-filled, clean and unpinned; takes a spare object from the pool when there is one.
  TRecord* Insert(std::int32_t recordNo);

  // Evicts the least recently used record that is neither dirty nor pinned; false if none.
  bool EvictOne();
  // Evicts up to count such records, least recently used first, in one pass over the sorted
  // lists (evicting them one by one would shift the lists once per record); returns how many.
  int EvictOldest(int count);
  // Evicts clean unpinned records (least recently used first) while more than limit are cached.
  void TrimTo(int limit);
  // Drops every record without writing; pinned ones are detached until unpinned.
  void Clear();

  void Pin(TRecord* record) { ++record->PinCount; }
  // Releases one pin; a detached record returns to the pool at its last unpin.
  void Unpin(TRecord* record);

  int Count() const { return static_cast<int>(sorted_.size()); }
  int DirtyCount() const;
  // The cached records in record-number order (for write-back and sorting).
  const std::vector<TRecord*>& Records() const { return sorted_; }
  // Removes a record (not pinned) from the cache into the pool.
  void Remove(std::int32_t recordNo);

  // Hit/miss statistics for benchmarks and tests.
  std::int64_t Hits() const { return hits_; }

  // Verifies the invariants above; returns false when one is broken.
  bool CheckInvariants() const;

 private:
  std::size_t LowerBound(std::int32_t recordNo) const;
  void MruUnlink(TRecord* r);
  void MruPushFront(TRecord* r);
  // Takes a spare object or makes one; returns an unused object to the pool or frees it.
  TRecord* Acquire();
  void Recycle(TRecord* r);

  int recordSize_;
  // Every record object lives in the slab; the lists below only point into it, so that
  // inserting into and erasing from the sorted list moves plain pointers.
  std::vector<std::unique_ptr<TRecord>> slab_;
  std::vector<TRecord*> sorted_;             // by record number
  std::vector<std::int32_t> sortedNumbers_;  // the numbers of sorted_, searched without touching the records
  std::vector<TRecord*> pool_;               // spare objects
  std::vector<TRecord*> detached_;           // discarded while pinned
  std::vector<TRecord*> leaving_;            // EvictOldest's choice (kept to spare an allocation)
  TRecord* mruHead_ = nullptr;
  TRecord* mruTail_ = nullptr;
  std::int64_t hits_ = 0;
};

}  // namespace quarry
