// Running a SELECT statement's query blocks; see select_executor.h.
#include "engine/sql/select_executor.h"

#include <chrono>

#include "engine/sql/expression_error.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/select_query.h"

namespace quarry {

namespace {
const char* UnionWord(const TDataQuery& master) { return master.UnionAll ? "UNION ALL" : "UNION"; }

// The read locks of the tables that IN sub-selects look values up in, held while the
// master query fills.
class TProbeLocks {
 public:
  ~TProbeLocks() {
    for (TSelectQuery* query : Held) {
      try {
        query->ReleaseProbeLock();
      } catch (...) {}
    }
  }
  void Take(TSelectQuery* query) {
    Held.push_back(query);
    query->HoldProbeLock();
  }

 private:
  std::vector<TSelectQuery*> Held;
};
}  // namespace

TSelectExecutor::TSelectExecutor(TQueryStatement& statement) : Statement(statement), AutoIncTables(statement) {}

TSelectExecutor::~TSelectExecutor() {
  Statement.SetExecutionHooks(nullptr);
  // The query states close their tables before the statement frees the queries.
  const auto& queries = Statement.Queries();
  for (auto it = queries.rbegin(); it != queries.rend(); ++it) (*it)->Execution.reset();
}

std::string TSelectExecutor::PlanText() const {
  std::string out;
  const auto& queries = Statement.Queries();
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const TSelectQuery* state = StateOf(queries[i].get());
    if (state == nullptr) continue;
    if (queries.size() > 1) out += "query " + std::to_string(i + 1) + ":\n";
    out += state->PlanText();
  }
  return out;
}

TSelectQuery* TSelectExecutor::StateOf(TDataQuery* query) {
  return query ? dynamic_cast<TSelectQuery*>(query->Execution.get()) : nullptr;
}

void TSelectExecutor::Prepare() {
  Statement.SetExecutionHooks(this);
  const auto& queries = Statement.Queries();
  for (auto it = queries.rbegin(); it != queries.rend(); ++it) {
    TDataQuery& query = **it;
    if (query.Kind != TStatementKind::Select) continue;
    auto state = std::make_unique<TSelectQuery>(query, Statement, *this);
    TSelectQuery* raw = state.get();
    query.Execution = std::move(state);
    raw->Prepare();
  }
  for (const auto& query : queries)
    if (query->UnionQuery != nullptr) CheckUnion(*query, *query->UnionQuery);
}

void TSelectExecutor::CheckUnion(TDataQuery& master, TDataQuery& part) {
  TSelectQuery* left = StateOf(&master);
  TSelectQuery* right = StateOf(&part);
  if (left == nullptr || right == nullptr) return;
  const std::string word = UnionWord(master);
  if (left->VisibleColumnCount() != right->VisibleColumnCount())
    RaiseExpressionError(
        kSqlErrorCode, "",
        "The number of columns  in the " + word + " query must match the " + "number of columns in the master query");
  for (int i = 0; i < left->VisibleColumnCount(); ++i) {
    const TResultColumn& a = left->Columns()[static_cast<std::size_t>(i)];
    const TResultColumn& b = right->Columns()[static_cast<std::size_t>(i)];
    if (a.Definition.DataType != b.Definition.DataType)
      RaiseSqlError("Type mismatch between column expression '" + a.Text + "'" + " in the " + word + " query and " +
                    "column expression " + "'" + b.Text + "'" + " in the master query");
  }
}

void TSelectExecutor::FillWithUnions(TDataQuery& query) {
  TSelectQuery* state = StateOf(&query);
  if (state == nullptr) return;
  state->Fill();
  if (query.UnionQuery != nullptr) {
    FillWithUnions(*query.UnionQuery);
    if (TSelectQuery* part = StateOf(query.UnionQuery)) state->AppendUnion(*part, query.UnionAll);
  }
}

void TSelectExecutor::Execute() {
  const auto started = std::chrono::steady_clock::now();
  Rows = 0;
  AutoIncTables.Open();
  const auto& queries = Statement.Queries();
  for (auto it = queries.rbegin(); it != queries.rend(); ++it) {
    TDataQuery& query = **it;
    if (!query.Nested || query.UnionPart) continue;
    FillWithUnions(query);
    if (TSelectQuery* state = StateOf(&query)) state->Finish();
  }
  TDataQuery* master = Statement.Master();
  TSelectQuery* state = StateOf(master);
  if (state == nullptr) return;
  if (master->MaxRowCount < 0) master->MaxRowCount = Statement.MaxRowCount();
  {
    TProbeLocks probes;
    for (const auto& query : queries)
      if (query->Nested && !query->UnionPart)
        if (TSelectQuery* nested = StateOf(query.get())) probes.Take(nested);
    FillWithUnions(*master);
  }
  state->Finish();
  Rows = state->RowCount();
  master->RowCount = Rows;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  master->ExecutionTime = static_cast<double>(elapsed.count()) / 1000.0;
}

TDataCursor* TSelectExecutor::ResultCursor() {
  TSelectQuery* state = StateOf(Statement.Master());
  return state ? state->ResultCursor() : nullptr;
}

int TSelectExecutor::SubSelectColumns(TDataQuery* query, TExpToken& columnType) {
  TSelectQuery* state = StateOf(query);
  if (state == nullptr) return 0;
  state->ServeMembership();
  if (state->VisibleColumnCount() >= 1) {
    const TFieldDefinition& f = state->Columns().front().Definition;
    uint8_t type = static_cast<uint8_t>(f.DataType);
    int32_t size =
        f.ValueSize != 0 ? f.ValueSize : (f.DataType == TFieldType::String ? f.Size + 1 : static_cast<int32_t>(f.Size));
    if (size == 0) size = 8;
    columnType.SetType(type, f.SubType, size, f.Scale);
  }
  return state->VisibleColumnCount();
}

TSubSelectMatch TSelectExecutor::SubSelectContains(TDataQuery* query, const TExpToken& value) {
  TSelectQuery* state = StateOf(query);
  return state != nullptr ? state->Contains(value) : TSubSelectMatch::No;
}

TSourceTable* TSelectExecutor::RegisterAutoIncTable(const std::string& tableName) {
  return AutoIncTables.Register(tableName);
}

int32_t TSelectExecutor::LastAutoIncValue(TSourceTable* table, const std::string& tableName) {
  return AutoIncTables.LastValue(table != nullptr ? table : AutoIncTables.Register(tableName));
}

bool TSelectExecutor::TextSearch(const TExpToken& column, const std::string& words, bool& found,
                                 std::int32_t& occurrences) {
  TSourceTable* table = column.SourceTable;
  TSelectQuery* state = table != nullptr ? StateOf(table->Query) : nullptr;
  return state != nullptr && state->TextSearch(column, words, found, occurrences);
}

}  // namespace quarry
