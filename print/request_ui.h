// TgprRequestUi: what a print request asks of its windows - the report options window, the
// preview, the password window and the print run they start. The options window implements
// it; until it exists, TgprHeadlessRequestUi (headless_request_ui.h) stands in, and tests drive
// the request's start-up sequence through a double of their own.
//
// One object serves one request; it is created by the component's factory right after the
// request-scoped objects and destroyed before them.
#pragma once

#include "print/core/password_prompt.h"

#include <functional>
#include <memory>
#include <string>

namespace gpr {

class TgprPrintRequest;

// What opening the preview first decided.
struct TgprPreviewOutcome {
  bool DisplayWindow = false;  // the options window is to be displayed afterwards
  bool Printed = false;        // the preview has already taken care of printing
};

class TgprRequestUi {
 public:
  virtual ~TgprRequestUi() = default;

  // Shows the options window modally (off-screen at first) and calls startUp once it is shown;
  // returns when the window has closed.
  virtual void RunModal(const std::function<void()>& startUp) = 0;
  // Whether Ctrl and Shift are both held down.
  virtual bool CtrlShiftHeld() = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  // Fills the controls from the request's settings, validates them all and measures the
  // columns and pages across; false when a check failed.
  virtual bool FillAndValidate() = 0;
  // Opens the preview before the options window.
  virtual TgprPreviewOutcome PreviewFirst() = 0;
  // Brings the options window on-screen (to its designed top, or centred).
  virtual void BringOnScreen() = 0;
  // Starts a print run exactly as the Print button does.
  virtual void StartPrintRun() = 0;
  // Asks the window to close once the start-up has returned.
  virtual void PostClose() = 0;
  // Opens the password window (caption "Report: " + the report title) with prompt; it stays
  // open while the request's prompt judges the entries.
  virtual std::unique_ptr<TgprPasswordEntry> OpenPasswordEntry(const std::string& prompt) = 0;
  // A warning box with an OK button.
  virtual void ShowWarning(const std::string& message) = 0;

  // After the modal loop: the result of the last run (0 when there was none; 1 completed,
  // 2 cancelled at the file-exists question, 3 failed or stopped) and the pages it printed.
  virtual int LastRunResult() = 0;
  virtual int PagesPrinted() = 0;
};

using TgprRequestUiFactory = std::function<std::unique_ptr<TgprRequestUi>(TgprPrintRequest& request)>;

}  // namespace gpr
