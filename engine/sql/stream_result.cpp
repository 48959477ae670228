// A SELECT result streamed from its source table's cursor. See stream_result.h.
#include "engine/sql/stream_result.h"

#include "engine/sql/result_columns.h"

namespace quarry {

namespace {

// The result columns as a view over the table's fields: each plain column shows its table
// field under the result name, described as a result table would describe it.
std::vector<TFieldDefinition> ResultView(const TSelectBlock& block, const TDataCursor& cursor) {
  std::vector<TFieldDefinition> view;
  view.reserve(block.Columns.size());
  for (const TResultColumn& c : block.Columns) {
    TFieldDefinition f = cursor.TableFields()[static_cast<std::size_t>(c.SourceFieldNo - 1)];
    f.Name = c.Name;
    f.Required = false;
    f.Computed = false;
    f.Expression = nullptr;
    f.Internal = false;
    f.Origin = c.Origin;
    f.OriginDatabase = c.OriginDatabase;
    view.push_back(std::move(f));
  }
  return view;
}

}  // namespace

bool TStreamResult::Possible(const TSelectBlock& block, bool onlyQuery) {
  const TDataQuery& query = block.Query;
  // Another query of the statement (a sub-select of the condition) would be asked about
  // rows long after the execution; a nested or UNION block is read by the statement itself.
  if (!onlyQuery || query.Nested || block.UnionInvolved() || block.Sources.size() != 1) return false;
  if (!query.IntoTableName.empty() || query.IntoMemory) return false;
  if (block.Distinct || query.GroupByPresent || query.HavingPresent || block.WholeTableGroup || query.Top >= 0)
    return false;
  // The caller must not be able to write through the result to the table.
  if (!block.Sources.front()->Cursor->ReadOnly()) return false;
  const std::vector<TFieldDefinition>& fields = block.Sources.front()->Cursor->TableFields();
  for (const TResultColumn& c : block.Columns) {
    if (!c.Plain || c.Hidden || c.Aggregate != agg::None || c.Source == nullptr || c.SourceFieldNo < 1 ||
        c.SourceFieldNo > static_cast<int>(fields.size()))
      return false;
    // A result table stores an auto-increment value as a plain integer; the table keeps it
    // in the record's header, where only the auto-increment field reads it.
    if (fields[static_cast<std::size_t>(c.SourceFieldNo - 1)].IsAutoInc()) return false;
  }
  return !block.Columns.empty();
}

bool TStreamResult::Start(TSelectBlock& block, TSelectPlan& plan) {
  Stop();
  if (block.Query.MaxRowCount >= 0) return false;
  if (!block.OrderColumns.empty() && !plan.OrderByIndex()) return false;
  if (plan.Runs().size() != 1) return false;
  TTableRun& run = plan.Runs().front();
  if (!run.JoinConditions.empty() || run.Kind == jk::LeftOuter) return false;
  TSelectSource& source = *run.Source;
  TDataCursor& cursor = *source.Cursor;
  // Only when the cursor reads nothing but result rows. Rows that filters or row tests
  // pass one by one would be read again, and later, by the caller: records then come from
  // disk singly, each read checking the table's headers for other users' changes, which
  // costs more than the walk's copy into a result table under the statement's read lock.
  if (cursor.FiltersActive()) return false;
  // A bound that rules every row out is left to the walk, which then reads nothing.
  // An IN path's ranges, one per value, are walked only by the row walk.
  if (run.Access.ReadsValueRanges()) return false;
  if (!run.Access.Position(source, block.Context())) return false;
  const TAnsweredConditions answered = run.Access.Answered();
  for (const TExpToken* c : run.WhereConditions)
    if (!answered.Has(c)) return false;

  cursor_ = &cursor;
  try {
    cursor.SetReversed(run.Backward);
    cursor.ReplaceFieldDefinitions(ResultView(block, cursor));
    cursor.Home();
  } catch (...) {
    Stop();
    throw;
  }
  return true;
}

void TStreamResult::Stop() {
  if (cursor_ == nullptr) return;
  TDataCursor& cursor = *cursor_;
  cursor_ = nullptr;
  if (!cursor.IsOpen()) return;
  cursor.SetReversed(false);
  cursor.ReplaceFieldDefinitions(cursor.TableFields());
}

}  // namespace quarry
