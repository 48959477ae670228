// TDataCursor: text search over column texts (TEXTSEARCH, TEXTOCCURS) and over the full-text
// index, with the table's text parameters (see data_cursor.h and text_index.h).
//
// Words are cut by the text-index rules: a word ends at every space character; a character
// in neither set is left out without ending the word; an include character is added while
// the word is shorter than 61 bytes (never splitting a character). In search texts "*" is a
// word character, and a word ending in "*" matches every word with that prefix.
#include <algorithm>
#include <cstring>
#include <map>

#include "engine/storage/cursor/data_cursor.h"
#include "engine/storage/cursor/data_cursor_impl.h"
#include "engine/storage/data/record_buffer.h"
#include "engine/storage/index/index_key.h"
#include "engine/storage/table/table.h"

namespace quarry {

namespace {

// The words of text, each with the number of times it occurs, in order of first appearance.
std::vector<std::pair<std::string, std::int32_t>> SplitWords(std::string_view text, const TTextParameters& parameters) {
  std::vector<std::pair<std::string, std::int32_t>> words;
  std::string word;
  const auto finish = [&] {
    if (word.empty()) return;
    // Cut at 61 bytes, never inside a character.
    if (word.size() > static_cast<std::size_t>(TextWordBytes)) {
      std::size_t cut = TextWordBytes;
      while (cut > 0 && (static_cast<unsigned char>(word[cut]) & 0xC0) == 0x80) --cut;
      word.resize(cut);
    }
    auto it = std::find_if(words.begin(), words.end(), [&](const auto& w) { return w.first == word; });
    if (it == words.end()) {
      words.emplace_back(word, 1);
    } else {
      ++it->second;
    }
    word.clear();
  };
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (parameters.SpaceCharacters[c]) {
      finish();
    } else if (parameters.IncludeCharacters[c] && word.size() < static_cast<std::size_t>(TextWordBytes) + 4) {
      word.push_back(ch);
    }
  }
  finish();
  return words;
}

TTextParameters SearchParameters(const TTextParameters& parameters) {
  TTextParameters p = parameters;
  p.SpaceCharacters['*'] = false;
  p.IncludeCharacters['*'] = true;
  return p;
}

bool IsStopWord(const std::string& word, const TTextParameters& parameters, const TCollation& collation) {
  return std::any_of(parameters.StopWords.begin(), parameters.StopWords.end(),
                     [&](const std::string& stop) { return collation.Compare(stop, word, true) == 0; });
}

bool IsPrefixWord(const std::string& word) { return !word.empty() && word.back() == '*'; }

std::string PrefixOf(const std::string& word) {
  std::string prefix = word;
  while (!prefix.empty() && prefix.back() == '*') prefix.pop_back();
  return prefix;
}

bool Matches(const std::string& searchWord, const std::string& columnWord, const TCollation& collation) {
  if (IsPrefixWord(searchWord)) {
    const std::string prefix = PrefixOf(searchWord);
    if (columnWord.size() < prefix.size()) return false;
    return collation.Compare(columnWord.substr(0, prefix.size()), prefix, true) == 0;
  }
  return collation.Compare(columnWord, searchWord, true) == 0;
}

// Distinct search words, sorted by the collation ignoring case.
std::vector<std::string> SearchWords(std::string_view text, const TTextParameters& parameters,
                                     const TCollation& collation) {
  std::vector<std::string> words;
  for (auto& [word, count] : SplitWords(text, SearchParameters(parameters))) {
    (void)count;
    if (std::none_of(words.begin(), words.end(),
                     [&](const std::string& w) { return collation.Compare(w, word, true) == 0; })) {
      words.push_back(word);
    }
  }
  std::sort(words.begin(), words.end(),
            [&](const std::string& a, const std::string& b) { return collation.Compare(a, b, true) < 0; });
  return words;
}

}  // namespace

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
  const auto columnWords = SplitWords(columnText, parameters);
  for (const std::string& word : SearchWords(searchText, parameters, collation)) {
    if (!IsPrefixWord(word) && IsStopWord(word, parameters, collation)) continue;
    const bool found = std::any_of(columnWords.begin(), columnWords.end(),
                                   [&](const auto& c) { return Matches(word, c.first, collation); });
    if (!found) return false;
  }
  return true;
}

std::int32_t TDataCursor::TextOccurs(int fieldNo, std::string_view searchText, std::string_view columnText) {
  (void)fieldNo;
  const TTextParameters& parameters = TextParameters();
  const TCollation& collation = impl_->Collation(*this);
  const auto columnWords = SplitWords(columnText, parameters);
  std::int32_t total = 0;
  for (const std::string& word : SearchWords(searchText, parameters, collation)) {
    if (!IsPrefixWord(word) && IsStopWord(word, parameters, collation)) continue;
    for (const auto& [columnWord, count] : columnWords) {
      if (Matches(word, columnWord, collation)) total += count;
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
