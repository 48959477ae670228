// TDataCursor: CreateTable with the checks of a new table's definition (every check runs
// before anything is created), TableExists and the table information of the data header.
#include <algorithm>
#include <cstring>

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/cursor/data_cursor_impl.h"
#include "engine/storage/data/data_header.h"
#include "engine/storage/data/value_text.h"
#include "engine/storage/files/file_names.h"
#include "engine/storage/index/collation.h"
#include "engine/storage/index/index_key.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"

namespace quarry {

void TDataCursor::CreateTable(TCreateTableDefinition definition) {
  RequireClosed();
  if (tableName_.empty()) RaiseEngineError(QUARRY_OSENOENT, {.database = directory_.DatabaseName()});
  const auto fail = [&](TEngineErrorCode code, std::string_view field = {}, std::string_view index = {}) {
    Raise(code, field, index);
  };

  // Table-level settings.
  if (definition.Encrypted) {
    definition.Password = TrimText(definition.Password);
    if (definition.Password.empty() || definition.Password.size() >= 16) fail(QUARRY_INVALIDPASSWORD);
  } else {
    definition.Password.clear();
  }
  if (definition.LanguageId != 0) CollationFor(definition.LanguageId, definition.SortId, tableName_);
  if (definition.Fields.size() > static_cast<std::size_t>(MaxTableFields) || definition.LastAutoInc < -1)
    fail(QUARRY_FLDLIMIT);
  const std::size_t indexCount = (definition.Primary.FieldCount > 0 ? 1 : 0) + definition.Secondaries.size() +
                                 (definition.Text.FieldCount > 0 ? 1 : 0);
  if (indexCount > 32 || definition.Secondaries.size() > static_cast<std::size_t>(MaxSecondaryIndexes))
    fail(QUARRY_INDEXLIMIT);
  if (definition.BlobBlockSize < MinBlobBlockSize || definition.BlobBlockSize > MaxBlobBlockSize)
    fail(QUARRY_BLOBLIMIT);

  // Fields: in field-number order, numbered 1..n without repeats.
  std::vector<TFieldDefinition>& fields = definition.Fields;
  std::stable_sort(fields.begin(), fields.end(), [](const auto& a, const auto& b) { return a.FieldNo < b.FieldNo; });
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TFieldDefinition& f = fields[i];
    f.Name = TrimText(f.Name);
    if (f.FieldNo != i + 1) fail(QUARRY_INVALIDFLDTYPE, f.Name);
    if (f.Name.empty() || f.Name.size() > static_cast<std::size_t>(MaxFieldNameLength) ||
        !IsNameStartByte(static_cast<unsigned char>(f.Name[0]))) {
      fail(QUARRY_INVALIDFIELDNAME, f.Name);
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (SameTextIgnoringCase(fields[j].Name, f.Name)) fail(QUARRY_INVALIDFIELDNAME, f.Name);
    }
    const std::uint8_t type = static_cast<std::uint8_t>(f.DataType);
    if (type == 0 || !IsValidFieldType(type)) fail(QUARRY_INVALIDFLDTYPE, f.Name);
    if (HasDeclaredSize(f.DataType)) {
      if (f.Size == 0 || f.Size > MaxDeclaredSize) fail(QUARRY_INVALIDFLDTYPE, f.Name);
    } else {
      f.Size = 0;
    }
    if (f.DataType != TFieldType::Bcd) f.Scale = 0;
    if (f.Computed && !definition.AllowComputedFields) fail(QUARRY_INVALIDFLDTYPE, f.Name);
    for (const std::string* text : {&f.DefaultValue, &f.MinValue, &f.MaxValue}) {
      if (!text->empty() && !IsValidValueText(f, *text)) fail(QUARRY_INVALIDVCHKSTRUCT, f.Name);
    }
  }
  const int recordSize = AssignFieldOffsets(fields.data(), static_cast<int>(fields.size()));
  if (recordSize > MaxRecordSize) fail(QUARRY_RECTOOBIG);

  // Indexes.
  const auto checkKeyFields = [&](TIndexDefinition& index, std::string_view name, bool text) {
    if (index.FieldCount > MaxKeyFields) fail(QUARRY_INVALIDIDXDESC, {}, name);
    std::vector<const TFieldDefinition*> keyFields;
    for (int i = 0; i < MaxKeyFields; ++i) {
      const int number = index.FieldNumbers[static_cast<std::size_t>(i)];
      if (i >= index.FieldCount) {
        if (number != 0) fail(QUARRY_INVALIDIDXDESC, std::to_string(number), name);
        continue;
      }
      if (number < 1 || number > static_cast<int>(fields.size()))
        fail(QUARRY_INVALIDIDXDESC, std::to_string(number), name);
      const TFieldDefinition& f = fields[static_cast<std::size_t>(number - 1)];
      if (text) {
        const bool textField = f.DataType == TFieldType::String || (f.IsBlob() && f.SubType == subtype::Memo);
        if (!textField) fail(QUARRY_SEARCHCOLREQD, f.Name, name);
      } else if (f.IsBlob()) {
        fail(QUARRY_SEARCHCOLREQD, f.Name, name);
      }
      keyFields.push_back(&f);
    }
    if (!text)
      index.KeyLength = static_cast<std::uint16_t>(ComputeKeyLength(keyFields, index.Unique, name, tableName_));
  };
  if (definition.Primary.FieldCount > 0) {
    definition.Primary.Name.clear();
    definition.Primary.Unique = true;
    checkKeyFields(definition.Primary, {}, false);
  }
  for (std::size_t i = 0; i < definition.Secondaries.size(); ++i) {
    TIndexDefinition& index = definition.Secondaries[i];
    index.Name = UpperAsciiText(TrimText(index.Name));
    if (index.Name.empty() || index.Name.size() > static_cast<std::size_t>(MaxIndexNameLength) ||
        !IsNameStartByte(static_cast<unsigned char>(index.Name[0]))) {
      fail(QUARRY_INVALIDINDEXNAME, {}, index.Name);
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (definition.Secondaries[j].Name == index.Name) fail(QUARRY_INDEXEXISTS, {}, index.Name);
    }
    if (index.FieldCount == 0) fail(QUARRY_INVALIDKEY, {}, index.Name);
    checkKeyFields(index, index.Name, false);
  }
  if (definition.Text.FieldCount > 0) checkKeyFields(definition.Text, TextIndexName, true);

  TTableDefinition table;
  table.Fields = std::move(definition.Fields);
  table.Primary = definition.Primary;
  table.Secondaries = definition.Secondaries;
  table.Text = definition.Text;
  table.LanguageId = definition.LanguageId;
  table.SortId = definition.SortId;
  table.BlobBlockSize = definition.BlobBlockSize;
  table.Description = definition.Description;
  table.Password = definition.Password;
  table.Encrypted = definition.Encrypted;
  table.LastAutoInc = definition.LastAutoInc;
  table.UserMajor = definition.UserMajor;
  table.UserMinor = definition.UserMinor;
  directory_.CreateTable(tableName_, inMemory_, table);
}

bool TDataCursor::TableExists() {
  if (table_ != nullptr) return true;
  return directory_.TableExists(tableName_, inMemory_);
}

TTableInfo TDataCursor::TableInfo() {
  const auto fill = [](const TDataFile& data) {
    TTableInfo info;
    info.LanguageId = data.LanguageId();
    info.SortId = data.SortId();
    info.BlobBlockSize = data.BlobBlockSize();
    info.Description = data.Description();
    info.Encrypted = data.Encrypted();
    info.Password = data.Password();
    info.UserMajor = data.UserMajorVersion();
    info.UserMinor = data.UserMinorVersion();
    info.LastAutoInc = data.LastAutoIncValue();
    info.LastUpdate = data.Header().LastWriteTime;
    info.FieldCount = data.FieldCount();
    info.RecordSize = data.RecordSize();
    return info;
  };
  if (table_ != nullptr) {
    TReadLockGuard lock(*table_);
    return fill(Data());
  }
  if (tableName_.empty()) RaiseEngineError(QUARRY_OSENOENT, {.database = directory_.DatabaseName()});
  TDataFile data(directory_.FileNameOf(tableName_, kDataExtension), inMemory_ || directory_.InMemory(),
                 &Session().Files());
  data.SetTableName(tableName_);
  data.Open();
  TTableInfo info;
  try {
    info = fill(data);
  } catch (...) {
    data.Close();
    throw;
  }
  data.Close();
  return info;
}

}  // namespace quarry
