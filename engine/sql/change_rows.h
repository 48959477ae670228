// TChangeRows: the rows an UPDATE or DELETE changes, found as SELECT finds its rows.
//
// Preparation opens every source table (shared and writable), type-checks the WHERE and JOIN
// condition and dry-runs the join plan, exactly as a SELECT block is prepared; each execution
// plans afresh (filters on the cursors, index ranges, driving table) and walks the joined rows
// with the nested loops of SELECT (TRowWalk), handing each qualifying row to the caller while
// the target table's cursor stands on its record.
//
// The walk only finds rows; it changes nothing. The caller notes the target records and
// changes them afterwards through a cursor of its own (Writer, in record-number order without
// filters), so that a change can neither move a record ahead of the walk, where it would be
// met again, nor behind it, where it would be missed: UPDATE T SET K = K + 10 WHERE K > 5
// changes each record once whatever the order the walk reads K in.
//
// Owned by the statement's executor; lives as long as the prepared statement.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/select_block.h"
#include "engine/sql/select_plan.h"

namespace quarry {

class TQueryStatement;

class TChangeRows {
 public:
  TChangeRows(TDataQuery& query, TQueryStatement& statement, TExpressionOwner& hooks);
  ~TChangeRows();
  TChangeRows(const TChangeRows&) = delete;
  TChangeRows& operator=(const TChangeRows&) = delete;

  void Prepare();
  // One execution: brings the cursors up to date, plans, and calls visit for every joined
  // row that qualifies (the target's cursor on its record, every source's Record filled).
  void Walk(const std::function<void()>& visit);

  TSelectBlock& Block() { return block_; }
  // The changed table's source and the cursor that makes the changes.
  TSelectSource& Target() const { return *target_; }
  TDataCursor& Writer() const { return *writer_; }
  // The FROM positions (bits, 0-based) of the tables other than the target.
  uint64_t OtherTables() const;
  std::string PlanText() const { return planned_ ? plan_.Text() : std::string(); }
  // TEXTSEARCH / TEXTOCCURS over a column of one of the sources' current rows.
  bool TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences);

 private:
  TSelectBlock block_;
  TQueryStatement& statement_;
  std::vector<TDataDirectory*> ownedDirectories_;
  TSelectSource* target_ = nullptr;
  std::unique_ptr<TDataCursor> writer_;
  TSelectPlan plan_;
  bool planned_ = false;

  void OpenSources();
  void CheckCondition();
  void CloseSources() noexcept;
};

}  // namespace quarry
