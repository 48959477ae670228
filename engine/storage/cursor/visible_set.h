// TVisibleSet: which records a cursor shows. It keeps the cursor's key range, the bitmap of
// the record slots that hold active records, the bitmap of the records inside the range, and
// the visible records: those intersected with the bitmap of every active filter. The
// filters themselves belong to the cursor (cursor_filter.h); the set only asks them about
// records when it rebuilds, and keeps their bitmaps current through the cursor's own
// inserts, updates and deletes (RecordAdded, RecordRemoved).
//
// The bitmaps are built lazily: the active bitmap on first need after an invalidation, the
// visible one before the next operation while filters are active. A rebuild reads records
// in record-number order (Scanning() meanwhile, so the cursor asks for no read-ahead in its
// index order) and throws TReadRestart when another user changed the table under it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/storage/cursor/cursor_filter.h"
#include "engine/values/records_bitmap.h"

namespace quarry {

class TDataTable;
class TRecordReader;

class TVisibleSet {
 public:
  // filters and calculator are the cursor's (they outlive the set); the calculator fills
  // the computed fields of a record image before a filter sees it.
  TVisibleSet(const std::vector<std::unique_ptr<TFilter>>& filters,
              const std::function<void(std::uint8_t*)>& calculator);

  // The table records are read from (null while the cursor is closed), and the reader the
  // data file asks about changes.
  void Attach(TDataTable* table, TRecordReader* reader);
  // Sizes of the stored record and of the cursor's record buffers.
  void SetRecordShape(int recordSize, int bufferSize);
  // Forgets range, bitmaps and filter state (the cursor closes).
  void Clear();

  // ---- range (index order) ----
  // No range, with keys of keyBytes bytes: start all 0x00, end all 0xFF.
  void ResetRange(std::size_t keyBytes);
  // The range keys, for the cursor to build in place before ActivateRange.
  std::uint8_t* RangeStart() { return rangeStart_.data(); }
  std::uint8_t* RangeEnd() { return rangeEnd_.data(); }
  const std::uint8_t* RangeStart() const { return rangeStart_.data(); }
  const std::uint8_t* RangeEnd() const { return rangeEnd_.data(); }
  void ActivateRange();
  void CancelRange();
  bool RangeActive() const { return rangeActive_; }
  // True when key lies inside the range (always without one), by the index's comparison.
  bool InRange(const std::uint8_t* key, int slot) const;

  // ---- filters and validity ----
  void SetFiltersActive(bool active) { filtersActive_ = active; }
  bool FiltersActive() const { return filtersActive_; }
  // The visible records need a rebuild (range, filters or order changed).
  void InvalidateVisible() { visibleValid_ = false; }
  // Everything needs a rebuild (other users changed the table).
  void InvalidateAll() { activeValid_ = visibleValid_ = false; }
  bool VisibleValid() const { return visibleValid_; }
  bool ActiveValid() const { return activeValid_; }
  // Rebuilds the visible records when filters are active and they are stale.
  void Refresh(bool natural, int slot) {
    if (filtersActive_ && !visibleValid_) Rebuild(natural, slot);
  }
  // The active records intersected with the range (in index order) and every active filter.
  void Rebuild(bool natural, int slot);

  // ---- answers ----
  // The records natural order walks: the visible ones when filtered, else the active ones.
  const TRecordsBitmap& NaturalSet(bool natural, int slot);
  bool Visible(std::int32_t recordNo) const { return !filtersActive_ || visible_.Test(recordNo); }
  // Visible records and their count (valid while FiltersActive() and VisibleValid()).
  const TRecordsBitmap& Records() const { return visible_; }
  std::int32_t Count() const { return count_; }
  // A rebuild is reading records.
  bool Scanning() const { return scanning_; }

  // ---- the cursor's own changes ----
  void RecordAdded(std::int32_t recordNo, const std::uint8_t* record, bool natural, int slot);
  void RecordRemoved(std::int32_t recordNo);

 private:
  void BuildActive();
  bool RangeApplies(bool natural, int slot) const;

  const std::vector<std::unique_ptr<TFilter>>& filters_;
  const std::function<void(std::uint8_t*)>& calculator_;
  TDataTable* table_ = nullptr;
  TRecordReader* reader_ = nullptr;
  int recordSize_ = 0;
  int bufferSize_ = 0;

  bool rangeActive_ = false;
  std::vector<std::uint8_t> rangeStart_;
  std::vector<std::uint8_t> rangeEnd_;

  bool filtersActive_ = false;
  bool activeValid_ = false;
  bool visibleValid_ = false;
  bool scanning_ = false;
  TRecordsBitmap active_;
  TRecordsBitmap inRange_;
  TRecordsBitmap visible_;
  std::int32_t count_ = 0;
  std::vector<std::uint8_t> key_;     // index keys read while building the range bitmap
  std::vector<std::uint8_t> record_;  // a record image handed to the filters
};

}  // namespace quarry
