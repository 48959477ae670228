// Tests of the language name table: its size and order, look-ups both ways, the sort orders
// of German and other languages, and that every listed language is a locale the system has.
#include "engine/storage/index/language_names.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/platform/locale_services.h"

namespace quarry {
namespace {

TEST(LanguageNames, NinetyNineDistinctLanguagesInTheirOrder) {
  const auto& names = LanguageNames();
  ASSERT_EQ(names.size(), 99u);
  EXPECT_EQ(names.front().Name, "ANSI Standard");
  EXPECT_EQ(names.front().LanguageId, 0);
  EXPECT_EQ(names.back().Name, "Vietnamese");
  std::set<std::uint16_t> ids;
  std::set<std::string_view> seen;
  for (const auto& language : names) {
    ids.insert(language.LanguageId);
    seen.insert(language.Name);
  }
  EXPECT_EQ(ids.size(), 99u);
  EXPECT_EQ(seen.size(), 99u);
}

TEST(LanguageNames, LookUpsBothWays) {
  struct Case {
    const char* name;
    std::uint16_t id;
  };
  const Case cases[] = {{"English (USA)", 1033},    {" german (standard) ", 1031}, {"French (Canadian)", 3084},
                        {"Spanish (Modern)", 3082}, {"ANSI Standard", 0},          {"Ukranian", 1058}};
  for (const Case& c : cases) {
    ASSERT_TRUE(LanguageIdOf(c.name).has_value()) << c.name;
    EXPECT_EQ(*LanguageIdOf(c.name), c.id) << c.name;
  }
  EXPECT_FALSE(LanguageIdOf("Klingon").has_value());
  EXPECT_EQ(LanguageNameOf(1031), "German (Standard)");
  EXPECT_EQ(LanguageNameOf(0x7F7F), "");
}

TEST(LanguageNames, OnlyGermanOffersThePhoneBookOrder) {
  for (const char* german :
       {"German (Standard)", "German (Swiss)", "German (Austrian)", "German (Luxembourg)", "German (Liechtenstein)"}) {
    const std::uint16_t id = *LanguageIdOf(german);
    EXPECT_EQ(SortNamesOf(id).size(), 2u) << german;
    EXPECT_EQ(SortIdOf(id, "German Phone Book Order"), GermanPhoneBookSortId);
  }
  EXPECT_EQ(SortNamesOf(1033).size(), 1u);
  EXPECT_FALSE(SortIdOf(1033, "German Phone Book Order").has_value());
  EXPECT_EQ(SortIdOf(1033, "default order"), DefaultSortId);
}

TEST(LanguageNames, EveryLanguageIsAnInstalledLocale) {
  for (const auto& language : LanguageNames()) {
    if (language.LanguageId == 0) continue;
    EXPECT_TRUE(IsValidLocale(MakeLocaleId(language.LanguageId, 0))) << language.Name;
  }
  EXPECT_TRUE(IsValidLocale(MakeLocaleId(1031, GermanPhoneBookSortId)));
}

}  // namespace
}  // namespace quarry
