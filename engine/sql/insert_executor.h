// TInsertExecutor: INSERT INTO T [(columns)] VALUES (...) and INSERT INTO T [(columns)] SELECT.
//
// VALUES inserts one record: the record buffer starts with the columns' defaults, each value
// is evaluated (parameters bound, no row current) and stored, and the record is inserted; the
// insert checks every key and validity rule before it changes anything, so a failing INSERT
// leaves the table as it was. It needs no transaction of its own.
//
// SELECT runs its SELECT block first (into a result of its own, so that the rows read never
// include the rows being inserted, also when the SELECT reads the target table), then inserts
// one record per result row inside the statement's transaction (change_transaction.h), with
// progress reports and the abort they may ask for.
//
// NOAUTOINC makes the inserts keep an auto-increment value the statement supplies (the
// table's last auto-increment value rises to it); a row that supplies none gets the next one.
#pragma once

#include <memory>
#include <vector>

#include "engine/sql/change_executor.h"
#include "engine/sql/change_target.h"
#include "engine/sql/select_sources.h"

namespace quarry {

class TInsertExecutor : public TChangeExecutor {
 public:
  explicit TInsertExecutor(TQueryStatement& statement);
  ~TInsertExecutor() override;

  void Prepare() override;
  void Execute() override;

 private:
  std::unique_ptr<TSelectSource> Target;
  std::vector<TDataDirectory*> OwnedDirectories;
  TTargetColumns Columns;
  std::vector<uint8_t> Buffer;

  TDataCursor& Writer() const { return *Target->Cursor; }
  void InsertValues();
  void InsertSelected();
  // Inserts Buffer, keeping a supplied auto-increment value under NOAUTOINC; returns the
  // new record's number.
  std::int32_t InsertBuffer(bool autoIncSupplied);
  void CloseTarget() noexcept;
};

}  // namespace quarry
