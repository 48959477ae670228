// Password prompts: when they ask, how often, and what they remember.
#include "print/core/password_prompt.h"

#include <gtest/gtest.h>

#include <vector>

namespace gpr {
namespace {

struct TAsker {
  std::vector<std::optional<std::string>> Entries;
  std::vector<std::string> Captions;
  TgprAskPassword Ask() {
    return [this](const std::string& caption, const std::string&) -> std::optional<std::string> {
      Captions.push_back(caption);
      if (Entries.empty()) return std::nullopt;
      auto entry = Entries.front();
      Entries.erase(Entries.begin());
      return entry;
    };
  }
};

TEST(PasswordPrompt, PassesWithoutAskingWhenNothingIsStoredOrTheRememberedOneMatches) {
  TAsker asker;
  std::string remembered;
  EXPECT_TRUE(PromptPassword(asker.Ask(), "Films", kGprReportPasswordPrompt, "", remembered));
  remembered = "SECRET";
  EXPECT_TRUE(PromptPassword(asker.Ask(), "Films", kGprReportPasswordPrompt, "secret", remembered));
  EXPECT_TRUE(asker.Captions.empty());
}

TEST(PasswordPrompt, ThreeAttemptsAnyCaseAndTheAcceptedEntryIsRemembered) {
  TAsker asker;
  asker.Entries = {"wrong", "SeCrEt"};
  std::string remembered;
  EXPECT_TRUE(PromptPassword(asker.Ask(), "Films", kGprOptionsPasswordPrompt, "secret", remembered));
  EXPECT_EQ(remembered, "SeCrEt");
  EXPECT_EQ(asker.Captions, (std::vector<std::string>{"Report: Films", "Report: Films"}));

  TAsker refused;
  refused.Entries = {"a", "b", "c", "secret"};
  std::string none;
  EXPECT_FALSE(PromptPassword(refused.Ask(), "Films", kGprOptionsPasswordPrompt, "secret", none));
  EXPECT_EQ(refused.Captions.size(), 3u);  // no fourth attempt
  EXPECT_EQ(none, "");

  TAsker cancelled;
  EXPECT_FALSE(PromptPassword(cancelled.Ask(), "Films", kGprSetupPasswordPrompt, "secret", none));
  EXPECT_EQ(cancelled.Captions.size(), 1u);
}

}  // namespace
}  // namespace gpr
