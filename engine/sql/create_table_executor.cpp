// CREATE TABLE; see create_table_executor.h.
#include "engine/sql/create_table_executor.h"

#include "engine/sql/data_query.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/data_header.h"
#include "engine/storage/table/directory.h"
#include "engine/storage/table/table.h"

namespace quarry {

void TCreateTableExecutor::Prepare() {
  TDefinitionExecutor::Prepare();
  TextOptions.Prepare(Query, Statement);
}

void TCreateTableExecutor::Run() {
  const std::string& table = TableName();
  TCreateTableDefinition definition;
  std::uint16_t fieldNo = 0;
  for (const auto& column : Query.CreateFields)
    definition.Fields.push_back(FieldDefinitionOf(*column, ++fieldNo, table));
  for (const auto& index : Query.CreateIndexes)
    if (index->Primary) definition.Primary = IndexDefinitionOf(*index, definition.Fields, table);
  if (Query.TextIndexGiven)
    definition.Text = TextIndexDefinitionOf(Query.TextIndexColumnNames(), definition.Fields, table);
  if (Query.LanguageGiven) {
    definition.LanguageId = Query.LanguageId;
    definition.SortId = Query.SortId;
  }
  definition.BlobBlockSize = Query.BlobBlockSize != 0 ? Query.BlobBlockSize : DefaultBlobBlockSize;
  definition.Description = Query.Description;
  definition.Encrypted = !Query.Password.empty();
  definition.Password = Query.Password;
  definition.UserMajor = Query.UserMajorVersionGiven ? UserVersion(Query.UserMajorVersion) : 1;
  definition.UserMinor = Query.UserMinorVersionGiven ? UserVersion(Query.UserMinorVersion) : 0;

  if (Query.IfNotExists && Cursor().TableExists()) return;
  // Evaluated before the table exists, so that an error in them leaves nothing behind.
  const bool ownParameters = Query.TextIndexGiven && TextOptions.AnyGiven();
  const TTextParameters parameters =
      ownParameters ? TextOptions.Apply(TTextParameters::Defaults(), Statement) : TTextParameters{};
  Cursor().CreateTable(std::move(definition));
  if (ownParameters) StoreTextParameters(parameters);
}

void TCreateTableExecutor::StoreTextParameters(const TTextParameters& parameters) {
  TDataDirectory& directory = TargetDirectory();
  const bool inMemory = Target().InMemory;
  try {
    // Opened as a table object, not through a cursor: the creator needs no password.
    TDataTable& table = directory.OpenTable(TableName(), inMemory, true, false);
    try {
      WriteTextParameters(table.Index(), parameters);
      table.Flush(true, false, false);
    } catch (...) {
      try {
        directory.CloseTable(table);
      } catch (...) {}
      throw;
    }
    directory.CloseTable(table);
  } catch (...) {
    try {
      directory.DeleteTable(TableName(), inMemory);
    } catch (...) {}
    throw;
  }
}

}  // namespace quarry
