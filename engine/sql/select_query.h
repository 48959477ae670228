// TSelectQuery: one SELECT query block being prepared and run: its open source tables, the
// layout of its result columns, and on every execution the join plan, the nested-loop walk
// over the joined rows, and the result table with DISTINCT, GROUP BY, HAVING, ORDER BY and
// TOP applied by sorting it.
//
// Preparation (once): opens the source tables, expands `*`, resolves and type-checks the
// result columns, the combined WHERE/JOIN condition and HAVING, names the result columns,
// resolves ORDER BY and GROUP BY against them and checks the join conditions.
// Execution (each time): splits the condition into its AND parts, makes the join plan,
// picks for each table an index range where an equality or BETWEEN allows it, lets the table
// with the fewest rows drive, walks the rows and writes the qualifying ones to a fresh
// result table.
//
// Shortcuts of the walk, each giving the rows the plain walk would: join comparisons never
// match NULL; below the tables DISTINCT reads, and under a LEFT JOIN whose inner join column
// must be NULL, the first matching inner row ends the inner loop; when only the existence
// of a match on an integer column matters and the outer loop is long, the inner column's
// values are read once instead of one index lookup per outer row; GROUP BY rows are folded
// into their groups before they reach the result table; the sub-select of an IN feeds its
// member set, or is answered through its table's index without being walked.
//
// A live result (asked for, and the query simple enough: see DecideLive) skips all that:
// the single source table's own cursor is the result. It presents the result columns as a
// field view (plain columns are its fields under their result names, computed columns are
// calculated per record), is ordered by the index that matches the ORDER BY, and carries
// the WHERE condition as a filter, installed afresh on every execution. Changes through it
// go to the table.
//
// The query's parse objects (TDataQuery and its clauses) are owned by the statement; this
// object hangs on the query as its execution state and lives as long as the prepared
// statement. Used by the statement's thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/access_path.h"
#include "engine/sql/column_source.h"
#include "engine/sql/data_query.h"
#include "engine/sql/group_aggregates.h"
#include "engine/sql/join_plan.h"
#include "engine/sql/result_table.h"
#include "engine/sql/select_sources.h"
#include "engine/sql/sub_select_members.h"

namespace quarry {

class TQueryStatement;

// One column of the result table.
struct TResultColumn {
  std::string Name;
  std::string Alias;            // written with AS (or directly after the expression)
  TFieldDefinition Definition;  // as the result table stores it (FieldNo = position)
  uint8_t Aggregate = 0;        // agg:: codes
  bool Plain = false;           // copied from a source column
  bool Hidden = false;          // the counter of an AVG column
  bool FromStar = false;
  TSelectSource* Source = nullptr;  // plain column, or the plain argument of an aggregate
  int SourceFieldNo = 0;
  std::string Correlation;                // of a plain column (or aggregate argument): its table's
  std::string ColumnName;                 // ... and its column name
  const TExpToken* Expression = nullptr;  // checked tree: computed value or aggregate argument
  TExpTree OwnedExpression;               // columns made by expanding `*`
  std::string Text;                       // the expression as written, for messages
  int CounterColumn = -1;                 // AVG: index of its hidden counter
  std::string Origin;                     // plain column: "table.column" (at most 100 characters)
  std::string OriginDatabase;             // ... and the database of that table
  // Per execution.
  TExpTree Prepared;
  TExpToken Converted;
};

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
  bool IsLive() const { return Live; }
  int32_t RowCount() const { return Rows; }
  TDataQuery& Query() const { return QueryBlock; }
  const std::vector<TResultColumn>& Columns() const { return ResultColumns; }
  int VisibleColumnCount() const { return Visible; }
  // IN (SELECT ...): whether a result row's first column equals value (see
  // TSubSelectMembers for NULL).
  TSubSelectMatch Contains(const TExpToken& value);
  // This query is the sub-select of an IN: when nothing but its rows' first column can
  // matter (no grouping, TOP or UNION), its rows go straight into the member set instead of
  // the result table.
  void ServeMembership() { ServesMembership = true; }
  // While an outer query walks its rows, the IN that looks each value up in this query's
  // table holds that table's read lock: one lock for the walk instead of one per look-up.
  void HoldProbeLock();
  void ReleaseProbeLock();
  // TEXTSEARCH / TEXTOCCURS over a column of the current row of one of this query's
  // tables; false when the column is not one of them.
  bool TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences);

 private:
  TDataQuery& QueryBlock;
  TQueryStatement& Statement;
  TExpressionOwner& Hooks;

  // Prepared state.
  std::vector<std::unique_ptr<TSelectSource>> Sources;  // FROM order
  std::vector<TDataDirectory*> OwnedDirectories;
  TDataDirectory* IntoDirectory = nullptr;  // INTO MEMORY or INTO path: the directory opened
  TSelectColumnSource ColumnSource;
  std::vector<TResultColumn> ResultColumns;
  int Visible = 0;
  uint16_t Language = 0;
  uint16_t Sort = 0;
  bool WholeTableGroup = false;
  bool Distinct = false;
  bool OrderSatisfied = false;
  std::vector<int> OrderColumns;  // 0-based result columns
  std::vector<bool> OrderDescending;
  std::vector<int> GroupColumns;
  bool ConditionChecked = false;
  bool Live = false;

  // Per execution: how each source table is read.
  struct TTableRun {
    TSelectSource* Source = nullptr;
    uint8_t Kind = jk::Cross;                        // of the edge into the table
    std::vector<const TExpToken*> SingleConditions;  // AND parts reading this table only
    std::vector<const TExpToken*> JoinConditions;    // comparisons of the edge into it
    std::vector<const TExpToken*> WhereConditions;   // tested once the join matched
    TAccessPath Access;
    bool Backward = false;       // read from the last record back
    bool OnlyUnmatched = false;  // left outer join: matched rows never qualify
    // Only whether an inner row matches matters (see UseKeySet): the inner join column's
    // values, read once, answer each outer row.
    bool KeySetCandidate = false;
    int8_t KeySetState = -1;               // -1 undecided, 0 index lookups, 1 key set
    const TExpToken* OuterSide = nullptr;  // of the join comparison
    int InnerFieldNo = 0;
    std::vector<int64_t> Keys;  // sorted
    TExpToken KeyValue;
  };
  std::vector<TTableRun> Runs;  // FROM order
  TJoinPlan Plan;
  std::vector<TExpTree> PreparedConditions;
  std::vector<const TExpToken*> RowConditions;  // evaluated on each whole combination
  TExpTree PreparedHaving;
  std::unique_ptr<TResultTable> Result;
  TGroupAggregator Aggregator;
  TGroupCollector Groups;
  bool CollectGroups = false;
  int DistinctLevel = -1;   // below this level, one written row ends the loops
  bool RowWritten = false;  // GROUP BY rows are folded before they reach the result
  std::vector<uint8_t> RowBuffer;
  std::vector<uint8_t> GroupRow;
  bool GroupStarted = false;
  int64_t Appended = 0;
  int64_t RowLimit = -1;  // the walk stops after this many rows (-1: never)
  bool Stop = false;
  int64_t DriverRows = 0;
  int64_t DriverVisited = 0;
  int LastProgress = 0;
  int32_t Rows = 0;
  bool DistinctDone = false;
  bool OrderDone = false;
  bool OrderByIndex = false;  // the single table is read in the ORDER BY's order
  // Live result: the WHERE filter of the current execution and the column values the
  // computed columns read from a record of the table.
  TFilter* LiveFilter = nullptr;
  std::unique_ptr<TRecordColumnSource> LiveValues;
  // IN (SELECT ...) values, read from the result once per execution.
  TSubSelectMembers Members;
  bool ServesMembership = false;
  bool FeedMembers = false;  // this execution's rows go to Members only
  // IN over this query answered through an index of its single table, the rows unread.
  int ProbeSlot = -1;  // the index, or -1
  bool ProbeLockHeld = false;
  std::vector<uint8_t> ProbeKey;
  TExpToken ProbeValue;
  int8_t ProbeHasNull = -1;  // -1 not yet looked up
  int8_t ProbeHasRows = -1;

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
  void CheckBooleanClause(TExpTree& clause, TColumnResolver& resolver, const std::string& context);
  void CheckJoins();
  void ResolveOrderAndGroup();
  void CalculateLiveColumns(uint8_t* record);
  void PrepareHaving();
  // Whether a live request can be met; if so presents the result columns over the source
  // cursor and selects the index that gives the ORDER BY.
  void DecideLive();
  // The index slot whose fields, directions and case rule are the ORDER BY's; -1 when no
  // index is. Without ORDER BY a live cursor keeps the table's primary order.
  int LiveOrderSlot() const;
  // The cursor's field definitions for the result columns, with their origins and marks.
  std::vector<TFieldDefinition> PresentedColumns() const;
  int ResolveResultColumn(const std::string& correlation, const std::string& name, int number,
                          const std::string& clause, bool allowAggregates);

  // Execution steps.
  TEvalContext Context() const;
  // A live execution: the WHERE filter with this execution's parameter values.
  void RunLive();
  // Gives the canned result cursor the result columns' origins and internal marks.
  void PresentResult(TDataCursor& cursor) const;
  void PrepareConditions();
  // Splits the condition over the tables and makes the join plan; without forExecution a
  // dry run over the checked tree that only raises the join errors.
  void PlanJoins(bool forExecution);
  // The run whose join match an outer join's ON part belongs to, or -1 when it acts as WHERE.
  int OuterJoinMatchTable(const TExpToken& part, uint64_t tables, const std::vector<int>& position) const;
  // A single table whose index gives the ORDER BY is read in that index's order (forward,
  // or backward for an all-descending ORDER BY), and the sort is skipped.
  void UseIndexOrder();
  // True when the rows of this execution cannot repeat (DISTINCT has nothing to do).
  bool RowsAlreadyDistinct() const;
  // The deepest loop level DISTINCT's columns read, when tables below it exist (-1 else).
  void ChooseDistinctLevel();
  // COUNT(*) of one table answered by the cursor's count; false when rows must be read.
  bool CountFromCursor();
  bool DriverRowsWanted() const;
  void WalkLevel(std::size_t level);
  // The join into run compares one integer column with the outer row and only a match's
  // existence matters (an anti-join, or DISTINCT above it): decides once per execution
  // whether reading the column's values once beats one index lookup per outer row.
  void ChooseKeySets();
  bool UseKeySet(TTableRun& run, std::size_t level);
  // Walks a key-set level: the NULL row, or one matched row whose join column holds the key.
  void WalkKeySet(TTableRun& run, std::size_t level);
  bool Holds(const std::vector<const TExpToken*>& conditions, const TExpToken* skip) const;
  // The comparisons of a join edge: as Holds, except that a NULL on either side never matches.
  bool JoinHolds(const std::vector<const TExpToken*>& conditions, const TExpToken* skip) const;
  void EmitRow();
  void FlushGroups();
  void BuildRow(uint8_t* row);
  void StoreValue(uint8_t* row, TResultColumn& column, const TExpToken& value);
  void ReportProgress();
  std::vector<TFieldDefinition> KeyFields(const std::vector<int>& columns, const std::vector<bool>& descending) const;
  int MembershipSlot() const;
  // Whether a row with the key (null: the NULL key; else value) passes the conditions.
  bool ProbeKeyHolds(const TExpToken* value);
  TSubSelectMatch ProbeMembership(const TExpToken& value);
  void SortDistinct();
  void SortGroups();
  void CloseSources();
};

}  // namespace quarry
