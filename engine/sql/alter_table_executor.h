// TAlterTableExecutor: runs ALTER TABLE. The table is opened exclusively to read its
// options, fields and indexes, and closed again; the column actions (ADD, REDEFINE, DROP,
// each with AT) and the primary-key actions are applied to those lists in written order,
// and the cursor's RestructureTable makes the table so. Options the statement does not give
// keep the table's values.
//
// Columns keep their values through the restructure by their field number: a kept or
// redefined column carries the number of the field it was, an added one a number above all
// of them. Index definitions name fields by their new positions, so the indexes the
// statement keeps are renumbered; a column that a kept index uses cannot be dropped.
//
// A record that cannot be carried over as it is (a value that does not convert to its new
// type, fails a NOT NULL, MIN or MAX check, or repeats a key of a unique index) stops the
// restructure, and the table stays as it was; the statement then raises an error naming the
// column or index (QUARRY_KEYVIOL for a repeated key). Dropped columns are simply left out.
//
// Text-index parameters: STOP WORDS, SPACE CHARS and INCLUDE CHARS each replace the table's
// value; the ones not written stay.
#pragma once

#include "engine/sql/definition_clauses.h"
#include "engine/sql/definition_executor.h"

namespace quarry {

class TAlterTableExecutor : public TDefinitionExecutor {
 public:
  using TDefinitionExecutor::TDefinitionExecutor;
  void Prepare() override;

 protected:
  void Run() override;

 private:
  TTextIndexOptions TextOptions;
};

}  // namespace quarry
