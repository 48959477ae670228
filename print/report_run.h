// One print run of the request's report, as the options window's Print button and the
// preview's Print start it: a page builder over the settings and the printed object, fed
// through a print run into the output channel the destination names.
//
// The text file and fast printer text channels are built here. Printer (and PDF) output is
// reached through the channel factory set with SetPrinterChannelFactory, so the printer
// channel lives beside the other Qt printing code; without one, a printer run fails with a
// clear message and result 3.
#pragma once

#include "print/core/obj_info.h"
#include "print/core/page_setup.h"
#include "print/core/print_run.h"
#include "print/core/report_settings.h"

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace gpr {

struct TgprRunOutcome {
  TgprRunResult Result = rrTerminated;
  int PagesPrinted = 0;
  std::string ErrorMessage;  // empty unless the run failed
};

using TgprPrinterChannelFactory =
    std::function<std::unique_ptr<TgprOutputChannel>(const TgprReportSettings& settings, QWidget* parent)>;
// Installs the printer channel; an empty factory removes it.
void SetPrinterChannelFactory(TgprPrinterChannelFactory factory);

// The printable area and font measurement of the chosen printer, for the page setup of
// printer output; nullptr-free: falls back to the system's default page when no printer exists.
TgprPrinterPage PrinterPageFor(const TgprReportSettings& settings);

// Runs the pages of range to the destination of settings. parent is the window that asks
// the file-exists question. Never throws: failures come back in the outcome.
TgprRunOutcome RunReport(TgprReportSettings& settings, TObjInfo& objInfo, TgprPageRange range, QWidget* parent,
                         TgprRunMonitor* monitor = nullptr);

}  // namespace gpr
