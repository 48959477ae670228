// The source tables of a running SELECT and how expressions reach their columns.
//
// TSelectSource is the run-time side of one table in FROM: its open cursor, the image of its
// current row, and whether that row is the NULL row a left outer join supplies when the
// outer row has no match. TSelectColumnSource resolves column names against the sources
// (a qualified name looks only at the table with that correlation name; an unqualified name
// takes the first table in FROM order that has it) and hands evaluation the values of each
// source's current row.
//
// Column nodes carry the resolved source in SourceTable (the parse object); lookups go
// through the short list of sources.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/column_source.h"
#include "engine/storage/cursor/data_cursor.h"

namespace quarry {

struct TSelectSource {
  TSourceTable* Source = nullptr;  // the parse object (owned by the query)
  std::string Correlation;         // correlation name as written (table name by default)
  std::string TableName;
  int FromPosition = 0;  // 1-based position in FROM
  std::unique_ptr<TDataCursor> Cursor;
  std::vector<uint8_t> Record;  // the current row, Cursor->RecordBufferSize() bytes
  bool NullRow = false;         // the current row is a left outer join's NULL row

  const TFieldDefinition* FindField(const std::string& name) const;
};

class TSelectColumnSource : public TColumnResolver, public TColumnValueProvider {
 public:
  // sources: in FROM order; they must outlive this object.
  void SetSources(std::vector<TSelectSource*> sources) { Sources = std::move(sources); }
  const std::vector<TSelectSource*>& All() const { return Sources; }

  // The source that a correlation name denotes (case ignored), or null.
  TSelectSource* FindCorrelation(const std::string& correlation) const;
  // The source a resolved column node reads, or null.
  TSelectSource* SourceOf(const TExpToken& column) const;

  bool ResolveColumn(TExpToken& column) override;
  void ProvideColumnValue(TExpToken& column, const uint8_t* record) override;

  // TEXTSEARCH and TEXTOCCURS of words in a string column's current value, by its table's
  // text parameters. False when the column is not a string column of a source.
  bool TextSearch(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences) const;

 private:
  std::vector<TSelectSource*> Sources;
};

// Copies a resolved field's definition into a column node's type fields.
void SetColumnType(TExpToken& column, const TFieldDefinition& field);

class TQueryStatement;

// Opens the table a FROM item names, in its own database (MEMORY, a path, or the
// statement's), with the statement's password callback, read-only unless writable is asked
// for; databases opened here are added to ownedDirectories (the caller closes them). The
// item's Cursor points at the new cursor.
std::unique_ptr<TSelectSource> OpenSelectSource(TSourceTable& table, TQueryStatement& statement, bool readOnly,
                                                std::vector<TDataDirectory*>& ownedDirectories);

}  // namespace quarry
