// One run of the request's report, as the options window's Print button and the preview's
// Print start it: a page builder over the settings and the printed object fed through a print
// run into the output channel the destination names (the printer, fast printer text, a text
// file or a PDF file); for an export, the exporter over the same rows; for a window snapshot,
// a picture of the host's window on the printer or in a PDF file.
//
// While it runs, the progress window shows (when `DisplayProgressWin` is on) and lets the user
// suspend, resume or abort it; with `PauseAfterPrinting` it stays open with the statistics
// until the user presses OK.
#pragma once

#include "print/core/obj_info.h"
#include "print/core/page_setup.h"
#include "print/core/print_run.h"
#include "print/core/report_settings.h"
#include "print/printer_output.h"

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace gpr {

struct TgprRunOutcome {
  TgprRunResult Result = rrTerminated;
  int PagesPrinted = 0;      // pages, or rows for an export
  std::string ErrorMessage;  // empty unless the run failed
};

// What a run needs besides the settings and the printed object.
struct TgprRunContext {
  QWidget* Parent = nullptr;          // asks the file-exists question; owns the progress window
  TgprRunMonitor* Monitor = nullptr;  // watches the run instead of a progress window
  bool ShowProgress = true;           // a progress window (when `DisplayProgressWin` is on)
  TgprPrinterSetup PrinterSetup;      // what the printer setup dialog left
  QWidget* SnapshotForm = nullptr;    // the host's window, for a window snapshot
  std::string ComponentName = "TGprGridPrinter";
};

using TgprPrinterChannelFactory = std::function<std::unique_ptr<TgprOutputChannel>(const TgprReportSettings& settings,
                                                                                   const TgprRunContext& context)>;
// Replaces the channel of every run that is not an export (a test's capture, say); an empty
// factory goes back to the channel the settings name.
void SetPrinterChannelFactory(TgprPrinterChannelFactory factory);

// The printable area (on the paper the printer setup chose) and font measurement of the
// chosen printer, for the page setup of printer output; falls back to the system's default
// page when no printer exists.
TgprPrinterPage PrinterPageFor(const TgprReportSettings& settings, const TgprPrinterSetup& setup = {});

// Runs range to the destination of settings. Never throws: failures come back in the outcome.
TgprRunOutcome RunReport(TgprReportSettings& settings, TObjInfo& objInfo, TgprPageRange range,
                         const TgprRunContext& context);

}  // namespace gpr
