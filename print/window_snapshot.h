// The window snapshot (`PrintWhat` 5): the host's window, as it was active when the print
// request started, printed as a picture on a page of its own - on the printer, or in a PDF
// file when the destination is a text file named ".pdf". A plain text file or fast printer
// text cannot take a picture; such a run is refused before anything is written.
#pragma once

#include "print/core/print_run.h"
#include "print/core/report_settings.h"

#include <QImage>

#include <string>

class QWidget;

namespace gpr {

// Refuses a snapshot without a picture destination or a window, with eGprSUError
// "TGprGridPrinter Setup Error\r\rAttempted to print snapshot without using printer as Output
// Destination" or "TGprGridPrinter Setup Error\r\r" + componentName + " does not have a form".
void CheckSnapshotSetup(const TgprReportSettings& settings, const QWidget* form, const std::string& componentName);

// A picture of form. With `SnapShotSize` beginning "M" the window is maximised first; a
// hidden window is shown for the picture. Its visibility and window state are put back.
QImage GrabWindow(QWidget& form, const std::string& snapShotSize);

// Prints the picture of form into channel (a printer or PDF channel) and returns the result;
// failures are exceptions, after which the channel has been aborted.
TgprRunResult PrintWindowSnapshot(TgprOutputChannel& channel, QWidget& form, const std::string& snapShotSize);

}  // namespace gpr
