// What the expression engine needs from the object that owns an expression: the SQL
// statement for SQL expressions, the cursor for filters.
//
// Each hook has a neutral default so that a filter owner implements only what filters
// use (TEXTSEARCH/TEXTOCCURS) and tests can pass a plain TExpressionOwner. Hooks run on
// the thread that owns the statement or cursor.
#pragma once

#include <cstdint>
#include <string>

#include "engine/values/exp_token.h"

namespace quarry {
// The answer to `x IN (SELECT ...)` under SQL's rules for NULL.
enum class TSubSelectMatch : uint8_t { No, Yes, Unknown };
}  // namespace quarry

namespace quarry {

class TExpressionParser;

class TExpressionOwner {
 public:
  virtual ~TExpressionOwner() = default;

  // Parsing: a `?` placeholder was read; parameters are reported in order of appearance.
  // The node stays owned by the tree it is part of.
  virtual void AddParameter(TExpToken* /*node*/) {}

  // Parsing: the current token is the SELECT of `IN (SELECT ...)`. Parses the nested
  // query, registers it with the statement and returns it, leaving the token after the
  // query current. Null means sub-selects cannot be parsed here.
  virtual TDataQuery* ParseSubSelect(TExpressionParser& /*parser*/) { return nullptr; }

  // Type checking: the number of result columns of a nested query and, through
  // columnType, the type, subtype, size and scale of its first column.
  virtual int SubSelectColumns(TDataQuery* /*query*/, TExpToken& /*columnType*/) { return 0; }

  // Evaluation of `x IN (SELECT ...)`: Yes when a row of the nested query's result has its
  // column equal to value; Unknown when value is NULL or equals no row of a result that holds
  // a NULL (neither IN nor NOT IN holds then); No otherwise.
  virtual TSubSelectMatch SubSelectContains(TDataQuery* /*query*/, const TExpToken& /*value*/) {
    return TSubSelectMatch::No;
  }

  // Type checking of LASTAUTOINC/IDENT_CURRENT in SQL: registers the named table as an
  // extra source table of the query; the returned reference goes into the node.
  virtual TSourceTable* RegisterAutoIncTable(const std::string& /*tableName*/) { return nullptr; }

  // Evaluation of LASTAUTOINC/IDENT_CURRENT: the last auto-increment value issued for the
  // table, 0 when the table is not available.
  virtual int32_t LastAutoIncValue(TSourceTable* /*table*/, const std::string& /*tableName*/) { return 0; }

  // Evaluation of TEXTSEARCH/TEXTOCCURS: searches the words in the column (a resolved
  // column node) of the current record. Returns false when the column's table is not
  // known; otherwise sets found and occurrences.
  virtual bool TextSearch(const TExpToken& /*column*/, const std::string& /*words*/, bool& /*found*/,
                          int32_t& /*occurrences*/) {
    return false;
  }
};

}  // namespace quarry
