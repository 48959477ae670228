// TRecordSearch: finds the record of a dataset's cursor whose fields hold given values, for
// the dataset's Locate and Lookup. Three ways, cheapest first: the cursor's current index
// when the fields lead it; a lookup cursor on an index that fits the fields, which the
// dataset provides (the cursor then follows it, when the record is within its range and
// filters); a scan under a filter of one equality per field. An index compares by its
// collation, so a record it finds is confirmed with the dataset's own comparison.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "dbaccess/quarry_dataset.h"

namespace quarry {

// A cursor's navigation code as the dataset takes it: QUARRY_NONE, QUARRY_BOF, QUARRY_EOF and
// QUARRY_NOCURRREC pass; any other raises its engine error.
TEngineErrorCode CheckCursorCode(TEngineErrorCode code);

class TRecordSearch {
 public:
  // A cursor on an index that fits the fields (and the case option), or nullptr.
  using TLookupCursorSource = std::function<TDataCursor*(const std::vector<int>& fields, bool caseInsensitive)>;

  // engineIndex maps the dataset's field indexes to positions in cursor.Fields().
  TRecordSearch(TDataCursor& cursor, const std::vector<int>& engineIndex, std::size_t recordSize,
                TLookupCursorSource lookupCursor);

  // The bookmark, in the dataset's cursor, of a record whose fields hold values; false when
  // there is none. Moves the cursor.
  bool Find(const std::vector<int>& fields, const std::vector<TDataValue>& values, TLocateOptions options,
            TBookmark& found);

 private:
  bool Matches(const std::uint8_t* record, const std::vector<int>& fields, const std::vector<TDataValue>& values,
               TLocateOptions options) const;
  // Searches c's current index when the fields are its leading fields (and the case option
  // matches it when a string is among them).
  bool SearchIndex(TDataCursor& c, const std::vector<int>& fields, const std::vector<TDataValue>& values,
                   TLocateOptions options, TBookmark& found);
  // Searches a second cursor on an index that fits the fields, then follows it.
  bool SearchLookupCursor(const std::vector<int>& fields, const std::vector<TDataValue>& values, TLocateOptions options,
                          TBookmark& found);
  // Scans with a filter of one equality per field.
  bool SearchFilter(const std::vector<int>& fields, const std::vector<TDataValue>& values, TLocateOptions options,
                    TBookmark& found);

  TDataCursor& cursor_;
  const std::vector<int>& engineIndex_;
  std::size_t recordSize_;
  TLookupCursorSource lookupCursor_;
};

}  // namespace quarry
