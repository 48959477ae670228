// The password rules of the report settings (password_change.h).
#include "print/core/password_change.h"

#include "dbaccess/name_compare.h"
#include "print/core/report_settings.h"

namespace gpr {

bool SamePassword(std::string_view a, std::string_view b) { return quarry::SameName(a, b); }

bool CheckPassword(TgprPasswordDialogs& dialogs, const std::string& prompt, const std::string& stored,
                   std::string& remembered) {
  if (stored.empty() || SamePassword(remembered, stored)) return true;
  const TgprPasswordAnswer answer = dialogs.Ask(prompt, stored, false);
  if (answer.Accepted) remembered = answer.Text;
  return answer.Accepted;
}

bool ChangePassword(TgprPasswordDialogs& dialogs, const std::string& name, std::string& stored, std::string& remembered,
                    bool& modified) {
  if (!stored.empty() && !dialogs.Ask("Enter current " + name + ":", stored, false).Accepted) return false;
  for (;;) {
    const TgprPasswordAnswer first = dialogs.Ask("Enter " + std::string(" New ") + name + ":", "", true);
    if (!first.Accepted) break;
    const std::string entry = std::string(quarry::TrimmedView(first.Text));
    if (entry.size() > kGprMaxPasswordLength) {
      dialogs.Inform("Password cannot be more than 10 characters. Please try again.");
      continue;
    }
    if (entry.empty()) {
      stored.clear();
      remembered.clear();
      modified = true;
      dialogs.Inform(name + " password has been removed.");
      return true;
    }
    const TgprPasswordAnswer second = dialogs.Ask("Verify " + std::string(" New ") + name + ":", "", true);
    if (!second.Accepted) break;
    if (SamePassword(entry, quarry::TrimmedView(second.Text))) {
      stored = entry;
      remembered = entry;
      modified = true;
      dialogs.Inform("New " + name + " is now active");
      return true;
    }
    if (!dialogs.OkCancel("Passwords do not agree -- try again")) break;
  }
  dialogs.Inform(name + " password not changed");
  return false;
}

}  // namespace gpr
