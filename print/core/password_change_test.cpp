// The password rules: asking only when needed, and changing a password with its prompts,
// the 10-character limit, removal, verification and cancelling.
#include "print/core/password_change.h"

#include <gtest/gtest.h>

#include <deque>

namespace gpr {
namespace {

// Answers the prompts from one script, check and new mode alike, and records what was asked
// and said.
class TScriptedDialogs : public TgprPasswordDialogs {
 public:
  std::deque<TgprPasswordAnswer> answers;
  std::deque<bool> okCancel;
  std::vector<std::string> prompts, said;

  std::unique_ptr<TgprPasswordEntry> OpenEntry(const std::string& prompt) override {
    prompts.push_back(prompt + " [check]");
    return std::make_unique<TWindow>(*this);
  }
  TgprPasswordAnswer AskNew(const std::string& prompt) override {
    prompts.push_back(prompt + " [new]");
    return NextAnswer();
  }
  void Inform(const std::string& text) override { said.push_back(text); }
  bool OkCancel(const std::string& text) override {
    said.push_back(text);
    const bool ok = !okCancel.empty() && okCancel.front();
    if (!okCancel.empty()) okCancel.pop_front();
    return ok;
  }

 private:
  TgprPasswordAnswer NextAnswer() {
    if (answers.empty()) return {};
    TgprPasswordAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  // The check-mode window, answering from the same script.
  class TWindow : public TgprPasswordEntry {
   public:
    explicit TWindow(TScriptedDialogs& dialogs) : dialogs_(dialogs) {}
    std::optional<std::string> Next() override {
      const TgprPasswordAnswer answer = dialogs_.NextAnswer();
      return answer.Accepted ? std::optional<std::string>(answer.Text) : std::nullopt;
    }
    void Incorrect(bool last) override { dialogs_.said.push_back(last ? "(too many)" : "(incorrect)"); }

   private:
    TScriptedDialogs& dialogs_;
  };
};

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
  EXPECT_EQ(dialogs.prompts.front(), "Enter current Setup Page Password: [check]");
  EXPECT_EQ(dialogs.said, (std::vector<std::string>{"Setup Page Password password has been removed."}));

  TScriptedDialogs refused;  // the current password not given: nothing happens
  std::string kept = "old";
  modified = false;
  EXPECT_FALSE(ChangePassword(refused, "Setup Page Password", kept, remembered, modified));
  EXPECT_EQ(kept, "old");
  EXPECT_FALSE(modified);
  EXPECT_EQ(refused.prompts.size(), 1u);

  TScriptedDialogs wrong;  // three wrong current passwords: no fourth, no new one asked
  wrong.answers = {{true, "a"}, {true, "b"}, {true, "c"}, {true, "old"}};
  EXPECT_FALSE(ChangePassword(wrong, "Setup Page Password", kept, remembered, modified));
  EXPECT_EQ(kept, "old");
  EXPECT_EQ(wrong.prompts, (std::vector<std::string>{"Enter current Setup Page Password: [check]"}));
  EXPECT_EQ(wrong.said, (std::vector<std::string>{"(incorrect)", "(incorrect)", "(too many)"}));
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
