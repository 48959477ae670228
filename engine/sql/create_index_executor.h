// TCreateIndexExecutor: runs CREATE INDEX. The table is opened exclusively for the
// statement; the index's columns are looked up among the table's; with IF NOT EXISTS an
// index of the same name already there ends the statement quietly. Otherwise the cursor's
// AddIndex adds the index and builds its keys.
//
// A UNIQUE index over records that share a key is refused with QUARRY_KEYVIOL before anything
// changes: building it would delete every record but the first of each such key.
#pragma once

#include "engine/sql/definition_executor.h"

namespace quarry {

struct TIndexDefinition;

class TCreateIndexExecutor : public TDefinitionExecutor {
 public:
  using TDefinitionExecutor::TDefinitionExecutor;

 protected:
  void Run() override;

 private:
  // Raises QUARRY_KEYVIOL when two records of the open table have the same key in `index`.
  void RefuseDuplicateKeys(const TIndexDefinition& index);
};

// True when the open cursor's table has a secondary index of this name (trimmed, ignoring
// case).
bool HasSecondaryIndex(TDataCursor& cursor, const std::string& name);

}  // namespace quarry
