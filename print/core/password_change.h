// Asking for and changing the three report passwords ("Report Password", "Report Options
// Password", "Setup Page Password"): the rules, apart from the windows that ask.
//
// TgprPasswordDialogs is what the rules need from the screen: the password window in its
// check or new mode, an information box and an OK/Cancel question. The Qt windows implement
// it (print/password_window.h); tests give a scripted one.
#pragma once

#include <string>
#include <string_view>

namespace gpr {

struct TgprPasswordAnswer {
  bool Accepted = false;
  std::string Text;
};

class TgprPasswordDialogs {
 public:
  virtual ~TgprPasswordDialogs() = default;
  // The password window. Check mode (stored not empty, newMode false): accepted only when
  // the entry matches stored without regard to case, after at most three tries. New mode:
  // OK accepts whatever was typed. Cancel refuses.
  virtual TgprPasswordAnswer Ask(const std::string& prompt, const std::string& stored, bool newMode) = 0;
  virtual void Inform(const std::string& text) = 0;
  // true for OK, false for Cancel.
  virtual bool OkCancel(const std::string& text) = 0;
};

// Passwords compare without regard to (ASCII) case or surrounding blanks.
bool SamePassword(std::string_view a, std::string_view b);

// Asks for a password unless remembered matches stored or none is stored; on acceptance the
// entered text becomes the remembered one.
bool CheckPassword(TgprPasswordDialogs& dialogs, const std::string& prompt, const std::string& stored,
                   std::string& remembered);

// Changes one password (name as above). Returns true when it changed (a new one set or the
// old removed): then stored and remembered hold the new password and modified is set.
bool ChangePassword(TgprPasswordDialogs& dialogs, const std::string& name, std::string& stored, std::string& remembered,
                    bool& modified);

}  // namespace gpr
