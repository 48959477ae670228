// Execution of a SELECT query block: this execution's trees, the plan, the walk into a fresh
// result table and its sorts, UNION parts, the result cursor and IN look-ups. See
// select_query.h; preparation is in select_query.cpp.
#include <algorithm>

#include "engine/sql/expression_preparer.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/result_columns.h"
#include "engine/sql/row_walk.h"
#include "engine/sql/select_query.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"

namespace quarry {

namespace {

// Holds read locks on the source tables for one execution (WITH LOCKS).
class TReadLocks {
 public:
  ~TReadLocks() {
    for (TDataTable* table : tables_) {
      try {
        table->ReleaseReadLockA();
      } catch (...) {}
    }
  }
  void Take(TDataTable& table) {
    if (table.HoldsReadLockA()) return;
    table.ReadLockA();
    tables_.push_back(&table);
  }

 private:
  std::vector<TDataTable*> tables_;
};

}  // namespace

void TSelectQuery::PrepareTrees() {
  TPrepareOptions options;
  options.Owner = &block_.Hooks;
  options.Provider = &block_.ColumnSource;
  options.Language = block_.Language;
  options.Sort = block_.Sort;
  for (TResultColumn& column : block_.Columns) {
    column.Prepared.reset();
    const bool countStar =
        column.Aggregate == agg::Count && (column.Expression == nullptr || column.Expression->ColumnName == "*");
    if (column.Hidden || column.Plain || countStar || column.Expression == nullptr) continue;
    column.Prepared = PrepareExpression(*column.Expression, options);
  }
  preparedHaving_.reset();
  if (block_.Query.Having) {
    // HAVING reads the result columns of a group row, not the sources.
    options.Provider = nullptr;
    preparedHaving_ = PrepareExpression(*block_.Query.Having, options);
  }
}

void TSelectQuery::CreateResult() {
  const TDataQuery& query = block_.Query;
  if (!result_) result_ = std::make_unique<TResultTable>(statement_.Database()->Session());
  TDataDirectory* into = nullptr;
  std::string intoName;
  if (!query.IntoTableName.empty() && !query.Nested && !query.UnionPart) {
    intoName = query.IntoTableName;
    if (query.IntoMemory || !query.IntoDatabasePath.empty()) {
      // Opened once, closed with the query's other directories.
      if (intoDirectory_ == nullptr) {
        intoDirectory_ = query.IntoMemory ? &statement_.Database()->Session().OpenDirectory("Memory", "")
                                          : &statement_.Database()->Session().OpenDirectory("", query.IntoDatabasePath);
        ownedDirectories_.push_back(intoDirectory_);
      }
      into = intoDirectory_;
    } else {
      into = statement_.Database();
    }
  }
  const bool memoryResult = query.IntoMemory && query.IntoTableName.empty();
  result_->Create(block_.ColumnDefinitions(), block_.Language, block_.Sort, into, intoName,
                  into ? query.IntoMemory : memoryResult, query.Password);
  for (std::size_t i = 0; i < block_.Columns.size(); ++i) block_.Columns[i].Definition = result_->Fields()[i];
}

void TSelectQuery::Fill() {
  members_.Clear();
  rows_ = 0;
  if (live_) {
    rows_ = liveResult_.Run();
    return;
  }
  // The cursor goes back to the plan as the last execution found it.
  stream_.Stop();

  // Every source table is read under its statement read lock while the rows are walked:
  // the rows come from one state of each table, and the cursors need not look for other
  // users' changes before each read from disk. (WITH LOCKS asks for exactly this; it is
  // taken for every SELECT, and released before the result is sorted.)
  auto locks = std::make_unique<TReadLocks>();
  for (auto& source : block_.Sources) {
    locks->Take(source->Cursor->Table());
    source->Cursor->Refresh();
  }

  PrepareTrees();
  // A progress handler may stop the walk part-way and keep the rows found: that needs the
  // walk, as a row limit does.
  const bool mayStream = streamable_ && !statement_.WantsProgress() && block_.Query.MaxRowCount < 0;
  // Without a condition every row is a result row: the rows can stream in the index's order.
  plan_.Make(block_, mayStream && !block_.Query.Condition);
  if (mayStream && stream_.Start(block_, plan_)) {
    // The count is taken under the read locks, from the same state of the table as a walk.
    result_.reset();
    rows_ = stream_.Cursor()->RecordCount();
    stream_.Cursor()->Home();
    return;
  }
  sorts_.Begin(plan_.OrderByIndex());
  CreateResult();

  // Where the walk may stop early.
  const TDataQuery& query = block_.Query;
  int64_t rowLimit = query.MaxRowCount >= 0 ? query.MaxRowCount : -1;
  const bool topInWalk = query.Top >= 0 && (block_.OrderColumns.empty() || plan_.OrderByIndex()) &&
                         !query.GroupByPresent && !block_.Distinct && !block_.WholeTableGroup &&
                         !block_.UnionInvolved();
  if (topInWalk) rowLimit = rowLimit < 0 ? query.Top : std::min<int64_t>(rowLimit, query.Top);
  bool stop = rowLimit == 0;

  const bool feedMembers = servesMembership_ && !query.GroupByPresent && !block_.WholeTableGroup && query.Top < 0 &&
                           rowLimit < 0 && !block_.UnionInvolved() && block_.Visible >= 1;
  if (feedMembers) members_.Begin(block_.Columns.front().Definition, block_.Context().Collation);
  probe_.Reset();
  if (feedMembers && probe_.Choose(plan_, block_)) stop = true;  // the rows are looked up when IN asks

  const bool collectGroups = query.GroupByPresent && rowLimit < 0 && !feedMembers &&
                             std::none_of(block_.Columns.begin(), block_.Columns.end(),
                                          [](const TResultColumn& c) { return c.Aggregate == agg::RunSum; });
  sink_.Begin(block_, *result_, feedMembers ? &members_ : nullptr, collectGroups, rowLimit);

  if (sink_.CountFromCursor(plan_)) stop = true;
  int progress = 0;
  if (!stop && !block_.Sources.empty()) {
    TRowWalk walk(plan_, block_, statement_, [this] { return sink_.Emit(); });
    walk.Run();
    progress = walk.LastProgress();
  }
  locks.reset();
  sink_.End();
  if (!block_.Sources.empty() && progress < 100) statement_.ReportProgress(100);

  if (block_.Distinct && !plan_.RowsAlreadyDistinct(block_)) sorts_.Distinct(block_, *result_);
  if (query.GroupByPresent) sorts_.Groups(block_, *result_, sink_.Aggregator(), preparedHaving_.get());
}

void TSelectQuery::AppendUnion(TSelectQuery& part, bool all) {
  std::vector<uint8_t> row(static_cast<std::size_t>(result_->RecordSize()), 0);
  const std::vector<TFieldDefinition>& from = part.result_->Fields();
  const std::vector<TFieldDefinition>& to = result_->Fields();
  std::vector<uint8_t> blobValue;
  part.result_->ForEach([&](const uint8_t* record) {
    std::fill(row.begin(), row.end(), 0);
    for (int i = 0; i < block_.Visible && i < part.block_.Visible; ++i) {
      const TFieldDefinition& f = from[static_cast<std::size_t>(i)];
      const TFieldDefinition& t = to[static_cast<std::size_t>(i)];
      if (IsFieldNull(record, f) || (f.IsBlob() != t.IsBlob())) {
        SetFieldNull(row.data(), t);
      } else if (f.IsBlob()) {
        part.result_->ReadBlob(record, f, blobValue);
        SetFieldBlob(row.data(), t, result_->StoreBlob(blobValue));
      } else if (t.DataType == TFieldType::String) {
        SetFieldString(row.data(), t, GetFieldString(record, f));
      } else if (t.DataType == TFieldType::Bytes || t.DataType == TFieldType::VarBytes) {
        SetFieldBytes(row.data(), t, GetFieldBytes(record, f));
      } else {
        SetFieldData(row.data(), t, FieldData(record, f));
      }
    }
    result_->Append(row.data());
  });
  if (!all) TResultSorts::UnionDistinct(block_, *result_);
}

TDataCursor& TSelectQuery::Finish() {
  if (live_) return *ResultCursor();
  if (stream_.Active()) {
    stream_.Cursor()->Home();
    return *stream_.Cursor();
  }
  sorts_.Order(block_, *result_);
  TDataCursor& cursor = result_->Finish();
  PresentResult(cursor);
  rows_ = cursor.RecordCount();
  return cursor;
}

TDataCursor* TSelectQuery::ResultCursor() const {
  if (live_) return block_.Sources.front()->Cursor.get();
  if (stream_.Active()) return stream_.Cursor();
  return result_ ? result_->Cursor() : nullptr;
}

void TSelectQuery::PresentResult(TDataCursor& cursor) const {
  std::vector<TFieldDefinition> fields = cursor.Fields();
  bool marked = false;
  for (std::size_t i = 0; i < fields.size() && i < block_.Columns.size(); ++i) {
    const TResultColumn& c = block_.Columns[i];
    fields[i].Internal = c.Hidden;
    fields[i].Origin = c.Origin;
    fields[i].OriginDatabase = c.OriginDatabase;
    marked = marked || c.Hidden || !c.Origin.empty();
  }
  if (marked) cursor.ReplaceFieldDefinitions(std::move(fields));
}

bool TSelectQuery::TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences) {
  return block_.ColumnSource.TextSearch(column, words, found, occurrences);
}

TSubSelectMatch TSelectQuery::Contains(const TExpToken& value) {
  if (probe_.Active()) return probe_.Match(value, members_);
  TDataCursor* cursor = ResultCursor();
  if (cursor == nullptr || block_.Visible < 1) return TSubSelectMatch::No;
  if (!members_.Loaded()) members_.Load(*cursor, block_.Context().Collation);
  return members_.Find(value);
}

int64_t TSelectQuery::MemberEstimate() {
  if (probe_.Active()) return probe_.RowEstimate();
  if (members_.Loaded()) return members_.Size();
  TDataCursor* cursor = ResultCursor();
  return cursor != nullptr && block_.Visible >= 1 ? cursor->RecordCount() : -1;
}

const TSubSelectMembers& TSelectQuery::Members() {
  if (probe_.Active()) {
    probe_.LoadMembers(members_);
  } else if (!members_.Loaded()) {
    if (TDataCursor* cursor = ResultCursor(); cursor != nullptr && block_.Visible >= 1)
      members_.Load(*cursor, block_.Context().Collation);
  }
  return members_;
}

}  // namespace quarry
