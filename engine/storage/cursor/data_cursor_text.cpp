// TDataCursor: text search over column texts (TEXTSEARCH, TEXTOCCURS) and over the full-text
// index, with the table's text parameters (see data_cursor.h and text_index.h); the words
// follow the rules of text_search_words.h.
#include <algorithm>
#include <cstring>
#include <map>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/cursor/data_cursor_impl.h"
#include "engine/storage/cursor/filter_text.h"
#include "engine/storage/cursor/text_search_words.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/index/index_key.h"
#include "engine/storage/table/table.h"

namespace quarry {

const TTextParameters& TDataCursor::TextParameters() {
  RequireOpen();
  if (!textParameters_) {
    TReadLockGuard lock(*table_);
    textParameters_ = std::make_unique<TTextParameters>(ReadTextParameters(Index()));
  }
  return *textParameters_;
}

void TDataCursor::SetTextParameters(const TTextParameters& parameters) {
  RequireOpen();
  RequireWritable();
  textParameters_ = std::make_unique<TTextParameters>(parameters);
  textParametersChanged_ = true;
}

namespace {

struct TTextMatch {
  bool Found = true;             // every search word that is not a stop word matched
  std::int32_t Occurrences = 0;  // occurrences of the column words they matched
};

TTextMatch MatchText(std::string_view searchText, std::string_view columnText, const TTextParameters& parameters,
                     const TCollation& collation) {
  TTextMatch match;
  const auto columnWords = ColumnWords(columnText, parameters);
  for (const std::string& word : SearchWords(searchText, parameters, collation)) {
    if (!IsPrefixWord(word) && IsStopWord(word, parameters, collation)) continue;
    bool found = false;
    for (const auto& [columnWord, count] : columnWords) {
      if (!WordMatches(word, columnWord, collation)) continue;
      found = true;
      match.Occurrences += count;
    }
    match.Found = match.Found && found;
  }
  return match;
}

}  // namespace

bool TDataCursor::TextSearch(int fieldNo, std::string_view searchText, std::string_view columnText) {
  (void)fieldNo;
  return MatchText(searchText, columnText, TextParameters(), impl_->Collation(*this)).Found;
}

std::int32_t TDataCursor::TextOccurs(int fieldNo, std::string_view searchText, std::string_view columnText) {
  (void)fieldNo;
  return MatchText(searchText, columnText, TextParameters(), impl_->Collation(*this)).Occurrences;
}

void TDataCursor::TextIndexSearch(TRecordsBitmap& candidates, int fieldNo, std::string_view searchText) {
  RequireOpen();
  const TIndexDefinition& text = Index().Definition(TextSlot);
  bool indexed = false;
  for (int i = 0; i < text.FieldCount; ++i)
    indexed = indexed || text.FieldNumbers[static_cast<std::size_t>(i)] == fieldNo;
  if (!text.Defined() || !indexed) Raise(QUARRY_SEARCHCOLREQD, std::to_string(fieldNo));
  const TTextParameters& parameters = TextParameters();
  const TCollation& collation = impl_->Collation(*this);
  TReadLockGuard lock(*table_);
  bool searched = false;
  for (const std::string& word : SearchWords(searchText, parameters, collation)) {
    const bool prefix = IsPrefixWord(word);
    if (!prefix && IsStopWord(word, parameters, collation)) continue;
    TRecordsBitmap hits(candidates.Size());
    hits.ClearAll();
    WalkTextWord(Index(), TextWordKeys(fieldNo, collation.Upper(prefix ? PrefixOf(word) : word), prefix, collation),
                 &hits);
    candidates.AndWith(hits);
    searched = true;
  }
  if (!searched) candidates.ClearAll();
}

bool TDataCursor::TextSearch(const TExpToken& column, const std::string& words, bool& found,
                             std::int32_t& occurrences) {
  if (evaluating_ == nullptr || column.FieldNo < 1 || column.FieldNo > static_cast<int>(fields_.size())) return false;
  const TFieldDefinition& field = fields_[static_cast<std::size_t>(column.FieldNo - 1)];
  if (field.DataType != TFieldType::String) return false;
  const std::string text = IsFieldNull(evaluating_, field) ? std::string() : GetFieldString(evaluating_, field);
  const TTextMatch match = MatchText(words, text, TextParameters(), impl_->Collation(*this));
  found = match.Found;
  occurrences = match.Occurrences;
  return true;
}

}  // namespace quarry
