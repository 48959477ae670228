// UPDATE; see update_executor.h.
#include "engine/sql/update_executor.h"

#include <algorithm>
#include <unordered_map>

#include "engine/sql/change_transaction.h"
#include "engine/sql/expression_preparer.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/select_conditions.h"

namespace quarry {

TUpdateExecutor::TUpdateExecutor(TQueryStatement& statement)
    : TChangeExecutor(statement), Found(Query, statement, *this) {}

void TUpdateExecutor::Prepare() {
  PrepareSelects();
  Found.Prepare();
  TSelectSource& target = Found.Target();
  Columns.Resolve(Query, *target.Cursor, target.Correlation);
  Columns.CheckCount(Query.UpdateValues.size());
  Columns.CheckValues("update values", &Found.Block().ColumnSource, this, true);
  ValuesReadOthers = false;
  for (const TTargetColumn& column : Columns.Columns())
    if (TablesRead(column.Value->Value.get(), Found.Block().ColumnSource) & Found.OtherTables())
      ValuesReadOthers = true;
  Buffer.assign(static_cast<std::size_t>(Found.Writer().RecordBufferSize()), 0);
}

void TUpdateExecutor::PrepareValues() {
  const TSelectBlock& block = Found.Block();
  TPrepareOptions options;
  options.Owner = this;
  options.Provider = const_cast<TSelectColumnSource*>(&block.ColumnSource);
  options.Language = block.Language;
  options.Sort = block.Sort;
  for (TTargetColumn& column : Columns.Columns()) column.Prepared = PrepareExpression(*column.Value->Value, options);
}

std::vector<TUpdateExecutor::TNoted> TUpdateExecutor::NoteTargets() {
  std::vector<TNoted> noted;
  std::unordered_map<std::int32_t, std::size_t> seen;
  const TEvalContext context = Found.Block().Context();
  TDataCursor& walked = *Found.Target().Cursor;
  Found.Walk([&] {
    const std::int32_t recordNo = walked.CurrentRecordNo();
    std::vector<TExpTree> values;
    if (ValuesReadOthers)
      for (const TTargetColumn& column : Columns.Columns()) values.push_back(Evaluate(*column.Prepared, context));
    // The last joined row that selects a record gives its values.
    const auto [at, fresh] = seen.try_emplace(recordNo, noted.size());
    if (fresh) noted.push_back({recordNo, std::move(values)});
    else noted[at->second].Values = std::move(values);
  });
  // In record order: the records are read along the file, and the locks the statement holds
  // to its end lie next to each other, where the system keeps them as fewer ranges.
  std::sort(noted.begin(), noted.end(), [](const TNoted& a, const TNoted& b) { return a.RecordNo < b.RecordNo; });
  return noted;
}

void TUpdateExecutor::UpdateOne(TNoted& noted, TChangeTransaction& transaction) {
  TDataCursor& writer = Found.Writer();
  if (writer.GotoRecordNo(noted.RecordNo) != QUARRY_NONE) return;
  if (writer.GetCurrentRecord(Buffer.data(), true) != QUARRY_NONE) return;
  try {
    if (TChangeUndo* undo = transaction.Undo()) undo->Updating(noted.RecordNo, Buffer.data());
    TSelectSource& target = Found.Target();
    if (!ValuesReadOthers) {
      // The values read the record itself.
      std::copy(Buffer.begin(), Buffer.end(), target.Record.begin());
      target.NullRow = false;
    }
    const TEvalContext context = Found.Block().Context();
    for (std::size_t i = 0; i < Columns.Columns().size(); ++i) {
      const TTargetColumn& column = Columns.Columns()[i];
      TExpTree value = ValuesReadOthers ? std::move(noted.Values[i]) : Evaluate(*column.Prepared, context);
      TTargetColumns::Store(writer, Buffer.data(), column, *value, "UPDATE", true);
    }
    writer.UpdateRecord(Buffer.data(), true, false);
  } catch (...) {
    writer.CloseBlobs(Buffer.data());
    writer.UnlockRecord();
    throw;
  }
  writer.CloseBlobs(Buffer.data());
  transaction.RowDone();
}

void TUpdateExecutor::Execute() {
  Rows = 0;
  RunSelects();
  TDataCursor& writer = Found.Writer();
  writer.SetKeepSuppliedIdentifiers(Query.NoAutoInc);
  PrepareValues();
  TChangeTransaction transaction(writer.Directory(), Query, writer);
  if (TChangeUndo* undo = transaction.Undo()) undo->SetUpdatedBlobFields(Columns.BlobFields());
  std::vector<TNoted> noted = NoteTargets();
  TChangeProgress progress(Statement, static_cast<std::int64_t>(noted.size()));
  for (TNoted& one : noted) {
    UpdateOne(one, transaction);
    if (progress.Step()) break;
  }
  transaction.Finish();
  Rows = transaction.Count();
  Query.RowCount = Rows;
  progress.Finish();
}

}  // namespace quarry
