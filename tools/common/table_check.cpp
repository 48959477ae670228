// Checking tables for damage; see table_check.h.
#include "tools/common/table_check.h"

#include <algorithm>
#include <filesystem>

#include "engine/platform/locale_services.h"
#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/files/file_names.h"

namespace quarry::tools {

namespace {

// Errors that say nothing about the table's files.
bool LeavesUnchecked(TEngineErrorCode code) {
  return code == QUARRY_OSENOENT || code == QUARRY_NOTSUFFTABLERIGHTS || code == QUARRY_OSEACCES ||
         code == QUARRY_LOCKTIMEOUT;
}

// The first BLOB value of the table that cannot be read, as a finding; empty when all can.
std::string UnreadableBlob(TDataCursor& cursor) {
  std::vector<int> blobFields;
  for (const TFieldDefinition& f : cursor.Fields())
    if (f.IsBlob()) blobFields.push_back(f.FieldNo);
  if (blobFields.empty()) return {};
  std::vector<std::uint8_t> record(static_cast<std::size_t>(cursor.RecordBufferSize()));
  std::vector<std::uint8_t> value;
  cursor.SetIndexSlot(NaturalOrderSlot);
  cursor.Home();
  while (cursor.Next(record.data()) == QUARRY_NONE) {
    for (const int fieldNo : blobFields) {
      try {
        cursor.ReadBlobValue(fieldNo, record.data(), value);
      } catch (const EQuarryEngineError& error) {
        return "record " + std::to_string(cursor.CurrentRecordNo()) + ": the BLOB of " +
               cursor.GetFieldDefinition(fieldNo).Name + " cannot be read: " + error.what();
      }
    }
  }
  return {};
}

}  // namespace

std::vector<std::string> TablesInFolder(const std::string& folder) {
  std::vector<std::string> tables;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::filesystem::path& path = entry.path();
    if (entry.is_regular_file(ec) && SameTextIgnoringCase(path.extension().string(), kDataExtension))
      tables.push_back(path.stem().string());
  }
  std::sort(tables.begin(), tables.end());
  return tables;
}

TTableCheck CheckTable(TDataDirectory& directory, const std::string& table) {
  TTableCheck check;
  try {
    TDataCursor cursor(directory);
    cursor.SetTableName(table);
    cursor.SetReadOnly(true);
    cursor.Open();
    check.Finding = cursor.Verify();
    if (check.Finding.empty()) check.Finding = UnreadableBlob(cursor);
    check.Records = cursor.RecordCount();
    cursor.Close();
  } catch (const EQuarryEngineError& error) {
    check.Outcome = LeavesUnchecked(error.Code()) ? TTableCheck::TOutcome::NotChecked : TTableCheck::TOutcome::Damaged;
    check.Finding = error.what();
    return check;
  } catch (const std::exception& error) {
    check.Outcome = TTableCheck::TOutcome::Damaged;
    check.Finding = error.what();
    return check;
  }
  if (!check.Finding.empty()) check.Outcome = TTableCheck::TOutcome::Damaged;
  return check;
}

}  // namespace quarry::tools
