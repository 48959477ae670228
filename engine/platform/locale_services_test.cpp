// Locale services: validity, case mapping and comparison with and without a language.
#include "engine/platform/locale_services.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace quarry {
namespace {

constexpr uint16_t kGerman = 1031;
constexpr uint16_t kTurkish = 1055;
constexpr uint16_t kFrench = 1036;

TEST(LocaleServicesTest, LocaleIdentifiersCombineSortAndLanguage) {
  EXPECT_EQ(MakeLocaleId(kLanguageUsEnglish, 0), 1033u);
  EXPECT_EQ(MakeLocaleId(kGerman, 1), 0x10407u);
  EXPECT_TRUE(IsValidLocale(MakeLocaleId(kLanguageUsEnglish, 0)));
  EXPECT_TRUE(IsValidLocale(MakeLocaleId(kGerman, 0)));
  EXPECT_TRUE(IsValidLocale(MakeLocaleId(kFrench, 0)));
  EXPECT_EQ(IcuLocaleName(1033), "en_US");
  EXPECT_FALSE(IsValidLocale(0));
  EXPECT_FALSE(IsValidLocale(0x7FFF));  // no such language
  EXPECT_FALSE(IsValidLocale(MakeLocaleId(0x7FFF, 3)));
}

TEST(LocaleServicesTest, CaseMappingFollowsTheLocale) {
  struct Case {
    const char* text;
    uint16_t language;
    const char* upper;
    const char* lower;
  };
  const Case cases[] = {
      {"Abc xyz 12", 0, "ABC XYZ 12", "abc xyz 12"},
      {"r\xC3\xA9sum\xC3\xA9", 0, "R\xC3\x89SUM\xC3\x89", "r\xC3\xA9sum\xC3\xA9"},  // résumé
      {"stra\xC3\x9F"
       "e",
       kGerman, "STRASSE",
       "stra\xC3\x9F"
       "e"},                                                  // straße grows
      {"istanbul", kTurkish, "\xC4\xB0STANBUL", "istanbul"},  // dotted capital I
      {"ISTANBUL", kTurkish, "ISTANBUL", "\xC4\xB1stanbul"},  // dotless small i
      {"", kLanguageUsEnglish, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(LocaleUpperCase(c.text, c.language), c.upper);
    EXPECT_EQ(LocaleLowerCase(c.text, c.language), c.lower);
  }
}

TEST(LocaleServicesTest, InvalidUtf8SurvivesCaseMapping) {
  const std::string bad =
      "ab\xFF"
      "c";
  const std::string upper = LocaleUpperCase(bad);
  EXPECT_EQ(upper.substr(0, 2), "AB");
  EXPECT_NE(upper.find('C'), std::string::npos);
}

TEST(LocaleServicesTest, ComparisonWithAndWithoutLanguage) {
  struct Case {
    const char* a;
    const char* b;
    bool ignore_case;
    uint16_t language;
    int expected;
  };
  const Case cases[] = {
      // Without a language: bytes, upper-cased first when case is ignored.
      {"abc", "abd", false, 0, -1},
      {"abc", "ABC", false, 0, 1},
      {"abc", "ABC", true, 0, 0},
      {"ab", "abc", false, 0, -1},
      {"a_", "A", true, 0, 1},
      {"\xC3\xA9", "z", false, 0, 1},  // bytewise a multi-byte letter sorts high
      // With a language: accents ignored, case optional, punctuation counts.
      {"resume", "r\xC3\xA9sum\xC3\xA9", false, kLanguageUsEnglish, 0},
      {"abc", "ABC", true, kLanguageUsEnglish, 0},
      {"abc", "ABC", false, kLanguageUsEnglish, -1},
      {"\xC3\xA9", "z", false, kLanguageUsEnglish, -1},
      {"a-b", "ab", false, kLanguageUsEnglish, -1},
      {"ab", "a-b", true, kLanguageUsEnglish, 1},
      {"Zebra", "apple", false, kLanguageUsEnglish, 1},
      {"apple", "Zebra", true, kLanguageUsEnglish, -1},
      {"\xC3\xA4", "ae", true, kGerman, -1},  // default German order: ä sorts as a
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.a << " vs " << c.b << " lang " << c.language);
    EXPECT_EQ(LocaleCompare(c.a, c.b, c.ignore_case, c.language), c.expected);
    EXPECT_EQ(LocaleCompare(c.b, c.a, c.ignore_case, c.language), -c.expected);
  }
}

TEST(LocaleServicesTest, AZeroByteEndsTheTextOfAKey) {
  const std::string padded("ABC\0\0\0", 6);
  const std::string garbage("ABC\0xyz", 7);
  for (uint16_t language : {uint16_t{0}, kLanguageUsEnglish}) {
    EXPECT_EQ(LocaleCompare(padded, "ABC", false, language), 0);
    EXPECT_EQ(LocaleCompare(padded, garbage, false, language), 0);
  }
}

TEST(LocaleServicesTest, LowestAndHighestCharactersBracketEveryTextWithAPrefix) {
  const std::vector<std::string> texts = {
      "ABC", "ABC ", "ABC!", "ABCa", "ABCZZZ", "ABC\xC3\xBF", "ABC\xE4\xB8\xAD", "ABC\xF0\x9F\x8E\xAC", "ABC\x7F"};
  for (uint16_t language : {uint16_t{0}, kLanguageUsEnglish, kGerman}) {
    const std::string low = "ABC" + LocaleLowestCharacter(language) + LocaleLowestCharacter(language);
    std::string high = "ABC";
    for (int i = 0; i < 4; ++i) high += LocaleHighestCharacter(language);
    for (const std::string& text : texts) {
      SCOPED_TRACE(::testing::Message() << text << " lang " << language);
      EXPECT_LE(LocaleCompare(low, text, false, language), 0);
      EXPECT_GT(LocaleCompare(high, text, false, language), 0);
    }
  }
}

TEST(LocaleServicesTest, NamesMatchIgnoringCase) {
  EXPECT_TRUE(SameTextIgnoringCase("Videos.dat", "VIDEOS.DAT"));
  EXPECT_FALSE(SameTextIgnoringCase("Videos.dat", "VIDEOS.DA"));
  EXPECT_TRUE(SameTextIgnoringCase("\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"));
  EXPECT_FALSE(SameTextIgnoringCase("\xC3\xA9t\xC3\xA9", "ETE"));
}

TEST(LocaleServicesTest, Utf8PrefixNeverSplitsACharacter) {
  const std::string text =
      "a\xC3\xA9"
      "b\xE4\xB8\xAD";  // a é b 中 (1+2+1+3 bytes)
  const std::pair<size_t, std::string> cases[] = {{0, ""},
                                                  {1, "a"},
                                                  {2, "a"},
                                                  {3, "a\xC3\xA9"},
                                                  {4,
                                                   "a\xC3\xA9"
                                                   "b"},
                                                  {6,
                                                   "a\xC3\xA9"
                                                   "b"},
                                                  {7, text},
                                                  {99, text}};
  for (const auto& [max, expected] : cases) EXPECT_EQ(Utf8Prefix(text, max), expected) << max;
}

TEST(LocaleServicesTest, CharacterCountsAndPrefixes) {
  const std::string text =
      "a\xC3\xA9"
      "b\xE4\xB8\xAD\xF0\x9F\x8E\xAC";  // a é b 中 🎬
  EXPECT_EQ(Utf8Length(text), 5u);
  EXPECT_EQ(Utf8CharacterPrefix(text, 2), "a\xC3\xA9");
  EXPECT_EQ(Utf8CharacterPrefix(text, 4),
            "a\xC3\xA9"
            "b\xE4\xB8\xAD");
  EXPECT_EQ(Utf8CharacterPrefix(text, 9), text);
  EXPECT_EQ(Utf8CharacterPrefix(text, 0), "");
  // Malformed bytes count one each and are never run past.
  EXPECT_EQ(Utf8Length("\xFF\xC3"), 2u);
  EXPECT_EQ(Utf8CharacterPrefix("\xE4\xB8", 1), "\xE4");
}

TEST(LocaleServicesTest, ComparisonsFromSeveralThreadsAgree) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 2000; ++i) {
        if (LocaleCompare("r\xC3\xA9sum\xC3\xA9", "RESUME", true, kLanguageUsEnglish) != 0) ++failures[t];
        if (LocaleUpperCase("abc", kGerman) != "ABC") ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace quarry
