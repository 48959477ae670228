// The password rules of the report settings (password_change.h).
#include "print/core/password_change.h"

#include "dbaccess/name_compare.h"
#include "print/core/report_settings.h"

namespace gpr {

bool ChangePassword(TgprPasswordDialogs& dialogs, const std::string& name, std::string& stored, std::string& remembered,
                    bool& modified) {
  if (!stored.empty() && !AskForPassword(*dialogs.OpenEntry("Enter current " + name + ":"), stored)) return false;
  for (;;) {
    const TgprPasswordAnswer first = dialogs.AskNew("Enter " + std::string(" New ") + name + ":");
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
    const TgprPasswordAnswer second = dialogs.AskNew("Verify " + std::string(" New ") + name + ":");
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
