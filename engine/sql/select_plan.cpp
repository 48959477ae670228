// Planning one execution of a SELECT query block: the join plan, access paths, the walk's
// shortcuts, the index order and the live decision. See select_plan.h.
#include "engine/sql/select_plan.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <set>

#include "engine/sql/expression_error.h"
#include "engine/sql/expression_preparer.h"
#include "engine/sql/result_columns.h"
#include "engine/sql/select_conditions.h"
#include "engine/sql/sub_select_members.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

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

// Whether the fields of source (field numbers) hold every field of one of its unique
// indexes (in the slots up to lastSlot). String keys count only when the rows are compared
// by the table's own collation: another could make two keys the index tells apart equal.
bool FieldsHoldUniqueKey(const TSelectBlock& block, const TSelectSource& source, const std::vector<int>& fieldNos,
                         int lastSlot = MaxSecondaryIndexes) {
  const TDataCursor& cursor = *source.Cursor;
  const std::vector<TFieldDefinition>& fields = cursor.TableFields();
  const bool sameCollation = cursor.LanguageId() == block.Language && cursor.SortId() == block.Sort;
  for (int slot = PrimarySlot; slot <= lastSlot; ++slot) {
    const TIndexDefinition& index = cursor.GetIndexDefinition(slot);
    // A temporary index is made for one reader and vouches for nothing.
    if (!index.Defined() || !index.Unique || index.Temporary || index.FieldCount == 0) continue;
    bool covered = true;
    for (int k = 0; k < index.FieldCount && covered; ++k) {
      const int fieldNo = index.FieldNumbers[static_cast<std::size_t>(k)];
      covered = fieldNo >= 1 && fieldNo <= static_cast<int>(fields.size()) &&
                std::find(fieldNos.begin(), fieldNos.end(), fieldNo) != fieldNos.end() &&
                (sameCollation || fields[static_cast<std::size_t>(fieldNo - 1)].DataType != TFieldType::String);
    }
    if (covered) return true;
  }
  return false;
}

// The source fields that result columns show as plain columns of source.
std::vector<int> PlainFieldsOf(const TSelectBlock& block, const TSelectSource& source,
                               const std::vector<int>& columns) {
  std::vector<int> fieldNos;
  for (int i : columns) {
    const TResultColumn& c = block.Columns[static_cast<std::size_t>(i)];
    if (c.Plain && c.Source == &source) fieldNos.push_back(c.SourceFieldNo);
  }
  return fieldNos;
}

}  // namespace

bool DistinctRemovesNothing(const TSelectBlock& block, TDistinctOrder& order) {
  const TDataQuery& query = block.Query;
  if (!block.Distinct || block.Sources.size() != 1 || block.UnionInvolved()) return false;
  if (query.GroupByPresent || block.WholeTableGroup) return false;
  // NOCASE orders case-insensitively rows that DISTINCT's sort put in case-sensitive order.
  if (query.OrderByNoCase) return false;
  const TSelectSource& source = *block.Sources.front();
  // The order DISTINCT's sort leaves: the ORDER BY's columns, then every other column
  // ascending; it ends where the columns so far hold a unique key, as no two rows tie there.
  std::vector<int> columns = block.OrderColumns;
  std::vector<bool> descending = block.OrderDescending;
  for (int i = 0; i < block.Visible; ++i) {
    if (std::find(columns.begin(), columns.end(), i) != columns.end()) continue;
    columns.push_back(i);
    descending.push_back(false);
  }
  for (std::size_t n = 1; n <= columns.size(); ++n) {
    const std::vector<int> leading(columns.begin(), columns.begin() + static_cast<std::ptrdiff_t>(n));
    if (!FieldsHoldUniqueKey(block, source, PlainFieldsOf(block, source, leading))) continue;
    n = std::max(n, block.OrderColumns.size());
    order.Columns.assign(columns.begin(), columns.begin() + static_cast<std::ptrdiff_t>(n));
    order.Descending.assign(descending.begin(), descending.begin() + static_cast<std::ptrdiff_t>(n));
    return true;
  }
  return false;
}

TLiveChoice ChooseLive(const TSelectBlock& block, bool onlyQuery) {
  const TDataQuery& query = block.Query;
  if (!query.LiveRequest || query.Nested || query.UnionPart || query.UnionFollows) return {};
  if (!onlyQuery || block.Sources.size() != 1) return {};
  if (!query.IntoTableName.empty() || query.IntoMemory) return {};
  if (query.Distinct || query.GroupByPresent || query.HavingPresent || query.Top >= 0) return {};
  // A row limit cannot be kept by a cursor on the whole table.
  if (query.MaxRowCount >= 0) return {};
  for (const TResultColumn& c : block.Columns) {
    // An aggregate sums up rows: a view of single records cannot show it.
    if (c.Aggregate != agg::None || c.Hidden) return {};
    if (!c.Plain && c.Definition.IsBlob()) return {};
  }
  TLiveChoice choice;
  if (!block.OrderColumns.empty()) {
    // The ORDER BY must be an index of the table, which then orders the cursor.
    const TSelectSource& source = *block.Sources.front();
    TOrderByKeys keys;
    if (!block.OrderKeysOf(source, keys)) return {};
    const TDataCursor& cursor = *source.Cursor;
    choice.Slot = FindOrderIndex([&](int slot) -> const TIndexDefinition& { return cursor.GetIndexDefinition(slot); },
                                 keys, TOrderUse::LiveCursor)
                      .Slot;
    if (choice.Slot < 0) return {};
  }
  choice.Live = true;
  return choice;
}

void TSelectPlan::Check(const TSelectBlock& block) {
  prepared_.clear();
  if (!block.Query.Condition || block.Sources.size() < 2) return;
  std::vector<const TExpToken*> parts;
  SplitAnd(block.Query.Condition.get(), parts);
  PlanJoins(block, parts, false);
}

void TSelectPlan::Make(const TSelectBlock& block, bool rowsStream) {
  rowsStream_ = rowsStream;
  filters_.Reset();
  prepared_.clear();
  std::vector<const TExpToken*> parts;
  SplitAnd(block.Query.Condition.get(), parts);
  TPrepareOptions options;
  options.Owner = &block.Hooks;
  options.Provider = const_cast<TSelectColumnSource*>(&block.ColumnSource);
  options.Language = block.Language;
  options.Sort = block.Sort;
  for (const TExpToken* part : parts) prepared_.push_back(PrepareExpression(*part, options));
  parts.clear();
  for (const TExpTree& c : prepared_) parts.push_back(c.get());
  preparing_ = options;
  PlanJoins(block, parts, true);
  ChooseDistinctLevel(block);
  ChooseKeySets(block);
  UseIndexOrder(block);
}

int TSelectPlan::OuterJoinMatchTable(const TExpToken& part, uint64_t tables, const std::vector<int>& position) const {
  if (part.OuterJoinOn == 0) return -1;
  int inner = OnlyTable(tables);  // unnamed inner table: a part on one table alone
  if (part.OuterJoinInner != nullptr) {
    inner = -1;
    for (std::size_t t = 0; t < runs_.size(); ++t)
      if (runs_[t].Source->Source == part.OuterJoinInner) inner = static_cast<int>(t);
  }
  if (inner < 0 || runs_[static_cast<std::size_t>(inner)].Kind != jk::LeftOuter) return -1;
  for (std::size_t t = 0; t < runs_.size(); ++t)
    if (((tables >> t) & 1U) && position[t] > position[static_cast<std::size_t>(inner)]) return -1;
  return inner;
}

void TSelectPlan::PlanJoins(const TSelectBlock& block, const std::vector<const TExpToken*>& parts, bool forExecution) {
  const int count = static_cast<int>(block.Sources.size());
  if (count > 64) RaiseSqlError("Internal join optimization error");
  runs_.assign(static_cast<std::size_t>(count), TTableRun{});
  for (int t = 0; t < count; ++t)
    runs_[static_cast<std::size_t>(t)].Source = block.Sources[static_cast<std::size_t>(t)].get();
  plan_ = TJoinPlan(count);
  struct TOther {
    const TExpToken* Node;
    uint64_t Tables;
  };
  std::vector<TOther> others;
  for (const TExpToken* part : parts) {
    const uint64_t tables = TablesRead(part, block.ColumnSource);
    if (count > 1 && IsComparison(*part) && ReadsColumn(part->Left) && ReadsColumn(part->Right)) {
      const uint64_t left = TablesRead(part->Left, block.ColumnSource);
      const uint64_t right = TablesRead(part->Right, block.ColumnSource);
      if (std::popcount(left) > 1 || std::popcount(right) > 1)
        RaiseSqlError(
            "The join condition cannot contain multiple table correlation names in either the left or right "
            "operand in WHERE or JOIN clause");
      if (OnlyTable(left) >= 0 && OnlyTable(right) >= 0 && left != right) {
        plan_.AddComparison(const_cast<TExpToken*>(part), OnlyTable(left), OnlyTable(right), part->JoinKind);
        continue;
      }
    }
    others.push_back({part, tables});
  }
  const int fault = plan_.Finish();
  if (fault >= 0)
    RaiseSqlError("Internal join error - table correlation name \"" +
                  block.Sources[static_cast<std::size_t>(fault)]->Correlation + "\" is target of multiple " +
                  "join conditions in WHERE or JOIN clause");
  if (fault == -2) RaiseSqlError("Internal join optimization error");

  for (const TOther& other : others) {
    const int only = OnlyTable(other.Tables);
    if (only >= 0) runs_[static_cast<std::size_t>(only)].SingleConditions.push_back(other.Node);
  }
  if (!forExecution) return;  // the dry run of preparation stops here
  InstallFilters(block, preparing_);

  const TEvalContext context = block.Context();
  if (count > 1 && !block.Query.NoJoinOptimize) {
    // Rows each table shows through its own conditions, from index ranges where one applies.
    std::vector<int64_t> rows(static_cast<std::size_t>(count), 0);
    for (int t = 0; t < count; ++t) {
      TTableRun& run = runs_[static_cast<std::size_t>(t)];
      run.Access.Choose(*run.Source, run.SingleConditions, [](const TExpToken& e) { return !ReadsColumn(&e); });
      // An IN path shows one value's range at a time: its values stand for its rows.
      const bool mayMatch = run.Access.Position(*run.Source, context);
      rows[static_cast<std::size_t>(t)] = !mayMatch                       ? 0
                                          : run.Access.ReadsValueRanges() ? run.Access.ValueCount()
                                                                          : run.Source->Cursor->RecordCount();
    }
    plan_.ChooseDriver(rows);
  }

  const std::vector<int>& order = plan_.Order();
  std::vector<int> position(static_cast<std::size_t>(count), 0);
  for (std::size_t i = 0; i < order.size(); ++i) position[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
  for (int t = 0; t < count; ++t) {
    TTableRun& run = runs_[static_cast<std::size_t>(t)];
    if (const TJoinEdge* edge = plan_.EdgeInto(t)) {
      run.Kind = edge->Kind;
      for (const TJoinComparison& c : edge->Comparisons) run.JoinConditions.push_back(c.Node);
    }
  }
  for (const TOther& other : others) {
    if (filters_.Installed(other.Node)) continue;  // the cursor's filter answers it
    // A part of an outer join's ON condition belongs to the match when it reads the inner
    // table or the tables before it: an outer row whose inner rows all fail it still
    // appears once, with NULLs.
    if (const int inner = OuterJoinMatchTable(*other.Node, other.Tables, position); inner >= 0) {
      runs_[static_cast<std::size_t>(inner)].JoinConditions.push_back(other.Node);
      continue;
    }
    int deepest = order.front();
    for (int t = 0; t < count; ++t)
      if ((other.Tables >> t) & 1U)
        if (position[static_cast<std::size_t>(t)] > position[static_cast<std::size_t>(deepest)] ||
            !((other.Tables >> deepest) & 1U))
          deepest = t;
    runs_[static_cast<std::size_t>(deepest)].WhereConditions.push_back(other.Node);
  }
  for (int t = 0; t < count; ++t) {
    TTableRun& run = runs_[static_cast<std::size_t>(t)];
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
      const uint64_t tables = TablesRead(&e, block.ColumnSource);
      for (int u = 0; u < count; ++u)
        if (((tables >> u) & 1U) && position[static_cast<std::size_t>(u)] >= here) return false;
      return true;
    });
    // A range that moves with the outer row, or from one IN value to the next, would
    // rebuild filters built inside it each time: they are built over the whole table once.
    if (run.Access.DependsOnOuter() || run.Access.ReadsValueRanges()) run.Source->Cursor->PrepareFilters();
  }
}

void TSelectPlan::InstallFilters(const TSelectBlock& block, const TPrepareOptions& options) {
  for (std::size_t t = 0; t < runs_.size(); ++t) {
    TTableRun& run = runs_[t];
    if (run.SingleConditions.empty()) continue;
    // The inner table of a left outer join tests its conditions once the join matched.
    if (const TJoinEdge* edge = plan_.EdgeInto(static_cast<int>(t)); edge != nullptr && edge->Kind == jk::LeftOuter)
      continue;
    // The condition an index range answers stays with the range: it reads no more keys
    // than a filter would and needs no bitmap.
    run.Access.Choose(*run.Source, run.SingleConditions, [](const TExpToken& e) { return !ReadsColumn(&e); });
    // The records of the range, from the index's counts, are what a filter would start from.
    std::optional<std::int64_t> rangeRecords;
    const auto countRange = [&] {
      if (!rangeRecords) {
        rangeRecords = -1;
        if (run.Access.ReadsValueRanges()) {
          // About one record per value: what the ranges read.
          rangeRecords = run.Access.ValueCount();
        } else if (run.Access.UsesIndex()) {
          TDataCursor& cursor = *run.Source->Cursor;
          if (!run.Access.Position(*run.Source, block.Context())) rangeRecords = 0;
          else if (cursor.RangeActive()) rangeRecords = cursor.RecordCount();
        }
      }
      return *rangeRecords;
    };
    filters_.Install(*run.Source, run.SingleConditions, run.Access.RangeConditions(), options, countRange);
    std::erase_if(run.SingleConditions, [&](const TExpToken* c) { return filters_.Installed(c); });
  }
}

void TSelectPlan::ChooseDistinctLevel(const TSelectBlock& block) {
  // DISTINCT whose columns all come from the first tables of the loop: once a row was
  // written for the current rows of those tables, the tables below them can only repeat it.
  // (A maximum row count counts the rows walked, duplicates included: it keeps every one.)
  distinctLevel_ = -1;
  if (!block.Distinct || block.WholeTableGroup || block.Query.GroupByPresent || runs_.size() < 2 ||
      block.Query.MaxRowCount >= 0)
    return;
  const std::vector<int>& order = plan_.Order();
  std::vector<int> position(order.size(), 0);
  for (std::size_t i = 0; i < order.size(); ++i) position[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
  auto runOf = [&](const TSourceTable* table) {
    for (std::size_t t = 0; t < runs_.size(); ++t)
      if (runs_[t].Source->Source == table) return static_cast<int>(t);
    return -1;
  };
  // A column equal by its join comparison to an integer column of the same type of an
  // outer table holds that table's value: it is read from there (C.VIDEOID = V.VIDEOID).
  auto outerTwin = [&](int t, int fieldNo) -> std::pair<int, int> {
    const TFieldDefinition& field =
        runs_[static_cast<std::size_t>(t)].Source->Cursor->Fields()[static_cast<std::size_t>(fieldNo - 1)];
    if (!IntegerFamily(static_cast<uint8_t>(field.DataType))) return {-1, 0};
    for (const TExpToken* c : runs_[static_cast<std::size_t>(t)].JoinConditions) {
      if (c->NodeClass != nc::Binary || c->OpCode != op::Equal) continue;
      for (const auto& [mine, other] : {std::pair{c->Left, c->Right}, std::pair{c->Right, c->Left}}) {
        if (mine == nullptr || other == nullptr || mine->NodeClass != nc::Column || other->NodeClass != nc::Column)
          continue;
        if (runOf(mine->SourceTable) != t || mine->FieldNo != fieldNo) continue;
        const int u = runOf(other->SourceTable);
        if (u < 0 || u == t || other->FieldNo < 1) continue;
        const TFieldDefinition& twin =
            runs_[static_cast<std::size_t>(u)].Source->Cursor->Fields()[static_cast<std::size_t>(other->FieldNo - 1)];
        if (twin.DataType == field.DataType && twin.ValueSize == field.ValueSize) return {u, other->FieldNo};
      }
    }
    return {-1, 0};
  };
  int deepest = 0;
  for (int i = 0; i < block.Visible; ++i) {
    const TResultColumn& c = block.Columns[static_cast<std::size_t>(i)];
    if (c.Aggregate != agg::None) return;
    uint64_t tables = 0;
    if (c.Plain) {
      int t = -1;
      for (std::size_t u = 0; u < runs_.size(); ++u)
        if (runs_[u].Source == c.Source) t = static_cast<int>(u);
      int fieldNo = c.SourceFieldNo;
      for (std::size_t step = 0; t >= 0 && step < runs_.size(); ++step) {
        const auto [u, twinField] = outerTwin(t, fieldNo);
        if (u < 0 || position[static_cast<std::size_t>(u)] >= position[static_cast<std::size_t>(t)]) break;
        t = u;
        fieldNo = twinField;
      }
      if (t >= 0) tables = uint64_t{1} << t;
    } else {
      tables = TablesRead(c.Expression, block.ColumnSource);
    }
    for (std::size_t t = 0; t < runs_.size(); ++t)
      if ((tables >> t) & 1U) deepest = std::max(deepest, position[t]);
  }
  if (deepest + 1 < static_cast<int>(order.size())) distinctLevel_ = deepest;
}

bool TSelectPlan::RowsAlreadyDistinct(const TSelectBlock& block) const {
  // One table (or the driving table, when DISTINCT stops at it), read once per row, whose
  // unique primary key is among the result columns: no two result rows can be equal.
  if (block.Query.UnionFollows || block.Query.UnionPart) return false;
  if (runs_.size() != 1 && distinctLevel_ != 0) return false;
  std::vector<int> visible(static_cast<std::size_t>(std::max(0, block.Visible)));
  for (int i = 0; i < block.Visible; ++i) visible[static_cast<std::size_t>(i)] = i;
  const TSelectSource& source = *runs_[static_cast<std::size_t>(plan_.Order().front())].Source;
  return FieldsHoldUniqueKey(block, source, PlainFieldsOf(block, source, visible), PrimarySlot);
}

void TSelectPlan::ChooseKeySets(const TSelectBlock& block) {
  const std::vector<int>& order = plan_.Order();
  for (std::size_t level = 1; level < order.size(); ++level) {
    TTableRun& run = runs_[static_cast<std::size_t>(order[level])];
    run.KeySetCandidate = false;
    run.KeySetState = -1;
    run.Keys.clear();
    // Existence only: an anti-join, or an inner join below the columns DISTINCT reads that
    // tests nothing else on its rows (its columns reach the result only as copies of the
    // outer column they equal).
    const bool existence = (run.Kind == jk::LeftOuter && run.OnlyUnmatched) ||
                           (run.Kind == jk::Inner && distinctLevel_ >= 0 &&
                            static_cast<std::size_t>(distinctLevel_) < level && run.WhereConditions.empty());
    if (!existence || level + 1 != order.size() || level != 1 || run.JoinConditions.size() != 1) continue;
    const TExpToken* c = run.JoinConditions.front();
    if (c->NodeClass != nc::Binary || c->OpCode != op::Equal || c->Left == nullptr || c->Right == nullptr) continue;
    const TSourceTable* table = run.Source->Source;
    for (const auto& [mine, other] : {std::pair{c->Left, c->Right}, std::pair{c->Right, c->Left}}) {
      if (mine->NodeClass != nc::Column || mine->SourceTable != table || mine->FieldNo < 1 ||
          TablesRead(other, block.ColumnSource) & TablesRead(mine, block.ColumnSource))
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

void TSelectPlan::UseIndexOrder(const TSelectBlock& block) {
  orderByIndex_ = false;
  for (TTableRun& run : runs_) run.Source->Cursor->SetKeysOnly(false);
  const TDataQuery& query = block.Query;
  if (runs_.size() != 1 || block.OrderColumns.empty() || block.Distinct || query.GroupByPresent ||
      block.WholeTableGroup || block.UnionInvolved() || query.MaxRowCount >= 0)
    return;
  TTableRun& run = runs_.front();
  TOrderByKeys keys;
  if (!block.OrderKeysOf(*run.Source, keys)) return;
  TDataCursor& cursor = *run.Source->Cursor;
  // The fields the rows are built from, when every result column is a plain column (and
  // nothing else reads the table): an index whose keys hold them all gives the rows without
  // reading a record.
  std::vector<int> wanted;
  bool plainOnly = query.Condition == nullptr && run.JoinConditions.empty() && run.WhereConditions.empty();
  for (const TResultColumn& c : block.Columns) {
    if (!plainOnly) break;
    if (!c.Plain || c.Source != run.Source) plainOnly = false;
    else wanted.push_back(c.SourceFieldNo);
  }
  const auto UniqueOrder = [&](int slot) {
    const TIndexDefinition& index = cursor.GetIndexDefinition(slot);
    return slot == PrimarySlot && index.Unique && index.FieldCount == static_cast<int>(keys.FieldNumbers.size());
  };
  TIndexOrder order;
  bool keysOnly = false;
  if (run.Access.UsesIndex()) {
    order = IndexServesOrder(cursor.IndexDefinition(), cursor.IndexSlot(), keys, TOrderUse::TableWalk);
  } else {
    // A whole table read in index order fetches its records one by one out of their order;
    // reading it in record order and sorting is quicker, unless TOP needs only its first
    // rows or the index keys hold every value wanted. Streamed to the reader unsorted, the
    // rows may come in the order of a primary index that is exactly the ORDER BY, mostly
    // the records' own order, with no equal keys whose order could differ from the sort's;
    // a secondary index's order costs a read per row, several times the sort of the whole
    // table when the reader reads every row.
    order = FindOrderIndex([&](int slot) -> const TIndexDefinition& { return cursor.GetIndexDefinition(slot); }, keys,
                           TOrderUse::TableWalk,
                           [&](int slot) {
                             keysOnly = plainOnly && cursor.KeyHoldsFields(slot, wanted);
                             return keysOnly || query.Top >= 0 || (rowsStream_ && UniqueOrder(slot));
                           });
    if (order.Served()) cursor.SetIndexSlot(order.Slot);
  }
  // IN's value ranges come in ascending key order only when read forward.
  if (!order.Served() || (order.Backward && run.Access.ReadsValueRanges())) return;
  if (keysOnly) cursor.SetKeysOnly(true);
  run.Backward = order.Backward;
  orderByIndex_ = true;
}

}  // namespace quarry

namespace quarry {

namespace {

// The indexes the served leaves of a filter's tree walk (their slots + 1 are their marks).
void ServingSlots(const TExpToken* n, std::set<int>& slots) {
  if (n == nullptr) return;
  if (n->OptimizeHint2 != 0 && n->OptimizeLevel != 0) slots.insert(n->OptimizeHint2 - 1);
  ServingSlots(n->Left, slots);
  ServingSlots(n->Right, slots);
}

std::string IndexName(const TDataCursor& cursor, int slot) {
  const std::string& name = cursor.GetIndexDefinition(slot).Name;
  return name.empty() ? std::string("primary") : name;
}

std::string PartsText(const std::vector<const TExpToken*>& parts, const TAnsweredConditions& skip) {
  std::string out;
  for (const TExpToken* part : parts) {
    if (skip.Has(part)) continue;
    out += (out.empty() ? "" : " AND ") + ConditionText(*part);
  }
  return out;
}

}  // namespace

std::string TSelectPlan::Text() const {
  std::string out;
  const std::vector<int>& order = plan_.Order();
  for (std::size_t level = 0; level < order.size(); ++level) {
    const TTableRun& run = runs_[static_cast<std::size_t>(order[level])];
    const TDataCursor& cursor = *run.Source->Cursor;
    const bool aliased = run.Source->Correlation != run.Source->TableName;
    out += run.Source->TableName + (aliased ? " " + run.Source->Correlation : std::string()) +
           (level == 0 ? ", driving" : ", joined") + ":\n";
    for (const TInstalledFilter& f : filters_.Filters()) {
      if (f.Source != run.Source) continue;
      const TExpToken* tree = f.Filter->PreparedTree();
      std::set<int> slots;
      ServingSlots(tree, slots);
      std::string indexes;
      for (int slot : slots) indexes += (indexes.empty() ? "" : ", ") + IndexName(cursor, slot);
      const std::int32_t estimate = tree != nullptr ? tree->EstimatedCount : -1;
      out += "  filter " + ConditionText(*f.Part) + ": level " + std::to_string(f.Filter->OptimizeLevel()) +
             ", estimated " + (estimate < 0 ? std::string("unknown") : std::to_string(estimate)) + " records" +
             (indexes.empty() ? std::string() : ", index " + indexes) + "\n";
    }
    if (run.Access.ReadsValueRanges()) {
      out += "  ranges on index " + IndexName(cursor, run.Access.IndexSlot()) + " from the " +
             std::to_string(run.Access.ValueCount()) + " values of " +
             ConditionText(*run.Access.RangeConditions().front()) + "\n";
    } else if (run.Access.UsesIndex()) {
      out += "  range on index " + IndexName(cursor, run.Access.IndexSlot()) + " from " +
             PartsText(run.Access.RangeConditions(), {}) + "\n";
    }
    if (const std::string join = PartsText(run.JoinConditions, {}); !join.empty()) out += "  join " + join + "\n";
    const std::string rest = PartsText(run.WhereConditions, run.Access.Answered());
    out += "  per-row " + (rest.empty() ? std::string("none") : rest) + "\n";
  }
  return out;
}

}  // namespace quarry
