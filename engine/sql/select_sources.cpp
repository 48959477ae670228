// Source tables of a running SELECT and column access over them; see select_sources.h.
#include "engine/sql/select_sources.h"

#include <algorithm>

#include "engine/platform/locale_services.h"
#include "engine/sql/query_statement.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/table/session.h"

namespace quarry {

const TFieldDefinition* TSelectSource::FindField(const std::string& name) const {
  if (!Cursor) return nullptr;
  const std::string wanted = TrimBlanks(name);
  for (const TFieldDefinition& field : Cursor->TableFields())
    if (SameTextIgnoringCase(TrimBlanks(field.Name), wanted)) return &field;
  return nullptr;
}

void SetColumnType(TExpToken& column, const TFieldDefinition& field) {
  column.FieldNo = static_cast<int16_t>(field.FieldNo);
  column.DataType = static_cast<uint8_t>(field.DataType);
  column.SubType = field.SubType == st::AutoInc ? st::None : field.SubType;
  column.Scale = field.Scale;
  column.SetValueSize(field.ValueSize);
}

std::unique_ptr<TSelectSource> OpenSelectSource(TSourceTable& table, TQueryStatement& statement, bool readOnly,
                                                std::vector<TDataDirectory*>& ownedDirectories) {
  TDataSession& session = statement.Database()->Session();
  auto source = std::make_unique<TSelectSource>();
  source->Source = &table;
  source->Correlation = table.CorrelationName.empty() ? table.TableName : table.CorrelationName;
  source->TableName = table.TableName;
  source->FromPosition = table.Position;
  TDataDirectory* directory = table.Database;
  if (directory == nullptr) {
    if (table.InMemory) {
      directory = &session.OpenDirectory("Memory", "");
      ownedDirectories.push_back(directory);
    } else if (!table.DatabasePath.empty()) {
      directory = &session.OpenDirectory("", table.DatabasePath);
      ownedDirectories.push_back(directory);
    } else {
      directory = statement.Database();
    }
  }
  source->Cursor = std::make_unique<TDataCursor>(*directory);
  source->Cursor->SetTableName(table.TableName);
  source->Cursor->SetInMemory(table.InMemory);
  source->Cursor->SetReadOnly(readOnly);
  TQueryStatement* owner = &statement;
  source->Cursor->SetPasswordCallback([owner](const std::string&, std::string& password) {
    password.clear();
    return owner->HasPasswordCallback() && owner->AskPassword();
  });
  source->Cursor->Open();
  source->Record.assign(static_cast<std::size_t>(source->Cursor->RecordBufferSize()), 0);
  table.Cursor = source->Cursor.get();
  return source;
}

TSelectSource* TSelectColumnSource::FindCorrelation(const std::string& correlation) const {
  const std::string wanted = TrimBlanks(correlation);
  for (TSelectSource* source : Sources)
    if (SameTextIgnoringCase(TrimBlanks(source->Correlation), wanted)) return source;
  return nullptr;
}

TSelectSource* TSelectColumnSource::SourceOf(const TExpToken& column) const {
  for (TSelectSource* source : Sources)
    if (source->Source == column.SourceTable) return source;
  return nullptr;
}

bool TSelectColumnSource::ResolveColumn(TExpToken& column) {
  if (!column.TableName.empty()) {
    TSelectSource* source = FindCorrelation(column.TableName);
    if (source == nullptr) return false;
    const TFieldDefinition* field = source->FindField(column.ColumnName);
    if (field == nullptr) return false;
    SetColumnType(column, *field);
    column.SourceTable = source->Source;
    return true;
  }
  for (TSelectSource* source : Sources) {
    const TFieldDefinition* field = source->FindField(column.ColumnName);
    if (field == nullptr) continue;
    SetColumnType(column, *field);
    column.SourceTable = source->Source;
    return true;
  }
  return false;
}

void TSelectColumnSource::ProvideColumnValue(TExpToken& column, const uint8_t* /*record*/) {
  TSelectSource* source = SourceOf(column);
  const TFieldDefinition* field = nullptr;
  if (source != nullptr && source->Cursor && column.FieldNo >= 1 &&
      column.FieldNo <= static_cast<int>(source->Cursor->TableFields().size()))
    field = &source->Cursor->TableFields()[static_cast<std::size_t>(column.FieldNo - 1)];
  column.IsNull = true;
  if (field == nullptr || source->NullRow || IsFieldNull(source->Record.data(), *field)) {
    column.ZeroValue();
    return;
  }
  if (field->IsBlob()) {
    // Read whole; a value that cannot be read is NULL to the expression.
    std::vector<uint8_t> contents;
    try {
      source->Cursor->ReadTableBlobValue(*field, source->Record.data(), contents);
    } catch (const EQuarryEngineError&) {
      column.ZeroValue();
      return;
    }
    const bool memo = field->SubType == subtype::Memo || field->SubType == subtype::FormattedMemo;
    column.IsNull = false;
    column.SetValueSize(static_cast<int32_t>(contents.size()) + (memo ? 1 : 0));
    column.ZeroValue();
    std::copy(contents.begin(), contents.end(), column.Value.begin());
    return;
  }
  column.IsNull = false;
  column.SetValueSize(field->ValueSize);
  const uint8_t* data = FieldData(source->Record.data(), *field);
  std::copy(data, data + field->ValueSize, column.Value.begin());
}

bool TSelectColumnSource::TextSearch(const TExpToken& column, const std::string& words, bool& found,
                                     int32_t& occurrences) const {
  TSelectSource* source = SourceOf(column);
  if (source == nullptr || column.FieldNo < 1 || column.FieldNo > source->Cursor->FieldCount()) return false;
  const TFieldDefinition& field = source->Cursor->Fields()[static_cast<std::size_t>(column.FieldNo - 1)];
  if (field.DataType != TFieldType::String) return false;
  const std::string text = source->NullRow || IsFieldNull(source->Record.data(), field)
                               ? std::string()
                               : GetFieldString(source->Record.data(), field);
  found = source->Cursor->TextSearch(column.FieldNo, words, text);
  occurrences = source->Cursor->TextOccurs(column.FieldNo, words, text);
  return true;
}

}  // namespace quarry
