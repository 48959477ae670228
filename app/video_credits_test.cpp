// The per-video director and cast lists: statements sent, id-text order, duplicates, missing
// names, and what a failure leaves handed over.
#include "app/video_credits.h"

#include "app/pellomar_utils.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace {

// Answers statements from a table, records them, and fails on one statement when told.
class TFakeCatalogue : public TCatalogueAccess {
 public:
  std::map<std::string, std::vector<std::string>> answers;
  std::vector<std::string> sent;
  std::string failOn;

  std::string LookupFirst(const std::string& statement) override {
    const auto rows = Rows(statement);
    return rows.empty() ? std::string() : rows.front();
  }
  std::vector<std::string> LookupAll(const std::string& statement) override { return Rows(statement); }
  std::unique_ptr<quarry::TRowSource> Search(const std::string&) override { return VideoRowSource({}); }

 private:
  std::vector<std::string> Rows(const std::string& statement) {
    sent.push_back(statement);
    if (statement == failOn) throw std::runtime_error("lookup failed");
    const auto it = answers.find(statement);
    return it == answers.end() ? std::vector<std::string>{} : it->second;
  }
};

const std::string kDirectorIds = "SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = ";
const std::string kDirector = "SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = ";
const std::string kCastIds = "SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = ";
const std::string kCastMember = "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = ";

std::vector<std::string> Directors(TCatalogueAccess& catalogue, int videoId) {
  std::vector<std::string> names;
  ListDirectorsOfVideo(catalogue, videoId, [&](const std::string& name) { names.push_back(name); });
  return names;
}

std::vector<std::string> CastMembers(TCatalogueAccess& catalogue, int videoId) {
  std::vector<std::string> names;
  ListCastMembersOfVideo(catalogue, videoId, [&](const std::string& name) { names.push_back(name); });
  return names;
}

}  // namespace

TEST(VideoCredits, IdsAreDistinctAndInTextOrderBeforeTheirNamesAreLookedUp) {
  struct Case {
    const char* what;
    std::vector<std::string> ids;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"no link rows", {}, {}},
      {"10 comes before 9", {"9", "10"}, {"Ten", "Nine"}},
      {"two link rows to one id give one name", {"7", "9", "7"}, {"Seven", "Nine"}},
      {"an id without a name row gives an empty line", {"9", "404"}, {"", "Nine"}},
      {"text order throughout", {"2", "100", "11", "1"}, {"One", "Hundred", "Eleven", "Two"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TFakeCatalogue catalogue;
    for (const auto& [id, name] : {std::pair{"1", "One"},
                                   {"2", "Two"},
                                   {"7", "Seven"},
                                   {"9", "Nine"},
                                   {"10", "Ten"},
                                   {"11", "Eleven"},
                                   {"100", "Hundred"}}) {
      catalogue.answers[kDirector + id] = {name};
      catalogue.answers[kCastMember + id] = {name};
    }
    catalogue.answers[kDirectorIds + "5"] = c.ids;
    catalogue.answers[kCastIds + "5"] = c.ids;
    EXPECT_EQ(Directors(catalogue, 5), c.names);
    EXPECT_EQ(CastMembers(catalogue, 5), c.names);
  }
}

TEST(VideoCredits, SendsOneIdWalkThenOneNameLookupPerDistinctId) {
  TFakeCatalogue catalogue;
  catalogue.answers[kCastIds + "0"] = {"12", "3", "12"};
  CastMembers(catalogue, 0);
  EXPECT_EQ(catalogue.sent, (std::vector<std::string>{kCastIds + "0", kCastMember + "12", kCastMember + "3"}));

  catalogue.sent.clear();
  catalogue.answers[kDirectorIds + "-4"] = {"8"};
  Directors(catalogue, -4);
  EXPECT_EQ(catalogue.sent, (std::vector<std::string>{kDirectorIds + "-4", kDirector + "8"}));
}

TEST(VideoCredits, AFailureRaisesAndKeepsTheNamesHandedBeforeIt) {
  struct Case {
    const char* what;
    std::vector<std::string> ids;
    std::string failOn;
    std::vector<std::string> handed;
    std::string message;
  };
  const Case cases[] = {
      {"an id that is no integer", {"1", "x2"}, "", {"One"}, "'x2' is not a valid integer value"},
      {"an empty id", {"", "1"}, "", {}, "'' is not a valid integer value"},
      {"the id walk fails", {"1"}, kDirectorIds + "5", {}, "lookup failed"},
      {"a name lookup fails", {"1", "2"}, kDirector + "2", {"One"}, "lookup failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TFakeCatalogue catalogue;
    catalogue.answers[kDirector + "1"] = {"One"};
    catalogue.answers[kDirector + "2"] = {"Two"};
    catalogue.answers[kDirectorIds + "5"] = c.ids;
    catalogue.failOn = c.failOn;
    std::vector<std::string> handed;
    try {
      ListDirectorsOfVideo(catalogue, 5, [&](const std::string& name) { handed.push_back(name); });
      ADD_FAILURE() << "expected an exception";
    } catch (const std::exception& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
    EXPECT_EQ(handed, c.handed);
  }
}
