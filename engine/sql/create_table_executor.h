// TCreateTableExecutor: runs CREATE TABLE. The column definitions become the fields,
// numbered 1, 2, ... in written order; PRIMARY KEY the primary index and TEXT INDEX the
// full-text index, both over the new columns; the table options not written take their
// defaults (no language, BLOB block size 512, no description, not encrypted, user version
// 1.0). The cursor's CreateTable checks the definition and refuses an existing table
// (QUARRY_TABLEEXISTS), unless IF NOT EXISTS was written, which then does nothing. LAST AUTOINC
// is accepted and changes nothing.
//
// Text-index parameters: a table without STOP WORDS, SPACE CHARS and INCLUDE CHARS keeps
// none of its own and uses the engine's defaults; each option written replaces its default.
#pragma once

#include "engine/sql/definition_clauses.h"
#include "engine/sql/definition_executor.h"

namespace quarry {

class TCreateTableExecutor : public TDefinitionExecutor {
 public:
  using TDefinitionExecutor::TDefinitionExecutor;
  void Prepare() override;

 protected:
  void Run() override;

 private:
  TTextIndexOptions TextOptions;

  // Stores the text-index parameters of the new table; the table is dropped again when
  // that fails, so that the statement leaves all or nothing.
  void StoreTextParameters(const TTextParameters& parameters);
};

}  // namespace quarry
