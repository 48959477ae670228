// Password prompts of a print request (password_prompt.h).
#include "print/core/password_prompt.h"

#include "dbaccess/name_compare.h"

namespace gpr {

bool SamePassword(std::string_view a, std::string_view b) { return quarry::SameName(a, b); }

bool PasswordPasses(std::string_view stored, std::string_view remembered) {
  return stored.empty() || SamePassword(stored, remembered);
}

std::optional<std::string> AskForPassword(TgprPasswordEntry& entry, std::string_view stored) {
  for (int attempt = 1;; ++attempt) {
    std::optional<std::string> text = entry.Next();
    if (!text || SamePassword(*text, stored)) return text;
    const bool last = attempt == kGprPasswordAttempts;
    entry.Incorrect(last);
    if (last) return std::nullopt;
  }
}

bool PromptPassword(const TgprOpenPasswordEntry& open, const std::string& prompt, std::string_view stored,
                    std::string& remembered) {
  if (PasswordPasses(stored, remembered)) return true;
  const std::unique_ptr<TgprPasswordEntry> entry = open(prompt);
  std::optional<std::string> given = AskForPassword(*entry, stored);
  if (!given) return false;
  remembered = std::move(*given);
  return true;
}

}  // namespace gpr
