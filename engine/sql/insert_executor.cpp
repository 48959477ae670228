// INSERT ... VALUES and INSERT ... SELECT; see insert_executor.h.
#include "engine/sql/insert_executor.h"

#include "engine/sql/change_transaction.h"
#include "engine/sql/expression_error.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/select_query.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/session.h"

namespace quarry {

TInsertExecutor::TInsertExecutor(TQueryStatement& statement) : TChangeExecutor(statement) {}

TInsertExecutor::~TInsertExecutor() { CloseTarget(); }

void TInsertExecutor::CloseTarget() noexcept {
  try {
    if (Target) {
      if (Target->Source != nullptr) Target->Source->Cursor = nullptr;
      Target.reset();
    }
    if (TDataDirectory* db = Statement.Database())
      for (TDataDirectory* directory : OwnedDirectories) db->Session().CloseDirectory(*directory);
  } catch (...) {
    // Closing the table of a freed statement cannot report anything.
  }
  OwnedDirectories.clear();
}

void TInsertExecutor::Prepare() {
  PrepareSelects();
  if (Statement.Database() == nullptr) RaiseSqlError("No database for the statement");
  TSourceTable* table = Query.Target != nullptr ? Query.Target : Query.SourceTables.front().get();
  Target = OpenSelectSource(*table, Statement, false, OwnedDirectories);
  Writer().ChooseIndexSlot(NaturalOrderSlot);
  Buffer.assign(static_cast<std::size_t>(Writer().RecordBufferSize()), 0);
  Columns.Resolve(Query, Writer(), Target->Correlation);
  if (const TSelectQuery* select = InsertSelect()) {
    Columns.CheckCount(static_cast<std::size_t>(select->VisibleColumnCount()));
    for (std::size_t i = 0; i < Columns.Columns().size(); ++i)
      Columns.Columns()[i].ValueText = select->Columns()[i].Text;
  } else {
    Columns.CheckCount(Query.UpdateValues.size());
    Columns.CheckValues("insert values", nullptr, this, false);
  }
}

void TInsertExecutor::Execute() {
  Rows = 0;
  RunSelects();
  Writer().SetKeepSuppliedIdentifiers(Query.NoAutoInc);
  if (Query.InsertSelect != nullptr) InsertSelected();
  else InsertValues();
  Query.RowCount = Rows;
}

std::int32_t TInsertExecutor::InsertBuffer(bool autoIncSupplied) {
  TDataCursor& writer = Writer();
  // Under NOAUTOINC a row without an auto-increment value still gets the next one.
  const bool keep = Query.NoAutoInc && autoIncSupplied;
  if (writer.KeepSuppliedIdentifiers() != keep) writer.SetKeepSuppliedIdentifiers(keep);
  try {
    writer.InsertRecord(Buffer.data(), false);
  } catch (...) {
    writer.CloseBlobs(Buffer.data());
    throw;
  }
  writer.CloseBlobs(Buffer.data());
  return RecordLink(Buffer.data());
}

void TInsertExecutor::InsertValues() {
  TDataCursor& writer = Writer();
  const TEvalContext context = ValueContext(writer.LanguageId(), writer.SortId());
  writer.InitRecord(Buffer.data());
  bool autoIncSupplied = false;
  try {
    for (const TTargetColumn& column : Columns.Columns()) {
      TExpTree value = Evaluate(*column.Value->Value, context);
      if (column.Field.IsAutoInc() && !value->IsNull) autoIncSupplied = true;
      TTargetColumns::Store(writer, Buffer.data(), column, *value, "INSERT", false);
    }
  } catch (...) {
    writer.CloseBlobs(Buffer.data());
    throw;
  }
  InsertBuffer(autoIncSupplied);
  Rows = 1;
}

void TInsertExecutor::InsertSelected() {
  TSelectQuery* select = InsertSelect();
  TDataCursor* result = select != nullptr ? select->ResultCursor() : nullptr;
  if (result == nullptr) return;
  TDataCursor& writer = Writer();
  std::vector<uint8_t> row(static_cast<std::size_t>(result->RecordBufferSize()), 0);
  const std::vector<TFieldDefinition>& fields = result->Fields();

  TChangeTransaction transaction(writer.Directory(), Query, writer);
  TChangeProgress progress(Statement, result->RecordCount());
  result->Home();
  while (result->Next(row.data()) == QUARRY_NONE) {
    writer.InitRecord(Buffer.data());
    bool autoIncSupplied = false;
    try {
      for (std::size_t i = 0; i < Columns.Columns().size(); ++i) {
        const TTargetColumn& column = Columns.Columns()[i];
        TExpTree value = RecordFieldValue(*result, fields[i], row.data());
        if (column.Field.IsAutoInc() && !value->IsNull) autoIncSupplied = true;
        TTargetColumns::Store(writer, Buffer.data(), column, *value, "INSERT", false);
      }
    } catch (...) {
      writer.CloseBlobs(Buffer.data());
      throw;
    }
    const std::int32_t recordNo = InsertBuffer(autoIncSupplied);
    if (TChangeUndo* undo = transaction.Undo()) undo->Inserted(recordNo);
    transaction.RowDone();
    if (progress.Step()) break;
  }
  transaction.Finish();
  Rows = transaction.Count();
  progress.Finish();
}

}  // namespace quarry
