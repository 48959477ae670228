// The password prompts of a print request: a prompt passes without asking when no password is
// stored or the remembered one matches; otherwise the user has three attempts, and an accepted
// entry becomes the remembered password. Passwords compare without regard to case.
//
// Prompts: "Enter Report Password:" before every print or preview run, "Enter Report Options
// Password:" before the options window is displayed and before any validation message in it,
// "Enter Setup Password:" before the Setup page.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace gpr {

inline constexpr const char* kGprReportPasswordPrompt = "Enter Report Password:";
inline constexpr const char* kGprOptionsPasswordPrompt = "Enter Report Options Password:";
inline constexpr const char* kGprSetupPasswordPrompt = "Enter Setup Password:";
inline constexpr int kGprPasswordAttempts = 3;

// One attempt in the password window (caption, prompt): the text entered, or nothing when the
// user cancelled.
using TgprAskPassword =
    std::function<std::optional<std::string>(const std::string& caption, const std::string& prompt)>;

// True when the stored password is empty or equals the remembered one (ignoring case).
bool PasswordPasses(std::string_view stored, std::string_view remembered);

// Asks as described above; the caption is "Report: " + dialogTitle. True when the password
// was given (remembered then holds it).
bool PromptPassword(const TgprAskPassword& ask, std::string_view dialogTitle, std::string_view prompt,
                    std::string_view stored, std::string& remembered);

}  // namespace gpr
