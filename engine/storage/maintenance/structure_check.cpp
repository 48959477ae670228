// Checks of a restructure request (see structure_check.h).
#include "engine/storage/maintenance/structure_check.h"

#include <algorithm>
#include <set>
#include <vector>

#include "engine/platform/locale_services.h"
#include "engine/platform/text_names.h"
#include "engine/storage/blob/blob_file.h"
#include "engine/storage/data/value_text.h"
#include "engine/storage/errors/engine_error.h"

namespace quarry {

// Checks the requested structure as table creation does and returns it normalised: names
// trimmed (secondary index names upper-cased), declared sizes and scales cleared where the
// type has none, the primary index unnamed and unique.
TRestructureRequest CheckedStructure(const TRestructureRequest& request, const std::string& table,
                                     const std::string& database) {
  TRestructureRequest r = request;
  TTableDefinition& d = r.Table;
  auto raise = [&](TEngineErrorCode code, std::string field = {}, std::string index = {}) {
    RaiseEngineError(code, {.database = database, .table = table, .field = field, .index = index});
  };
  if (d.Encrypted) {
    const std::string password = TrimText(d.Password);
    if (password.empty() || password.size() >= 16) raise(QUARRY_INVALIDPASSWORD);
    d.Password = password;
  }
  if (d.LanguageId != 0 && !IsValidLocale(MakeLocaleId(d.LanguageId, d.SortId))) raise(QUARRY_CANNOTLOADLDDRV);
  if (d.Fields.size() > static_cast<std::size_t>(MaxTableFields) || r.LastAutoIncValue < -1) raise(QUARRY_FLDLIMIT);
  if (d.Secondaries.size() > static_cast<std::size_t>(MaxSecondaryIndexes)) raise(QUARRY_INDEXLIMIT);
  if (d.BlobBlockSize != 0 && (d.BlobBlockSize < MinBlobBlockSize || d.BlobBlockSize > MaxBlobBlockSize))
    raise(QUARRY_BLOBLIMIT);
  std::set<int> numbers;
  for (std::size_t i = 0; i < d.Fields.size(); ++i) {
    TFieldDefinition& f = d.Fields[i];
    f.Name = TrimText(f.Name);
    if (f.Name.empty() || f.Name.size() > static_cast<std::size_t>(MaxFieldNameLength) ||
        !IsNameStartByte(static_cast<unsigned char>(f.Name[0]))) {
      raise(QUARRY_INVALIDFIELDNAME, f.Name);
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (SameTextIgnoringCase(d.Fields[j].Name, f.Name)) raise(QUARRY_INVALIDFIELDNAME, f.Name);
    }
    if (f.FieldNo != 0 && !numbers.insert(f.FieldNo).second) raise(QUARRY_INVALIDFLDTYPE, f.Name);
    if (!IsValidFieldType(static_cast<std::uint8_t>(f.DataType)) || f.Computed) raise(QUARRY_INVALIDFLDTYPE, f.Name);
    if (HasDeclaredSize(f.DataType)) {
      if (f.Size == 0 || f.Size > MaxDeclaredSize) raise(QUARRY_INVALIDFLDTYPE, f.Name);
    } else {
      f.Size = 0;
    }
    if (f.DataType != TFieldType::Bcd) f.Scale = 0;
    f.ValueSize = static_cast<std::uint8_t>(StorageSizeOf(f.DataType, f.Size));
    for (const std::string* text : {&f.MinValue, &f.MaxValue, &f.DefaultValue}) {
      if (!text->empty() && !IsValidValueText(f, *text)) raise(QUARRY_INVALIDVCHKSTRUCT, f.Name);
    }
  }
  d.Primary.Name.clear();
  d.Primary.Unique = true;
  for (TIndexDefinition& s : d.Secondaries) s.Name = UpperAsciiText(TrimText(s.Name));
  return r;
}

bool SameIndex(const TIndexDefinition& a, const TIndexDefinition& b) {
  if (a.FieldCount != b.FieldCount || a.Descending != b.Descending || a.CaseInsensitive != b.CaseInsensitive ||
      a.Unique != b.Unique || a.Compression != b.Compression ||
      !SameTextIgnoringCase(TrimText(a.Name), TrimText(b.Name))) {
    return false;
  }
  for (int i = 0; i < a.FieldCount && i < MaxKeyFields; ++i) {
    if (a.FieldNumbers[i] != b.FieldNumbers[i] || a.FieldDescending[i] != b.FieldDescending[i]) return false;
  }
  return true;
}

bool SameTextIndexFields(const TIndexDefinition& a, const TIndexDefinition& b) {
  if (a.FieldCount != b.FieldCount) return false;
  for (int i = 0; i < a.FieldCount && i < MaxKeyFields; ++i) {
    if (a.FieldNumbers[i] != b.FieldNumbers[i]) return false;
  }
  return true;
}

bool SameTextParameters(const TTextParameters& a, const TTextParameters& b, const TCollation& collation) {
  if (a.SpaceCharacters != b.SpaceCharacters || a.IncludeCharacters != b.IncludeCharacters) return false;
  if (a.StopWords.size() != b.StopWords.size()) return false;
  auto sorted = [&](std::vector<std::string> words) {
    std::sort(words.begin(), words.end(),
              [&](const std::string& x, const std::string& y) { return collation.Compare(x, y, true) < 0; });
    return words;
  };
  const std::vector<std::string> x = sorted(a.StopWords);
  const std::vector<std::string> y = sorted(b.StopWords);
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (collation.Compare(x[i], y[i], true) != 0) return false;
  }
  return true;
}

// True when a field's stored form changes (anything but its descriptive attributes).
bool StorageDiffers(const TFieldDefinition& have, const TFieldDefinition& want, int position) {
  return want.FieldNo != position || have.DataType != want.DataType || have.SubType != want.SubType ||
         have.Size != want.Size || have.Scale != want.Scale;
}

}  // namespace quarry
