// TEXTSEARCH from the full-text index (see filter_text.h).
#include "engine/storage/cursor/filter_text.h"

#include <algorithm>
#include <cstring>

#include "engine/platform/locale_services.h"
#include "engine/storage/cursor/text_search_words.h"
#include "engine/storage/index/btree.h"
#include "engine/storage/index/index_file.h"
#include "engine/values/value_ops.h"

namespace quarry {

namespace {

constexpr int WordStart = 3;
constexpr int IdentifierStart = WordStart + TextWordBytes;
// The bytes of a word that no cut of a longer word can reach: a cut at 61 bytes that steps
// back over a character keeps at least 58.
constexpr std::size_t UncutWordBytes = TextWordBytes - 4;

bool StartsWith(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && text.compare(0, start.size(), start) == 0;
}

}  // namespace

TTextWordKeys TextWordKeys(int fieldNo, std::string_view upperWord, bool prefix, const TCollation& collation) {
  TTextWordKeys keys;
  upperWord = Utf8Prefix(upperWord, TextWordBytes);
  BuildTextKey(static_cast<std::uint16_t>(fieldNo), upperWord, 0, keys.Low.data());
  BuildTextKey(static_cast<std::uint16_t>(fieldNo), upperWord, 0, keys.High.data());
  // Every record identifier of the word, taken bytewise.
  std::memset(keys.Low.data() + IdentifierStart, 0x00, 4);
  std::memset(keys.High.data() + IdentifierStart, 0xFF, 4);
  if (prefix) {
    // The rest of the word part: the lowest and the highest the word can continue with.
    std::uint8_t* high = keys.High.data();
    std::size_t at = WordStart + upperWord.size();
    if (collation.IsBinary()) {
      std::memset(high + at, 0xFF, IdentifierStart - at);
    } else {
      // U+FFFF, the highest weight of the locale's collation, repeated while it fits.
      for (; at + 3 <= static_cast<std::size_t>(IdentifierStart); at += 3) {
        high[at] = 0xEF;
        high[at + 1] = 0xBF;
        high[at + 2] = 0xBF;
      }
    }
  }
  return keys;
}

TTextLookup LookUpText(int fieldNo, std::string_view searchText, const TTextParameters& parameters,
                       const TCollation& collation) {
  TTextLookup lookup;
  std::vector<std::string> stopWords;
  for (const std::string& stop : parameters.StopWords) stopWords.push_back(collation.Upper(stop));
  bool anyWord = false;
  for (const std::string& word : SearchWords(searchText, parameters, collation)) {
    const bool prefix = IsPrefixWord(word);
    if (!prefix && IsStopWord(word, parameters, collation)) continue;
    anyWord = true;
    const std::string text = prefix ? PrefixOf(word) : word;
    const std::string upper = collation.Upper(text);
    if (prefix && (upper.empty() || std::any_of(stopWords.begin(), stopWords.end(),
                                                [&](const std::string& stop) { return StartsWith(stop, upper); }))) {
      // Stop words this prefix starts are in the column but not in the index.
      lookup.RecordTest = true;
      continue;
    }
    TTextWordKeys keys = TextWordKeys(fieldNo, upper, prefix, collation);
    keys.Exact = text.size() <= UncutWordBytes && upper.size() <= UncutWordBytes;
    lookup.RecordTest = lookup.RecordTest || !keys.Exact;
    lookup.Words.push_back(keys);
  }
  lookup.Everything = !anyWord;
  return lookup;
}

const TExpToken* TextSearchOf(const TExpToken& leaf, int& fieldNo, std::string& searchText) {
  const TExpToken* node = &leaf;
  if (leaf.NodeClass == nc::Binary && leaf.OpCode == op::Equal && leaf.Left != nullptr && leaf.Right != nullptr &&
      leaf.Right->NodeClass == nc::Constant && leaf.Right->DataType == vt::Boolean && !leaf.Right->IsNull &&
      ValueAsBoolean(*leaf.Right))
    node = leaf.Left;
  if (node->NodeClass != nc::Function || node->OpCode != op::TextSearch || node->Args.size() != 2) return nullptr;
  const TExpToken* words = node->Args[0];
  const TExpToken* column = node->Args[1];
  if (words == nullptr || words->NodeClass != nc::Constant || words->IsNull) return nullptr;
  if (column == nullptr || column->NodeClass != nc::Column || column->FieldNo < 1) return nullptr;
  fieldNo = column->FieldNo;
  searchText = ValueAsText(*words);
  return node;
}

std::int64_t WalkTextWord(TIndexFile& index, const TTextWordKeys& word, TRecordsBitmap* bits) {
  TBTree tree = index.Tree(TextSlot);
  const TKeyComparator& comparator = index.Comparator(TextSlot);
  std::array<std::uint8_t, TextKeyLength> key{};
  TIndexPath path;
  std::int64_t read = 0;
  tree.Find(word.Low.data(), path);
  for (bool on = tree.OnEntry(path); on; on = tree.Next(path)) {
    const std::int32_t recordNo = tree.EntryAt(path, key.data());
    if (comparator.Compare(key.data(), word.High.data()) > 0) break;
    ++read;
    if (bits != nullptr) bits->Include(recordNo);
  }
  return read;
}

}  // namespace quarry
