// Finding the rows of UPDATE and DELETE; see change_rows.h.
#include "engine/sql/change_rows.h"

#include "engine/sql/expression_error.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/row_walk.h"
#include "engine/sql/select_conditions.h"
#include "engine/sql/type_checker.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"

namespace quarry {

namespace {

// Read locks on the source tables for one walk, so that every row comes from one state of
// each table (tables of the statement's transaction are locked by it already).
class TWalkLocks {
 public:
  ~TWalkLocks() {
    for (TDataTable* table : tables_) {
      try {
        table->ReleaseReadLockA();
      } catch (...) {}
    }
  }
  void Take(TDataTable& table) {
    if (table.HoldsReadLockA() || table.HoldsTableLock()) return;
    table.ReadLockA();
    tables_.push_back(&table);
  }

 private:
  std::vector<TDataTable*> tables_;
};

}  // namespace

TChangeRows::TChangeRows(TDataQuery& query, TQueryStatement& statement, TExpressionOwner& hooks)
    : block_(query, hooks), statement_(statement) {}

TChangeRows::~TChangeRows() { CloseSources(); }

void TChangeRows::CloseSources() noexcept {
  try {
    writer_.reset();
    for (auto& source : block_.Sources) {
      if (source->Source != nullptr) source->Source->Cursor = nullptr;
      source->Cursor.reset();
    }
    block_.Sources.clear();
    if (TDataDirectory* db = statement_.Database())
      for (TDataDirectory* directory : ownedDirectories_) db->Session().CloseDirectory(*directory);
  } catch (...) {
    // Closing the tables of a freed statement cannot report anything.
  }
  ownedDirectories_.clear();
}

void TChangeRows::Prepare() {
  OpenSources();
  CheckCondition();
  // A dry run of the plan over the checked tree raises the join errors now.
  plan_.Check(block_);
}

void TChangeRows::OpenSources() {
  TDataQuery& query = block_.Query;
  if (statement_.Database() == nullptr) RaiseSqlError("No database for the statement");
  for (const auto& table : query.SourceTables) {
    block_.Sources.push_back(OpenSelectSource(*table, statement_, false, ownedDirectories_));
    if (table.get() == query.Target) target_ = block_.Sources.back().get();
  }
  if (target_ == nullptr) target_ = block_.Sources.front().get();
  std::vector<TSelectSource*> list;
  for (auto& s : block_.Sources) list.push_back(s.get());
  block_.ColumnSource.SetSources(std::move(list));
  // The target's language and sort are those every comparison of the statement uses.
  block_.Language = target_->Cursor->LanguageId();
  block_.Sort = target_->Cursor->SortId();

  // The changes go through a second cursor on the same table, in record-number order.
  TDataCursor& walked = *target_->Cursor;
  writer_ = std::make_unique<TDataCursor>(walked.Directory());
  writer_->SetTableName(walked.TableName());
  writer_->SetInMemory(walked.InMemory());
  writer_->Open();
  writer_->ChooseIndexSlot(NaturalOrderSlot);
}

void TChangeRows::CheckCondition() {
  if (block_.Query.Condition)
    CheckBooleanClause(block_.Query.Condition, block_.ColumnSource, block_.Hooks, "WHERE or JOIN clause");
}

uint64_t TChangeRows::OtherTables() const {
  uint64_t mask = 0;
  for (std::size_t i = 0; i < block_.Sources.size(); ++i)
    if (block_.Sources[i].get() != target_) mask |= uint64_t{1} << i;
  return mask;
}

void TChangeRows::Walk(const std::function<void()>& visit) {
  TWalkLocks locks;
  for (auto& source : block_.Sources) {
    locks.Take(source->Cursor->Table());
    source->Cursor->Refresh();
  }
  plan_.Make(block_);
  planned_ = true;
  // The target's own record is wanted, never only whether one matches.
  for (TTableRun& run : plan_.Runs())
    if (run.Source == target_) run.KeySetCandidate = false;
  TRowWalk walk(
      plan_, block_, statement_,
      [&] {
        if (!target_->NullRow && target_->Cursor->CurrentRecordNo() != 0) visit();
        return TRowFate::Folded;
      },
      false);
  walk.Run();
}

bool TChangeRows::TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences) {
  return block_.ColumnSource.TextSearch(column, words, found, occurrences);
}

}  // namespace quarry
