// The password prompts of a print request and the count of failed entries behind them.
//
// A prompt passes without asking when no password is stored or the remembered one matches;
// otherwise the password window opens and the user has three attempts: each wrong entry is
// told as such in the window, the third ends the prompt as refused. An accepted entry becomes
// the remembered password. Passwords compare without regard to case.
//
// Prompts: "Enter Report Password:" before every print or preview run, "Enter Report Options
// Password:" before the options window is displayed and before any validation message in it,
// "Enter Setup Password:" before the Setup page.
//
// TgprPasswordEntry is the window as the prompt sees it (print/password_window.h shows it;
// tests give a scripted one): it hands out each entry and is told when one was wrong.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace gpr {

inline constexpr const char* kGprReportPasswordPrompt = "Enter Report Password:";
inline constexpr const char* kGprOptionsPasswordPrompt = "Enter Report Options Password:";
inline constexpr const char* kGprSetupPasswordPrompt = "Enter Setup Password:";
inline constexpr int kGprPasswordAttempts = 3;

// Passwords compare without regard to (ASCII) case or surrounding blanks.
bool SamePassword(std::string_view a, std::string_view b);

// An open password window waiting for entries.
class TgprPasswordEntry {
 public:
  virtual ~TgprPasswordEntry() = default;
  // Waits for the user's next entry; nothing when the user cancelled.
  virtual std::optional<std::string> Next() = 0;
  // The entry just given was wrong ("Password is Incorrect"); with last, it was the final
  // attempt ("Too many password violations") and the window is about to close.
  virtual void Incorrect(bool last) = 0;
};

// Opens the password window with a prompt (its caption names the report).
using TgprOpenPasswordEntry = std::function<std::unique_ptr<TgprPasswordEntry>(const std::string& prompt)>;

// True when the stored password is empty or equals the remembered one.
bool PasswordPasses(std::string_view stored, std::string_view remembered);

// Asks in an open window until an entry matches stored, the user cancels, or the third entry
// is wrong; returns the matching entry, else nothing.
std::optional<std::string> AskForPassword(TgprPasswordEntry& entry, std::string_view stored);

// Asks as described above; true when the password was given (remembered then holds it).
bool PromptPassword(const TgprOpenPasswordEntry& open, const std::string& prompt, std::string_view stored,
                    std::string& remembered);

}  // namespace gpr
