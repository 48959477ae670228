// TDropTableExecutor and TDropIndexExecutor: run DROP TABLE and DROP INDEX.
//
// DROP TABLE deletes the table's files through the cursor's DeleteTable, which refuses a
// table that any cursor of this or another session or process has open; IF EXISTS makes a
// missing table no error. DROP INDEX opens the table exclusively and deletes the index named,
// PRIMARY (any case) meaning the primary index; IF EXISTS makes a missing index no error.
#pragma once

#include "engine/sql/definition_executor.h"

namespace quarry {

class TDropTableExecutor : public TDefinitionExecutor {
 public:
  using TDefinitionExecutor::TDefinitionExecutor;

 protected:
  void Run() override;
};

class TDropIndexExecutor : public TDefinitionExecutor {
 public:
  using TDefinitionExecutor::TDefinitionExecutor;

 protected:
  void Run() override;
};

}  // namespace quarry
