// Password prompts: when they ask, how often, what the window is told, and what they remember.
#include "print/core/password_prompt.h"

#include "print/core/password_test_support.h"

#include <gtest/gtest.h>

namespace gpr {
namespace {

using testing::ScriptedOpener;
using testing::TPasswordScript;
using Events = std::vector<std::string>;

TEST(PasswordPrompt, PassesWithoutAskingWhenNothingIsStoredOrTheRememberedOneMatches) {
  TPasswordScript script;
  std::vector<std::string> prompts;
  std::string remembered;
  EXPECT_TRUE(PromptPassword(ScriptedOpener(script, prompts), kGprReportPasswordPrompt, "", remembered));
  remembered = "SECRET";
  EXPECT_TRUE(PromptPassword(ScriptedOpener(script, prompts), kGprReportPasswordPrompt, "secret", remembered));
  EXPECT_TRUE(prompts.empty());
}

TEST(PasswordPrompt, EntriesAreCountedInOneWindow) {
  struct TCase {
    const char* Name;
    std::deque<std::optional<std::string>> Entries;
    bool Given;
    Events Seen;
    std::string Remembered;
  };
  const TCase cases[] = {
      {"right at once, any case", {"SeCrEt"}, true, {"ask"}, "SeCrEt"},
      {"right at the third try", {"a", "b", "secret"}, true, {"ask", "incorrect", "ask", "incorrect", "ask"}, "secret"},
      {"three wrong, no fourth",
       {"a", "b", "c", "secret"},
       false,
       {"ask", "incorrect", "ask", "incorrect", "ask", "too many"},
       "old"},
      {"cancelled after a wrong one", {"a", std::nullopt}, false, {"ask", "incorrect", "ask"}, "old"},
      {"cancelled at once", {}, false, {"ask"}, "old"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPasswordScript script;
    script.Entries = c.Entries;
    std::vector<std::string> prompts;
    std::string remembered = "old";  // a stale one: replaced only by an accepted entry
    EXPECT_EQ(PromptPassword(ScriptedOpener(script, prompts), kGprOptionsPasswordPrompt, "secret", remembered),
              c.Given);
    EXPECT_EQ(script.Events, c.Seen);
    EXPECT_EQ(remembered, c.Remembered);
    EXPECT_EQ(prompts, std::vector<std::string>{kGprOptionsPasswordPrompt});  // one window for all attempts
  }
}

}  // namespace
}  // namespace gpr
