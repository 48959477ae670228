// DELETE; see delete_executor.h.
#include "engine/sql/delete_executor.h"

#include <algorithm>
#include <unordered_set>

#include "engine/sql/change_transaction.h"
#include "engine/sql/query_statement.h"

namespace quarry {

TDeleteExecutor::TDeleteExecutor(TQueryStatement& statement)
    : TChangeExecutor(statement), Found(Query, statement, *this) {}

void TDeleteExecutor::Prepare() {
  PrepareSelects();
  Found.Prepare();
}

std::vector<std::int32_t> TDeleteExecutor::NoteTargets() {
  std::vector<std::int32_t> noted;
  std::unordered_set<std::int32_t> seen;
  TDataCursor& walked = *Found.Target().Cursor;
  Found.Walk([&] {
    const std::int32_t recordNo = walked.CurrentRecordNo();
    if (seen.insert(recordNo).second) noted.push_back(recordNo);
  });
  // In record order: the records are read and their slots freed along the file.
  std::sort(noted.begin(), noted.end());
  return noted;
}

void TDeleteExecutor::Execute() {
  Rows = 0;
  RunSelects();
  TDataCursor& writer = Found.Writer();
  TChangeTransaction transaction(writer.Directory(), Query, writer);
  const std::vector<std::int32_t> noted = NoteTargets();
  TChangeProgress progress(Statement, static_cast<std::int64_t>(noted.size()));
  for (const std::int32_t recordNo : noted) {
    if (writer.GotoRecordNo(recordNo) == QUARRY_NONE) {
      if (TChangeUndo* undo = transaction.Undo()) undo->Deleting(recordNo, writer.CurrentRecord());
      writer.DeleteRecord(nullptr, false);
      transaction.RowDone();
    }
    if (progress.Step()) break;
  }
  transaction.Finish();
  Rows = transaction.Count();
  Query.RowCount = Rows;
  progress.Finish();
}

}  // namespace quarry
