// Locale services for collation and case mapping, on ICU.
//
// A table's collation is a language identifier and a sort identifier (the classic numeric
// locale identifiers: 1033 U.S. English, 1031 German, ...), combined into a locale
// identifier as sort * 65536 + language. Language 0 means plain byte order; case mapping
// then uses U.S. English.
//
// Comparison with a language: ICU collation at primary strength (non-spacing marks
// ignored, punctuation significant, "string sort"), with the case level on when case
// counts and off when it is ignored. Without a language: bytewise, after upper-casing both
// sides (U.S. English) when case is ignored. Results are -1, 0 or 1. Texts are UTF-8; a
// zero byte ends a text early (keys are zero-padded).
//
// Thread-safety: all functions may be called from any thread; collators are opened once
// per locale and cached for the life of the process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quarry {

using TLocaleId = uint32_t;

inline constexpr uint16_t kLanguageUsEnglish = 1033;

constexpr TLocaleId MakeLocaleId(uint16_t language, uint16_t sort) {
  return (static_cast<TLocaleId>(sort) << 16) | language;
}

// True when the locale identifier names a locale that ICU knows and can collate.
bool IsValidLocale(TLocaleId locale);

// The ICU locale name for a locale identifier ("en_US", "de_DE@collation=phonebook"), or
// "" when it is unknown.
std::string IcuLocaleName(TLocaleId locale);

// Case mapping by the locale of (language, sort); U.S. English when language is 0.
// The result may be longer or shorter in bytes than the input (German sharp s).
std::string LocaleUpperCase(std::string_view text, uint16_t language = 0, uint16_t sort = 0);
std::string LocaleLowerCase(std::string_view text, uint16_t language = 0, uint16_t sort = 0);

// Collation of two texts (see above). -1, 0 or 1.
int LocaleCompare(std::string_view a, std::string_view b, bool ignore_case, uint16_t language, uint16_t sort = 0);

// True when the texts are equal ignoring case (Unicode case folding); used for names of
// tables, fields, indexes and files.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

// The character (UTF-8) that sorts lowest / highest under the collation of (language,
// sort) among the characters a stored text may hold; used to pad range keys of string
// fields. Language 0: "\0" and "\xFF" (bytewise order). With a language the lowest is
// an ignorable character (a prefix padded with it equals the bare prefix) and the highest
// is U+FFFF, three bytes in UTF-8.
std::string LocaleLowestCharacter(uint16_t language, uint16_t sort = 0);
std::string LocaleHighestCharacter(uint16_t language, uint16_t sort = 0);

// The longest prefix of text of at most max_bytes bytes that does not split a UTF-8
// character.
std::string_view Utf8Prefix(std::string_view text, size_t max_bytes);

// The first `characters` characters of a UTF-8 text (all of it when shorter), and the
// number of characters in it. A byte that does not start a well-formed sequence counts as
// one character.
std::string_view Utf8CharacterPrefix(std::string_view text, size_t characters);
size_t Utf8Length(std::string_view text);

}  // namespace quarry
