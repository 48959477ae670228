// The private working state of TDataCursor shared by its implementation files: the columns
// filters are checked against, the converted minimum and maximum values of the
// field checks, and reusable scratch buffers (so that navigation never allocates).
// Included only by the cursor's own .cpp files.
#pragma once

#include <cstdint>
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
  std::vector<std::uint8_t>& Scratch(int size) {
    if (scratch.size() < static_cast<std::size_t>(size)) scratch.resize(static_cast<std::size_t>(size), 0);
    return scratch;
  }
  // A reusable key buffer of at least length bytes.
  static std::uint8_t* Sized(std::vector<std::uint8_t>& buffer, int length) {
    if (buffer.size() < static_cast<std::size_t>(length)) buffer.resize(static_cast<std::size_t>(length), 0);
    return buffer.data();
  }
  std::vector<std::uint8_t>& KeyCopy(const std::uint8_t* key, int length) {
    keyCopy.assign(key, key + length);
    return keyCopy;
  }

  // The table's collation, opened on first use.
  const TCollation& Collation(const TDataCursor& cursor) {
    if (!collation) collation = CollationFor(cursor.LanguageId(), cursor.SortId(), cursor.TableName());
    return *collation;
  }

  TFilterColumns filterColumns;
  std::shared_ptr<const TCollation> collation;
  std::vector<TFieldCheck> checks;
  std::vector<std::uint8_t> scratch;
  std::vector<std::uint8_t> keyCopy;
  std::vector<std::uint8_t> builtKey;   // a key built from a record (FindKey, SyncTo, record positions)
  std::vector<std::uint8_t> searchKey;  // the padded key a search runs with
};

// Scope of one navigation or search: under strict change detection it holds read lock B
// (which rereads the headers); either way it resynchronises the cursor when the table
// changed since the snapshot.
struct TDataCursor::TOperation {
  explicit TOperation(TDataCursor& cursor) {
    cursor.RequireOpen();
    if (cursor.Session().Settings().StrictChangeDetection) lock.emplace(*cursor.table_);
    cursor.CheckChanges();
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
      if (filterActive_ && !visibleValid_) RebuildVisible();
      return step();
    } catch (const TRestart&) {
      if (attempt >= kRestartAttempts) Raise(QUARRY_INDEXCORRUPT);
      Resync();
    }
  }
}

// A value node holding a field's value from a record image.
TExpTree FieldValueNode(const TFieldDefinition& field, const std::uint8_t* record);
// A value node of the field's type converted from a value text (min, max, default); null
// when the text does not convert. today/now come from the environment for CURRENT_... texts.
TExpTree ValueTextNode(const TFieldDefinition& field, const std::string& text, TEnvironment& environment);

}  // namespace quarry
