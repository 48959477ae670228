// The output channel of a print run, made from the report's settings: the printer, fast
// printer text (the raw spooler), a text file or a PDF file. Exports are not page runs and
// take TgprExporter (print/core/export_file.h) instead.
#pragma once

#include "print/core/print_run.h"
#include "print/core/report_settings.h"
#include "print/core/text_file_output.h"
#include "print/printer_output.h"

#include <memory>

namespace gpr {

// The report font and line spacing of the settings.
TgprTextStyle TextStyleOf(const TgprReportSettings& settings);

// The channel for DestinationOf(settings). ask answers the file-exists question; setup is
// what the printer setup left for printer output. An export destination raises eGprIntError.
std::unique_ptr<TgprOutputChannel> MakeOutputChannel(const TgprReportSettings& settings, TgprAskFileExists ask = {},
                                                     const TgprPrinterSetup& setup = {});

}  // namespace gpr
