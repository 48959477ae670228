// What TDataCursor's implementation files share: the columns filters are checked
// against, the converted minimum and maximum values of the field checks, the operation
// frame (change check, restart after a mid-way change, resynchronisation) and the small
// helpers every file uses. Included only by the cursor's own .cpp files.
#pragma once

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/cursor/filter_expression_engine.h"
#include "engine/storage/errors/first_error.h"
#include "engine/storage/index/collation.h"
#include "engine/storage/table/session.h"
#include "engine/storage/table/table.h"
#include "engine/values/token_stack.h"

namespace quarry {

struct TDataCursor::TImpl {
  // A field's minimum and maximum, converted to the field's type (null when not set).
  struct TFieldCheck {
    int FieldNo = 0;
    TExpTree Min;
    TExpTree Max;
  };

  // Rebuilds what depends on the cursor's field definitions.
  void Bind(TDataCursor& cursor);
  const TFilterColumns& FilterColumns() const { return filterColumns; }

  // The table's collation, opened on first use.
  const TCollation& Collation(const TDataCursor& cursor) {
    if (!collation) collation = CollationFor(cursor.LanguageId(), cursor.SortId(), cursor.TableName());
    return *collation;
  }

  TFilterColumns filterColumns;
  std::shared_ptr<const TCollation> collation;
  std::vector<TFieldCheck> checks;
};

inline TDataFile& TDataCursor::Data() const { return table_->Data(); }
inline TIndexFile& TDataCursor::Index() const { return table_->Index(); }

inline void TDataCursor::Raise(TEngineErrorCode code, std::string_view field, std::string_view index,
                               std::string_view message) const {
  RaiseEngineError(code, {.database = directory_.DatabaseName(),
                          .table = tableName_,
                          .field = std::string(field),
                          .index = std::string(index),
                          .message = std::string(message)});
}

inline void TDataCursor::RequireClosed() const {
  if (table_ != nullptr) Raise(QUARRY_TABLEOPEN);
}

inline void TDataCursor::RequireOpen() const {
  if (table_ == nullptr)
    RaiseEngineError(QUARRY_NOTINITIALIZED, {.database = directory_.DatabaseName(), .table = tableName_});
}

inline void TDataCursor::RequireWritable() const {
  if (ReadOnly()) Raise(QUARRY_OSEACCES);
}

inline void TDataCursor::CopyOut(const std::uint8_t* image, std::uint8_t* buffer) const {
  if (buffer != nullptr && buffer != image) std::memcpy(buffer, image, static_cast<std::size_t>(bufferSize_));
}

// Scope of one navigation or search: under strict change detection it holds read lock B
// (which rereads the headers); either way it resynchronises the cursor when the table
// changed since the snapshot.
struct TDataCursor::TOperation {
  explicit TOperation(TDataCursor& cursor) {
    cursor.RequireOpen();
    if (cursor.Session().Settings().StrictChangeDetection) lock.emplace(*cursor.table_);
    if (cursor.snapshot_.Stale(*cursor.table_)) cursor.Resync();
  }
  std::optional<TReadLockGuard> lock;
};

// Attempts of an operation that keeps finding the table changed under its reads.
inline constexpr int kRestartAttempts = 4;

template <typename TStep>
auto TDataCursor::RunOperation(TStep step) -> decltype(step()) {
  TOperation operation(*this);
  for (int attempt = 1;; ++attempt) {
    try {
      visible_.Refresh(walk_.Natural(), walk_.Slot());
      return step();
    } catch (const TReadRestart&) {
      if (attempt >= kRestartAttempts) Raise(QUARRY_INDEXCORRUPT);
      Resync();
    }
  }
}

inline void TDataCursor::Resync() {
  // The image the caller last read stays what edits are checked against when the cursor
  // lands on the same record again.
  const bool wasPositioned = !walk_.Bof() && !walk_.Eof();
  const std::int32_t wasOn = wasPositioned ? walk_.RecordNo() : 0;
  const std::vector<std::uint8_t> seen = wasOn != 0 ? walk_.Seen() : std::vector<std::uint8_t>();
  for (int attempt = 0; attempt < kRestartAttempts; ++attempt) {
    try {
      snapshot_.Take(*table_);
      visible_.InvalidateAll();
      if (visible_.FiltersActive()) visible_.Rebuild(walk_.Natural(), walk_.Slot());
      if (walk_.Bof() || walk_.Eof()) {
        walk_.ForgetPath();
        return;
      }
      walk_.Reposition();
      if (wasOn != 0 && !walk_.Bof() && !walk_.Eof() && walk_.RecordNo() == wasOn) walk_.Seen() = seen;
      return;
    } catch (const TReadRestart&) {}
  }
  walk_.SetBof();
}

// A value node holding a field's value from a record image.
TExpTree FieldValueNode(const TFieldDefinition& field, const std::uint8_t* record);
// A value node of the field's type converted from a value text (min, max, default); null
// when the text does not convert. today/now come from the environment for CURRENT_... texts.
TExpTree ValueTextNode(const TFieldDefinition& field, const std::string& text, TEnvironment& environment);

}  // namespace quarry
