// The words of text searches: how TEXTSEARCH and TEXTOCCURS cut a column text and a search
// text into words, which search words are stop words or prefixes, and when a search word
// matches a column word. The cursor's text search (data_cursor_text.cpp) and the filter
// optimiser's answers from the full-text index (filter_text.h) follow the same rules.
//
// Words are cut by the text-index rules (text_index.h): a word ends at every space
// character; a character in neither set is left out without ending the word; an include
// character is added while the word is shorter than 61 bytes (never splitting a character).
// In search texts "*" is a word character, and a word ending in "*" matches every word with
// that prefix.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/storage/index/collation.h"
#include "engine/storage/index/text_index.h"

namespace quarry {

// The words of a column text, each with the number of times it occurs, in order of first
// appearance.
std::vector<std::pair<std::string, std::int32_t>> ColumnWords(std::string_view text, const TTextParameters& parameters);

// The distinct words of a search text ("*" counting as a word character), sorted by the
// collation ignoring case.
std::vector<std::string> SearchWords(std::string_view text, const TTextParameters& parameters,
                                     const TCollation& collation);

bool IsStopWord(const std::string& word, const TTextParameters& parameters, const TCollation& collation);
// A search word ending in "*", and the characters before its "*"s.
bool IsPrefixWord(const std::string& word);
std::string PrefixOf(const std::string& word);

// Whether a column word satisfies a search word.
bool WordMatches(const std::string& searchWord, const std::string& columnWord, const TCollation& collation);

}  // namespace quarry
