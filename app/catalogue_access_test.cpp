// The catalogue lookups: statements sent, results read, names sent as literals.
#include "app/catalogue_access.h"

#include "app/pellomar_utils.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// Answers statements from a table and records what was sent.
class TFakeCatalogue : public TCatalogueAccess {
 public:
  std::map<std::string, std::vector<std::string>> answers;
  std::vector<std::string> sent;

  std::string LookupFirst(const std::string& statement) override {
    sent.push_back(statement);
    const auto rows = Rows(statement);
    return rows.empty() ? std::string() : rows.front();
  }
  std::vector<std::string> LookupAll(const std::string& statement) override {
    sent.push_back(statement);
    return Rows(statement);
  }
  std::unique_ptr<quarry::TRowSource> Search(const std::string& statement) override {
    sent.push_back(statement);
    return VideoRowSource({});
  }

 private:
  std::vector<std::string> Rows(const std::string& statement) const {
    const auto it = answers.find(statement);
    return it == answers.end() ? std::vector<std::string>{} : it->second;
  }
};

const std::string kEarliest = "SELECT YEAR FROM VIDEOS ORDER BY YEAR";
const std::string kLatest = "SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC";

TEST(CatalogueLookups, FillYearsListsEveryYearBetween) {
  TFakeCatalogue catalogue;
  catalogue.answers[kEarliest] = {"1985", "1986"};
  catalogue.answers[kLatest] = {"1988"};
  EXPECT_EQ(FillYears(catalogue), (std::vector<std::string>{"1985", "1986", "1987", "1988"}));
  EXPECT_EQ(catalogue.sent, (std::vector<std::string>{kEarliest, kLatest}));

  catalogue.answers[kLatest] = {"1985"};
  EXPECT_EQ(FillYears(catalogue), (std::vector<std::string>{"1985"}));
}

TEST(CatalogueLookups, FillYearsRaisesOnYearsThatAreNoIntegers) {
  struct Case {
    const char* earliest;
    const char* latest;
    const char* message;
  };
  const Case cases[] = {
      {"", "", "'' is not a valid integer value"},  // an empty catalogue
      {"19x5", "1990", "'19x5' is not a valid integer value"},
      {"0", "2147483647", "The years 0 to 2147483647 are too many to list"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.earliest);
    TFakeCatalogue catalogue;
    if (*c.earliest) catalogue.answers[kEarliest] = {c.earliest};
    if (*c.latest) catalogue.answers[kLatest] = {c.latest};
    try {
      FillYears(catalogue);
      ADD_FAILURE() << "expected EConvertError";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

TEST(CatalogueLookups, NameListsInOrder) {
  TFakeCatalogue catalogue;
  catalogue.answers["SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER"] = {"Ann", "Bob"};
  catalogue.answers["SELECT DIRECTOR FROM DIRECTORS ORDER BY DIRECTOR"] = {"Cy"};
  EXPECT_EQ(FillCastMembers(catalogue), (std::vector<std::string>{"Ann", "Bob"}));
  EXPECT_EQ(FillDirectors(catalogue), (std::vector<std::string>{"Cy"}));
}

TEST(CatalogueLookups, ExistsAndIdsSendTheNameAsALiteral) {
  struct Case {
    const char* name;
    const char* castStatement;
    const char* directorStatement;
  };
  const Case cases[] = {
      {"Tom Hanks", "SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = \"Tom Hanks\"",
       "SELECT DIRECTORID FROM DIRECTORS WHERE DIRECTOR = \"Tom Hanks\""},
      {"Dwayne \"The Rock\" Johnson",
       "SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = \"Dwayne \"\"The Rock\"\" Johnson\"",
       "SELECT DIRECTORID FROM DIRECTORS WHERE DIRECTOR = \"Dwayne \"\"The Rock\"\" Johnson\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TFakeCatalogue catalogue;
    EXPECT_FALSE(CastMemberExists(catalogue, c.name));
    EXPECT_FALSE(DirectorExists(catalogue, c.name));
    EXPECT_EQ(GetCastMemberId(catalogue, c.name), 0);
    catalogue.answers[c.castStatement] = {"42"};
    catalogue.answers[c.directorStatement] = {" 7 "};
    EXPECT_TRUE(CastMemberExists(catalogue, c.name));
    EXPECT_TRUE(DirectorExists(catalogue, c.name));
    EXPECT_EQ(GetCastMemberId(catalogue, c.name), 42);
    EXPECT_EQ(GetDirectorId(catalogue, c.name), 7);
    for (const auto& statement : catalogue.sent) {
      EXPECT_TRUE(statement == c.castStatement || statement == c.directorStatement) << statement;
    }
  }
}

TEST(CatalogueLookups, BlankIdIsNoMatchAndAWrongIdRaises) {
  TFakeCatalogue catalogue;
  catalogue.answers[CastMemberIdStatement("A")] = {"   "};
  EXPECT_FALSE(CastMemberExists(catalogue, "A"));
  catalogue.answers[CastMemberIdStatement("B")] = {"x1"};
  EXPECT_TRUE(CastMemberExists(catalogue, "B"));
  EXPECT_THROW(GetCastMemberId(catalogue, "B"), EConvertError);
}

TEST(CatalogueLookups, WithoutAnEngineEveryCallRaises) {
  const auto catalogue = MakeUnavailableCatalogue();
  EXPECT_THROW(FillYears(*catalogue), ECatalogueUnavailable);
  EXPECT_THROW(FillCastMembers(*catalogue), ECatalogueUnavailable);
  EXPECT_THROW(FillDirectors(*catalogue), ECatalogueUnavailable);
  EXPECT_THROW(CastMemberExists(*catalogue, "A"), ECatalogueUnavailable);
  EXPECT_THROW(GetDirectorId(*catalogue, "A"), ECatalogueUnavailable);
  EXPECT_THROW(catalogue->Search("SELECT * FROM VIDEOS"), ECatalogueUnavailable);
}

}  // namespace
