// TVisibleSet: which records a cursor shows. It keeps the cursor's key range, the bitmap of
// the record slots that hold active records, the bitmap of the records inside the range, and
// the visible records: those intersected with the bitmap of every active filter. The
// filters themselves belong to the cursor (cursor_filter.h); the set only asks them about
// records when it rebuilds, and keeps their bitmaps current through the cursor's own
// inserts, updates and deletes (RecordAdded, RecordRemoved).
//
// The bitmaps are built lazily: the active bitmap on first need after an invalidation, the
// filters' bitmaps before the next operation while filters are active (answered from the
// indexes where the optimiser can, filter_analysis.h and filter_bitmap.h), and the visible
// records with their count when someone asks for them. Index-order navigation inside a
// range needs only the filtered records (the walk keeps to the range itself), so a range
// that moves, as an inner table's of a join does for each outer row, costs a walk over
// the range's keys, not a new build of the filters, unless the filters were built inside
// the range (the range's records were their candidates). A build reads records in
// record-number order (Scanning() meanwhile, so the cursor asks for no read-ahead in its
// index order) and throws TReadRestart when another user changed the table under it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/storage/cursor/cursor_filter.h"
#include "engine/storage/cursor/filter_bitmap.h"
#include "engine/storage/data/field_definition.h"
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
  // Where filters find the table's text parameters for TEXTSEARCH from the full-text index
  // (a null answer: the parameters do not match the indexed words).
  void SetTextParameters(std::function<const TTextParameters*()> parameters) {
    textParameters_ = std::move(parameters);
  }
  // Sizes of the stored record and of the cursor's record buffers, and the table's fields
  // (which outlive the set).
  void SetRecordShape(int recordSize, int bufferSize, const std::vector<TFieldDefinition>* fields = nullptr);
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
  // The range or the order changed: the visible records need a rebuild (the filters too
  // when their candidates were the range's records).
  void InvalidateVisible();
  // A filter was added, removed, switched or changed.
  void InvalidateFilters() { filtersValid_ = visibleValid_ = false; }
  // Everything needs a rebuild (other users changed the table).
  void InvalidateAll() { activeValid_ = filtersValid_ = visibleValid_ = rangeValid_ = false; }
  bool VisibleValid() const { return FiltersCurrent() && visibleValid_; }
  bool ActiveValid() const { return activeValid_; }
  // Builds the filters' bitmaps when filters are active and they are stale.
  void Refresh(bool natural, int slot) {
    natural_ = natural;
    slot_ = slot;
    if (filtersActive_ && !FiltersCurrent()) {
      visibleValid_ = false;
      BuildFilters(true);
    }
  }
  // Builds the filters and the visible records anew.
  void Rebuild(bool natural, int slot);
  // Builds the filters over the whole table, whatever range is set, so that later ranges
  // only narrow them (SQL execution before it walks ranges per outer row).
  void BuildFiltersWhole(bool natural, int slot);
  // The optimisation level of a filter's expression on this table (marks its tree).
  std::uint8_t Analyse(TFilter& filter);

  // ---- answers ----
  // The records natural order walks: the visible ones when filtered, else the active ones.
  const TRecordsBitmap& NaturalSet(bool natural, int slot);
  // Whether navigation shows the record (the range is kept by the walk itself).
  bool Visible(std::int32_t recordNo) const { return !filtersActive_ || filtered_.Test(recordNo); }
  // Visible records and their count (valid while FiltersActive()); built on demand.
  const TRecordsBitmap& Records();
  std::int32_t Count();
  // A rebuild is reading records.
  bool Scanning() const { return scanning_; }
  // Keys and records read by filtering.
  const TFilterStatistics& Statistics() const { return statistics_; }
  void ResetStatistics() { statistics_ = {}; }

  // ---- the cursor's own changes ----
  void RecordAdded(std::int32_t recordNo, const std::uint8_t* record, bool natural, int slot);
  void RecordRemoved(std::int32_t recordNo);

 private:
  void BuildActive();
  void BuildRange();
  // The filters' bitmaps are built and still answer for the range and order in use.
  bool FiltersCurrent() const;
  // withinRange: the range's records are the candidates (when a range applies).
  void BuildFilters(bool withinRange);
  void BuildVisible();
  bool RangeApplies(bool natural, int slot) const;
  TFilterTableView TableView() const;
  // Reads record n into record_ for a filter test; TReadRestart when it is gone.
  void ReadRecord(std::int32_t recordNo);

  const std::vector<std::unique_ptr<TFilter>>& filters_;
  const std::function<void(std::uint8_t*)>& calculator_;
  std::function<const TTextParameters*()> textParameters_;
  TDataTable* table_ = nullptr;
  TRecordReader* reader_ = nullptr;
  int recordSize_ = 0;
  int bufferSize_ = 0;

  bool rangeActive_ = false;
  std::vector<std::uint8_t> rangeStart_;
  std::vector<std::uint8_t> rangeEnd_;

  const std::vector<TFieldDefinition>* fields_ = nullptr;
  bool natural_ = true;
  int slot_ = 0;

  bool filtersActive_ = false;
  bool activeValid_ = false;
  bool rangeValid_ = false;
  bool filtersValid_ = false;
  bool filtersInRange_ = false;  // the filters' candidates were the range's records ...
  int filtersSlot_ = 0;          // ... of this range in this order
  std::vector<std::uint8_t> filtersRangeStart_;
  std::vector<std::uint8_t> filtersRangeEnd_;
  bool visibleValid_ = false;
  bool scanning_ = false;
  TRecordsBitmap active_;
  TRecordsBitmap inRange_;
  TRecordsBitmap filtered_;  // active records every active filter lets through
  TRecordsBitmap visible_;   // filtered_ within the range
  TFilterStatistics statistics_;
  std::int32_t count_ = 0;
  std::vector<std::uint8_t> key_;     // index keys read while building the range bitmap
  std::vector<std::uint8_t> record_;  // a record image handed to the filters
};

}  // namespace quarry
