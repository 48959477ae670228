// The password rules: asking only when needed, and changing a password with its prompts,
// the 10-character limit, removal, verification and cancelling.
#include "print/core/password_change.h"

#include <gtest/gtest.h>

#include <deque>

namespace gpr {
namespace {

// Answers the prompts from a script and records what was asked and said.
class TScriptedDialogs : public TgprPasswordDialogs {
 public:
  std::deque<TgprPasswordAnswer> answers;
  std::deque<bool> okCancel;
  std::vector<std::string> prompts, said;

  TgprPasswordAnswer Ask(const std::string& prompt, const std::string& stored, bool newMode) override {
    prompts.push_back(prompt + (newMode ? " [new]" : " [check:" + stored + "]"));
    if (answers.empty()) return {};
    TgprPasswordAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void Inform(const std::string& text) override { said.push_back(text); }
  bool OkCancel(const std::string& text) override {
    said.push_back(text);
    const bool ok = !okCancel.empty() && okCancel.front();
    if (!okCancel.empty()) okCancel.pop_front();
    return ok;
  }
};

TEST(PasswordCheckTest, AsksOnlyWhenTheRememberedOneDoesNotMatch) {
  TScriptedDialogs dialogs;
  std::string remembered = "SECRET";
  EXPECT_TRUE(CheckPassword(dialogs, "Enter Report Password:", "secret", remembered));
  std::string none;
  EXPECT_TRUE(CheckPassword(dialogs, "Enter Report Password:", "", none));
  EXPECT_TRUE(dialogs.prompts.empty());

  dialogs.answers = {{true, "Secret"}};
  std::string empty;
  EXPECT_TRUE(CheckPassword(dialogs, "Enter Report Password:", "secret", empty));
  EXPECT_EQ(empty, "Secret");
  dialogs.answers = {{false, ""}};
  std::string other = "x";
  EXPECT_FALSE(CheckPassword(dialogs, "Enter Report Password:", "secret", other));
  EXPECT_EQ(other, "x");
}

TEST(PasswordChangeTest, NewPasswordIsVerifiedAndStored) {
  TScriptedDialogs dialogs;
  dialogs.answers = {{true, "  abc  "}, {true, "ABC"}};
  std::string stored, remembered;
  bool modified = false;
  EXPECT_TRUE(ChangePassword(dialogs, "Report Password", stored, remembered, modified));
  EXPECT_EQ(stored, "abc");
  EXPECT_EQ(remembered, "abc");
  EXPECT_TRUE(modified);
  EXPECT_EQ(dialogs.prompts,
            (std::vector<std::string>{"Enter  New Report Password: [new]", "Verify  New Report Password: [new]"}));
  EXPECT_EQ(dialogs.said, (std::vector<std::string>{"New Report Password is now active"}));
}

TEST(PasswordChangeTest, CurrentPasswordFirstAndEmptyEntryRemoves) {
  TScriptedDialogs dialogs;
  dialogs.answers = {{true, "old"}, {true, ""}};
  std::string stored = "old", remembered = "old";
  bool modified = false;
  EXPECT_TRUE(ChangePassword(dialogs, "Setup Page Password", stored, remembered, modified));
  EXPECT_TRUE(stored.empty());
  EXPECT_TRUE(modified);
  EXPECT_EQ(dialogs.prompts.front(), "Enter current Setup Page Password: [check:old]");
  EXPECT_EQ(dialogs.said, (std::vector<std::string>{"Setup Page Password password has been removed."}));

  TScriptedDialogs refused;  // the current password not given: nothing happens
  std::string kept = "old";
  modified = false;
  EXPECT_FALSE(ChangePassword(refused, "Setup Page Password", kept, remembered, modified));
  EXPECT_EQ(kept, "old");
  EXPECT_FALSE(modified);
  EXPECT_EQ(refused.prompts.size(), 1u);
}

TEST(PasswordChangeTest, TooLongMismatchAndCancel) {
  TScriptedDialogs dialogs;
  // 11 characters, asked again; then a mismatch, OK to retry; then a match.
  dialogs.answers = {{true, "abcdefghijk"}, {true, "one"}, {true, "two"}, {true, "three"}, {true, "THREE"}};
  dialogs.okCancel = {true};
  std::string stored, remembered;
  bool modified = false;
  EXPECT_TRUE(ChangePassword(dialogs, "Report Options Password", stored, remembered, modified));
  EXPECT_EQ(stored, "three");
  EXPECT_EQ(dialogs.said, (std::vector<std::string>{"Password cannot be more than 10 characters. Please try again.",
                                                    "Passwords do not agree -- try again",
                                                    "New Report Options Password is now active"}));

  TScriptedDialogs cancelled;
  cancelled.answers = {{true, "one"}, {true, "two"}};
  cancelled.okCancel = {false};
  std::string untouched = "";
  modified = false;
  EXPECT_FALSE(ChangePassword(cancelled, "Report Password", untouched, remembered, modified));
  EXPECT_FALSE(modified);
  EXPECT_EQ(cancelled.said.back(), "Report Password password not changed");

  TScriptedDialogs cancelPrompt;  // cancelling the first prompt
  EXPECT_FALSE(ChangePassword(cancelPrompt, "Report Password", untouched, remembered, modified));
  EXPECT_EQ(cancelPrompt.said, (std::vector<std::string>{"Report Password password not changed"}));
}

}  // namespace
}  // namespace gpr
