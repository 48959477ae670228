// The search statement and the checks before it, as tables of criteria and expected lines.
#include "app/search_statement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kSelect = "SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH";
const std::string kOrder = " ORDER BY V.TITLE";

Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Lines kCaseA = {", D.VIDEOID", "FROM VIDEOS V, VIDEOS_DIRECTORS D", " WHERE (V.VIDEOID = D.VIDEOID)"};
const Lines kCaseB = {", C.VIDEOID", "FROM VIDEOS V, VIDEOS_CASTMEMBERS C", " WHERE (V.VIDEOID = C.VIDEOID) "};
const Lines kCaseC = {", C.VIDEOID, D.VIDEOID ", "FROM VIDEOS V, VIDEOS_CASTMEMBERS C, VIDEOS_DIRECTORS D",
                      " WHERE (V.VIDEOID = C.VIDEOID) AND (V.VIDEOID = D.VIDEOID) "};
const Lines kCaseD = {"FROM VIDEOS V"};

TEST(SearchStatement, InitialCriteriaGiveThreeLines) {
  const TSearchCriteria initial;
  EXPECT_EQ(BuildSearchStatementLines(initial), (Lines{kSelect, "FROM VIDEOS V", kOrder}));
  EXPECT_EQ(JoinStatementLines(BuildSearchStatementLines(initial)), kSelect + "\r\nFROM VIDEOS V\r\n" + kOrder);
}

TEST(SearchStatement, JoinCasesWithIdConditions) {
  struct Case {
    const char* name;
    bool allCast, castChosen, allDirectors, directorChosen;
    TJoinCase expectedCase;
    Lines expectedMiddle;
  };
  const Case cases[] = {
      {"cast member chosen, all directors", false, true, true, false, TJoinCase::B,
       Concat({kCaseB, {" AND (C.CASTMEMBERID = 42)"}})},
      {"director chosen, all cast", true, false, false, true, TJoinCase::A,
       Concat({kCaseA, {" AND (D.DIRECTORID = 7)"}})},
      {"both chosen", false, true, false, true, TJoinCase::C,
       Concat({kCaseC, {" AND (C.CASTMEMBERID = 42)", " AND (D.DIRECTORID = 7)"}})},
      {"cast box unchecked, no name: videos with any cast", false, false, true, false, TJoinCase::B, kCaseB},
      {"director box unchecked, no name: videos with any director", true, false, false, false, TJoinCase::A, kCaseA},
      {"both boxes unchecked, no names: the director join is taken first", false, false, false, false, TJoinCase::A,
       kCaseA},
      {"cast chosen, director box unchecked without a name", false, true, false, false, TJoinCase::B,
       Concat({kCaseB, {" AND (C.CASTMEMBERID = 42)"}})},
      {"director chosen, cast box unchecked without a name", false, false, false, true, TJoinCase::A,
       Concat({kCaseA, {" AND (D.DIRECTORID = 7)"}})},
      {"everything shown", true, false, true, false, TJoinCase::D, kCaseD},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchCriteria criteria;
    criteria.allCastMembers = c.allCast;
    criteria.castChosen = c.castChosen;
    criteria.castMemberId = 42;
    criteria.allDirectors = c.allDirectors;
    criteria.directorChosen = c.directorChosen;
    criteria.directorId = 7;
    EXPECT_EQ(ChooseJoinCase(criteria), c.expectedCase);
    EXPECT_EQ(BuildSearchStatementLines(criteria), Concat({{kSelect}, c.expectedMiddle, {kOrder}}));
  }
}

TEST(SearchStatement, YearsStartWhereOrAnd) {
  struct Case {
    const char* name;
    bool allCast, castChosen;
    Lines expected;
  };
  const Case cases[] = {
      {"no join: WHERE", true, false,
       Concat({{kSelect}, kCaseD, {" WHERE ", " (V.YEAR BETWEEN \"1985\" AND \"2003\")", kOrder}})},
      {"after a join: AND", false, true,
       Concat({{kSelect},
               kCaseB,
               {" AND (C.CASTMEMBERID = 3)", " AND ", " (V.YEAR BETWEEN \"1985\" AND \"2003\")", kOrder}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchCriteria criteria;
    criteria.allYears = false;
    criteria.fromYear = "1985";
    criteria.toYear = "2003";
    criteria.allCastMembers = c.allCast;
    criteria.castChosen = c.castChosen;
    criteria.castMemberId = 3;
    EXPECT_EQ(BuildSearchStatementLines(criteria), c.expected);
  }
}

TEST(SearchStatement, YearTextsAreLiterals) {
  // Pasted text can reach a year box; a quote in it must not end the literal.
  TSearchCriteria criteria;
  criteria.allYears = false;
  criteria.fromYear = "1\"9";
  criteria.toYear = "2000";
  EXPECT_EQ(BuildSearchStatementLines(criteria)[3], " (V.YEAR BETWEEN \"1\"\"9\" AND \"2000\")");
}

TEST(SearchStatement, RatingTermsWithOr) {
  const std::string g = "(V.INDUSTRYRATING = \"G\")";
  const std::string pg = " (V.INDUSTRYRATING = \"PG\")";
  const std::string pg13 = " (V.INDUSTRYRATING = \"PG-13\")";
  const std::string nr = " (V.INDUSTRYRATING = \"NR\")";
  const std::string r = " (V.INDUSTRYRATING = \"R\")";
  const std::string nc17 = " (V.INDUSTRYRATING = \"NC-17\")";
  struct Case {
    const char* name;
    TRatingBoxes ratings;
    Lines terms;  // between the opening and ")"
  };
  const Case cases[] = {
      {"all but PG-13", {true, true, false, true, true, true}, {g, " OR ", pg, " OR ", nr, " OR ", r, " OR ", nc17}},
      {"G only", {true, false, false, false, false, false}, {g}},
      {"NC-17 only: no OR before the first term", {false, false, false, false, false, true}, {nc17}},
      {"PG and R", {false, true, false, false, true, false}, {pg, " OR ", r}},
      {"all but G", {false, true, true, true, true, true}, {pg, " OR ", pg13, " OR ", nr, " OR ", r, " OR ", nc17}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchCriteria criteria;
    criteria.ratings = c.ratings;
    EXPECT_EQ(BuildSearchStatementLines(criteria), Concat({{kSelect}, kCaseD, {" WHERE ("}, c.terms, {")", kOrder}}));

    criteria.allYears = false;
    criteria.fromYear = criteria.toYear = "1990";
    EXPECT_EQ(BuildSearchStatementLines(criteria),
              Concat({{kSelect},
                      kCaseD,
                      {" WHERE ", " (V.YEAR BETWEEN \"1990\" AND \"1990\")", " AND ("},
                      c.terms,
                      {")", kOrder}}));
  }
}

TEST(SearchStatement, OrNeededAndRatingSets) {
  const TRatingBoxes onlyPg13 = {false, false, true, false, false, false};
  struct Case {
    const char* value;
    bool expected;
  };
  const Case cases[] = {{"G", false}, {"PG", false},   {"PG-13", false}, {"NR", true},
                        {"R", true},  {"NC-17", true}, {"NC17", false},  {"X", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(OrNeeded(onlyPg13, c.value), c.expected);
  }
  EXPECT_FALSE(OrNeeded({true, true, true, true, true, true}, "G"));

  EXPECT_TRUE(AllRatingsChecked({true, true, true, true, true, true}));
  EXPECT_FALSE(AllRatingsChecked(onlyPg13));
  EXPECT_TRUE(AnyRatingChecked(onlyPg13));
  EXPECT_FALSE(AnyRatingChecked({false, false, false, false, false, false}));
}

TEST(SearchChecks, NormalisationAndMessages) {
  const TRatingBoxes all = {true, true, true, true, true, true};
  const TRatingBoxes none = {false, false, false, false, false, false};
  const std::string bogus = "Bogus year: ";
  struct Case {
    const char* from;
    const char* to;
    TRatingBoxes ratings;
    bool passes;
    const char* fromYear;
    const char* toYear;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"", "", all, true, "1912", "2026", {}},
      {"85", "03", all, true, "1985", "2003", {}},
      {"10", "10", all, true, "2010", "2010", {}},
      {"11", "1911", all, true, "1911", "1911", {}},
      {"1999", "1999", all, true, "1999", "1999", {}},
      {"198", "2000", all, false, "198", "2000", {std::string(kYearLengthMessage)}},
      {"1980", "20001", all, false, "1980", "20001", {std::string(kYearLengthMessage)}},
      {"a1", "2000", all, false, "", "2000", {bogus + "a1", std::string(kYearLengthMessage)}},
      {"1990", "x", all, false, "1990", "x", {std::string(kYearLengthMessage)}},
      {"1990", "-1", all, false, "1990", "", {bogus + "-1", std::string(kYearLengthMessage)}},
      {"2000", "1999", all, false, "2000", "1999", {std::string(kYearOrderMessage)}},
      {"10", "11", all, false, "2010", "1911", {std::string(kYearOrderMessage)}},
      {"", "1900", all, false, "1912", "1900", {std::string(kYearOrderMessage)}},
      {"", "", none, false, "1912", "2026", {std::string(kNoRatingMessage)}},
      {"198", "", none, false, "198", "2026", {std::string(kYearLengthMessage)}},  // first failure only
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " / " + c.to);
    TSearchCriteria criteria;
    criteria.ratings = c.ratings;
    std::vector<std::string> shown;
    const bool passed =
        NormaliseAndCheck(c.from, c.to, 2026, criteria, [&](const std::string& m) { shown.push_back(m); });
    EXPECT_EQ(passed, c.passes);
    EXPECT_EQ(criteria.fromYear, c.fromYear);
    EXPECT_EQ(criteria.toYear, c.toYear);
    EXPECT_EQ(shown, c.messages);
  }
}

TEST(SearchChecks, MessageTexts) {
  EXPECT_EQ(kYearLengthMessage,
            "Both the \"from\" year and the \"to\" year must be\neither two or four digits, or else left blank.");
  EXPECT_EQ(kYearOrderMessage, "The \"to\" year must be later than or equal to the \"from\" year");
  EXPECT_EQ(kNoRatingMessage, "You must select at least one rating");
}

}  // namespace
