// TDataQuery: one query block of an SQL statement, as parsing leaves it for the executor.
//
// A statement (TQueryStatement) holds one TDataQuery per block: the master query, each
// sub-select of IN (SELECT ...), each UNION part and the SELECT of INSERT ... SELECT. The
// statement owns every query; a query owns its clause objects and expression trees.
//
// Conditions: `Condition` is the WHERE condition and every JOIN ... ON condition joined by
// AND into one tree. Comparisons of an ON condition between columns of two tables carry
// JoinKind 1 (inner), 2 (left outer) or 3 (right outer); a RIGHT JOIN's table has been
// put before its partner in SourceTables.
//
// Statement-specific targets: INSERT, UPDATE, DELETE, CREATE/ALTER/DROP TABLE and CREATE
// INDEX name their table as SourceTables[0]; DROP INDEX names its table there and the index
// in IndexName. INSERT, UPDATE and DELETE also point Target at the table they change (a
// RIGHT JOIN in DELETE's FROM list puts its table before the target).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/query_clauses.h"
#include "engine/values/token_stack.h"

namespace quarry {

class TQueryStatement;

class TDataQuery {
 public:
  explicit TDataQuery(TQueryStatement& statement) : Statement(&statement) {}
  TDataQuery(const TDataQuery&) = delete;
  TDataQuery& operator=(const TDataQuery&) = delete;

  TQueryStatement* Statement;
  TStatementKind Kind = TStatementKind::None;

  // Place in the statement.
  bool Nested = false;                 // a sub-select, or the SELECT of INSERT ... SELECT
  bool UnionPart = false;              // follows another query through UNION
  TDataQuery* UnionOf = nullptr;       // the query a UNION part follows
  TDataQuery* UnionQuery = nullptr;    // the UNION part that follows this query
  bool Parenthesized = false;          // written in parentheses
  TDataQuery* InsertSelect = nullptr;  // INSERT ... SELECT: the SELECT's query
  TSourceTable* Target = nullptr;      // INSERT, UPDATE, DELETE: the table changed

  // Clause lists.
  std::vector<std::unique_ptr<TSourceTable>> SourceTables;
  std::vector<std::unique_ptr<TResultField>> ResultFields;
  std::vector<std::unique_ptr<TGroupByField>> GroupByFields;
  std::vector<std::unique_ptr<TOrderByField>> OrderByFields;
  std::vector<std::unique_ptr<TUpdateField>> UpdateFields;
  std::vector<std::unique_ptr<TUpdateValue>> UpdateValues;
  std::vector<std::unique_ptr<TCreateField>> CreateFields;
  std::vector<std::unique_ptr<TCreateIndex>> CreateIndexes;

  TExpTree Condition;  // WHERE and JOIN ... ON, joined by AND; null when none
  TExpTree Having;

  // Flags.
  bool Distinct = false;
  bool HasAvg = false;       // some result column is an AVG
  bool HasComputed = false;  // some result column is computed
  bool HasJoin = false;      // several source tables or a join
  bool NoJoinOptimize = false;
  bool HavingPresent = false;
  bool OrderByPresent = false;
  bool OrderByNoCase = false;
  bool GroupByPresent = false;
  bool WithLocks = false;
  bool UnionFollows = false;
  bool UnionAll = false;  // the UNION that follows is UNION ALL
  bool IntoMemory = false;
  bool SelectStar = false;  // the result list is a single unqualified *

  int32_t Top = -1;              // TOP n; -1 when absent
  std::string IntoTableName;     // INTO name (file-name part)
  std::string IntoDatabasePath;  // INTO path\name or database\name: the path part
  std::string Password;          // ENCRYPTED WITH; empty: no encryption
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
  bool LanguageGiven = false;
  bool SortGiven = false;

  // Data-changing options.
  int32_t CommitInterval = -1;  // COMMIT INTERVAL n; -1 when not given
  bool CommitGiven = false;     // a COMMIT clause was written
  bool CommitFlush = false;
  bool NoAutoInc = false;

  // Data-definition options.
  bool IfExists = false;
  bool IfNotExists = false;
  std::string IndexName;    // DROP INDEX table.index: the index
  std::string Description;  // table DESCRIPTION
  bool DescriptionGiven = false;
  int32_t BlobBlockSize = 0;  // BLOB BLOCK SIZE n; 0 when not given
  int32_t UserMajorVersion = 0;
  bool UserMajorVersionGiven = false;
  int32_t UserMinorVersion = 0;
  bool UserMinorVersionGiven = false;
  int32_t LastAutoInc = 0;
  bool LastAutoIncGiven = false;
  bool NoBackup = false;
  bool EncryptionGiven = false;  // ENCRYPTED WITH written (Password may be empty)
  bool TextIndexGiven = false;
  std::vector<TExpTree> TextIndexColumns;
  // STOP WORDS, SPACE CHARS and INCLUDE CHARS: string expressions evaluated without a row,
  // with their source texts.
  TExpTree StopWords;
  std::string StopWordsText;
  TExpTree SpaceChars;
  std::string SpaceCharsText;
  TExpTree IncludeChars;
  std::string IncludeCharsText;

  // Copied from the statement before execution.
  bool LiveRequest = false;
  bool LiveResult = false;   // set at preparation: the result is the source's own cursor
  int32_t MaxRowCount = -1;  // -1: unlimited

  // Execution results of this query.
  int32_t RowCount = 0;
  double ExecutionTime = 0.0;  // seconds
  std::unique_ptr<TExecutionState> Execution;

  // The names of the TEXT INDEX columns in written order.
  std::vector<std::string> TextIndexColumnNames() const;
  // The source table of a correlation name (without regard to case), or null.
  TSourceTable* FindSourceTable(const std::string& correlationName) const;
};

}  // namespace quarry
