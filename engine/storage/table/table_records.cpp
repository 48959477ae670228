// TTableRecords: record access by number over a cursor opened on the table (see
// table_records.h).
#include "engine/storage/table/table_records.h"

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/errors/engine_error.h"
#include "engine/storage/index/btree.h"
#include "engine/storage/index/index_key.h"
#include "engine/storage/table/directory.h"

namespace quarry {

TTableRecords::TTableRecords(TDataTable& table)
    : table_(table), cursor_(std::make_unique<TDataCursor>(table.Directory())) {
  cursor_->OpenOn(table);
}

TTableRecords::~TTableRecords() = default;

TRecordImage TTableRecords::NewImage() const {
  return TRecordImage(static_cast<std::size_t>(table_.Data().RecordSize()), 0);
}

std::int32_t TTableRecords::Insert(const TRecordImage& image) {
  if (image.size() != static_cast<std::size_t>(table_.Data().RecordSize())) {
    RaiseEngineError(QUARRY_FILECORRUPT, {.table = table_.Name()});
  }
  TRecordImage record = image;
  cursor_->InsertRecord(record.data(), false);
  return RecordLink(record.data());
}

void TTableRecords::Seek(std::int32_t recordNo) {
  if (cursor_->GotoRecordNo(recordNo) != QUARRY_NONE) {
    RaiseEngineError(QUARRY_KEYORRECDELETED, {.database = table_.Directory().DatabaseName(), .table = table_.Name()});
  }
}

void TTableRecords::Update(std::int32_t recordNo, const TRecordImage& image) {
  Seek(recordNo);
  cursor_->UpdateRecord(image.data(), true, false);
}

void TTableRecords::Delete(std::int32_t recordNo) {
  Seek(recordNo);
  cursor_->DeleteRecord(nullptr, false);
}

TRecordImage TTableRecords::Read(std::int32_t recordNo) {
  TReadLockGuard readLock(table_);
  TPinnedRecord slot = table_.Data().GetRecord(nullptr, recordNo);
  if (!slot) RaiseEngineError(QUARRY_FILECORRUPT, {.table = table_.Name()});
  return TRecordImage(slot.Data(), slot.Data() + table_.Data().RecordSize());
}

std::int32_t TTableRecords::FindPrimary(const TRecordImage& image) {
  TReadLockGuard readLock(table_);
  TIndexFile& index = table_.Index();
  const std::vector<std::uint8_t> key = index.KeyBuilder(PrimarySlot).Build(image.data());
  TIndexPath path;
  if (!index.FindKey(PrimarySlot, path, key.data())) return 0;
  return index.Tree(PrimarySlot).EntryAt(path, nullptr);
}

std::int32_t TTableRecords::RecordCount() {
  TReadLockGuard readLock(table_);
  return table_.Index().RecordCount();
}

std::string TTableRecords::Verify() { return cursor_->Verify(); }

}  // namespace quarry
