// Printer Setup, as the options window and the preview run it: the system's printer dialog
// opens on the report's printer with what the last setup chose; afterwards the chosen printer
// and its orientation become the report's settings (no longer the default printer), and the
// copies, collation, duplex and paper size the setup of the request's printer runs.
#pragma once

#include "print/core/report_settings.h"
#include "print/printer_output.h"

#include <functional>
#include <string>

class QWidget;

namespace gpr {

// What the printer dialog shows and leaves.
struct TgprPrinterChoice {
  std::string PrinterName;  // empty: the system's default printer
  TgprPrinterSetup Setup;   // its Orientation included
};

// Runs the dialog on choice; false when the user cancelled it. Tests put another in place of
// the system's dialog; an empty runner goes back to it.
using TgprPrinterDialogRunner = std::function<bool(QWidget* parent, TgprPrinterChoice& choice)>;
void SetPrinterDialogRunner(TgprPrinterDialogRunner runner);

// Runs Printer Setup; false when cancelled (nothing changed). defaultPrinterLeft: set when the
// report used the default printer until now.
bool RunPrinterSetup(QWidget* parent, TgprReportSettings& settings, TgprPrinterSetup& setup, bool& defaultPrinterLeft);

inline constexpr const char* kNoLongerDefaultPrinter = "Note: The report is no longer using the Default Printer.";

}  // namespace gpr
