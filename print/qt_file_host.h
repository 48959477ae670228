// TgprQtFileMgrHost: the file manager's questions and signals in windows - the busy-lock
// question as a warning box with Abort and Retry, errors as warning boxes, the system beep,
// the hourglass, and the program's messages handled while a lock is awaited.
#pragma once

#include "print/core/settings_lock.h"

namespace gpr {

class TgprQtFileMgrHost : public TgprFileMgrHost {
 public:
  void ProcessMessages() override;
  bool AskRetry(const std::string& message) override;
  void Beep() override;
  void ShowError(const std::string& message) override;
  void SetBusyCursor(bool on) override;
};

}  // namespace gpr
