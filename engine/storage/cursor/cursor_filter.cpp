// TFilter: one filter of a cursor (see cursor_filter.h).
#include "engine/storage/cursor/cursor_filter.h"

#include "engine/storage/cursor/data_cursor.h"

namespace quarry {

TFilter::TFilter(TDataCursor& owner, TExpTree checked, TFilterOptions options)
    : owner_(owner), checked_(std::move(checked)), options_(options), bitmap_(TRecordsBitmapStack::Instance().Take()) {
  Prepare();
}

TFilter::TFilter(TDataCursor& owner, TFilterCallback callback, const void* dataset, TFilterOptions options)
    : owner_(owner),
      callback_(std::move(callback)),
      dataset_(dataset),
      options_(options),
      bitmap_(TRecordsBitmapStack::Instance().Take()) {}

TFilter::~TFilter() { TRecordsBitmapStack::Instance().Return(std::move(bitmap_)); }

void TFilter::SetExpression(TExpTree checked) {
  checked_ = std::move(checked);
  Prepare();
}

void TFilter::Prepare() {
  evaluator_.reset();
  if (!checked_) return;
  evaluator_ = owner_.FilterEngine().Prepare(*checked_, owner_, options_);
}

bool TFilter::Accepts(const std::uint8_t* record) { return AcceptsPart(nullptr, record); }

bool TFilter::AcceptsPart(const TExpToken* part, const std::uint8_t* record) {
  if (callback_) return callback_(owner_, record);
  if (!evaluator_) return true;
  // TEXTSEARCH and TEXTOCCURS ask the owner about the record being evaluated.
  struct TEvaluating {
    TDataCursor& cursor;
    const std::uint8_t* saved;
    ~TEvaluating() { cursor.evaluating_ = saved; }
  } evaluating{owner_, owner_.evaluating_};
  owner_.evaluating_ = record;
  return part != nullptr ? evaluator_->AcceptsPart(*part, record) : evaluator_->Accepts(record);
}

}  // namespace quarry
