// CREATE INDEX; see create_index_executor.h.
#include "engine/sql/create_index_executor.h"

#include <set>
#include <vector>

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/sql/data_query.h"
#include "engine/sql/definition_clauses.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/index/collation.h"
#include "engine/storage/index/index_key.h"

namespace quarry {

bool HasSecondaryIndex(TDataCursor& cursor, const std::string& name) {
  const bool primary = cursor.GetIndexDefinition(PrimarySlot).Defined();
  const int secondaries = cursor.IndexCount() - (primary ? 1 : 0);
  for (int slot = 1; slot <= secondaries; ++slot)
    if (SameTextIgnoringCase(TrimmedView(cursor.GetIndexDefinition(slot).Name), TrimmedView(name))) return true;
  return false;
}

void TCreateIndexExecutor::Run() {
  TOpenTarget open(*this);
  TDataCursor& cursor = Cursor();
  const TCreateIndex& clause = *Query.CreateIndexes.front();
  const TIndexDefinition index = IndexDefinitionOf(clause, cursor.TableFields(), TableName());
  if (Query.IfNotExists && HasSecondaryIndex(cursor, clause.IndexName)) {
    open.Close();
    return;
  }
  if (index.Unique) RefuseDuplicateKeys(index);
  cursor.AddIndex(index);
  open.Close();
}

void TCreateIndexExecutor::RefuseDuplicateKeys(const TIndexDefinition& index) {
  TDataCursor& cursor = Cursor();
  const TKeyBuilder keys(index, cursor.TableFields(), CollationFor(cursor.LanguageId(), cursor.SortId(), TableName()),
                         TableName());
  const TKeyComparator comparator = keys.Comparator();
  const auto less = [&comparator](const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    return comparator.Compare(a.data(), b.data()) < 0;
  };
  std::set<std::vector<std::uint8_t>, decltype(less)> seen(less);
  std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor.RecordBufferSize()));
  cursor.Home();
  while (cursor.Next(record.data()) == QUARRY_NONE) {
    if (!seen.insert(keys.Build(record.data())).second) {
      RaiseEngineError(
          QUARRY_KEYVIOL,
          {.database = TargetDirectory().DatabaseName(), .table = TableName(), .index = TrimText(index.Name)});
    }
  }
}

}  // namespace quarry
