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

void TVisibleSet::SetRecordShape(int recordSize, int bufferSize, const std::vector<TFieldDefinition>* fields) {
  if (fields != nullptr) fields_ = fields;
  recordSize_ = recordSize;
  bufferSize_ = bufferSize;
  if (record_.size() < static_cast<std::size_t>(bufferSize)) record_.resize(static_cast<std::size_t>(bufferSize), 0);
}

void TVisibleSet::Clear() {
  filtersActive_ = false;
  visible_.SetSize(0);
  active_.SetSize(0);
  inRange_.SetSize(0);
  filtered_.SetSize(0);
  activeValid_ = filtersValid_ = visibleValid_ = rangeValid_ = false;
  filtersInRange_ = false;
  rangeActive_ = false;
}

void TVisibleSet::InvalidateVisible() { visibleValid_ = rangeValid_ = false; }

bool TVisibleSet::FiltersCurrent() const {
  if (!filtersValid_) return false;
  if (!filtersInRange_) return true;
  // Built inside a range: current while the same range applies in the same order.
  return RangeApplies(natural_, slot_) && slot_ == filtersSlot_ && rangeStart_ == filtersRangeStart_ &&
         rangeEnd_ == filtersRangeEnd_;
}

// ---------------------------------------------------------------------------------------
// Range

void TVisibleSet::ResetRange(std::size_t keyBytes) {
  rangeStart_.assign(keyBytes, 0x00);
  rangeEnd_.assign(keyBytes, 0xFF);
  key_.assign(keyBytes, 0);
  rangeActive_ = false;
  InvalidateVisible();
}

void TVisibleSet::ActivateRange() {
  rangeActive_ = true;
  InvalidateVisible();
}

void TVisibleSet::CancelRange() {
  std::fill(rangeStart_.begin(), rangeStart_.end(), 0x00);
  std::fill(rangeEnd_.begin(), rangeEnd_.end(), 0xFF);
  rangeActive_ = false;
  InvalidateVisible();
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
    Refresh(natural, slot);
    return Records();
  }
  if (!activeValid_) BuildActive();
  return active_;
}

void TVisibleSet::BuildRange() {
  // The records whose keys lie in the range; a range over more than half the table is
  // read from the keys outside it.
  const TKeyComparator& comparator = table_->Index().Comparator(slot_);
  TBTree tree = table_->Index().Tree(static_cast<std::uint8_t>(slot_));
  inRange_.SetSize(active_.Size());
  inRange_.ClearAll();
  const std::int64_t inside = tree.RangeCount(rangeStart_.data(), rangeEnd_.data());
  TIndexPath path;
  if (inside * 2 > tree.KeyCount() && table_->Data().LanguageId() == 0) {
    for (bool on = tree.First(path); on; on = tree.Next(path)) {
      const std::int32_t recordNo = tree.EntryAt(path, key_.data());
      ++statistics_.KeysRead;
      if (comparator.Compare(key_.data(), rangeStart_.data()) >= 0) break;
      inRange_.Include(recordNo);
    }
    tree.Find(rangeEnd_.data(), path);
    for (bool on = tree.OnEntry(path); on; on = tree.Next(path)) {
      const std::int32_t recordNo = tree.EntryAt(path, key_.data());
      ++statistics_.KeysRead;
      if (comparator.Compare(key_.data(), rangeEnd_.data()) > 0) inRange_.Include(recordNo);
    }
    inRange_.Invert();
    inRange_.AndWith(active_);
  } else {
    for (bool on = (tree.Find(rangeStart_.data(), path), tree.OnEntry(path)); on; on = tree.Next(path)) {
      const std::int32_t recordNo = tree.EntryAt(path, key_.data());
      if (comparator.Compare(key_.data(), rangeEnd_.data()) > 0) break;
      ++statistics_.KeysRead;
      inRange_.Include(recordNo);
    }
  }
  rangeValid_ = true;
}

TFilterTableView TVisibleSet::TableView() const {
  TFilterTableView view;
  view.Index = &table_->Index();
  view.Fields = fields_;
  view.PhysicalRecords = active_.Size();
  view.RecordSize = recordSize_;
  view.Binary = table_->Data().LanguageId() == 0;
  if (view.Binary && textParameters_ && view.Index->Definition(TextSlot).FieldCount > 0) view.Text = textParameters_();
  return view;
}

std::uint8_t TVisibleSet::Analyse(TFilter& filter) {
  TExpToken* tree = filter.PreparedTree();
  if (filter.IsCallback() || tree == nullptr || table_ == nullptr || fields_ == nullptr) {
    filter.SetOptimizeLevel(0);
    return 0;
  }
  if (!activeValid_) BuildActive();
  const TFilterTableView view = TableView();
  TFilterAnalyser analyser(
      view, {.Estimate = filter.Options().Estimate, .CaseInsensitive = filter.Options().CaseInsensitive});
  filter.SetOptimizeLevel(analyser.Analyse(*tree));
  return filter.OptimizeLevel();
}

void TVisibleSet::ReadRecord(std::int32_t recordNo) {
  TDataFile& data = table_->Data();
  if (recordNo > data.NextRecordNo() - 1) throw TReadRestart{};
  TPinnedRecord pinned = data.GetRecord(reader_, recordNo, TReadDirection::Forward, true);
  if (!pinned) throw TReadRestart{};
  std::memcpy(record_.data(), pinned.Data(), static_cast<std::size_t>(recordSize_));
  pinned.Reset();
  if (calculator_) calculator_(record_.data());
}

void TVisibleSet::Rebuild(bool natural, int slot) {
  natural_ = natural;
  slot_ = slot;
  filtersValid_ = visibleValid_ = rangeValid_ = false;
  BuildFilters(true);
  BuildVisible();
}

void TVisibleSet::BuildFiltersWhole(bool natural, int slot) {
  natural_ = natural;
  slot_ = slot;
  if (!filtersActive_ || (filtersValid_ && !filtersInRange_)) return;
  visibleValid_ = false;
  BuildFilters(false);
}

void TVisibleSet::BuildFilters(bool withinRange) {
  if (!activeValid_) BuildActive();
  const bool ranged = withinRange && RangeApplies(natural_, slot_);
  TRecordsBitmap base;
  base.Assign(active_);
  if (ranged) {
    if (!rangeValid_) BuildRange();
    base.AndWith(inRange_);
  }
  filtered_.Assign(base);
  const TFilterTableView view = TableView();
  struct TScanning {
    bool& flag;
    ~TScanning() { flag = false; }
  } scanning{scanning_};
  scanning_ = true;
  for (const auto& filter : filters_) {
    if (!filter->Active()) continue;
    TFilter& current = *filter;
    TExpToken* tree = current.PreparedTree();
    TFilterAnalyser analyser(
        view, {.Estimate = current.Options().Estimate, .CaseInsensitive = current.Options().CaseInsensitive});
    const std::uint8_t level =
        tree != nullptr && fields_ != nullptr && !current.IsCallback() ? analyser.Analyse(*tree) : 0;
    current.SetOptimizeLevel(level);
    TFilterBitmapBuilder builder(view, analyser, current.Options().CountRanges, statistics_,
                                 [&](const TExpToken* part, std::int32_t recordNo) {
                                   ReadRecord(recordNo);
                                   return current.AcceptsPart(part, record_.data());
                                 });
    // A filter the indexes answer whole starts from the range and the active records; one
    // that reads records also only from what the filters before it kept.
    const TRecordsBitmap& candidates = level == 2 ? base : filtered_;
    if (level == 0 || tree == nullptr) builder.Scan(nullptr, candidates, current.Bitmap());
    else builder.Build(*tree, candidates, current.Bitmap());
    filtered_.AndWith(current.Bitmap());
  }
  filtersInRange_ = ranged;
  if (ranged) {
    filtersSlot_ = slot_;
    filtersRangeStart_ = rangeStart_;
    filtersRangeEnd_ = rangeEnd_;
  }
  filtersValid_ = true;
}

void TVisibleSet::BuildVisible() {
  if (!FiltersCurrent()) {
    visibleValid_ = false;
    BuildFilters(true);
  }
  visible_.Assign(filtered_);
  if (RangeApplies(natural_, slot_) && !filtersInRange_) {
    if (!rangeValid_) BuildRange();
    visible_.AndWith(inRange_);
  }
  count_ = visible_.CountSet();
  visibleValid_ = true;
}

const TRecordsBitmap& TVisibleSet::Records() {
  if (!visibleValid_ || !FiltersCurrent()) BuildVisible();
  return visible_;
}

std::int32_t TVisibleSet::Count() {
  if (!visibleValid_ || !FiltersCurrent()) BuildVisible();
  return count_;
}

// ---------------------------------------------------------------------------------------
// The cursor's own changes

void TVisibleSet::RecordAdded(std::int32_t recordNo, const std::uint8_t* record, bool natural, int slot) {
  const std::int32_t slots = static_cast<std::int32_t>(table_->Data().PhysicalRecordCount());
  if (activeValid_) {
    active_.SetSize(slots);
    active_.Include(recordNo);
  }
  if (!filtersActive_) return;
  bool inRange = true;
  if (RangeApplies(natural, slot)) {
    table_->Index().KeyBuilder(slot).Build(record, key_.data());
    inRange = InRange(key_.data(), slot);
    if (rangeValid_) {
      inRange_.SetSize(slots);
      if (inRange) inRange_.Include(recordNo);
      else inRange_.Exclude(recordNo);
    }
  }
  if (!FiltersCurrent()) {
    visibleValid_ = false;
    return;
  }
  // Filters built inside the range take no record outside it.
  bool passes = inRange || !filtersInRange_;
  std::memcpy(record_.data(), record, static_cast<std::size_t>(recordSize_));
  if (calculator_) calculator_(record_.data());
  for (const auto& filter : filters_) {
    if (!filter->Active()) continue;
    TRecordsBitmap& bits = filter->Bitmap();
    bits.SetSize(slots);
    if (passes && filter->Accepts(record_.data())) {
      bits.Include(recordNo);
    } else {
      bits.Exclude(recordNo);
      passes = false;
    }
  }
  filtered_.SetSize(slots);
  if (passes) filtered_.Include(recordNo);
  else filtered_.Exclude(recordNo);
  if (!visibleValid_) return;
  visible_.SetSize(slots);
  if (passes && inRange) visible_.Include(recordNo);
  else visible_.Exclude(recordNo);
  count_ = visible_.CountSet();
}

void TVisibleSet::RecordRemoved(std::int32_t recordNo) {
  if (activeValid_) active_.Exclude(recordNo);
  inRange_.Exclude(recordNo);
  filtered_.Exclude(recordNo);
  for (const auto& filter : filters_) filter->Bitmap().Exclude(recordNo);
  if (!visibleValid_) return;
  visible_.Exclude(recordNo);
  count_ = visible_.CountSet();
}

}  // namespace quarry
