// Password prompts of a print request (password_prompt.h).
#include "print/core/password_prompt.h"

namespace gpr {

namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool PasswordPasses(std::string_view stored, std::string_view remembered) {
  return stored.empty() || SameNoCase(stored, remembered);
}

bool PromptPassword(const TgprAskPassword& ask, std::string_view dialogTitle, std::string_view prompt,
                    std::string_view stored, std::string& remembered) {
  if (PasswordPasses(stored, remembered)) return true;
  const std::string caption = "Report: " + std::string(dialogTitle);
  for (int attempt = 0; attempt < kGprPasswordAttempts; ++attempt) {
    const std::optional<std::string> entry = ask(caption, std::string(prompt));
    if (!entry) return false;
    if (SameNoCase(*entry, stored)) {
      remembered = *entry;
      return true;
    }
  }
  return false;
}

}  // namespace gpr
