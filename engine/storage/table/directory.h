// TDataDirectory: one database (a directory of tables, or the in-memory database) as a
// session sees it: the tables it has open, and transactions over them.
//
// A directory belongs to one session and is used by that session's thread. It owns its
// TDataTable objects; a table stays in the list while cursors use it, and while the directory
// is in a transaction even after its last cursor closed (commit or rollback close it then).
// When the last use of a table ends, the table is kept for the next use of its name when it
// can be (table.h: parked, holding no lock), within the session's bound on kept tables
// (session.h); deleting, renaming or creating a table of that name in this session closes
// the kept one first, and so does any use it cannot serve.
//
// Transactions: StartTransaction puts every writable open table in the transaction (each
// takes its table lock, so other sessions and processes cannot write); changes then stay in
// the tables' caches. Commit writes them under each table's write lock; with the end flag the
// transaction ends, without it the tables stay locked and in the transaction. Rollback drops
// the cached changes and rereads the headers.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/data/data_file.h"
#include "engine/storage/data/field_definition.h"
#include "engine/storage/index/index_definition.h"

namespace quarry {

class TDataSession;
class TDataTable;

// What CreateTable needs to lay out a new table's files. Validation of the definitions is
// the caller's job (the cursor checks them first).
struct TTableDefinition {
  std::vector<TFieldDefinition> Fields;
  TIndexDefinition Primary;  // no fields: a table without primary index
  std::vector<TIndexDefinition> Secondaries;
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
  std::int32_t BlobBlockSize = 0;  // 0: 512
  std::string Description;
  std::string Password;
  bool Encrypted = false;
  TIndexDefinition Text;  // no fields: no full-text index
  std::int32_t LastAutoInc = 0;
  std::uint16_t UserMajor = 0;
  std::uint16_t UserMinor = 0;
};

class TDataDirectory {
 public:
  // path: with or without a trailing delimiter; empty for the in-memory database.
  TDataDirectory(TDataSession& session, std::string path, bool inMemory);
  ~TDataDirectory();
  TDataDirectory(const TDataDirectory&) = delete;
  TDataDirectory& operator=(const TDataDirectory&) = delete;

  // ---- tables ----
  // The shared table object of this name (trimmed, case ignored) and kind, opening its files
  // when no cursor has them open; raises QUARRY_OSEACCES when it is in use and either it was opened
  // exclusively or exclusive is asked for. Every call must be paired with CloseTable.
  TDataTable& OpenTable(std::string_view name, bool inMemory, bool exclusive, bool readOnly);
  // Ends one use; the last one keeps the table for the next use, or closes it (unless a
  // transaction keeps it open).
  void CloseTable(TDataTable& table);
  // Closes a kept table (the session's bound on kept tables calls this).
  void CloseKept(TDataTable& table);
  // Closes the kept table of this name, if there is one.
  void DropKept(std::string_view name, bool inMemory);
  int KeptCount() const;
  // Creates the table's files (data, index, and BLOB file when there are BLOB fields) and
  // writes their headers. QUARRY_OSEACCES when the table is in use, QUARRY_TABLEEXISTS when it exists.
  void CreateTable(std::string_view name, bool inMemory, const TTableDefinition& definition);
  // QUARRY_OSEACCES when the table is in use in this session (or open elsewhere).
  void DeleteTable(std::string_view name, bool inMemory);
  void RenameTable(std::string_view name, bool inMemory, std::string_view newName);
  // Empties every file of a table this session holds exclusively.
  void EmptyTable(TDataTable& table);
  bool TableExists(std::string_view name, bool inMemory) const;
  // The open table of this name (in use, or held by a transaction), or null; a kept table
  // is not open.
  TDataTable* FindTable(std::string_view name, bool inMemory) const;
  // Open tables, kept ones not counted.
  int TableCount() const { return static_cast<int>(tables_.size()) - KeptCount(); }
  // Whether the table of this name is kept between uses.
  bool Keeps(std::string_view name, bool inMemory) const;

  // ---- transactions ----
  void StartTransaction();
  // Writes every change; with endTransaction the transaction ends, without it the tables stay
  // locked and in it. flush asks the OS to write its buffers too.
  void Commit(bool endTransaction = true, bool flush = false);
  void Rollback();
  bool InTransaction() const { return inTransaction_; }

  // ---- facts ----
  // With a trailing delimiter; empty for the in-memory database.
  const std::string& Path() const { return path_; }
  bool InMemory() const { return inMemory_; }
  TDataSession& Session() const { return session_; }
  int UseCount() const { return useCount_; }
  void AddUse() { ++useCount_; }
  int ReleaseUse() { return --useCount_; }
  // Full name of one of a table's files.
  std::string FileNameOf(std::string_view table, std::string_view extension) const;
  // The database name for error messages.
  std::string DatabaseName() const { return inMemory_ ? std::string("Memory") : path_; }

  // Closes every table (rolling back a transaction) — when the directory goes away.
  void CloseAll();

 private:
  std::vector<std::unique_ptr<TDataTable>>::iterator Find(std::string_view name, bool inMemory);
  void CloseUnusedTables();
  // The end of a table's last use: keeps it when it can be kept, else destroys it.
  void Release(TDataTable& table);
  // Takes a kept table up again as it was (open, unused); false when its files changed or
  // the mode differs, after closing it.
  bool TakeUpKept(TDataTable& table, bool exclusive, bool readOnly);
  void Destroy(TDataTable& table);

  TDataSession& session_;
  std::string path_;
  bool inMemory_;
  int useCount_ = 0;
  bool inTransaction_ = false;
  std::vector<std::unique_ptr<TDataTable>> tables_;
};

}  // namespace quarry
