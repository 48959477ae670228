// The transaction a data-changing statement (INSERT ... SELECT, UPDATE, DELETE) runs in, the
// commits along the way, and the statement's progress reports.
//
// TChangeTransaction. The transaction belongs to the target table's database. When that
// database has none active, the statement starts one and owns it; it commits it at its end,
// and rolls it back when it fails, so that a statement that fails part-way (a key violation
// on its second row, a value that does not convert, a record lock not had) changes nothing.
// Only a COMMIT INTERVAL n that the statement gives (n > 0) commits every n rows on the way:
// the rows committed before a failure then stay, as asked. When the user's transaction is
// active the statement starts none; it commits at its own COMMIT INTERVAL only, and what it
// changed since its last commit is taken back when it fails (TChangeUndo), so the user's
// transaction goes on as it was before the statement.
//
// Use:
//   TChangeTransaction transaction(database, query, writer);
//   for each row: [transaction.Undo()->Updating(...)] change it; transaction.RowDone();
//   transaction.Finish();          // commits an owned transaction
// Leaving the scope without Finish (an error) rolls back or takes back.
//
// TChangeProgress: percentage = position / total, reported through the statement's handler
// whenever it has grown by the session's step since the last report; the handler may ask to
// stop. A final report of 100 follows when the last one was below it.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/sql/change_undo.h"

namespace quarry {

class TDataCursor;
class TDataDirectory;
class TDataQuery;
class TQueryStatement;

class TChangeTransaction {
 public:
  // Starts the statement's own transaction on database unless one is active there. writer:
  // the cursor that makes the changes.
  TChangeTransaction(TDataDirectory& database, const TDataQuery& query, TDataCursor& writer);
  ~TChangeTransaction();
  TChangeTransaction(const TChangeTransaction&) = delete;
  TChangeTransaction& operator=(const TChangeTransaction&) = delete;

  bool Owned() const { return owned_; }
  // Where the rows changed inside the user's transaction are written down (null when the
  // statement owns its transaction).
  TChangeUndo* Undo() const { return undo_.get(); }
  // One more row changed: commits when a COMMIT INTERVAL given is reached.
  void RowDone();
  // Commits and ends an owned transaction; the statement succeeded.
  void Finish();
  std::int32_t Count() const { return count_; }

 private:
  TDataDirectory& database_;
  TDataCursor& writer_;
  bool owned_ = false;
  bool flush_ = false;
  std::int32_t interval_ = 0;  // 0: no commits on the way
  std::int32_t count_ = 0;
  bool finished_ = false;
  std::unique_ptr<TChangeUndo> undo_;
};

class TChangeProgress {
 public:
  TChangeProgress(TQueryStatement& statement, std::int64_t total);
  // One more row done; true when the handler asked to stop.
  bool Step();
  // The closing report of 100, when due.
  void Finish();

 private:
  TQueryStatement& statement_;
  std::int64_t total_;
  std::int64_t position_ = 0;
  int step_ = 100;
  int last_ = 0;
};

}  // namespace quarry
