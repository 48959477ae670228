// The transaction and progress of a data-changing statement; see change_transaction.h.
#include "engine/sql/change_transaction.h"

#include <algorithm>

#include "engine/sql/data_query.h"
#include "engine/sql/query_statement.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"

namespace quarry {

TChangeTransaction::TChangeTransaction(TDataDirectory& database, const TDataQuery& query, TDataCursor& writer)
    : database_(database), writer_(writer), flush_(query.CommitFlush) {
  // COMMIT INTERVAL 0 (or none) commits only at the end.
  if (query.CommitGiven && query.CommitInterval > 0) interval_ = query.CommitInterval;
  if (database_.InTransaction()) {
    undo_ = std::make_unique<TChangeUndo>(writer);
  } else {
    database_.StartTransaction();
    owned_ = true;
  }
}

TChangeTransaction::~TChangeTransaction() {
  if (finished_) return;
  if (owned_) {
    try {
      database_.Rollback();
    } catch (...) {
      // The statement's error is the one reported; a rollback that fails leaves the
      // changes unwritten in the caches, which closing the tables drops.
    }
  } else if (undo_) {
    undo_->Undo();
  }
}

void TChangeTransaction::RowDone() {
  ++count_;
  if (interval_ == 0 || count_ % interval_ != 0) return;
  database_.Commit(false, flush_);
  // The commit wrote what the writer changed: nothing it shows has moved.
  writer_.TakeChangeSnapshot();
  if (undo_) undo_->Clear();
}

void TChangeTransaction::Finish() {
  if (owned_) database_.Commit(true, flush_);
  finished_ = true;
}

TChangeProgress::TChangeProgress(TQueryStatement& statement, std::int64_t total)
    : statement_(statement), total_(total) {
  if (statement.Database() != nullptr) {
    const int steps = statement.Database()->Session().Settings().ProgressSteps;
    step_ = steps > 0 ? std::max(1, 100 / steps) : 100;
  }
}

bool TChangeProgress::Step() {
  ++position_;
  if (total_ <= 0 || !statement_.WantsProgress()) return false;
  const int percent = static_cast<int>(std::min<std::int64_t>(100, position_ * 100 / total_));
  if (percent < last_ + step_) return false;
  last_ = percent;
  return statement_.ReportProgress(percent);
}

void TChangeProgress::Finish() {
  if (last_ < 100) statement_.ReportProgress(100);
}

}  // namespace quarry
