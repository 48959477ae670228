// The full-text index ("Sys Text"): how text values are cut into words, the word keys, and
// the text parameters (stop words and character sets) kept in the index file.
//
// Words: a word ends at every character of the space set; a character in neither set is
// left out without ending the word; a character of the include set is added while the word
// has fewer than 61 characters. Each distinct word of a value (compared by the table's
// locale) that is not a stop word gives one key: 1, the field number (uint16 big-endian), the
// word upper-cased and zero-padded to 61 bytes, the record identifier (int32 key value).
//
// Text-parameter pages (type 4), chained through their next-page field from the text
// index's definition: int32 number of stop words; per stop word int32 length and its
// characters; int32 32 and the 32-byte space set; int32 32 and the 32-byte include set
// (bit i = character i). A value that would pass a page's 4,083 entry bytes starts at the
// beginning of the next page of the chain; no value is split.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/index/collation.h"

namespace quarry {

class TIndexFile;

constexpr int TextWordBytes = 61;

struct TTextParameters {
  std::vector<std::string> StopWords;
  std::bitset<256> SpaceCharacters;
  std::bitset<256> IncludeCharacters;

  // Used when the table has no parameter pages.
  static TTextParameters Defaults();
  bool operator==(const TTextParameters&) const = default;
};

// The distinct words of `text` that are not stop words, upper-cased by the collation and cut
// to 61 bytes (never inside a character), in order of first appearance.
std::vector<std::string> ExtractWords(std::string_view text, const TTextParameters& parameters,
                                      const TCollation& collation);

// The key of one word (68 bytes).
void BuildTextKey(std::uint16_t fieldNo, std::string_view word, std::int32_t identifier, std::uint8_t* key);

// The parameters stored in the index file, or the defaults when it holds none. A damaged
// chain raises QUARRY_INDEXCORRUPT.
TTextParameters ReadTextParameters(TIndexFile& file);
// Stores the parameters in the chain (reusing its pages, adding or freeing pages as needed).
void WriteTextParameters(TIndexFile& file, const TTextParameters& parameters);

}  // namespace quarry
