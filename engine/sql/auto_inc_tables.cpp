// The tables of LASTAUTOINC and IDENT_CURRENT; see auto_inc_tables.h.
#include "engine/sql/auto_inc_tables.h"

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/sql/expression_error.h"
#include "engine/sql/query_statement.h"
#include "engine/storage/cursor/data_cursor.h"

namespace quarry {

TAutoIncTables::TAutoIncTables(TQueryStatement& statement) : statement_(statement) {}

TAutoIncTables::~TAutoIncTables() {
  for (auto& cursor : cursors_) {
    try {
      if (cursor) cursor->Close();
    } catch (...) {
      // Closing a read-only cursor of a freed statement cannot report anything.
    }
  }
}

TSourceTable* TAutoIncTables::Register(const std::string& tableName) {
  const std::string name = TrimText(tableName);
  for (const auto& table : tables_)
    if (SameTextIgnoringCase(table->TableName, name)) return table.get();
  if (statement_.Master() == nullptr) return nullptr;
  auto table = std::make_unique<TSourceTable>(*statement_.Master());
  table->TableName = name;
  table->CorrelationName = name;
  tables_.push_back(std::move(table));
  cursors_.emplace_back();
  return tables_.back().get();
}

void TAutoIncTables::Open() {
  TDataDirectory* database = statement_.Database();
  for (std::size_t i = 0; i < tables_.size(); ++i) {
    if (cursors_[i] && cursors_[i]->IsOpen()) continue;
    TSourceTable& table = *tables_[i];
    auto cursor = database != nullptr ? std::make_unique<TDataCursor>(*database) : nullptr;
    if (cursor != nullptr && !table.TableName.empty()) {
      cursor->SetTableName(table.TableName);
      if (!cursor->TableExists()) cursor.reset();
    } else {
      cursor.reset();
    }
    if (cursor == nullptr) RaiseSqlError("Illegal use of LASTAUTOINC() or IDENT_CURRENT() functions");
    cursor->SetReadOnly(true);
    TQueryStatement* statement = &statement_;
    cursor->SetPasswordCallback([statement](const std::string&, std::string& password) {
      password.clear();
      return statement->HasPasswordCallback() && statement->AskPassword();
    });
    cursor->Open();
    table.Cursor = cursor.get();
    cursors_[i] = std::move(cursor);
  }
}

int32_t TAutoIncTables::LastValue(const TSourceTable* table) const {
  for (std::size_t i = 0; i < tables_.size(); ++i) {
    if (tables_[i].get() != table) continue;
    return cursors_[i] && cursors_[i]->IsOpen() ? cursors_[i]->TableInfo().LastAutoInc : 0;
  }
  return 0;
}

}  // namespace quarry
