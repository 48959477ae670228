// TEXTSEARCH answered from the full-text index ("Sys Text"), for the filter optimiser
// (filter_analysis.h, filter_bitmap.h) and the cursor's own index search.
//
// A search text is looked up word by word: each word that is not a stop word walks the keys
// of its upper-cased form (or, for a word ending in "*", of every word starting with it) in
// the column's part of the index, and the record sets of the words are intersected. The
// index holds no stop words and holds each word upper-cased and cut to 61 bytes, so a word
// answers exactly only when neither matters:
//   - a prefix that a stop word starts with (and the lone "*") also matches column words the
//     index leaves out: its walk would miss records, so it is not walked;
//   - a word of more than 57 bytes may meet words the index cut: its walk finds every
//     matching record and perhaps some more.
// Either way the records the walks keep are tested against the search one by one. A text of
// stop words alone matches every record, and walks nothing.
//
// The index is only used on tables without a language identifier, whose keys order bytewise
// and whose upper-casing is the one the record test compares with.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/index/collation.h"
#include "engine/storage/index/index_definition.h"
#include "engine/storage/index/text_index.h"
#include "engine/values/exp_token.h"
#include "engine/values/records_bitmap.h"

namespace quarry {

class TIndexFile;

// The keys of one search word in the full-text index, from Low to High inclusive.
struct TTextWordKeys {
  std::array<std::uint8_t, TextKeyLength> Low{};
  std::array<std::uint8_t, TextKeyLength> High{};
  bool Exact = true;  // the keys find exactly the records with a matching word, not more
};

// The keys of a word (upper-cased already), or of every word it starts, in the field's part
// of the index; the padding after a prefix follows the collation's lowest and highest
// characters.
TTextWordKeys TextWordKeys(int fieldNo, std::string_view upperWord, bool prefix, const TCollation& collation);

// How the full-text index answers one search text.
struct TTextLookup {
  std::vector<TTextWordKeys> Words;  // the words to walk
  bool Everything = false;           // stop words alone: every record matches
  bool RecordTest = false;           // the walks' records must still be tested one by one
};

TTextLookup LookUpText(int fieldNo, std::string_view searchText, const TTextParameters& parameters,
                       const TCollation& collation);

// The TEXTSEARCH a leaf asks: the node itself, or one compared as "= True" (as WHERE writes a
// lone TEXTSEARCH); null when the leaf is neither or its search text is no constant. Sets
// the column's field number and the search text.
const TExpToken* TextSearchOf(const TExpToken& leaf, int& fieldNo, std::string& searchText);

// Sets the bits of the records whose keys lie between the word's keys; returns the keys read.
// With no bitmap only counts.
std::int64_t WalkTextWord(TIndexFile& index, const TTextWordKeys& word, TRecordsBitmap* bits);

}  // namespace quarry
