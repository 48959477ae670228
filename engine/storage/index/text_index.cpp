// Full-text words, keys and parameters (see text_index.h).
#include "engine/storage/index/text_index.h"

#include <array>
#include <cstring>

#include "engine/platform/locale_services.h"
#include "engine/storage/index/index_definition.h"
#include "engine/storage/index/index_error.h"
#include "engine/storage/index/index_file.h"
#include "engine/storage/index/index_key.h"
#include "engine/values/byte_image.h"

namespace quarry {

namespace {

constexpr int SetBytes = 32;
// A stop word longer than a word can be never matches; longer ones are not stored.
constexpr int MaxStopWordBytes = 255;

bool IsAsciiLetterOrDigit(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

void SetToBytes(const std::bitset<256>& set, std::uint8_t* out) {
  std::memset(out, 0, SetBytes);
  for (int i = 0; i < 256; ++i) {
    if (set[i]) out[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
  }
}

std::bitset<256> SetFromBytes(const std::uint8_t* in) {
  std::bitset<256> set;
  for (int i = 0; i < 256; ++i) set[i] = (in[i / 8] >> (i % 8)) & 1;
  return set;
}

}  // namespace

TTextParameters TTextParameters::Defaults() {
  TTextParameters p;
  p.StopWords = {"A",  "AN",   "AND", "BE",   "FOR", "HOW", "IN",   "IS",   "IT",    "OF",  "ON",
                 "OR", "THAT", "THE", "THIS", "TO",  "WAS", "WHAT", "WHEN", "WHICH", "WHY", "WILL"};
  for (int c = 1; c <= 32; ++c) p.SpaceCharacters[c] = true;
  for (char c : std::string_view("*+,-./:;<=>\\`")) p.SpaceCharacters[static_cast<unsigned char>(c)] = true;
  for (int c = 33; c <= 255; ++c) {
    p.IncludeCharacters[c] = IsAsciiLetterOrDigit(c) || c == '_' || (c >= 128 && c <= 254);
  }
  return p;
}

std::vector<std::string> ExtractWords(std::string_view text, const TTextParameters& parameters,
                                      const TCollation& collation) {
  std::vector<std::string> words;
  std::string word;
  const auto finish = [&] {
    if (word.empty()) return;
    std::string upper = collation.Upper(Utf8Prefix(word, TextWordBytes));
    upper = std::string(Utf8Prefix(upper, TextWordBytes));
    word.clear();
    for (const std::string& stop : parameters.StopWords) {
      if (collation.Compare(upper, stop, true) == 0) return;
    }
    for (const std::string& seen : words) {
      if (collation.Compare(upper, seen, false) == 0) return;
    }
    words.push_back(std::move(upper));
  };
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == 0) break;
    if (parameters.SpaceCharacters[c]) {
      finish();
    } else if (parameters.IncludeCharacters[c] && word.size() < TextWordBytes) {
      word.push_back(ch);
    }
  }
  finish();
  return words;
}

void BuildTextKey(std::uint16_t fieldNo, std::string_view word, std::int32_t identifier, std::uint8_t* key) {
  std::memset(key, 0, TextKeyLength);
  key[0] = 1;
  EncodeUInt16Key(fieldNo, key + 1);
  word = Utf8Prefix(word, TextWordBytes);
  std::memcpy(key + 3, word.data(), word.size());
  EncodeInt32Key(identifier, key + 3 + TextWordBytes);
}

namespace {

// Walks the parameter chain value by value, moving to the next page before a value that
// would not fit in the current one.
class TParameterReader {
 public:
  TParameterReader(TIndexFile& file, std::int32_t first) : file_(file) { Load(first); }

  const std::uint8_t* Take(int n) {
    if (n > IndexPageEntryBytes) Corrupt();
    if (pos_ + n > IndexPageEntryBytes) {
      if (next_ == 0) Corrupt();
      Load(next_);
    }
    const std::uint8_t* p = page_.data() + pos_;
    pos_ += n;
    return p;
  }
  std::int32_t Int() { return bytes::Load<std::int32_t>(Take(4)); }
  [[noreturn]] void Corrupt() const { RaiseIndexError(QUARRY_INDEXCORRUPT, file_.FileName(), TextIndexName); }

 private:
  void Load(std::int32_t pageNo) {
    if (++pages_ > file_.Header().NextPage) Corrupt();  // a looped chain
    file_.ReadParameterPage(pageNo, page_.data(), next_);
    pos_ = 0;
  }

  TIndexFile& file_;
  std::array<std::uint8_t, IndexPageEntryBytes> page_{};
  std::int32_t next_ = 0;
  int pos_ = 0;
  std::int64_t pages_ = 0;
};

}  // namespace

TTextParameters ReadTextParameters(TIndexFile& file) {
  const std::int32_t first = file.Definition(TextSlot).TextParameters;
  if (first == 0) return TTextParameters::Defaults();
  TParameterReader in(file, first);
  TTextParameters p;
  const std::int32_t count = in.Int();
  if (count < 0 || count > 100000) in.Corrupt();
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t length = in.Int();
    if (length < 0 || length > MaxStopWordBytes) in.Corrupt();
    const std::uint8_t* chars = in.Take(length);
    p.StopWords.emplace_back(reinterpret_cast<const char*>(chars), static_cast<std::size_t>(length));
  }
  if (in.Int() != SetBytes) in.Corrupt();
  p.SpaceCharacters = SetFromBytes(in.Take(SetBytes));
  if (in.Int() != SetBytes) in.Corrupt();
  p.IncludeCharacters = SetFromBytes(in.Take(SetBytes));
  return p;
}

void WriteTextParameters(TIndexFile& file, const TTextParameters& parameters) {
  // Lay the values out page by page first.
  std::vector<std::array<std::uint8_t, IndexPageEntryBytes>> pages(1);
  int pos = 0;
  const auto put = [&](const void* data, int n) {
    if (pos + n > IndexPageEntryBytes) {
      pages.emplace_back();
      pos = 0;
    }
    std::memcpy(pages.back().data() + pos, data, static_cast<std::size_t>(n));
    pos += n;
  };
  const auto putInt = [&](std::int32_t v) {
    std::uint8_t b[4];
    bytes::Store<std::int32_t>(b, v);
    put(b, 4);
  };
  std::vector<std::string> stops;
  for (const std::string& s : parameters.StopWords) {
    if (!s.empty() && s.size() <= MaxStopWordBytes) stops.push_back(s);
  }
  putInt(static_cast<std::int32_t>(stops.size()));
  for (const std::string& s : stops) {
    putInt(static_cast<std::int32_t>(s.size()));
    put(s.data(), static_cast<int>(s.size()));
  }
  std::uint8_t set[SetBytes];
  putInt(SetBytes);
  SetToBytes(parameters.SpaceCharacters, set);
  put(set, SetBytes);
  putInt(SetBytes);
  SetToBytes(parameters.IncludeCharacters, set);
  put(set, SetBytes);

  // Reuse the pages of the existing chain, then add or free pages.
  std::vector<std::int32_t> numbers;
  std::array<std::uint8_t, IndexPageEntryBytes> scratch{};
  for (std::int32_t p = file.Definition(TextSlot).TextParameters; p != 0;) {
    if (static_cast<std::int64_t>(numbers.size()) > file.Header().NextPage) {
      RaiseIndexError(QUARRY_INDEXCORRUPT, file.FileName(), TextIndexName);
    }
    numbers.push_back(p);
    file.ReadParameterPage(p, scratch.data(), p);
  }
  while (numbers.size() > pages.size()) {
    file.FreeParameterPage(numbers.back());
    numbers.pop_back();
  }
  while (numbers.size() < pages.size()) numbers.push_back(file.AllocateParameterPage());
  for (std::size_t i = 0; i < pages.size(); ++i) {
    file.WriteParameterPage(numbers[i], pages[i].data(), i + 1 < pages.size() ? numbers[i + 1] : 0);
  }
  file.SetTextParameterChain(numbers.front());
}

}  // namespace quarry
