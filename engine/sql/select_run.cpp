// Execution of a SELECT query block: conditions, join plan, index ranges, the nested-loop
// walk, the result table and its sorts. See select_query.h; preparation is in
// select_query.cpp.
#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/platform/locale_services.h"
#include "engine/sql/expression_error.h"
#include "engine/sql/expression_preparer.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/result_columns.h"
#include "engine/sql/select_query.h"
#include "engine/sql/value_ops.h"
#include "engine/storage/record_buffer.h"
#include "engine/storage/session.h"
#include "engine/storage/table.h"

namespace quarry {

namespace {

[[noreturn]] void Fail(const std::string& message) { RaiseExpressionError(kSqlErrorCode, "", message); }

bool IsComparison(const TExpToken& n) {
  return (n.NodeClass == nc::Binary || n.NodeClass == nc::PartialCompare) && n.OpCode >= op::Equal &&
         n.OpCode <= op::LessEqual;
}

// The AND parts of a condition tree, left to right.
void SplitAnd(const TExpToken* n, std::vector<const TExpToken*>& parts) {
  if (n == nullptr) return;
  if (n->NodeClass == nc::Binary && n->OpCode == op::And) {
    SplitAnd(n->Left, parts);
    SplitAnd(n->Right, parts);
    return;
  }
  parts.push_back(n);
}

// Holds read locks on the source tables for one execution (WITH LOCKS).
class TReadLocks {
public:
  ~TReadLocks() {
    for (TDataTable* table : Tables) {
      try {
        table->ReleaseReadLockA();
      } catch (...) {
      }
    }
  }
  void Take(TDataTable& table) {
    if (table.HoldsReadLockA()) return;
    table.ReadLockA();
    Tables.push_back(&table);
  }

private:
  std::vector<TDataTable*> Tables;
};

} // namespace


namespace {

// The source tables an expression reads, as a bit set over FROM positions (0-based).
uint64_t TablesRead(const TExpToken* n, const TSelectColumnSource& columns) {
  if (n == nullptr) return 0;
  uint64_t mask = 0;
  if (n->NodeClass == nc::Column) {
    const auto& all = columns.All();
    for (std::size_t i = 0; i < all.size(); ++i)
      if (all[i]->Source == n->SourceTable) mask |= uint64_t{1} << i;
    return mask;
  }
  mask |= TablesRead(n->Left, columns) | TablesRead(n->Right, columns);
  for (const TExpToken* a : n->Args) mask |= TablesRead(a, columns);
  return mask;
}

int OnlyTable(uint64_t mask) { return std::popcount(mask) == 1 ? std::countr_zero(mask) : -1; }

} // namespace

TEvalContext TSelectQuery::Context() const {
  TEvalContext context;
  context.Owner = &Hooks;
  context.Provider = const_cast<TSelectColumnSource*>(&ColumnSource);
  context.Collation.Language = Language;
  context.Collation.Sort = Sort;
  return context;
}

void TSelectQuery::PrepareConditions() {
  PreparedConditions.clear();
  std::vector<const TExpToken*> parts;
  SplitAnd(QueryBlock.Condition.get(), parts);
  for (const TExpToken* part : parts)
    PreparedConditions.push_back(PrepareExpression(*part, &Hooks, &ColumnSource, true, false, Language, Sort));
}

void TSelectQuery::PlanJoins(bool forExecution) {
  std::vector<const TExpToken*> parts;
  if (!forExecution) SplitAnd(QueryBlock.Condition.get(), parts);
  else
    for (const TExpTree& c : PreparedConditions) parts.push_back(c.get());

  const int count = static_cast<int>(Sources.size());
  if (count > 64) Fail("Internal join optimization error");
  Runs.assign(static_cast<std::size_t>(count), TTableRun{});
  for (int t = 0; t < count; ++t) Runs[static_cast<std::size_t>(t)].Source = Sources[static_cast<std::size_t>(t)].get();
  Plan = TJoinPlan(count);
  struct TOther {
    const TExpToken* Node;
    uint64_t Tables;
  };
  std::vector<TOther> others;
  for (const TExpToken* part : parts) {
    const uint64_t tables = TablesRead(part, ColumnSource);
    if (count > 1 && IsComparison(*part) && ReadsColumn(part->Left) && ReadsColumn(part->Right)) {
      const uint64_t left = TablesRead(part->Left, ColumnSource);
      const uint64_t right = TablesRead(part->Right, ColumnSource);
      if (std::popcount(left) > 1 || std::popcount(right) > 1)
        Fail("The join condition cannot contain multiple table correlation names in either the left or right "
             "operand in WHERE or JOIN clause");
      if (OnlyTable(left) >= 0 && OnlyTable(right) >= 0 && left != right) {
        Plan.AddComparison(const_cast<TExpToken*>(part), OnlyTable(left), OnlyTable(right), part->JoinKind);
        continue;
      }
    }
    others.push_back({part, tables});
  }
  const int fault = Plan.Finish();
  if (fault >= 0)
    Fail("Internal join error - table correlation name \"" + Sources[static_cast<std::size_t>(fault)]->Correlation +
         "\" is target of multiple " + "join conditions in WHERE or JOIN clause");
  if (fault == -2) Fail("Internal join optimization error");

  for (const TOther& other : others) {
    const int only = OnlyTable(other.Tables);
    if (only >= 0) Runs[static_cast<std::size_t>(only)].SingleConditions.push_back(other.Node);
  }
  if (!forExecution) return;  // the dry run of preparation stops here

  const TEvalContext context = Context();
  if (count > 1 && !QueryBlock.NoJoinOptimize) {
    // Rows each table shows through its own conditions, from index ranges where one applies.
    std::vector<int64_t> rows(static_cast<std::size_t>(count), 0);
    for (int t = 0; t < count; ++t) {
      TTableRun& run = Runs[static_cast<std::size_t>(t)];
      run.Access.Choose(*run.Source, run.SingleConditions, [](const TExpToken& e) { return !ReadsColumn(&e); });
      run.Access.Position(*run.Source, context);
      rows[static_cast<std::size_t>(t)] = run.Source->Cursor->RecordCount();
    }
    Plan.ChooseDriver(rows);
  }

  const std::vector<int>& order = Plan.Order();
  std::vector<int> position(static_cast<std::size_t>(count), 0);
  for (std::size_t i = 0; i < order.size(); ++i) position[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
  for (int t = 0; t < count; ++t) {
    TTableRun& run = Runs[static_cast<std::size_t>(t)];
    if (const TJoinEdge* edge = Plan.EdgeInto(t)) {
      run.Kind = edge->Kind;
      for (const TJoinComparison& c : edge->Comparisons) run.JoinConditions.push_back(c.Node);
    }
  }
  for (const TOther& other : others) {
    int deepest = order.front();
    for (int t = 0; t < count; ++t)
      if ((other.Tables >> t) & 1U)
        if (position[static_cast<std::size_t>(t)] > position[static_cast<std::size_t>(deepest)] ||
            !((other.Tables >> deepest) & 1U))
          deepest = t;
    Runs[static_cast<std::size_t>(deepest)].WhereConditions.push_back(other.Node);
  }
  for (int t = 0; t < count; ++t) {
    TTableRun& run = Runs[static_cast<std::size_t>(t)];
    std::vector<const TExpToken*> usable = run.JoinConditions;
    // The conditions of a left outer join's inner table are tested after the join matched:
    // they must not narrow the rows the match is looked for in.
    if (run.Kind != jk::LeftOuter)
      usable.insert(usable.end(), run.WhereConditions.begin(), run.WhereConditions.end());
    const int here = position[static_cast<std::size_t>(t)];
    run.Access.Choose(*run.Source, usable, [&](const TExpToken& e) {
      const uint64_t tables = TablesRead(&e, ColumnSource);
      for (int u = 0; u < count; ++u)
        if (((tables >> u) & 1U) && position[static_cast<std::size_t>(u)] >= here) return false;
      return true;
    });
  }
}

bool TSelectQuery::CountFromCursor() {
  // SELECT COUNT(*) FROM one table whose conditions the index range answers exactly: the
  // cursor's record count is the answer, no row is read.
  if (!WholeTableGroup || Runs.size() != 1 || Visible != 1 || RowLimit >= 0) return false;
  TResultColumn& count = ResultColumns.front();
  if (count.Aggregate != agg::Count || count.Prepared) return false;
  TTableRun& run = Runs.front();
  run.Access.Position(*run.Source, Context());
  const TExpToken* answered = run.Access.AnsweredCondition();
  for (const auto* list : {&run.JoinConditions, &run.WhereConditions})
    for (const TExpToken* c : *list)
      if (c != answered) return false;
  SetFieldInteger(GroupRow.data(), count.Definition, run.Source->Cursor->RecordCount());
  GroupStarted = true;
  return true;
}

bool TSelectQuery::RowsAlreadyDistinct() const {
  // One table, read once per row, whose unique primary key is among the result columns:
  // no two result rows can be equal.
  if (Runs.size() != 1 || QueryBlock.UnionFollows || QueryBlock.UnionPart) return false;
  const TSelectSource* source = Runs.front().Source;
  TDataCursor& cursor = *source->Cursor;
  if (cursor.IndexCount() < 1) return false;
  const TIndexDefinition& primary = cursor.GetIndexDefinition(0);
  if (!primary.Defined() || !primary.Unique || primary.FieldCount == 0) return false;
  for (int k = 0; k < primary.FieldCount; ++k) {
    bool selected = false;
    for (int i = 0; i < Visible && !selected; ++i) {
      const TResultColumn& c = ResultColumns[static_cast<std::size_t>(i)];
      selected = c.Plain && c.Source == source && c.SourceFieldNo == primary.FieldNumbers[static_cast<std::size_t>(k)];
    }
    if (!selected) return false;
  }
  return true;
}

void TSelectQuery::UseIndexOrder() {
  OrderByIndex = false;
  for (TTableRun& run : Runs) run.Source->Cursor->SetKeysOnly(false);
  if (Runs.size() != 1 || OrderColumns.empty() || Distinct || QueryBlock.GroupByPresent || WholeTableGroup ||
      QueryBlock.UnionFollows || QueryBlock.UnionPart || QueryBlock.MaxRowCount >= 0)
    return;
  TTableRun& run = Runs.front();
  const bool descending = OrderDescending.front();
  std::vector<int> fields;
  for (std::size_t i = 0; i < OrderColumns.size(); ++i) {
    const TResultColumn& c = ResultColumns[static_cast<std::size_t>(OrderColumns[i])];
    if (!c.Plain || c.Source != run.Source || OrderDescending[i] != descending) return;
    fields.push_back(c.SourceFieldNo);
  }
  TDataCursor& cursor = *run.Source->Cursor;
  auto serves = [&](const TIndexDefinition& index) {
    if (!index.Defined() || static_cast<std::size_t>(index.FieldCount) < fields.size() || index.Descending ||
        index.CaseInsensitive != QueryBlock.OrderByNoCase)
      return false;
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (index.FieldNumbers[i] != fields[i] || index.FieldDescending[i]) return false;
    return true;
  };
  // The fields the rows are built from, when every result column is a plain column (and
  // nothing else reads the table): an index whose keys hold them all gives the rows without
  // reading a record.
  std::vector<int> wanted;
  bool plainOnly = QueryBlock.Condition == nullptr && run.JoinConditions.empty() && run.WhereConditions.empty();
  for (const TResultColumn& c : ResultColumns) {
    if (!plainOnly) break;
    if (!c.Plain || c.Source != run.Source) plainOnly = false;
    else wanted.push_back(c.SourceFieldNo);
  }
  int slot = -1;
  bool keysOnly = false;
  if (run.Access.UsesIndex()) {
    if (serves(cursor.IndexDefinition())) slot = cursor.IndexSlot();
  } else {
    // A whole table read in index order fetches its records out of their order; reading it
    // in record order and sorting is quicker, unless TOP needs only its first rows or the
    // index keys hold every value wanted.
    const int last = std::min(cursor.IndexCount(), 30);
    for (int s = 0; s <= last && slot < 0; ++s) {
      if (!serves(cursor.GetIndexDefinition(s))) continue;
      if (plainOnly && cursor.KeyHoldsFields(s, wanted)) {
        slot = s;
        keysOnly = true;
      } else if (QueryBlock.Top >= 0) {
        slot = s;
      }
    }
    if (slot >= 0) cursor.SetIndexSlot(slot);
  }
  if (slot < 0) return;
  if (keysOnly) cursor.SetKeysOnly(true);
  run.Backward = descending;
  OrderByIndex = true;
  OrderDone = true;
}

bool TSelectQuery::Holds(const std::vector<const TExpToken*>& conditions, const TExpToken* skip) const {
  if (conditions.empty()) return true;
  const TEvalContext context = Context();
  for (const TExpToken* c : conditions) {
    if (c == skip) continue;
    TExpTree value = Evaluate(*c, context);
    if (!ConditionHolds(*value)) return false;
  }
  return true;
}

void TSelectQuery::StoreValue(uint8_t* row, TResultColumn& column, const TExpToken& value) {
  const TFieldDefinition& field = column.Definition;
  if (value.IsNull || field.IsBlob()) {
    SetFieldNull(row, field);
    return;
  }
  TExpToken& target = column.Converted;
  target.SetType(static_cast<uint8_t>(field.DataType), field.SubType, field.ValueSize, field.Scale);
  if (!ConvertValue(value, target) || target.IsNull) {
    SetFieldNull(row, field);
    return;
  }
  if (field.DataType == TFieldType::String) {
    SetFieldString(row, field, target.GetString());
    return;
  }
  if (static_cast<int32_t>(target.Value.size()) < field.ValueSize) target.SetValueSize(field.ValueSize);
  SetFieldData(row, field, target.Value.data());
}

void TSelectQuery::BuildRow(uint8_t* row) {
  const TEvalContext context = Context();
  for (TResultColumn& column : ResultColumns) {
    if (column.Hidden) continue;
    const TFieldDefinition& field = column.Definition;
    if (column.Plain) {
      const TSelectSource& source = *column.Source;
      const TFieldDefinition& from = source.Cursor->Fields()[static_cast<std::size_t>(column.SourceFieldNo - 1)];
      if (source.NullRow || from.IsBlob() || IsFieldNull(source.Record.data(), from)) SetFieldNull(row, field);
      else SetFieldData(row, field, FieldData(source.Record.data(), from));
      continue;
    }
    if (column.Aggregate != agg::None) {
      bool present = true;
      if (column.Prepared) {
        TExpTree value = Evaluate(*column.Prepared, context);
        present = !value->IsNull;
        if (column.Aggregate == agg::Count) {
          if (present) SetFieldInteger(row, field, 1);
          else SetFieldNull(row, field);
        } else {
          StoreValue(row, column, *value);
        }
      } else {
        SetFieldInteger(row, field, 1);  // COUNT(*)
      }
      if (column.CounterColumn >= 0)
        SetFieldInteger(row, ResultColumns[static_cast<std::size_t>(column.CounterColumn)].Definition, present ? 1 : 0);
      continue;
    }
    TExpTree value = Evaluate(*column.Prepared, context);
    StoreValue(row, column, *value);
  }
}

void TSelectQuery::EmitRow() {
  uint8_t* row = RowBuffer.data();
  BuildRow(row);
  if (WholeTableGroup) {
    if (!GroupStarted) {
      std::memcpy(GroupRow.data(), row, GroupRow.size());
      Aggregator.Accumulate(GroupRow.data(), GroupRow.data(), true);
      GroupStarted = true;
    } else {
      Aggregator.Accumulate(GroupRow.data(), row, false);
    }
    return;
  }
  Result->Append(row);
  ++Appended;
  if (RowLimit >= 0 && Appended >= RowLimit) Stop = true;
}

void TSelectQuery::ReportProgress() {
  ++DriverVisited;
  if (DriverRows <= 0) return;
  const int steps = std::max(1, Statement.Database()->Session().Settings().ProgressSteps);
  const int step = std::max(1, 100 / steps);
  const int percent = static_cast<int>(std::min<int64_t>(100, DriverVisited * 100 / DriverRows));
  if (percent - LastProgress < step) return;
  LastProgress = percent;
  if (Statement.ReportProgress(percent)) Stop = true;
}

void TSelectQuery::WalkLevel(std::size_t level) {
  const std::vector<int>& order = Plan.Order();
  if (level == order.size()) {
    EmitRow();
    return;
  }
  TTableRun& run = Runs[static_cast<std::size_t>(order[level])];
  TSelectSource& source = *run.Source;
  TDataCursor& cursor = *source.Cursor;
  run.Access.Position(source, Context());
  if (level == 0) DriverRows = cursor.RecordCount();
  const TExpToken* answered = run.Access.AnsweredCondition();
  bool matched = false;
  if (run.Backward) cursor.End();
  auto step = [&] { return run.Backward ? cursor.Prior(source.Record.data()) : cursor.Next(source.Record.data()); };
  while (!Stop && step() == 0) {
    source.NullRow = false;
    if (level == 0) ReportProgress();
    if (!Holds(run.JoinConditions, answered)) continue;
    matched = true;
    if (!Holds(run.WhereConditions, answered)) continue;
    WalkLevel(level + 1);
  }
  if (!matched && !Stop && run.Kind == jk::LeftOuter) {
    // No inner row matched: the outer row goes on once with NULL for every inner column.
    source.NullRow = true;
    if (Holds(run.WhereConditions, nullptr)) WalkLevel(level + 1);
  }
  source.NullRow = false;
}

std::vector<TFieldDefinition> TSelectQuery::KeyFields(const std::vector<int>& columns,
                                                      const std::vector<bool>& descending) const {
  std::vector<TFieldDefinition> keys;
  keys.reserve(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    TFieldDefinition key = ResultColumns[static_cast<std::size_t>(columns[i])].Definition;
    key.Descending = i < descending.size() && descending[i];
    keys.push_back(key);
  }
  return keys;
}

void TSelectQuery::SortDistinct() {
  const bool unionInvolved = QueryBlock.UnionFollows || QueryBlock.UnionPart;
  std::vector<int> columns;
  std::vector<bool> descending;
  // With an ORDER BY that is not case-insensitive, one sort does both: the ORDER BY columns
  // lead the key, the other columns follow, so equal rows still meet.
  if (!OrderColumns.empty() && !QueryBlock.OrderByNoCase && !unionInvolved) {
    columns = OrderColumns;
    descending = OrderDescending;
    OrderDone = true;
  }
  for (int i = 0; i < Visible; ++i) {
    if (std::find(columns.begin(), columns.end(), i) != columns.end()) continue;
    columns.push_back(i);
    descending.push_back(false);
  }
  TSortOptions options;
  options.KeyFields = KeyFields(columns, descending);
  options.Distinct = true;
  const bool limitNow = !unionInvolved && (OrderColumns.empty() || OrderDone || OrderSatisfied);
  options.RowLimit = limitNow ? QueryBlock.Top : -1;
  Result->Sort(std::move(options));
  DistinctDone = true;
}

void TSelectQuery::SortGroups() {
  TSortOptions options;
  options.KeyFields = KeyFields(GroupColumns, {});
  TGroupAggregator* aggregator = &Aggregator;
  options.Accumulate = [aggregator](uint8_t* group, const uint8_t* record, bool start) {
    aggregator->Accumulate(group, record, start);
  };
  options.Finalise = [aggregator](uint8_t* group) { aggregator->Finalise(group); };
  std::unique_ptr<TRecordColumnSource> havingSource;
  if (PreparedHaving) {
    std::vector<TFieldDefinition> fields;
    for (const TResultColumn& c : ResultColumns) fields.push_back(c.Definition);
    havingSource = std::make_unique<TRecordColumnSource>(std::move(fields));
    const TExpToken* having = PreparedHaving.get();
    TRecordColumnSource* provider = havingSource.get();
    TEvalContext context = Context();
    context.Provider = provider;
    options.Keep = [having, context](const uint8_t* group) mutable {
      context.Record = group;
      TExpTree value = Evaluate(*having, context);
      return ConditionHolds(*value);
    };
  }
  const bool unionInvolved = QueryBlock.UnionFollows || QueryBlock.UnionPart;
  const bool limitNow = !unionInvolved && (OrderColumns.empty() || OrderSatisfied);
  options.RowLimit = limitNow ? QueryBlock.Top : -1;
  Result->Sort(std::move(options));
  if (OrderSatisfied) OrderDone = true;
}

void TSelectQuery::Fill() {
  Stop = false;
  Appended = 0;
  DriverVisited = 0;
  DriverRows = 0;
  LastProgress = 0;
  GroupStarted = false;
  DistinctDone = false;
  OrderDone = false;
  MembersLoaded = false;
  MemberValues.clear();
  Rows = 0;

  // Every source table is read under its statement read lock while the rows are walked:
  // the rows come from one state of each table, and the cursors need not look for other
  // users' changes before each read from disk. (WITH LOCKS asks for exactly this; it is
  // taken for every SELECT, and released before the result is sorted.)
  auto locks = std::make_unique<TReadLocks>();
  for (auto& source : Sources) {
    locks->Take(source->Cursor->Table());
    source->Cursor->Refresh();
  }

  // Prepared copies of this execution's trees (parameter values bound).
  for (TResultColumn& column : ResultColumns) {
    column.Prepared.reset();
    const bool countStar = column.Aggregate == agg::Count &&
                           (column.Expression == nullptr || column.Expression->ColumnName == "*");
    if (column.Hidden || column.Plain || countStar || column.Expression == nullptr) continue;
    column.Prepared = PrepareExpression(*column.Expression, &Hooks, &ColumnSource, true, false, Language, Sort);
  }
  PreparedHaving.reset();
  if (QueryBlock.Having)
    PreparedHaving = PrepareExpression(*QueryBlock.Having, &Hooks, nullptr, true, false, Language, Sort);
  PrepareConditions();
  PlanJoins(true);
  UseIndexOrder();

  // The result table.
  std::vector<TFieldDefinition> fields;
  fields.reserve(ResultColumns.size());
  for (const TResultColumn& c : ResultColumns) fields.push_back(c.Definition);
  if (!Result) Result = std::make_unique<TResultTable>(Statement.Database()->Session());
  TDataDirectory* into = nullptr;
  std::string intoName;
  if (!QueryBlock.IntoTableName.empty() && !QueryBlock.Nested && !QueryBlock.UnionPart) {
    intoName = QueryBlock.IntoTableName;
    if (QueryBlock.IntoMemory || !QueryBlock.IntoDatabasePath.empty()) {
      // Opened once, closed with the query's other directories.
      if (IntoDirectory == nullptr) {
        IntoDirectory = QueryBlock.IntoMemory
                            ? &Statement.Database()->Session().OpenDirectory("Memory", "")
                            : &Statement.Database()->Session().OpenDirectory("", QueryBlock.IntoDatabasePath);
        OwnedDirectories.push_back(IntoDirectory);
      }
      into = IntoDirectory;
    } else {
      into = Statement.Database();
    }
  }
  const bool memoryResult = QueryBlock.IntoMemory && QueryBlock.IntoTableName.empty();
  Result->Create(fields, Language, Sort, into, intoName, into ? QueryBlock.IntoMemory : memoryResult,
                 QueryBlock.Password);
  for (std::size_t i = 0; i < ResultColumns.size(); ++i) ResultColumns[i].Definition = Result->Fields()[i];
  RowBuffer.assign(static_cast<std::size_t>(Result->RecordSize()), 0);
  GroupRow.assign(static_cast<std::size_t>(Result->RecordSize()), 0);
  std::vector<TAggregateColumn> aggregates;
  for (const TResultColumn& c : ResultColumns) {
    if (c.Aggregate == agg::None) continue;
    TAggregateColumn a;
    a.Kind = c.Aggregate;
    a.Field = c.Definition;
    if (c.CounterColumn >= 0) {
      a.HasCounter = true;
      a.Counter = ResultColumns[static_cast<std::size_t>(c.CounterColumn)].Definition;
    }
    aggregates.push_back(std::move(a));
  }
  Aggregator = TGroupAggregator(std::move(aggregates));

  // Where the walk may stop early.
  RowLimit = QueryBlock.MaxRowCount >= 0 ? QueryBlock.MaxRowCount : -1;
  const bool topInWalk = QueryBlock.Top >= 0 && (OrderColumns.empty() || OrderByIndex) && !QueryBlock.GroupByPresent && !Distinct &&
                         !WholeTableGroup && !QueryBlock.UnionFollows && !QueryBlock.UnionPart;
  if (topInWalk) RowLimit = RowLimit < 0 ? QueryBlock.Top : std::min<int64_t>(RowLimit, QueryBlock.Top);
  if (RowLimit == 0) Stop = true;

  if (CountFromCursor()) Stop = true;
  if (!Stop && !Sources.empty()) WalkLevel(0);
  locks.reset();
  if (!Sources.empty() && LastProgress < 100) Statement.ReportProgress(100);

  if (WholeTableGroup) {
    if (!GroupStarted) Aggregator.MakeEmptyGroup(GroupRow.data());
    else Aggregator.Finalise(GroupRow.data());
    Result->Append(GroupRow.data());
  }
  if (Distinct && !RowsAlreadyDistinct()) SortDistinct();
  if (QueryBlock.GroupByPresent) SortGroups();
}

void TSelectQuery::AppendUnion(TSelectQuery& part, bool all) {
  std::vector<uint8_t> row(static_cast<std::size_t>(Result->RecordSize()), 0);
  const std::vector<TFieldDefinition>& from = part.Result->Fields();
  const std::vector<TFieldDefinition>& to = Result->Fields();
  part.Result->ForEach([&](const uint8_t* record) {
    std::fill(row.begin(), row.end(), 0);
    for (int i = 0; i < Visible && i < part.Visible; ++i) {
      const TFieldDefinition& f = from[static_cast<std::size_t>(i)];
      const TFieldDefinition& t = to[static_cast<std::size_t>(i)];
      if (IsFieldNull(record, f) || f.IsBlob()) {
        SetFieldNull(row.data(), t);
      } else if (t.DataType == TFieldType::String) {
        SetFieldString(row.data(), t, GetFieldString(record, f));
      } else if (t.DataType == TFieldType::Bytes || t.DataType == TFieldType::VarBytes) {
        SetFieldBytes(row.data(), t, GetFieldBytes(record, f));
      } else {
        SetFieldData(row.data(), t, FieldData(record, f));
      }
    }
    Result->Append(row.data());
  });
  if (!all) {
    std::vector<int> columns;
    for (int i = 0; i < Visible; ++i) columns.push_back(i);
    TSortOptions options;
    options.KeyFields = KeyFields(columns, {});
    options.Distinct = true;
    Result->Sort(std::move(options));
  }
}

TDataCursor& TSelectQuery::Finish() {
  // DISTINCT and GROUP BY mark the order done when their sort gave it.
  const bool orderDue = !OrderColumns.empty() && !OrderDone;
  const bool unionInvolved = QueryBlock.UnionFollows;
  if (orderDue || (unionInvolved && QueryBlock.Top >= 0) ||
      (QueryBlock.Top >= 0 && Result->Rows() > QueryBlock.Top)) {
    TSortOptions options;
    if (orderDue) options.KeyFields = KeyFields(OrderColumns, OrderDescending);
    options.CaseInsensitive = QueryBlock.OrderByNoCase;
    options.RowLimit = QueryBlock.Top;
    Result->Sort(std::move(options));
  }
  TDataCursor& cursor = Result->Finish();
  Rows = cursor.RecordCount();
  return cursor;
}

bool TSelectQuery::TextSearch(const TExpToken& column, const std::string& words, bool& found,
                              int32_t& occurrences) {
  TSelectSource* source = ColumnSource.SourceOf(column);
  if (source == nullptr || column.FieldNo < 1 || column.FieldNo > source->Cursor->FieldCount()) return false;
  const TFieldDefinition& field = source->Cursor->Fields()[static_cast<std::size_t>(column.FieldNo - 1)];
  if (field.DataType != TFieldType::String) return false;
  const std::string text = source->NullRow || IsFieldNull(source->Record.data(), field)
                               ? std::string()
                               : GetFieldString(source->Record.data(), field);
  found = source->Cursor->TextSearch(column.FieldNo, words, text);
  occurrences = source->Cursor->TextOccurs(column.FieldNo, words, text);
  return true;
}

bool TSelectQuery::Contains(const TExpToken& value) {
  TDataCursor* cursor = ResultCursor();
  if (cursor == nullptr || Visible < 1) return false;
  if (!MembersLoaded) {
    MembersLoaded = true;
    MemberValues.clear();
    const TFieldDefinition& field = cursor->Fields().front();
    std::vector<uint8_t> record(static_cast<std::size_t>(cursor->RecordBufferSize()), 0);
    cursor->Home();
    while (cursor->Next(record.data()) == 0) {
      TExpTree member = NewToken();
      member->NodeClass = nc::Constant;
      SetColumnType(*member, field);
      member->ZeroValue();
      member->IsNull = IsFieldNull(record.data(), field);
      if (!member->IsNull) {
        const uint8_t* data = FieldData(record.data(), field);
        std::copy(data, data + field.ValueSize, member->Value.begin());
      }
      MemberValues.push_back(std::move(member));
    }
    cursor->Home();
  }
  TExpressionCollation collation;
  collation.Language = Language;
  collation.Sort = Sort;
  for (const TExpTree& member : MemberValues)
    if (CompareByOperator(op::Equal, value, *member, collation)) return true;
  return false;
}

} // namespace quarry
