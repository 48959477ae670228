// The record cache: sorted list, most-recently-used chain, pins and the spare pool.
#include "engine/storage/data/record_cache.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <unordered_set>

namespace quarry {

void TRecordCache::SetRecordSize(int recordSize) {
  assert(sorted_.empty());
  recordSize_ = recordSize;
  // Spare objects of the old size are of no use: only detached ones (still pinned) stay.
  pool_.clear();
  std::vector<std::unique_ptr<TRecord>> kept;
  for (auto& r : slab_)
    if (r->Detached) kept.push_back(std::move(r));
  slab_ = std::move(kept);
  for (std::size_t i = 0; i < slab_.size(); ++i) slab_[i]->SlabIndex = i;
}

std::size_t TRecordCache::LowerBound(std::int32_t recordNo) const {
  // Appends and caches of a run of consecutive records (a filling or sorted result, a scan)
  // are answered without a search: the numbers are strictly increasing, so a record found
  // at its offset from the first number is in its place.
  const std::size_t count = sortedNumbers_.size();
  if (count == 0 || recordNo > sortedNumbers_.back()) return count;
  if (recordNo <= sortedNumbers_.front()) return 0;
  const auto offset = static_cast<std::size_t>(static_cast<std::int64_t>(recordNo) - sortedNumbers_.front());
  if (offset < count && sortedNumbers_[offset] == recordNo) return offset;
  auto it = std::lower_bound(sortedNumbers_.begin(), sortedNumbers_.end(), recordNo);
  return static_cast<std::size_t>(it - sortedNumbers_.begin());
}

void TRecordCache::MruUnlink(TRecord* r) {
  if (r->MruPrev) r->MruPrev->MruNext = r->MruNext;
  else mruHead_ = r->MruNext;
  if (r->MruNext) r->MruNext->MruPrev = r->MruPrev;
  else mruTail_ = r->MruPrev;
  r->MruPrev = r->MruNext = nullptr;
}

void TRecordCache::MruPushFront(TRecord* r) {
  r->MruPrev = nullptr;
  r->MruNext = mruHead_;
  if (mruHead_) mruHead_->MruPrev = r;
  else mruTail_ = r;
  mruHead_ = r;
}

TRecord* TRecordCache::Find(std::int32_t recordNo) {
  TRecord* r = mruHead_;
  for (int i = 0; i < 4 && r; ++i, r = r->MruNext) {
    if (r->RecordNo == recordNo) break;
  }
  if (!r || r->RecordNo != recordNo) {
    const std::size_t at = LowerBound(recordNo);
    if (at == sortedNumbers_.size() || sortedNumbers_[at] != recordNo) return nullptr;
    r = sorted_[at];
  }
  ++hits_;
  if (r != mruHead_) {
    MruUnlink(r);
    MruPushFront(r);
  }
  return r;
}

bool TRecordCache::Contains(std::int32_t recordNo) const {
  const std::size_t at = LowerBound(recordNo);
  return at < sortedNumbers_.size() && sortedNumbers_[at] == recordNo;
}

TRecord* TRecordCache::Acquire() {
  if (!pool_.empty()) {
    TRecord* r = pool_.back();
    pool_.pop_back();
    return r;
  }
  slab_.push_back(std::make_unique<TRecord>());
  slab_.back()->SlabIndex = slab_.size() - 1;
  return slab_.back().get();
}

void TRecordCache::Recycle(TRecord* r) {
  r->Detached = false;
  r->MruPrev = r->MruNext = nullptr;
  if (static_cast<int>(pool_.size()) < MaxSpareRecords && static_cast<int>(r->Data.size()) == recordSize_) {
    pool_.push_back(r);
    return;
  }
  // Free the object: the last one of the slab takes its place.
  const std::size_t at = r->SlabIndex;
  if (at != slab_.size() - 1) {
    std::swap(slab_[at], slab_.back());
    slab_[at]->SlabIndex = at;
  }
  slab_.pop_back();
}

TRecord* TRecordCache::Insert(std::int32_t recordNo) {
  TRecord* r = Acquire();
  r->RecordNo = recordNo;
  r->Data.assign(static_cast<std::size_t>(recordSize_), 0);
  r->Dirty = false;
  r->PinCount = 0;
  r->Detached = false;
  r->SortKey.clear();
  r->Run = 0;
  const std::size_t at = LowerBound(recordNo);
  assert(at == sorted_.size() || sorted_[at]->RecordNo != recordNo);
  sorted_.insert(sorted_.begin() + static_cast<std::ptrdiff_t>(at), r);
  sortedNumbers_.insert(sortedNumbers_.begin() + static_cast<std::ptrdiff_t>(at), recordNo);
  MruPushFront(r);
  return r;
}

void TRecordCache::Remove(std::int32_t recordNo) {
  const std::size_t at = LowerBound(recordNo);
  if (at == sortedNumbers_.size() || sortedNumbers_[at] != recordNo) return;
  TRecord* r = sorted_[at];
  assert(r->PinCount == 0);
  MruUnlink(r);
  sorted_.erase(sorted_.begin() + static_cast<std::ptrdiff_t>(at));
  sortedNumbers_.erase(sortedNumbers_.begin() + static_cast<std::ptrdiff_t>(at));
  Recycle(r);
}

bool TRecordCache::EvictOne() {
  for (TRecord* r = mruTail_; r; r = r->MruPrev) {
    if (!r->Dirty && r->PinCount == 0) {
      Remove(r->RecordNo);
      return true;
    }
  }
  return false;
}

int TRecordCache::EvictOldest(int count) {
  if (count <= 1) return EvictOne() ? 1 : 0;
  leaving_.clear();
  for (TRecord* r = mruTail_; r && static_cast<int>(leaving_.size()) < count; r = r->MruPrev)
    if (!r->Dirty && r->PinCount == 0) leaving_.push_back(r);
  if (leaving_.empty()) return 0;
  for (TRecord* r : leaving_) r->Leaving = true;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < sorted_.size(); ++i) {
    if (sorted_[i]->Leaving) continue;
    sorted_[kept] = sorted_[i];
    sortedNumbers_[kept] = sortedNumbers_[i];
    ++kept;
  }
  sorted_.resize(kept);
  sortedNumbers_.resize(kept);
  for (TRecord* r : leaving_) {
    r->Leaving = false;
    MruUnlink(r);
    Recycle(r);
  }
  const int evicted = static_cast<int>(leaving_.size());
  leaving_.clear();
  return evicted;
}

void TRecordCache::TrimTo(int limit) {
  if (limit < 0) limit = 0;
  const int excess = Count() - limit;
  if (excess > 0) {
    // The least recently used records that may go, then one pass over the sorted lists:
    // removing them one by one would shift the lists once per record.
    std::vector<TRecord*> gone;
    for (TRecord* r = mruTail_; r && static_cast<int>(gone.size()) < excess; r = r->MruPrev)
      if (!r->Dirty && r->PinCount == 0) gone.push_back(r);
    if (!gone.empty()) {
      const std::unordered_set<const TRecord*> leaving(gone.begin(), gone.end());
      std::size_t kept = 0;
      for (std::size_t i = 0; i < sorted_.size(); ++i) {
        if (leaving.count(sorted_[i]) != 0) continue;
        sorted_[kept] = sorted_[i];
        sortedNumbers_[kept] = sortedNumbers_[i];
        ++kept;
      }
      sorted_.resize(kept);
      sortedNumbers_.resize(kept);
      for (TRecord* r : gone) {
        MruUnlink(r);
        Recycle(r);
      }
    }
  }
  sorted_.shrink_to_fit();
  sortedNumbers_.shrink_to_fit();
}

void TRecordCache::Clear() {
  for (TRecord* r : sorted_) {
    r->MruPrev = r->MruNext = nullptr;
    if (r->PinCount > 0) {
      r->Detached = true;
      detached_.push_back(r);
    } else {
      Recycle(r);
    }
  }
  sorted_.clear();
  sortedNumbers_.clear();
  mruHead_ = mruTail_ = nullptr;
}

void TRecordCache::Unpin(TRecord* record) {
  assert(record->PinCount > 0);
  if (record->PinCount > 0) --record->PinCount;
  if (record->Detached && record->PinCount == 0) {
    auto it = std::find(detached_.begin(), detached_.end(), record);
    if (it != detached_.end()) {
      detached_.erase(it);
      Recycle(record);
    }
  }
}

int TRecordCache::DirtyCount() const {
  return static_cast<int>(std::count_if(sorted_.begin(), sorted_.end(), [](const TRecord* r) { return r->Dirty; }));
}

bool TRecordCache::CheckInvariants() const {
  if (sortedNumbers_.size() != sorted_.size()) return false;
  for (std::size_t i = 0; i < sorted_.size(); ++i) {
    if (sorted_[i]->RecordNo != sortedNumbers_[i]) return false;
    if (i > 0 && sorted_[i - 1]->RecordNo >= sorted_[i]->RecordNo) return false;
  }
  std::unordered_set<const TRecord*> members(sorted_.begin(), sorted_.end());
  std::size_t chained = 0;
  const TRecord* previous = nullptr;
  for (const TRecord* r = mruHead_; r; r = r->MruNext) {
    if (r->MruPrev != previous || !members.count(r) || ++chained > sorted_.size()) return false;
    previous = r;
  }
  for (std::size_t i = 0; i < slab_.size(); ++i)
    if (slab_[i]->SlabIndex != i) return false;
  return chained == sorted_.size() && previous == mruTail_ && static_cast<int>(pool_.size()) <= MaxSpareRecords &&
         slab_.size() == sorted_.size() + pool_.size() + detached_.size();
}

}  // namespace quarry
