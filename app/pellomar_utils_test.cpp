// Text routines of the application: years, counts, statement literals, file names.
#include "app/pellomar_utils.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

TEST(ExpandTwoDigitYear, Table) {
  struct Case {
    const char* text;
    const char* expected;  // "" when the text is refused
  };
  const Case cases[] = {
      {"00", "2000"},
      {"03", "2003"},
      {"09", "2009"},
      {"10", "2010"},
      {"11", "1911"},
      {"85", "1985"},
      {"99", "1999"},
      {"-5", ""},  // a sign is no digit: no "20-5"
      {"+5", ""},
      {" 5", ""},
      {"5 ", ""},
      {"a1", ""},
      {"1a", ""},
      {"", ""},
      {"5", ""},
      {"123", ""},
      {"\xC2\xB2"
       "1",
       ""},  // superscript two
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::string> shown;
    const std::string year = ExpandTwoDigitYear(c.text, [&](const std::string& m) { shown.push_back(m); });
    EXPECT_EQ(year, c.expected);
    if (*c.expected) {
      EXPECT_TRUE(shown.empty());
    } else {
      EXPECT_EQ(shown, std::vector<std::string>{std::string("Bogus year: ") + c.text});
    }
  }
}

TEST(FormatThousands, Table) {
  struct Case {
    long long value;
    char separator;
    const char* expected;
  };
  const Case cases[] = {
      {0, ',', "0"},
      {7, ',', "7"},
      {999, ',', "999"},
      {1000, ',', "1,000"},
      {1234, ',', "1,234"},
      {999999, ',', "999,999"},
      {1234567, ',', "1,234,567"},
      {-1, ',', "-1"},
      {-1234, ',', "-1,234"},
      {-123456, ',', "-123,456"},
      {INT_MAX, '.', "2.147.483.647"},
      {LLONG_MIN, ',', "-9,223,372,036,854,775,808"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(FormatThousands(c.value, c.separator), c.expected);
  }
}

TEST(ResultsCountText, Table) {
  struct Case {
    long long count;
    const char* expected;
  };
  const Case cases[] = {
      {-3, "No matches found"},       {0, "No matches found"},
      {1, "1 matching record found"}, {2, "2 videos found"},
      {999, "999 videos found"},      {1000, "1,000 videos found"},
      {1234, "1,234 videos found"},   {1234567, "1,234,567 videos found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    EXPECT_EQ(ResultsCountText(c.count), c.expected);
  }
}

TEST(StrToInt, Table) {
  EXPECT_EQ(StrToInt("1985"), 1985);
  EXPECT_EQ(StrToInt("-12"), -12);
  EXPECT_EQ(StrToInt("+12"), 12);
  EXPECT_EQ(StrToInt("2147483647"), INT_MAX);
  EXPECT_EQ(StrToInt("-2147483648"), INT_MIN);
  for (const char* bad : {"", "-", "12a", " 12", "1 2", "2147483648", "-2147483649", "1e3"}) {
    SCOPED_TRACE(bad);
    try {
      StrToInt(bad);
      ADD_FAILURE() << "expected EConvertError";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
    }
  }
}

TEST(StatementText, WhereTestAndLiterals) {
  EXPECT_TRUE(ContainsWhere("FROM V\r\n WHERE (X)"));
  EXPECT_FALSE(ContainsWhere("FROM V where x"));  // case-sensitive, as the statements are upper case
  EXPECT_FALSE(ContainsWhere(""));

  struct Case {
    const char* text;
    const char* literal;
  };
  const Case cases[] = {
      {"Tom Hanks", "\"Tom Hanks\""},
      {"", "\"\""},
      {"Peter O\"Toole", "\"Peter O\"\"Toole\""},
      {"\"", "\"\"\"\""},
      {"a\"\"b", "\"a\"\"\"\"b\""},
      {"it's", "\"it's\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(QuotedLiteral(c.text), c.literal);
  }
}

TEST(TextHelpers, TrimLengthAndFileExtension) {
  EXPECT_EQ(TrimText("  Tom Hanks \t\r\n"), "Tom Hanks");
  EXPECT_EQ(TrimText(" \t "), "");
  EXPECT_EQ(TrimText("caf\xC3\xA9 "), "caf\xC3\xA9");
  EXPECT_EQ(TextLength("1985"), 4u);
  EXPECT_EQ(TextLength("\xC3\xA9\xC3\xA9"), 2u);

  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"/opt/pellomar/build/bin/Pellomar", "/opt/pellomar/build/bin/Pellomar.INI"},
      {"/opt/bin/Pellomar.exe", "/opt/bin/Pellomar.INI"},
      {"/opt/bin.d/Pellomar", "/opt/bin.d/Pellomar.INI"},
      {"/opt/bin/archive.tar.gz", "/opt/bin/archive.tar.INI"},
      {"/opt/bin/.hidden", "/opt/bin/.hidden.INI"},
      {"Pellomar", "Pellomar.INI"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ChangeFileExt(c.path, ".INI"), c.expected);
  }
}

}  // namespace
