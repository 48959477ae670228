// TFilter: one filter of a cursor (see cursor_filter.h).
#include "engine/storage/cursor_filter.h"

#include "engine/sql/expression_evaluator.h"
#include "engine/sql/expression_preparer.h"
#include "engine/storage/data_cursor.h"

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
  prepared_.reset();
  if (!checked_) return;
  source_ = std::make_unique<TRecordColumnSource>(owner_.TableFields(), owner_.TableName(), owner_.BlobValueReader());
  prepared_ = PrepareExpression(*checked_, {.Owner = &owner_,
                                            .Provider = source_.get(),
                                            .NoPartialCompare = !options_.PartialCompare,
                                            .CaseInsensitive = options_.CaseInsensitive,
                                            .Language = owner_.LanguageId(),
                                            .Sort = owner_.SortId()});
}

bool TFilter::Accepts(const std::uint8_t* record) {
  if (callback_) return callback_(owner_, record);
  if (!prepared_) return true;
  // TEXTSEARCH and TEXTOCCURS ask the owner about the record being evaluated.
  struct TEvaluating {
    TDataCursor& cursor;
    const std::uint8_t* saved;
    ~TEvaluating() { cursor.evaluating_ = saved; }
  } evaluating{owner_, owner_.evaluating_};
  owner_.evaluating_ = record;
  TExpTree value = EvaluateExpression(*prepared_, record, &owner_, owner_.LanguageId(), owner_.SortId(), source_.get());
  return value && ConditionHolds(*value);
}

}  // namespace quarry
