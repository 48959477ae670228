// TFilter: one filter of a cursor (data_cursor.h) — either a checked, prepared expression
// over the cursor's fields or a record callback — with the bitmap of the records it lets
// through. Expression filters are checked and evaluated by the installed filter expression
// engine (filter_expression_engine.h).
//
// A filter belongs to the cursor that created it; the cursor keeps its filters in order,
// fills their bitmaps when they are active (by evaluating the expression or calling the
// callback on the candidate records) and keeps them current as records change through it.
// Callers hold TFilter pointers only as handles to pass back to the cursor.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/storage/cursor/filter_expression_engine.h"
#include "engine/values/records_bitmap.h"
#include "engine/values/token_stack.h"

namespace quarry {

class TDataCursor;

// A record callback: true when the record (a cursor-sized record image) passes.
using TFilterCallback = std::function<bool(TDataCursor& cursor, const std::uint8_t* record)>;

struct TFilterOptions {
  bool CaseInsensitive = false;  // string comparisons of the expression ignore case
  bool PartialCompare = false;   // string equality compares the constant's length only
  bool Last = false;             // stays after every filter added later
  bool Estimate = true;          // the analysis counts index keys (90% and cost rules)
  bool CountRanges = true;       // a range over half the table is read from its outside
};

class TFilter {
 public:
  TFilter(TDataCursor& owner, TExpTree checked, TFilterOptions options);
  TFilter(TDataCursor& owner, TFilterCallback callback, const void* dataset, TFilterOptions options);
  ~TFilter();
  TFilter(const TFilter&) = delete;
  TFilter& operator=(const TFilter&) = delete;

  TDataCursor& Owner() const { return owner_; }
  bool IsCallback() const { return static_cast<bool>(callback_); }
  bool Active() const { return active_; }
  void SetActive(bool active) { active_ = active; }
  bool GoesLast() const { return options_.Last; }
  const TFilterOptions& Options() const { return options_; }
  // The dataset that installed a callback filter (not owned; may be null).
  const void* Dataset() const { return dataset_; }
  // The optimisation level of the expression as last analysed: 0 none, 1 partial, 2 full
  // (callback filters report 0).
  std::uint8_t OptimizeLevel() const { return optimizeLevel_; }
  void SetOptimizeLevel(std::uint8_t level) { optimizeLevel_ = level; }
  // The prepared tree the filter runs, which the optimiser marks (null for callbacks).
  TExpToken* PreparedTree() const { return evaluator_ ? evaluator_->Tree() : nullptr; }

  // The checked expression (null for callback filters).
  const TExpToken* Expression() const { return checked_.get(); }
  // Replaces the expression (already checked against the owner's fields).
  void SetExpression(TExpTree checked);

  // True when the record passes. `record` is a cursor-sized image.
  bool Accepts(const std::uint8_t* record);
  // True when a part of PreparedTree() holds for the record (null part: the whole filter).
  bool AcceptsPart(const TExpToken* part, const std::uint8_t* record);

  TRecordsBitmap& Bitmap() { return *bitmap_; }
  const TRecordsBitmap& Bitmap() const { return *bitmap_; }

 private:
  // Makes the checked expression ready for evaluation.
  void Prepare();

  TDataCursor& owner_;
  TExpTree checked_;
  std::unique_ptr<TFilterEvaluator> evaluator_;
  TFilterCallback callback_;
  const void* dataset_ = nullptr;
  TFilterOptions options_;
  bool active_ = true;
  std::uint8_t optimizeLevel_ = 0;
  std::unique_ptr<TRecordsBitmap> bitmap_;
};

}  // namespace quarry
