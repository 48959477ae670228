// TgprHeadlessRequestUi: the stand-in for the report options window until it exists. It runs
// the start-up sequence at once, never displays a window, reports warnings on the program's
// log, and makes no print run (the result of Print stays 0).
#pragma once

#include "print/request_ui.h"

namespace gpr {

class TgprHeadlessRequestUi : public TgprRequestUi {
 public:
  void RunModal(const std::function<void()>& startUp) override { startUp(); }
  bool CtrlShiftHeld() override;
  void SetCaption(const std::string&) override {}
  bool FillAndValidate() override { return true; }
  TgprPreviewOutcome PreviewFirst() override { return {}; }
  void BringOnScreen() override {}
  void StartPrintRun() override {}
  void PostClose() override {}
  // Nobody can answer: every password prompt is refused.
  std::unique_ptr<TgprPasswordEntry> OpenPasswordEntry(const std::string& prompt) override;
  void ShowWarning(const std::string& message) override;
  int LastRunResult() override { return 0; }
  int PagesPrinted() override { return 0; }
};

}  // namespace gpr
