// TAutoIncTables: the tables a statement names in LASTAUTOINC('T') and IDENT_CURRENT('T').
//
// Type checking registers each named table (once per name, without regard to case) and puts
// the returned reference into the function's node; the tables are opened when the statement
// runs, so that a statement prepared before the table was created (or filled) sees it as it
// is then. A named table that cannot be found raises "Illegal use of LASTAUTOINC() or
// IDENT_CURRENT() functions". The value read is the last auto-increment value the table has
// issued, as its header holds it when the function is evaluated.
//
// Owned by the statement's executor; the cursors live until the statement is unprepared.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/query_clauses.h"

namespace quarry {

class TQueryStatement;

class TAutoIncTables {
 public:
  explicit TAutoIncTables(TQueryStatement& statement);
  ~TAutoIncTables();
  TAutoIncTables(const TAutoIncTables&) = delete;
  TAutoIncTables& operator=(const TAutoIncTables&) = delete;

  // The reference for a table name (registered on first use).
  TSourceTable* Register(const std::string& tableName);
  // Opens every registered table not open yet (at the start of each execution).
  void Open();
  // The last auto-increment value of a registered table; 0 when it is not open.
  int32_t LastValue(const TSourceTable* table) const;

 private:
  TQueryStatement& statement_;
  std::vector<std::unique_ptr<TSourceTable>> tables_;
  std::vector<std::unique_ptr<TDataCursor>> cursors_;  // parallel to tables_
};

}  // namespace quarry
