// The second half of filter optimisation: filling a filter's bitmap from the marks the
// analysis left (filter_analysis.h). TFilterBitmapBuilder walks the tree top-down with the
// records still in question (the candidates): a served leaf walks its index between its
// keys (or, when its range holds more than half the table, the keys outside it, and
// inverts), a TEXTSEARCH leaf looks its words up in the full-text index, AND answers its
// better side first and the other only on what that side kept, OR and NOT combine their
// operands' bitmaps, and whatever no index serves is evaluated record by record on the
// candidates alone.
//
// Every part's result holds exactly the candidates that satisfy it, so the parts combine
// with plain word operations. Keys and records read are counted in TFilterStatistics,
// which the cursor reports.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/storage/cursor/filter_analysis.h"
#include "engine/values/records_bitmap.h"

namespace quarry {

// What filtering has read since the counters were last reset.
struct TFilterStatistics {
  std::int64_t KeysRead = 0;
  std::int64_t RecordsRead = 0;
};

class TFilterBitmapBuilder {
 public:
  // Evaluates a part of the tree (null: the whole filter) on one record.
  using TRecordTest = std::function<bool(const TExpToken* part, std::int32_t recordNo)>;

  TFilterBitmapBuilder(const TFilterTableView& table, const TFilterAnalyser& analyser, bool countRanges,
                       TFilterStatistics& statistics, TRecordTest test)
      : table_(table),
        analyser_(analyser),
        countRanges_(countRanges),
        statistics_(statistics),
        test_(std::move(test)) {}

  // The candidates that satisfy the tree (marked by the analyser) into result.
  void Build(const TExpToken& root, const TRecordsBitmap& candidates, TRecordsBitmap& result);
  // The candidates that pass the whole filter, each record evaluated.
  void Scan(const TExpToken* part, const TRecordsBitmap& candidates, TRecordsBitmap& result);

 private:
  void BuildNode(const TExpToken& node, const TRecordsBitmap& candidates, TRecordsBitmap& result, bool top);
  // A served leaf from its index; false when it is better (or only) scanned.
  bool BuildLeaf(const TExpToken& node, const TRecordsBitmap& candidates, TRecordsBitmap& result);
  // A TEXTSEARCH leaf from the full-text index, its records tested where the index leaves
  // doubt; false when it is better (or only) scanned.
  bool BuildText(const TExpToken& node, const TExpToken* part, const TRecordsBitmap& candidates,
                 TRecordsBitmap& result);
  // Reading the candidates' records costs less than the node's index keys.
  bool CheaperToScan(const TExpToken& node, const TRecordsBitmap& candidates) const;
  // Sets the bits of the records whose keys lie in the interval.
  void Walk(int slot, const TKeyInterval& interval, TRecordsBitmap& bits);

  const TFilterTableView& table_;
  const TFilterAnalyser& analyser_;
  bool countRanges_;
  TFilterStatistics& statistics_;
  TRecordTest test_;
};

}  // namespace quarry
