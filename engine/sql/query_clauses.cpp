// Names of statement kinds and the small helpers of the clause objects.
#include "engine/sql/query_clauses.h"

namespace quarry {

const char* StatementName(TStatementKind kind) {
  switch (kind) {
  case TStatementKind::Select: return "SELECT";
  case TStatementKind::Insert: return "INSERT";
  case TStatementKind::Update: return "UPDATE";
  case TStatementKind::Delete: return "DELETE";
  case TStatementKind::CreateTable: return "CREATE TABLE";
  case TStatementKind::AlterTable: return "ALTER TABLE";
  case TStatementKind::DropTable: return "DROP TABLE";
  case TStatementKind::CreateIndex: return "CREATE INDEX";
  case TStatementKind::DropIndex: return "DROP INDEX";
  case TStatementKind::StartTransaction: return "START TRANSACTION";
  case TStatementKind::Rollback: return "ROLLBACK";
  case TStatementKind::Commit: return "COMMIT";
  case TStatementKind::None: break;
  }
  return "";
}

std::vector<std::string> TCreateIndex::ColumnNames() const {
  std::vector<std::string> names;
  names.reserve(Columns.size());
  for (const auto& column : Columns) names.push_back(column ? column->ColumnName : std::string());
  return names;
}

}  // namespace quarry
