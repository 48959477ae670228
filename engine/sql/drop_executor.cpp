// DROP TABLE and DROP INDEX; see drop_executor.h.
#include "engine/sql/drop_executor.h"

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/sql/create_index_executor.h"
#include "engine/sql/data_query.h"
#include "engine/storage/cursor/data_cursor.h"

namespace quarry {

void TDropTableExecutor::Run() {
  if (Query.IfExists && !Cursor().TableExists()) return;
  Cursor().DeleteTable();
}

void TDropIndexExecutor::Run() {
  TOpenTarget open(*this);
  TDataCursor& cursor = Cursor();
  const std::string& name = Query.IndexName;
  if (SameTextIgnoringCase(TrimmedView(name), "PRIMARY")) {
    if (!(Query.IfExists && !cursor.GetIndexDefinition(PrimarySlot).Defined())) cursor.DeleteIndex("");
  } else if (!(Query.IfExists && !HasSecondaryIndex(cursor, name))) {
    cursor.DeleteIndex(name);
  }
  open.Close();
}

}  // namespace quarry
