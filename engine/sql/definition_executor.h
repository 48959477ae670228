// TDefinitionExecutor: what the executors of CREATE TABLE, CREATE INDEX, ALTER TABLE, DROP
// TABLE and DROP INDEX share: the target table (the master query's first source table) and
// the cursor made for it at preparation, which each statement opens only where it needs the
// table itself.
//
// The target lives in the statement's database, in the in-memory database when written with
// MEMORY, or in the database its name gives (a path, or database\table); such a database is
// opened at preparation and closed with the executor.
//
// Every data-definition statement works on its table alone: the cursor is exclusive, so the
// statement fails with the engine's error while any other cursor of this or another session
// or process has the table open. The statements return no cursor and affect no rows.
//
// They change files at once and cannot be rolled back, and a transaction holds its tables
// with changes not yet written: while the target's database is in a transaction they are
// refused ("<statement> statements cannot run inside a transaction").
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/sql/statement_execution.h"

namespace quarry {

class TDataCursor;
class TDataDirectory;
class TDataQuery;
class TQueryStatement;
class TSourceTable;

class TDefinitionExecutor : public TStatementExecutor {
 public:
  explicit TDefinitionExecutor(TQueryStatement& statement);
  ~TDefinitionExecutor() override;

  // Makes the target cursor (exclusive, in memory when written so, asking the statement's
  // password callback for an encrypted table). Executors of their own checks call it first.
  void Prepare() override;
  // Refuses a transaction, then runs the statement.
  void Execute() final;
  TDataCursor* ResultCursor() override { return nullptr; }
  std::int32_t RowsAffected() const override { return 0; }

 protected:
  // The statement itself, once per execution.
  virtual void Run() = 0;

  TQueryStatement& Statement;
  TDataQuery& Query;

  TSourceTable& Target() const;
  TDataCursor& Cursor() const { return *TargetCursor; }
  TDataDirectory& TargetDirectory() const { return *Directory; }
  const std::string& TableName() const;

  // Holds the target cursor open for one execution; closes it however the execution ends.
  class TOpenTarget {
   public:
    explicit TOpenTarget(TDefinitionExecutor& executor);
    ~TOpenTarget();
    TOpenTarget(const TOpenTarget&) = delete;
    TOpenTarget& operator=(const TOpenTarget&) = delete;
    // Closes now, raising what closing raises.
    void Close();

   private:
    TDataCursor& Cursor;
  };

 private:
  TDataDirectory* Directory = nullptr;
  bool OwnsDirectory = false;
  std::unique_ptr<TDataCursor> TargetCursor;
};

// The executor of a data-definition statement; null for the other kinds.
std::unique_ptr<TStatementExecutor> MakeDefinitionExecutor(TQueryStatement& statement);

}  // namespace quarry
