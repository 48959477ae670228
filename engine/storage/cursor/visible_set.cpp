// TVisibleSet: the records a cursor shows (see visible_set.h).
#include "engine/storage/cursor/visible_set.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/cursor/read_restart.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/table.h"

namespace quarry {

TVisibleSet::TVisibleSet(const std::vector<std::unique_ptr<TFilter>>& filters,
                         const std::function<void(std::uint8_t*)>& calculator)
    : filters_(filters), calculator_(calculator) {}

void TVisibleSet::Attach(TDataTable* table, TRecordReader* reader) {
  table_ = table;
  reader_ = reader;
}

void TVisibleSet::SetRecordShape(int recordSize, int bufferSize) {
  recordSize_ = recordSize;
  bufferSize_ = bufferSize;
  if (record_.size() < static_cast<std::size_t>(bufferSize)) record_.resize(static_cast<std::size_t>(bufferSize), 0);
}

void TVisibleSet::Clear() {
  filtersActive_ = false;
  visible_.SetSize(0);
  active_.SetSize(0);
  inRange_.SetSize(0);
  activeValid_ = visibleValid_ = false;
  rangeActive_ = false;
}

// ---------------------------------------------------------------------------------------
// Range

void TVisibleSet::ResetRange(std::size_t keyBytes) {
  rangeStart_.assign(keyBytes, 0x00);
  rangeEnd_.assign(keyBytes, 0xFF);
  key_.assign(keyBytes, 0);
  rangeActive_ = false;
  visibleValid_ = false;
}

void TVisibleSet::ActivateRange() {
  rangeActive_ = true;
  visibleValid_ = false;
}

void TVisibleSet::CancelRange() {
  std::fill(rangeStart_.begin(), rangeStart_.end(), 0x00);
  std::fill(rangeEnd_.begin(), rangeEnd_.end(), 0xFF);
  rangeActive_ = false;
  visibleValid_ = false;
}

bool TVisibleSet::InRange(const std::uint8_t* key, int slot) const {
  if (!rangeActive_) return true;
  const TKeyComparator& comparator = table_->Index().Comparator(slot);
  return comparator.Compare(key, rangeStart_.data()) >= 0 && comparator.Compare(key, rangeEnd_.data()) <= 0;
}

bool TVisibleSet::RangeApplies(bool natural, int slot) const {
  return !natural && rangeActive_ && slot <= MaxSecondaryIndexes;
}

// ---------------------------------------------------------------------------------------
// Bitmaps

void TVisibleSet::BuildActive() {
  TDataFile& data = table_->Data();
  TIndexFile& index = table_->Index();
  const std::int64_t slots = data.PhysicalRecordCount();
  active_.SetSize(static_cast<std::int32_t>(slots));
  if (index.RecordCount() == slots) {
    active_.SetAll();
  } else {
    // "Sys Deleted" keys start with the status byte: the active records come first.
    active_.ClearAll();
    TBTree tree = index.Tree(DeletedSlot);
    TIndexPath path;
    std::uint8_t key[DeletedKeyLength];
    for (bool on = tree.First(path); on; on = tree.Next(path)) {
      const std::int32_t recordNo = tree.EntryAt(path, key);
      if (key[0] != RecordActive) break;
      active_.Include(recordNo);
    }
  }
  activeValid_ = true;
}

const TRecordsBitmap& TVisibleSet::NaturalSet(bool natural, int slot) {
  if (filtersActive_) {
    if (!visibleValid_) Rebuild(natural, slot);
    return visible_;
  }
  if (!activeValid_) BuildActive();
  return active_;
}

void TVisibleSet::Rebuild(bool natural, int slot) {
  if (!activeValid_) BuildActive();
  TDataFile& data = table_->Data();
  visible_.Assign(active_);
  if (RangeApplies(natural, slot)) {
    inRange_.SetSize(active_.Size());
    inRange_.ClearAll();
    TBTree tree = table_->Index().Tree(static_cast<std::uint8_t>(slot));
    const TKeyComparator& comparator = table_->Index().Comparator(slot);
    TIndexPath path;
    for (bool on = (tree.Find(rangeStart_.data(), path), tree.OnEntry(path)); on; on = tree.Next(path)) {
      const std::int32_t recordNo = tree.EntryAt(path, key_.data());
      if (comparator.Compare(key_.data(), rangeEnd_.data()) > 0) break;
      inRange_.Include(recordNo);
    }
    visible_.AndWith(inRange_);
  }
  scanning_ = true;
  try {
    for (const auto& filter : filters_) {
      if (!filter->Active()) continue;
      TRecordsBitmap& bits = filter->Bitmap();
      bits.Assign(visible_);
      for (std::int32_t n = visible_.First(); n != 0; n = visible_.FindNext(n)) {
        if (n > data.NextRecordNo() - 1) throw TReadRestart{};
        TPinnedRecord pinned = data.GetRecord(reader_, n, TReadDirection::Forward, true);
        if (!pinned) throw TReadRestart{};
        std::memcpy(record_.data(), pinned.Data(), static_cast<std::size_t>(recordSize_));
        pinned.Reset();
        if (calculator_) calculator_(record_.data());
        if (!filter->Accepts(record_.data())) bits.Exclude(n);
      }
      visible_.AndWith(bits);
    }
  } catch (...) {
    scanning_ = false;
    throw;
  }
  scanning_ = false;
  count_ = visible_.CountSet();
  visibleValid_ = true;
}

// ---------------------------------------------------------------------------------------
// The cursor's own changes

void TVisibleSet::RecordAdded(std::int32_t recordNo, const std::uint8_t* record, bool natural, int slot) {
  const std::int32_t slots = static_cast<std::int32_t>(table_->Data().PhysicalRecordCount());
  if (activeValid_) {
    active_.SetSize(slots);
    active_.Include(recordNo);
  }
  if (!filtersActive_ || !visibleValid_) return;
  visible_.SetSize(slots);
  bool show = true;
  if (RangeApplies(natural, slot)) {
    inRange_.SetSize(slots);
    table_->Index().KeyBuilder(slot).Build(record, key_.data());
    show = InRange(key_.data(), slot);
    if (show) inRange_.Include(recordNo);
  }
  std::memcpy(record_.data(), record, static_cast<std::size_t>(recordSize_));
  if (calculator_) calculator_(record_.data());
  for (const auto& filter : filters_) {
    if (!filter->Active()) continue;
    TRecordsBitmap& bits = filter->Bitmap();
    bits.SetSize(slots);
    if (show && filter->Accepts(record_.data())) {
      bits.Include(recordNo);
    } else {
      bits.Exclude(recordNo);
      show = false;
    }
  }
  if (show) {
    visible_.Include(recordNo);
  } else {
    visible_.Exclude(recordNo);
  }
  count_ = visible_.CountSet();
}

void TVisibleSet::RecordRemoved(std::int32_t recordNo) {
  if (activeValid_) active_.Exclude(recordNo);
  if (!visibleValid_) return;
  visible_.Exclude(recordNo);
  inRange_.Exclude(recordNo);
  for (const auto& filter : filters_) filter->Bitmap().Exclude(recordNo);
  count_ = visible_.CountSet();
}

}  // namespace quarry
