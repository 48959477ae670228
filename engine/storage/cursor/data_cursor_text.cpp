// TDataCursor: text search over column texts (TEXTSEARCH, TEXTOCCURS) and over the full-text
// index, with the table's text parameters (see data_cursor.h and text_index.h); the words
// follow the rules of text_search_words.h.
#include <algorithm>
#include <cstring>
#include <map>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/cursor/data_cursor_impl.h"
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

bool TDataCursor::TextSearch(int fieldNo, std::string_view searchText, std::string_view columnText) {
  (void)fieldNo;
  const TTextParameters& parameters = TextParameters();
  const TCollation& collation = impl_->Collation(*this);
  const auto columnWords = ColumnWords(columnText, parameters);
  for (const std::string& word : SearchWords(searchText, parameters, collation)) {
    if (!IsPrefixWord(word) && IsStopWord(word, parameters, collation)) continue;
    const bool found = std::any_of(columnWords.begin(), columnWords.end(),
                                   [&](const auto& c) { return WordMatches(word, c.first, collation); });
    if (!found) return false;
  }
  return true;
}

std::int32_t TDataCursor::TextOccurs(int fieldNo, std::string_view searchText, std::string_view columnText) {
  (void)fieldNo;
  const TTextParameters& parameters = TextParameters();
  const TCollation& collation = impl_->Collation(*this);
  const auto columnWords = ColumnWords(columnText, parameters);
  std::int32_t total = 0;
  for (const std::string& word : SearchWords(searchText, parameters, collation)) {
    if (!IsPrefixWord(word) && IsStopWord(word, parameters, collation)) continue;
    for (const auto& [columnWord, count] : columnWords) {
      if (WordMatches(word, columnWord, collation)) total += count;
    }
  }
  return total;
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
  TBTree tree = Index().Tree(TextSlot);
  TRecordsBitmap found;
  bool searched = false;
  for (const std::string& word : SearchWords(searchText, parameters, collation)) {
    if (!IsPrefixWord(word) && IsStopWord(word, parameters, collation)) continue;
    const bool prefix = IsPrefixWord(word);
    std::string upper = collation.Upper(prefix ? PrefixOf(word) : word);
    if (upper.size() > static_cast<std::size_t>(TextWordBytes)) upper.resize(TextWordBytes);
    std::uint8_t low[TextKeyLength];
    std::uint8_t high[TextKeyLength];
    BuildTextKey(static_cast<std::uint16_t>(fieldNo), upper, 0, low);
    BuildTextKey(static_cast<std::uint16_t>(fieldNo), upper, -1, high);
    // BuildTextKey encodes the identifier as a key value: take the extremes bytewise.
    std::memset(low + 3 + TextWordBytes, 0x00, 4);
    std::memset(high + 3 + TextWordBytes, 0xFF, 4);
    if (prefix) {
      // The characters after the prefix: the lowest and highest the word part can hold.
      const bool binary = collation.IsBinary();
      for (std::size_t i = 3 + upper.size(); i < static_cast<std::size_t>(3 + TextWordBytes); ++i) {
        low[i] = 0x00;
        high[i] = 0xFF;
      }
      if (!binary) {
        // U+FFFF, the highest weight of the locale's collation, repeated while it fits.
        std::size_t at = 3 + upper.size();
        while (at + 3 <= static_cast<std::size_t>(3 + TextWordBytes)) {
          high[at] = 0xEF;
          high[at + 1] = 0xBF;
          high[at + 2] = 0xBF;
          at += 3;
        }
        for (; at < static_cast<std::size_t>(3 + TextWordBytes); ++at) high[at] = 0;
      }
    }
    TRecordsBitmap hits(candidates.Size());
    TIndexPath path;
    std::uint8_t key[TextKeyLength];
    const TKeyComparator& compare = Index().Comparator(TextSlot);
    tree.Find(low, path);
    for (bool on = tree.OnEntry(path); on; on = tree.Next(path)) {
      const std::int32_t recordNo = tree.EntryAt(path, key);
      if (compare.Compare(key, high) > 0) break;
      hits.Include(recordNo);
    }
    candidates.AndWith(hits);
    searched = true;
    (void)found;
  }
  if (!searched) candidates.ClearAll();
}

bool TDataCursor::TextSearch(const TExpToken& column, const std::string& words, bool& found,
                             std::int32_t& occurrences) {
  if (evaluating_ == nullptr || column.FieldNo < 1 || column.FieldNo > static_cast<int>(fields_.size())) return false;
  const TFieldDefinition& field = fields_[static_cast<std::size_t>(column.FieldNo - 1)];
  if (field.DataType != TFieldType::String) return false;
  const std::string text = IsFieldNull(evaluating_, field) ? std::string() : GetFieldString(evaluating_, field);
  found = TextSearch(column.FieldNo, words, text);
  occurrences = TextOccurs(column.FieldNo, words, text);
  return true;
}

}  // namespace quarry
