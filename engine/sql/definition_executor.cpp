// The target table of the data-definition statements; see definition_executor.h.
#include "engine/sql/definition_executor.h"

#include "engine/sql/alter_table_executor.h"
#include "engine/sql/create_index_executor.h"
#include "engine/sql/create_table_executor.h"
#include "engine/sql/drop_executor.h"
#include "engine/sql/expression_error.h"
#include "engine/sql/query_statement.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/session.h"

namespace quarry {

TDefinitionExecutor::TDefinitionExecutor(TQueryStatement& statement)
    : Statement(statement), Query(*statement.Master()) {}

TDefinitionExecutor::~TDefinitionExecutor() {
  // The cursor belongs to the directory: it goes first.
  TargetCursor.reset();
  if (OwnsDirectory) {
    try {
      Directory->Session().CloseDirectory(*Directory);
    } catch (...) {}
  }
}

TSourceTable& TDefinitionExecutor::Target() const { return *Query.SourceTables.front(); }

const std::string& TDefinitionExecutor::TableName() const { return Target().TableName; }

void TDefinitionExecutor::Prepare() {
  if (Query.SourceTables.empty()) RaiseSqlError("No table named in the statement");
  TSourceTable& target = Target();
  TDataDirectory* database = Statement.Database();
  if (database == nullptr) RaiseSqlError("No database for the statement");
  Directory = target.Database;
  if (Directory == nullptr) {
    TDataSession& session = database->Session();
    if (target.InMemory) Directory = &session.OpenDirectory("Memory", "");
    else if (!target.DatabasePath.empty()) Directory = &session.OpenDirectory("", target.DatabasePath);
    else Directory = database;
    OwnsDirectory = Directory != database;
  }
  TargetCursor = std::make_unique<TDataCursor>(*Directory);
  TargetCursor->SetTableName(target.TableName);
  TargetCursor->SetInMemory(target.InMemory);
  TargetCursor->SetExclusive(true);
  TQueryStatement* statement = &Statement;
  TargetCursor->SetPasswordCallback([statement](const std::string&, std::string& password) {
    // The statement's callback adds what it learns to the session itself.
    password.clear();
    return statement->HasPasswordCallback() && statement->AskPassword();
  });
}

void TDefinitionExecutor::Execute() {
  if (Directory->InTransaction())
    RaiseSqlError(std::string(StatementName(Query.Kind)) + " statements cannot run inside a transaction");
  Run();
}

TDefinitionExecutor::TOpenTarget::TOpenTarget(TDefinitionExecutor& executor) : Cursor(executor.Cursor()) {
  Cursor.Open();
}

TDefinitionExecutor::TOpenTarget::~TOpenTarget() {
  try {
    Cursor.Close();
  } catch (...) {
    // The statement's own error, if any, is the one that matters; a clean run calls Close.
  }
}

void TDefinitionExecutor::TOpenTarget::Close() { Cursor.Close(); }

std::unique_ptr<TStatementExecutor> MakeDefinitionExecutor(TQueryStatement& statement) {
  switch (statement.Kind()) {
  case TStatementKind::CreateTable: return std::make_unique<TCreateTableExecutor>(statement);
  case TStatementKind::CreateIndex: return std::make_unique<TCreateIndexExecutor>(statement);
  case TStatementKind::AlterTable: return std::make_unique<TAlterTableExecutor>(statement);
  case TStatementKind::DropTable: return std::make_unique<TDropTableExecutor>(statement);
  case TStatementKind::DropIndex: return std::make_unique<TDropIndexExecutor>(statement);
  default: return nullptr;
  }
}

}  // namespace quarry
