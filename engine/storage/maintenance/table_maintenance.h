// TTableMaintenance: work on a table as a whole — delete, rename, empty, add and delete
// indexes, and restructure (new fields, indexes, full-text settings or table attributes while
// keeping the records). A cursor forwards its table-level operations here; the SQL
// data-definition statements reach them through the cursor.
//
// Access rules: operations on an open table need it opened exclusively (QUARRY_NEEDEXCLACCESS) and writable
// (QUARRY_OSEACCES); delete and rename need the table closed in this session (QUARRY_OSEACCES); a restructure
// runs on a closed table, which it opens exclusively itself and closes at the end.
//
// Restructure keeps the old table safe until the new one is complete: a data rebuild copies
// the records into a temporary table in the session's private directory and swaps files only
// once the copy has finished (old files kept as ".DBK", ".IBK", ".BBK" unless no backups are
// wanted); an index rebuild works on the index file after copying it to ".IBK" and copies it
// back when stopped or failing. Record-level problems go to the event handler, never raise.
//
// Used by the thread of the session that owns the directory; holds references only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/storage/maintenance/restructure_request.h"

namespace quarry {

class TDataDirectory;
class TDataTable;

class TTableMaintenance {
 public:
  // The table `tableName` of `directory`, in memory or on disk.
  TTableMaintenance(TDataDirectory& directory, std::string tableName, bool inMemory);

  // Progress of AddIndex (restructure takes its own from the request).
  void SetProgressHandler(TProgressHandler handler) { progress_ = std::move(handler); }

  // ---- the table's files ----
  // Deletes data, index and BLOB file. QUARRY_OSEACCES while the table is open in this session.
  void DeleteTable();
  // Renames every existing file of the table, keeping its extension; a new name without a
  // path stays in the table's directory. With toBackup the files keep the table's name and
  // take the backup extensions instead (an older backup set is replaced). QUARRY_OSEACCES while open.
  // All or nothing: a file that cannot be renamed puts back those already renamed.
  void RenameTable(std::string_view newName, bool toBackup = false);

  // ---- on an open table (the cursor's) ----
  // Empties all three files, keeping the full-text parameters. Exclusive, writable.
  void EmptyTable(TDataTable& table);
  // Adds the index and builds it; returns its slot. A new unique index over equal keys
  // deletes the later records (in record-number order). Exclusive and writable unless the
  // index is temporary; QUARRY_INVALIDKEY for a key length of 0 or above 522, and the definition errors
  // of the index file (QUARRY_INVALIDINDEXNAME, QUARRY_INDEXEXISTS, QUARRY_INDEXLIMIT, QUARRY_INVALIDIDXDESC, QUARRY_SEARCHCOLREQD).
  int AddIndex(TDataTable& table, TIndexDefinition definition);
  // Removes an index by name (primary: empty name; QUARRY_INVALIDINDEXNAME when unknown) or by slot, freeing
  // its pages. Removing the primary index makes a table that never reuses record slots.
  void DeleteIndex(TDataTable& table, std::string_view name);
  void DeleteIndexSlot(TDataTable& table, int slot);

  // ---- restructure (on a closed table) ----
  // cursorOpen, exclusive, readOnly: the state of the cursor asking (QUARRY_TABLEOPEN when open, QUARRY_NEEDEXCLACCESS
  // unless exclusive, QUARRY_OSEACCES when read-only). Validates the new structure before anything
  // changes.
  TRestructureOutcome RestructureTable(const TRestructureRequest& request, bool cursorOpen, bool exclusive,
                                       bool readOnly);

 private:
  [[noreturn]] void Raise(std::uint16_t code, std::string_view field = {}, std::string_view index = {}) const;
  void RequireClosed() const;
  void RequireExclusiveWritable(TDataTable& table) const;

  TDataDirectory& directory_;
  std::string tableName_;
  bool inMemory_;
  TProgressHandler progress_;
};

}  // namespace quarry
