// Words of text searches (see text_search_words.h).
#include "engine/storage/cursor/text_search_words.h"

#include <algorithm>

namespace quarry {

namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

TTextParameters SearchParameters(const TTextParameters& parameters) {
  TTextParameters p = parameters;
  p.SpaceCharacters['*'] = false;
  p.IncludeCharacters['*'] = true;
  return p;
}

}  // namespace

std::vector<std::pair<std::string, std::int32_t>> ColumnWords(std::string_view text,
                                                              const TTextParameters& parameters) {
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

bool WordMatches(const std::string& searchWord, const std::string& columnWord, const TCollation& collation) {
  if (IsPrefixWord(searchWord)) {
    const std::string prefix = PrefixOf(searchWord);
    if (collation.IsBinary() && !(IsAscii(prefix) && IsAscii(columnWord))) {
      // Upper-casing may change a text's length in bytes: the upper-cased word must start
      // with the upper-cased prefix (as it does among the full-text index's words).
      const std::string upper = collation.Upper(prefix);
      return collation.Upper(columnWord).compare(0, upper.size(), upper) == 0;
    }
    if (columnWord.size() < prefix.size()) return false;
    return collation.Compare(columnWord.substr(0, prefix.size()), prefix, true) == 0;
  }
  return collation.Compare(columnWord, searchWord, true) == 0;
}

std::vector<std::string> SearchWords(std::string_view text, const TTextParameters& parameters,
                                     const TCollation& collation) {
  std::vector<std::string> words;
  for (auto& [word, count] : ColumnWords(text, SearchParameters(parameters))) {
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

}  // namespace quarry
