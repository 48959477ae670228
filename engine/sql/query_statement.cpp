// TQueryStatement: parse, prepare, parameter binding and the execution loop over the
// statements of one SQL text.
#include "engine/sql/query_statement.h"

#include <cstdint>
#include <cstring>

#include "engine/sql/expression_error.h"
#include "engine/sql/sql_filter_engine.h"
#include "engine/sql/statement_execution.h"
#include "engine/sql/statement_parser.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"

namespace quarry {

namespace {

uint64_t Ticks(TDataDirectory* database) { return database ? database->Session().Environment().TickCount() : 0; }

}  // namespace

TQueryStatement::TQueryStatement(TDataDirectory* database)
    : Db(database), Parser(this), Factory(&MakeStatementExecutor) {
  Parser.ErrorCode = kSqlErrorCode;
  Parser.ContextName = "SQL statement";
  // Conditions of a statement run inside cursors as filters.
  UseSqlFilterEngine();
}

TQueryStatement::~TQueryStatement() { ClearQueries(); }

void TQueryStatement::SetMaxRowCount(int32_t count) {
  MaxRows = count < 0 ? -1 : count;
  if (MasterQuery && MasterQuery->Kind == TStatementKind::Select) MasterQuery->MaxRowCount = MaxRows;
}

void TQueryStatement::SetProgressHandler(void* userData, TProgressHandler handler) {
  ProgressData = userData;
  ProgressHandler = handler;
}

void TQueryStatement::SetExecutorFactory(TExecutorFactory factory) {
  Factory = factory ? factory : &MakeStatementExecutor;
}

void TQueryStatement::SetPasswordCallback(void* userData, TPasswordCallback callback) {
  PasswordData = userData;
  PasswordCallback = callback;
}

void TQueryStatement::ClearQueries() {
  // The executor refers to the queries: it goes first.
  Executor.reset();
  Hooks = nullptr;
  ParameterList.clear();
  MasterQuery = nullptr;
  // Later queries may be referred to by trees of earlier ones (sub-selects), never the
  // other way round; freeing newest first keeps every reference valid while it is freed.
  while (!QueryList.empty()) QueryList.pop_back();
}

void TQueryStatement::Unprepare() {
  ClearQueries();
  Rows = 0;
  Seconds = 0.0;
}

TDataQuery& TQueryStatement::NewQuery() {
  QueryList.push_back(std::make_unique<TDataQuery>(*this));
  return *QueryList.back();
}

void TQueryStatement::ParseCurrentStatement() {
  ClearQueries();
  SubSelectDepth = 0;
  Parser.ContextName = "SQL statement";
  try {
    TDataQuery& master = NewQuery();
    MasterQuery = &master;
    TStatementParser(*this).ParseMaster(master);
    master.LiveRequest = Live;
    master.MaxRowCount = master.Kind == TStatementKind::Select ? MaxRows : -1;
  } catch (...) {
    ClearQueries();
    throw;
  }
}

void TQueryStatement::Parse(std::string_view text) {
  Unprepare();
  Parser.ErrorCode = kSqlErrorCode;
  Parser.ErrorTableName.clear();
  Parser.ContextName = "SQL statement";
  Parser.SetText(text);
  Parser.NextToken();
  ParseCurrentStatement();
}

void TQueryStatement::PrepareExecutor() {
  try {
    Executor = Factory(*this);
    if (!Executor) RaiseSqlError("No executor for this statement");
    Executor->Prepare();
  } catch (...) {
    ClearQueries();
    throw;
  }
}

void TQueryStatement::Prepare(std::string_view text) {
  Parse(text);
  PrepareExecutor();
}

std::string TQueryStatement::PlanText() const { return Executor ? Executor->PlanText() : std::string(); }

TDataCursor* TQueryStatement::ResultCursor() const { return Executor ? Executor->ResultCursor() : nullptr; }

bool TQueryStatement::ReportProgress(int percent) {
  bool abort = false;
  if (ProgressHandler) ProgressHandler(ProgressData, *this, percent, abort);
  return abort;
}

bool TQueryStatement::AskPassword() { return PasswordCallback ? PasswordCallback(PasswordData, *this) : false; }

TDataCursor* TQueryStatement::Execute(int parameterCount, const TParameterDescriptor* descriptors, const uint8_t* data,
                                      std::size_t dataSize) {
  if (!Executor) RaiseSqlError("No SQL statement has been prepared");
  Rows = 0;
  Seconds = 0.0;
  if (parameterCount < 0 || (parameterCount > 0 && descriptors == nullptr)) parameterCount = 0;
  int bound = BindParameters(0, parameterCount, descriptors, data, dataSize);
  int32_t rowsAtTransactionStart = 0;
  // Each round runs one statement; the text is consumed by parsing, so the loop ends.
  for (;;) {
    const uint64_t started = Ticks(Db);
    Executor->Execute();
    Seconds += static_cast<double>(Ticks(Db) - started) / 1000.0;
    switch (Kind()) {
    case TStatementKind::StartTransaction: rowsAtTransactionStart = Rows; break;
    case TStatementKind::Rollback: Rows = rowsAtTransactionStart; break;
    default: Rows += Executor->RowsAffected(); break;
    }
    if (Parser.TokenKind() == tk::End) break;
    ParseCurrentStatement();
    PrepareExecutor();
    bound += BindParameters(bound, parameterCount, descriptors, data, dataSize);
  }
  return ResultCursor();
}

int TQueryStatement::BindParameters(int first, int parameterCount, const TParameterDescriptor* descriptors,
                                    const uint8_t* data, std::size_t dataSize) {
  int bound = 0;
  for (TExpToken* node : ParameterList) {
    const int index = first + bound;
    if (index >= parameterCount) break;
    const TParameterDescriptor& d = descriptors[index];
    ++bound;
    auto fail = [&] { RaiseSqlError("Invalid value for parameter " + std::to_string(index + 1)); };
    if (data == nullptr || d.Offset >= dataSize || d.Size < 0) fail();
    const bool hasValue = data[d.Offset] != 0;
    const std::size_t valueAt = static_cast<std::size_t>(d.Offset) + 1;
    node->DataType = d.DataType;
    node->SubType = d.SubType;
    node->Scale = d.Scale;
    node->IsNull = !hasValue;
    if (d.DataType == vt::Blob) {
      // A 32-bit length and a pointer to the bytes.
      if (hasValue && valueAt + sizeof(int32_t) + sizeof(const uint8_t*) > dataSize) fail();
      int32_t length = 0;
      const uint8_t* bytes = nullptr;
      if (hasValue) {
        std::memcpy(&length, data + valueAt, sizeof length);
        std::memcpy(&bytes, data + valueAt + sizeof length, sizeof bytes);
        if (length < 0 || length == INT32_MAX || (length > 0 && bytes == nullptr)) fail();
      }
      const bool memo = d.SubType == st::Memo || d.SubType == st::FormattedMemo;
      node->SetValueSize(memo ? length + 1 : length);
      node->ZeroValue();
      if (length > 0) std::memcpy(node->Value.data(), bytes, static_cast<std::size_t>(length));
      continue;
    }
    if (valueAt + static_cast<std::size_t>(d.Size) > dataSize) fail();
    node->SetValueSize(d.Size);
    node->ZeroValue();
    if (hasValue && d.Size > 0) std::memcpy(node->Value.data(), data + valueAt, static_cast<std::size_t>(d.Size));
    if (d.DataType == vt::String && d.Size > 0) node->Value[static_cast<std::size_t>(d.Size) - 1] = 0;
  }
  return bound;
}

// ---- expression owner hooks ----

void TQueryStatement::AddParameter(TExpToken* node) { ParameterList.push_back(node); }

TDataQuery* TQueryStatement::ParseSubSelect(TExpressionParser& parser) {
  if (&parser != &Parser) return nullptr;
  if (SubSelectDepth >= kMaxSubSelectDepth)
    Parser.FailMessage("Sub-select queries are nested more than " + std::to_string(kMaxSubSelectDepth) +
                       " levels deep");
  TDataQuery& query = NewQuery();
  ++SubSelectDepth;
  try {
    TStatementParser(*this).ParseNestedSelect(query);
  } catch (...) {
    --SubSelectDepth;
    throw;
  }
  --SubSelectDepth;
  return &query;
}

int TQueryStatement::SubSelectColumns(TDataQuery* query, TExpToken& columnType) {
  return Hooks ? Hooks->SubSelectColumns(query, columnType) : 0;
}

TSubSelectMatch TQueryStatement::SubSelectContains(TDataQuery* query, const TExpToken& value) {
  return Hooks ? Hooks->SubSelectContains(query, value) : TSubSelectMatch::No;
}

TSourceTable* TQueryStatement::RegisterAutoIncTable(const std::string& tableName) {
  return Hooks ? Hooks->RegisterAutoIncTable(tableName) : nullptr;
}

int32_t TQueryStatement::LastAutoIncValue(TSourceTable* table, const std::string& tableName) {
  return Hooks ? Hooks->LastAutoIncValue(table, tableName) : 0;
}

bool TQueryStatement::TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences) {
  return Hooks ? Hooks->TextSearch(column, words, found, occurrences) : false;
}

}  // namespace quarry
