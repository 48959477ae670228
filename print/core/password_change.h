// Asking for and changing the three report passwords ("Report Password", "Report Options
// Password", "Setup Page Password"): the rules, apart from the windows that ask.
//
// TgprPasswordDialogs is what the rules need from the screen: the password window in its
// check or new mode, an information box and an OK/Cancel question. The Qt windows implement
// it (print/password_window.h); tests give a scripted one. Check mode counts its failed
// entries through AskForPassword (password_prompt.h), like every other password prompt.
#pragma once

#include "print/core/password_prompt.h"

#include <memory>
#include <string>

namespace gpr {

struct TgprPasswordAnswer {
  bool Accepted = false;
  std::string Text;
};

class TgprPasswordDialogs {
 public:
  virtual ~TgprPasswordDialogs() = default;
  // The password window in check mode, open until the entry is destroyed.
  virtual std::unique_ptr<TgprPasswordEntry> OpenEntry(const std::string& prompt) = 0;
  // The password window in new mode: OK accepts whatever was typed, Cancel refuses.
  virtual TgprPasswordAnswer AskNew(const std::string& prompt) = 0;
  virtual void Inform(const std::string& text) = 0;
  // true for OK, false for Cancel.
  virtual bool OkCancel(const std::string& text) = 0;
};

// Changes one password (name as above). Returns true when it changed (a new one set or the
// old removed): then stored and remembered hold the new password and modified is set.
bool ChangePassword(TgprPasswordDialogs& dialogs, const std::string& name, std::string& stored, std::string& remembered,
                    bool& modified);

}  // namespace gpr
