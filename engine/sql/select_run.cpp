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
#include "engine/sql/sub_select_members.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"
#include "engine/values/value_ops.h"

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
      } catch (...) {}
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

}  // namespace

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

bool IsColumnOf(const TExpToken* n, const TSourceTable* table, int fieldNo) {
  return n != nullptr && n->NodeClass == nc::Column && n->SourceTable == table && n->FieldNo == fieldNo;
}

// Whether `condition` is `column IS NULL` on a column that a comparison between two tables
// reads: no row the join matched can pass it, since such comparisons never match NULLs.
bool FailsEveryMatch(const TExpToken& condition, const std::vector<const TExpToken*>& joinConditions,
                     const TSourceTable* table) {
  const TExpToken* column = condition.Left;
  const bool isNullTest = condition.NodeClass == nc::Binary && condition.OpCode == op::Equal && column != nullptr &&
                          column->NodeClass == nc::Column && column->SourceTable == table &&
                          condition.Right != nullptr && condition.Right->NodeClass == nc::Constant &&
                          condition.Right->IsNull;
  if (!isNullTest) return false;
  return std::any_of(joinConditions.begin(), joinConditions.end(), [&](const TExpToken* join) {
    return IsComparison(*join) && ReadsColumn(join->Left) && ReadsColumn(join->Right) &&
           (IsColumnOf(join->Left, table, column->FieldNo) || IsColumnOf(join->Right, table, column->FieldNo));
  });
}

}  // namespace

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

int TSelectQuery::OuterJoinMatchTable(const TExpToken& part, uint64_t tables, const std::vector<int>& position) const {
  if (part.OuterJoinOn == 0) return -1;
  int inner = OnlyTable(tables);  // unnamed inner table: a part on one table alone
  if (part.OuterJoinInner != nullptr) {
    inner = -1;
    for (std::size_t t = 0; t < Runs.size(); ++t)
      if (Runs[t].Source->Source == part.OuterJoinInner) inner = static_cast<int>(t);
  }
  if (inner < 0 || Runs[static_cast<std::size_t>(inner)].Kind != jk::LeftOuter) return -1;
  for (std::size_t t = 0; t < Runs.size(); ++t)
    if (((tables >> t) & 1U) && position[t] > position[static_cast<std::size_t>(inner)]) return -1;
  return inner;
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
        Fail(
            "The join condition cannot contain multiple table correlation names in either the left or right "
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
    // A part of an outer join's ON condition belongs to the match when it reads the inner
    // table or the tables before it: an outer row whose inner rows all fail it still
    // appears once, with NULLs.
    if (const int inner = OuterJoinMatchTable(*other.Node, other.Tables, position); inner >= 0) {
      Runs[static_cast<std::size_t>(inner)].JoinConditions.push_back(other.Node);
      continue;
    }
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
    if (run.Kind != jk::LeftOuter) usable.insert(usable.end(), run.WhereConditions.begin(), run.WhereConditions.end());
    // A left outer join whose inner rows are wanted only when none matches (... LEFT JOIN L
    // ON ... WHERE L.X IS NULL) needs no more than the first match.
    run.OnlyUnmatched = run.Kind == jk::LeftOuter &&
                        std::any_of(run.WhereConditions.begin(), run.WhereConditions.end(), [&](const TExpToken* c) {
                          return FailsEveryMatch(*c, run.JoinConditions, run.Source->Source);
                        });
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

void TSelectQuery::ChooseDistinctLevel() {
  // DISTINCT whose columns all come from the first tables of the loop: once a row was
  // written for the current rows of those tables, the tables below them can only repeat it.
  // (A maximum row count counts the rows walked, duplicates included: it keeps every one.)
  DistinctLevel = -1;
  if (!Distinct || WholeTableGroup || QueryBlock.GroupByPresent || Runs.size() < 2 || QueryBlock.MaxRowCount >= 0)
    return;
  const std::vector<int>& order = Plan.Order();
  std::vector<int> position(order.size(), 0);
  for (std::size_t i = 0; i < order.size(); ++i) position[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
  auto runOf = [&](const TSourceTable* table) {
    for (std::size_t t = 0; t < Runs.size(); ++t)
      if (Runs[t].Source->Source == table) return static_cast<int>(t);
    return -1;
  };
  // A column equal by its join comparison to an integer column of the same type of an
  // outer table holds that table's value: it is read from there (C.VIDEOID = V.VIDEOID).
  auto outerTwin = [&](int t, int fieldNo) -> std::pair<int, int> {
    const TFieldDefinition& field =
        Runs[static_cast<std::size_t>(t)].Source->Cursor->Fields()[static_cast<std::size_t>(fieldNo - 1)];
    if (!IntegerFamily(static_cast<uint8_t>(field.DataType))) return {-1, 0};
    for (const TExpToken* c : Runs[static_cast<std::size_t>(t)].JoinConditions) {
      if (c->NodeClass != nc::Binary || c->OpCode != op::Equal) continue;
      for (const auto& [mine, other] : {std::pair{c->Left, c->Right}, std::pair{c->Right, c->Left}}) {
        if (mine == nullptr || other == nullptr || mine->NodeClass != nc::Column || other->NodeClass != nc::Column)
          continue;
        if (runOf(mine->SourceTable) != t || mine->FieldNo != fieldNo) continue;
        const int u = runOf(other->SourceTable);
        if (u < 0 || u == t || other->FieldNo < 1) continue;
        const TFieldDefinition& twin =
            Runs[static_cast<std::size_t>(u)].Source->Cursor->Fields()[static_cast<std::size_t>(other->FieldNo - 1)];
        if (twin.DataType == field.DataType && twin.ValueSize == field.ValueSize) return {u, other->FieldNo};
      }
    }
    return {-1, 0};
  };
  int deepest = 0;
  for (int i = 0; i < Visible; ++i) {
    const TResultColumn& c = ResultColumns[static_cast<std::size_t>(i)];
    if (c.Aggregate != agg::None) return;
    uint64_t tables = 0;
    if (c.Plain) {
      int t = -1;
      for (std::size_t u = 0; u < Runs.size(); ++u)
        if (Runs[u].Source == c.Source) t = static_cast<int>(u);
      int fieldNo = c.SourceFieldNo;
      for (std::size_t step = 0; t >= 0 && step < Runs.size(); ++step) {
        const auto [u, twinField] = outerTwin(t, fieldNo);
        if (u < 0 || position[static_cast<std::size_t>(u)] >= position[static_cast<std::size_t>(t)]) break;
        t = u;
        fieldNo = twinField;
      }
      if (t >= 0) tables = uint64_t{1} << t;
    } else {
      tables = TablesRead(c.Expression, ColumnSource);
    }
    for (std::size_t t = 0; t < Runs.size(); ++t)
      if ((tables >> t) & 1U) deepest = std::max(deepest, position[t]);
  }
  if (deepest + 1 < static_cast<int>(order.size())) DistinctLevel = deepest;
}

bool TSelectQuery::RowsAlreadyDistinct() const {
  // One table (or the driving table, when DISTINCT stops at it), read once per row, whose
  // unique primary key is among the result columns: no two result rows can be equal.
  if (QueryBlock.UnionFollows || QueryBlock.UnionPart) return false;
  if (Runs.size() != 1 && DistinctLevel != 0) return false;
  const TSelectSource* source = Runs[static_cast<std::size_t>(Plan.Order().front())].Source;
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

namespace {

// `column IS [NOT] NULL` (a column compared with the NULL constant) over a column of one of
// the query's own tables is answered from the row as it is: 1 or 0; -1 for any other
// condition. The column reads as NULL when the column source would give NULL (a left
// join's NULL row, a NULL field, a BLOB).
int NullTestHolds(const TExpToken& c, const TSelectColumnSource& sources) {
  if (c.NodeClass != nc::Binary || (c.OpCode != op::Equal && c.OpCode != op::NotEqual)) return -1;
  const TExpToken* column = c.Left;
  const TExpToken* null = c.Right;
  if (column == nullptr || null == nullptr || column->NodeClass != nc::Column || null->NodeClass != nc::Constant ||
      !null->IsNull)
    return -1;
  const TSelectSource* source = sources.SourceOf(*column);
  if (source == nullptr || !source->Cursor) return -1;
  const std::vector<TFieldDefinition>& fields = source->Cursor->TableFields();
  if (column->FieldNo < 1 || column->FieldNo > static_cast<int>(fields.size())) return -1;
  const TFieldDefinition& field = fields[static_cast<std::size_t>(column->FieldNo - 1)];
  const bool isNull = source->NullRow || IsFieldNull(source->Record.data(), field) || field.IsBlob();
  return isNull == (c.OpCode == op::Equal) ? 1 : 0;
}

}  // namespace

bool TSelectQuery::Holds(const std::vector<const TExpToken*>& conditions, const TExpToken* skip) const {
  if (conditions.empty()) return true;
  const TEvalContext context = Context();
  for (const TExpToken* c : conditions) {
    if (c == skip) continue;
    if (const int quick = NullTestHolds(*c, ColumnSource); quick >= 0) {
      if (quick == 0) return false;
      continue;
    }
    TExpTree value = Evaluate(*c, context);
    if (!ConditionHolds(*value)) return false;
  }
  return true;
}

bool TSelectQuery::JoinHolds(const std::vector<const TExpToken*>& conditions, const TExpToken* skip) const {
  if (conditions.empty()) return true;
  const TEvalContext context = Context();
  for (const TExpToken* c : conditions) {
    if (c == skip) continue;
    if (!IsComparison(*c) || c->Left == nullptr || c->Right == nullptr || !ReadsColumn(c->Left) ||
        !ReadsColumn(c->Right)) {
      if (!ConditionHolds(*Evaluate(*c, context))) return false;
      continue;
    }
    // Rows of two tables never match on a NULL (unlike a filter's `=`, where two NULLs are
    // equal).
    TExpTree left = Evaluate(*c->Left, context);
    if (left->IsNull) return false;
    TExpTree right = Evaluate(*c->Right, context);
    if (right->IsNull || !CompareByOperator(c->OpCode, *left, *right, context.Collation)) return false;
  }
  return true;
}

void TSelectQuery::StoreValue(uint8_t* row, TResultColumn& column, const TExpToken& value) {
  const TFieldDefinition& field = column.Definition;
  if (value.IsNull) {
    SetFieldNull(row, field);
    return;
  }
  if (field.IsBlob()) {
    // Texts keep their bytes without the terminating zero.
    const bool text =
        value.DataType == vt::String ||
        (value.DataType == vt::Blob && (value.SubType == subtype::Memo || value.SubType == subtype::FormattedMemo));
    const std::size_t size = static_cast<std::size_t>(std::max(0, value.ValueSize - (text ? 1 : 0)));
    const std::vector<uint8_t> bytes(
        value.Value.begin(), value.Value.begin() + static_cast<std::ptrdiff_t>(std::min(size, value.Value.size())));
    SetFieldBlob(row, field, Result->StoreBlob(bytes));
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
      if (source.NullRow || IsFieldNull(source.Record.data(), from)) {
        SetFieldNull(row, field);
      } else if (from.IsBlob()) {  // copied whole into the result's own BLOB file
        std::vector<uint8_t> value;
        source.Cursor->ReadBlobValue(column.SourceFieldNo, source.Record.data(), value);
        SetFieldBlob(row, field, Result->StoreBlob(value));
      } else {
        SetFieldData(row, field, FieldData(source.Record.data(), from));
      }
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
  if (FeedMembers) {
    Members.Add(row);
    return;
  }
  if (CollectGroups) {
    Groups.Add(row);
    if (Groups.Full()) FlushGroups();
    return;
  }
  RowWritten = true;
  Result->Append(row);
  ++Appended;
  if (RowLimit >= 0 && Appended >= RowLimit) Stop = true;
}

void TSelectQuery::FlushGroups() {
  for (std::size_t i = 0; i < Groups.Count(); ++i) {
    Result->Append(Groups.Group(i));
    ++Appended;
  }
  Groups.Clear();
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

void TSelectQuery::ChooseKeySets() {
  const std::vector<int>& order = Plan.Order();
  for (std::size_t level = 1; level < order.size(); ++level) {
    TTableRun& run = Runs[static_cast<std::size_t>(order[level])];
    run.KeySetCandidate = false;
    run.KeySetState = -1;
    run.Keys.clear();
    // Existence only: an anti-join, or an inner join below the columns DISTINCT reads that
    // tests nothing else on its rows (its columns reach the result only as copies of the
    // outer column they equal).
    const bool existence = (run.Kind == jk::LeftOuter && run.OnlyUnmatched) ||
                           (run.Kind == jk::Inner && DistinctLevel >= 0 &&
                            static_cast<std::size_t>(DistinctLevel) < level && run.WhereConditions.empty());
    if (!existence || level + 1 != order.size() || level != 1 || run.JoinConditions.size() != 1) continue;
    const TExpToken* c = run.JoinConditions.front();
    if (c->NodeClass != nc::Binary || c->OpCode != op::Equal || c->Left == nullptr || c->Right == nullptr) continue;
    const TSourceTable* table = run.Source->Source;
    for (const auto& [mine, other] : {std::pair{c->Left, c->Right}, std::pair{c->Right, c->Left}}) {
      if (mine->NodeClass != nc::Column || mine->SourceTable != table || mine->FieldNo < 1 ||
          TablesRead(other, ColumnSource) & TablesRead(mine, ColumnSource))
        continue;
      const TFieldDefinition& field = run.Source->Cursor->Fields()[static_cast<std::size_t>(mine->FieldNo - 1)];
      if (!IntegerFamily(static_cast<uint8_t>(field.DataType)) || !IntegerFamily(other->DataType)) continue;
      run.KeySetCandidate = true;
      run.OuterSide = other;
      run.InnerFieldNo = mine->FieldNo;
      break;
    }
  }
}

bool TSelectQuery::UseKeySet(TTableRun& run, std::size_t level) {
  if (!run.KeySetCandidate) return false;
  if (run.KeySetState >= 0) return run.KeySetState == 1;
  run.KeySetState = 0;
  TDataCursor& cursor = *run.Source->Cursor;
  if (cursor.RangeActive()) cursor.CancelRange();
  const int64_t innerRows = cursor.RecordCount();
  // An index lookup costs about as much as reading a few dozen records in a row.
  constexpr int64_t kLookupCost = 16;
  if (level != 1 || DriverRows * kLookupCost <= innerRows) return false;
  run.KeySetState = 1;
  TSelectSource& source = *run.Source;
  const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(run.InnerFieldNo - 1)];
  run.KeyValue.SetType(static_cast<uint8_t>(field.DataType), st::None, field.ValueSize, field.Scale);
  run.KeyValue.ZeroValue();
  cursor.SetIndexSlot(NaturalOrderSlot);
  cursor.Home();
  while (cursor.Next(source.Record.data()) == 0) {
    if (IsFieldNull(source.Record.data(), field)) continue;
    const uint8_t* data = FieldData(source.Record.data(), field);
    std::copy(data, data + field.ValueSize, run.KeyValue.Value.begin());
    run.Keys.push_back(ValueAsInt64(run.KeyValue));
  }
  std::sort(run.Keys.begin(), run.Keys.end());
  run.Keys.erase(std::unique(run.Keys.begin(), run.Keys.end()), run.Keys.end());
  return true;
}

void TSelectQuery::WalkKeySet(TTableRun& run, std::size_t level) {
  TSelectSource& source = *run.Source;
  TExpTree value = Evaluate(*run.OuterSide, Context());
  bool matched = false;
  if (!value->IsNull && IntegerFamily(value->DataType)) {
    matched = std::binary_search(run.Keys.begin(), run.Keys.end(), ValueAsInt64(*value));
  } else if (!value->IsNull) {
    // A value compared otherwise than as an integer: look it up through the index.
    run.KeySetCandidate = false;
    run.KeySetState = -1;
    run.Access.Restore(source);
    WalkLevel(level);
    return;
  }
  if (matched) {
    if (run.OnlyUnmatched) return;
    // The matched row's join column holds the outer value; no other column of it is read.
    const TFieldDefinition& field = source.Cursor->Fields()[static_cast<std::size_t>(run.InnerFieldNo - 1)];
    ConvertValue(*value, run.KeyValue);
    if (static_cast<int32_t>(run.KeyValue.Value.size()) < field.ValueSize) run.KeyValue.SetValueSize(field.ValueSize);
    SetFieldData(source.Record.data(), field, run.KeyValue.Value.data());
    source.NullRow = false;
    WalkLevel(level + 1);
    return;
  }
  if (run.Kind == jk::LeftOuter && !Stop) {
    source.NullRow = true;
    if (Holds(run.WhereConditions, nullptr)) WalkLevel(level + 1);
    source.NullRow = false;
  }
}

bool TSelectQuery::DriverRowsWanted() const {
  return Statement.WantsProgress() ||
         std::any_of(Runs.begin(), Runs.end(), [](const TTableRun& run) { return run.KeySetCandidate; });
}

void TSelectQuery::WalkLevel(std::size_t level) {
  const std::vector<int>& order = Plan.Order();
  if (level == order.size()) {
    EmitRow();
    return;
  }
  TTableRun& run = Runs[static_cast<std::size_t>(order[level])];
  if (level > 0 && UseKeySet(run, level)) {
    WalkKeySet(run, level);
    return;
  }
  TSelectSource& source = *run.Source;
  TDataCursor& cursor = *source.Cursor;
  const bool mayMatch = run.Access.Position(source, Context());
  // Counting the driving rows costs two index descents: only progress reports and the
  // key-set choice need it.
  if (level == 0) DriverRows = DriverRowsWanted() ? cursor.RecordCount() : 0;
  const TExpToken* answered = run.Access.AnsweredCondition();
  bool matched = false;
  if (run.Backward) cursor.End();
  auto step = [&] {
    return run.Backward ? cursor.Prior(source.Record.data()) : run.Access.ReadNext(source, source.Record.data());
  };
  while (mayMatch && !Stop && step() == 0) {
    source.NullRow = false;
    if (level == 0) ReportProgress();
    if (!JoinHolds(run.JoinConditions, answered)) continue;
    matched = true;
    if (run.OnlyUnmatched) break;
    if (!Holds(run.WhereConditions, answered)) continue;
    if (static_cast<int>(level) == DistinctLevel) RowWritten = false;
    WalkLevel(level + 1);
    if (static_cast<int>(level) > DistinctLevel && DistinctLevel >= 0 && RowWritten) break;
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
  Members.Clear();
  Rows = 0;
  if (Live) return RunLive();

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
    const bool countStar =
        column.Aggregate == agg::Count && (column.Expression == nullptr || column.Expression->ColumnName == "*");
    if (column.Hidden || column.Plain || countStar || column.Expression == nullptr) continue;
    column.Prepared = PrepareExpression(*column.Expression, &Hooks, &ColumnSource, true, false, Language, Sort);
  }
  PreparedHaving.reset();
  if (QueryBlock.Having)
    PreparedHaving = PrepareExpression(*QueryBlock.Having, &Hooks, nullptr, true, false, Language, Sort);
  PrepareConditions();
  PlanJoins(true);
  ChooseDistinctLevel();
  ChooseKeySets();
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
  const bool topInWalk = QueryBlock.Top >= 0 && (OrderColumns.empty() || OrderByIndex) && !QueryBlock.GroupByPresent &&
                         !Distinct && !WholeTableGroup && !QueryBlock.UnionFollows && !QueryBlock.UnionPart;
  if (topInWalk) RowLimit = RowLimit < 0 ? QueryBlock.Top : std::min<int64_t>(RowLimit, QueryBlock.Top);
  if (RowLimit == 0) Stop = true;

  FeedMembers = ServesMembership && !QueryBlock.GroupByPresent && !WholeTableGroup && QueryBlock.Top < 0 &&
                RowLimit < 0 && !QueryBlock.UnionFollows && !QueryBlock.UnionPart && Visible >= 1;
  if (FeedMembers) Members.Begin(ResultColumns.front().Definition, Context().Collation);
  ProbeSlot = FeedMembers ? MembershipSlot() : -1;
  ProbeHasNull = ProbeHasRows = -1;
  if (ProbeSlot >= 0) {
    TDataCursor& cursor = *Runs.front().Source->Cursor;
    cursor.ChooseIndexSlot(ProbeSlot);
    // With no row test, a look-up needs only the key: the records are never read.
    if (Runs.front().WhereConditions.empty() && cursor.KeyHoldsFields(ProbeSlot, {ResultColumns.front().SourceFieldNo}))
      cursor.SetKeysOnly(true);
    ProbeKey.assign(static_cast<std::size_t>(cursor.RecordBufferSize()), 0);
    Stop = true;  // the rows are looked up when IN asks
  }

  CollectGroups = QueryBlock.GroupByPresent && RowLimit < 0 && !FeedMembers &&
                  std::none_of(ResultColumns.begin(), ResultColumns.end(),
                               [](const TResultColumn& c) { return c.Aggregate == agg::RunSum; });
  if (CollectGroups) Groups.Begin(KeyFields(GroupColumns, {}), Result->RecordSize(), Aggregator);

  if (CountFromCursor()) Stop = true;
  if (!Stop && !Sources.empty()) WalkLevel(0);
  locks.reset();
  if (FeedMembers) Members.End();
  if (CollectGroups) FlushGroups();
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
  std::vector<uint8_t> blobValue;
  part.Result->ForEach([&](const uint8_t* record) {
    std::fill(row.begin(), row.end(), 0);
    for (int i = 0; i < Visible && i < part.Visible; ++i) {
      const TFieldDefinition& f = from[static_cast<std::size_t>(i)];
      const TFieldDefinition& t = to[static_cast<std::size_t>(i)];
      if (IsFieldNull(record, f) || (f.IsBlob() != t.IsBlob())) {
        SetFieldNull(row.data(), t);
      } else if (f.IsBlob()) {
        part.Result->ReadBlob(record, f, blobValue);
        SetFieldBlob(row.data(), t, Result->StoreBlob(blobValue));
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
  if (Live) return *ResultCursor();
  // DISTINCT and GROUP BY mark the order done when their sort gave it.
  const bool orderDue = !OrderColumns.empty() && !OrderDone;
  const bool unionInvolved = QueryBlock.UnionFollows;
  if (orderDue || (unionInvolved && QueryBlock.Top >= 0) || (QueryBlock.Top >= 0 && Result->Rows() > QueryBlock.Top)) {
    TSortOptions options;
    if (orderDue) options.KeyFields = KeyFields(OrderColumns, OrderDescending);
    options.CaseInsensitive = QueryBlock.OrderByNoCase;
    options.RowLimit = QueryBlock.Top;
    Result->Sort(std::move(options));
  }
  TDataCursor& cursor = Result->Finish();
  PresentResult(cursor);
  Rows = cursor.RecordCount();
  return cursor;
}

bool TSelectQuery::TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences) {
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

int TSelectQuery::MembershipSlot() const {
  if (Runs.size() != 1 || Visible < 1) return -1;
  const TResultColumn& column = ResultColumns.front();
  const TTableRun& run = Runs.front();
  if (!column.Plain || column.Source != run.Source || !run.JoinConditions.empty()) return -1;
  TDataCursor& cursor = *run.Source->Cursor;
  const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(column.SourceFieldNo - 1)];
  if (!IntegerFamily(static_cast<uint8_t>(field.DataType))) return -1;
  const int last = std::min(cursor.IndexCount(), 30);
  for (int slot = 0; slot <= last; ++slot) {
    const TIndexDefinition& index = cursor.GetIndexDefinition(slot);
    if (index.Defined() && index.FieldCount > 0 && index.FieldNumbers[0] == column.SourceFieldNo && !index.Descending &&
        !index.FieldDescending[0])
      return slot;
  }
  return -1;
}

bool TSelectQuery::ProbeKeyHolds(const TExpToken* value) {
  TTableRun& run = Runs.front();
  TSelectSource& source = *run.Source;
  TDataCursor& cursor = *source.Cursor;
  const int fieldNo = ResultColumns.front().SourceFieldNo;
  const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(fieldNo - 1)];
  std::fill(ProbeKey.begin(), ProbeKey.end(), 0);
  if (value == nullptr) {
    cursor.PutField(fieldNo, ProbeKey.data(), nullptr);
  } else {
    ProbeValue.SetType(static_cast<uint8_t>(field.DataType), st::None, field.ValueSize, field.Scale);
    // A value the column cannot hold equals none of its values.
    if (!ConvertValue(*value, ProbeValue) || ProbeValue.IsNull || ValueAsInt64(ProbeValue) != ValueAsInt64(*value))
      return false;
    if (static_cast<int32_t>(ProbeValue.Value.size()) < field.ValueSize) ProbeValue.SetValueSize(field.ValueSize);
    cursor.PutField(fieldNo, ProbeKey.data(), ProbeValue.Value.data());
  }
  cursor.SetRange(ProbeKey.data(), 1, ProbeKey.data(), 1);
  // Setting the range found its first row.
  for (bool first = true;; first = false) {
    const TEngineErrorCode code =
        first ? cursor.GetCurrentRecord(source.Record.data()) : cursor.Next(source.Record.data());
    if (code != 0) return false;
    source.NullRow = false;
    if (Holds(run.WhereConditions, nullptr)) return true;
  }
}

TSubSelectMatch TSelectQuery::ProbeMembership(const TExpToken& value) {
  TTableRun& run = Runs.front();
  TSelectSource& source = *run.Source;
  TDataCursor& cursor = *source.Cursor;
  const TFieldDefinition& field = cursor.Fields()[static_cast<std::size_t>(ResultColumns.front().SourceFieldNo - 1)];
  const uint8_t fieldType = static_cast<uint8_t>(field.DataType);
  const bool keyable = value.DataType == fieldType || (IsIntegerType(value.DataType) && IsIntegerType(fieldType));
  if (!value.IsNull && !keyable) {
    // A value that does not convert to a key of the column's type: read every row once, as
    // an unindexed IN does.
    TExpressionCollation collation;
    collation.Language = Language;
    collation.Sort = Sort;
    Members.Begin(field, collation);
    if (cursor.RangeActive()) cursor.CancelRange();
    cursor.Home();
    while (cursor.Next(source.Record.data()) == 0)
      if (Holds(run.WhereConditions, nullptr)) Members.Add(source.Record.data());
    Members.End();
    ProbeSlot = -1;
    return Members.Find(value);
  }
  if (value.IsNull) {
    if (ProbeHasRows < 0) {
      ProbeHasRows = 0;
      if (cursor.RangeActive()) cursor.CancelRange();
      cursor.Home();
      while (ProbeHasRows == 0 && cursor.Next(source.Record.data()) == 0)
        if (Holds(run.WhereConditions, nullptr)) ProbeHasRows = 1;
    }
    return ProbeHasRows != 0 ? TSubSelectMatch::Unknown : TSubSelectMatch::No;
  }
  if (ProbeKeyHolds(&value)) return TSubSelectMatch::Yes;
  if (ProbeHasNull < 0) ProbeHasNull = ProbeKeyHolds(nullptr) ? 1 : 0;
  return ProbeHasNull != 0 ? TSubSelectMatch::Unknown : TSubSelectMatch::No;
}

void TSelectQuery::HoldProbeLock() {
  if (ProbeSlot < 0 || ProbeLockHeld || Runs.empty()) return;
  TDataTable& table = Runs.front().Source->Cursor->Table();
  if (table.HoldsReadLockA()) return;
  table.ReadLockA();
  ProbeLockHeld = true;
}

void TSelectQuery::ReleaseProbeLock() {
  if (!ProbeLockHeld) return;
  ProbeLockHeld = false;
  Runs.front().Source->Cursor->Table().ReleaseReadLockA();
}

TSubSelectMatch TSelectQuery::Contains(const TExpToken& value) {
  if (ProbeSlot >= 0) return ProbeMembership(value);
  TDataCursor* cursor = ResultCursor();
  if (cursor == nullptr || Visible < 1) return TSubSelectMatch::No;
  if (!Members.Loaded()) {
    TExpressionCollation collation;
    collation.Language = Language;
    collation.Sort = Sort;
    Members.Load(*cursor, collation);
  }
  return Members.Find(value);
}

}  // namespace quarry
