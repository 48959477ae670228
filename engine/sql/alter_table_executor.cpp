// ALTER TABLE; see alter_table_executor.h.
#include "engine/sql/alter_table_executor.h"

#include <algorithm>
#include <optional>

#include "engine/sql/data_query.h"
#include "engine/sql/expression_error.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/maintenance/restructure_request.h"

namespace quarry {

namespace {

// The table as the statement finds it.
struct TTableAsFound {
  TTableInfo Info;
  std::vector<TFieldDefinition> Fields;  // FieldNo = position
  TIndexDefinition Primary;              // no fields: none
  std::vector<TIndexDefinition> Secondaries;
  TIndexDefinition Text;  // no fields: none
  TTextParameters Parameters;
};

// The columns as the actions leave them. Each carries in FieldNo the number of the field
// whose values it takes (added ones: numbers above every existing field).
class TColumnList {
 public:
  TColumnList(std::vector<TFieldDefinition> fields, std::string table)
      : Columns(std::move(fields)), Table(std::move(table)) {
    for (const TFieldDefinition& f : Columns) Highest = std::max<int>(Highest, f.FieldNo);
  }

  void Apply(const TCreateField& action) {
    switch (action.Action) {
    case TAlterAction::Add: Add(action); break;
    case TAlterAction::Redefine: Redefine(action); break;
    case TAlterAction::Drop: Columns.erase(Columns.begin() + (Find(action.ColumnName) - 1)); break;
    case TAlterAction::None: break;
    }
  }
  const std::vector<TFieldDefinition>& Fields() const { return Columns; }
  // The new position of the field numbered `fieldNo` before the statement; 0 when dropped.
  int NewPosition(int fieldNo) const {
    for (std::size_t i = 0; i < Columns.size(); ++i)
      if (Columns[i].FieldNo == fieldNo) return static_cast<int>(i + 1);
    return 0;
  }

 private:
  std::vector<TFieldDefinition> Columns;
  std::string Table;
  int Highest = 0;

  int Find(const std::string& name) const {
    const int position = ColumnPosition(Columns, name);
    if (position == 0) RaiseSqlError("Column " + name + " not found");
    return position;
  }
  void Add(const TCreateField& action) {
    TFieldDefinition field = FieldDefinitionOf(action, static_cast<std::uint16_t>(++Highest), Table);
    const int at = action.AtPosition;
    // AT beyond the new column count appends, like no AT at all.
    if (at >= 1 && at <= static_cast<int>(Columns.size()) + 1) Columns.insert(Columns.begin() + (at - 1), field);
    else Columns.push_back(field);
  }
  void Redefine(const TCreateField& action) {
    const int position = Find(action.ColumnName);
    TFieldDefinition field = Columns[static_cast<std::size_t>(position - 1)];
    ApplyRedefinition(action, field, Table);
    const int count = static_cast<int>(Columns.size());
    int to = position;
    if (action.AtPosition >= 1) to = action.AtPosition <= count ? action.AtPosition : count;
    Columns.erase(Columns.begin() + (position - 1));
    Columns.insert(Columns.begin() + (to - 1), field);
  }
};

// An index the statement keeps, with its key fields renumbered to the new positions.
TIndexDefinition Renumbered(TIndexDefinition index, const TColumnList& columns,
                            const std::vector<TFieldDefinition>& oldFields, const std::string& which) {
  for (int k = 0; k < index.FieldCount && k < MaxKeyFields; ++k) {
    const int old = index.FieldNumbers[static_cast<std::size_t>(k)];
    const int now = columns.NewPosition(old);
    if (now == 0) {
      const std::string name = old >= 1 && old <= static_cast<int>(oldFields.size())
                                   ? oldFields[static_cast<std::size_t>(old - 1)].Name
                                   : "";
      RaiseSqlError("Column " + name + " cannot be dropped while " + which + " uses it");
    }
    index.FieldNumbers[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(now);
  }
  return index;
}

// The first record the restructure could not carry over.
struct TRefusal {
  TRestructureEventKind Kind = TRestructureEventKind::OtherFailure;
  std::string Text;
};

[[noreturn]] void RaiseRefusal(const TRefusal& refusal, const std::string& database, const std::string& table) {
  const std::string stopped = "ALTER TABLE stopped and the table is unchanged: ";
  switch (refusal.Kind) {
  case TRestructureEventKind::DuplicateKey:
    RaiseEngineError(QUARRY_KEYVIOL, {.database = database, .table = table, .index = refusal.Text});
  case TRestructureEventKind::ValidityCheck:
    RaiseSqlError(stopped + "a value of the column " + refusal.Text + " fails its NOT NULL, MIN or MAX check");
  case TRestructureEventKind::CannotConvert:
    RaiseSqlError(stopped + "a value of the column " + refusal.Text + " cannot be converted to its new data type");
  default: RaiseSqlError(stopped + "a record cannot be copied (" + refusal.Text + ")");
  }
}

}  // namespace

void TAlterTableExecutor::Prepare() {
  TDefinitionExecutor::Prepare();
  TextOptions.Prepare(Query, Statement);
}

void TAlterTableExecutor::Run() {
  const std::string& table = TableName();
  TTableAsFound found;
  {
    TOpenTarget open(*this);
    TDataCursor& cursor = Cursor();
    found.Info = cursor.TableInfo();
    found.Fields = cursor.TableFields();
    found.Primary = cursor.GetIndexDefinition(PrimarySlot);
    const int secondaries = cursor.IndexCount() - (found.Primary.Defined() ? 1 : 0);
    for (int slot = 1; slot <= secondaries; ++slot) {
      const TIndexDefinition& index = cursor.GetIndexDefinition(slot);
      if (!index.Temporary) found.Secondaries.push_back(index);
    }
    found.Text = cursor.GetIndexDefinition(TextSlot);
    if (TextOptions.AnyGiven()) found.Parameters = cursor.TextParameters();
    open.Close();
  }

  TRestructureRequest request;
  TTableDefinition& d = request.Table;
  d.Encrypted = found.Info.Encrypted;
  d.Password = found.Info.Password;
  d.LanguageId = found.Info.LanguageId;
  d.SortId = found.Info.SortId;
  d.BlobBlockSize = found.Info.BlobBlockSize;
  d.Description = found.Info.Description;
  d.UserMajor = found.Info.UserMajor;
  d.UserMinor = found.Info.UserMinor;
  if (Query.EncryptionGiven) {
    d.Encrypted = !Query.Password.empty();
    d.Password = Query.Password;
  }
  if (Query.LanguageGiven) {
    d.LanguageId = Query.LanguageId;
    d.SortId = Query.SortId;
  }
  if (Query.BlobBlockSize != 0) d.BlobBlockSize = Query.BlobBlockSize;
  if (Query.DescriptionGiven) d.Description = Query.Description;
  if (Query.UserMajorVersionGiven) d.UserMajor = UserVersion(Query.UserMajorVersion);
  if (Query.UserMinorVersionGiven) d.UserMinor = UserVersion(Query.UserMinorVersion);

  // Columns.
  TColumnList columns(found.Fields, table);
  for (const auto& action : Query.CreateFields) columns.Apply(*action);
  d.Fields = columns.Fields();

  // Indexes: the primary-key actions, then the kept indexes renumbered.
  std::optional<TIndexDefinition> primary;  // set when an action replaced or dropped it
  bool hasPrimary = found.Primary.FieldCount > 0;
  for (const auto& clause : Query.CreateIndexes) {
    switch (clause->Action) {
    case TAlterAction::Add:
      if (hasPrimary) RaiseSqlError("Cannot REDEFINE the primary key using the ADD keyword");
      [[fallthrough]];
    case TAlterAction::Redefine:
      primary = IndexDefinitionOf(*clause, d.Fields, table);
      hasPrimary = true;
      break;
    case TAlterAction::Drop:
      primary = TIndexDefinition{};
      hasPrimary = false;
      break;
    case TAlterAction::None: break;
    }
  }
  if (primary) d.Primary = *primary;
  else if (found.Primary.FieldCount > 0)
    d.Primary = Renumbered(found.Primary, columns, found.Fields, "the primary index");
  for (const TIndexDefinition& index : found.Secondaries)
    d.Secondaries.push_back(Renumbered(index, columns, found.Fields, "the index " + index.Name));
  if (Query.TextIndexGiven) d.Text = TextIndexDefinitionOf(Query.TextIndexColumnNames(), d.Fields, table);
  else if (found.Text.FieldCount > 0) d.Text = Renumbered(found.Text, columns, found.Fields, "the text index");

  if (TextOptions.AnyGiven()) request.TextParameters = TextOptions.Apply(found.Parameters, Statement);
  request.LastAutoIncValue = Query.LastAutoIncGiven ? Query.LastAutoInc : -1;
  request.NoBackups = Query.NoBackup;
  std::optional<TRefusal> refusal;
  request.OnEvent = [&refusal](TRestructureEventKind kind, const std::string& text, bool&, bool& carryOn) {
    // A dropped column's values are meant to go; anything else would lose the record.
    if (kind == TRestructureEventKind::FieldDropped) return;
    refusal = TRefusal{kind, text};
    carryOn = false;
  };
  if (!Cursor().RestructureTable(request))
    RaiseRefusal(refusal.value_or(TRefusal{}), TargetDirectory().DatabaseName(), table);
}

}  // namespace quarry
