// TRecordColumnSource: column resolution and values over one table's field definitions.
#include "engine/sql/column_source.h"

#include <algorithm>

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/storage/data/record_buffer.h"

namespace quarry {

std::string TrimBlanks(const std::string& s) { return TrimText(s); }

TRecordColumnSource::TRecordColumnSource(std::vector<TFieldDefinition> fields, std::string tableName,
                                         TBlobReader blobReader)
    : FieldList(std::move(fields)), TableName(std::move(tableName)), BlobReader(std::move(blobReader)) {}

const TFieldDefinition* TRecordColumnSource::FindField(const std::string& name) const {
  const std::string wanted = TrimBlanks(name);
  for (const auto& field : FieldList)
    if (SameTextIgnoringCase(TrimBlanks(field.Name), wanted)) return &field;
  return nullptr;
}

bool TRecordColumnSource::ResolveColumn(TExpToken& column) {
  if (!column.TableName.empty() && !SameTextIgnoringCase(TrimBlanks(column.TableName), TrimBlanks(TableName)))
    return false;
  const TFieldDefinition* field = FindField(column.ColumnName);
  if (field == nullptr) return false;
  column.FieldNo = static_cast<int16_t>(field->FieldNo);
  column.DataType = static_cast<uint8_t>(field->DataType);
  column.SubType = field->SubType == st::AutoInc ? st::None : field->SubType;
  column.Scale = field->Scale;
  column.SetValueSize(field->ValueSize);
  return true;
}

void TRecordColumnSource::ProvideColumnValue(TExpToken& column, const uint8_t* record) {
  const TFieldDefinition* field = nullptr;
  for (const auto& f : FieldList)
    if (f.FieldNo == static_cast<uint16_t>(column.FieldNo)) field = &f;
  column.ZeroValue();
  if (field == nullptr || record == nullptr || IsFieldNull(record, *field)) {
    column.IsNull = true;
    return;
  }
  column.IsNull = false;
  if (field->IsBlob()) {
    std::string contents;
    if (!BlobReader || !BlobReader(*field, record, contents)) {
      column.IsNull = true;
      return;
    }
    const bool memo = field->SubType == st::Memo || field->SubType == st::FormattedMemo;
    column.SetValueSize(static_cast<int32_t>(contents.size()) + (memo ? 1 : 0));
    column.ZeroValue();
    std::copy(contents.begin(), contents.end(), column.Value.begin());
    return;
  }
  column.SetValueSize(field->ValueSize);
  const uint8_t* data = FieldData(record, *field);
  std::copy(data, data + field->ValueSize, column.Value.begin());
}

}  // namespace quarry
