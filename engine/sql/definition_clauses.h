// The column and index clauses of CREATE TABLE, CREATE INDEX and ALTER TABLE turned into the
// engine's field and index definitions, and the TEXT INDEX options (STOP WORDS, SPACE CHARS,
// INCLUDE CHARS) turned into text-index parameters.
//
// `table` names the table in engine errors (a value text too long for its place, QUARRY_INVALIDVCHKSTRUCT;
// more than 16 key columns, QUARRY_INDEXLIMIT). Key columns are looked up among a list of field definitions (the new columns of CREATE
// TABLE, the table's columns for CREATE INDEX, the columns as ALTER TABLE leaves them): by
// name, trimmed and without regard to case; the key field numbers are the 1-based positions
// in that list. A column that is not there raises the SQL error naming it and the index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/sql/query_clauses.h"
#include "engine/storage/data/field_definition.h"
#include "engine/storage/index/index_definition.h"
#include "engine/storage/index/text_index.h"
#include "engine/values/token_stack.h"

namespace quarry {

class TDataQuery;
class TQueryStatement;

// The 1-based position of the column named `name` in `columns`, or 0.
int ColumnPosition(const std::vector<TFieldDefinition>& columns, const std::string& name);

// A complete field definition from a column definition (CREATE TABLE, ALTER TABLE ADD).
TFieldDefinition FieldDefinitionOf(const TCreateField& column, std::uint16_t fieldNo, const std::string& table);
// Replaces in `field` only what a REDEFINE gives: data type, name, description, NOT NULL,
// character case, default, minimum, maximum. The field number stays.
void ApplyRedefinition(const TCreateField& column, TFieldDefinition& field, const std::string& table);

// The definition of a primary or secondary index over `columns`. A missing key column
// raises "Invalid field name '<column>' specified for index '<name>'".
TIndexDefinition IndexDefinitionOf(const TCreateIndex& index, const std::vector<TFieldDefinition>& columns,
                                   const std::string& table);
// The full-text index ("Sys Text") over the named columns. A missing one raises
// "Invalid field name '<column>' specified for text index".
TIndexDefinition TextIndexDefinitionOf(const std::vector<std::string>& columnNames,
                                       const std::vector<TFieldDefinition>& columns, const std::string& table);

// A USER MAJOR or MINOR VERSION value; the header keeps 16 bits, so any other value raises
// "Integer value from 0 to 65535 expected after VERSION keyword, instead found '<n>'".
std::uint16_t UserVersion(std::int32_t value);

// STOP WORDS, SPACE CHARS and INCLUDE CHARS of a statement: each a string expression without
// columns, checked once at preparation and evaluated at every execution.
class TTextIndexOptions {
 public:
  // Checks the options the query gives (raising the statement's type errors).
  void Prepare(TDataQuery& query, TQueryStatement& statement);
  // True when the statement gave any of the three.
  bool AnyGiven() const { return StopWords || SpaceChars || IncludeChars; }
  // `base` with every option the statement gave evaluated and put in its place: the stop
  // words are the value split at blanks, a character set holds every byte of its value.
  TTextParameters Apply(TTextParameters base, TQueryStatement& statement) const;

 private:
  const TExpToken* StopWords = nullptr;
  const TExpToken* SpaceChars = nullptr;
  const TExpToken* IncludeChars = nullptr;
};

}  // namespace quarry
