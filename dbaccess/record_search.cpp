// TRecordSearch: Locate's and Lookup's search over a dataset's cursor (see record_search.h).
#include "dbaccess/record_search.h"

#include <string>
#include <utility>

#include "dbaccess/field_values.h"
#include "engine/platform/text_names.h"
#include "engine/storage/data/record_buffer.h"

namespace quarry {

TEngineErrorCode CheckCursorCode(TEngineErrorCode code) {
  if (code == QUARRY_NONE || code == QUARRY_BOF || code == QUARRY_EOF || code == QUARRY_NOCURRREC) return code;
  RaiseEngineError(code);
}

TRecordSearch::TRecordSearch(TDataCursor& cursor, const std::vector<int>& engineIndex, std::size_t recordSize,
                             TLookupCursorSource lookupCursor)
    : cursor_(cursor), engineIndex_(engineIndex), recordSize_(recordSize), lookupCursor_(std::move(lookupCursor)) {}

bool TRecordSearch::Find(const std::vector<int>& fields, const std::vector<TDataValue>& values, TLocateOptions options,
                         TBookmark& found) {
  return SearchIndex(cursor_, fields, values, options, found) || SearchLookupCursor(fields, values, options, found) ||
         SearchFilter(fields, values, options, found);
}

bool TRecordSearch::Matches(const std::uint8_t* record, const std::vector<int>& fields,
                            const std::vector<TDataValue>& values, TLocateOptions options) const {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const TFieldDefinition& def = cursor_.Fields()[static_cast<std::size_t>(engineIndex_[fields[i]])];
    TDataValue have = DecodeFieldValue(record, def);
    const TDataValue& want = values[i];
    if (IsNullValue(want)) {
      if (!IsNullValue(have)) return false;
      continue;
    }
    if (IsNullValue(have)) return false;
    if (auto* text = std::get_if<std::string>(&have)) {
      std::string wanted = ValueText(want);
      std::string actual = *text;
      if (options.CaseInsensitive) {
        wanted = UpperAsciiText(wanted);
        actual = UpperAsciiText(actual);
      }
      if (options.PartialKey) {
        if (!wanted.empty() && wanted.back() == '*') wanted.pop_back();
        if (actual.compare(0, wanted.size(), wanted) != 0) return false;
      } else if (actual != wanted) {
        return false;
      }
    } else if (std::holds_alternative<double>(have)) {
      if (std::get<double>(have) != ValueFloat(want)) return false;
    } else if (std::holds_alternative<bool>(have)) {
      if (std::get<bool>(have) != ValueBool(want)) return false;
    } else if (ValueInt(have) != ValueInt(want)) {
      return false;
    }
  }
  return true;
}

bool TRecordSearch::SearchIndex(TDataCursor& c, const std::vector<int>& fields, const std::vector<TDataValue>& values,
                                TLocateOptions options, TBookmark& found) {
  if (c.NaturalOrder()) return false;
  const TIndexDefinition& index = c.IndexDefinition();
  if (fields.empty() || fields.size() > index.FieldCount) return false;
  bool anyString = false;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const TFieldDefinition& def = c.Fields()[static_cast<std::size_t>(engineIndex_[fields[i]])];
    if (index.FieldNumbers[i] != c.TableFieldNo(def.FieldNo)) return false;
    if ((def.DataType == TFieldType::String)) anyString = true;
  }
  if (anyString && options.CaseInsensitive != index.CaseInsensitive) return false;
  // Build the search record: full leading fields, then perhaps a partial last string.
  std::vector<std::uint8_t> key(recordSize_, 0);
  int fullFields = static_cast<int>(fields.size());
  int partial = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const TFieldDefinition& def = c.Fields()[static_cast<std::size_t>(engineIndex_[fields[i]])];
    TDataValue value = values[i];
    const bool last = i + 1 == fields.size();
    if (last && options.PartialKey && (def.DataType == TFieldType::String) && !IsNullValue(value)) {
      std::string text = ValueText(value);
      if (!text.empty() && text.back() == '*') text.pop_back();
      // A partial first field, or an empty prefix, is left to the filter search.
      if (text.empty() || fields.size() == 1) return false;
      value = text;
      partial = static_cast<int>(text.size());
      fullFields -= 1;
    }
    if (IsNullValue(value)) {
      c.PutField(def.FieldNo, key.data(), nullptr);
    } else {
      std::vector<std::uint8_t> scratch(recordSize_ + 16, 0);
      EncodeFieldValue(scratch.data(), def, value);
      c.PutField(def.FieldNo, key.data(), FieldData(scratch.data(), def));
    }
  }
  const int given = (partial == 0 && fullFields == index.FieldCount) ? 0 : fullFields;
  std::vector<std::uint8_t> buffer(recordSize_);
  bool ok = c.FindKey(key.data(), given, partial, false, buffer.data());
  // The index compares by its collation; confirm with the dataset's own comparison.
  if (ok) ok = Matches(buffer.data(), fields, values, options);
  if (ok) found = c.GetBookmark();
  return ok;
}

bool TRecordSearch::SearchLookupCursor(const std::vector<int>& fields, const std::vector<TDataValue>& values,
                                       TLocateOptions options, TBookmark& found) {
  TDataCursor* lookup = lookupCursor_(fields, options.CaseInsensitive);
  if (lookup == nullptr) return false;
  TBookmark atLookup;
  if (!SearchIndex(*lookup, fields, values, options, atLookup)) return false;
  // The record may be outside this cursor's range or filters: then it is not found here.
  if (cursor_.SyncTo(*lookup) != QUARRY_NONE) return false;
  found = cursor_.GetBookmark();
  return true;
}

bool TRecordSearch::SearchFilter(const std::vector<int>& fields, const std::vector<TDataValue>& values,
                                 TLocateOptions options, TBookmark& found) {
  TFilter* filter = cursor_.AddFilter(
      [&](TDataCursor&, const std::uint8_t* record) { return Matches(record, fields, values, options); }, this);
  std::vector<std::uint8_t> buffer(recordSize_);
  TEngineErrorCode code = QUARRY_EOF;
  try {
    cursor_.Home();
    code = CheckCursorCode(cursor_.Next(buffer.data()));
    if (code == QUARRY_NONE) found = cursor_.GetBookmark();
  } catch (...) {
    cursor_.RemoveFilter(filter);
    throw;
  }
  cursor_.RemoveFilter(filter);
  return code == QUARRY_NONE;
}

}  // namespace quarry
