// The language names a table's collation is chosen by (SQL: LANGUAGE and SORT of CREATE
// TABLE), each with its Windows language identifier (sublanguage * 1,024 + primary language),
// and the sort orders offered for a language. "ANSI Standard" is identifier 0: no language,
// binary ordering. The header's sort identifier is 0 for "Default Order" and 1 for "German
// Phone Book Order", which only the five German languages offer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarry {

struct TLanguageName {
  std::string_view Name;
  std::uint16_t LanguageId;
};

constexpr std::uint16_t DefaultSortId = 0;
constexpr std::uint16_t GermanPhoneBookSortId = 1;
constexpr std::string_view DefaultSortName = "Default Order";
constexpr std::string_view GermanPhoneBookSortName = "German Phone Book Order";

// The 99 languages in their fixed order.
const std::vector<TLanguageName>& LanguageNames();

// The language identifier for a name (compared trimmed and without regard to case).
std::optional<std::uint16_t> LanguageIdOf(std::string_view name);
// The name of a language identifier; empty when it is not in the list.
std::string LanguageNameOf(std::uint16_t languageId);

// The sort order names offered for a language.
std::vector<std::string_view> SortNamesOf(std::uint16_t languageId);
// The sort identifier for a sort order name offered for the language.
std::optional<std::uint16_t> SortIdOf(std::uint16_t languageId, std::string_view sortName);

}  // namespace quarry
