// Preparation of a SELECT query block: source tables, result columns and their names,
// condition and HAVING checks, ORDER BY / GROUP BY resolution. See select_query.h;
// execution is in select_run.cpp.
#include "engine/sql/select_query.h"

#include <algorithm>

#include "engine/platform/locale_services.h"
#include "engine/sql/expression_error.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/result_columns.h"
#include "engine/sql/select_conditions.h"
#include "engine/sql/type_checker.h"
#include "engine/storage/table/session.h"
#include "engine/values/token_stack.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

constexpr std::size_t kMaxColumns = 1024;

bool SameName(const std::string& a, const std::string& b) { return SameTextIgnoringCase(a, b); }

uint8_t AggregateOf(TAggregateKind kind) { return static_cast<uint8_t>(kind); }

uint8_t AggregateOfOpCode(uint8_t code) {
  switch (code) {
  case op::Sum: return agg::Sum;
  case op::RunSum: return agg::RunSum;
  case op::Min: return agg::Min;
  case op::Max: return agg::Max;
  case op::Avg: return agg::Avg;
  case op::Count: return agg::Count;
  default: return agg::None;
  }
}

bool IsStar(const TExpToken* n) { return n != nullptr && n->NodeClass == nc::Column && n->ColumnName == "*"; }

// A result field definition for a value of the given node type.
TFieldDefinition DefinitionForType(uint8_t type, uint8_t subType, int32_t valueSize, uint8_t scale) {
  TFieldDefinition def;
  if (type == vt::Unknown) {
    type = vt::String;
    valueSize = 2;
  }
  def.DataType = static_cast<TFieldType>(type);
  def.SubType = subType == st::AutoInc ? st::None : subType;
  if (type == vt::String) def.Size = static_cast<uint8_t>(std::clamp<int32_t>(valueSize - 1, 1, MaxDeclaredSize));
  else if (type == vt::Bytes || type == vt::VarBytes)
    def.Size = static_cast<uint8_t>(std::clamp<int32_t>(valueSize, 1, MaxDeclaredSize));
  def.Scale = type == vt::Bcd ? scale : 0;
  return def;
}

// The origin of a column read from a source table: "table.column", cut to its limit.
void SetOrigin(TResultColumn& column, const TSelectSource& source, const TFieldDefinition& field) {
  column.Origin = (source.TableName + "." + field.Name).substr(0, MaxFieldOriginLength);
  column.OriginDatabase = source.Cursor->Directory().DatabaseName();
  column.Definition.Origin = column.Origin;
  column.Definition.OriginDatabase = column.OriginDatabase;
}

void CheckColumnSize(uint8_t type, int32_t valueSize, const std::string& text) {
  const bool tooLong = (type == vt::String && valueSize >= 252) ||
                       ((type == vt::Bytes || type == vt::VarBytes) && valueSize > MaxDeclaredSize);
  if (tooLong) RaiseSqlError("Column expression '" + text + "'" + " exceeds the maximum allowable field size");
}

}  // namespace

TSelectQuery::TSelectQuery(TDataQuery& query, TQueryStatement& statement, TExpressionOwner& hooks)
    : block_(query, hooks), statement_(statement) {}

TSelectQuery::~TSelectQuery() {
  try {
    result_.reset();
    CloseSources();
  } catch (...) {
    // Closing tables of a freed statement cannot report anything.
  }
}

void TSelectQuery::CloseSources() {
  for (auto& source : block_.Sources) {
    if (source->Source != nullptr) source->Source->Cursor = nullptr;
    source->Cursor.reset();
  }
  block_.Sources.clear();
  if (TDataDirectory* db = statement_.Database()) {
    for (TDataDirectory* directory : ownedDirectories_) db->Session().CloseDirectory(*directory);
  }
  ownedDirectories_.clear();
  intoDirectory_ = nullptr;
}

void TSelectQuery::Prepare() {
  OpenSources();
  LayOutResultColumns();
  CheckAggregates();
  CheckCondition();
  // A dry run of the plan over the checked tree raises the join errors now.
  plan_.Check(block_);
  PrepareHaving();
  ResolveOrderAndGroup();
  DecideLive();
}

// ---- step 1: source tables ----

void TSelectQuery::OpenSources() {
  TDataDirectory* database = statement_.Database();
  if (database == nullptr) RaiseEngineError(QUARRY_SQLPARSE, {.message = "No database for the statement"});
  // Only the cursor of a live result is written through.
  const bool readOnly = !(block_.Query.LiveRequest && block_.Query.SourceTables.size() == 1);
  for (const auto& table : block_.Query.SourceTables)
    block_.Sources.push_back(OpenSelectSource(*table, statement_, readOnly, ownedDirectories_));
  std::vector<TSelectSource*> list;
  for (auto& s : block_.Sources) list.push_back(s.get());
  block_.ColumnSource.SetSources(std::move(list));
  if (block_.Query.LanguageGiven) {
    block_.Language = block_.Query.LanguageId;
    block_.Sort = block_.Query.SortId;
  } else if (!block_.Sources.empty()) {
    // Fixed while the table is open (changing them needs it alone): no read lock needed.
    block_.Language = block_.Sources.front()->Cursor->LanguageId();
    block_.Sort = block_.Sources.front()->Cursor->SortId();
  }
}

// ---- step 2: result columns ----

void TSelectQuery::LayOutResultColumns() {
  block_.Columns.clear();
  block_.Columns.reserve(block_.Query.ResultFields.size() + 8);
  for (const auto& field : block_.Query.ResultFields) {
    if (field->Aggregate == TAggregateKind::None && IsStar(field->Expression.get())) AddStarColumns(*field);
    else AddResultColumn(*field);
    if (block_.Columns.size() > kMaxColumns)
      RaiseSqlError("Maximum number of columns (" + std::to_string(kMaxColumns) + ") in result set exceeded");
  }
  block_.Visible = static_cast<int>(block_.Columns.size());
  NameResultColumns();
  AddAvgCounters();
  for (std::size_t i = 0; i < block_.Columns.size(); ++i) {
    block_.Columns[i].Definition.FieldNo = static_cast<uint16_t>(i + 1);
    block_.Columns[i].Definition.Name = block_.Columns[i].Name;
  }
}

void TSelectQuery::AddStarColumns(const TResultField& field) {
  const TExpToken& star = *field.Expression;
  std::vector<TSelectSource*> tables;
  if (star.TableName.empty()) {
    tables = block_.ColumnSource.All();
  } else {
    TSelectSource* source = block_.ColumnSource.FindCorrelation(star.TableName);
    if (source == nullptr)
      RaiseSqlError("Invalid column name '" + star.ColumnName + "' or table correlation name '" + star.TableName +
                    "' specified in source columns");
    if (field.AliasGiven)
      RaiseSqlError("Invalid use of column correlation name '" + field.ResultName + "'" + " for '" +
                    field.ExpressionText + "' specified in source columns");
    tables.push_back(source);
  }
  for (TSelectSource* source : tables) {
    for (const TFieldDefinition& sourceField : source->Cursor->Fields()) {
      TResultColumn column;
      column.Plain = true;
      column.FromStar = true;
      column.Source = source;
      column.SourceFieldNo = sourceField.FieldNo;
      column.Correlation = source->Correlation;
      column.ColumnName = sourceField.Name;
      column.Text = source->Correlation + "." + sourceField.Name;
      column.OwnedExpression = NewToken();
      column.OwnedExpression->NodeClass = nc::Column;
      column.OwnedExpression->ColumnName = sourceField.Name;
      column.OwnedExpression->TableName = source->Correlation;
      column.OwnedExpression->Text = column.Text;
      SetColumnType(*column.OwnedExpression, sourceField);
      column.OwnedExpression->SourceTable = source->Source;
      column.Expression = column.OwnedExpression.get();
      column.Definition = sourceField;
      column.Definition.SubType = sourceField.SubType == st::AutoInc ? st::None : sourceField.SubType;
      column.Definition.Required = false;
      column.Definition.Computed = false;
      column.Definition.Expression = nullptr;
      SetOrigin(column, *source, sourceField);
      block_.Columns.push_back(std::move(column));
    }
  }
}

void TSelectQuery::AddResultColumn(const TResultField& field) {
  TResultField& writable = const_cast<TResultField&>(field);
  TCheckOptions options;
  options.ErrorCode = kSqlErrorCode;
  options.StringsMayBeColumns = true;
  options.RewriteBooleanColumns = false;
  options.Resolver = &block_.ColumnSource;
  options.Owner = &block_.Hooks;
  options.Context = "source column expression";
  CheckExpression(options, writable.Expression);

  TResultColumn column;
  column.Text = field.ExpressionText;
  if (field.AliasGiven) column.Alias = field.ResultName;
  column.Aggregate = AggregateOf(field.Aggregate);
  const TExpToken* node = field.Expression.get();
  if (column.Aggregate == agg::None && node->NodeClass == nc::Function)
    column.Aggregate = AggregateOfOpCode(node->OpCode);
  if (column.Aggregate != agg::None) {
    const TExpToken* argument = node->Arg(0);
    column.Expression = argument;
    if (argument != nullptr && argument->NodeClass == nc::Column && !IsStar(argument)) {
      column.Source = block_.ColumnSource.SourceOf(*argument);
      column.SourceFieldNo = argument->FieldNo;
    }
    if (column.Source != nullptr) {
      column.Correlation = column.Source->Correlation;
      column.ColumnName = column.Source->Cursor->Fields()[static_cast<std::size_t>(column.SourceFieldNo - 1)].Name;
    } else if (IsStar(argument)) {
      column.ColumnName = "*";
    }
    const uint8_t argType = argument != nullptr && !IsStar(argument) ? argument->DataType : vt::Integer;
    const uint8_t stored = AggregateResultType(column.Aggregate, argType);
    const int32_t size = stored == argType && argument != nullptr ? argument->ValueSize : FixedSizeOfType(stored);
    column.Definition = DefinitionForType(stored, stored == argType && argument ? argument->SubType : st::None, size,
                                          argument ? argument->Scale : 0);
  } else if (node->NodeClass == nc::Column) {
    column.Plain = true;
    column.Expression = node;
    column.Source = block_.ColumnSource.SourceOf(*node);
    column.SourceFieldNo = node->FieldNo;
    if (column.Source == nullptr)
      RaiseSqlError("Invalid column name '" + node->ColumnName + "' specified in source columns");
    const TFieldDefinition& sourceField =
        column.Source->Cursor->Fields()[static_cast<std::size_t>(column.SourceFieldNo - 1)];
    column.Correlation = column.Source->Correlation;
    column.ColumnName = sourceField.Name;
    column.Definition = sourceField;
    column.Definition.SubType = sourceField.SubType == st::AutoInc ? st::None : sourceField.SubType;
    column.Definition.Required = false;
    column.Definition.Computed = false;
    column.Definition.Expression = nullptr;
    SetOrigin(column, *column.Source, sourceField);
  } else {
    column.Expression = node;
    CheckColumnSize(node->DataType, node->ValueSize, field.ExpressionText);
    column.Definition = DefinitionForType(node->DataType, node->SubType, node->ValueSize, node->Scale);
  }
  block_.Columns.push_back(std::move(column));
}

void TSelectQuery::NameResultColumns() {
  std::vector<TResultNameInput> inputs;
  inputs.reserve(block_.Columns.size());
  for (const TResultColumn& column : block_.Columns) {
    TResultNameInput input;
    input.Alias = column.Alias;
    input.ColumnName = column.ColumnName;
    input.Plain = column.Plain;
    input.FromStar = column.FromStar;
    input.Aggregate = column.Aggregate;
    inputs.push_back(std::move(input));
  }
  const std::vector<std::string> names = AssignResultNames(inputs);
  for (std::size_t i = 0; i < block_.Columns.size(); ++i) block_.Columns[i].Name = names[i];
}

void TSelectQuery::AddAvgCounters() {
  const std::size_t visible = block_.Columns.size();
  for (std::size_t i = 0; i < visible; ++i) {
    if (block_.Columns[i].Aggregate != agg::Avg) continue;
    TResultColumn counter;
    counter.Hidden = true;
    counter.Name = AvgCounterName(static_cast<int>(i + 1));
    // The counter is found by its internal mark, not its name: a result column that
    // happens to bear the name keeps it, and the counter takes another.
    const std::string base = counter.Name;
    auto taken = [&](const std::string& name) {
      return std::any_of(block_.Columns.begin(), block_.Columns.end(),
                         [&](const TResultColumn& c) { return SameName(c.Name, name); });
    };
    for (int n = 1; taken(counter.Name); ++n) counter.Name = base + "_" + std::to_string(n);
    counter.Definition = DefinitionForType(vt::Integer, st::None, 4, 0);
    counter.Definition.Internal = true;
    block_.Columns[i].CounterColumn = static_cast<int>(block_.Columns.size());
    block_.Columns.push_back(std::move(counter));
  }
}

// ---- step 3: aggregates ----

void TSelectQuery::CheckAggregates() {
  bool anyAggregate = false;
  bool columnOutsideAggregate = false;
  for (int i = 0; i < block_.Visible; ++i) {
    const TResultColumn& c = block_.Columns[static_cast<std::size_t>(i)];
    if (c.Aggregate != agg::None) anyAggregate = true;
    else if (c.Plain || ReadsColumn(c.Expression)) columnOutsideAggregate = true;
  }
  if (block_.Query.HavingPresent && !block_.Query.GroupByPresent)
    RaiseSqlError("A GROUP BY clause must exist in order to use the HAVING clause");
  if (anyAggregate && columnOutsideAggregate && !block_.Query.GroupByPresent)
    RaiseSqlError("Invalid use of aggregate function(s), the necessary GROUP BY clause is missing");
  block_.Distinct = block_.Query.Distinct && !block_.Query.GroupByPresent;
  // Aggregates whose every column is an aggregate (or reads no column) give one row.
  block_.WholeTableGroup = anyAggregate && !columnOutsideAggregate && !block_.Query.GroupByPresent;
}

// ---- the condition and the joins ----

void TSelectQuery::CheckCondition() {
  if (!block_.Query.Condition) return;
  CheckBooleanClause(block_.Query.Condition, block_.ColumnSource, block_.Hooks, "WHERE or JOIN clause");
}

// ---- HAVING ----

void TSelectQuery::PrepareHaving() {
  if (!block_.Query.Having) return;
  auto sameColumn = [](const TResultColumn& c, const TExpToken& column) {
    if (!SameName(c.ColumnName, column.ColumnName)) return false;
    return column.TableName.empty() || SameName(c.Correlation, column.TableName);
  };
  // Aggregates become references to the result column that computes them; other names are
  // result columns by correlation and column name or by result name.
  std::vector<TExpToken*> stack{block_.Query.Having.get()};
  for (std::size_t guard = 0; !stack.empty() && guard < 1000000; ++guard) {
    TExpToken* n = stack.back();
    stack.pop_back();
    if (n == nullptr) continue;
    const uint8_t aggregate = n->NodeClass == nc::Function ? AggregateOfOpCode(n->OpCode) : agg::None;
    if (aggregate != agg::None) {
      const TExpToken* argument = n->Arg(0);
      const TResultColumn* match = nullptr;
      for (int i = 0; i < block_.Visible && match == nullptr; ++i) {
        const TResultColumn& c = block_.Columns[static_cast<std::size_t>(i)];
        if (c.Aggregate != aggregate || argument == nullptr) continue;
        if (IsStar(argument) ? c.ColumnName == "*" : (argument->NodeClass == nc::Column && sameColumn(c, *argument)))
          match = &c;
      }
      if (match == nullptr) RaiseSqlError("Expression in HAVING clause not found in source columns");
      for (TExpToken*& a : n->Args) {
        TExpTree release(a);
        a = nullptr;
      }
      n->Args.clear();
      n->NodeClass = nc::Column;
      n->OpCode = 0;
      n->ColumnName = match->Name;
      n->TableName.clear();
      continue;
    }
    if (n->NodeClass == nc::Column) {
      for (int i = 0; i < block_.Visible; ++i) {
        const TResultColumn& c = block_.Columns[static_cast<std::size_t>(i)];
        if ((c.Aggregate == agg::None && sameColumn(c, *n)) ||
            (n->TableName.empty() && SameName(c.Name, n->ColumnName))) {
          n->ColumnName = c.Name;
          n->TableName.clear();
          break;
        }
      }
      continue;
    }
    stack.push_back(n->Left);
    stack.push_back(n->Right);
    for (TExpToken* a : n->Args) stack.push_back(a);
  }
  std::vector<TFieldDefinition> fields;
  for (const TResultColumn& c : block_.Columns) fields.push_back(c.Definition);
  TRecordColumnSource resolver(fields);
  CheckBooleanClause(block_.Query.Having, resolver, block_.Hooks, "HAVING clause");
}

// ---- ORDER BY and GROUP BY ----

int TSelectQuery::ResolveResultColumn(const std::string& correlation, const std::string& name, int number,
                                      const std::string& clause, bool allowAggregates) {
  if (name.empty()) {
    const bool blob = number >= 1 && number <= block_.Visible &&
                      block_.Columns[static_cast<std::size_t>(number - 1)].Definition.IsBlob();
    if (number < 1 || number > block_.Visible || blob)
      RaiseSqlError("Invalid column number '" + std::to_string(number) + "'" + " specified in " + clause + " clause");
    return number - 1;
  }
  for (int i = 0; i < block_.Visible; ++i) {
    const TResultColumn& c = block_.Columns[static_cast<std::size_t>(i)];
    const bool plainMatch = c.Aggregate == agg::None && !c.ColumnName.empty() && SameName(c.ColumnName, name) &&
                            (correlation.empty() || SameName(c.Correlation, correlation));
    const bool nameMatch =
        correlation.empty() && SameName(c.Name, name) && (allowAggregates || c.Aggregate == agg::None);
    if (plainMatch || nameMatch) return i;
  }
  RaiseSqlError("Invalid column name '" + (correlation.empty() ? name : correlation + "." + name) + "'" +
                " specified in " + clause + " clause");
}

void TSelectQuery::ResolveOrderAndGroup() {
  if (block_.Query.OrderByFields.size() > kMaxColumns)
    RaiseSqlError("Maximum number of columns (" + std::to_string(kMaxColumns) + ") in ORDER BY clause " + "exceeded");
  if (block_.Query.GroupByFields.size() > kMaxColumns)
    RaiseSqlError("Maximum number of columns (" + std::to_string(kMaxColumns) + ") in GROUP BY clause " + "exceeded");
  if (block_.Distinct && block_.Visible > static_cast<int>(kMaxColumns))
    RaiseSqlError("Maximum number of columns (" + std::to_string(kMaxColumns) + ") in DISTINCT clause " + "exceeded");
  block_.OrderColumns.clear();
  block_.OrderDescending.clear();
  for (const auto& item : block_.Query.OrderByFields) {
    const int column =
        ResolveResultColumn(item->CorrelationName, item->ColumnName, item->ColumnNumber, "ORDER BY", true);
    item->ResultColumn = column + 1;
    block_.OrderColumns.push_back(column);
    block_.OrderDescending.push_back(item->Descending);
  }
  block_.GroupColumns.clear();
  for (const auto& item : block_.Query.GroupByFields) {
    const int column =
        ResolveResultColumn(item->CorrelationName, item->ColumnName, item->ColumnNumber, "GROUP BY", false);
    if (block_.Columns[static_cast<std::size_t>(column)].Definition.IsBlob())
      RaiseSqlError("Invalid BLOB column '" + item->ColumnName + "'" + " specified in GROUP BY clause");
    item->ResultColumn = column + 1;
    block_.GroupColumns.push_back(column);
  }
  if (block_.Distinct) {
    for (int i = 0; i < block_.Visible; ++i)
      if (block_.Columns[static_cast<std::size_t>(i)].Definition.IsBlob())
        RaiseSqlError("Invalid BLOB column '" + block_.Columns[static_cast<std::size_t>(i)].Name + "'" +
                      " specified in DISTINCT clause");
  }
  // A DISTINCT that can remove no row is not carried out, only its order kept: the rows then
  // need one sort at most, which an index may give, and may stream.
  TDistinctOrder distinctOrder;
  distinctDropped_ = DistinctRemovesNothing(block_, distinctOrder);
  if (distinctDropped_) {
    block_.Distinct = false;
    block_.OrderColumns = std::move(distinctOrder.Columns);
    block_.OrderDescending = std::move(distinctOrder.Descending);
  }
  const bool allAscending =
      std::none_of(block_.OrderDescending.begin(), block_.OrderDescending.end(), [](bool d) { return d; }) &&
      !block_.Query.OrderByNoCase;
  block_.OrderSatisfied = false;
  if (!block_.OrderColumns.empty() && allAscending) {
    if (block_.Query.GroupByPresent) {
      block_.OrderSatisfied = block_.OrderColumns == block_.GroupColumns;
    } else if (block_.Distinct) {
      std::vector<int> all(static_cast<std::size_t>(block_.Visible));
      for (int i = 0; i < block_.Visible; ++i) all[static_cast<std::size_t>(i)] = i;
      block_.OrderSatisfied = block_.OrderColumns == all;
    }
  }
}

// ---- step 5: live or canned ----

void TSelectQuery::DecideLive() {
  const TLiveChoice choice = ChooseLive(block_, statement_.Queries().size() == 1);
  live_ = choice.Live;
  block_.Query.LiveResult = choice.Live;
  if (live_) liveResult_.Attach(block_, choice.Slot);
  streamable_ = !live_ && TStreamResult::Possible(block_, statement_.Queries().size() == 1);
}

}  // namespace quarry
