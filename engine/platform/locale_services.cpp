// Locale services over ICU (see locale_services.h).
#include "engine/platform/locale_services.h"

#include <unicode/ucasemap.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace quarry {

namespace {

struct TCollatorCloser {
  void operator()(UCollator* collator) const { ucol_close(collator); }
};
struct TCaseMapCloser {
  void operator()(UCaseMap* map) const { ucasemap_close(map); }
};
using TCollatorPtr = std::unique_ptr<UCollator, TCollatorCloser>;
using TCaseMapPtr = std::unique_ptr<UCaseMap, TCaseMapCloser>;

// The ICU objects of one locale. Built once, then only read (ICU allows concurrent
// comparisons and case mappings on a shared, fully set-up object).
struct TLocaleEntry {
  std::string name;  // ICU locale name; "" when the identifier is unknown
  bool valid = false;
  TCollatorPtr with_case;
  TCollatorPtr without_case;
  TCaseMapPtr case_map;
};

std::string NameForLcid(TLocaleId locale) {
  char buffer[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = uloc_getLocaleForLCID(locale, buffer, sizeof buffer, &status);
  if (U_FAILURE(status) || length <= 0) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

TCollatorPtr OpenCollator(const std::string& name, bool with_case) {
  UErrorCode status = U_ZERO_ERROR;
  TCollatorPtr collator(ucol_open(name.c_str(), &status));
  if (U_FAILURE(status) || !collator) return nullptr;
  // Primary strength ignores non-spacing marks; the case level adds case on top of it.
  // Punctuation stays significant (non-ignorable), as in a string sort.
  ucol_setStrength(collator.get(), UCOL_PRIMARY);
  ucol_setAttribute(collator.get(), UCOL_CASE_LEVEL, with_case ? UCOL_ON : UCOL_OFF, &status);
  ucol_setAttribute(collator.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  if (U_FAILURE(status)) return nullptr;
  return collator;
}

const TLocaleEntry& EntryFor(TLocaleId locale) {
  static std::mutex mutex;  // guards cache
  static std::map<TLocaleId, std::unique_ptr<TLocaleEntry>> cache;
  std::lock_guard<std::mutex> guard(mutex);
  auto found = cache.find(locale);
  if (found != cache.end()) return *found->second;

  auto entry = std::make_unique<TLocaleEntry>();
  entry->name = (locale & 0xFFFF) == 0 ? std::string() : NameForLcid(locale);
  const std::string icu_name = entry->name.empty() ? std::string("en_US") : entry->name;
  if (!entry->name.empty()) {
    entry->with_case = OpenCollator(entry->name, true);
    entry->without_case = OpenCollator(entry->name, false);
    entry->valid = entry->with_case && entry->without_case;
  }
  UErrorCode status = U_ZERO_ERROR;
  entry->case_map.reset(ucasemap_open(icu_name.c_str(), 0, &status));
  if (U_FAILURE(status)) entry->case_map.reset();
  return *cache.emplace(locale, std::move(entry)).first->second;
}

std::string_view CutAtZero(std::string_view text) {
  const size_t zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

int Sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

int ByteCompare(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  const int r = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
  if (r != 0) return Sign(r);
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

using TUtf8Mapper = int32_t (*)(const UCaseMap*, char*, int32_t, const char*, int32_t, UErrorCode*);

void AsciiMap(std::string& text, bool upper) {
  for (char& c : text) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

std::string MapCase(std::string_view text, const UCaseMap* map, TUtf8Mapper mapper, bool upper) {
  std::string result;
  if (map != nullptr && !text.empty()) {
    result.resize(text.size() + text.size() / 2 + 16);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = mapper(map, result.data(), static_cast<int32_t>(result.size()), text.data(),
                            static_cast<int32_t>(text.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      result.resize(static_cast<size_t>(length));
      status = U_ZERO_ERROR;
      length = mapper(map, result.data(), static_cast<int32_t>(result.size()), text.data(),
                      static_cast<int32_t>(text.size()), &status);
    }
    if (U_SUCCESS(status)) {
      result.resize(static_cast<size_t>(length));
      return result;
    }
  }
  // Without ICU's help only ASCII letters change.
  result.assign(text);
  AsciiMap(result, upper);
  return result;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

bool IsValidLocale(TLocaleId locale) {
  if ((locale & 0xFFFF) == 0) return false;
  return EntryFor(locale).valid;
}

std::string IcuLocaleName(TLocaleId locale) { return EntryFor(locale).name; }

std::string LocaleUpperCase(std::string_view text, uint16_t language, uint16_t sort) {
  const TLocaleEntry& entry = EntryFor(language == 0 ? kLanguageUsEnglish : MakeLocaleId(language, sort));
  return MapCase(text, entry.case_map.get(), ucasemap_utf8ToUpper, true);
}

std::string LocaleLowerCase(std::string_view text, uint16_t language, uint16_t sort) {
  const TLocaleEntry& entry = EntryFor(language == 0 ? kLanguageUsEnglish : MakeLocaleId(language, sort));
  return MapCase(text, entry.case_map.get(), ucasemap_utf8ToLower, false);
}

int LocaleCompare(std::string_view a, std::string_view b, bool ignore_case, uint16_t language, uint16_t sort) {
  a = CutAtZero(a);
  b = CutAtZero(b);
  if (language != 0) {
    const TLocaleEntry& entry = EntryFor(MakeLocaleId(language, sort));
    const UCollator* collator = ignore_case ? entry.without_case.get() : entry.with_case.get();
    if (collator != nullptr) {
      UErrorCode status = U_ZERO_ERROR;
      const UCollationResult r = ucol_strcollUTF8(collator, a.data(), static_cast<int32_t>(a.size()), b.data(),
                                                  static_cast<int32_t>(b.size()), &status);
      if (U_SUCCESS(status)) return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
    }
    // An unknown locale never reaches here through a table (its open is refused); fall
    // back to byte order rather than fail a comparison.
  }
  if (!ignore_case) return ByteCompare(a, b);
  if (IsAscii(a) && IsAscii(b)) {
    // U.S. English upper-casing of ASCII text changes only a..z: compare without copies.
    const auto upper = [](char c) { return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); };
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
      const unsigned char x = upper(a[i]);
      const unsigned char y = upper(b[i]);
      if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
  }
  return ByteCompare(LocaleUpperCase(a), LocaleUpperCase(b));
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
      if (x != y) return false;
    }
    return true;
  }
  static const TCaseMapPtr fold_map = [] {
    UErrorCode status = U_ZERO_ERROR;
    TCaseMapPtr map(ucasemap_open("", U_FOLD_CASE_DEFAULT, &status));
    if (U_FAILURE(status)) map.reset();
    return map;
  }();
  return MapCase(a, fold_map.get(), ucasemap_utf8FoldCase, false) ==
         MapCase(b, fold_map.get(), ucasemap_utf8FoldCase, false);
}

std::string LocaleLowestCharacter(uint16_t language, uint16_t /*sort*/) {
  if (language == 0) return std::string(1, '\0');
  // U+0001 is the lowest byte above the terminator, and under ICU collation it is
  // completely ignorable: a prefix padded with it compares equal to the bare prefix,
  // hence never above any text that starts with that prefix.
  return std::string("\x01");
}

std::string LocaleHighestCharacter(uint16_t language, uint16_t /*sort*/) {
  if (language == 0) return std::string("\xFF");
  // U+FFFF carries the highest primary weight of the Unicode collation algorithm's root
  // order, which every ICU tailoring keeps.
  return std::string("\xEF\xBF\xBF");
}

namespace {

// Bytes taken by the character starting at text[i] (1 for a stray or malformed byte).
size_t CharacterBytes(std::string_view text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const size_t length = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
  if (length == 1 || i + length > text.size()) return 1;
  for (size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

}  // namespace

std::string_view Utf8CharacterPrefix(std::string_view text, size_t characters) {
  size_t i = 0;
  for (size_t n = 0; n < characters && i < text.size(); ++n) i += CharacterBytes(text, i);
  return text.substr(0, i);
}

size_t Utf8Length(std::string_view text) {
  size_t n = 0;
  for (size_t i = 0; i < text.size(); i += CharacterBytes(text, i)) ++n;
  return n;
}

std::string_view Utf8Prefix(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace quarry
