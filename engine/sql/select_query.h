// TSelectQuery: one SELECT query block being prepared and run. What the block is once
// prepared (its source tables, result columns, collation, DISTINCT / GROUP BY / ORDER BY
// shape) is its TSelectBlock; each execution is carried out by collaborators with one job
// each:
//   TSelectPlan   the join plan, access paths, driving table and the walk's shortcuts, the
//                 index order, and the live decision (ChooseLive)       select_plan.h
//   TRowWalk      the nested-loop walk over the joined rows               row_walk.h
//   TRowSink      where each row goes: groups, IN's member set, result    row_sink.h
//   TResultSorts  DISTINCT, GROUP BY, ORDER BY, TOP and UNION by sorting  result_sorts.h
//   TInProbe      IN over this query answered through an index            in_probe.h
//   TLiveResult   the source table's own cursor as the result             live_result.h
//   TStreamResult rows read straight from the source cursor, no copy       stream_result.h
//
// Preparation (once, select_query.cpp): opens the source tables, expands `*`, resolves and
// type-checks the result columns, the combined WHERE/JOIN condition and HAVING, names the
// result columns, resolves ORDER BY and GROUP BY against them, checks the join conditions
// and decides whether a live request is met.
// Execution (each time, select_run.cpp): prepares this execution's trees, plans, walks the
// rows into a fresh result table and sorts it; a live result only installs its filter, and
// a result that needs neither walk nor sort streams from the planned source cursor.
//
// The query's parse objects (TDataQuery and its clauses) are owned by the statement; this
// object hangs on the query as its execution state and lives as long as the prepared
// statement. Used by the statement's thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/in_probe.h"
#include "engine/sql/live_result.h"
#include "engine/sql/result_sorts.h"
#include "engine/sql/result_table.h"
#include "engine/sql/row_sink.h"
#include "engine/sql/select_block.h"
#include "engine/sql/select_plan.h"
#include "engine/sql/stream_result.h"
#include "engine/sql/sub_select_members.h"

namespace quarry {

class TQueryStatement;

class TSelectQuery : public TExecutionState {
 public:
  TSelectQuery(TDataQuery& query, TQueryStatement& statement, TExpressionOwner& hooks);
  ~TSelectQuery() override;

  void Prepare();
  // Runs the query into a fresh result table: the row walk, DISTINCT and GROUP BY. The
  // table stays open for UNION parts and ORDER BY.
  void Fill();
  // Appends a UNION part's rows (its result must have been filled); without all the
  // combined rows are made distinct.
  void AppendUnion(TSelectQuery& part, bool all);
  // ORDER BY and TOP where still due, then the result cursor (before its first record).
  TDataCursor& Finish();

  TDataCursor* ResultCursor() const;
  // The result is the source table's own cursor (decided at preparation).
  bool IsLive() const { return live_; }
  // How the last execution reads the tables (see TSelectPlan::Text).
  std::string PlanText() const {
    if (live_) return "live result: the table's own cursor, WHERE as its filter\n";
    return plan_.Text() + (distinctDropped_ ? "DISTINCT left out: a unique key is selected\n" : "") +
           (stream_.Active() ? "result streamed from the table's cursor\n" : "");
  }
  int32_t RowCount() const { return rows_; }
  TDataQuery& Query() const { return block_.Query; }
  const std::vector<TResultColumn>& Columns() const { return block_.Columns; }
  int VisibleColumnCount() const { return block_.Visible; }
  // IN (SELECT ...): whether a result row's first column equals value (see
  // TSubSelectMembers for NULL).
  TSubSelectMatch Contains(const TExpToken& value);
  // For an outer query that may probe its index with this query's values (IN driven from
  // the sub-select): an upper bound of their number without reading them (-1 unknown), and
  // the values themselves, read once.
  int64_t MemberEstimate();
  const TSubSelectMembers& Members();
  // This query is the sub-select of an IN: when nothing but its rows' first column can
  // matter (no grouping, TOP or UNION), its rows go straight into the member set instead of
  // the result table.
  void ServeMembership() { servesMembership_ = true; }
  // While an outer query walks its rows, the IN that looks each value up in this query's
  // table holds that table's read lock: one lock for the walk instead of one per look-up.
  void HoldProbeLock() { probe_.HoldLock(); }
  void ReleaseProbeLock() { probe_.ReleaseLock(); }
  // TEXTSEARCH / TEXTOCCURS over a column of the current row of one of this query's
  // tables; false when the column is not one of them.
  bool TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences);

 private:
  TSelectBlock block_;
  TQueryStatement& statement_;
  std::vector<TDataDirectory*> ownedDirectories_;
  TDataDirectory* intoDirectory_ = nullptr;  // INTO MEMORY or INTO path: the directory opened
  bool live_ = false;
  bool streamable_ = false;  // the block's shape lets the rows stream (see TStreamResult)
  bool servesMembership_ = false;
  bool distinctDropped_ = false;  // DISTINCT could remove no row

  // Per execution.
  TSelectPlan plan_;
  TRowSink sink_;
  TResultSorts sorts_;
  TInProbe probe_;
  TLiveResult liveResult_;
  TStreamResult stream_;
  std::unique_ptr<TResultTable> result_;
  TExpTree preparedHaving_;
  // IN (SELECT ...) values, fed by the walk or read from the result once per execution.
  TSubSelectMembers members_;
  int32_t rows_ = 0;

  // Preparation steps.
  void OpenSources();
  void LayOutResultColumns();
  void AddStarColumns(const TResultField& field);
  void AddResultColumn(const TResultField& field);
  void AddAvgCounters();
  void NameResultColumns();
  void CheckAggregates();
  void CheckCondition();
  // Type-checks a WHERE or HAVING tree, which must come out boolean.
  void PrepareHaving();
  void ResolveOrderAndGroup();
  int ResolveResultColumn(const std::string& correlation, const std::string& name, int number,
                          const std::string& clause, bool allowAggregates);
  void DecideLive();
  void CloseSources();

  // Execution steps.
  // Prepared copies of this execution's column and HAVING trees (parameter values bound).
  void PrepareTrees();
  // A fresh result table for the columns, in the INTO table when one is named.
  void CreateResult();
  // Gives the canned result cursor the result columns' origins and internal marks.
  void PresentResult(TDataCursor& cursor) const;
};

}  // namespace quarry
