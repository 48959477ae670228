// TgprOptionsRequestUi: the print request's windows as the user sees them - the report options
// window (TfmGprMain), the preview (TfmGprPreview) and the password question. The component
// makes one for every request (grid_printer.h); it binds the window to the request's
// settings, printed object, file manager and password prompts.
#pragma once

#include "print/request_ui.h"

#include <memory>

namespace gpr {

class TfmGprMain;
class TgprPrintRequest;

class TgprOptionsRequestUi : public TgprRequestUi {
 public:
  explicit TgprOptionsRequestUi(TgprPrintRequest& request);
  ~TgprOptionsRequestUi() override;

  void RunModal(const std::function<void()>& startUp) override;
  bool CtrlShiftHeld() override;
  void SetCaption(const std::string& caption) override;
  bool FillAndValidate() override;
  TgprPreviewOutcome PreviewFirst() override;
  void BringOnScreen() override;
  void StartPrintRun() override;
  void PostClose() override;
  std::unique_ptr<TgprPasswordEntry> OpenPasswordEntry(const std::string& prompt) override;
  void ShowWarning(const std::string& message) override;
  int LastRunResult() override;
  int PagesPrinted() override;

  TfmGprMain& Window() { return *window_; }
  // The request's window while one is open (for tests and the preview's owner); else nullptr.
  static TfmGprMain* Current();

 private:
  TgprPrintRequest& request_;
  std::unique_ptr<TfmGprMain> window_;
};

// The factory the component uses by default.
std::unique_ptr<TgprRequestUi> MakeOptionsRequestUi(TgprPrintRequest& request);

}  // namespace gpr
